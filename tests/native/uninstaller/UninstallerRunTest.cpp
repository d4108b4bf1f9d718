#include <gtest/gtest.h>

#include "system/CommandLine.h"
#include "uninstaller/UninstallerRun.h"

using namespace setup;

TEST(UninstallerArguments, TheListSilenceAndTheCopysSwitches) {
  auto Args = ParseUninstallerArguments({"/SILENCE", "C:\\Program Files\\Demo\\uninst.lst", "second.lst", "/x"});
  EXPECT_EQ(Args.ListFile, "C:\\Program Files\\Demo\\uninst.lst");
  EXPECT_TRUE(Args.Silent);
  EXPECT_FALSE(Args.IsCopy());

  Args = ParseUninstallerArguments({"list.lst", "/silencer", "/CopyOf=12x", "/status=8"});
  EXPECT_FALSE(Args.Silent);
  EXPECT_EQ(Args.OriginalProcess, 0u);  // not a number: no copy
  EXPECT_EQ(Args.StatusPipe, 8u);

  EXPECT_TRUE(ParseUninstallerArguments({}).ListFile.empty());
}

TEST(UninstallerArguments, TheCopysCommandLineCarriesEverythingAcross) {
  // What the first program passes must come out whole on the copy's side, blanks, Cyrillic and
  // a trailing backslash included.
  const std::vector<std::string> Given = {"C:\\Мои программы\\Демо\\uninst.lst", "/silence"};
  const std::string Line = CopyCommandLine("C:\\Temp\\UnInstall.exe", Given, "C:\\Мои программы\\Демо\\UnInstall.exe",
                                           1234, 5678);
  std::vector<std::string> Split = SplitCommandLine(Line);
  ASSERT_FALSE(Split.empty());
  EXPECT_EQ(Split.front(), "C:\\Temp\\UnInstall.exe");
  Split.erase(Split.begin());
  const TUninstallerArguments Args = ParseUninstallerArguments(Split);
  EXPECT_EQ(Args.ListFile, Given[0]);
  EXPECT_TRUE(Args.Silent);
  EXPECT_EQ(Args.Original, "C:\\Мои программы\\Демо\\UnInstall.exe");
  EXPECT_EQ(Args.OriginalProcess, 1234u);
  EXPECT_EQ(Args.StatusPipe, 5678u);
  EXPECT_TRUE(Args.IsCopy());

  const auto Unregister = ParseUninstallerArguments(SplitCommandLine("\"/unregdll=C:\\A B\\x.dll\""));
  EXPECT_EQ(Unregister.UnregisterLibrary, "C:\\A B\\x.dll");
}

TEST(UninstallerReport, SaysWhatWentAndWhatStayed) {
  TRemovalReport Report;
  EXPECT_EQ(ReportText("Демо", Report), "Программа «Демо» удалена с Вашего компьютера.");
  EXPECT_EQ(ReportText("", Report), "Программа «без названия» удалена с Вашего компьютера.");

  Report.Notes = {{TRemovalNote::NotEmpty, "C:\\Demo", "mine.doc, Data\\"}};
  EXPECT_EQ(ReportText("Демо", Report),
            "Программа «Демо» удалена с Вашего компьютера.\r\rОставлено на месте:\rв папке остались файлы: C:\\Demo "
            "(mine.doc, Data\\)");

  Report.Notes = {{TRemovalNote::SharedInUse, "C:\\s.dll"},
                  {TRemovalNote::Scheduled, "C:\\a.dll"},
                  {TRemovalNote::NoCounter, "C:\\b.dll"},
                  {TRemovalNote::NotRemoved, "C:\\c"},
                  {TRemovalNote::CommandFailed, "x.exe /u"}};
  EXPECT_EQ(ReportText("Демо", Report, 2),
            "Удаление программы «Демо» завершено, но удалить удалось не всё:\r"
            "файл занят, будет удалён при перезагрузке: C:\\a.dll\r"
            "общий файл без счётчика использования, оставлен: C:\\b.dll\r"
            "... и ещё 2\r\r"
            "Оставлено на месте:\r"
            "общий файл нужен другим программам: C:\\s.dll");
}
