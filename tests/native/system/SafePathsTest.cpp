#include <gtest/gtest.h>

#include "system/SafePaths.h"
#include "system/Sha256.h"

namespace setup {
namespace {

std::string Canonical(std::string_view Path) {
  std::string Out;
  const TPathRefusal Refusal = CanonicalPath(Path, Out);
  return Refusal == TPathRefusal::prNone ? Out : "refused " + std::to_string(static_cast<int>(Refusal));
}

std::string Refused(TPathRefusal Refusal) { return "refused " + std::to_string(static_cast<int>(Refusal)); }

TEST(CanonicalPath, OneFormForEveryWayOfWritingAPlace) {
  EXPECT_EQ(Canonical("S:\\Prod\\..\\"), "S:\\");
  EXPECT_EQ(Canonical("C:\\U\\..\\Program Files\\Common Files"), "C:\\Program Files\\Common Files");
  EXPECT_EQ(Canonical("c:/prod//./bin\\\\x.dll"), "c:\\prod\\bin\\x.dll");
  EXPECT_EQ(Canonical("C:\\Windows.\\system32 \\"), "C:\\Windows\\system32");
  EXPECT_EQ(Canonical("C:\\Демо\\Данные\\..\\Прочее"), "C:\\Демо\\Прочее");
  EXPECT_EQ(Canonical("C:\\a\\b\\..\\..\\.."), Refused(TPathRefusal::prAboveRoot));
  EXPECT_EQ(Canonical("C:\\..\\Windows"), Refused(TPathRefusal::prAboveRoot));
  EXPECT_EQ(Canonical("\\\\?\\C:\\Windows"), Refused(TPathRefusal::prDeviceSpace));
  EXPECT_EQ(Canonical("\\\\.\\PhysicalDrive0"), Refused(TPathRefusal::prDeviceSpace));
  EXPECT_EQ(Canonical("//?/C:/Windows"), Refused(TPathRefusal::prDeviceSpace));
  EXPECT_EQ(Canonical("\\??\\C:\\Windows"), Refused(TPathRefusal::prDeviceSpace));
  EXPECT_EQ(Canonical("\\\\server\\share\\x"), Refused(TPathRefusal::prNetwork));
  EXPECT_EQ(Canonical("C:Windows"), Refused(TPathRefusal::prNotFull));
  EXPECT_EQ(Canonical("C:"), Refused(TPathRefusal::prNotFull));
  EXPECT_EQ(Canonical("\\Windows"), Refused(TPathRefusal::prNotFull));
  EXPECT_EQ(Canonical("Prod\\a.txt"), Refused(TPathRefusal::prNotFull));
  EXPECT_EQ(Canonical(""), Refused(TPathRefusal::prEmpty));
  for (const char* Device : {"C:\\Prod\\CON", "C:\\Prod\\nul.txt", "C:\\Prod\\Com1 .log", "C:\\LPT9\\x", "C:\\a\\conout$"})
    EXPECT_EQ(Canonical(Device), Refused(TPathRefusal::prDeviceName)) << Device;
  EXPECT_EQ(Canonical("C:\\Prod\\COM10"), "C:\\Prod\\COM10");
  for (const char* Bad : {"C:\\Prod\\a:stream", "C:\\Prod\\*", "C:\\Prod\\a?b", "C:\\Prod\\a\tb"})
    EXPECT_EQ(Canonical(Bad), Refused(TPathRefusal::prBadCharacter)) << Bad;
  EXPECT_EQ(Canonical("C:\\Prod\\...\\x"), Refused(TPathRefusal::prDotsOnly));
  EXPECT_EQ(Canonical("C:\\Prod\\. .\\x"), Refused(TPathRefusal::prDotsOnly));
}

TEST(CanonicalPath, InsideIsAboutWholeNamesAndIgnoresLetterCase) {
  EXPECT_TRUE(IsInside("C:\\Prod\\a", "c:\\PROD"));
  EXPECT_TRUE(IsInside("C:\\Прод\\a", "c:\\прод\\"));
  EXPECT_TRUE(IsInside("C:\\Prod", "C:\\"));
  EXPECT_FALSE(IsInside("C:\\Prod", "C:\\Prod"));
  EXPECT_TRUE(IsSameOrInside("C:\\Prod", "c:\\prod\\"));
  EXPECT_FALSE(IsInside("C:\\Product", "C:\\Prod"));
  EXPECT_FALSE(IsInside("D:\\Prod\\a", "C:\\Prod"));
  EXPECT_FALSE(IsInside("C:\\Prod", ""));
  EXPECT_TRUE(IsDriveRoot("C:\\"));
  EXPECT_FALSE(IsDriveRoot("C:\\a"));
}

TEST(CanonicalPath, ScriptPathsThatLeaveTheirFolderAreFound) {
  for (const char* Path : {"\\Cache\\..\\..", "\\.", "..\\x", "\\a/../b", "%Install%\\..\\Other", "\\a\\.. \\b", "\\a\\...\\b"})
    EXPECT_TRUE(HasDotComponent(Path)) << Path;
  for (const char* Path : {"\\a\\b.txt", "\\.hidden\\x", "\\a..b", "", "\\", "\\Demo Shared\\shared.txt"})
    EXPECT_FALSE(HasDotComponent(Path)) << Path;
}

TEST(Sha256, KnownAnswers) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the block, a second one follows.
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(Sha256Hex(std::string(64, 'a')), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

}  // namespace
}  // namespace setup
