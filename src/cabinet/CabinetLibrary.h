#pragma once
// The three entry points the program calls, whether from a loaded Cabinet.dll or linked in.
#include "cabinet/Fdi.h"

namespace setup {

struct TCabinetLibraryFunctions {
  decltype(&::FDICreate) FDICreate = nullptr;
  decltype(&::FDICopy) FDICopy = nullptr;
  decltype(&::FDIDestroy) FDIDestroy = nullptr;
};

// Our library linked into the program itself (tools, tests, benchmarks; link setup_fdi).
inline TCabinetLibraryFunctions LinkedCabinetLibrary() { return {::FDICreate, ::FDICopy, ::FDIDestroy}; }

}  // namespace setup
