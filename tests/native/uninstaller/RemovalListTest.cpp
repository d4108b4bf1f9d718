#include <gtest/gtest.h>

#include "system/Encoding.h"
#include "system/Errors.h"
#include "system/Registry.h"
#include "system/Sha256.h"
#include "uninstall/untUnInstall.h"
#include "uninstall/untUnInstallFiles.h"
#include "uninstaller/RemovalList.h"

using namespace setup;

namespace {

const TUnInstallFile& FileAt(const TRemovalList& List, int Index) {
  return dynamic_cast<const TUnInstallFile&>(List.Items.Items(Index));
}
const TUnInstallDir& DirAt(const TRemovalList& List, int Index) {
  return dynamic_cast<const TUnInstallDir&>(List.Items.Items(Index));
}

// Reading must fail with the damaged-list message, naming what is wrong.
void ExpectDamagedBytes(const std::string& Bytes, const std::string& Detail) {
  try {
    ReadRemovalList(Bytes);
    ADD_FAILURE() << "read without complaint:\n" << Bytes;
  } catch (const Exception& Error) {
    const std::string Message = Error.what();
    EXPECT_NE(Message.find("повреждён"), std::string::npos) << Message;
    EXPECT_NE(Message.find("Ничего не удалено"), std::string::npos) << Message;
    EXPECT_NE(Message.find(Detail), std::string::npos) << Message << " should mention " << Detail;
  }
}
void ExpectDamaged(const std::string& Text, const std::string& Detail) {
  ExpectDamagedBytes(Utf8ToCp1251(Text), Detail);
}

}  // namespace

TEST(RemovalList, ReadsBackWhatTheInstallationWrote) {
  TUnInstallList Written;
  Written.Add(std::make_unique<TUnInstallFile>("D:\\Программы\\Демо\\demo.exe", 0, 1, "%file% /remove|cmd /c x=y"));
  Written.Add(std::make_unique<TUnInstallFile>("D:\\Программы\\Демо\\shared.dll", 1, 0, ""));
  Written.Add(std::make_unique<TUnInstallDir>("D:\\Программы\\Демо\\", 1));
  for (int I = 0; I < 8; ++I) Written.Add(std::make_unique<TUnInstallDir>("D:\\x" + std::to_string(I), 0));
  TNameValueList Strings;
  Written.SaveToStrings(Strings);
  Strings.SetValue("ProductName", "Демо = продукт");

  const TRemovalList Read = ReadRemovalList(Utf8ToCp1251(Strings.Text()));
  ASSERT_EQ(Read.Items.Count(), 11);
  EXPECT_EQ(Read.ProductName, "Демо = продукт");
  EXPECT_EQ(FileAt(Read, 0).FileName, "D:\\Программы\\Демо\\demo.exe");
  EXPECT_EQ(FileAt(Read, 0).UnRegister, 1);
  EXPECT_EQ(FileAt(Read, 0).RunParams, "%file% /remove|cmd /c x=y");
  EXPECT_EQ(FileAt(Read, 1).SharedFile, 1);
  EXPECT_EQ(FileAt(Read, 1).RunParams, "");
  EXPECT_EQ(DirAt(Read, 2).UnInstallWhole, 1);
  EXPECT_EQ(DirAt(Read, 10).DirName, "D:\\x7");  // the eleventh item's keys end in "10"
}

TEST(RemovalList, ToleratesWhatEditorsAndOtherWritersDo) {
  // LF line ends, no final line end, other letter case in names and types, a blank and a
  // foreign line, keys in another order, a repeated key (the first one counts), items beyond
  // the count (not read).
  const std::string Text =
      "versionfile=1\n\nCOUNT=2\nitemtype1=dir\nsome comment without equals\nDirName1=C:\\A\\\nuninstallwhole1=0\n"
      "ItemType0=FILE\nFileName0=C:\\A\\a=b.txt\nFileName0=C:\\other.txt\nSharedFile0=+0\nUnRegister0=0\n"
      "ItemType2=File\nFileName2=relative.txt\nSharedFile2=0\nUnRegister2=0";
  const TRemovalList Read = ReadRemovalList(Text);
  ASSERT_EQ(Read.Items.Count(), 2);
  EXPECT_EQ(FileAt(Read, 0).FileName, "C:\\A\\a=b.txt");
  EXPECT_EQ(DirAt(Read, 1).DirName, "C:\\A\\");
  EXPECT_EQ(Read.ProductName, "");
}

TEST(RemovalList, EmptyListsAndEmptyPaths) {
  EXPECT_EQ(ReadRemovalList("VersionFile=1\r\nCount=0\r\n").Items.Count(), 0);
  // A folder the system did not have (an empty database folder) is recorded without a name,
  // and so is nothing to remove; the same for a file.
  const TRemovalList Read = ReadRemovalList(
      "VersionFile=1\r\nCount=2\r\nItemType0=Dir\r\nUnInstallWhole0=0\r\nItemType1=File\r\nSharedFile1=0\r\n"
      "UnRegister1=0\r\n");
  ASSERT_EQ(Read.Items.Count(), 2);
  EXPECT_EQ(DirAt(Read, 0).DirName, "");
  EXPECT_EQ(FileAt(Read, 1).FileName, "");
}

TEST(RemovalList, ALongListIsReadWhole) {
  // Written line by line here: the list writer's own lookups would take long for this many.
  std::string Text = "VersionFile=1\r\nCount=20000\r\n";
  for (int I = 0; I < 20000; I += 2) {
    const std::string N = std::to_string(I), M = std::to_string(I + 1);
    Text += "ItemType" + N + "=File\r\nFileName" + N + "=C:\\F" + N + "\r\nSharedFile" + N + "=0\r\nUnRegister" + N +
            "=0\r\nRunParams" + N + "=x" + N + "\r\nItemType" + M + "=Dir\r\nDirName" + M + "=C:\\D" + M +
            "\r\nUnInstallWhole" + M + "=1\r\n";
  }
  const TRemovalList Read = ReadRemovalList(Text);
  ASSERT_EQ(Read.Items.Count(), 20000);
  EXPECT_EQ(FileAt(Read, 19998).FileName, "C:\\F19998");
  EXPECT_EQ(FileAt(Read, 19998).RunParams, "x19998");
  EXPECT_EQ(DirAt(Read, 19999).DirName, "C:\\D19999");
  EXPECT_EQ(DirAt(Read, 19999).UnInstallWhole, 1);
}

TEST(RemovalList, NetworkPathsAreAbsolute) {
  EXPECT_TRUE(IsAbsoluteWindowsPath("\\\\server\\share\\a.dll"));
  EXPECT_TRUE(IsAbsoluteWindowsPath("c:\\a"));
  EXPECT_FALSE(IsAbsoluteWindowsPath("\\a"));
  EXPECT_FALSE(IsAbsoluteWindowsPath("C:a"));
  EXPECT_FALSE(IsAbsoluteWindowsPath("\\\\\\a"));
  EXPECT_FALSE(IsAbsoluteWindowsPath("1:\\a"));
}

TEST(RemovalList, DamagedListsAreRefusedWholeWithTheReason) {
  const std::string Item0 = "ItemType0=File\r\nFileName0=C:\\a\r\nSharedFile0=0\r\nUnRegister0=0\r\n";
  ExpectDamaged("", "неизвестная версия формата «»");
  ExpectDamaged("Count=1\r\n" + Item0, "версия формата «»");
  ExpectDamaged("VersionFile=2\r\nCount=1\r\n" + Item0, "версия формата «2»");
  ExpectDamaged("\xEF\xBB\xBFVersionFile=1\r\nCount=1\r\n" + Item0, "версия формата");  // saved as UTF-8
  ExpectDamaged("VersionFile=1\r\n" + Item0, "неверное число элементов «»");
  ExpectDamaged("VersionFile=1\r\nCount=x\r\n" + Item0, "«x»");
  ExpectDamaged("VersionFile=1\r\nCount=-1\r\n" + Item0, "«-1»");
  ExpectDamaged("VersionFile=1\r\nCount=99999999999\r\n" + Item0, "«99999999999»");
  // A count that names more items than the lines can hold.
  ExpectDamaged("VersionFile=1\r\nCount=4\r\n" + Item0, "«4»");
  ExpectDamaged("VersionFile=1\r\nCount=2\r\n" + Item0 + "ItemType5=Dir\r\nDirName5=C:\\\r\n", "тип элемента 1");
  ExpectDamaged("VersionFile=1\r\nCount=1\r\nItemType0=Link\r\nFileName0=C:\\a\r\nSharedFile0=0\r\n",
                "тип элемента 0 «Link»");
  ExpectDamaged("VersionFile=1\r\nCount=1\r\nItemType0=File\r\nFileName0=C:\\a\r\nSharedFile0=yes\r\nUnRegister0=0\r\n",
                "неверное число у элемента 0");
  ExpectDamaged("VersionFile=1\r\nCount=1\r\nItemType0=File\r\nFileName0=C:\\a\r\nSharedFile0=0\r\n",
                "у элемента 0");
  ExpectDamaged("VersionFile=1\r\nCount=1\r\nItemType0=Dir\r\nDirName0=C:\\a\r\nUnInstallWhole0=\r\n",
                "у элемента 0");
  ExpectDamaged("VersionFile=1\r\nCount=1\r\nItemType0=Dir\r\nDirName0=Demo\\Data\r\nUnInstallWhole0=1\r\n",
                "путь не полный: Demo\\Data");
}

TEST(RemovalList, PathsAreReadInTheAnsiCodePage) {
  // "Д" is one byte, 0xC4, in code page 1251.
  const TRemovalList Read =
      ReadRemovalList("VersionFile=1\r\nCount=1\r\nItemType0=Dir\r\nDirName0=C:\\\xC4\r\nUnInstallWhole0=0\r\n");
  EXPECT_EQ(DirAt(Read, 0).DirName, "C:\\Д");
}

TEST(RemovalList, AListSavedAgainInAnotherEncodingIsRefused) {
  // Its paths would name nothing and its product name no entry: removing "nothing" would still
  // delete the list and leave the product registered.
  const std::string Text =
      "VersionFile=1\r\nCount=1\r\nItemType0=Dir\r\nDirName0=C:\\Программа\r\n"
      "UnInstallWhole0=0\r\nProductName=Демо\r\n";
  ExpectDamagedBytes(Text, "другой кодировке, UTF-8");
  ExpectDamagedBytes("\xEF\xBB\xBF" + Utf8ToCp1251(Text), "другой кодировке, UTF-8");
  std::string Utf16 = "\xFF\xFE";
  for (char16_t C : Utf8ToUtf16(Text)) Utf16 += {static_cast<char>(C & 0xFF), static_cast<char>(C >> 8)};
  ExpectDamagedBytes(Utf16, "другой кодировке, UTF-16");
  ExpectDamagedBytes(Utf16.substr(2), "другой кодировке, UTF-16");
  // The same list in code page 1251, with the quotation marks and "Ё" that are single bytes there.
  EXPECT_NO_THROW(ReadRemovalList(Utf8ToCp1251(Text + "Comment=«ВСЁ»\r\n")));
}

TEST(RemovalList, TheEntryThatNamesTheListTellsWhereTheProductIsAndWhetherTheListChanged) {
  const std::string ListFile = "C:\\Demo\\uninst.lst", Bytes = "VersionFile=1\r\nCount=0\r\nProductName=Демо\r\n";
  MemoryRegistry Reg;
  auto Entry = [&](const std::string& Name, const std::string& Command, const std::string& Digest) {
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    Reg.OpenKey(std::string(cUninstallKey) + "\\" + Name, true);
    Reg.WriteString("UnInstallString", Command);
    Reg.WriteString("InstallLocation", "C:\\Demo\\");
    if (!Digest.empty()) Reg.WriteString(cListDigestValue, Digest);
    Reg.CloseKey();
  };
  EXPECT_FALSE(FindListEntry(Reg, "Демо", ListFile).Found);
  Entry("Демо", "\"D:\\Demo\\UnInstall.exe\" \"D:\\Demo\\uninst.lst\"", Sha256Hex("other"));  // another list's
  Entry("Настоящее имя", "\"C:\\Demo\\UnInstall.exe\" \"c:\\demo\\UNINST.LST\"", Sha256Hex(Bytes));
  // Found by the list it names, whatever product name the list gives.
  const TListEntry Found = FindListEntry(Reg, "Демо", ListFile);
  EXPECT_TRUE(Found.Found);
  EXPECT_EQ(Found.KeyName, "Настоящее имя");
  EXPECT_EQ(Found.InstallLocation, "C:\\Demo\\");
  EXPECT_EQ(CheckListOrigin(Found, Bytes), TListOrigin::loProven);
  EXPECT_EQ(CheckListOrigin(Found, Bytes + "ItemType0=Dir\r\n"), TListOrigin::loChanged);
  // An entry written before digests were kept proves nothing and refuses nothing.
  Entry("Настоящее имя", "\"C:\\Demo\\UnInstall.exe\" \"C:\\Demo\\uninst.lst\"", "");
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  Reg.OpenKey(std::string(cUninstallKey) + "\\Настоящее имя", false);
  Reg.DeleteValue(cListDigestValue);
  EXPECT_EQ(CheckListOrigin(FindListEntry(Reg, "", ListFile), Bytes), TListOrigin::loUnknown);
}
