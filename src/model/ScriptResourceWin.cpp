#include <windows.h>

#include "model/StartupWin.h"

namespace setup {

bool ReadScriptResource(std::string& Bytes) {
  HMODULE Module = GetModuleHandleW(nullptr);
  HRSRC Info = FindResourceW(Module, L"SCRIPT", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!Info) return false;
  HGLOBAL Handle = LoadResource(Module, Info);
  if (!Handle) return false;
  const void* Data = LockResource(Handle);
  const DWORD Size = SizeofResource(Module, Info);
  if (!Data) return false;
  // Resources of a loaded image stay mapped for the module's lifetime; there is nothing to
  // release beyond the copy.
  Bytes.assign(static_cast<const char*>(Data), Size);
  return true;
}

void LoadScriptResource(TInstallInfo& Info) {
  std::string Bytes;
  if (!ReadScriptResource(Bytes)) throw EAbort();
  Info.LoadScript(Bytes);
}

}  // namespace setup
