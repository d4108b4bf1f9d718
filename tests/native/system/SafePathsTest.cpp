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
  for (const char* Device :
       {"C:\\Prod\\CON", "C:\\Prod\\nul.txt", "C:\\Prod\\Com1 .log", "C:\\LPT9\\x", "C:\\a\\conout$"})
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
  for (const char* Path :
       {"\\Cache\\..\\..", "\\.", "..\\x", "\\a/../b", "%Install%\\..\\Other", "\\a\\.. \\b", "\\a\\...\\b"})
    EXPECT_TRUE(HasDotComponent(Path)) << Path;
  for (const char* Path : {"\\a\\b.txt", "\\.hidden\\x", "\\a..b", "", "\\", "\\Demo Shared\\shared.txt"})
    EXPECT_FALSE(HasDotComponent(Path)) << Path;
}

TEST(Sha256, KnownAnswersWithAndWithoutTheProcessorsShaInstructions) {
  for (const bool Instructions : {false, true}) {
    if (UseSha256Instructions(Instructions) != Instructions) continue;
    EXPECT_EQ(Sha256Hex(""), "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
    EXPECT_EQ(Sha256Hex("abc"), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    // 56 bytes: the length no longer fits the block, a second one follows.
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1");
    EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0");
    EXPECT_EQ(Sha256Hex(std::string(64, 'a')), "FFE054FE7AE0CB6DC65C3AF9B61D5209F439851DB43D0BA5997337DF154668EB");
    // Pieces that leave part of a block behind, then many blocks at once.
    TSha256 Pieces;
    const std::string Text(1000, 'a');
    for (std::size_t At = 0, Step = 1; At < Text.size(); At += Step, Step = Step * 3 % 257)
      Pieces.Add(Text.substr(At, Step));
    EXPECT_EQ(Pieces.Hex(), "41EDECE42D63E8D9BF515A9BA6932E1C20CBC9F5A5D134645ADB5DB1B9737EA3");
  }
  UseSha256Instructions(true);
}

}  // namespace
}  // namespace setup
