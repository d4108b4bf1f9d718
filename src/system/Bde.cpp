#include "Bde.h"

#include "Paths.h"

namespace setup {
namespace {
constexpr const char* kBdeKey = "\\SOFTWARE\\Borland\\Database Engine";
constexpr const char* kDllPath = "DLLPATH";
}  // namespace

std::string ReadBdeDllPath(IRegistry& Registry) {
  std::string Result;
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  if (Registry.OpenKey(kBdeKey, false)) {
    if (Registry.ValueExists(kDllPath)) Result = WithBackslash(Registry.ReadString(kDllPath));
    Registry.CloseKey();
  }
  return Result;
}

void WriteBdeDllPath(IRegistry& Registry, const std::string& Dir) {
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  if (!Registry.OpenKey(kBdeKey, true)) return;
  try {
    Registry.WriteString(kDllPath, WithBackslash(Dir));
  } catch (...) {
    Registry.CloseKey();
    throw;
  }
  Registry.CloseKey();
}

}  // namespace setup
