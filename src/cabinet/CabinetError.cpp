#include "cabinet/CabinetError.h"

#include <cstdio>

#include "system/Messages.h"

namespace setup {

std::string CabinetErrorMessage(int ErrorCode, int ErrorType) {
  constexpr int Known = static_cast<int>(std::size(Msg::CabinetErrorTexts));
  if (ErrorType == 0 && ErrorCode > 0 && ErrorCode < Known) return Msg::CabinetErrorTexts[ErrorCode];
  char Text[64];
  std::snprintf(Text, sizeof Text, Msg::CabinetGenericError, ErrorCode, ErrorType);
  return Text;
}

void RaiseCabinetError(int ErrorCode, int ErrorType) {
  throw ECabinetError(CabinetErrorMessage(ErrorCode, ErrorType), ErrorCode, ErrorType);
}

}  // namespace setup
