// The example product's COM server: an in-process server of one class, which registers and
// unregisters itself under HKEY_CLASSES_ROOT as servers do. It serves no object; it is there to
// show how a setup registers a server and how its uninstaller unregisters it.
#include <windows.h>
#include <olectl.h>

namespace {

HMODULE Self;
const wchar_t* const cClassKey = L"CLSID\\{6F1B8B62-3C1D-4E8A-9B57-1C8E2A5D7F31}";
const wchar_t* const cProgIdKey = L"Vector.Stock";

bool SetText(const wchar_t* Key, const wchar_t* Name, const wchar_t* Value) {
  HKEY Handle;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, Key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &Handle, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG Status = RegSetValueExW(Handle, Name, 0, REG_SZ, reinterpret_cast<const BYTE*>(Value),
                                     static_cast<DWORD>((lstrlenW(Value) + 1) * sizeof(wchar_t)));
  RegCloseKey(Handle);
  return Status == ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID) {
  if (Reason == DLL_PROCESS_ATTACH) Self = Instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t Path[MAX_PATH * 4];
  const DWORD Length = GetModuleFileNameW(Self, Path, MAX_PATH * 4);
  if (Length == 0 || Length >= MAX_PATH * 4) return E_FAIL;
  wchar_t Server[80];
  lstrcpyW(Server, cClassKey);
  lstrcatW(Server, L"\\InprocServer32");
  wchar_t ProgIdClass[40];
  lstrcpyW(ProgIdClass, cProgIdKey);
  lstrcatW(ProgIdClass, L"\\CLSID");
  const bool Done = SetText(cClassKey, nullptr, L"Вектор: Учет ТМЦ") && SetText(Server, nullptr, Path) &&
                    SetText(Server, L"ThreadingModel", L"Apartment") &&
                    SetText(ProgIdClass, nullptr, cClassKey + 6);
  return Done ? S_OK : SELFREG_E_CLASS;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, cClassKey);
  RegDeleteKeyW(HKEY_CLASSES_ROOT, cClassKey);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, cProgIdKey);
  RegDeleteKeyW(HKEY_CLASSES_ROOT, cProgIdKey);
  return S_OK;
}
