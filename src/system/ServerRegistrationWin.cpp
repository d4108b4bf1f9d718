#include "ServerRegistrationWin.h"

#include <windows.h>

#include "Paths.h"
#include "SystemLibraryWin.h"
#include "SystemWin.h"
#include "Text.h"
#include "WideWin.h"

namespace setup {

namespace {

// The switch of a child run that registers one server; upper case, as it is compared.
constexpr const char* cChildSwitch = "/REGSERVER=";
constexpr const char* cUnregisterSwitch = "/UNREGSERVER=";

LONG WINAPI EndWithExceptionCode(EXCEPTION_POINTERS* Exception) {
  TerminateProcess(GetCurrentProcess(), Exception && Exception->ExceptionRecord
                                            ? Exception->ExceptionRecord->ExceptionCode
                                            : static_cast<UINT>(regServerFailed));
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

std::uint32_t RegisterDllServer(const std::string& FileName, bool Unregister) {
  try {
    // A server finds the libraries installed beside it, as with the system's own registration
    // tool, but none from the current folder.
    TScopedLibrary Library(LoadLibraryExW(ToWide(FileName).c_str(), nullptr, ServerLibraryFlags()));
    if (!Library.Get()) return regNotLoaded;
    using RegisterServer = HRESULT(STDAPICALLTYPE*)();
    const auto Register = reinterpret_cast<RegisterServer>(
        reinterpret_cast<void*>(GetProcAddress(Library.Get(), Unregister ? "DllUnregisterServer" : "DllRegisterServer")));
    if (!Register) return regNoEntry;
    return SUCCEEDED(Register()) ? regRegistered : regServerFailed;
  } catch (...) {
    return regServerFailed;
  }
}

std::uint32_t RegisterDllServerInChild(const std::string& Program, const std::string& FileName, bool Unregister) {
  try {
    std::wstring CommandLine = ToWide("\"" + Program + "\" " + std::string(Unregister ? cUnregisterSwitch : cChildSwitch) +
                                      "\"" + FileName + "\"");
    STARTUPINFOW Startup{};
    Startup.cb = sizeof Startup;
    PROCESS_INFORMATION Process{};
    if (!CreateProcessW(ToWide(Program).c_str(), CommandLine.data(), nullptr, nullptr, FALSE,
                        NORMAL_PRIORITY_CLASS, nullptr, nullptr, &Startup, &Process))
      return regNotStarted;
    HandleGuard ProcessHandle(Process.hProcess), ThreadHandle(Process.hThread);
    if (WaitForSingleObject(ProcessHandle.Get(), INFINITE) != WAIT_OBJECT_0) return regNotStarted;
    DWORD Status = regNotStarted;
    GetExitCodeProcess(ProcessHandle.Get(), &Status);
    return Status;
  } catch (...) {
    return regNotStarted;
  }
}

bool RunChildRegistration(int& ExitCode) {
  const std::vector<std::string> Args = ProgramArguments();
  if (Args.empty()) return false;
  const std::string Switch = UpperAscii(Args[0].substr(0, Args[0].find('=') + 1));
  const bool Unregister = Switch == cUnregisterSwitch;
  if (!Unregister && Switch != cChildSwitch) return false;
  // A crash inside the server must not ask anybody anything, nor wait for a debugger: the
  // run ends with the exception's code, which the parent reads as the status.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(EndWithExceptionCode);
  ExitCode = static_cast<int>(RegisterDllServer(Args[0].substr(Switch.size()), Unregister));
  return true;
}

void RegisterExeServer(const std::string& FileName, bool Unregister) {
  try {
    const std::wstring Application = ToWide(FileName);
    // The server sees its path unquoted, as servers expect; naming the application as well
    // keeps the system from trying "C:\Program.exe" for a path with blanks.
    std::wstring CommandLine = ToWide(FileName + (Unregister ? " /UnregServer" : " /RegServer"));
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
