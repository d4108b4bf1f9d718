#include <gtest/gtest.h>

#include <set>

#include "system/ProgramCommand.h"

using namespace setup;

namespace {

// A machine with a few files on it.
struct Machine {
  std::set<std::string> Files;
  bool operator()(const std::string& Path) const { return Files.count(Path) > 0; }
};

std::string Directory(std::string_view Command, const Machine& M = {}) { return CommandWorkingDirectory(Command, M); }

}  // namespace

TEST(CommandWorkingDirectory, OnlyAbsoluteProgramPathsGetAFolder) {
  EXPECT_EQ(Directory("msiexec.exe /i C:\\Prog\\x.msi"), "");
  EXPECT_EQ(Directory("bin\\tool.exe"), "");
  EXPECT_EQ(Directory("C:tool.exe"), "");
  EXPECT_EQ(Directory(""), "");
  EXPECT_EQ(Directory("C"), "");
  EXPECT_EQ(Directory("\"C:"), "");
  // A quoted network path matches none of the forms.
  EXPECT_EQ(Directory("\"\\\\srv\\share\\a.exe\""), "");
  EXPECT_EQ(Directory("C:\\Prog\\BIN\\svc.exe i -s -a", {{"C:\\Prog\\BIN\\svc.exe"}}), "C:\\Prog\\BIN\\");
  EXPECT_EQ(Directory("\\\\srv\\share\\tools\\a.exe /q", {{"\\\\srv\\share\\tools\\a.exe"}}), "\\\\srv\\share\\tools\\");
  EXPECT_EQ(Directory("\"C:\\Program Files\\X\\srv.exe\" /x"), "C:\\Program Files\\X\\");
  EXPECT_EQ(Directory("C:\\a.exe"), "C:\\");
}

TEST(CommandWorkingDirectory, FolderOfTheProgramNotOfItsArguments) {
  const Machine M{{"C:\\Program Files\\X\\srv.exe", "C:\\Prog\\run.exe", "C:\\Program"}};
  // Quoted: the program ends at the closing quote.
  EXPECT_EQ(Directory("\"C:\\Prog\\run.exe\" /log C:\\Logs\\run.txt", M), "C:\\Prog\\");
  // Unquoted with blanks: the shortest prefix that names a file, as the system finds it; a
  // folder is not a program.
  EXPECT_EQ(Directory("C:\\Program Files\\X\\srv.exe /dir D:\\Data\\", Machine{{"C:\\Program Files\\X\\srv.exe"}}),
            "C:\\Program Files\\X\\");
  EXPECT_EQ(Directory("C:\\Prog\\run /out=E:\\x\\y", M), "C:\\Prog\\");
  EXPECT_EQ(Directory("C:\\Prog\\run.exe C:\\Other\\file.txt", M), "C:\\Prog\\");
  // A file named like the first part of a path with blanks is what the system would start too.
  EXPECT_EQ(Directory("C:\\Program Files\\X\\srv.exe", M), "C:\\");
}

TEST(CommandWorkingDirectory, UnknownProgramFallsBackToTheWholeLine) {
  // The start fails anyway; the folder is then everything up to the last backslash.
  EXPECT_EQ(Directory("C:\\Missing\\a.exe /log D:\\Logs\\a.txt"), "C:\\Missing\\a.exe /log D:\\Logs\\");
  EXPECT_EQ(Directory("\"C:\\Missing\\a.exe"), "C:\\Missing\\");
  EXPECT_EQ(Directory("\"C:\\Missing\\a\".exe\\x"), "C:\\Missing\\");
}
