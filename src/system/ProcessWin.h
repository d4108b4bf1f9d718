#pragma once
// Starting the programs an installation runs.
#include <windows.h>

#include <string>

namespace setup {

// Owns the handle of a started process; closes it when dropped. Callers that only needed the
// program to run simply let it go.
class ProcessHandle {
 public:
  ProcessHandle() = default;
  explicit ProcessHandle(HANDLE Handle) : FHandle(Handle) {}
  ProcessHandle(ProcessHandle&& Other) noexcept : FHandle(Other.FHandle) { Other.FHandle = nullptr; }
  ProcessHandle& operator=(ProcessHandle&& Other) noexcept {
    if (this != &Other) {
      Close();
      FHandle = Other.FHandle;
      Other.FHandle = nullptr;
    }
    return *this;
  }
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;
  ~ProcessHandle() { Close(); }

  HANDLE Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != nullptr; }

 private:
  void Close() {
    if (FHandle) CloseHandle(FHandle);
    FHandle = nullptr;
  }
  HANDLE FHandle = nullptr;
};

// Starts CommandLine + " " + Params (an empty Params leaves the trailing blank) in a new
// console, in the program's own folder when the command begins with an absolute path, and
// waits for it to end when Wait is set. Raises the system's error when it cannot start.
ProcessHandle RunProgram(const std::string& CommandLine, const std::string& Params, bool Wait,
                         int ShowCmd = SW_SHOWDEFAULT);

}  // namespace setup
