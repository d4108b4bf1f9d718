#include "cabinet/CabinetWin.h"

#include <windows.h>

#include "system/Messages.h"
#include "system/WideWin.h"

namespace setup {

TCabinetLibraryFunctions CabinetLibrary;

namespace {
HMODULE LibraryHandle = nullptr;

template <class F>
F Resolve(const char* Name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(LibraryHandle, Name)));
}
}  // namespace

void LoadCabinetLibrary(const std::string& Folder) {
  FreeCabinetLibrary();
  // The file is written as "CABINET.DLL"; Windows file names ignore case, so this finds it.
  LibraryHandle = LoadLibraryW(ToWide(Folder + "Cabinet.dll").c_str());
  if (!LibraryHandle) throw ECabinetLibraryNotLoaded(GetLastError());
  CabinetLibrary.FDICreate = Resolve<decltype(CabinetLibrary.FDICreate)>("FDICreate");
  CabinetLibrary.FDICopy = Resolve<decltype(CabinetLibrary.FDICopy)>("FDICopy");
  CabinetLibrary.FDIDestroy = Resolve<decltype(CabinetLibrary.FDIDestroy)>("FDIDestroy");
}

void FreeCabinetLibrary() {
  if (LibraryHandle) FreeLibrary(LibraryHandle);
  LibraryHandle = nullptr;
  CabinetLibrary = TCabinetLibraryFunctions{};
}

bool CabinetLibraryLoaded() { return LibraryHandle != nullptr; }

}  // namespace setup
