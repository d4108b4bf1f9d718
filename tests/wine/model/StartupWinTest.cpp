#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include "model/StartupWin.h"
#include "system/Paths.h"
#include "system/Registry.h"
#include "system/RegistryWin.h"
#include "system/WideWin.h"

namespace setup {
namespace {

std::string ShellFolder(int Id) {
  wchar_t Buffer[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, Id, nullptr, SHGFP_TYPE_CURRENT, Buffer))) return {};
  return NormalizeDir(FromWide(Buffer));
}

std::string OwnFolder() {
  wchar_t Buffer[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, Buffer, MAX_PATH);
  return ExtractFilePath(FromWide(Buffer));
}

TEST(EnvironmentWin, FoldersOfTheRealSystem) {
  RegistryWin Registry;
  const TEnvironment E = ReadEnvironment(Registry);
  EXPECT_EQ(E.SystemDir, ShellFolder(CSIDL_SYSTEM));
  EXPECT_EQ(E.WindowsDir, ShellFolder(CSIDL_WINDOWS));
  EXPECT_EQ(E.ProgramsDir, ShellFolder(CSIDL_PROGRAMS));
  EXPECT_EQ(E.FontsDir, ShellFolder(CSIDL_FONTS));
  EXPECT_EQ(E.ProgramFilesDir, ShellFolder(CSIDL_PROGRAM_FILES));
  EXPECT_EQ(E.CommonFilesDir, ShellFolder(CSIDL_PROGRAM_FILES_COMMON));
  EXPECT_EQ(E.SetupDir, OwnFolder());
  for (const auto* Dir : {&E.SystemDir, &E.WindowsDir, &E.ProgramsDir, &E.FontsDir, &E.ProgramFilesDir,
                          &E.CommonFilesDir, &E.BdeDir, &E.SetupDir}) {
    ASSERT_FALSE(Dir->empty());
    EXPECT_EQ(Dir->back(), '\\') << *Dir;
  }
}

TEST(EnvironmentWin, RegistryValuesAreNormalisedAndTheBdeFolderFallsBack) {
  MemoryRegistry Registry;
  Registry.SetRootKey(RegistryRoot::CurrentUser);
  ASSERT_TRUE(Registry.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", true));
  Registry.WriteString("Programs", "\"C:\\Menu\\Programs\"");
  Registry.WriteInteger("Fonts", 5);  // not a string: taken as missing
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Registry.OpenKey("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", true));
  Registry.WriteString("ProgramFilesDir", "E");
  Registry.CloseKey();

  TEnvironment E = ReadEnvironment(Registry);
  EXPECT_EQ(E.ProgramsDir, "C:\\Menu\\Programs\\");
  EXPECT_EQ(E.FontsDir, "");
  EXPECT_EQ(E.ProgramFilesDir, "E:\\");
  EXPECT_EQ(E.CommonFilesDir, "");
  EXPECT_EQ(E.BdeDir, "E:\\Borland\\Common Files\\BDE\\");

  Registry.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Registry.OpenKey("\\SOFTWARE\\Borland\\Database Engine", true));
  Registry.WriteString("DLLPATH", "D:\\IDAPI");
  Registry.CloseKey();
  E = ReadEnvironment(Registry);
  EXPECT_EQ(E.BdeDir, "D:\\IDAPI\\");
}

TEST(ScriptResourceWin, TheEmbeddedScriptIsReadUpToItsNulByte) {
  std::string Bytes;
  ASSERT_TRUE(ReadScriptResource(Bytes));
  EXPECT_NE(Bytes.find("README = after the end"), std::string::npos) << "the resource is copied whole";

  TInstallInfo Info;
  LoadScriptResource(Info);
  EXPECT_EQ(Info.Description, "Демо");
  ASSERT_EQ(Info.Groups.size(), 1u);
  EXPECT_EQ(Info.Groups[0]->Caption, "Основная");
  ASSERT_NE(Info.FindFile(2), nullptr);
  EXPECT_TRUE(Info.Readme.empty()) << "nothing after the NUL byte is read";
}

TEST(ScriptResourceWin, StartupResolvesTheDefaultsAgainstTheRealFolders) {
  RegistryWin Registry;
  TInstallInfo Info(&Registry);
  InitEnvironment(Info, Registry, {"/GROUP=Своя группа"});
  EXPECT_EQ(Info.Directory, ShellFolder(CSIDL_PROGRAM_FILES) + "Vendrix");
  EXPECT_EQ(Info.InstallDir, Info.Directory);
  EXPECT_EQ(Info.ProgramGroup, "Своя группа");
  EXPECT_EQ(Info.ExpandPath(Info.Groups[0]->FolderKind, Info.Files[0]->Path), Info.Directory + "\\a.exe");
  EXPECT_EQ(Info.ExpandPath(8, Info.ExePaths[0]->CommandLine), WithoutBackslash(Info.Environment.BdeDir) + "\\x.exe");
}

}  // namespace
}  // namespace setup
