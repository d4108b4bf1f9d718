#pragma once
// The process-wide cabinet library: Cabinet.dll loaded from a folder, and its entry points.
#include <string>

#include "cabinet/CabinetError.h"
#include "cabinet/CabinetLibrary.h"
#include "cabinet/Fdi.h"

namespace setup {


// Entry points of the loaded library; all null while none is loaded. An entry point the
// library lacks stays null: that is found out when it is called for, not here.
extern TCabinetLibraryFunctions CabinetLibrary;

// Loads Folder + "Cabinet.dll" (Folder ends with a backslash), replacing a library loaded
// before. Raises "Не найдена библиотека <Cabinet.dll>!" when it cannot be loaded.
void LoadCabinetLibrary(const std::string& Folder);

// Unloads the library, if one is loaded.
void FreeCabinetLibrary();

bool CabinetLibraryLoaded();

}  // namespace setup
