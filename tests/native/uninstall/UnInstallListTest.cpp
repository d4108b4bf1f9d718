#include <gtest/gtest.h>

#include "system/Errors.h"
#include "uninstall/untUnInstallFiles.h"

using namespace setup;

namespace {

std::string Saved(const TUnInstallList& List) {
  TNameValueList Strings;
  List.SaveToStrings(Strings);
  return Strings.Text();
}

}  // namespace

TEST(UninstallList, StoredFormOfFilesAndDirectories) {
  TUnInstallList List;
  List.Add(std::make_unique<TUnInstallFile>("D:\\Apps\\Demo\\bin\\demo.exe", 0, 1, "%file% r"));
  List.Add(std::make_unique<TUnInstallDir>("D:\\Apps\\Demo\\", 0));
  EXPECT_EQ(Saved(List),
            "VersionFile=1\r\nCount=2\r\nItemType0=File\r\nFileName0=D:\\Apps\\Demo\\bin\\demo.exe\r\n"
            "SharedFile0=0\r\nUnRegister0=1\r\nRunParams0=%file% r\r\nItemType1=Dir\r\nDirName1=D:\\Apps\\Demo\\\r\n"
            "UnInstallWhole1=0\r\n");
  EXPECT_EQ(Saved(TUnInstallList()), "VersionFile=1\r\nCount=0\r\n");
}

TEST(UninstallList, EmptyValuesLeaveTheirLinesOut) {
  TUnInstallList List;
  List.Add(std::make_unique<TUnInstallFile>("C:\\a.dll", 1, 0, ""));
  List.Add(std::make_unique<TUnInstallFile>("", 0, 0, ""));
  List.Add(std::make_unique<TUnInstallDir>("", 1));
  EXPECT_EQ(Saved(List),
            "VersionFile=1\r\nCount=3\r\nItemType0=File\r\nFileName0=C:\\a.dll\r\nSharedFile0=1\r\nUnRegister0=0\r\n"
            "ItemType1=File\r\nSharedFile1=0\r\nUnRegister1=0\r\nItemType2=Dir\r\nUnInstallWhole2=1\r\n");
}

TEST(UninstallList, ItemNumbersAreNotPaddedAndRoundTrip) {
  TUnInstallList List;
  for (int I = 0; I < 12; ++I)
    List.Add(std::make_unique<TUnInstallFile>("C:\\f" + std::to_string(I) + "=x=y", static_cast<std::uint8_t>(I % 2),
                                              0, I == 10 ? "%file% /u|cmd=1" : ""));
  TNameValueList Strings;
  List.SaveToStrings(Strings);
  EXPECT_EQ(Strings.Value("itemtype10"), "File");
  EXPECT_EQ(Strings.Value("ItemType010"), "");
  const auto Text = Strings.Text();
  EXPECT_NE(Text.find("\r\nFileName10=C:\\f10=x=y\r\n"), std::string::npos);
  // Read back from the stored text: values containing "=" come back whole.
  const auto Reread = TNameValueList::FromText(Text);
  const auto Item = TUnInstallFile::CreateFromStrings(Reread, 10);
  EXPECT_EQ(Item->FileName, "C:\\f10=x=y");
  EXPECT_EQ(Item->SharedFile, 0);
  EXPECT_EQ(Item->RunParams, "%file% /u|cmd=1");
  EXPECT_EQ(TUnInstallFile::CreateFromStrings(Reread, 11)->SharedFile, 1);
}

TEST(UninstallList, ReadingBackNeedsTheNumbers) {
  TUnInstallList List;
  List.Add(std::make_unique<TUnInstallDir>("D:\\X\\", 1));
  TNameValueList Strings;
  List.SaveToStrings(Strings);
  const auto Dir = TUnInstallDir::CreateFromStrings(Strings, 0);
  EXPECT_EQ(Dir->DirName, "D:\\X\\");
  EXPECT_EQ(Dir->UnInstallWhole, 1);
  try {
    TUnInstallDir::CreateFromStrings(Strings, 1);
    ADD_FAILURE() << "missing number accepted";
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "'' is not a valid integer value.");
  }
  Strings.SetValue("UnInstallWhole0", "1x");
  EXPECT_THROW(TUnInstallDir::CreateFromStrings(Strings, 0), Exception);
  EXPECT_THROW(List.Items(1), Exception);
  EXPECT_THROW(List.Items(-1), Exception);
}

TEST(UninstallList, NameValueRules) {
  TNameValueList Strings;
  Strings.SetValue("Name", "one");
  Strings.SetValue("Other", "two");
  Strings.SetValue("NAME", "three");  // same key, any case: replaced where it stands
  EXPECT_EQ(Strings.Text(), "NAME=three\r\nOther=two\r\n");
  Strings.SetValue("name", "");
  EXPECT_EQ(Strings.Text(), "Other=two\r\n");
  Strings.SetValue("Missing", "");
  EXPECT_EQ(Strings.Count(), 1u);
  const auto Parsed = TNameValueList::FromText("A=1\rB=2\nC=3\r\n\r\nD");
  EXPECT_EQ(Parsed.Count(), 5u);
  EXPECT_EQ(Parsed.Value("c"), "3");
  EXPECT_EQ(Parsed.Value("D"), "");
}

TEST(UninstallList, LongListsKeepTheirOrderAndLetTheWindowsRespond) {
  TUnInstallList List;
  std::string Expected = "VersionFile=1\r\nCount=10000\r\n";
  for (int I = 0; I < 10000; ++I) {
    const std::string N = std::to_string(I);
    List.Add(std::make_unique<TUnInstallFile>("C:\\f" + N, 0, 0, ""));
    Expected += "ItemType" + N + "=File\r\nFileName" + N + "=C:\\f" + N + "\r\nSharedFile" + N + "=0\r\nUnRegister" + N +
                "=0\r\n";
  }
  int Calls = 0;
  TNameValueList Strings;
  List.SaveToStrings(Strings, [&] { ++Calls; });
  EXPECT_EQ(Strings.Text(), Expected);
  EXPECT_GE(Calls, 4);
}
