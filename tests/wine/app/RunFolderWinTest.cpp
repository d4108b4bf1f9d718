// The run's own folder in the temporary folder, and the folders that killed runs left there.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "app/RunFolderWin.h"
#include "shared/TestFiles.h"

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
    STARTUPINFOW Start = {sizeof(Start)};
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
  // A run still going, and this process's own name.
  const fs::path Alive = Root / ("setup-" + Hex(Running.Id()) + "-00c0ffee");
  const fs::path Own = Root / ("setup-" + Hex(GetCurrentProcessId()) + "-0000beef");
  MakeFolder(Alive);
  MakeFolder(Own);
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
  for (const fs::path& Folder : Foreign) EXPECT_TRUE(fs::exists(Folder / "CABINET.DLL")) << Folder;
  EXPECT_TRUE(fs::is_regular_file(File));
  EXPECT_TRUE(fs::is_directory(Nested / "inner"));
  const std::string Mine = Run.Path();
  Run.Remove();
  EXPECT_FALSE(fs::exists(Mine));
}

}  // namespace
}  // namespace setup
