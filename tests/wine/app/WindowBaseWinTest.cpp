// The windows' common base: binding from the first message to the last, handlers that throw,
// centring.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/WindowBase.h"
#include "system/Errors.h"

namespace setup {
namespace {

constexpr UINT cmThrowError = WM_APP + 1, cmThrowOther = WM_APP + 2, cmThrowAbort = WM_APP + 3, cmDestroySelf = WM_APP + 4;

// Records what reaches it; throws on request, also from WM_PAINT and WM_CREATE.
class TProbe : public TWindowBase {
 public:
  ~TProbe() override { Alive = false; }
  bool Create(HWND Owner = nullptr, int Width = 200, int Height = 100) {
    return CreateHandle({L"TWindowBaseProbe", reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)}, 0, L"probe",
                        WS_POPUP | WS_CAPTION, 10, 10, Width, Height, Owner);
  }
  using TWindowBase::CentreWindow;

  std::vector<UINT> Seen;
  std::vector<std::string> Failures;
  bool HandleSetOnCreate = false;
  bool ThrowOnCreate = false, ThrowOnPaint = false;
  bool HandleNullAfterSelfDestroy = false;
  bool ValidWhenReacting = false;
  int AfterDestroy = 0;
  int Paints = 0;
  // Messages to an object already gone would find this false.
  bool Alive = true;
  static inline int Stale = 0;

 private:
  LRESULT WindowMessage(UINT Msg, WPARAM WParam, LPARAM LParam) override {
    if (!Alive) ++Stale;
    if (!Seen.empty() && Seen.back() == WM_DESTROY) ++AfterDestroy;
    Seen.push_back(Msg);
    switch (Msg) {
      case WM_CREATE:
        HandleSetOnCreate = Handle != nullptr;
        if (ThrowOnCreate) throw std::runtime_error("no controls");
        break;
      case WM_PAINT:
        ++Paints;
        // Before BeginPaint, which would have validated the window.
        if (ThrowOnPaint) throw std::runtime_error("paint failed");
        break;
      case cmThrowError:
        throw Exception("Файл не найден");
      case cmThrowOther:
        throw 42;
      case cmThrowAbort:
        throw EAbort();
      case cmDestroySelf:
        DestroyWindow(Handle);
        HandleNullAfterSelfDestroy = Handle == nullptr;
        return 7;
    }
    return TWindowBase::WindowMessage(Msg, WParam, LParam);
  }
  void HandlerFailed(const char* Text) override {
    Failures.push_back(Text);
    // A reaction with a loop of its own (a message box) must not meet the failing paint again.
    ValidWhenReacting = !GetUpdateRect(Handle, nullptr, FALSE);
  }
};

bool Saw(const TProbe& Probe, UINT Msg) {
  for (UINT Each : Probe.Seen)
    if (Each == Msg) return true;
  return false;
}

// Dispatches what is pending, at most Limit messages (a window that never validates itself
// would otherwise keep this busy for ever).
void Pump(int Limit = 200) {
  MSG Message;
  while (Limit-- > 0 && PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&Message);
}

TEST(WindowBase, CreationMessagesReachTheObjectWithItsHandleSet) {
  TProbe Probe;
  ASSERT_TRUE(Probe.Create());
  ASSERT_NE(Probe.Handle, nullptr);
  ASSERT_GE(Probe.Seen.size(), 3u);
  EXPECT_EQ(Probe.Seen[0], static_cast<UINT>(WM_NCCREATE)) << "the first message of all";
  EXPECT_TRUE(Saw(Probe, WM_NCCALCSIZE));
  EXPECT_TRUE(Saw(Probe, WM_CREATE));
  EXPECT_TRUE(Probe.HandleSetOnCreate);
  // Registered once: a second window of the class is created as well.
  TProbe Second;
  EXPECT_TRUE(Second.Create());
}

TEST(WindowBase, ThrowingHandlersAreCaughtAndGetTheWindowsReaction) {
  TProbe Probe;
  ASSERT_TRUE(Probe.Create());
  EXPECT_EQ(SendMessageW(Probe.Handle, cmThrowError, 0, 0), 0);
  EXPECT_EQ(SendMessageW(Probe.Handle, cmThrowOther, 0, 0), 0);
  // A silent abort ends the handler without a reaction.
  EXPECT_EQ(SendMessageW(Probe.Handle, cmThrowAbort, 0, 0), 0);
  ASSERT_EQ(Probe.Failures.size(), 2u);
  EXPECT_EQ(Probe.Failures[0], "Файл не найден");
  EXPECT_EQ(Probe.Failures[1], "unknown exception");
  // The window lives on and still answers.
  EXPECT_TRUE(IsWindow(Probe.Handle));
  EXPECT_EQ(SendMessageW(Probe.Handle, cmDestroySelf, 0, 0), 7);
}

TEST(WindowBase, AFailedPaintLeavesTheWindowValidatedNotRepaintingForever) {
  TProbe Probe;
  ASSERT_TRUE(Probe.Create());
  ShowWindow(Probe.Handle, SW_SHOWNA);
  Probe.ThrowOnPaint = true;
  Probe.Paints = 0;
  InvalidateRect(Probe.Handle, nullptr, TRUE);
  UpdateWindow(Probe.Handle);
  EXPECT_EQ(Probe.Paints, 1);
  EXPECT_EQ(Probe.Failures.size(), 1u);
  EXPECT_TRUE(Probe.ValidWhenReacting);
  EXPECT_FALSE(GetUpdateRect(Probe.Handle, nullptr, FALSE));
  // No storm of paints (and error reactions) follows; the display may still ask once more.
  Pump();
  EXPECT_LE(Probe.Paints, 3);
}

TEST(WindowBase, AFailedCreateEndsTheCreationAndUnbinds) {
  TProbe Probe;
  Probe.ThrowOnCreate = true;
  EXPECT_FALSE(Probe.Create());
  EXPECT_EQ(Probe.Handle, nullptr);
  ASSERT_EQ(Probe.Failures.size(), 1u);
  EXPECT_EQ(Probe.Failures[0], "no controls");
}

TEST(WindowBase, DestroyWindowUnbindsAndWmDestroyIsTheLastMessage) {
  TProbe Probe;
  ASSERT_TRUE(Probe.Create());
  // A child that goes with the window after WM_DESTROY, telling its parent as it goes.
  CreateWindowExW(0, L"BUTTON", L"child", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, Probe.Handle, nullptr, nullptr,
                  nullptr);
  const HWND Wnd = Probe.Handle;
  EXPECT_EQ(SendMessageW(Wnd, cmDestroySelf, 0, 0), 7);
  EXPECT_TRUE(Probe.HandleNullAfterSelfDestroy);
  EXPECT_EQ(Probe.Handle, nullptr);
  EXPECT_FALSE(IsWindow(Wnd));
  EXPECT_EQ(Probe.Seen.back(), static_cast<UINT>(WM_DESTROY));
  EXPECT_EQ(Probe.AfterDestroy, 0);
}

TEST(WindowBase, AnObjectDestroyedFirstTakesItsWindowWithoutBeingReached) {
  TProbe::Stale = 0;
  HWND Wnd;
  {
    TProbe Probe;
    ASSERT_TRUE(Probe.Create());
    Wnd = Probe.Handle;
    ShowWindow(Wnd, SW_SHOWNA);
  }
  EXPECT_FALSE(IsWindow(Wnd));
  EXPECT_EQ(TProbe::Stale, 0);
  // A window bound to nothing (its object gone, the window kept) gets the default handling.
  TProbe Probe;
  ASSERT_TRUE(Probe.Create());
  SetWindowLongPtrW(Probe.Handle, GWLP_USERDATA, 0);
  const std::size_t Before = Probe.Seen.size();
  SendMessageW(Probe.Handle, cmThrowError, 0, 0);
  EXPECT_EQ(Probe.Seen.size(), Before);
  EXPECT_TRUE(Probe.Failures.empty());
}

POINT Centre(HWND Wnd) {
  RECT R;
  GetWindowRect(Wnd, &R);
  return {(R.left + R.right) / 2, (R.top + R.bottom) / 2};
}

TEST(WindowBase, CentresOnItsOwnerOrOnTheWorkArea) {
  MONITORINFO Monitor{};
  Monitor.cbSize = sizeof(Monitor);
  GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &Monitor);
  const RECT Work = Monitor.rcWork;

  // An owner away from the middle of the screen: the window follows it, not the screen.
  HWND Owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, Work.left + 40, Work.top + 30, 500, 360,
                               nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(Owner, nullptr);
  {
    TProbe Probe;
    ASSERT_TRUE(Probe.Create(Owner, 201, 101));
    Probe.CentreWindow();
    const POINT Got = Centre(Probe.Handle), Want = Centre(Owner);
    EXPECT_LE(std::abs(Got.x - Want.x), 1);
    EXPECT_LE(std::abs(Got.y - Want.y), 1);
  }
  DestroyWindow(Owner);

  TProbe Alone;
  ASSERT_TRUE(Alone.Create(nullptr, 300, 200));
  Alone.CentreWindow();
  RECT R;
  GetWindowRect(Alone.Handle, &R);
  EXPECT_LE(std::abs((R.left + R.right) / 2 - (Work.left + Work.right) / 2), 1);
  EXPECT_LE(std::abs((R.top + R.bottom) / 2 - (Work.top + Work.bottom) / 2), 1);

  // Larger than the work area: its top left corner stays on screen.
  TProbe Large;
  ASSERT_TRUE(Large.Create(nullptr, Work.right - Work.left + 300, Work.bottom - Work.top + 200));
  Large.CentreWindow();
  GetWindowRect(Large.Handle, &R);
  EXPECT_EQ(R.left, Work.left);
  EXPECT_EQ(R.top, Work.top);
}

}  // namespace
}  // namespace setup
