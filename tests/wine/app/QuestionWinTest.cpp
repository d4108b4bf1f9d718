// The next-disk prompt, shown for real and answered from a second thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "WindowsTestSupport.h"
#include "app/untQuest.h"
#include "system/WideWin.h"

namespace setup {
namespace {

using test::Click;
using test::Driver;
using test::FindChild;
using test::TextOf;
using test::WaitForWindow;
using test::WaitUntil;

// Shows the prompt for Folder and lets Script answer it (given the prompt's window).
bool Ask(std::string& Folder, const std::function<void(HWND)>& Script, HWND Owner = nullptr, bool WrongDisk = false) {
  const DWORD Thread = GetCurrentThreadId();
  bool Result;
  {
    Driver Answer([&] {
      if (HWND Prompt = WaitForWindow(Thread, L"TfrmQuestion")) Script(Prompt);
    });
    Result = AskNextDisk(Owner, Folder, "setup2.cab", WrongDisk);
  }
  return Result;
}

HWND Edit(HWND Prompt) { return FindChild(Prompt, L"Edit"); }
HWND Button(HWND Prompt, const char* Text) { return FindChild(Prompt, L"Button", ToWide(Text).c_str()); }

TEST(NextDiskPrompt, OkReturnsTheFolderExactlyAsTyped) {
  std::string Folder = "C:\\Setup\\DISK1\\";
  const bool Ok = Ask(Folder, [](HWND Prompt) {
    SetWindowTextW(Edit(Prompt), L"E:\\Диск 2");
    Click(Button(Prompt, "ОК"));
  });
  EXPECT_TRUE(Ok);
  EXPECT_EQ(Folder, "E:\\Диск 2");  // no backslash added
}

TEST(NextDiskPrompt, OkWithoutChangeReturnsTheSameFolder) {
  std::string Folder = "C:\\Setup\\DISK1\\";
  EXPECT_TRUE(Ask(Folder, [](HWND Prompt) { Click(Button(Prompt, "ОК")); }));
  EXPECT_EQ(Folder, "C:\\Setup\\DISK1\\");
}

TEST(NextDiskPrompt, CancelLeavesTheFolderUnchanged) {
  std::string Folder = "C:\\Setup\\DISK1\\";
  EXPECT_FALSE(Ask(Folder, [](HWND Prompt) {
    SetWindowTextW(Edit(Prompt), L"F:\\");
    Click(Button(Prompt, "Отмена"));
  }));
  EXPECT_EQ(Folder, "C:\\Setup\\DISK1\\");
}

TEST(NextDiskPrompt, EnterPressesOk) {
  std::string Folder = "C:\\A";
  EXPECT_TRUE(Ask(Folder, [](HWND Prompt) {
    SetWindowTextW(Edit(Prompt), L"C:\\B");
    PostMessageW(Edit(Prompt), WM_KEYDOWN, VK_RETURN, 0);
  }));
  EXPECT_EQ(Folder, "C:\\B");
}

// Asked again after a cabinet that was not the right one, the prompt says so in its first line.
TEST(NextDiskPrompt, SaysWhenTheDiskOfferedBeforeWasNotTheRightOne) {
  for (const bool WrongDisk : {false, true}) {
    bool Said = true;
    std::string Folder = "C:\\Setup\\";
    Ask(
        Folder,
        [&](HWND Prompt) {
          Said = FindChild(Prompt, L"Static", ToWide("Это не тот диск. Вставьте следующий диск с файлом").c_str());
          Click(Button(Prompt, "Отмена"));
        },
        nullptr, WrongDisk);
    EXPECT_EQ(Said, WrongDisk);
  }
}

TEST(NextDiskPrompt, LayoutTextsAndClosedSystemMenu) {
  struct {
    RECT Client{};
    POINT EditAt{};
    int EditWidth = 0;
    POINT OkAt{}, CancelAt{}, BrowseAt{};
    bool OkDefault = false;
    UINT CloseState = 0;
    std::wstring Caption, FileName;
    LONG_PTR Style = 0;
  } Seen;
  std::string Folder = "C:\\Setup\\";
  Ask(Folder, [&](HWND Prompt) {
    GetClientRect(Prompt, &Seen.Client);
    auto At = [&](HWND Child) {
      RECT R;
      GetWindowRect(Child, &R);
      POINT P{R.left, R.top};
      ScreenToClient(Prompt, &P);
      return P;
    };
    RECT R;
    GetWindowRect(Edit(Prompt), &R);
    Seen.EditAt = At(Edit(Prompt));
    Seen.EditWidth = R.right - R.left;
    Seen.OkAt = At(Button(Prompt, "ОК"));
    Seen.CancelAt = At(Button(Prompt, "Отмена"));
    Seen.BrowseAt = At(Button(Prompt, "Обзор..."));
    Seen.OkDefault = (GetWindowLongPtrW(Button(Prompt, "ОК"), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
    Seen.CloseState = GetMenuState(GetSystemMenu(Prompt, FALSE), SC_CLOSE, MF_BYCOMMAND);
    Seen.Caption = TextOf(Prompt);
    Seen.FileName = TextOf(FindChild(Prompt, L"Static", L"setup2.cab"));
    Seen.Style = GetWindowLongPtrW(Prompt, GWL_STYLE);
    // Closing from the frame does nothing: only the buttons end the prompt.
    PostMessageW(Prompt, WM_SYSCOMMAND, SC_CLOSE, 0);
    Sleep(200);
    Click(Button(Prompt, "Отмена"));
  });
  EXPECT_EQ(Seen.Client.right, 436);
  EXPECT_EQ(Seen.Client.bottom, 119);
  EXPECT_EQ(Seen.EditAt.x, 64);
  EXPECT_EQ(Seen.EditAt.y, 48);
  EXPECT_EQ(Seen.EditWidth, 265);
  EXPECT_EQ(Seen.BrowseAt.x, 336);
  EXPECT_EQ(Seen.BrowseAt.y, 48);
  EXPECT_EQ(Seen.OkAt.x, 240);
  EXPECT_EQ(Seen.OkAt.y, 88);
  EXPECT_EQ(Seen.CancelAt.x, 336);
  EXPECT_EQ(Seen.CancelAt.y, 88);
  EXPECT_TRUE(Seen.OkDefault);
  EXPECT_TRUE(Seen.CloseState & MF_GRAYED);
  EXPECT_EQ(FromWide(Seen.Caption), "Вставьте следующий диск");
  EXPECT_EQ(Seen.FileName, L"setup2.cab");
  EXPECT_TRUE(Seen.Style & WS_SYSMENU);
  EXPECT_FALSE(Seen.Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
}

TEST(NextDiskPrompt, BrowsedFolderThenCancelLeavesTheCallersFolder) {
  const std::string Chosen = FromWide(test::QuietFolder(L"DISK2"));
  std::string Folder = Chosen;
  std::wstring Shown, Picked;
  bool PromptDisabled = false;
  const DWORD Thread = GetCurrentThreadId();
  EXPECT_FALSE(Ask(Folder, [&](HWND Prompt) {
    Click(Button(Prompt, "Обзор..."));
    HWND Dialog = WaitForWindow(Thread, L"#32770");
    if (!Dialog) {
      Click(Button(Prompt, "Отмена"));
      return;
    }
    PromptDisabled = !IsWindowEnabled(Prompt);
    // The person takes the folder the dialog shows once it has settled on one. Where the
    // dialog starts is the browser's own test; here it is what the prompt does with the answer.
    WaitUntil([&] { return test::SelectedFolderName(Dialog) == L"DISK2"; });
    Picked = test::SelectedFolderName(Dialog);
    PostMessageW(Dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(Dialog, IDOK)));
    WaitUntil([&] { return TextOf(Edit(Prompt)) != ToWide(Chosen); });
    Shown = TextOf(Edit(Prompt));
    Click(Button(Prompt, "Отмена"));
  }));
  EXPECT_TRUE(PromptDisabled);
  ASSERT_FALSE(Picked.empty());
  // The browser's answer, with its backslash, is what the edit shows. (Wine's dialog now and
  // then stops short of its start folder, on the desktop or a parent, and answers with that.)
  if (Picked == L"DISK2") {
    EXPECT_EQ(FromWide(Shown), Chosen + "\\");
  } else {
    EXPECT_NE(FromWide(Shown), Chosen);
    EXPECT_EQ(Shown.substr(Shown.size() - (Shown.empty() ? 0 : 1)), L"\\") << FromWide(Shown);
  }
  EXPECT_EQ(Folder, Chosen);
  RemoveDirectoryW(ToWide(Chosen).c_str());
}

TEST(NextDiskPrompt, OwnerIsDisabledWhileAskingAndEnabledAfterAndThePromptCentredOnIt) {
  // A wizard-sized owner away from the middle of the screen.
  HWND Owner = CreateWindowExW(0, L"STATIC", L"wizard", WS_POPUP | WS_VISIBLE, 20, 30, 640, 400, nullptr, nullptr,
                               nullptr, nullptr);
  bool OwnerEnabled = true;
  RECT PromptFrame{};
  std::string Folder = "C:\\";
  Ask(
      Folder,
      [&](HWND Prompt) {
        OwnerEnabled = IsWindowEnabled(Owner);
        GetWindowRect(Prompt, &PromptFrame);
        Click(Button(Prompt, "ОК"));
      },
      Owner);
  EXPECT_FALSE(OwnerEnabled);
  EXPECT_LE(std::abs((PromptFrame.left + PromptFrame.right) / 2 - (20 + 660) / 2), 1);
  EXPECT_LE(std::abs((PromptFrame.top + PromptFrame.bottom) / 2 - (30 + 430) / 2), 1);
  EXPECT_TRUE(IsWindowEnabled(Owner));
  DestroyWindow(Owner);
}

TEST(NextDiskPrompt, OwnerDestroyedWhileAskingEndsThePromptAsCancel) {
  // The prompt goes with its owner; the call must come back (unanswered), not wait for ever.
  HWND Owner = CreateWindowExW(0, L"STATIC", L"wizard", WS_POPUP | WS_VISIBLE, 20, 30, 640, 400, nullptr, nullptr,
                               nullptr, nullptr);
  std::string Folder = "C:\\Setup\\";
  EXPECT_FALSE(Ask(Folder, [&](HWND) { PostMessageW(Owner, WM_CLOSE, 0, 0); }, Owner));
  EXPECT_FALSE(IsWindow(Owner));
  EXPECT_EQ(Folder, "C:\\Setup\\");
}

}  // namespace
}  // namespace setup
