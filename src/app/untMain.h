#pragma once
// The background window behind the wizard: a blue gradient with the product's name.
#include <windows.h>

#include <string>

namespace setup {

class TfrmMain {
 public:
  TfrmMain() = default;
  ~TfrmMain();
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // Creates the window visible and maximised, showing ProductName.
  bool Create(const std::string& ProductName);
  HWND Handle = nullptr;

 private:
  static LRESULT CALLBACK WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  void FormPaint(HDC Dc);
  std::wstring FProductName;
  HFONT FNameFont = nullptr;
};

}  // namespace setup
