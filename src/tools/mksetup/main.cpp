// mksetup: one command from an installation script and a product's files to a finished setup:
// DISK1\setup.exe and the cabinet set. See Packager.h.
#include <filesystem>
#include <iostream>

#include "Packager.h"
#include "ToolArguments.h"
#include "Winget.h"
#include "system/Files.h"
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
  m::TWingetOptions Winget;
  try {
    std::vector<std::string> Args = setup::ToolArguments(argc, argv);
    Winget = m::TakeWingetArguments(Args);
    Options = m::ParseArguments(Args);
  } catch (const m::TUsageError& Error) {
    if (Error.Message.empty()) {
      std::cout << m::cUsage << m::cWingetUsage;
      return 0;
    }
    std::cerr << "mksetup: " << Error.Message << "\n\n" << m::cUsage << m::cWingetUsage;
    return 2;
  }
  m::TPackResult Result;
  m::TWingetManifest Manifest;
  try {
    // What the manifests need from the script is checked before anything is built.
    if (!Winget.Dir.empty())
      Manifest = m::ReadWingetManifest(Winget, m::DecodeScript(setup::LoadBytesFromFile(Options.Script), Options.Script).Cp1251);
    Result = m::Package(Options, ProgramDir(argc > 0 ? argv[0] : "mksetup"), std::cerr);
    m::PrintSummary(Result, std::cout);
  } catch (const std::exception& Error) {
    std::cerr << Error.what() << "\nmksetup: nothing was built\n";
    return 1;
  }
  if (Winget.Dir.empty()) return 0;
  try {
    if (Result.Outputs.size() > 1)
      std::cerr << "mksetup --winget: warning: setup.exe needs its cabinets beside it, and winget downloads one file\n";
    for (const std::string& File : m::WriteWingetManifests(Manifest, Winget.Dir, Result.Outputs.front()))
      std::cout << "winget manifest: " << File << "\n";
    return 0;
  } catch (const std::exception& Error) {
    std::cerr << Error.what() << "\nmksetup: the setup was built, its winget manifests were not\n";
    return 1;
  }
}
