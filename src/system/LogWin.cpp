#include "system/LogWin.h"

#include <windows.h>

#include "system/Text.h"
#include "system/WideWin.h"

namespace setup {
namespace {

HANDLE LogFile = INVALID_HANDLE_VALUE;

}  // namespace

bool OpenLog(const std::string& Path) {
  CloseLog();
  // Others may read the log while the run goes on (a deployment tool following it).
  LogFile = CreateFileW(ToWide(Path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  return LogFile != INVALID_HANDLE_VALUE;
}

void CloseLog() {
  if (LogFile != INVALID_HANDLE_VALUE) CloseHandle(LogFile);
  LogFile = INVALID_HANDLE_VALUE;
}

void LogLine(const std::string& Text) {
  if (LogFile == INVALID_HANDLE_VALUE) return;
  SYSTEMTIME Now;
  GetLocalTime(&Now);
  std::string Line = PaddedNumber(Now.wYear, 4) + '-' + PaddedNumber(Now.wMonth, 2) + '-' + PaddedNumber(Now.wDay, 2) +
                     ' ' + PaddedNumber(Now.wHour, 2) + ':' + PaddedNumber(Now.wMinute, 2) + ':' +
                     PaddedNumber(Now.wSecond, 2) + '.' + PaddedNumber(Now.wMilliseconds, 3) + ' ';
  for (char C : Text) Line += (C == '\r' || C == '\n') ? ' ' : C;
  Line += "\r\n";
  DWORD Written = 0;
  // Written through at once: a run that is killed still leaves what it did.
  WriteFile(LogFile, Line.data(), static_cast<DWORD>(Line.size()), &Written, nullptr);
}

}  // namespace setup
