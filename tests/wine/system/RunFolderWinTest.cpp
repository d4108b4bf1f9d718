// The run's own folder in the temporary folder, and the folders that killed runs left there.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <filesystem>
#include <string>

#include "shared/LinksWin.h"
#include "shared/TestFiles.h"
#include "system/RunFolderWin.h"
#include "system/SafeFilesWin.h"

namespace setup {
namespace {

namespace fs = std::filesystem;

std::string Hex(DWORD Value) {
  char Text[16];
  wsprintfA(Text, "%lx", Value);
  return Text;
}

// A process of its own, started suspended: running until Stop, and known to the system (its
// number not reused) while this object holds it.
class TChildProcess {
 public:
  TChildProcess() {
    STARTUPINFOW Start{};
    Start.cb = sizeof Start;
    wchar_t Command[] = L"cmd.exe /c exit 0";
    if (!CreateProcessW(nullptr, Command, nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                        nullptr, &Start, &FInfo))
      ADD_FAILURE() << "no child process: " << GetLastError();
  }
  ~TChildProcess() {
    Stop();
    CloseHandle(FInfo.hThread);
    CloseHandle(FInfo.hProcess);
  }
  void Stop() {
    TerminateProcess(FInfo.hProcess, 0);
    WaitForSingleObject(FInfo.hProcess, INFINITE);
  }
  DWORD Id() const { return FInfo.dwProcessId; }

 private:
  PROCESS_INFORMATION FInfo{};
};

void MakeFolder(const fs::path& Folder, bool ReadOnlyFile = false) {
  fs::create_directory(Folder);
  test::WriteFile(Folder / "CABINET.DLL", "library");
  if (ReadOnlyFile) SetFileAttributesW((Folder / "CABINET.DLL").c_str(), FILE_ATTRIBUTE_READONLY);
}

TEST(RunFolder, FoldersOfRunsThatAreGoneAreRemovedAndEveryOtherStays) {
  test::TTempDir Temp("run-folders");
  TChildProcess Ended, Running;
  Ended.Stop();
  const fs::path Root = Temp.Path();
  // Left by runs whose process is gone: one that has ended, one that no longer exists at all.
  const fs::path Killed = Root / ("setup-" + Hex(Ended.Id()) + "-0badf00d");
  const fs::path Vanished = Root / "setup-7ffffffc-12345678";
  MakeFolder(Killed, true);
  MakeFolder(Vanished);
  // A run still going; a folder of this process's own, held as a run holds its folder; and one
  // with this process's number that it does not hold (a killed run's, whose number came back).
  const fs::path Alive = Root / ("setup-" + Hex(Running.Id()) + "-00c0ffee");
  const fs::path Own = Root / ("setup-" + Hex(GetCurrentProcessId()) + "-0000beef");
  const fs::path Reused = Root / ("setup-" + Hex(GetCurrentProcessId()) + "-0000dead");
  MakeFolder(Alive);
  MakeFolder(Own);
  MakeFolder(Reused);
  const HandleGuard Held(CreateFileW(Own.c_str(), DELETE | FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_TRUE(Held);
  // Names this program does not give, a file with a run folder's name, and a folder that holds
  // a folder: not removed.
  const std::string Gone = Hex(Ended.Id());
  const fs::path Foreign[] = {Root / ("setup-" + Gone + "-0badf00"), Root / ("setup-" + Gone + "-0badf00d0"),
                              Root / ("setup-0x" + Gone + "-0badf00d"), Root / ("setup--0badf00d"),
                              Root / ("setup-" + Gone + "-0badf0zz"), Root / ("setup-" + Gone + "x0badf00d")};
  for (const fs::path& Folder : Foreign) MakeFolder(Folder);
  const fs::path File = Root / ("setup-" + Gone + "-0000000a");
  test::WriteFile(File, "not a folder");
  const fs::path Nested = Root / ("setup-" + Gone + "-0000000b");
  MakeFolder(Nested);
  fs::create_directory(Nested / "inner");

  TRunFolder Run;
  Run.Create(Temp.Folder());
  EXPECT_TRUE(fs::is_directory(Run.Path()));
  EXPECT_FALSE(fs::exists(Killed));
  EXPECT_FALSE(fs::exists(Vanished));
  EXPECT_TRUE(fs::exists(Alive / "CABINET.DLL"));
  EXPECT_TRUE(fs::exists(Own / "CABINET.DLL"));
  EXPECT_FALSE(fs::exists(Reused));
  for (const fs::path& Folder : Foreign) EXPECT_TRUE(fs::exists(Folder / "CABINET.DLL")) << Folder;
  EXPECT_TRUE(fs::is_regular_file(File));
  EXPECT_TRUE(fs::is_directory(Nested / "inner"));
  const std::string Mine = Run.Path();
  Run.Remove();
  EXPECT_FALSE(fs::exists(Mine));
}

// Another account's links, named as this program names its folders, lead to a folder and a
// file of somebody else's: nothing is followed, and nothing they lead to is deleted.
TEST(RunFolder, LinksAmongTheFoldersOfRunsThatAreGoneAreNeverFollowed) {
  test::TTempDir Temp("run-links");
  const fs::path Root = Temp.Path();
  const fs::path Victim = Root / "Victim";
  MakeFolder(Victim);
  test::WriteFile(Victim / "target.dll", "victim");
  // A link in the place of a run's folder (the run's process no longer exists).
  const std::string Link = (Root / "setup-7ffffffc-00000000").string();
  ASSERT_TRUE(test::MakeLink(Link, Victim.string(), true));
  // A run's folder left behind, holding links to the victim's file and to the victim itself.
  const fs::path Killed = Root / "setup-7ffffffc-0badf00d";
  MakeFolder(Killed);
  const std::string FileLink = (Killed / "runbefore.exe").string(), FolderLink = (Killed / "inner").string();
  ASSERT_TRUE(test::MakeLink(FileLink, (Victim / "target.dll").string(), false));
  ASSERT_TRUE(test::MakeLink(FolderLink, Victim.string(), true));

  RemoveAbandonedRunFolders(Temp.Folder());

  EXPECT_TRUE(fs::exists(Victim / "target.dll"));
  EXPECT_TRUE(fs::exists(Victim / "CABINET.DLL"));
  EXPECT_TRUE(test::NameExists(Link)) << "not a folder of ours: it stays";
  EXPECT_FALSE(fs::exists(Killed / "CABINET.DLL")) << "the left folder's own file stays";
  for (const std::string& Planted : {Link, FileLink, FolderLink}) test::RemoveLink(Planted);
}

// Somebody renames the run's folder away while the run uses it and puts a link to another
// folder in its place: the folder is held, so that cannot happen, and its removal deletes what
// is in it, never what a link there leads to.
TEST(RunFolder, ARunsFolderCannotBeSwappedForALinkBeforeItsRemoval) {
  test::TTempDir Temp("run-swap");
  const fs::path Victim = Temp.Path() / "Victim";
  MakeFolder(Victim);
  TRunFolder Run;
  Run.Create(Temp.Folder());
  const std::string Written = Run.WriteResource("PAYLOAD", "CABINET.DLL");
  const std::string Folder = Run.Path().substr(0, Run.Path().size() - 1);
  const std::string Away = Folder + "-away";
  const bool Moved = MoveFileW(setup::ToWide(Folder).c_str(), setup::ToWide(Away).c_str());
  if (Moved) ASSERT_TRUE(test::MakeLink(Folder, Victim.string(), true));
  EXPECT_FALSE(Moved) << "the run's folder was renamed while in use";

  Run.Remove();

  EXPECT_TRUE(fs::exists(Victim / "CABINET.DLL"));
  if (Moved) {
    test::RemoveLink(Folder);
  } else {
    EXPECT_FALSE(test::NameExists(Folder));
  }
}

// The folder's rules: an elevated run's name SYSTEM and the administrators only (the owner's
// implicit rights cut to reading them), never the user, whose unelevated programs could
// otherwise put a library beside a program the run starts; a run that is not elevated names the
// user as well.
TEST(RunFolder, AnElevatedRunsFolderIsOpenToSystemAndTheAdministratorsOnly) {
  const std::wstring User = CurrentUserSid();
  ASSERT_FALSE(User.empty());
  for (const bool Elevated : {true, false}) {
    SCOPED_TRACE(Elevated ? "elevated" : "not elevated");
    TScopedLocal Descriptor;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(RunFolderRules(Elevated).c_str(), SDDL_REVISION_1,
                                                                     Descriptor.Receive(), nullptr));
    SECURITY_DESCRIPTOR_CONTROL Control = 0;
    DWORD Revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(Descriptor.Get(), &Control, &Revision));
    EXPECT_TRUE(Control & SE_DACL_PROTECTED) << "rights inherited from the temporary folder";
    BOOL Present = FALSE, Defaulted = FALSE;
    PACL Rules = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(Descriptor.Get(), &Present, &Rules, &Defaulted));
    ASSERT_TRUE(Present && Rules);
    std::wstring Granted;  // "SID=mask;" for each rule, in order
    for (DWORD Index = 0; Index < Rules->AceCount; ++Index) {
      ACCESS_ALLOWED_ACE* Rule = nullptr;
      ASSERT_TRUE(GetAce(Rules, Index, reinterpret_cast<void**>(&Rule)));
      ASSERT_EQ(Rule->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
      TScopedLocal Sid;
      ASSERT_TRUE(ConvertSidToStringSidW(&Rule->SidStart, reinterpret_cast<LPWSTR*>(Sid.Receive())));
      wchar_t Mask[16];
      wsprintfW(Mask, L"%lx", Rule->Mask);
      Granted += std::wstring(static_cast<const wchar_t*>(Sid.Get())) + L"=" + Mask + L";";
    }
    const std::wstring Full = L"=1f01ff;";  // FILE_ALL_ACCESS
    if (Elevated)
      EXPECT_EQ(Granted, L"S-1-5-18" + Full + L"S-1-5-32-544" + Full + L"S-1-3-4=20000;");
    else
      EXPECT_EQ(Granted, User + Full + L"S-1-5-18" + Full + L"S-1-5-32-544" + Full);
  }
}

}  // namespace
}  // namespace setup
