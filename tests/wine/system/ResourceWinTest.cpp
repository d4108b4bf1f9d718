#include <gtest/gtest.h>

#include "shared/ServicesSupport.h"
#include "system/Errors.h"
#include "system/ResourceWin.h"

using namespace setup;
using namespace services_test;

namespace {

std::string Payload() { return ReadBytes(FixturePath(SERVICES_PAYLOAD)); }

std::string ErrorOf(const std::string& Resource, const std::string& File) {
  try {
    SaveResourceToFile(Resource, File);
  } catch (const EAbort&) {
    return "<abort>";
  } catch (const Exception& E) {
    return E.what();
  }
  return "<saved>";
}

}  // namespace

TEST(SaveResourceToFile, WritesExactlyTheResourceBytes) {
  TempFolder Temp;
  const std::string Expected = Payload();
  ASSERT_EQ(Expected.size(), 3072u);
  // Over a larger existing file: nothing of the old content remains.
  const std::string Existing = Temp.Path + "CABINET.DLL";
  WriteBytes(Existing, std::string(100000, 'x'));
  SaveResourceToFile("PAYLOAD", Existing);
  EXPECT_EQ(ReadBytes(Existing), Expected);
  // A new file, a numbered name, a path outside the ANSI code page.
  const std::string Fresh = Temp.Folder("Временные αβ") + "runbefore.exe";
  SaveResourceToFile("RUNBEFORE7", Fresh);
  EXPECT_EQ(ReadBytes(Fresh), Expected);
}

TEST(SaveResourceToFile, MissingResourceAbortsSilentlyAndTouchesNothing) {
  TempFolder Temp;
  const std::string Existing = Temp.Path + "keep.bin";
  WriteBytes(Existing, "old content");
  EXPECT_EQ(ErrorOf("RUNBEFORE8", Existing), "<abort>");
  EXPECT_EQ(ReadBytes(Existing), "old content");
  EXPECT_EQ(ErrorOf("NOSUCHRESOURCE", Temp.Path + "new.bin"), "<abort>");
  EXPECT_FALSE(Exists(Temp.Path + "new.bin"));
}

TEST(SaveResourceToFile, FileThatCannotBeCreatedNamesPathAndReason) {
  TempFolder Temp;
  const std::string NoFolder = Temp.Path + "нет папки\\CABINET.DLL";
  EXPECT_EQ(ErrorOf("PAYLOAD", NoFolder),
            "Cannot create file \"" + NoFolder + "\". " + SystemErrorMessage(ERROR_PATH_NOT_FOUND));

  // A folder stands where the file should go.
  const std::string Folder = WithoutBackslash(Temp.Folder("CABINET.DLL"));
  EXPECT_EQ(ErrorOf("PAYLOAD", Folder),
            "Cannot create file \"" + Folder + "\". " + SystemErrorMessage(ERROR_ACCESS_DENIED));
}

TEST(SaveResourceToFile, FileHeldByAnotherProgram) {
  // Another running copy holds the library: the file cannot be created and stays as it is.
  TempFolder Temp;
  const std::string Busy = Temp.Path + "CABINET.DLL";
  WriteBytes(Busy, "in use");
  const std::wstring Stop = L"SetupEngineTests.Locker." + std::to_wstring(GetCurrentProcessId());
  HandleGuard StopEvent(CreateEventW(nullptr, TRUE, FALSE, Stop.c_str()));
  HandleGuard Ready(CreateEventW(nullptr, TRUE, FALSE, (Stop + L".ready").c_str()));
  std::wstring Command = L"\"" + ToWide(FixturePath(FIXTURE_LOCKER)) + L"\" \"" + ToWide(Busy) + L"\" " + Stop;
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Started{};
  ASSERT_TRUE(CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Started));
  HandleGuard Locker(Started.hProcess), Thread(Started.hThread);
  ASSERT_EQ(WaitForSingleObject(Ready.Get(), 60000), WAIT_OBJECT_0);

  EXPECT_EQ(ErrorOf("PAYLOAD", Busy),
            "Cannot create file \"" + Busy + "\". " + SystemErrorMessage(ERROR_SHARING_VIOLATION));
  SetEvent(StopEvent.Get());
  ASSERT_EQ(WaitForSingleObject(Locker.Get(), 60000), WAIT_OBJECT_0);
  EXPECT_EQ(ReadBytes(Busy), "in use");
  // Released: now it can be written.
  SaveResourceToFile("PAYLOAD", Busy);
  EXPECT_EQ(ReadBytes(Busy), Payload());
}
