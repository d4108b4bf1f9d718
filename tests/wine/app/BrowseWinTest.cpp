// The shell's folder dialog, opened for real and answered from a second thread.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "WindowsTestSupport.h"
#include "system/BrowseWin.h"
#include "system/Errors.h"
#include "system/WideWin.h"

namespace setup {
namespace {

using test::Driver;
using test::WaitForWindow;

// What the second thread saw of the open dialog.
struct TSeen {
  HWND Dialog = nullptr;
  bool OkEnabled = true;
  bool OtherWindowEnabled = true;
  bool DisabledWindowEnabled = false;
  UINT ErrorMode = 0;
  RECT Frame{};
  bool StartShown = false;
};

class BrowseForFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    // Two windows of the program behind the dialog: one enabled, one the program had disabled.
    Other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                            nullptr);
    Disabled = CreateWindowExW(0, L"STATIC", L"disabled", WS_POPUP | WS_VISIBLE | WS_DISABLED, 60, 0, 50, 50,
                               nullptr, nullptr, nullptr, nullptr);
    // The dialog's owner is the active window; a disabled window cannot be the one in use.
    SetActiveWindow(Other);
    Folder = FromWide(test::QuietFolder(L"Папка выбора"));
  }
  void TearDown() override {
    DestroyWindow(Other);
    DestroyWindow(Disabled);
    RemoveDirectoryW(ToWide(Folder).c_str());
  }

  // Opens the dialog with Path and answers it with Answer (IDOK or IDCANCEL).
  bool Browse(std::string& Path, int Answer, TSeen& Seen) {
    const DWORD Thread = GetCurrentThreadId();
    bool Result;
    {
      Driver Script([&] {
        Seen.Dialog = WaitForWindow(Thread, L"#32770");
        if (!Seen.Dialog) return;
        HWND Ok = GetDlgItem(Seen.Dialog, IDOK);
        // Without a start folder OK is to go grey; give the dialog its time to settle.
        if (Path.empty() || Path == "\\\\") test::WaitUntil([&] { return !IsWindowEnabled(Ok); });
        // With a start folder, act once the dialog shows it selected.
        if (!Path.empty() && Path != "\\\\")
          Seen.StartShown = test::WaitUntil([&] { return test::SelectedFolderName(Seen.Dialog) == L"Папка выбора"; });
        Seen.OkEnabled = IsWindowEnabled(Ok);
        Seen.OtherWindowEnabled = IsWindowEnabled(Other);
        Seen.DisabledWindowEnabled = IsWindowEnabled(Disabled);
        Seen.ErrorMode = GetErrorMode();
        GetWindowRect(Seen.Dialog, &Seen.Frame);
        PostMessageW(Seen.Dialog, WM_COMMAND, MAKEWPARAM(Answer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(Seen.Dialog, Answer)));
      });
      Result = BrowseForFolder("Выберите каталог", CSIDL_DESKTOP, Path, BIF_NEWDIALOGSTYLE);
    }
    return Result;
  }

  HWND Other = nullptr, Disabled = nullptr;
  std::string Folder;
};

TEST_F(BrowseForFolderTest, StartsAtTheGivenFolderAndReturnsItWithABackslash) {
  std::string Path = Folder;
  TSeen Seen;
  ASSERT_TRUE(Browse(Path, IDOK, Seen));
  ASSERT_NE(Seen.Dialog, nullptr);
  EXPECT_TRUE(Seen.StartShown);
  EXPECT_TRUE(Seen.OkEnabled);
  EXPECT_EQ(Path, Folder + "\\");
}

TEST_F(BrowseForFolderTest, EmptyStartDisablesOkAndCancelKeepsThePath) {
  std::string Path;
  TSeen Seen;
  EXPECT_FALSE(Browse(Path, IDCANCEL, Seen));
  ASSERT_NE(Seen.Dialog, nullptr);
  EXPECT_FALSE(Seen.OkEnabled);
  EXPECT_EQ(Path, "");

  std::string Share = "\\\\";
  EXPECT_FALSE(Browse(Share, IDCANCEL, Seen));
  EXPECT_FALSE(Seen.OkEnabled);
  EXPECT_EQ(Share, "\\\\");
}

TEST_F(BrowseForFolderTest, CancelLeavesAChosenStartUnchanged) {
  std::string Path = Folder;
  TSeen Seen;
  EXPECT_FALSE(Browse(Path, IDCANCEL, Seen));
  EXPECT_EQ(Path, Folder);
}

TEST_F(BrowseForFolderTest, ProgramIsDisabledAndCriticalErrorsQuietWhileTheDialogIsOpen) {
  const UINT ModeBefore = SetErrorMode(0);
  std::string Path = Folder;
  TSeen Seen;
  Browse(Path, IDCANCEL, Seen);
  ASSERT_NE(Seen.Dialog, nullptr);
  EXPECT_FALSE(Seen.OtherWindowEnabled);
  EXPECT_FALSE(Seen.DisabledWindowEnabled);
  EXPECT_TRUE(Seen.ErrorMode & SEM_FAILCRITICALERRORS);
  // Afterwards: what was enabled is again, what the program had disabled stays so.
  EXPECT_TRUE(IsWindowEnabled(Other));
  EXPECT_FALSE(IsWindowEnabled(Disabled));
  EXPECT_EQ(GetErrorMode(), 0u);
  SetErrorMode(ModeBefore);
}

TEST_F(BrowseForFolderTest, DialogIsCentredOnTheScreen) {
  std::string Path = Folder;
  TSeen Seen;
  Browse(Path, IDCANCEL, Seen);
  ASSERT_NE(Seen.Dialog, nullptr);
  const int Width = Seen.Frame.right - Seen.Frame.left, Height = Seen.Frame.bottom - Seen.Frame.top;
  EXPECT_EQ(Seen.Frame.left, (GetSystemMetrics(SM_CXSCREEN) - Width) / 2);
  EXPECT_EQ(Seen.Frame.top, (GetSystemMetrics(SM_CYSCREEN) - Height) / 2);
}

TEST_F(BrowseForFolderTest, UnknownRootRaisesTheSystemErrorAndLeavesThePath) {
  std::string Path = Folder;
  EXPECT_THROW(BrowseForFolder("Выберите каталог", 0x7F, Path, BIF_NEWDIALOGSTYLE), Exception);
  EXPECT_EQ(Path, Folder);
  EXPECT_TRUE(IsWindowEnabled(Other));
}

}  // namespace
}  // namespace setup
