#pragma once
// Installations made by our own registration code, and the uninstaller run on them as the
// control panel or an installer would run it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "system/RegistryWin.h"
#include "system/SystemWin.h"
#include "uninstall/untUnInstall.h"
#include "shared/ServicesSupport.h"

namespace uninstaller_test {

using namespace setup;
using services_test::Exists;
using services_test::ReadBytes;
using services_test::WriteBytes;

// Waits (polling) until Condition holds, at most Limit milliseconds; true when it held.
template <typename Predicate>
bool WaitFor(Predicate Condition, DWORD Limit = 30000) {
  for (DWORD Waited = 0;; Waited += 20) {
    if (Condition()) return true;
    if (Waited >= Limit) return false;
    Sleep(20);
  }
}

// Starts a command line (in Directory, when given) and waits for it to end (at most a
// minute); its exit code, or -1. With Started, returns at once and hands over the process.
inline int RunCommand(const std::string& CommandLine, HANDLE* Started = nullptr, const std::string& Directory = "") {
  std::wstring Command = ToWide(CommandLine);
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process{};
  const std::wstring Folder = ToWide(Directory);
  if (!CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      Folder.empty() ? nullptr : Folder.c_str(), &Startup, &Process))
    return -1;
  CloseHandle(Process.hThread);
  if (Started) {
    *Started = Process.hProcess;
    return 0;
  }
  DWORD Code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(Process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(Process.hProcess, &Code);
  else TerminateProcess(Process.hProcess, 99);
  CloseHandle(Process.hProcess);
  return static_cast<int>(Code);
}

// Whether a temporary copy of the uninstaller is still there: in a folder of its own in the
// temporary folder ("setup-*").
inline bool TempCopyLeft() {
  const std::wstring Temp = ToWide(GetTempDir());
  WIN32_FIND_DATAW Found;
  const HANDLE Search = FindFirstFileW((Temp + L"setup-*").c_str(), &Found);
  if (Search == INVALID_HANDLE_VALUE) return false;
  bool Left = false;
  do {
    if ((Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        GetFileAttributesW((Temp + Found.cFileName + L"\\UnInstall.exe").c_str()) != INVALID_FILE_ATTRIBUTES)
      Left = true;
  } while (!Left && FindNextFileW(Search, &Found));
  FindClose(Search);
  return Left;
}

// One product installed into Folder: its files made on disk, its items recorded in the
// installation's order, its list, counters and uninstall entry written by TUnInstall, and
// UnInstall.exe beside the list, as a product that ships it has it.
class Product {
 public:
  Product(std::string Name, std::string Id, std::string InstallFolder) : Folder(std::move(InstallFolder)) {
    Setup.ProductName = std::move(Name);
    Setup.ProductID = std::move(Id);
    Setup.ListFileName = Folder + "uninst.lst";
    MakeDirs(Folder);
  }
  // A file with its content, recorded as the installation records a FILE record.
  std::string File(const std::string& Path, int Shared = 0, int UnRegister = 0, const std::string& RunParams = "",
                   const std::string& Content = "content") {
    MakeDirs(ExtractFilePath(Path));
    if (!Content.empty()) WriteBytes(Path, Content);
    Setup.Items.Add(std::make_unique<TUnInstallFile>(Path, Shared, UnRegister, RunParams));
    return Path;
  }
  std::string Fixture(const char* HostPath, const std::string& Path, int UnRegister) {
    MakeDirs(ExtractFilePath(Path));
    services_test::PlaceFixture(HostPath, Path);
    Setup.Items.Add(std::make_unique<TUnInstallFile>(Path, 0, UnRegister, ""));
    return Path;
  }
  void Dir(const std::string& Path, int Whole = 0) {
    MakeDirs(Path);
    Setup.Items.Add(std::make_unique<TUnInstallDir>(Path, Whole));
  }
  // Registers what was recorded, as the installation does before it unpacks anything; the
  // uninstaller goes in last, as the last file of the product.
  void Register() {
    File(Folder + "UnInstall.exe", 0, 0, "", "");
    CopyFileW(ToWide(FixturePath(UNINSTALLER_EXE)).c_str(), ToWide(Folder + "UnInstall.exe").c_str(), FALSE);
    Setup.Items.Add(std::make_unique<TUnInstallDir>(Folder, 0));
    RegistryWin Reg;
    Setup.CreateUninstall(Reg, Folder);
  }
  // The command the control panel runs.
  std::string Command() {
    RegistryWin Reg;
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    if (!Reg.OpenKey(std::string(cUninstallKey) + "\\" + Setup.ProductName, false)) return {};
    return Reg.ReadString("UnInstallString");
  }
  bool EntryExists() {
    RegistryWin Reg;
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    return Reg.KeyExists(std::string(cUninstallKey) + "\\" + Setup.ProductName);
  }
  // Removes it silently and waits until the uninstaller's temporary copy is gone.
  int RemoveSilently() {
    const int Status = RunCommand(Command() + " /silence");
    EXPECT_TRUE(WaitFor([] { return !TempCopyLeft(); })) << "the temporary copy stayed";
    return Status;
  }

  std::string Folder;
  TUnInstall Setup;
};

// Every value under a key of HKEY_LOCAL_MACHINE, "name=data" with numbers in decimal.
inline std::vector<std::string> ValuesOf(const std::string& Key) {
  RegistryWin Reg;
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  std::vector<std::string> Values;
  if (!Reg.OpenKey(Key, false)) return Values;
  for (const auto& Name : Reg.GetValueNames()) {
    std::string Data;
    try {
      Data = std::to_string(Reg.ReadInteger(Name));
    } catch (...) {
      Data = Reg.ReadStringOrEmpty(Name);
    }
    Values.push_back(Name + "=" + Data);
  }
  return Values;
}

inline std::vector<std::string> SubKeysOf(const std::string& Key) {
  RegistryWin Reg;
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  if (!Reg.OpenKey(Key, false)) return {};
  return Reg.GetKeyNames();
}

// A shared file's counter under SharedDLLs, or -1 when it has none.
inline std::int32_t Counter(const std::string& Path) {
  RegistryWin Reg;
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  if (!Reg.OpenKey(cSharedDllsKey, false) || !Reg.ValueExists(Path)) return -1;
  return Reg.ReadInteger(Path);
}

// The files the system deletes at its next start (a multi-string value); what a test added
// is taken out again when it ends.
class PendingRenames {
 public:
  PendingRenames() : FBefore(Read()) {}
  ~PendingRenames() {
    HKEY Key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, cKey, 0, KEY_SET_VALUE, &Key) != ERROR_SUCCESS) return;
    if (FBefore.empty()) RegDeleteValueW(Key, L"PendingFileRenameOperations");
    else RegSetValueExW(Key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(FBefore.data()),
                        static_cast<DWORD>(FBefore.size() * sizeof(wchar_t)));
    RegCloseKey(Key);
  }
  PendingRenames(const PendingRenames&) = delete;
  PendingRenames& operator=(const PendingRenames&) = delete;
  // What is scheduled now, the strings separated by "|".
  std::string Text() const {
    std::wstring Now = Read();
    for (auto& C : Now)
      if (C == L'\0') C = L'|';
    return FromWide(Now);
  }

 private:
  static constexpr const wchar_t* cKey = L"System\\CurrentControlSet\\Control\\Session Manager";
  static std::wstring Read() {
    DWORD Size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, cKey, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                     &Size) != ERROR_SUCCESS)
      return {};
    std::wstring Data(Size / sizeof(wchar_t), L'\0');
    RegGetValueW(HKEY_LOCAL_MACHINE, cKey, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, Data.data(),
                 &Size);
    Data.resize(Size / sizeof(wchar_t));
    return Data;
  }
  std::wstring FBefore;
};

}  // namespace uninstaller_test
