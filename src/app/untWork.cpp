#include "app/untWork.h"

#include <commctrl.h>

#include "app/AppWin.h"
#include "app/untQuest.h"
#include "cabinet/CabinetWin.h"
#include "model/StartupWin.h"
#include "system/CommandLine.h"
#include "system/Errors.h"
#include "system/ResourceWin.h"
#include "system/SystemWin.h"
#include "system/Text.h"
#include "system/WideWin.h"

namespace setup {
namespace {

const wchar_t* const cClassName = L"TfrmWork";
constexpr UINT cmFirstShow = WM_APP + 1;
constexpr int idBtnBack = 201, idBtnNext = 202, idBtnCancel = 203;
constexpr int cClientWidth = 632, cClientHeight = 372;
// Every page occupies the same panel area.
constexpr int cPageLeft = 186, cPageTop = 52, cPageWidth = 449, cPageHeight = 269;

const wchar_t* const cWelcomeHeading = L"Эта программа произведет установку на Ваш компьютер программного продукта:";
const wchar_t* const cWelcomeText =
    L"Рекомендуем закрыть все работающие приложения во избежание конфликтов с ними.\r\n\r\n"
    L"В любой момент Вы можете прервать установку продукта нажатием клавиши Отмена.\r\n\r\n"
    L"Дополнительную информацию о продукте Вы получите в процессе подготовки к установке. Также "
    L"программа запросит у Вас ряд параметров, необходимых для установки продукта.";
const char* const cSucceededText =
    "Установка успешно завершена. Для выхода из программы установки нажмите кнопку \"Завершить\"";
const char* const cIncompleteText =
    "Установка не была завершена полностью. Нажмите кнопку \"Завершить\" для прекращения работы программы "
    "установки.";

// Message texts carry single carriage returns as line breaks; the system boxes want CR LF.
std::wstring BoxText(const std::string& Text) {
  std::wstring Wide;
  for (wchar_t C : ToWide(Text)) {
    Wide += C;
    if (C == L'\r') Wide += L'\n';
  }
  return Wide;
}

}  // namespace

TfrmWork::TfrmWork() : ExitCode(exitNotStarted) {}

TfrmWork::~TfrmWork() {
  if (Handle) DestroyWindow(Handle);
}

bool TfrmWork::Create() {
  HINSTANCE Instance = GetModuleHandleW(nullptr);
  RegisterWindowClass(cClassName, WindowProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                      LoadIconW(nullptr, IDI_APPLICATION));
  // A fixed dialog frame without border icons: the wizard is left through its buttons.
  const DWORD Style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
  RECT Frame = {0, 0, cClientWidth, cClientHeight};
  AdjustWindowRectEx(&Frame, Style, FALSE, WS_EX_DLGMODALFRAME);
  const int Width = Frame.right - Frame.left, Height = Frame.bottom - Frame.top;
  Handle = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, cClassName, WideText(Msg::ApplicationTitle).c_str(), Style,
                           (GetSystemMetrics(SM_CXSCREEN) - Width) / 2, (GetSystemMetrics(SM_CYSCREEN) - Height) / 2,
                           Width, Height, nullptr, nullptr, Instance, this);
  if (!Handle) return false;
  if (!FormCreate()) {
    DestroyWindow(Handle);
    return false;
  }
  return true;
}

bool TfrmWork::FormCreate() {
  Info = std::make_unique<TInstallInfo>(&FRegistry);
  try {
    InitEnvironment(*Info, FRegistry, ProgramArguments());
  } catch (const EAbort&) {
    // No script in the program: nothing to install and nothing to say.
    return false;
  } catch (const std::exception& Error) {
    // A partly read script would install a partial product: report it and end.
    MessageBoxW(Handle, BoxText(Error.what()).c_str(), WideText(Msg::ApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
    return false;
  }
  CreateControls();
  PreselectInstallType();
  return true;
}

void TfrmWork::CreateControls() {
  HFONT Font = DialogFont();
  const int L = cPageLeft + 8, W = cPageWidth - 16;
  btnBack = CreateChild(Handle, L"BUTTON", L"<< Назад", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, 368, 338, 80, 25,
                        idBtnBack, Font);
  btnNext = CreateChild(Handle, L"BUTTON", L"Далее >>", WS_TABSTOP | BS_DEFPUSHBUTTON, 452, 338, 80, 25, idBtnNext, Font);
  btnCancel = CreateChild(Handle, L"BUTTON", L"Отмена", WS_TABSTOP | BS_PUSHBUTTON, 544, 338, 80, 25, idBtnCancel, Font);
  CreateChild(Handle, L"STATIC", L"", SS_ETCHEDHORZ, 186, 328, 440, 2, 0, Font);

  Panel1.push_back(CreateChild(Handle, L"STATIC", cWelcomeHeading, SS_LEFT, L, cPageTop + 8, W, 32, 0, Font));
  Panel1.push_back(
      CreateChild(Handle, L"STATIC", ToWide(Info->Description), SS_LEFT | SS_NOPREFIX, L, cPageTop + 44, W, 32, 0, Font));
  Panel1.push_back(CreateChild(Handle, L"STATIC", cWelcomeText, SS_LEFT, L, cPageTop + 84, W, 150, 0, Font));

  Panel9.push_back(CreateChild(Handle, L"STATIC",
                               L"Производится установка программного продукта. После распаковки файлов мастер "
                               L"установки может, если это предусмотрено, запустить внешние файлы на выполнение и "
                               L"сделать запрос на перезагрузку компьютера.",
                               SS_LEFT, L, cPageTop + 8, W, 60, 0, Font));
  Panel9.push_back(CreateChild(Handle, L"STATIC", L"Выполняемая операция:", SS_LEFT, L, cPageTop + 84, W, 16, 0, Font));
  lblOperation = CreateChild(Handle, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, L, cPageTop + 102, W, 32, 0, Font);
  Panel9.push_back(lblOperation);
  Panel9.push_back(
      CreateChild(Handle, L"STATIC", L"Показатель хода установки:", SS_LEFT, L, cPageTop + 146, W, 16, 0, Font));
  barProgress = CreateChild(Handle, PROGRESS_CLASSW, L"", PBS_SMOOTH, L, cPageTop + 166, W, 18, 0, nullptr);
  SendMessageW(barProgress, PBM_SETRANGE32, 0, 1000);
  Panel9.push_back(barProgress);
  Panel9.push_back(CreateChild(Handle, L"STATIC",
                               L"Вы можете прервать процедуру установки нажатием кнопки \"Отмена\".", SS_LEFT, L,
                               cPageTop + 206, W, 32, 0, Font));
  lblFinish = CreateChild(Handle, L"STATIC", L"", SS_LEFT, L, cPageTop + 8, W, 60, 0, Font);
  Panel10.push_back(lblFinish);
  HideAllPages();
}

void TfrmWork::PreselectInstallType() {
  const std::string Type = UpperAscii(GetSwitchValue(ProgramArguments(), "/TYPE=", ""));
  const int Enabled = Info->FullInstall + Info->TypicalInstall + Info->MinimalInstall + Info->CustomInstall;
  if (Type.empty() && Enabled == 1) {
    FRadioFull = Info->FullInstall;
    FRadioTypical = Info->TypicalInstall;
    FRadioMinimal = Info->MinimalInstall;
    FRadioCustom = Info->CustomInstall;
  } else {
    FRadioFull = Type.empty() || Type == "FULL";
    FRadioMinimal = Type == "MINIMAL";
    FRadioTypical = Type == "TYPICAL";
    FRadioCustom = false;
  }
}

void TfrmWork::Show() {
  ShowWindow(Handle, SW_SHOW);
  SetForegroundWindow(Handle);
}

void TfrmWork::HideAllPages() {
  for (const auto* Page : {&Panel1, &Panel9, &Panel10})
    for (HWND Control : *Page) ShowWindow(Control, SW_HIDE);
}

void TfrmWork::ShowPage(const std::vector<HWND>& Page) {
  HideAllPages();
  for (HWND Control : Page) ShowWindow(Control, SW_SHOW);
}

bool TfrmWork::ExtractCabinetLibrary(std::string& Folder) {
  Folder = GetTempDir();
  SaveResourceToFile("CABINET", Folder + "CABINET.DLL");
  return true;
}

void TfrmWork::CMShowingChanged() {
  try {
    std::string Folder;
    ExtractCabinetLibrary(Folder);
    LoadCabinetLibrary(Folder);
  } catch (const std::exception&) {
    // Another running copy holds the library loaded, so its file cannot be written anew.
    MessageBoxW(Handle, WideText(Msg::AlreadyRunning).c_str(), WideText(Msg::ApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
    Close(exitNotStarted);
    return;
  }
  if (UpperAscii(GetSwitchValue(ProgramArguments(), "/AUTO=", "OFF")) == "ON") {
    Info->ApplyInstallType(FRadioFull, FRadioTypical, FRadioMinimal, FRadioCustom);
    RunInstallation();
    Close(FInstallSucceeded ? exitSucceeded : exitFailed);
    return;
  }
  ShowPage(Panel1);
  SetFocus(btnNext);
}

void TfrmWork::RunInstallation() {
  ShowPage(Panel9);
  EnableWindow(btnNext, FALSE);
  EnableWindow(btnBack, FALSE);
  RedrawWindow(Handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  try {
    FExecutor = std::make_unique<TExecutor>(*Info, *this, FRegistry, CabinetLibrary);
    FExecutor->Execute();
  } catch (...) {
    // The worker reports its own errors; whatever escapes only means the run is incomplete.
  }
  FInstallSucceeded = FExecutor && FExecutor->Succeeded;
  FExecutor.reset();
}

void TfrmWork::ShowFinishPage() {
  FFinished = true;
  SetWindowTextW(lblFinish, ToWide(FInstallSucceeded ? cSucceededText : cIncompleteText).c_str());
  ShowPage(Panel10);
  EnableWindow(btnNext, FALSE);
  EnableWindow(btnBack, FALSE);
  SetWindowTextW(btnCancel, L"Завершить");
  SetFocus(btnCancel);
}

void TfrmWork::btnNextClick() {
  if (FExecutor || FFinished) return;
  RunInstallation();
  ShowFinishPage();
}

void TfrmWork::btnCancelClick() {
  if (FFinished) {
    Close(FInstallSucceeded ? exitSucceeded : exitFailed);
    return;
  }
  const int Answer = MessageBoxW(Handle, BoxText(Msg::GiveUpQuestion).c_str(), WideText(Msg::ExitCaption).c_str(),
                                 MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
  if (Answer != IDYES) return;
  // During a run (attended or not) Cancel stops the worker; the window closes once it returns.
  if (FExecutor)
    FExecutor->Cancelled = true;
  else
    Close(exitFailed);
}

void TfrmWork::Close(int Code) {
  ExitCode = Code;
  DestroyWindow(Handle);
}

void TfrmWork::FormPaint(HDC Dc) {
  RECT Client;
  GetClientRect(Handle, &Client);
  const int CW = Client.right, CH = Client.bottom;
  HBRUSH White = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  RECT Strip = {0, 0, 170, CH};
  FillRect(Dc, &Strip, White);
  Strip = {0, 0, CW, 30};
  FillRect(Dc, &Strip, White);
  HGDIOBJ OldPen = SelectObject(Dc, GetStockObject(BLACK_PEN));
  const POINT Lines[][2] = {{{0, 3}, {CW, 3}}, {{0, 6}, {CW, 6}}, {{0, 364}, {170, 364}}, {{0, 367}, {170, 367}}};
  for (const auto& Line : Lines) {
    MoveToEx(Dc, Line[0].x, Line[0].y, nullptr);
    LineTo(Dc, Line[1].x, Line[1].y);
  }
  HBRUSH Grey = CreateSolidBrush(RGB(128, 128, 128));
  HPEN GreyPen = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
  RECT Bar = {162, 20, 182, CH};
  FillRect(Dc, &Bar, Grey);
  Bar = {162, 20, CW - 25, 40};
  FillRect(Dc, &Bar, Grey);
  SelectObject(Dc, GreyPen);
  HGDIOBJ OldBrush = SelectObject(Dc, Grey);
  const POINT Arrow[] = {{CW - 5, 30}, {CW - 25, 10}, {CW - 25, 50}};
  Polygon(Dc, Arrow, 3);
  SelectObject(Dc, OldBrush);
  SelectObject(Dc, OldPen);
  DeleteObject(GreyPen);
  DeleteObject(Grey);
}

LRESULT CALLBACK TfrmWork::WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  auto* Form = reinterpret_cast<TfrmWork*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  if (!Form || !Form->Handle) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  return Form->Handle_(Msg, WParam, LParam);
}

LRESULT TfrmWork::Handle_(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_SHOWWINDOW:
      // The first show acts once the window is really on screen.
      if (WParam && !FShown) {
        FShown = true;
        PostMessageW(Handle, cmFirstShow, 0, 0);
      }
      break;
    case cmFirstShow:
      CMShowingChanged();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT Paint;
      HDC Dc = BeginPaint(Handle, &Paint);
      FormPaint(Dc);
      EndPaint(Handle, &Paint);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(WParam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_COMMAND:
      switch (LOWORD(WParam)) {
        case idBtnNext:
          btnNextClick();
          return 0;
        case idBtnCancel:
        case IDCANCEL:
          btnCancelClick();
          return 0;
      }
      break;
    case WM_CLOSE:
      btnCancelClick();
      return 0;
    case WM_DESTROY:
      FreeCabinetLibrary();
      Info.reset();
      Handle = nullptr;
      PostQuitMessage(ExitCode);
      return 0;
  }
  return DefWindowProcW(Handle, Msg, WParam, LParam);
}

void TfrmWork::SetCaption(const std::string& Text) { SetWindowTextW(lblOperation, ToWide(Text).c_str()); }

void TfrmWork::RepaintCaption(const std::string& Text) {
  SetWindowTextW(lblOperation, ToWide(Text).c_str());
  UpdateWindow(lblOperation);
}

void TfrmWork::SetProgress(std::int64_t Position, std::int64_t Maximum) {
  // The bar's own range is 32-bit; sizes of a large product are not.
  const std::int64_t Permille = Maximum > 0 ? Position * 1000 / Maximum : 0;
  SendMessageW(barProgress, PBM_SETPOS, static_cast<WPARAM>(Permille), 0);
}

void TfrmWork::ProcessMessages() {
  MSG Message;
  while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
    if (Message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(Message.wParam));
      return;
    }
    if (!Handle || !IsDialogMessageW(Handle, &Message)) {
      TranslateMessage(&Message);
      DispatchMessageW(&Message);
    }
  }
}

int TfrmWork::ShowMessage(const std::string& Caption, const std::string& Text, unsigned Flags) {
  return MessageBoxW(Handle, BoxText(Text).c_str(), ToWide(Caption).c_str(), Flags);
}

bool TfrmWork::AskNextDisk(std::string& Folder, const std::string& FileName) {
  return setup::AskNextDisk(Handle, Folder, FileName);
}

}  // namespace setup
