#pragma once
// The wizard window: owns the installation model and the cabinet library, leads the user
// through the pages and hosts the installation worker on its progress page.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/FolderTree.h"
#include "app/WindowBase.h"
#include "cabinet/EmbeddedCabinet.h"
#include "engine/untThrd.h"
#include "model/ComponentSelection.h"
#include "model/Discovery.h"
#include "model/untData.h"
#include "system/RegistryWin.h"
#include "system/RunFolderWin.h"
#include "wizard/WizardFlow.h"

namespace setup {

class TfrmWork : public TWindowBase, public IInstallHost {
 public:
  TfrmWork();
  ~TfrmWork() override;
  TfrmWork(const TfrmWork&) = delete;
  TfrmWork& operator=(const TfrmWork&) = delete;

  // Creates the window (hidden, owned by Owner when given) and the model. False when the program
  // must end at once; ExitCode then says why.
  bool Create(HWND Owner = nullptr);
  // Shows the wizard; a quiet run shows no window at all and goes on as if it had.
  void Show(bool Quiet);

  int ExitCode;
  std::unique_ptr<TInstallInfo> Info;
  // Called once, when the first page has been painted (or the unattended run begins): what can
  // wait until the user sees the wizard.
  std::function<void()> AfterFirstPage;

  // IInstallHost, on the progress page's controls.
  void SetCaption(const std::string& Text) override;
  void RepaintCaption(const std::string& Text) override;
  void ShowUndoing(const std::string& Text) override { RepaintCaption(Text); }
  void SetProgress(std::int64_t Position, std::int64_t Maximum) override;
  void ProcessMessages() override;
  int ShowMessage(const std::string& Caption, const std::string& Text, unsigned Flags) override;
  bool AskNextDisk(std::string& Folder, const std::string& FileName, bool WrongDisk) override;
  void Log(const std::string& Line) override;

 private:
  static LRESULT CALLBACK PanelProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  static LRESULT CALLBACK ControlProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam, UINT_PTR Id,
                                      DWORD_PTR Data);
  LRESULT WindowMessage(UINT Msg, WPARAM WParam, LPARAM LParam) override;
  // A handler's error: the standard error box, and the wizard stays on its page.
  void HandlerFailed(const char* Text) override;
  bool ControlMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

  // Creation.
  bool FormCreate();
  HWND CreatePanel();
  // The panel of a page, made with its controls the first time it is asked for: the pages
  // the wizard may never reach cost nothing at start-up.
  HWND PagePanel(int Page);
  void CreateFrame();
  void CreateWelcomePage();
  void CreateLicensePage();
  void CreateReadmePage();
  void CreateDirectoryPage();
  void CreateTypePage();
  void CreateComponentsPage();
  void CreateGroupPage();
  void Create1CPage();
  void CreateProgressPage();
  void CreateFinishPage();
  // The pages after the welcome page, made once the first page is on screen or when the user
  // moves on, whichever comes first. Until then the preselected type stands for the type buttons.
  void CreateChoicePages();
  void RunAfterFirstPage();
  void FillComponentTree();
  void Fill1CTree();

  // Pages and navigation.
  void CMShowingChanged();
  // The program cannot go on: the message, then the window closes with Status.
  void NotStarted(const std::string& Text, int Status);
  // The cabinet library written to the run folder and loaded, and the registration program
  // copied, once per run; false when the program cannot go on (and has been closed).
  bool PrepareCabinetLibrary();
  bool ExtractCabinetLibrary(std::string& Folder);
  // A held copy of this program in the run folder, for the child runs that register the
  // product's COM servers; made with the library, before the first page can be left, while
  // the media are surely there.
  void CopyRegistrationProgram();
  void HideAllPages();
  void ShowPanel(HWND Panel);
  void EnterPage();
  void ShowLicensePage();
  void ShowReadmePage();
  void ShowDirectoryPage();
  void ShowComponentsPage();
  void ShowGroupPage();
  void RunInstallation();
  void ShowFinishPage();
  void LeavePage();
  void RunBeforePrograms();
  void btnNextBackClick(HWND Sender);
  // FromButton: the Cancel (Finish) button itself, not Escape or the window being closed.
  void btnCancelClick(bool FromButton);
  TTypeChoice CheckedTypes() const;
  void ShowError(const std::string& Text);
  void LogSelection();
  void Close(int Code);

  // Control handlers.
  void FillProgramGroups();
  void lbx1CForSelectDirectoryClick();
  void stvDirectoryChange();
  bool edtDirectoryKeyPress(wchar_t Key);
  void ToggleComponent(HTREEITEM Node);
  void Toggle1CNode(HTREEITEM Node);
  void SetNodeImage(HWND Tree, HTREEITEM Node, int Image);
  void RefreshChangedNodes();
  void FormPaint(HDC Dc);

  RegistryWin FRegistry;
  TRunFolder FRunFolder;      // the cabinet library and the run-before programs, this run's only
  HandleGuard FProductMutex;  // held while the program runs: a second copy finds it taken
  std::string FRegistrationProgram;  // the copy in the run folder; empty: the program's own file
  std::unique_ptr<TComponentSelection> FSelection;
  std::unique_ptr<TExecutor> FExecutor;
  std::vector<T1CTitle> F1CTitles;
  int FPage = pgNone;
  TTypeChoice FPreselected;
  bool FUnattended = false;  // /AUTO=ON
  const char* FRefusal = nullptr;  // what refuses /TYPE= or /COMPONENTS=, if anything
  std::vector<TGroupInfo*> FChosen;  // /COMPONENTS=: the groups of an unattended custom installation
  bool FChoicePagesMade = false;
  bool FLibraryPrepared = false;
  bool FInstallSucceeded = false;
  bool FAnySkipped = false;  // files kept or skipped by the last run
  // The cabinet carried in the program's own file (a one-file setup); Size 0: none.
  TEmbeddedCabinet FCarried;
  bool FPayloadDamaged = false;  // the last run found it damaged
  std::string FFinishText;   // the finish page's text when the run's changes were undone
  bool FCollapsing = false;
  bool FShown = false;
  bool FRunning = false;
  HBITMAP FLogo = nullptr;
  HFONT FProductFont = nullptr, FLinkFont = nullptr;
  HIMAGELIST FStateImages = nullptr;

  HWND FLastFocus = nullptr;  // the control that had the focus when the window lost activation
  HWND btnBack = nullptr, btnNext = nullptr, btnCancel = nullptr;
  HWND Panels[11] = {};
  HWND lblProductName = nullptr, lblPromptDownloadWebPage = nullptr, lblDownloadWebPage = nullptr;
  HWND memoLicense = nullptr, radioYes = nullptr, radioNo = nullptr;
  HWND memoReadme = nullptr;
  TFolderTree stvDirectory;
  HWND pnl1CForSelectDirectory = nullptr, lbx1CForSelectDirectory = nullptr;
  HWND edtDirectory = nullptr, btnDirDefault = nullptr;
  HWND radioFull = nullptr, radioTypical = nullptr, radioMinimal = nullptr, radioCustom = nullptr;
  HWND treeComps = nullptr;
  HWND edtProgramGroup = nullptr, btnProgramDefault = nullptr, lstProgram = nullptr;
  HWND tree1S = nullptr;
  HWND lblOperation = nullptr, barProgress = nullptr;
  DWORD FCaptionPainted = 0;  // when the label last showed a file (GetTickCount)
  std::int64_t FPermille = -1;  // what the bar shows
  DWORD FBarPainted = 0;        // when it was last painted (GetTickCount)
  HWND lblDoneMessage = nullptr, Label26 = nullptr, radioReboot = nullptr, radioNoReboot = nullptr;
};

}  // namespace setup
