// Libraries left beside a program under the names of system libraries (the program started
// from a download folder): the ones the program takes must come from the system folder.
#include <gtest/gtest.h>

#include "shared/ServicesSupport.h"
#include "system/ProcessWin.h"
#include "system/RegistryWin.h"
#include "system/ServerRegistrationWin.h"
#include "system/WideWin.h"

using namespace setup;
using namespace services_test;

namespace {

const char* const cOverrides = "Software\\Wine\\AppDefaults\\library_user.exe";

DWORD RunFixture(const std::string& Program, const std::string& Mode) {
  const ProcessHandle Process = RunProgram("\"" + Program + "\"", Mode, true);
  DWORD Code = 12345;
  GetExitCodeProcess(Process.Get(), &Code);
  return Code;
}

TEST(SystemLibraries, ComeFromTheSystemFolderWhateverLiesBesideTheProgram) {
  TempFolder Temp;
  const std::string Program = PlaceFixture(FIXTURE_LIBRARY_USER, Temp.Path + "library_user.exe");
  for (const char* Name : {"version.dll", "msimg32.dll"}) PlaceFixture(FIXTURE_PLANTED_LIBRARY, Temp.Path + Name);
  // Wine takes its own library before one in the program's folder; for this program it looks
  // in the program's folder first, as Windows does for a library no KnownDLLs entry covers.
  RegistryWin Reg;
  Reg.SetRootKey(RegistryRoot::CurrentUser);
  ASSERT_TRUE(Reg.OpenKey(std::string(cOverrides) + "\\DllOverrides", true));
  Reg.WriteString("version", "native,builtin");
  Reg.WriteString("msimg32", "native,builtin");
  Reg.CloseKey();

  // Named bare, as an import table names them, the lookalikes are taken: this is what the
  // marks below would show.
  EXPECT_EQ(RunFixture(Program, "bare"), 0u);
  EXPECT_TRUE(Exists(Temp.Path + "version.dll.loaded"));
  EXPECT_TRUE(Exists(Temp.Path + "msimg32.dll.loaded"));
  DeleteFileW(ToWide(Temp.Path + "version.dll.loaded").c_str());
  DeleteFileW(ToWide(Temp.Path + "msimg32.dll.loaded").c_str());

  EXPECT_EQ(RunFixture(Program, "system"), 0u) << "a function was not found in the system's libraries";
  EXPECT_FALSE(Exists(Temp.Path + "version.dll.loaded"));
  EXPECT_FALSE(Exists(Temp.Path + "msimg32.dll.loaded"));

  Reg.DeleteKey(cOverrides);
}

// setup.exe, its registration child and UnInstall.exe started from a download folder where
// somebody left a library: a server they register or unregister takes what is installed beside
// it, but a library it loads by name alone comes from the system folder, never from theirs.
TEST(SystemLibraries, TheProgramsTakeNothingFromTheirFolderForTheServersTheyRegister) {
  TempFolder Temp;
  const std::string Download = Temp.Folder("Загрузки"), Product = Temp.Folder("Продукт");
  const std::string Setup = PlaceFixture(SETUP_EXE, Download + "setup.exe");
  const std::string Uninstaller = PlaceFixture(UNINSTALLER_EXE, Download + "UnInstall.exe");
  PlaceFixture(FIXTURE_PLANTED_LIBRARY, Download + "planted.dll");
  const std::string Server = PlaceFixture(FIXTURE_SEARCHING_SERVER, Product + "server.dll");
  PlaceFixture(FIXTURE_PLAIN_LIBRARY, Product + "fixture_plain_library.dll");
  ClearMark(L"SearchingServer");
  ClearMark(L"SearchingServerUnregistered");

  EXPECT_EQ(RegisterDllServerInChild(Setup, Server), regRegistered);
  EXPECT_EQ(ReadMark(L"SearchingServer"), "system folder only");
  RunProgram("\"" + Uninstaller + "\"", "\"/unregdll=" + Server + "\"", true);
  EXPECT_EQ(ReadMark(L"SearchingServerUnregistered"), "system folder only");
  EXPECT_FALSE(Exists(Download + "planted.dll.loaded"));
  ClearMark(L"SearchingServer");
  ClearMark(L"SearchingServerUnregistered");
}

}  // namespace
