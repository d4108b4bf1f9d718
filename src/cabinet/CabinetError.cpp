#include "cabinet/CabinetError.h"

#include <cstdio>

#include "cabinet/CabinetMessages.h"

namespace setup {

std::string CabinetErrorMessage(int ErrorCode, int ErrorType) {
  constexpr int Known = static_cast<int>(std::size(CabinetMessages::ErrorTexts));
  if (ErrorType == 0 && ErrorCode > 0 && ErrorCode < Known) return CabinetMessages::ErrorTexts[ErrorCode];
  char Text[64];
  std::snprintf(Text, sizeof Text, CabinetMessages::GenericError, ErrorCode, ErrorType);
  return Text;
}

void RaiseCabinetError(int ErrorCode, int ErrorType) {
  throw ECabinetError(CabinetErrorMessage(ErrorCode, ErrorType), ErrorCode, ErrorType);
}

}  // namespace setup
