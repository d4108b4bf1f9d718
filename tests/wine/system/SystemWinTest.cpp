#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "system/Encoding.h"
#include "system/Errors.h"
#include "system/Paths.h"
#include "system/SystemWin.h"
#include "system/WideWin.h"

using namespace setup;

namespace {

class TempFolder {
 public:
  TempFolder() {
    Path = GetTempDir() + "setup-tests-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(Counter++) + "\\";
    CreateDirectoryW(ToWide(Path).c_str(), nullptr);
  }
  ~TempFolder() {
    std::error_code Ignored;
    std::filesystem::remove_all(std::filesystem::path(ToWide(Path)), Ignored);
  }
  std::string Path;
  static inline int Counter = 0;
};

}  // namespace

TEST(FolderRoutines, MakeDirsCreatesMissingParents) {
  TempFolder Temp;
  const std::string Deep = Temp.Path + "Программы\\a b\\c\\";
  MakeDirs(Deep);
  EXPECT_TRUE(DirectoryExists(Deep));
  EXPECT_TRUE(HasAttributes(Temp.Path + "Программы", FILE_ATTRIBUTE_DIRECTORY));
  MakeDirs(Deep);  // already there: nothing happens
  MakeDirs("C:\\");
  MakeDirs("C:");
  try {
    MakeDirs("");
    ADD_FAILURE() << "empty path accepted";
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "Unable to create directory");
  }
  // A parent that is a file cannot hold a folder: the failure is not reported.
  HANDLE F = CreateFileW(ToWide(Temp.Path + "file").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  CloseHandle(F);
  EXPECT_NO_THROW(MakeDirs(Temp.Path + "file\\sub\\dir"));
  EXPECT_FALSE(DirectoryExists(Temp.Path + "file\\sub"));
}

TEST(FolderRoutines, FoldersAndFilesBeyondTheClassicPathLimit) {
  TempFolder Temp;
  std::string Deep = Temp.Path;
  while (Utf8ToUtf16(Deep).size() < 300) Deep += "Длинное имя каталога\\";
  MakeDirs(Deep);
  EXPECT_TRUE(DirectoryExists(Deep));
  const std::string File = Deep + "файл.txt";
  HANDLE F = CreateFileW(ToWidePath(File).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(F, INVALID_HANDLE_VALUE);
  CloseHandle(F);
  EXPECT_TRUE(FileExists(File));
  // Short paths and relative ones stay as they are; long absolute ones take the long form.
  EXPECT_EQ(ToWidePath("C:\\a.txt"), L"C:\\a.txt");
  EXPECT_EQ(ToWidePath(std::string(300, 'x')), ToWide(std::string(300, 'x')));
  EXPECT_EQ(ToWidePath("C:\\" + std::string(300, 'x')), L"\\\\?\\C:\\" + std::wstring(300, L'x'));
  EXPECT_EQ(ToWidePath("\\\\srv\\share\\" + std::string(300, 'x')),
            L"\\\\?\\UNC\\srv\\share\\" + std::wstring(300, L'x'));
  DeleteFileW(ToWidePath(File).c_str());
  std::error_code Ignored;
  std::filesystem::remove_all(std::filesystem::path(ToWidePath(Temp.Path + "Длинное имя каталога")), Ignored);
}

TEST(FolderRoutines, TempDirAndAttributes) {
  const std::string Temp = GetTempDir();
  ASSERT_FALSE(Temp.empty());
  EXPECT_EQ(Temp.back(), '\\');
  EXPECT_TRUE(DirectoryExists(Temp));
  TempFolder Folder;
  const std::string File = Folder.Path + "ro.txt";
  HANDLE F = CreateFileW(ToWide(File).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, nullptr);
  CloseHandle(F);
  EXPECT_TRUE(HasAttributes(File, FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(HasAttributes(File, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(HasAttributes(File, FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_FALSE(HasAttributes(Folder.Path + "missing", 0));
  EXPECT_TRUE(FileExists(File));
  SetFileAttributesW(ToWide(File).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(ProcessRoutines, OwnPathArgumentsAndPrivileges) {
  const std::string Path = ProgramPath();
  EXPECT_NE(Path.find("system_win_tests"), std::string::npos);
  EXPECT_EQ(ExtractFileName(Path).substr(0, 16), "system_win_tests");
  // gtest passes its own flags; the program's path is not among the arguments.
  for (const auto& Arg : ProgramArguments()) EXPECT_NE(Arg, Path);
  EXPECT_NO_THROW(EnableShutdownPrivileges());
}

TEST(Encoding, AnsiCodePageIs1251UnderTheTestLocale) {
  EXPECT_EQ(GetACP(), 1251u);
  EXPECT_EQ(Utf8ToAnsi("Мастер"), Utf8ToCp1251("Мастер"));
  EXPECT_EQ(AnsiToUtf8("\xCC\xE0\xF1\xF2\xE5\xF0"), "Мастер");
  EXPECT_EQ(FromWide(ToWide("Ёлка 😀")), "Ёлка 😀");
}

TEST(Encoding, SystemErrorTextsAreReadable) {
  const std::string Text = SystemErrorMessage(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(Text.empty());
  EXPECT_NE(Text.back(), '\n');
}
