#include <gtest/gtest.h>

#include "shared/ServicesSupport.h"
#include "system/Errors.h"
#include "system/ProcessWin.h"

using namespace setup;
using namespace services_test;

namespace {

DWORD ExitCode(const ProcessHandle& Process) {
  DWORD Code = 12345;
  GetExitCodeProcess(Process.Get(), &Code);
  return Code;
}

// Restores the test's current folder.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& Folder) {
    GetCurrentDirectoryW(MAX_PATH, FSaved);
    SetCurrentDirectoryW(ToWide(Folder).c_str());
  }
  ~CurrentFolder() { SetCurrentDirectoryW(FSaved); }

 private:
  wchar_t FSaved[MAX_PATH + 1] = {};
};

}  // namespace

TEST(RunProgram, WaitsAndStartsInTheProgramsFolder) {
  TempFolder Temp;
  const std::string Folder = Temp.Folder("Программы\\Run Dir");
  const std::string Program = PlaceFixture(FIXTURE_RECORDER, Folder + "rec.exe");
  RecorderLog Log(Temp.Path + "log.txt");

  // Quoted path; the program lingers, so only a real wait finds the record written.
  const std::string Quoted = "\"" + Program + "\" /sleep=300 /exit=7";
  ProcessHandle Process = RunProgram(Quoted, "", true);
  ASSERT_TRUE(Process);
  EXPECT_EQ(WaitForSingleObject(Process.Get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(ExitCode(Process), 7u);
  ASSERT_EQ(Log.Records(), 1);
  EXPECT_EQ(Log.Field("cmdline"), Quoted + " ");  // an empty Params leaves the blank
  EXPECT_EQ(WithBackslash(Log.Field("cwd")), Folder);

  // Unquoted, extra parameters, and a backslash in an argument that must not become the
  // working folder. (Wine quotes an unquoted program path with blanks on its own, so this
  // one has none.)
  const std::string Plain = Temp.Folder("Программы\\Run");
  const std::string Unquoted = PlaceFixture(FIXTURE_RECORDER, Plain + "rec.exe") + " /note=C:\\windows\\";
  RunProgram(Unquoted, "/x \"y z\"", true);
  ASSERT_EQ(Log.Records(), 2);
  EXPECT_EQ(Log.Field("cmdline", 1), Unquoted + " /x \"y z\"");
  EXPECT_EQ(Log.Field("exe", 1), Plain + "rec.exe");
  EXPECT_EQ(WithBackslash(Log.Field("cwd", 1)), Plain);
}

TEST(RunProgram, RelativeCommandKeepsTheInstallersFolder) {
  TempFolder Temp;
  const std::string Here = Temp.Folder("текущая");
  PlaceFixture(FIXTURE_RECORDER, Here + "rec.exe");
  const std::string Elsewhere = Temp.Folder("elsewhere");
  RecorderLog Log(Temp.Path + "log.txt");
  CurrentFolder Current(Here);
  RunProgram("rec.exe /a " + Elsewhere, "", true);
  ASSERT_EQ(Log.Records(), 1);
  EXPECT_EQ(Log.Field("cmdline"), "rec.exe /a " + Elsewhere + " ");
  EXPECT_EQ(WithBackslash(Log.Field("cwd")), Here);
}

TEST(RunProgram, WithoutWaitReturnsWhileTheProgramRuns) {
  TempFolder Temp;
  const std::string Program = PlaceFixture(FIXTURE_RECORDER, Temp.Path + "rec.exe");
  RecorderLog Log(Temp.Path + "log.txt");
  const std::wstring EventName = L"SetupEngineTests.Hold." + std::to_wstring(GetCurrentProcessId());
  HandleGuard Release(CreateEventW(nullptr, TRUE, FALSE, EventName.c_str()));
  ProcessHandle Process = RunProgram(Program + " /hold=" + FromWide(EventName), "", false);
  ASSERT_TRUE(Process);
  EXPECT_EQ(WaitForSingleObject(Process.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(Exists(Log.Path));
  SetEvent(Release.Get());
  ASSERT_EQ(WaitForSingleObject(Process.Get(), 60000), WAIT_OBJECT_0);
  EXPECT_EQ(ExitCode(Process), 0u);
  EXPECT_EQ(Log.Records(), 1);
}

TEST(RunProgram, UnstartableCommandRaisesTheSystemError) {
  TempFolder Temp;
  auto ErrorOf = [](const std::string& Command) -> std::string {
    try {
      RunProgram(Command, "", true);
    } catch (const Exception& E) {
      return E.what();
    }
    return "<started>";
  };
  EXPECT_EQ(ErrorOf(Temp.Path + "missing.exe"), SystemErrorMessage(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ErrorOf("no-such-program-anywhere.exe /q"), SystemErrorMessage(ERROR_FILE_NOT_FOUND));
  // A text file is not a program.
  WriteBytes(Temp.Path + "notes.exe", "plain text");
  EXPECT_NE(ErrorOf(Temp.Path + "notes.exe"), "<started>");
  EXPECT_NE(ErrorOf(""), "<started>");
}
