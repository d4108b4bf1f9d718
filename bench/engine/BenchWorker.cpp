// Unattended installation of a generated product: N files, about SIZE megabytes, in an MSZIP
// set. Prints the installation time, the time per file and the peak memory of the process.
//   bench_worker FOLDER FILES MEGABYTES
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <sstream>

#include "cabinet/writer/CabinetWriter.h"
#include "engine/untThrd.h"
#include "system/Encoding.h"
#include "system/Files.h"
#include "system/Paths.h"
#include "system/RegistryWin.h"
#include "system/SystemWin.h"
#include "system/WideWin.h"

using namespace setup;

namespace {

struct QuietHost : IInstallHost {
  void SetCaption(const std::string&) override {}
  void RepaintCaption(const std::string&) override {}
  void SetProgress(std::int64_t, std::int64_t) override {}
  void ProcessMessages() override {}
  int ShowMessage(const std::string&, const std::string& Text, unsigned) override {
    std::fprintf(stderr, "message: %s\n", Text.c_str());
    return idNo;
  }
  bool AskNextDisk(std::string&, const std::string&, bool) override { return false; }
};

// Mixed content: a third text-like, a third structured, a third incompressible.
std::string Content(int Seed, std::size_t Size) {
  std::string Data(Size, '\0');
  std::uint32_t X = 0x9E3779B9u * static_cast<std::uint32_t>(Seed + 1);
  for (std::size_t I = 0; I < Size; ++I) {
    X = X * 1664525u + 1013904223u;
    switch (Seed % 3) {
      case 0: Data[I] = "etaoin shrdlu\n"[(X >> 28) % 14]; break;
      case 1: Data[I] = static_cast<char>(I % 16 < 4 ? (I / 16) & 0xFF : (X >> 30)); break;
      default: Data[I] = static_cast<char>(X >> 24);
    }
  }
  return Data;
}

double Seconds(LARGE_INTEGER From, LARGE_INTEGER To) {
  LARGE_INTEGER Frequency;
  QueryPerformanceFrequency(&Frequency);
  return double(To.QuadPart - From.QuadPart) / double(Frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_worker FOLDER FILES MEGABYTES\n");
    return 2;
  }
  const std::string Folder = WithBackslash(argv[1]);
  const int Files = std::atoi(argv[2]);
  const std::size_t Total = std::size_t(std::atoi(argv[3])) << 20;
  MakeDirs(Folder + "Media");

  // A hundred files to a folder: Wine looks names up by scanning the folder, which would
  // otherwise dominate with thousands of files in one place.
  constexpr int PerFolder = 100;
  std::string Script = "DESCRIPTION = Bench\r\nDIRECTORY = \\Bench\r\nGROUP = 1 0 0 1 1 4\r\n";
  for (int D = 0; D * PerFolder < Files; ++D)
    Script += "DIR = " + std::to_string(1000000 + D) + " 1 0 0 0 0\r\nDIRPATH = \\files\\d" + std::to_string(D) + "\r\n";
  {
    TCabinetWriterOptions Options;
    Options.OutputPattern = Folder + "Media\\setup%d.cab";
    Options.MaxCabinetSize = 64u << 20;
    TCabinetWriter Writer(Options);
    for (int I = 0; I < Files; ++I) {
      // Sizes vary around the mean; a few files are large.
      std::size_t Size = Total / Files;
      Size = I % 50 == 0 ? Size * 8 : Size * (I % 7 + 1) / 5;
      const std::string Bytes = Content(I, Size);
      const int Number = 10 + I;
      std::istringstream Source(Bytes);
      TCabinetEntry Entry;
      Entry.Name = std::to_string(Number);
      Writer.AddFile(Entry, Source, Bytes.size());
      Script += "FILE = " + std::to_string(Number) + " 1 0 0 0 0 0 0 0 " + std::to_string(Size) +
                " 0 0  0 0 0 0\r\nFILEPATH = \\files\\d" + std::to_string(I / PerFolder) + "\\f" +
                std::to_string(Number) + ".bin\r\n";
    }
    const auto Cabinets = Writer.Finish();
    std::printf("cabinets: %zu\n", Cabinets.size());
  }

  TInstallInfo Info;
  Info.Environment.ProgramFilesDir = Folder + "PF\\";
  Info.Environment.ProgramsDir = Folder + "Programs\\";
  Info.Environment.BdeDir = Folder + "BDE\\";
  Info.Environment.SetupDir = Folder + "Media\\";
  Info.LoadScript(Utf8ToCp1251(Script));
  Info.Validate();
  Info.ApplyStartupDefaults({});
  RegistryWin Registry;
  QuietHost Host;
  const TCabinetLibraryFunctions Library = LinkedCabinetLibrary();

  LARGE_INTEGER Start, End;
  QueryPerformanceCounter(&Start);
  TExecutor Executor(Info, Host, Registry, Library);
  Executor.Arguments = {"/AUTO=ON"};
  // The journal on disk, as setup.exe keeps it in its run folder.
  const std::string JournalPath = Folder + "JOURNAL";
  const HANDLE Journal = CreateFileW(ToWidePath(JournalPath).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                     nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (Journal != INVALID_HANDLE_VALUE) Executor.KeepJournal(JournalFileStore(Journal, JournalPath));
  Executor.Execute();
  QueryPerformanceCounter(&End);
  if (Journal != INVALID_HANDLE_VALUE) CloseHandle(Journal);

  PROCESS_MEMORY_COUNTERS Memory{};
  GetProcessMemoryInfo(GetCurrentProcess(), &Memory, sizeof Memory);
  const double Elapsed = Seconds(Start, End);
  std::printf("installed %d files, %zu MB: %s in %.2f s (%.1f us per file, %.1f MB/s)\n", Files, Total >> 20,
              Executor.Succeeded ? "succeeded" : "FAILED", Elapsed, Elapsed * 1e6 / Files, (Total >> 20) / Elapsed);
  std::printf("peak working set: %.1f MB\n", Memory.PeakWorkingSetSize / 1048576.0);
  return Executor.Succeeded ? 0 : 1;
}
