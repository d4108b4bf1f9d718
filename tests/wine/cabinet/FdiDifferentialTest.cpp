// One FDI client, compiled against the platform's <fdi.h>, run with the system's
// cabinet.dll and with ours over the same cabinets: the notifications the documentation
// describes and the files written must be the same.
#include <windows.h>
#include <fcntl.h>
#include <fdi.h>
#include <io.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TLibrary {
  HMODULE Module = nullptr;
  decltype(&FDICreate) Create = nullptr;
  decltype(&FDICopy) Copy = nullptr;
  decltype(&FDIDestroy) Destroy = nullptr;
  decltype(&FDIIsCabinet) IsCabinet = nullptr;

  explicit TLibrary(const std::wstring& Path) {
    Module = LoadLibraryW(Path.c_str());
    if (!Module) return;
    Create = reinterpret_cast<decltype(Create)>(reinterpret_cast<void*>(GetProcAddress(Module, "FDICreate")));
    Copy = reinterpret_cast<decltype(Copy)>(reinterpret_cast<void*>(GetProcAddress(Module, "FDICopy")));
    Destroy = reinterpret_cast<decltype(Destroy)>(reinterpret_cast<void*>(GetProcAddress(Module, "FDIDestroy")));
    IsCabinet =
        reinterpret_cast<decltype(IsCabinet)>(reinterpret_cast<void*>(GetProcAddress(Module, "FDIIsCabinet")));
  }
  ~TLibrary() {
    if (Module) FreeLibrary(Module);
  }
  bool HasTruncate() const { return GetProcAddress(Module, "FDITruncateCabinet") != nullptr; }
};

std::wstring SystemCabinetPath() {
  wchar_t Dir[MAX_PATH];
  GetSystemDirectoryW(Dir, MAX_PATH);
  return std::wstring(Dir) + L"\\cabinet.dll";
}

std::wstring Wide(const std::string& S) { return std::wstring(S.begin(), S.end()); }

// What one FDICopy call did.
struct TRun {
  BOOL Ok = FALSE;
  int Error = 0;
  std::vector<std::string> Log;
  std::map<std::string, std::string> Files;
  int OpenOutputs = 0;
  std::string Requested;  // the last cabinet asked for with fdintNEXT_CABINET
  std::string Announced;  // the next cabinet the first fdintCABINET_INFO named

  bool operator==(const TRun& O) const {
    return Ok == O.Ok && Error == O.Error && Log == O.Log && Files == O.Files && OpenOutputs == O.OpenOutputs;
  }
};

std::ostream& operator<<(std::ostream& Out, const TRun& R) {
  Out << "ok=" << R.Ok << " error=" << R.Error << " open=" << R.OpenOutputs << "\n";
  for (const std::string& Line : R.Log) Out << "  " << Line << "\n";
  for (const auto& [Name, Bytes] : R.Files) Out << "  file " << Name << " " << Bytes.size() << "\n";
  return Out;
}

TRun* Current = nullptr;
std::map<INT_PTR, std::string> Outputs;  // handle -> bytes written; handles far above fds
INT_PTR NextOutput = 0x10000;

FNALLOC(Alloc) { return std::malloc(cb ? cb : 1); }
FNFREE(Free) { std::free(pv); }
FNOPEN(Open) { return _open(pszFile, oflag, pmode); }
FNREAD(Read) { return static_cast<UINT>(_read(static_cast<int>(hf), pv, cb)); }
FNWRITE(Write) {
  auto Output = Outputs.find(hf);
  if (Output == Outputs.end()) return static_cast<UINT>(_write(static_cast<int>(hf), pv, cb));
  Output->second.append(static_cast<const char*>(pv), cb);
  return cb;
}
FNCLOSE(Close) {
  if (Outputs.erase(hf)) {
    Current->OpenOutputs--;
    return 0;
  }
  return _close(static_cast<int>(hf));
}
FNSEEK(Seek) { return _lseek(static_cast<int>(hf), dist, seektype); }

std::string Text(const char* S) { return S ? S : "(null)"; }

FNFDINOTIFY(Notify) {
  std::ostringstream Line;
  switch (fdint) {
    case fdintCABINET_INFO:
      Line << "CABINET_INFO next=" << Text(pfdin->psz1) << " disk=" << Text(pfdin->psz2)
           << " path=" << Text(pfdin->psz3) << " set=" << pfdin->setID << " index=" << pfdin->iCabinet;
      if (Current->Log.empty()) Current->Announced = Text(pfdin->psz1);
      Current->Log.push_back(Line.str());
      return 0;
    case fdintPARTIAL_FILE:
      Line << "PARTIAL_FILE " << Text(pfdin->psz1) << " first=" << Text(pfdin->psz2) << " disk=" << Text(pfdin->psz3);
      Current->Log.push_back(Line.str());
      return 0;
    case fdintCOPY_FILE: {
      Line << "COPY_FILE " << Text(pfdin->psz1) << " size=" << pfdin->cb << " date=" << pfdin->date
           << " time=" << pfdin->time << " attribs=" << pfdin->attribs;
      Current->Log.push_back(Line.str());
      INT_PTR Handle = NextOutput++;
      Outputs[Handle];
      Current->OpenOutputs++;
      return Handle;
    }
    case fdintCLOSE_FILE_INFO: {
      Line << "CLOSE_FILE_INFO " << Text(pfdin->psz1) << " date=" << pfdin->date << " time=" << pfdin->time
           << " attribs=" << pfdin->attribs << " execute=" << pfdin->cb;
      auto Output = Outputs.find(pfdin->hf);
      if (Output == Outputs.end()) {
        Line << " UNKNOWN HANDLE";
      } else {
        Current->Files[pfdin->psz1] = Output->second;
      }
      Current->Log.push_back(Line.str());
      Close(pfdin->hf);
      return TRUE;
    }
    case fdintNEXT_CABINET:
      Line << "NEXT_CABINET " << Text(pfdin->psz1) << " disk=" << Text(pfdin->psz2) << " path=" << Text(pfdin->psz3)
           << " error=" << pfdin->fdie;
      Current->Log.push_back(Line.str());
      Current->Requested = Text(pfdin->psz1);
      return pfdin->fdie == FDIERROR_NONE ? 0 : -1;
    default:
      Line << "NOTIFICATION " << fdint;
      Current->Log.push_back(Line.str());
      return 0;
  }
}

TRun CopyWith(const TLibrary& Library, const std::string& Folder, const std::string& Name) {
  TRun Run;
  Current = &Run;
  ERF Erf{};
  HFDI Context = Library.Create(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &Erf);
  EXPECT_NE(Context, nullptr);
  if (!Context) return Run;
  std::string CabName = Name, CabPath = Folder;
  Run.Ok = Library.Copy(Context, CabName.data(), CabPath.data(), 0, Notify, nullptr, nullptr);
  if (!Run.Ok) Run.Error = Erf.erfOper;
  Library.Destroy(Context);
  for (auto Output = Outputs.begin(); Output != Outputs.end();) Output = Outputs.erase(Output);
  Current = nullptr;
  return Run;
}

// Walks a set as the setup program does, from First on; all the runs in order.
std::vector<TRun> WalkWith(const TLibrary& Library, const std::string& Folder, std::string Cabinet) {
  std::vector<TRun> Runs;
  while (!Cabinet.empty() && Runs.size() < 20) {
    Runs.push_back(CopyWith(Library, Folder, Cabinet));
    const TRun& Run = Runs.back();
    if (!Run.Ok) break;
    Cabinet = Run.Requested.empty() ? Run.Announced : Run.Requested;
  }
  return Runs;
}

class FdiDifferential : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    System = new TLibrary(SystemCabinetPath());
    // A module already loaded under the same base name would be handed out again instead of
    // ours, so our Cabinet.dll is loaded from a copy with a name of its own.
    wchar_t Temp[MAX_PATH];
    GetTempPathW(MAX_PATH, Temp);
    OurCopy = std::wstring(Temp) + L"fdi-differential-ours.dll";
    CopyFileW(Wide(OUR_CABINET_DLL).c_str(), OurCopy.c_str(), FALSE);
    Ours = new TLibrary(OurCopy);
  }
  static void TearDownTestSuite() {
    delete Ours;
    delete System;
    DeleteFileW(OurCopy.c_str());
  }
  void SetUp() override {
    ASSERT_TRUE(System->Module && System->Create && System->Copy && System->Destroy);
    ASSERT_TRUE(Ours->Module && Ours->Create && Ours->Copy && Ours->Destroy && Ours->IsCabinet);
    // Two different libraries, not one of them twice: only the system's has FDITruncateCabinet.
    ASSERT_NE(System->Module, Ours->Module);
    ASSERT_TRUE(System->HasTruncate());
    ASSERT_FALSE(Ours->HasTruncate());
  }
  static TLibrary* System;
  static TLibrary* Ours;
  static std::wstring OurCopy;
};
std::wstring FdiDifferential::OurCopy;
TLibrary* FdiDifferential::System = nullptr;
TLibrary* FdiDifferential::Ours = nullptr;

std::vector<std::string> CabinetsIn(const std::string& Folder) {
  std::vector<std::string> Names;
  WIN32_FIND_DATAA Found;
  HANDLE Search = FindFirstFileA((Folder + "*.cab").c_str(), &Found);
  if (Search == INVALID_HANDLE_VALUE) return Names;
  do Names.push_back(Found.cFileName);
  while (FindNextFileA(Search, &Found));
  FindClose(Search);
  std::sort(Names.begin(), Names.end());
  return Names;
}


}  // namespace

// Cabinets on which the system library (Wine's builtin cabinet.dll here) is known to act
// otherwise, why, and the error our library ends with.
struct TKnownDifference {
  const char* Cabinet;
  int OurError;
  const char* Why;
};
const TKnownDifference KnownDifferences[] = {
    {"bad_nofolders.cab", FDIERROR_CORRUPT_CABINET, "the system library crashes on a cabinet without folders"},
    {"bad_folderindex.cab", FDIERROR_CORRUPT_CABINET,
     "the system library extracts a file of a folder the cabinet does not have"},
    {"hidden-files.cab", FDIERROR_CORRUPT_CABINET,
     "the file entries are not where the header says; the system library reads the ones after the folders, "
     "we refuse the contradiction"},
    {"filename-read-violation-1.cab", FDIERROR_CORRUPT_CABINET, "the system library hands out an empty file name"},
    {"cve-2017-11423-fname-overread.cab", FDIERROR_CORRUPT_CABINET,
     "the system library hands out a name longer than the 255 characters clients make room for"},
    {"partial_str_shortninfo.cab", FDIERROR_CORRUPT_CABINET,
     "the system library reads a cut-off disk name beyond the end of the file"},
    {"partial_str_shortnname.cab", FDIERROR_CORRUPT_CABINET,
     "the system library announces a cut-off cabinet name as empty"},
    {"partial_str_noninfo.cab", FDIERROR_CORRUPT_CABINET,
     "the system library announces a missing disk name as empty"},
    {"partial_str_nofname.cab", FDIERROR_CORRUPT_CABINET, "the system library announces the set before failing"},
    {"partial_str_shortfname.cab", FDIERROR_CORRUPT_CABINET, "the system library announces the set before failing"},
    {"cve-2015-4471-lzx-under-read.cab", FDIERROR_CORRUPT_CABINET,
     "the system library offers a file of negative size before finding the directory broken"},
    {"search_tricky1.cab", FDIERROR_UNKNOWN_CABINET_VERSION, "the system library ignores the format version"},
    // The system library calls fdintCLOSE_FILE_INFO for a file it failed to write, so the
    // client takes a truncated file for a complete one; we close the output ourselves.
    {"partial_nodata.cab", FDIERROR_CORRUPT_CABINET, "a failed file is reported as complete"},
    {"multi_basic_pt1.cab", FDIERROR_USER_ABORT, "a failed file is reported as complete"},
    {"hidden-file-bad-folderid.cab", FDIERROR_CORRUPT_CABINET, "a failed file is reported as complete"},
    {"hidden-file-beyond-eof.cab", FDIERROR_CORRUPT_CABINET, "a failed file is reported as complete"},
    {"cve-2010-2800-mszip-infinite-loop.cab", FDIERROR_MDI_FAIL,
     "a failed file is reported as complete, and broken MSZIP data as a corrupt cabinet"},
    // Broken LZX and Quantum data: both libraries stop at the same file, the system library
    // reports it as complete and the error as a corrupt cabinet.
    {"cve-2014-9556-qtm-infinite-loop.cab", FDIERROR_MDI_FAIL, "broken Quantum data"},
    {"cve-2018-18584-qtm-max-size-block.cab", FDIERROR_MDI_FAIL,
     "a Quantum block larger than its frame; a failed file is reported as complete"},
    {"lzx-main-tree-no-lengths.cab", FDIERROR_MDI_FAIL,
     "an LZX main tree without codes; a failed file is reported as complete"},
    {"lzx-premature-matches.cab", FDIERROR_MDI_FAIL,
     "LZX matches reaching before the folder's first byte; a failed file is reported as complete"},
    {"cve-2014-9732-folders-segfault.cab", FDIERROR_BAD_COMPR_TYPE,
     "a folder of compression type 15: the system library calls it a corrupt cabinet"},
};

const TKnownDifference* KnownDifferenceOf(const std::string& Name) {
  for (const TKnownDifference& Known : KnownDifferences)
    if (Name == Known.Cabinet) return &Known;
  return nullptr;
}

class FdiDifferentialTestCabinet : public FdiDifferential, public ::testing::WithParamInterface<std::string> {};

TEST_P(FdiDifferentialTestCabinet, GivesTheSameNotificationsAndFiles) {
  const std::string& Name = GetParam();
  TRun Mine = CopyWith(*Ours, TEST_CABINETS_DIR, Name);
  EXPECT_EQ(Mine.OpenOutputs, 0);
  if (const TKnownDifference* Known = KnownDifferenceOf(Name)) {
    SCOPED_TRACE(Known->Why);
    EXPECT_FALSE(Mine.Ok);
    EXPECT_EQ(Mine.Error, Known->OurError);
    if (std::string(Known->Cabinet) == "bad_nofolders.cab") return;
    // What we did write, the system library wrote the same.
    TRun Theirs = CopyWith(*System, TEST_CABINETS_DIR, Name);
    for (const auto& [File, Bytes] : Mine.Files) EXPECT_EQ(Bytes, Theirs.Files[File]) << File;
    return;
  }
  TRun Theirs = CopyWith(*System, TEST_CABINETS_DIR, Name);
  EXPECT_EQ(Theirs.OpenOutputs, 0);
  EXPECT_EQ(Mine, Theirs) << "system:\n" << Theirs << "ours:\n" << Mine;
}
std::string ParamName(const ::testing::TestParamInfo<std::string>& Info) {
  std::string Name = Info.param.substr(0, Info.param.size() - 4);
  for (char& C : Name)
    if (!isalnum(static_cast<unsigned char>(C))) C = '_';
  return Name;
}

INSTANTIATE_TEST_SUITE_P(Public, FdiDifferentialTestCabinet, ::testing::ValuesIn(CabinetsIn(TEST_CABINETS_DIR)),
                         ParamName);

// Sets spanning cabinets, walked from their first cabinet as the setup program does.
class FdiDifferentialSet : public FdiDifferential {
 protected:
  void ExpectSameWalk(const std::string& Folder, const std::string& First, std::size_t MinimumCabinets) {
    std::vector<TRun> Theirs = WalkWith(*System, Folder, First);
    std::vector<TRun> Mine = WalkWith(*Ours, Folder, First);
    ASSERT_GE(Mine.size(), MinimumCabinets);
    ASSERT_EQ(Mine.size(), Theirs.size());
    for (std::size_t I = 0; I < Mine.size(); I++) {
      SCOPED_TRACE("call " + std::to_string(I));
      EXPECT_TRUE(Mine[I].Ok);
      EXPECT_EQ(Mine[I], Theirs[I]) << "system:\n" << Theirs[I] << "ours:\n" << Mine[I];
    }
  }
};

TEST_F(FdiDifferentialSet, GcabCabinet) { ExpectSameWalk(GENERATED_CABINETS_DIR "gcab\\", "test.cab", 1); }

TEST_F(FdiDifferentialSet, CabarcSpannedSet) { ExpectSameWalk(GENERATED_CABINETS_DIR "cabarc\\", "setup1.cab", 2); }

TEST_F(FdiDifferentialSet, CabarcSetOfThreeCabinets) {
  ExpectSameWalk(GENERATED_CABINETS_DIR "cabarc-long\\", "setup1.cab", 3);
}

TEST_F(FdiDifferentialSet, CabarcStoredFileRunningOnIntoTheNextCabinet) {
  ExpectSameWalk(GENERATED_CABINETS_DIR "cabarc-none\\", "part1.cab", 2);
}

TEST_F(FdiDifferentialSet, FivePartTestSet) {
  wchar_t Temp[MAX_PATH];
  GetTempPathW(MAX_PATH, Temp);
  std::string Folder = std::string(Temp, Temp + wcslen(Temp)) + "fdi-differential-set\\";
  CreateDirectoryA(Folder.c_str(), nullptr);
  for (int Part = 1; Part <= 5; Part++) {
    std::string Number = std::to_string(Part);
    ASSERT_TRUE(CopyFileA((std::string(TEST_CABINETS_DIR) + "multi_basic_pt" + Number + ".cab").c_str(),
                          (Folder + "cabd_multi_basic_pt" + Number + ".cab").c_str(), FALSE));
  }
  ExpectSameWalk(Folder, "cabd_multi_basic_pt1.cab", 2);
  for (int Part = 1; Part <= 5; Part++) DeleteFileA((Folder + "cabd_multi_basic_pt" + std::to_string(Part) + ".cab").c_str());
  RemoveDirectoryA(Folder.c_str());
}
