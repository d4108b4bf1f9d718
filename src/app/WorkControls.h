#pragma once
// What the wizard's two files share about its controls: where pages and controls sit, the
// control ids its handlers dispatch on, and the ids of the controls whose input it filters.
#include <windows.h>

namespace setup::work {

inline const wchar_t* const cPanelClass = L"TfrmWorkPanel";
// Every page occupies the same panel area.
constexpr int cPageLeft = 186, cPageTop = 52, cPageWidth = 449, cPageHeight = 269;
// Controls inside a page.
constexpr int cLeft = 8, cWidth = cPageWidth - 16;

enum : int {
  idBtnBack = 201,
  idBtnNext,
  idBtnCancel,
  idDownloadLink = 301,
  idRadioYes,
  idRadioNo,
  idDirectoryTree,
  idList1C,
  idEdtDirectory,
  idBtnDirDefault,
  idTreeComps,
  idEdtProgramGroup,
  idBtnProgramDefault,
  idLstProgram,
  idTree1S,
  idRadioReboot,
  idRadioNoReboot
};

// Subclass ids of the controls whose input the wizard filters.
enum : UINT_PTR { scDirectoryEdit = 1, scComponents, sc1C, scLink, scDirectoryTree };

inline bool Checked(HWND Button) { return SendMessageW(Button, BM_GETCHECK, 0, 0) == BST_CHECKED; }
inline void SetChecked(HWND Button, bool Value) {
  SendMessageW(Button, BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace setup::work
