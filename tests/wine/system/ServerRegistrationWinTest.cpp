#include <gtest/gtest.h>

#include "shared/ServicesSupport.h"
#include "system/ServerRegistrationWin.h"

using namespace setup;
using namespace services_test;

TEST(DllServerRegistration, CallsTheEntryAndUnloads) {
  TempFolder Temp;
  const std::string Server = PlaceFixture(FIXTURE_VERSIONED_SERVER, Temp.Folder("Общие файлы") + "srv 1.dll");
  ClearMark(L"VersionedServer");
  EXPECT_EQ(RegisterDllServer(Server), regRegistered);
  EXPECT_EQ(ReadMark(L"VersionedServer"), Server);
  EXPECT_EQ(GetModuleHandleW(ToWide(Server).c_str()), nullptr) << "library left loaded";
  ClearMark(L"VersionedServer");
}

TEST(DllServerRegistration, FailuresAreSilent) {
  TempFolder Temp;
  // No entry point: the library is loaded, nothing else happens, and it goes away again.
  const std::string Plain = PlaceFixture(FIXTURE_PLAIN_LIBRARY, Temp.Path + "plain.dll");
  ClearMark(L"PlainLibraryLoaded");
  EXPECT_EQ(RegisterDllServer(Plain), regNoEntry);
  EXPECT_EQ(ReadMark(L"PlainLibraryLoaded"), "yes");
  EXPECT_EQ(GetModuleHandleW(ToWide(Plain).c_str()), nullptr);
  ClearMark(L"PlainLibraryLoaded");

  WriteBytes(Temp.Path + "broken.dll", "MZ not really a library");
  EXPECT_EQ(RegisterDllServer(Temp.Path + "broken.dll"), regNotLoaded);
  EXPECT_EQ(RegisterDllServer(Temp.Path + "missing.dll"), regNotLoaded);
  EXPECT_NO_THROW(RegisterDllServer(""));
}

TEST(DllServerRegistration, AChildRunThatCannotStartIsReportedNotRun) {
  TempFolder Temp;
  const std::string Server = PlaceFixture(FIXTURE_VERSIONED_SERVER, Temp.Path + "srv.dll");
  ClearMark(L"VersionedServer");
  // Without a program to run the registration in, the server is not loaded here instead.
  EXPECT_EQ(RegisterDllServerInChild(Temp.Path + "no such program.exe", Server), regNotStarted);
  EXPECT_EQ(ReadMark(L"VersionedServer"), "");
  EXPECT_EQ(GetModuleHandleW(ToWide(Server).c_str()), nullptr);
}

TEST(ExeServerRegistration, RunsUnquotedInItsFolderAndWaits) {
  TempFolder Temp;
  const std::string Folder = Temp.Folder("Program Files\\Продукт X");
  const std::string Server = PlaceFixture(FIXTURE_RECORDER, Folder + "srv.exe");
  // A program where the unquoted path would first be looked for must not be the one started.
  PlaceFixture(FIXTURE_RECORDER, Temp.Path + "Program.exe");
  RecorderLog Log(Temp.Path + "log.txt");
  ClearMark(L"RecorderRegServer");

  RegisterExeServer(Server);
  // Recorded before the call returned: it waited for the server to end.
  ASSERT_EQ(Log.Records(), 1);
  EXPECT_EQ(Log.Field("cmdline"), Server + " /RegServer");
  EXPECT_EQ(Log.Field("exe"), Server);
  EXPECT_EQ(WithBackslash(Log.Field("cwd")), Folder);
  EXPECT_EQ(ReadMark(L"RecorderRegServer"), Server + " /RegServer");
  ClearMark(L"RecorderRegServer");
}

TEST(ExeServerRegistration, MissingServerIsSilent) {
  TempFolder Temp;
  RecorderLog Log(Temp.Path + "log.txt");
  EXPECT_NO_THROW(RegisterExeServer(Temp.Path + "missing.exe"));
  EXPECT_NO_THROW(RegisterExeServer(Temp.Path + "no such folder\\srv.exe"));
  EXPECT_NO_THROW(RegisterExeServer(""));
  EXPECT_FALSE(Exists(Log.Path));
}
