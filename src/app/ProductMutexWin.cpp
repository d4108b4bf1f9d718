#include "app/ProductMutexWin.h"

namespace setup {

std::wstring ProductMutexName(const std::string& ProductName) {
  std::wstring Key = ToWide(ProductName);
  if (!Key.empty()) CharUpperBuffW(Key.data(), static_cast<DWORD>(Key.size()));
  // FNV-1a over the UTF-16 code units: a mutex name may not hold a backslash, and a product
  // name may hold anything.
  unsigned long long Hash = 0xCBF29CE484222325ull;
  for (wchar_t Unit : Key) {
    Hash ^= static_cast<unsigned short>(Unit);
    Hash *= 0x100000001B3ull;
  }
  wchar_t Name[64];
  wsprintfW(Name, L"Global\\SetupEngine.Product.%08lX%08lX", static_cast<unsigned long>(Hash >> 32),
            static_cast<unsigned long>(Hash));
  return Name;
}

bool ClaimProductMutex(const std::string& ProductName, HandleGuard& Held) {
  const std::wstring Name = ProductMutexName(ProductName);
  HANDLE Mutex = CreateMutexW(nullptr, FALSE, Name.c_str());
  const DWORD Error = GetLastError();
  if (!Mutex) {
    // Another user's copy made it: its rights keep us out, and it is running all the same.
    if (Error == ERROR_ACCESS_DENIED) return false;
    // A system without the global name space: the session's own is the next best.
    Mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + Name.substr(Name.find(L'\\') + 1)).c_str());
    const DWORD LocalError = GetLastError();
    if (!Mutex) return LocalError != ERROR_ACCESS_DENIED;
    Held.Reset(Mutex);
    return LocalError != ERROR_ALREADY_EXISTS;
  }
  Held.Reset(Mutex);
  return Error != ERROR_ALREADY_EXISTS;
}

}  // namespace setup
