#include <windows.h>

#include "system/RunFolderWin.h"
#include "system/SystemWin.h"
#include "system/WideWin.h"
#include "untUnInstall.h"

namespace setup {

namespace {

// The job that holds the uninstaller last started and everything it starts: the program the
// entry names hands the work to a copy of itself and ends, and only the copy's end says that
// the earlier installation is gone (and that the copy no longer deletes anything, such as the
// first program's file, whose name the new installation may be about to use).
HandleGuard& UninstallerJob() {
  static HandleGuard Job;
  return Job;
}

DWORD& LastStatus() {
  static DWORD Status = 0;
  return Status;
}

}  // namespace

std::string TodayText() {
  SYSTEMTIME Now;
  GetLocalTime(&Now);
  return DateText(Now.wYear, Now.wMonth, Now.wDay);
}

bool RunUninstallerSilent(const std::string& CommandLine) {
  std::wstring Command = ToWide(CommandLine + " /silence");
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  Startup.dwFlags = STARTF_USESHOWWINDOW;
  Startup.wShowWindow = SW_SHOWDEFAULT;
  PROCESS_INFORMATION Process{};
  HandleGuard Job(CreateJobObjectW(nullptr, nullptr));
  // Started held, so that it is in the job before it can start anything. Out of a job this
  // program may be in, where that job lets it: Windows 7 puts a process into one job only.
  const DWORD Flags = NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED;
  if (!CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, Flags | CREATE_BREAKAWAY_FROM_JOB, nullptr,
                      nullptr, &Startup, &Process) &&
      !CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, Flags, nullptr, nullptr, &Startup, &Process))
    return false;
  HandleGuard ProcessHandle(Process.hProcess), ThreadHandle(Process.hThread);
  // Without a job, only the program started is waited for.
  if (Job && !AssignProcessToJobObject(Job.Get(), Process.hProcess)) Job.Reset();
  UninstallerJob() = std::move(Job);
  ResumeThread(Process.hThread);
  if (WaitForSingleObject(Process.hProcess, INFINITE) == WAIT_FAILED) return false;
  GetExitCodeProcess(Process.hProcess, &LastStatus());
  return true;
}

std::uint32_t LastUninstallerStatus() { return LastStatus(); }

bool WaitForStartedUninstaller(const std::string&) {
  HandleGuard& Job = UninstallerJob();
  // A minute at most: an uninstaller still at work then is reported, so that the caller can
  // ask or stop rather than install into a folder the old uninstaller may still be emptying.
  for (int Attempt = 0; Job && Attempt < 600; ++Attempt) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION Accounting{};
    if (QueryInformationJobObject(Job.Get(), JobObjectBasicAccountingInformation, &Accounting, sizeof Accounting,
                                  nullptr) &&
        Accounting.ActiveProcesses > 0) {
      Sleep(100);
      continue;
    }
    Job.Reset();
  }
  if (Job) return false;
  // The copy's folder, empty now, is not left for a later run.
  RemoveAbandonedRunFolders(GetTempDir());
  return true;
}

}  // namespace setup
