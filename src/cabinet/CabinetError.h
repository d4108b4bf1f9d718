#pragma once
// Failures of the cabinet library as the program reports them.
#include <string>

#include "cabinet/Fdi.h"
#include "system/Errors.h"

namespace setup {

class ECabinetError : public Exception {
 public:
  ECabinetError(const std::string& Message, int Code, int Type)
      : Exception(Message), ErrorCode(Code), ErrorType(Type) {}
  int ErrorCode;  // the library's FDIERROR
  int ErrorType;  // its secondary value
};

// The text for a library failure: the fixed text of a known code when there is no secondary
// value, else "Cabinet error <code> (type <type>)".
std::string CabinetErrorMessage(int ErrorCode, int ErrorType);

[[noreturn]] void RaiseCabinetError(int ErrorCode, int ErrorType);
[[noreturn]] inline void RaiseCabinetError(const ERF& Error) { RaiseCabinetError(Error.erfOper, Error.erfType); }

}  // namespace setup
