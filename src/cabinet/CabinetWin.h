#pragma once
// The process-wide cabinet library: Cabinet.dll loaded from a folder, and its entry points.
#include <string>

#include "cabinet/CabinetError.h"
#include "cabinet/CabinetLibrary.h"
#include "cabinet/Fdi.h"
#include "system/Errors.h"
#include "system/Messages.h"

namespace setup {


// Entry points of the loaded library; all null while none is loaded. An entry point the
// library lacks stays null: that is found out when it is called for, not here.
extern TCabinetLibraryFunctions CabinetLibrary;

// The library could not be loaded; Code is the system's error.
class ECabinetLibraryNotLoaded : public Exception {
 public:
  explicit ECabinetLibraryNotLoaded(unsigned long ErrorCode)
      : Exception(Msg::CabinetLibraryNotFound), Code(ErrorCode) {}
  unsigned long Code;
};

// Loads Folder + "Cabinet.dll" (Folder ends with a backslash), replacing a library loaded
// before. Raises ECabinetLibraryNotLoaded ("Не найдена библиотека <Cabinet.dll>!") when it
// cannot be loaded.
void LoadCabinetLibrary(const std::string& Folder);

// Unloads the library, if one is loaded.
void FreeCabinetLibrary();

bool CabinetLibraryLoaded();

}  // namespace setup
