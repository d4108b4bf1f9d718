#include "ServerRegistrationWin.h"

#include <windows.h>

#include "Paths.h"
#include "WideWin.h"

namespace setup {

namespace {

class LibraryGuard {
 public:
  explicit LibraryGuard(HMODULE Module) : FModule(Module) {}
  ~LibraryGuard() {
    if (FModule) FreeLibrary(FModule);
  }
  LibraryGuard(const LibraryGuard&) = delete;
  LibraryGuard& operator=(const LibraryGuard&) = delete;
  HMODULE Get() const { return FModule; }

 private:
  HMODULE FModule;
};

}  // namespace

void RegisterDllServer(const std::string& FileName) {
  try {
    // The altered search path lets a server find the libraries installed beside it, as the
    // system's own registration tool does.
    LibraryGuard Library(LoadLibraryExW(ToWide(FileName).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!Library.Get()) return;
    using RegisterServer = HRESULT(STDAPICALLTYPE*)();
    const auto Register = reinterpret_cast<RegisterServer>(
        reinterpret_cast<void*>(GetProcAddress(Library.Get(), "DllRegisterServer")));
    if (Register) Register();  // the result code says nothing we could act on
  } catch (...) {
  }
}

void RegisterExeServer(const std::string& FileName) {
  try {
    const std::wstring Application = ToWide(FileName);
    // The server sees its path unquoted, as servers expect; naming the application as well
    // keeps the system from trying "C:\Program.exe" for a path with blanks.
    std::wstring CommandLine = ToWide(FileName + " /RegServer");
    const std::wstring Directory = ToWide(ExtractFilePath(FileName));
    STARTUPINFOW Startup{};
    Startup.cb = sizeof Startup;
    Startup.dwFlags = STARTF_USESHOWWINDOW;
    Startup.wShowWindow = SW_SHOWDEFAULT;
    PROCESS_INFORMATION Process{};
    if (!CreateProcessW(Application.c_str(), CommandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, Directory.empty() ? nullptr : Directory.c_str(), &Startup, &Process))
      return;
    HandleGuard ProcessHandle(Process.hProcess), ThreadHandle(Process.hThread);
    WaitForSingleObject(ProcessHandle.Get(), INFINITE);
  } catch (...) {
  }
}

}  // namespace setup
