#include "app/untMain.h"

#include <cmath>

#include "app/AppWin.h"
#include "system/WideWin.h"

namespace setup {
namespace {
const wchar_t* const cClassName = L"TfrmMain";
}

TfrmMain::~TfrmMain() {
  if (Handle) DestroyWindow(Handle);
  if (FNameFont) DeleteObject(FNameFont);
}

bool TfrmMain::Create(const std::string& ProductName) {
  HINSTANCE Instance = GetModuleHandleW(nullptr);
  RegisterWindowClass(cClassName, WindowProc, nullptr);
  FProductName = ToWide(ProductName);
  FNameFont = CreateFontW(-40, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
  Handle = CreateWindowExW(0, cClassName, FProductName.c_str(), WS_POPUP | WS_VISIBLE | WS_MAXIMIZE, 0, 0,
                           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, Instance,
                           this);
  return Handle != nullptr;
}

void TfrmMain::FormPaint(HDC Dc) {
  RECT Client;
  GetClientRect(Handle, &Client);
  const int W = Client.right, H = Client.bottom;
  for (int I = 1; I <= 64; ++I) {
    HBRUSH Band = CreateSolidBrush(RGB(0, 0, static_cast<int>(std::nearbyint((1.0 - I / 64.0) * 255))));
    RECT Rect = {0, static_cast<int>(std::trunc(H / 64.0 * (I - 1))), W, static_cast<int>(std::nearbyint(H / 64.0 * I))};
    FillRect(Dc, &Rect, Band);
    DeleteObject(Band);
  }
  HGDIOBJ OldFont = SelectObject(Dc, FNameFont);
  SetBkMode(Dc, TRANSPARENT);
  SetTextColor(Dc, RGB(255, 255, 255));
  RECT Label = {5, 4, W - 35, 157};
  DrawTextW(Dc, FProductName.c_str(), -1, &Label, DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(Dc, OldFont);
}

LRESULT CALLBACK TfrmMain::WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  auto* Form = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  switch (Msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      if (Form) {
        PAINTSTRUCT Paint;
        HDC Dc = BeginPaint(Wnd, &Paint);
        Form->FormPaint(Dc);
        EndPaint(Wnd, &Paint);
        return 0;
      }
      break;
    case WM_DESTROY:
      if (Form) Form->Handle = nullptr;
      break;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

}  // namespace setup
