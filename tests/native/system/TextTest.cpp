#include <gtest/gtest.h>

#include "system/CommandLine.h"
#include "system/Encoding.h"
#include "system/Errors.h"
#include "system/Paths.h"
#include "system/Text.h"

using namespace setup;

namespace {

std::vector<std::string> Tokens(const std::string& S, bool AllowTrailingEmpty = true) {
  std::vector<std::string> Result;
  std::size_t Position = 1;
  std::string Token;
  int Guard = 0;
  while (NextToken(S, "|", AllowTrailingEmpty, Position, Token) && ++Guard < 100) Result.push_back(Token);
  return Result;
}

}  // namespace

TEST(TextRoutines, TextBetweenFindsFirstMarkedPart) {
  EXPECT_EQ(TextBetween("\"C:\\A\\UnInstall.exe\" \"C:\\A\\list\"", "\"", "\""), "C:\\A\\UnInstall.exe");
  EXPECT_EQ(TextBetween("no marker here", "[", "]"), "");
  EXPECT_EQ(TextBetween("open [but never closed", "[", "]"), "");
  EXPECT_EQ(TextBetween("key=rest of it", "=", ""), "rest of it");
  EXPECT_EQ(TextBetween("a[]b", "[", "]"), "");
  EXPECT_EQ(TextBetween("", "", ""), "");
}

TEST(TextRoutines, ReplaceAllDoesNotRescanInsertedText) {
  EXPECT_EQ(ReplaceAll("a%file%b%file%", "%file%", "X"), "aXbX");
  EXPECT_EQ(ReplaceAll("%file%", "%file%", "<%file%>"), "<%file%>");
  EXPECT_EQ(ReplaceAll("\"quoted\"", "\"", ""), "quoted");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAll("unchanged", "", "X"), "unchanged");
  EXPECT_EQ(ReplaceAll("", "x", "y"), "");
}

TEST(TextRoutines, NextTokenWalksCommandLists) {
  EXPECT_EQ(Tokens("a|b"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Tokens("a|"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(Tokens(""), std::vector<std::string>{});
  EXPECT_EQ(Tokens("a||b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(Tokens("|"), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(Tokens("a|", false), std::vector<std::string>{"a"});
  // After the end, every further call keeps answering false.
  std::size_t Position = 1;
  std::string Token = "stale";
  EXPECT_TRUE(NextToken("x", "|", true, Position, Token));
  EXPECT_FALSE(NextToken("x", "|", true, Position, Token));
  EXPECT_FALSE(NextToken("x", "|", true, Position, Token));
  EXPECT_EQ(Token, "");
}

TEST(TextRoutines, SplitFieldsFillsFixedArray) {
  std::vector<std::string> Fields(5, "old");
  EXPECT_EQ(SplitFields("Arial,12,255,1,204", ",", Fields), 5);
  EXPECT_EQ(Fields, (std::vector<std::string>{"Arial", "12", "255", "1", "204"}));
  EXPECT_EQ(SplitFields("Arial,12,", ",", Fields), 2);
  EXPECT_EQ(Fields, (std::vector<std::string>{"Arial", "12", "", "", ""}));
  EXPECT_EQ(SplitFields("a,b,c,d,e,f,g", ",", Fields), 7);
  EXPECT_EQ(Fields.back(), "e");
  EXPECT_EQ(SplitFields(",x", ",", Fields), 2);
  EXPECT_EQ(Fields[0], "");
  EXPECT_EQ(SplitFields("", ",", Fields), 0);
  std::vector<std::string> None;
  EXPECT_EQ(SplitFields("a,b", ",", None), 2);
}

TEST(TextRoutines, IntToSetKeepsItsSize) {
  EXPECT_EQ(IntToSet(0x1234567, 1), 0x67u);
  EXPECT_EQ(IntToSet(0x1234567, 2), 0x4567u);
  EXPECT_EQ(IntToSet(0x1234567, 4), 0x1234567u);
  for (int Bad : {0, 3, 8, -1}) {
    try {
      IntToSet(1, Bad);
      ADD_FAILURE() << "size " << Bad << " accepted";
    } catch (const Exception& E) {
      EXPECT_STREQ(E.what(), "Invalid size of set");
    }
  }
}

TEST(PathRoutines, BackslashesAndNormalForm) {
  std::string S;
  AddBackslash(S);
  EXPECT_EQ(S, "");
  DelBackslash(S);
  EXPECT_EQ(S, "");
  EXPECT_EQ(WithBackslash("C:\\A"), "C:\\A\\");
  EXPECT_EQ(WithBackslash("C:\\A\\"), "C:\\A\\");
  EXPECT_EQ(WithoutBackslash("C:\\A\\\\"), "C:\\A\\");  // only one is removed
  EXPECT_EQ(WithoutBackslash("C:\\A"), "C:\\A");

  EXPECT_EQ(NormalizeDir(""), "");
  EXPECT_EQ(NormalizeDir("d"), "d:\\");
  EXPECT_EQ(NormalizeDir("Z"), "Z:\\");
  EXPECT_EQ(NormalizeDir("1"), "1\\");
  EXPECT_EQ(NormalizeDir("C:\\Temp\\"), "C:\\Temp\\");
  EXPECT_EQ(NormalizeDir("\"C:\\Program Files\""), "C:\\Program Files\\");
  EXPECT_EQ(NormalizeDir("\""), "");
  EXPECT_EQ(NormalizeDir("\"\""), "");
  EXPECT_EQ(NormalizeDir("\"e\""), "e:\\");
  EXPECT_EQ(NormalizeDir("\"C:\\half"), "\"C:\\half\\");
  EXPECT_EQ(NormalizeDir("C:\\Программы"), "C:\\Программы\\");

  EXPECT_EQ(ExtractFilePath("C:\\A\\b.exe"), "C:\\A\\");
  EXPECT_EQ(ExtractFilePath("b.exe"), "");
  EXPECT_EQ(ExtractFileName("C:\\A\\b.exe"), "b.exe");
}

TEST(CommandLine, SwitchesIgnoreCaseAndFirstWins) {
  const std::vector<std::string> Args = {"/path=D:\\Apps", "/PATHX=1", "/Group=Моя группа", "/PATH=E:\\Second",
                                         "/TYPE="};
  EXPECT_EQ(GetSwitchValue(Args, "/PATH=", "default"), "D:\\Apps");
  EXPECT_EQ(GetSwitchValue(Args, "/GROUP=", "default"), "Моя группа");
  EXPECT_EQ(GetSwitchValue(Args, "/TYPE=", "default"), "");  // present but empty is not the default
  EXPECT_EQ(GetSwitchValue(Args, "/AUTO=", "OFF"), "OFF");
  EXPECT_EQ(GetSwitchValue({"/PATHX=1"}, "/PATH=", "d"), "d");
  EXPECT_EQ(GetSwitchValue({"/PAT"}, "/PATH=", "d"), "d");
}

TEST(CommandLine, SplittingGroupsQuotedTextAndKeepsBackslashes) {
  EXPECT_EQ(SplitCommandLine("setup.exe /AUTO=ON \"/PATH=C:\\Program Files\\Demo\\\" /GROUP=\"Demo App\""),
            (std::vector<std::string>{"setup.exe", "/AUTO=ON", "/PATH=C:\\Program Files\\Demo\\", "/GROUP=Demo App"}));
  EXPECT_EQ(SplitCommandLine("  a\t\tb  "), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitCommandLine("\"\""), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitCommandLine("\"unterminated text"), (std::vector<std::string>{"unterminated text"}));
  EXPECT_EQ(SplitCommandLine(""), std::vector<std::string>{});
}

TEST(Encoding, CodePage1251RoundTrip) {
  std::string All;
  for (int B = 1; B < 256; ++B) All.push_back(static_cast<char>(B));
  const std::string Utf8 = Cp1251ToUtf8(All);
  EXPECT_EQ(Utf8ToCp1251(Utf8), All);
  EXPECT_EQ(Cp1251ToUtf8("\xCC\xE0\xF1\xF2\xE5\xF0 \xB9\xA8"), "Мастер №Ё");
  EXPECT_EQ(Utf8ToCp1251("Мастер установки"), "\xCC\xE0\xF1\xF2\xE5\xF0 \xF3\xF1\xF2\xE0\xED\xEE\xE2\xEA\xE8");
  EXPECT_EQ(Utf8ToCp1251("日本"), "??");
}

TEST(Encoding, Utf16RoundTripAndMalformedInput) {
  const std::string Text = "Aя€😀";
  const std::u16string Wide = Utf8ToUtf16(Text);
  EXPECT_EQ(Wide, u"Aя€😀");
  EXPECT_EQ(Utf16ToUtf8(Wide), Text);
  // Truncated, overlong and stray continuation bytes never read past the end.
  EXPECT_EQ(Utf8ToUtf16("\xD0"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("a\x80z"), u"a\uFFFDz");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
}

TEST(Text, PaddedNumberInDecimalAndHexadecimal) {
  EXPECT_EQ(PaddedNumber(0), "0");
  EXPECT_EQ(PaddedNumber(7, 3), "007");
  EXPECT_EQ(PaddedNumber(2024, 2), "2024");  // a wider number is never cut
  EXPECT_EQ(PaddedNumber(4294967295u), "4294967295");
  EXPECT_EQ(PaddedNumber(0x4E3, 4, 16), "04E3");
  EXPECT_EQ(PaddedNumber(0xABCDEF01u, 4, 16), "ABCDEF01");
  EXPECT_EQ(PaddedNumber(0, 4, 16), "0000");
}
