// The switches of unattended runs and the exit status a deployment tool reads.
#include <gtest/gtest.h>

#include "wizard/RunOptions.h"

namespace setup {
namespace {

TEST(RunOptions, QuietNeedsUnattendedAndSwitchesIgnoreLetterCase) {
  EXPECT_FALSE(ReadRunOptions({"/QUIET=ON"}).Quiet);  // a wizard nobody may answer is never quiet
  const TRunOptions Both = ReadRunOptions({"/auto=on", "/Quiet=On", "/log=setup log.txt"});
  EXPECT_TRUE(Both.Unattended);
  EXPECT_TRUE(Both.Quiet);
  EXPECT_EQ(Both.LogPath, "setup log.txt");
  EXPECT_FALSE(ReadRunOptions({"/AUTO=ON", "/QUIET=OFF"}).Quiet);
  EXPECT_FALSE(ReadRunOptions({"/AUTO=ONX"}).Unattended);
  EXPECT_TRUE(ReadRunOptions({"/?"}).Help);
  EXPECT_TRUE(ReadRunOptions({"/AUTO=ON", "/help"}).Help);
  EXPECT_FALSE(ReadRunOptions({"/HELPME"}).Help);
}

TEST(RunOptions, AnInstallationFolderMustBeAbsolute) {
  EXPECT_FALSE(ReadRunOptions({"/AUTO=ON"}).BadPath);  // not given: the script's default
  EXPECT_TRUE(ReadRunOptions({"/PATH="}).BadPath);
  EXPECT_TRUE(ReadRunOptions({"/PATH=Product"}).BadPath);
  EXPECT_TRUE(ReadRunOptions({"/PATH=\\Product"}).BadPath);  // the root of whatever drive is current
  EXPECT_TRUE(ReadRunOptions({"/PATH=C:Product"}).BadPath);
  EXPECT_FALSE(ReadRunOptions({"/PATH=C:\\Product"}).BadPath);
  EXPECT_FALSE(ReadRunOptions({"/PATH=d:\\"}).BadPath);
  EXPECT_TRUE(IsAbsoluteFolder("\\\\server\\share"));
  EXPECT_FALSE(IsAbsoluteFolder("\\\\server"));
  EXPECT_FALSE(IsAbsoluteFolder("\\\\\\x"));
  EXPECT_FALSE(IsAbsoluteFolder("1:\\x"));
}

// A folder or group that names its way out of where it seems to be is a bad switch; the
// wizard's pages refuse the same texts.
TEST(RunOptions, FoldersAndGroupsThatLeadElsewhereAreBadSwitches) {
  for (const char* Path : {"C:\\Product\\..", "C:\\Product\\..\\Windows", "C:\\.\\Product", "C:\\Product\\.. ",
                           "C:\\Product/../..", "\\\\server\\share\\.."})
    EXPECT_TRUE(ReadRunOptions({"/PATH=" + std::string(Path)}).BadPath) << Path;
  EXPECT_FALSE(ReadRunOptions({"/PATH=C:\\Product..\\.Data"}).BadPath);
  EXPECT_FALSE(ReadRunOptions({"/AUTO=ON"}).BadGroup);  // not given: the script's default
  for (const char* Group : {"", "..", "Group\\..\\..\\Startup", ".\\Group", "C:\\Group", "C:Group", "\\Group", "/Group",
                            "\\\\server\\share", "Group:stream"})
    EXPECT_TRUE(ReadRunOptions({"/GROUP=" + std::string(Group)}).BadGroup) << Group;
  for (const char* Group : {"Продукт", "Фирма\\Продукт 1.0", "Group..Name"})
    EXPECT_FALSE(ReadRunOptions({"/GROUP=" + std::string(Group)}).BadGroup) << Group;
}

TEST(RunOptions, ExitStatusOfAnUnattendedRun) {
  EXPECT_EQ(UnattendedExitStatus(true, false, false), 0);
  EXPECT_EQ(UnattendedExitStatus(true, true, false), 3);
  EXPECT_EQ(UnattendedExitStatus(true, true, true), 3010);
  EXPECT_EQ(UnattendedExitStatus(true, false, true), 3010);
  // A failure is a failure, whatever else the run wanted.
  EXPECT_EQ(UnattendedExitStatus(false, true, true), 1);
}

TEST(RunOptions, LogLinesKeepOneEventOnOneLine) {
  EXPECT_EQ(OneLine("Файл <C:\\a>\rВерсия 1.\r\nЗаменить?\n"), "Файл <C:\\a> | Версия 1. | Заменить? | ");
}

}  // namespace
}  // namespace setup
