#pragma once
// The three entry points the program calls, whether from a loaded Cabinet.dll or linked in.
#include "cabinet/Fdi.h"

namespace setup {

struct TCabinetLibraryFunctions {
  decltype(&::FDICreate) FDICreate = nullptr;
  decltype(&::FDICopy) FDICopy = nullptr;
  decltype(&::FDIDestroy) FDIDestroy = nullptr;
};

}  // namespace setup
