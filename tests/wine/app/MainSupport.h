#pragma once
// A stand-in for the wizard window and a way to read what the background window paints.
#include <windows.h>

#include <vector>

namespace setup::test {

// A visible top-level window that counts the WM_ACTIVATE (WA_ACTIVE, 0) messages posted to it.
class WizardStandIn {
 public:
  WizardStandIn() {
    WNDCLASSW Class{};
    Class.lpfnWndProc = &Procedure;
    Class.hInstance = GetModuleHandleW(nullptr);
    Class.lpszClassName = L"WizardStandIn";
    RegisterClassW(&Class);
    Handle = CreateWindowExW(0, L"WizardStandIn", L"wizard", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 100, 100, 300,
                             200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    Activations() = 0;
  }
  ~WizardStandIn() { DestroyWindow(Handle); }
  WizardStandIn(const WizardStandIn&) = delete;
  WizardStandIn& operator=(const WizardStandIn&) = delete;
  static int& Activations() {
    static int Count = 0;
    return Count;
  }
  HWND Handle;

 private:
  static LRESULT CALLBACK Procedure(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_ACTIVATE && WParam == WA_ACTIVE && LParam == 0) ++Activations();
    return DefWindowProcW(Wnd, Msg, WParam, LParam);
  }
};

inline void Pump() {
  MSG Message;
  while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
}

// The client area of Wnd as its paint handler draws it, pixel by pixel (0x00RRGGBB).
class ClientPicture {
 public:
  explicit ClientPicture(HWND Wnd) {
    RECT Client;
    GetClientRect(Wnd, &Client);
    Width = Client.right;
    Height = Client.bottom;
    BITMAPINFO Info{};
    Info.bmiHeader.biSize = sizeof(Info.bmiHeader);
    Info.bmiHeader.biWidth = Width;
    Info.bmiHeader.biHeight = -Height;
    Info.bmiHeader.biPlanes = 1;
    Info.bmiHeader.biBitCount = 32;
    HDC Dc = CreateCompatibleDC(nullptr);
    void* Bits = nullptr;
    HBITMAP Bitmap = CreateDIBSection(Dc, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
    HGDIOBJ Old = SelectObject(Dc, Bitmap);
    SendMessageW(Wnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(Dc), PRF_CLIENT);
    GdiFlush();
    const auto* Pixels = static_cast<const DWORD*>(Bits);
    FPixels.assign(Pixels, Pixels + static_cast<std::size_t>(Width) * Height);
    SelectObject(Dc, Old);
    DeleteObject(Bitmap);
    DeleteDC(Dc);
  }
  DWORD At(int X, int Y) const { return FPixels[static_cast<std::size_t>(Y) * Width + X] & 0xFFFFFF; }
  int Width = 0, Height = 0;

 private:
  std::vector<DWORD> FPixels;
};

}  // namespace setup::test
