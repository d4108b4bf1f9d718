// Cabinet sets from the writer, extracted by the system's cabinet.dll the way the setup
// program walks a set: cabinet by cabinet, following the next-cabinet requests of files that
// continue, and skipping the continued files a cabinet announces as partial.
#include <windows.h>
#include <fcntl.h>
#include <fdi.h>
#include <io.h>
#include <sys/stat.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "shared/CabSetTestSupport.h"
#include "system/Encoding.h"

namespace fs = std::filesystem;
using namespace setup;
using namespace cabtest;

namespace {

using TFdiCreate = HFDI(DIAMONDAPI*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK, int, PERF);
using TFdiCopy = BOOL(DIAMONDAPI*)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*);
using TFdiDestroy = BOOL(DIAMONDAPI*)(HFDI);

FNALLOC(MemAlloc) { return std::malloc(cb); }
FNFREE(MemFree) { std::free(pv); }
FNOPEN(FileOpen) { return _open(pszFile, oflag | _O_BINARY, pmode); }
FNREAD(FileRead) { return UINT(_read(int(hf), pv, cb)); }
FNWRITE(FileWrite) { return UINT(_write(int(hf), pv, cb)); }
FNCLOSE(FileClose) { return _close(int(hf)); }
FNSEEK(FileSeek) { return _lseek(int(hf), dist, seektype); }

std::string AnsiPath(const fs::path& Path) {
  std::string S;
  for (wchar_t C : Path.wstring()) S.push_back(C == L'/' ? '\\' : char(C));  // temp paths are ASCII
  return S;
}

// The folder of the next disk: "...\DISK1" becomes "...\DISK2".
bool NextDiskFolder(fs::path& Folder) {
  std::wstring Last = Folder.filename().wstring();
  if (Last.size() < 5 || _wcsnicmp(Last.c_str(), L"DISK", 4) != 0) return false;
  Folder = Folder.parent_path() / (L"DISK" + std::to_wstring(std::stoi(Last.substr(4)) + 1));
  return true;
}

class TSystemFdi {
 public:
  TSystemFdi() {
    wchar_t System[MAX_PATH];
    GetSystemDirectoryW(System, MAX_PATH);
    FModule = LoadLibraryW((std::wstring(System) + L"\\cabinet.dll").c_str());
    if (!FModule) return;
    Create = reinterpret_cast<TFdiCreate>(reinterpret_cast<void*>(GetProcAddress(FModule, "FDICreate")));
    Copy = reinterpret_cast<TFdiCopy>(reinterpret_cast<void*>(GetProcAddress(FModule, "FDICopy")));
    Destroy = reinterpret_cast<TFdiDestroy>(reinterpret_cast<void*>(GetProcAddress(FModule, "FDIDestroy")));
  }
  ~TSystemFdi() {
    if (FModule) FreeLibrary(FModule);
  }
  TFdiCreate Create = nullptr;
  TFdiCopy Copy = nullptr;
  TFdiDestroy Destroy = nullptr;

 private:
  HMODULE FModule = nullptr;
};

struct TWalk {
  fs::path Folder;   // where the current cabinet lies
  fs::path Output;
  std::string CurrentCabinet, NextCabinet;
  std::map<std::string, int> Copied;  // UTF-8 name -> times written
  std::map<std::string, std::uint16_t> Attributes;
  std::set<std::string> Partial;
  std::vector<int> CabinetIndexes;
  std::set<int> SetIds;
  int FailedRequests = 0;

  bool FindCabinet(const std::string& Name) {
    if (fs::exists(Folder / Name)) return true;
    fs::path Next = Folder;
    if (NextDiskFolder(Next) && fs::exists(Next / Name)) {
      Folder = Next;
      return true;
    }
    return false;
  }
};

FNFDINOTIFY(Notify) {
  TWalk& W = *static_cast<TWalk*>(pfdin->pv);
  switch (fdint) {
    case fdintCABINET_INFO:
      W.NextCabinet = pfdin->psz1;
      W.CabinetIndexes.push_back(pfdin->iCabinet);
      W.SetIds.insert(pfdin->setID);
      return 0;
    case fdintPARTIAL_FILE:
      W.Partial.insert(pfdin->psz1);
      return 0;
    case fdintCOPY_FILE: {
      std::string Name = pfdin->psz1;
      if (!(pfdin->attribs & _A_NAME_IS_UTF)) Name = AnsiToUtf8(Name);
      ++W.Copied[Name];
      W.Attributes[Name] = pfdin->attribs;
      std::string OnDisk = Name;
      for (char& C : OnDisk)
        if (C == '\\') C = '/';
      fs::path Target = W.Output / PathFromUtf8(OnDisk);
      fs::create_directories(Target.parent_path());
      return _wopen(Target.wstring().c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    }
    case fdintCLOSE_FILE_INFO:
      _close(int(pfdin->hf));
      return TRUE;
    case fdintNEXT_CABINET: {
      // A repeated request means the cabinet offered last time was refused.
      if (pfdin->fdie != FDIERROR_NONE || !W.FindCabinet(pfdin->psz1)) {
        ++W.FailedRequests;
        return -1;
      }
      W.CurrentCabinet = pfdin->psz1;
      std::string Path = AnsiPath(W.Folder) + "\\";
      std::strncpy(pfdin->psz3, Path.c_str(), 255);
      pfdin->psz3[255] = '\0';
      return 0;
    }
    default:
      return 0;
  }
}

using test::TTempDir;

// Walks the set from setup1.cab in Folder and checks that every file came out once and whole.
void ExpectWalkExtracts(const fs::path& Folder, const std::vector<TSourceFile>& Files, std::size_t CabinetCount,
                        TWalk& W) {
  TSystemFdi Fdi;
  ASSERT_TRUE(Fdi.Create && Fdi.Copy && Fdi.Destroy) << "system cabinet.dll not usable";
  ERF Error{};
  HFDI Context = Fdi.Create(MemAlloc, MemFree, FileOpen, FileRead, FileWrite, FileClose, FileSeek, cpuUNKNOWN, &Error);
  ASSERT_NE(Context, nullptr);
  W.Folder = Folder;
  W.Output = Folder.parent_path() / (Folder.filename().wstring() + L"_out");
  W.CurrentCabinet = "setup1.cab";
  int Cabinets = 0;
  while (!W.CurrentCabinet.empty() && Cabinets < 100) {
    ++Cabinets;
    ASSERT_TRUE(W.FindCabinet(W.CurrentCabinet)) << W.CurrentCabinet;
    std::string Name = W.CurrentCabinet;
    std::string Path = AnsiPath(W.Folder) + "\\";
    W.CurrentCabinet.clear();
    W.NextCabinet.clear();
    BOOL Done = Fdi.Copy(Context, Name.data(), Path.data(), 0, Notify, nullptr, &W);
    ASSERT_TRUE(Done) << Name << ": FDI error " << Error.erfOper;
    if (W.CurrentCabinet.empty()) W.CurrentCabinet = W.NextCabinet;
  }
  Fdi.Destroy(Context);
  EXPECT_EQ(W.FailedRequests, 0);
  EXPECT_EQ(W.SetIds.size(), 1u);
  // A cabinet reached through a continued file announces itself again when the walk opens it.
  for (std::size_t i = 1; i < W.CabinetIndexes.size(); ++i) EXPECT_GE(W.CabinetIndexes[i], W.CabinetIndexes[i - 1]);
  std::set<int> Seen(W.CabinetIndexes.begin(), W.CabinetIndexes.end());
  EXPECT_EQ(Seen.size(), CabinetCount);
  if (!Seen.empty()) {
    EXPECT_EQ(*Seen.begin(), 0);
    EXPECT_EQ(*Seen.rbegin(), int(CabinetCount) - 1);
  }
  EXPECT_EQ(W.Copied.size(), Files.size());
  for (const auto& File : Files) {
    EXPECT_EQ(W.Copied[File.Name], 1) << File.Name;
    std::string OnDisk = File.Name;
    for (char& C : OnDisk)
      if (C == '\\') C = '/';
    EXPECT_TRUE(test::ReadFile(W.Output / PathFromUtf8(OnDisk)) == File.Data) << "content differs: " << File.Name;
  }
}

class SystemFdiByCompression : public ::testing::TestWithParam<TCabinetCompression> {};

TEST_P(SystemFdiByCompression, SingleCabinetWithUtf8Names) {
  TTempDir Dir;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "set" / "setup%d.cab").string();
  Options.Compression = GetParam();
  auto Files = MixedFiles();
  ASSERT_EQ(WriteCabinets(Options, Files).size(), 1u);
  TWalk W;
  ExpectWalkExtracts(Dir.Path() / "set", Files, 1, W);
  EXPECT_NE(W.Attributes["Документ.txt"] & _A_NAME_IS_UTF, 0);
  EXPECT_EQ(W.Attributes["big.bin"] & _A_NAME_IS_UTF, 0);
}

TEST_P(SystemFdiByCompression, SpannedSetWalksCabinetByCabinet) {
  TTempDir Dir;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "set" / "setup%d.cab").string();
  Options.Compression = GetParam();
  Options.MaxCabinetSize = 60000;
  Options.SetId = 999;
  auto Files = SpanningFiles();
  auto Written = WriteCabinets(Options, Files);
  ASSERT_GE(Written.size(), 4u);
  TWalk W;
  ExpectWalkExtracts(Dir.Path() / "set", Files, Written.size(), W);
  EXPECT_EQ(*W.SetIds.begin(), 999);
  EXPECT_FALSE(W.Partial.empty()) << "no cabinet announced a continued file";
}

TEST_P(SystemFdiByCompression, SetInDiskFoldersIsFollowedAcrossFolders) {
  TTempDir Dir;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "setup%d.cab").string();
  Options.Compression = GetParam();
  Options.MaxCabinetSize = 45000;
  Options.DiskFolders = true;
  auto Files = SpanningFiles();
  auto Written = WriteCabinets(Options, Files);
  ASSERT_GE(Written.size(), 4u);
  TWalk W;
  ExpectWalkExtracts(Dir.Path() / "DISK1", Files, Written.size(), W);
  EXPECT_EQ(W.Folder, Dir.Path() / ("DISK" + std::to_string(Written.size())));
}

INSTANTIATE_TEST_SUITE_P(Compression, SystemFdiByCompression, ::testing::Values(ccNone, ccMszip, ccLzx),
                         [](const auto& Info) {
                           return std::string(Info.param == ccNone ? "None" : Info.param == ccMszip ? "Mszip" : "Lzx");
                         });

// Code-like bytes: calls with 32-bit displacements, which the LZX writer translates.
std::string CallData(std::size_t Size, std::uint32_t Seed) {
  std::string Data;
  std::uint32_t X = Seed;
  while (Data.size() < Size) {
    X = X * 1664525u + 1013904223u;
    std::int32_t Displacement = std::int32_t(X % 400000) - 200000;
    Data += char(0xE8);
    Data.append(reinterpret_cast<const char*>(&Displacement), 4);
    Data += "\x8B\x45\x08";
  }
  Data.resize(Size);
  return Data;
}

// Records of 24 bytes: matches at distances of whole records, written as aligned-offset
// blocks.
std::string RecordData(std::size_t Size, std::uint32_t Seed) {
  std::string Data;
  std::uint32_t X = Seed;
  while (Data.size() < Size) {
    X = X * 1664525u + 1013904223u;
    std::uint32_t Record[6] = {std::uint32_t(Data.size()), X % 300, 0x00010000, X >> 20, 7, 0xFFFFFFFF};
    Data.append(reinterpret_cast<const char*>(Record), sizeof Record);
  }
  Data.resize(Size);
  return Data;
}

class SystemFdiByLzxWindow : public ::testing::TestWithParam<unsigned> {};

// Frame edges, runs, noise, translated calls and aligned offsets, in every window size the
// tests use.
TEST_P(SystemFdiByLzxWindow, EdgeFilesAndCallsExtractIdentically) {
  TTempDir Dir;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "set" / "setup%d.cab").string();
  Options.Compression = ccLzx;
  Options.LzxWindowBits = GetParam();
  std::vector<TSourceFile> Files = {{"empty", ""},
                                    {"one", "x"},
                                    {"frame-1", MakeData(1, 32767, 0)},
                                    {"frame", MakeData(2, 32768, 0)},
                                    {"frame+1", MakeData(3, 32769, 0)},
                                    {"run", std::string(200000, 'z')},
                                    {"noise", MakeData(4, 100000, 2)},
                                    {"calls", CallData(150000, 5)},
                                    {"records", RecordData(120000, 6)}};
  ASSERT_EQ(WriteCabinets(Options, Files).size(), 1u);
  TWalk W;
  ExpectWalkExtracts(Dir.Path() / "set", Files, 1, W);
}

INSTANTIATE_TEST_SUITE_P(Window, SystemFdiByLzxWindow, ::testing::Values(15u, 16u, 21u));

// The Windows build of mkcab writes a set the system library walks.
TEST(MkcabUnderWine, WritesSetForSystemFdi) {
  TTempDir Dir;
  std::vector<TSourceFile> Files;
  std::wstring Command = L"\"" + fs::path(MKCAB_PATH).wstring() + L"\" -s 50000 -d \"" +
                         (Dir.Path() / "setup%d.cab").wstring() + L"\"";
  for (int i = 0; i < 6; ++i) {
    TSourceFile F{std::to_string(i + 1), MakeData(i, 30000 + 7000 * i, i % 2 ? 0 : 2)};
    fs::path Source = Dir.Path() / ("src" + std::to_string(i));
    std::ofstream(Source, std::ios::binary) << F.Data;
    Command += L" " + std::wstring(F.Name.begin(), F.Name.end()) + L"=\"" + Source.wstring() + L"\"";
    Files.push_back(F);
  }
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process{};
  ASSERT_TRUE(CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process));
  WaitForSingleObject(Process.hProcess, 60000);
  DWORD Code = 1;
  GetExitCodeProcess(Process.hProcess, &Code);
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
  ASSERT_EQ(Code, 0u);
  std::size_t Count = 0;
  while (fs::exists(Dir.Path() / ("DISK" + std::to_string(Count + 1)) / ("setup" + std::to_string(Count + 1) + ".cab"))) ++Count;
  ASSERT_GE(Count, 3u);
  TWalk W;
  ExpectWalkExtracts(Dir.Path() / "DISK1", Files, Count, W);
}

}  // namespace
