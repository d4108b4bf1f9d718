// MSZIP extraction with the system's cabinet.dll against ours, same client, same cabinet,
// same run; files are written to a temporary folder. Under Wine:
//   wine-run PREFIX bench_cabinet_win.exe CABINET OUR_CABINET_DLL
#include <windows.h>
#include <fcntl.h>
#include <fdi.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

namespace {

std::string OutputDir;

FNALLOC(Alloc) { return std::malloc(cb ? cb : 1); }
FNFREE(Free) { std::free(pv); }
FNOPEN(Open) { return _open(pszFile, oflag, pmode); }
FNREAD(Read) { return static_cast<UINT>(_read(static_cast<int>(hf), pv, cb)); }
FNWRITE(Write) { return static_cast<UINT>(_write(static_cast<int>(hf), pv, cb)); }
FNCLOSE(Close) { return _close(static_cast<int>(hf)); }
FNSEEK(Seek) { return _lseek(static_cast<int>(hf), dist, seektype); }
FNFDINOTIFY(Notify) {
  if (fdint == fdintCOPY_FILE)
    return _open((OutputDir + pfdin->psz1).c_str(), _O_BINARY | _O_CREAT | _O_TRUNC | _O_WRONLY, _S_IREAD | _S_IWRITE);
  if (fdint == fdintCLOSE_FILE_INFO) {
    _close(static_cast<int>(pfdin->hf));
    return TRUE;
  }
  return 0;
}

double Extract(const char* Dll, const std::string& Folder, const std::string& Name) {
  HMODULE Module = LoadLibraryA(Dll);
  if (!Module) return -1;
  auto Create = reinterpret_cast<decltype(&FDICreate)>(reinterpret_cast<void*>(GetProcAddress(Module, "FDICreate")));
  auto Copy = reinterpret_cast<decltype(&FDICopy)>(reinterpret_cast<void*>(GetProcAddress(Module, "FDICopy")));
  auto Destroy = reinterpret_cast<decltype(&FDIDestroy)>(reinterpret_cast<void*>(GetProcAddress(Module, "FDIDestroy")));
  LARGE_INTEGER Frequency, Start, End;
  QueryPerformanceFrequency(&Frequency);
  QueryPerformanceCounter(&Start);
  ERF Erf{};
  HFDI Context = Create(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &Erf);
  std::string CabName = Name, CabPath = Folder;
  BOOL Ok = Context && Copy(Context, CabName.data(), CabPath.data(), 0, Notify, nullptr, nullptr);
  if (Context) Destroy(Context);
  QueryPerformanceCounter(&End);
  FreeLibrary(Module);
  return Ok ? double(End.QuadPart - Start.QuadPart) / Frequency.QuadPart : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_cabinet_win CABINET OUR_CABINET_DLL\n");
    return 2;
  }
  std::string Cabinet = argv[1];
  size_t Slash = Cabinet.find_last_of("\\/");
  std::string Folder = Cabinet.substr(0, Slash + 1), Name = Cabinet.substr(Slash + 1);
  char Temp[MAX_PATH];
  GetTempPathA(MAX_PATH, Temp);
  OutputDir = std::string(Temp) + "bench_cabinet_out\\";
  CreateDirectoryA(OutputDir.c_str(), nullptr);
  // Our library under a name of its own, so that the loader cannot hand out the system's.
  std::string OurCopy = std::string(Temp) + "bench-ours-cabinet.dll";
  CopyFileA(argv[2], OurCopy.c_str(), FALSE);
  char System[MAX_PATH];
  GetSystemDirectoryA(System, MAX_PATH);
  std::string SystemDll = std::string(System) + "\\cabinet.dll";
  double Best[2] = {1e30, 1e30};
  const char* Dlls[2] = {SystemDll.c_str(), OurCopy.c_str()};
  for (int Round = 0; Round < 3; Round++)
    for (int Which = 0; Which < 2; Which++) {
      double Seconds = Extract(Dlls[Which], Folder, Name);
      if (Seconds < 0) {
        std::fprintf(stderr, "extraction with %s failed\n", Dlls[Which]);
        return 1;
      }
      if (Seconds < Best[Which]) Best[Which] = Seconds;
    }
  std::printf("system cabinet.dll best of 3: %.3f s\nour Cabinet.dll    best of 3: %.3f s\nratio: %.2fx\n", Best[0],
              Best[1], Best[0] / Best[1]);
  DeleteFileA(OurCopy.c_str());
  return 0;
}
