// Extraction through our library against cabextract, on ~120 MB of mixed data (text,
// structured binary, incompressible): MSZIP in one gcab cabinet, or LZX:21 in one cabinet of
// our writer (whose size is then set against the MSZIP one). Both write real files.
//   bench_cabinet [WORKDIR] [MEGABYTES] [mszip|lzx]   (BENCH_KEEP=1 keeps WORKDIR)
//   bench_cabinet --extract CABINET OUTDIR   (the measured child)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cabinet/Fdi.h"
#include "cabinet/writer/CabinetWriter.h"

namespace fs = std::filesystem;

namespace {

std::string OutputDir;

FNALLOC(Alloc) { return std::malloc(cb ? cb : 1); }
FNFREE(Free) { std::free(pv); }
FNOPEN(Open) {
  (void)oflag;
  (void)pmode;
  return ::open(pszFile, O_RDONLY);
}
FNREAD(Read) { return static_cast<UINT>(::read(static_cast<int>(hf), pv, cb)); }
FNWRITE(Write) { return static_cast<UINT>(::write(static_cast<int>(hf), pv, cb)); }
FNCLOSE(Close) { return ::close(static_cast<int>(hf)); }
FNSEEK(Seek) { return static_cast<long>(::lseek(static_cast<int>(hf), dist, seektype)); }
FNFDINOTIFY(Notify) {
  if (fdint == fdintCOPY_FILE) return ::open((OutputDir + pfdin->psz1).c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  if (fdint == fdintCLOSE_FILE_INFO) {
    ::close(static_cast<int>(pfdin->hf));
    return 1;
  }
  return 0;
}

int ExtractWithOurs(const std::string& Cabinet, const std::string& Out) {
  OutputDir = Out + "/";
  ERF Erf{};
  HFDI Context = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &Erf);
  fs::path Path(Cabinet);
  std::string Name = Path.filename().string(), Folder = Path.parent_path().string() + "/";
  BOOL Ok = Context && FDICopy(Context, Name.data(), Folder.data(), 0, Notify, nullptr, nullptr);
  if (Context) FDIDestroy(Context);
  if (!Ok) std::fprintf(stderr, "extraction failed: error %d\n", Erf.erfOper);
  return Ok ? 0 : 1;
}

struct TMeasure {
  double Seconds = 0;
  long PeakKilobytes = 0;
  bool Ok = false;
};

TMeasure RunChild(const std::vector<std::string>& Arguments) {
  std::vector<char*> Argv;
  for (const std::string& A : Arguments) Argv.push_back(const_cast<char*>(A.c_str()));
  Argv.push_back(nullptr);
  auto Start = std::chrono::steady_clock::now();
  pid_t Child = fork();
  if (Child == 0) {
    int Null = ::open("/dev/null", O_WRONLY);
    dup2(Null, 1);
    execvp(Argv[0], Argv.data());
    _exit(127);
  }
  int Status = 0;
  struct rusage Usage {};
  wait4(Child, &Status, 0, &Usage);
  TMeasure M;
  M.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  M.PeakKilobytes = Usage.ru_maxrss;
  M.Ok = WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
  return M;
}

void WriteData(const fs::path& Path, int Kind, size_t Size, uint32_t Seed) {
  std::string Data;
  Data.reserve(Size + 128);
  uint32_t X = Seed * 2654435761u + 1;
  auto Next = [&] { return X = X * 1664525u + 1013904223u; };
  static const char* Words[] = {"setup", "product", "install", "folder", "cabinet", "version", "registry",
                                "component", "group", "file", "shortcut", "program", "the", "of", "and"};
  while (Data.size() < Size) {
    if (Kind == 0) {
      for (int I = 0; I < 12; I++) {
        Data += Words[Next() % 15];
        Data += ' ';
      }
      Data += std::to_string(Next() % 10000) + "\n";
    } else if (Kind == 1) {
      uint32_t Record[8] = {static_cast<uint32_t>(Data.size()), Next() % 64, 0x00010000, Next() & 0xFFFF, 0, 1,
                            Next() % 1000, 0xFFFFFFFF};
      Data.append(reinterpret_cast<const char*>(Record), sizeof Record);
    } else {
      uint32_t Value = Next() ^ (Next() >> 7);
      Data.append(reinterpret_cast<const char*>(&Value), sizeof Value);
    }
  }
  Data.resize(Size);
  FILE* F = std::fopen(Path.c_str(), "wb");
  std::fwrite(Data.data(), 1, Data.size(), F);
  std::fclose(F);
}

bool SameTrees(const fs::path& A, const fs::path& B) {
  for (const auto& Entry : fs::directory_iterator(A)) {
    fs::path Other = B / Entry.path().filename();
    if (!fs::exists(Other) || fs::file_size(Other) != fs::file_size(Entry.path())) return false;
    if (std::system(("cmp -s '" + Entry.path().string() + "' '" + Other.string() + "'").c_str()) != 0) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--extract") == 0) return ExtractWithOurs(argv[2], argv[3]);
  fs::path Work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "bench_cabinet";
  size_t Megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 120;
  bool Lzx = argc > 3 && std::strcmp(argv[3], "lzx") == 0;
  fs::remove_all(Work);
  fs::create_directories(Work / "src");
  // A third each of text, structured binary and incompressible data, in files of 4 MB.
  size_t FileSize = 4u << 20, Files = Megabytes / 4;
  std::string List;
  for (size_t I = 0; I < Files; I++) {
    std::string Name = "file" + std::to_string(I) + (I % 3 == 0 ? ".txt" : I % 3 == 1 ? ".dat" : ".bin");
    WriteData(Work / "src" / Name, static_cast<int>(I % 3), FileSize, static_cast<uint32_t>(I + 1));
    List += " " + Name;
  }
  fs::path Cabinet = Work / "bench.cab";
  if (std::system(("cd '" + (Work / "src").string() + "' && gcab -c -z '" + Cabinet.string() + "'" + List).c_str()) != 0) {
    std::fprintf(stderr, "gcab failed\n");
    return 1;
  }
  std::printf("data: %zu MB in %zu files, cabinet %.1f MB (MSZIP, gcab)\n", Files * 4, Files,
              fs::file_size(Cabinet) / 1048576.0);
  if (Lzx) {
    fs::path Mszip = Cabinet;
    Cabinet = Work / "bench-lzx.cab";
    auto Start = std::chrono::steady_clock::now();
    setup::TCabinetWriterOptions Options;
    Options.OutputPattern = Cabinet.string();
    Options.Compression = setup::ccLzx;
    Options.LzxWindowBits = 21;
    setup::TCabinetWriter Writer(Options);
    for (size_t I = 0; I < Files; I++) {
      std::string Name = "file" + std::to_string(I) + (I % 3 == 0 ? ".txt" : I % 3 == 1 ? ".dat" : ".bin");
      setup::TCabinetEntry Entry;
      Entry.Name = Name;
      Writer.AddFileFromPath(Entry, (Work / "src" / Name).string());
    }
    Writer.Finish();
    double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    std::printf("LZX:21 cabinet of our writer %.1f MB in %.1f s (%.1f MB/s); size against MSZIP: %.3f\n",
                fs::file_size(Cabinet) / 1048576.0, Seconds, Files * 4 / Seconds,
                double(fs::file_size(Cabinet)) / double(fs::file_size(Mszip)));
  }
  TMeasure Best[2];
  const char* Names[2] = {"ours", "cabextract"};
  for (int Round = 0; Round < 3; Round++) {
    for (int Which = 0; Which < 2; Which++) {
      fs::path Out = Work / Names[Which];
      fs::remove_all(Out);
      fs::create_directories(Out);
      TMeasure M = Which == 0 ? RunChild({argv[0], "--extract", Cabinet.string(), Out.string()})
                              : RunChild({"cabextract", "-q", "-d", Out.string(), Cabinet.string()});
      if (!M.Ok) {
        std::fprintf(stderr, "%s failed\n", Names[Which]);
        return 1;
      }
      if (Round == 0 || M.Seconds < Best[Which].Seconds) Best[Which] = M;
    }
  }
  bool Same = SameTrees(Work / "cabextract", Work / "ours");
  for (int Which = 0; Which < 2; Which++)
    std::printf("%-10s best of 3: %6.3f s  %7.1f MB/s  peak RSS %ld KB\n", Names[Which], Best[Which].Seconds,
                Files * 4 / Best[Which].Seconds, Best[Which].PeakKilobytes);
  std::printf("ratio ours/cabextract throughput: %.2fx  (outputs %s)\n", Best[1].Seconds / Best[0].Seconds,
              Same ? "identical" : "DIFFER");
  // BENCH_KEEP=1 keeps the cabinets, for the comparison under Wine (bench_cabinet_win.exe).
  if (!std::getenv("BENCH_KEEP")) fs::remove_all(Work);
  return Same ? 0 : 1;
}
