#pragma once
// The wizard window: owns the installation model and the cabinet library, and hosts the
// installation worker on its progress page.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/untThrd.h"
#include "model/untData.h"
#include "system/RegistryWin.h"

namespace setup {

class TfrmWork : public IInstallHost {
 public:
  TfrmWork();
  ~TfrmWork() override;
  TfrmWork(const TfrmWork&) = delete;
  TfrmWork& operator=(const TfrmWork&) = delete;

  // Creates the window (hidden) and the model. False when the program must end at once;
  // ExitCode then says why.
  bool Create();
  void Show();

  HWND Handle = nullptr;
  int ExitCode;
  std::unique_ptr<TInstallInfo> Info;

  // IInstallHost, on the progress page's controls.
  void SetCaption(const std::string& Text) override;
  void RepaintCaption(const std::string& Text) override;
  void SetProgress(std::int64_t Position, std::int64_t Maximum) override;
  void ProcessMessages() override;
  int ShowMessage(const std::string& Caption, const std::string& Text, unsigned Flags) override;
  bool AskNextDisk(std::string& Folder, const std::string& FileName) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  LRESULT Handle_(UINT Msg, WPARAM WParam, LPARAM LParam);
  bool FormCreate();
  void CreateControls();
  void PreselectInstallType();
  void CMShowingChanged();
  bool ExtractCabinetLibrary(std::string& Folder);
  void RunInstallation();
  void HideAllPages();
  void ShowPage(const std::vector<HWND>& Page);
  void ShowFinishPage();
  void btnNextClick();
  void btnCancelClick();
  void FormPaint(HDC Dc);
  void Close(int Code);

  RegistryWin FRegistry;
  std::unique_ptr<TExecutor> FExecutor;
  bool FInstallSucceeded = false;
  bool FShown = false;
  bool FFinished = false;
  bool FRadioFull = false, FRadioTypical = false, FRadioMinimal = false, FRadioCustom = false;

  HWND btnBack = nullptr, btnNext = nullptr, btnCancel = nullptr;
  HWND lblOperation = nullptr, barProgress = nullptr, lblFinish = nullptr;
  std::vector<HWND> Panel1, Panel9, Panel10;
};

}  // namespace setup
