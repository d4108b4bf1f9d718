#include "Bde.h"

#include "Paths.h"

namespace setup {
namespace {
constexpr const char* cBdeKey = "\\SOFTWARE\\Borland\\Database Engine";
constexpr const char* cDllPath = "DLLPATH";
}  // namespace

std::string ReadBdeDllPath(IRegistry& Registry) {
  std::string Result;
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  if (Registry.OpenKey(cBdeKey, false)) {
    if (Registry.ValueExists(cDllPath)) Result = WithBackslash(Registry.ReadString(cDllPath));
    Registry.CloseKey();
  }
  return Result;
}

void WriteBdeDllPath(IRegistry& Registry, const std::string& Dir) {
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  if (!Registry.OpenKey(cBdeKey, true)) return;
  try {
    Registry.WriteString(cDllPath, WithBackslash(Dir));
  } catch (...) {
    Registry.CloseKey();
    throw;
  }
  Registry.CloseKey();
}

}  // namespace setup
