#include <windows.h>

#include "model/Discovery.h"
#include "model/StartupWin.h"
#include "system/Bde.h"
#include "system/Paths.h"
#include "system/Registry.h"
#include "system/SystemWin.h"
#include "system/WideWin.h"

namespace setup {
namespace {

// GetSystemDirectoryW and GetWindowsDirectoryW report the size they need when the buffer is
// too small, so no fixed-size buffer limits the path.
template <class Fn>
std::string SystemFolder(Fn Get) {
  std::wstring Buffer(MAX_PATH, L'\0');
  UINT Length = Get(Buffer.data(), static_cast<UINT>(Buffer.size()));
  if (Length >= Buffer.size()) {
    Buffer.resize(Length);
    Length = Get(Buffer.data(), static_cast<UINT>(Buffer.size()));
    if (Length >= Buffer.size()) Length = 0;
  }
  Buffer.resize(Length);
  return FromWide(Buffer);
}

class TSystemFolders1C : public I1CFolders {
 public:
  std::vector<std::string> SubFolders(const std::string& Folder) override {
    std::vector<std::string> Names;
    WIN32_FIND_DATAW Found;
    HANDLE Find = FindFirstFileExW(ToWide(Folder + "*").c_str(), FindExInfoStandard, &Found, FindExSearchLimitToDirectories,
                                   nullptr, 0);
    if (Find == INVALID_HANDLE_VALUE) return Names;
    do {
      const std::wstring_view Name = Found.cFileName;
      if ((Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && Name != L"." && Name != L"..")
        Names.push_back(FromWide(Name));
    } while (FindNextFileW(Find, &Found));
    FindClose(Find);
    return Names;
  }
  bool FileExists(const std::string& Path) override {
    const DWORD Attributes = GetFileAttributesW(ToWide(Path).c_str());
    return Attributes != INVALID_FILE_ATTRIBUTES && !(Attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
};

}  // namespace

I1CFolders& SystemFolders1C() {
  static TSystemFolders1C Folders;
  return Folders;
}

TEnvironment ReadEnvironment(IRegistry& Registry) {
  TEnvironment E;
  E.SystemDir = NormalizeDir(SystemFolder(GetSystemDirectoryW));
  E.WindowsDir = NormalizeDir(SystemFolder(GetWindowsDirectoryW));

  // Only reading is needed here, so the keys are opened read-only: a user without write access
  // to HKEY_LOCAL_MACHINE still gets the folders.
  Registry.SetRootKey(RegistryRoot::CurrentUser);
  if (Registry.OpenKeyReadOnly("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")) {
    E.ProgramsDir = NormalizeDir(Registry.ReadStringOrEmpty("Programs"));
    E.FontsDir = NormalizeDir(Registry.ReadStringOrEmpty("Fonts"));
    Registry.CloseKey();
  }
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  if (Registry.OpenKeyReadOnly("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion")) {
    E.ProgramFilesDir = NormalizeDir(Registry.ReadStringOrEmpty("ProgramFilesDir"));
    E.CommonFilesDir = NormalizeDir(Registry.ReadStringOrEmpty("CommonFilesDir"));
    Registry.CloseKey();
  }

  E.BdeDir = ReadBdeDllPath(Registry);
  if (E.BdeDir.empty()) E.BdeDir = E.ProgramFilesDir + "Borland\\Common Files\\BDE\\";
  E.SetupDir = ExtractFilePath(ProgramPath());
  return E;
}

void InitEnvironment(TInstallInfo& Info, IRegistry& Registry, const std::vector<std::string>& Args) {
  Info.Environment = ReadEnvironment(Registry);
  LoadScriptResource(Info);
  // Nothing may build on records that hang in no group or on a group that is its own
  // ancestor: the tree and the worker would follow those links.
  Info.Validate();
  Info.ApplyStartupDefaults(Args);
}

}  // namespace setup
