// e2e_gate FILE [TIMEOUT_MS]: waits until FILE exists (status 0) or the time is up (status 1).
// A window program without a window: a command that a setup script runs with it holds the
// installation at that point, until the test opens the gate, and puts nothing on the screen
// (a console program would get a console window of its own).
#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int Count = 0;
  wchar_t** Argv = CommandLineToArgvW(GetCommandLineW(), &Count);
  if (Count < 2) return 2;
  const DWORD Timeout = Count > 2 ? static_cast<DWORD>(std::stoul(Argv[2])) : 60000;
  const DWORD Start = GetTickCount();
  while (GetFileAttributesW(Argv[1]) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - Start > Timeout) return 1;
    Sleep(20);
  }
  return 0;
}
