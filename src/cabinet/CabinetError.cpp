#include "cabinet/CabinetError.h"

#include <string>

#include "system/Errors.h"
#include "system/Messages.h"

namespace setup {

std::string CabinetErrorMessage(int ErrorCode, int ErrorType) {
  constexpr int Known = static_cast<int>(std::size(Msg::CabinetErrorTexts));
  if (ErrorType == 0 && ErrorCode > 0 && ErrorCode < Known) return Msg::CabinetErrorTexts[ErrorCode];
  return FormatMessage1(FormatMessage1(Msg::CabinetGenericError, std::to_string(ErrorCode)), std::to_string(ErrorType));
}

void RaiseCabinetError(int ErrorCode, int ErrorType) {
  throw ECabinetError(CabinetErrorMessage(ErrorCode, ErrorType), ErrorCode, ErrorType);
}

}  // namespace setup
