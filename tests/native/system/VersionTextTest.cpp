#include <gtest/gtest.h>

#include "system/VersionText.h"

using namespace setup;

TEST(VersionText, FixedVersionPartsInOrder) {
  EXPECT_EQ(FormatFileVersion(0x0004'0008, 0x000A'0000), "4.8.10.0");
  EXPECT_EQ(FormatFileVersion(0, 0), "0.0.0.0");
  // Each part is an unsigned 16-bit number, never negative.
  EXPECT_EQ(FormatFileVersion(0xFFFF'8000, 0x0001'FFFF), "65535.32768.1.65535");
}

TEST(VersionText, StringTablePathIsUpperCaseHex) {
  EXPECT_EQ(FileVersionSubBlock(0x0419, 0x04E3), "\\StringFileInfo\\041904E3\\FileVersion");
  EXPECT_EQ(FileVersionSubBlock(0x0409, 0x04B0), "\\StringFileInfo\\040904B0\\FileVersion");
  EXPECT_EQ(FileVersionSubBlock(0xABCD, 0x000F), "\\StringFileInfo\\ABCD000F\\FileVersion");
  EXPECT_EQ(FileVersionSubBlock(0, 0), "\\StringFileInfo\\00000000\\FileVersion");
}

TEST(VersionText, CleaningKeepsDigitsAndDots) {
  EXPECT_EQ(CleanVersionText("4, 8, 10, 0 (beta)"), "4.8.10.0");
  EXPECT_EQ(CleanVersionText("4.8.10.0"), "4.8.10.0");
  EXPECT_EQ(CleanVersionText("v1,2..3 build 45"), "1.2..345");
  EXPECT_EQ(CleanVersionText("(beta)"), "");
  EXPECT_EQ(CleanVersionText(""), "");
  // Non-ASCII letters (UTF-8 bytes) go as well, whole.
  EXPECT_EQ(CleanVersionText("8.3 сборка 17"), "8.317");
}
