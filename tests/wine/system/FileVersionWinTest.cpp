#include <gtest/gtest.h>

#include "shared/ServicesSupport.h"
#include "system/VersionWin.h"

using namespace setup;
using namespace services_test;

TEST(FileVersion, FixedInformationComesFirst) {
  // Its string table says "7, 7, 7, 7": the fixed information wins.
  EXPECT_EQ(GetFileVersion(FixturePath(FIXTURE_VERSIONED_SERVER)), "4.8.10.0");
  // All zeros is still a version, and the string table ("9.9.9.9") is not consulted.
  EXPECT_EQ(GetFileVersion(FixturePath(FIXTURE_ZERO_VERSION)), "0.0.0.0");
}

TEST(FileVersion, StringTableWhenThereIsNoFixedInformation) {
  // "4, 8, 10, 0 (beta)" under translation 0419/04E3.
  EXPECT_EQ(GetFileVersion(FixturePath(FIXTURE_STRING_VERSION)), "4.8.10.0");
}

TEST(FileVersion, FilesWithoutVersionGiveNothing) {
  TempFolder Temp;
  WriteBytes(Temp.Path + "readme.txt", "no version here");
  EXPECT_EQ(GetFileVersion(FixturePath(FIXTURE_PLAIN_LIBRARY)), "");
  EXPECT_EQ(GetFileVersion(Temp.Path + "readme.txt"), "");
  EXPECT_EQ(GetFileVersion(Temp.Path + "missing.dll"), "");
  EXPECT_EQ(GetFileVersion(Temp.Path), "");
  EXPECT_EQ(GetFileVersion(""), "");
}

TEST(FileVersion, PathsOutsideTheAnsiCodePage) {
  TempFolder Temp;
  // Greek and Cyrillic: no single code page holds both.
  const std::string Folder = Temp.Folder("Компоненты αβγ");
  EXPECT_EQ(GetFileVersion(PlaceFixture(FIXTURE_VERSIONED_SERVER, Folder + "сервер v1.dll")), "4.8.10.0");
  EXPECT_EQ(GetFileVersion(PlaceFixture(FIXTURE_STRING_VERSION, Folder + "строка.dll")), "4.8.10.0");
}
