#include <gtest/gtest.h>

#include <algorithm>

#include "UninstallerSupport.h"
#include "shared/LinksWin.h"
#include "uninstaller/RemovalSystemWin.h"

using namespace setup;
using namespace uninstaller_test;
using services_test::ClearMark;
using services_test::ReadMark;
using services_test::TempFolder;
using Outcome = IRemovalSystem::DeleteOutcome;

TEST(RemovalSystemWin, DeletesFilesReadOnlyOrNotAndTellsWhatElseHappened) {
  TempFolder Temp("удаление");
  RemovalSystemWin System;
  const std::string Plain = Temp.Path + "обычный.txt", ReadOnly = Temp.Path + "только чтение.txt";
  WriteBytes(Plain, "x");
  WriteBytes(ReadOnly, "x");
  SetFileAttributesW(ToWide(ReadOnly).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(System.RemoveFile(Plain), Outcome::Deleted);
  EXPECT_EQ(System.RemoveFile(ReadOnly), Outcome::Deleted);
  EXPECT_FALSE(Exists(ReadOnly));
  EXPECT_EQ(System.RemoveFile(Plain), Outcome::Missing);
  EXPECT_EQ(System.RemoveFile(Temp.Path + "нет\\такого.txt"), Outcome::Missing);
  EXPECT_EQ(System.RemoveFile(Temp.Folder("папка")), Outcome::Failed);
  EXPECT_TRUE(Exists(Temp.Path + "папка"));
}

TEST(RemovalSystemWin, AFileHeldOpenIsBusyAndKeepsItsAttributes) {
  TempFolder Temp;
  RemovalSystemWin System;
  const std::string Held = Temp.Path + "held.txt";
  WriteBytes(Held, "x");
  SetFileAttributesW(ToWide(Held).c_str(), FILE_ATTRIBUTE_READONLY);
  HandleGuard Open(CreateFileW(ToWide(Held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(Open.Valid());
  EXPECT_EQ(System.RemoveFile(Held), Outcome::Busy);
  EXPECT_TRUE(HasAttributes(Held, FILE_ATTRIBUTE_READONLY));
  Open.Reset();
  EXPECT_EQ(System.RemoveFile(Held), Outcome::Deleted);
}

TEST(RemovalSystemWin, ListsAndRemovesFolders) {
  TempFolder Temp;
  RemovalSystemWin System;
  const std::string Folder = Temp.Folder("Папка");
  Temp.Folder("Папка\\Вложенная");
  WriteBytes(Folder + "Файл.txt", "x");
  auto Entries = System.ListDirectory(Folder);
  std::sort(Entries.begin(), Entries.end(), [](const auto& A, const auto& B) { return A.Name < B.Name; });
  ASSERT_EQ(Entries.size(), 2u);
  EXPECT_EQ(Entries[0].Name, "Вложенная");
  EXPECT_TRUE(Entries[0].IsDirectory);
  EXPECT_EQ(Entries[1].Name, "Файл.txt");
  EXPECT_FALSE(Entries[1].IsDirectory);
  EXPECT_TRUE(System.ListDirectory(Temp.Path + "нет").empty());

  EXPECT_FALSE(System.RemoveEmptyFolder(Folder));
  EXPECT_TRUE(System.RemoveEmptyFolder(Folder + "Вложенная"));
  EXPECT_TRUE(System.DirectoryExists(Folder));
  EXPECT_FALSE(System.DirectoryExists(Folder + "Файл.txt"));
  EXPECT_TRUE(System.FileExists(Folder + "Файл.txt"));
}

// The product's folder swapped for a link to another folder after the plan was made (by
// whoever may write beside it): no file or folder is deleted through it, at any depth.
TEST(RemovalSystemWin, ALinkPlantedInPlaceOfAFolderOnTheWayLeadsNoDeletionOutside) {
  TempFolder Temp;
  RemovalSystemWin System;
  const std::string Victim = Temp.Folder("Victim"), Product = Temp.Path + "Product";
  Temp.Folder("Victim\\Deep\\Empty");
  WriteBytes(Victim + "data.txt", "another's");
  WriteBytes(Victim + "Deep\\data.txt", "another's");
  ASSERT_TRUE(test::MakeLink(Product, WithoutBackslash(Victim), true));
  for (const char* Item : {"\\data.txt", "\\Deep\\data.txt"})
    EXPECT_NE(System.RemoveFile(Product + Item), Outcome::Deleted) << Item;
  EXPECT_FALSE(System.RemoveEmptyFolder(Product + "\\Deep\\Empty"));
  EXPECT_FALSE(System.RemoveEmptyFolder(Product + "\\Deep\\data.txt"));  // a file is no folder
  EXPECT_TRUE(test::RemoveLink(Product));
  EXPECT_TRUE(Exists(Victim + "data.txt"));
  EXPECT_TRUE(Exists(Victim + "Deep\\data.txt"));
  EXPECT_TRUE(System.DirectoryExists(Victim + "Deep\\Empty"));
  // Where nothing was swapped, the same deletions go.
  EXPECT_EQ(System.RemoveFile(Victim + "Deep\\data.txt"), Outcome::Deleted);
  EXPECT_TRUE(System.RemoveEmptyFolder(Victim + "Deep\\Empty"));
  EXPECT_FALSE(System.DirectoryExists(Victim + "Deep\\Empty"));
}

TEST(RemovalSystemWin, MakesShortNamesLongAsFarAsThePathExists) {
  TempFolder Temp;
  RemovalSystemWin System;
  const std::string Folder = Temp.Folder("Очень длинное имя папки") + "Ещё одна длинная папка";
  MakeDirs(Folder);
  wchar_t Short[MAX_PATH] = {};
  ASSERT_NE(GetShortPathNameW(ToWide(Folder).c_str(), Short, MAX_PATH), 0u);
  ASSERT_NE(FromWide(Short), Folder) << "the system made no short name";
  EXPECT_EQ(FoldPath(System.LongPath(FromWide(Short))), FoldPath(Folder));
  EXPECT_EQ(FoldPath(System.LongPath(FromWide(Short) + "\\нет\\такого.txt")), FoldPath(Folder + "\\нет\\такого.txt"));
  EXPECT_EQ(System.LongPath("Q:\\nowhere\\x"), "Q:\\nowhere\\x");
}

TEST(RemovalSystemWin, UnregistersLibrariesInAProcessOfTheirOwnOrHere) {
  TempFolder Temp("серверы");
  RemovalSystemWin System;
  const std::string Server = services_test::PlaceFixture(FIXTURE_VERSIONED_SERVER, Temp.Path + "сервер 1.dll");
  ClearMark(L"VersionedServerUnregistered");
  System.UnregisterHelper = FixturePath(UNINSTALLER_EXE);
  System.UnregisterServer(Server, false);
  EXPECT_EQ(ReadMark(L"VersionedServerUnregistered"), Server);
  // Nothing of the server stays in this process.
  EXPECT_EQ(GetModuleHandleW(ToWide(Server).c_str()), nullptr);

  ClearMark(L"VersionedServerUnregistered");
  System.UnregisterHelper.clear();
  System.UnregisterServer(Server, false);
  EXPECT_EQ(ReadMark(L"VersionedServerUnregistered"), Server);
  EXPECT_EQ(GetModuleHandleW(ToWide(Server).c_str()), nullptr);
  ClearMark(L"VersionedServerUnregistered");

  WriteBytes(Temp.Path + "broken.dll", "MZ not a library");
  EXPECT_NO_FATAL_FAILURE(System.UnregisterServer(Temp.Path + "broken.dll", false));
  System.UnregisterHelper = FixturePath(UNINSTALLER_EXE);
  EXPECT_NO_FATAL_FAILURE(System.UnregisterServer(Temp.Path + "broken.dll", false));
}

TEST(RemovalSystemWin, CommandsThatCannotStartAreToldApart) {
  RemovalSystemWin System;
  EXPECT_TRUE(System.RunCommand("cmd /c exit 3"));
  EXPECT_FALSE(System.RunCommand("\"C:\\нет такой программы.exe\" /x"));
}
