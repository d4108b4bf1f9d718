// The uninstaller with a person in front of it: the question, with No as the answer Enter
// gives, and the final report. The test answers the boxes as a person would, by their buttons.
#include <gtest/gtest.h>

#include <filesystem>

#include "UninstallerSupport.h"

using namespace setup;
using namespace uninstaller_test;

namespace {

struct BoxSearch {
  std::wstring Title;
  HWND Found = nullptr;
};

BOOL CALLBACK MatchBox(HWND Window, LPARAM Data) {
  auto* Search = reinterpret_cast<BoxSearch*>(Data);
  wchar_t Class[64] = {}, Title[256] = {};
  GetClassNameW(Window, Class, 64);
  GetWindowTextW(Window, Title, 256);
  if (IsWindowVisible(Window) && std::wstring(Class) == L"#32770" && Search->Title == Title) {
    Search->Found = Window;
    return FALSE;
  }
  return TRUE;
}

// The uninstaller's message box, when one is shown (any process: the copy shows it).
HWND FindBox() {
  BoxSearch Search{ToWide("Удаление программы")};
  EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

std::string BoxText(HWND Box) {
  wchar_t Text[4096] = {};
  GetDlgItemTextW(Box, 0xFFFF, Text, 4096);
  return FromWide(Text);
}

void Press(HWND Box, int Button) { SendMessageW(GetDlgItem(Box, Button), BM_CLICK, 0, 0); }

class AttendedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = GetTempDir() + "Удаление с вопросом\\";
    Demo = std::make_unique<Product>("Удаление тест с вопросом", "TEST-ATTENDED", Root + "Программа\\");
    App = Demo->File(Demo->Folder + "app.txt");
    Demo->Register();
  }
  void TearDown() override {
    RegistryWin Reg;
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    Reg.DeleteKey(std::string(cUninstallKey) + "\\" + Demo->Setup.ProductName);
    if (Process) {
      if (WaitForSingleObject(Process, 10000) != WAIT_OBJECT_0) TerminateProcess(Process, 99);
      CloseHandle(Process);
    }
    std::error_code Ignored;
    std::filesystem::remove_all(std::filesystem::path(ToWide(Root)), Ignored);
  }
  HWND StartAndFindBox() {
    EXPECT_EQ(RunCommand(Demo->Command(), &Process), 0);
    HWND Box = nullptr;
    EXPECT_TRUE(WaitFor([&] { return (Box = FindBox()) != nullptr; })) << "no question was shown";
    return Box;
  }
  int ExitStatus() {
    DWORD Code = 99;
    if (WaitForSingleObject(Process, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(Process, &Code);
    return static_cast<int>(Code);
  }

  std::string Root, App;
  std::unique_ptr<Product> Demo;
  HANDLE Process = nullptr;
};

}  // namespace

TEST_F(AttendedRun, EnterKeepsTheProductAndNoRemovesNothing) {
  HWND Box = StartAndFindBox();
  ASSERT_NE(Box, nullptr);
  EXPECT_NE(BoxText(Box).find("«Удаление тест с вопросом»"), std::string::npos) << BoxText(Box);
  // No is the default button and has the focus, so Enter answers No.
  HWND No = GetDlgItem(Box, IDNO);
  EXPECT_EQ(GetWindowLongW(No, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  GUITHREADINFO Thread{};
  Thread.cbSize = sizeof Thread;
  ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(Box, nullptr), &Thread));
  EXPECT_EQ(Thread.hwndFocus, No);
  PostMessageW(Thread.hwndFocus, WM_KEYDOWN, VK_RETURN, 0);
  PostMessageW(Thread.hwndFocus, WM_KEYUP, VK_RETURN, 0xC0000001);

  EXPECT_EQ(ExitStatus(), 2);
  EXPECT_TRUE(WaitFor([] { return !TempCopyLeft(); }));
  EXPECT_TRUE(Exists(App));
  EXPECT_TRUE(Exists(Demo->Setup.ListFileName));
  EXPECT_TRUE(Demo->EntryExists());
}

TEST_F(AttendedRun, YesRemovesAndTheReportSaysWhatStayed) {
  WriteBytes(Demo->Folder + "мой файл.txt", "the user's");
  HWND Box = StartAndFindBox();
  ASSERT_NE(Box, nullptr);
  Press(Box, IDYES);

  // The report comes once the work is done.
  HWND Report = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (Report = FindBox()) != nullptr && Report != Box; }));
  const std::string Text = BoxText(Report);
  EXPECT_NE(Text.find("удалена"), std::string::npos) << Text;
  EXPECT_NE(Text.find("в папке остались файлы: " + WithoutBackslash(Demo->Folder)), std::string::npos) << Text;
  EXPECT_FALSE(Exists(App));
  Press(Report, IDOK);

  EXPECT_EQ(ExitStatus(), 0);
  EXPECT_TRUE(WaitFor([] { return !TempCopyLeft(); }));
  EXPECT_FALSE(Demo->EntryExists());
}
