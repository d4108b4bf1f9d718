#include <gtest/gtest.h>

#include "cabinet/reader/Cabinet.h"

using setup::NextDiskDir;

namespace {
std::string Next(std::string Folder, bool ExpectFound = true) {
  const std::string Before = Folder;
  EXPECT_EQ(NextDiskDir(Folder), ExpectFound) << Before;
  if (!ExpectFound) {
    EXPECT_EQ(Folder, Before);
  }
  return Folder;
}
}  // namespace

TEST(NextDiskDir, CountsTheDiskNumberOfTheLastComponent) {
  EXPECT_EQ(Next("E:\\DISK1\\"), "E:\\DISK2");
  EXPECT_EQ(Next("E:\\Setup\\Disk09"), "E:\\Setup\\Disk10");
  EXPECT_EQ(Next("E:\\Disk01"), "E:\\Disk2");
  EXPECT_EQ(Next("E:\\DISK1A"), "E:\\DISK2A");
  EXPECT_EQ(Next("E:\\disk99\\"), "E:\\disk100");
  EXPECT_EQ(Next("\\\\server\\share\\DISK7"), "\\\\server\\share\\DISK8");
  EXPECT_EQ(Next("E:\\DISK00"), "E:\\DISK1");
  EXPECT_EQ(Next("E:\\DISK4294967295"), "E:\\DISK4294967296");
}

TEST(NextDiskDir, LeavesOtherFoldersAlone) {
  Next("E:\\DISKA1", false);
  Next("E:\\DISK", false);
  Next("E:\\DISK\\", false);
  Next("E:\\Data", false);
  Next("C:\\", false);
  Next("", false);
  Next("DISK1", false);
  Next("E:\\DISK1\\Data", false);  // only the last component counts
}
