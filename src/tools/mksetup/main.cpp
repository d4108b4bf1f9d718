// mksetup: one command from an installation script and a product's files to a finished setup:
// DISK1\setup.exe and the cabinet set. See Packager.h.
#include <filesystem>
#include <iostream>

#include "Packager.h"
#include "ToolArguments.h"
#ifdef _WIN32
#include "system/SystemWin.h"
#endif

namespace {

// The folder of this program, where the stub and the uninstaller are shipped.
std::string ProgramDir(const char* Argv0) {
  std::filesystem::path Self;
#ifdef _WIN32
  (void)Argv0;
  const std::string Path = setup::ProgramPath();
  Self = std::filesystem::path(std::u8string(Path.begin(), Path.end()));
#else
  std::error_code Error;
  Self = std::filesystem::read_symlink("/proc/self/exe", Error);
  if (Error) Self = std::filesystem::absolute(Argv0);
#endif
  const std::u8string Dir = Self.parent_path().u8string();
  return std::string(Dir.begin(), Dir.end());
}

}  // namespace

int main(int argc, char** argv) {
  namespace m = setup::mksetup;
  m::PrepareConsole();
  m::TPackOptions Options;
  try {
    Options = m::ParseArguments(setup::ToolArguments(argc, argv));
  } catch (const m::TUsageError& Error) {
    if (Error.Message.empty()) {
      std::cout << m::cUsage;
      return 0;
    }
    std::cerr << "mksetup: " << Error.Message << "\n\n" << m::cUsage;
    return 2;
  }
  try {
    const auto Result = m::Package(Options, ProgramDir(argc > 0 ? argv[0] : "mksetup"), std::cerr);
    m::PrintSummary(Result, std::cout);
    return 0;
  } catch (const std::exception& Error) {
    std::cerr << Error.what() << "\nmksetup: nothing was built\n";
    return 1;
  }
}
