#include "RegistryWin.h"

#include <utility>

#include "WideWin.h"

namespace setup {
namespace {
HKEY RootHandle(RegistryRoot Root) { return Root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }
// The view flag is ignored on a 32-bit system, where there is one view.
REGSAM View(RegistryRoot Root) { return Root == RegistryRoot::LocalMachine64 ? KEY_WOW64_64KEY : 0; }
}  // namespace

RegistryWin::~RegistryWin() { CloseKey(); }

bool RegistryWin::RawOpen(RegistryRoot Root, const std::string& Path, bool Create, bool ReadOnly) {
  const std::wstring WidePath = ToWide(Path);
  const REGSAM Access = (ReadOnly ? KEY_READ : KEY_ALL_ACCESS) | View(Root);
  TScopedKey Key;
  LONG Status;
  if (Create)
    Status = RegCreateKeyExW(RootHandle(Root), WidePath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, Access, nullptr,
                             Key.Receive(), nullptr);
  else
    Status = RegOpenKeyExW(RootHandle(Root), WidePath.c_str(), 0, Access, Key.Receive());
  if (Status != ERROR_SUCCESS) return false;
  FKey = std::move(Key);
  return true;
}

void RegistryWin::RawClose() {
  FKey.Reset();
}

bool RegistryWin::RawKeyExists(RegistryRoot Root, const std::string& Path) {
  TScopedKey Key;
  return RegOpenKeyExW(RootHandle(Root), ToWide(Path).c_str(), 0, KEY_READ | View(Root), Key.Receive()) == ERROR_SUCCESS;
}

bool RegistryWin::RawQuery(const std::string& Name, std::uint32_t& Type, std::vector<std::uint8_t>& Data) {
  if (!FKey) return false;
  const std::wstring WideName = ToWide(Name);
  for (;;) {
    DWORD ValueType = 0;
    DWORD Size = 0;
    if (RegQueryValueExW(FKey.Get(), WideName.c_str(), nullptr, &ValueType, nullptr, &Size) != ERROR_SUCCESS) return false;
    Data.assign(Size, 0);
    const LONG Status = RegQueryValueExW(FKey.Get(), WideName.c_str(), nullptr, &ValueType, Data.data(), &Size);
    if (Status == ERROR_MORE_DATA) continue;  // grew in between
    if (Status != ERROR_SUCCESS) return false;
    Data.resize(Size);
    Type = ValueType;
    return true;
  }
}

bool RegistryWin::RawSet(const std::string& Name, std::uint32_t Type, const std::vector<std::uint8_t>& Data) {
  if (!FKey) return false;
  return RegSetValueExW(FKey.Get(), ToWide(Name).c_str(), 0, Type, Data.data(), static_cast<DWORD>(Data.size())) ==
         ERROR_SUCCESS;
}

std::vector<std::string> RegistryWin::RawSubKeys() {
  std::vector<std::string> Names;
  if (!FKey) return Names;
  DWORD Count = 0, MaxLength = 0;
  if (RegQueryInfoKeyW(FKey.Get(), nullptr, nullptr, nullptr, &Count, &MaxLength, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr) != ERROR_SUCCESS)
    return Names;
  std::wstring Buffer(MaxLength + 1, L'\0');
  for (DWORD I = 0; I < Count; ++I) {
    DWORD Length = MaxLength + 1;
    if (RegEnumKeyExW(FKey.Get(), I, Buffer.data(), &Length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
      Names.push_back(FromWide(std::wstring_view(Buffer.data(), Length)));
  }
  return Names;
}

std::vector<std::string> RegistryWin::RawValueNames() {
  std::vector<std::string> Names;
  if (!FKey) return Names;
  DWORD Count = 0, MaxLength = 0;
  if (RegQueryInfoKeyW(FKey.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &Count, &MaxLength, nullptr, nullptr,
                       nullptr) != ERROR_SUCCESS)
    return Names;
  std::wstring Buffer(MaxLength + 1, L'\0');
  for (DWORD I = 0; I < Count; ++I) {
    DWORD Length = MaxLength + 1;
    if (RegEnumValueW(FKey.Get(), I, Buffer.data(), &Length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
      Names.push_back(FromWide(std::wstring_view(Buffer.data(), Length)));
  }
  return Names;
}

bool RegistryWin::RawDeleteValue(const std::string& Name) {
  return FKey && RegDeleteValueW(FKey.Get(), ToWide(Name).c_str()) == ERROR_SUCCESS;
}

bool RegistryWin::RawDeleteKey(RegistryRoot Root, const std::string& Path) {
  // The 64-bit view is only read: deleting a key there needs RegDeleteKeyExW, which a 32-bit
  // system of the oldest supported kind lacks.
  if (Root == RegistryRoot::LocalMachine64) return false;
  const std::wstring WidePath = ToWide(Path);
  {
    TScopedKey Key;
    if (RegOpenKeyExW(RootHandle(Root), WidePath.c_str(), 0, KEY_ALL_ACCESS, Key.Receive()) != ERROR_SUCCESS) return false;
    RegDeleteTreeW(Key.Get(), nullptr);
  }
  return RegDeleteKeyW(RootHandle(Root), WidePath.c_str()) == ERROR_SUCCESS;
}

}  // namespace setup
