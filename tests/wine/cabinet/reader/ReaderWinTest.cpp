// The reader with the system's files, over the system cabinet.dll and over ours.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <sstream>

#include "cabinet/reader/StreamFileHandlerWin.h"
#include "cabinet/writer/CabinetWriter.h"
#include "system/Files.h"
#include "system/SystemWin.h"
#include "system/WideWin.h"

using namespace setup;

namespace {

struct Library {
  const char* Name;
  TCabinetLibraryFunctions EntryPoints;
};

Library SystemLibrary() {
  // By full path: the system's own library, whatever else is named Cabinet.dll.
  wchar_t System[MAX_PATH];
  GetSystemDirectoryW(System, MAX_PATH);
  HMODULE Module = LoadLibraryW((std::wstring(System) + L"\\cabinet.dll").c_str());
  auto Entry = [Module](auto& Slot, const char* Name) {
    Slot = reinterpret_cast<std::remove_reference_t<decltype(Slot)>>(reinterpret_cast<void*>(GetProcAddress(Module, Name)));
  };
  TCabinetLibraryFunctions Points;
  Entry(Points.FDICreate, "FDICreate");
  Entry(Points.FDICopy, "FDICopy");
  Entry(Points.FDIDestroy, "FDIDestroy");
  return {"system", Points};
}

Library OurLibrary() { return {"ours", LinkedCabinetLibrary()}; }

std::string Content(int Seed, std::size_t Size) {
  std::string Data(Size, '\0');
  std::uint32_t X = 0x9E3779B9u * static_cast<std::uint32_t>(Seed + 1);
  for (std::size_t I = 0; I < Size; ++I) {
    X = X * 1664525u + 1013904223u;
    Data[I] = static_cast<char>(I % 3 ? (X >> 24) : 'a' + I % 7);
  }
  return Data;
}

class ReaderOnWindows : public ::testing::TestWithParam<Library (*)()> {
 protected:
  void SetUp() override {
    Folder = GetTempDir() + "reader-win-" + std::to_string(GetCurrentProcessId()) + "\\";
    MakeDirs(Folder + "out");
    TCabinetWriterOptions Options;
    Options.OutputPattern = Folder + "setup%d.cab";
    Options.MaxCabinetSize = 50000;
    Options.Compression = ccMszip;
    TCabinetWriter Writer(Options);
    for (int I = 1; I <= 4; ++I) {
      Data[I] = Content(I, I == 2 ? 160000 : 7000 * I);
      std::istringstream Source(Data[I]);
      TCabinetEntry Entry;
      Entry.Name = std::to_string(I);
      Writer.AddFile(Entry, Source, Data[I].size());
    }
    Cabinets = Writer.Finish();
  }
  void TearDown() override {
    std::error_code Ignored;
    std::filesystem::remove_all(PathFromUtf8(Folder), Ignored);
  }

  // Walks the set as the installation does and writes every file into out\.
  void Walk(TCabinetReader& Reader, TStreamCabinetFileHandler& Handler) {
    std::string Next, Requested;
    Reader.OnCabinetInfo = [&](TCabinetReader&, const std::string& Name, const std::string&, const std::string&, int,
                               int, bool&) { Next = Name; };
    Reader.OnNextCabinet = [&](TCabinetReader&, const std::string& Name, const std::string&, std::string& Path, int Error,
                               bool& Abort) {
      Requested = Name;
      Path = Folder;
      Abort = Error != 0;
    };
    Reader.OnCopyFile = [&](TCabinetReader&, const std::string& Name, std::int32_t, std::uint16_t, std::uint16_t,
                            std::uint16_t, TFileCopyAction& Action, std::intptr_t& Handle) {
      ++Copies[Name];
      int Err;
      Handle = Handler.Open(Folder + "out\\" + Name, 0x8100, 2, Err, nullptr);
      Action = fcaCopy;
    };
    Reader.OnCloseCopiedFile = [&](TCabinetReader&, const std::string&, std::intptr_t Handle, std::uint16_t,
                                   std::uint16_t, std::uint16_t, int, bool, bool&) {
      int Err;
      Handler.Close(Handle, Err);
    };
    std::string Current = "setup1.cab";
    for (int Guard = 0; !Current.empty() && Guard < 20; ++Guard) {
      Requested.clear();
      Reader.ExtractFiles(Folder + Current, 0);
      Current = Requested.empty() ? Next : Requested;
    }
  }

  std::string Folder;
  std::map<int, std::string> Data;
  std::map<std::string, int> Copies;
  std::vector<std::string> Cabinets;
};

}  // namespace

TEST_P(ReaderOnWindows, ExtractsASpannedSetOnce) {
  const Library Lib = GetParam()();
  ASSERT_TRUE(Lib.EntryPoints.FDICreate) << Lib.Name;
  ASSERT_GE(Cabinets.size(), 3u);
  TStreamCabinetFileHandler Handler;
  {
    TCabinetReader Reader(Lib.EntryPoints);
    Reader.FileHandler = &Handler;
    Walk(Reader, Handler);
  }
  for (int I = 1; I <= 4; ++I) {
    EXPECT_EQ(LoadBytesFromFile(Folder + "out\\" + std::to_string(I)), Data[I]) << Lib.Name << " file " << I;
    EXPECT_EQ(Copies[std::to_string(I)], 1) << Lib.Name << " file " << I;
  }
  EXPECT_EQ(Handler.OpenCount(), 0u);
}

TEST_P(ReaderOnWindows, AThrowingHandlerAbortsAndItsErrorReachesTheCaller) {
  const Library Lib = GetParam()();
  TStreamCabinetFileHandler Handler;
  TCabinetReader Reader(Lib.EntryPoints);
  Reader.FileHandler = &Handler;
  Reader.OnCopyFile = [&](TCabinetReader&, const std::string&, std::int32_t, std::uint16_t, std::uint16_t,
                          std::uint16_t, TFileCopyAction&, std::intptr_t&) { throw Exception("handler failed"); };
  try {
    Reader.ExtractFiles(Folder + "setup1.cab", 0);
    ADD_FAILURE() << Lib.Name << ": no error";
  } catch (const ECabinetError& E) {
    ADD_FAILURE() << Lib.Name << ": the library's error instead of the handler's: " << E.what();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "handler failed");
  }
  EXPECT_EQ(Handler.OpenCount(), 0u) << Lib.Name;
  // A damaged cabinet is the library's error, with its text.
  SaveBytesToFile(Folder + "bad.cab", "MSCF\0\0\0\0 broken");
  try {
    Reader.ExtractFiles(Folder + "bad.cab", 0);
    ADD_FAILURE() << Lib.Name << ": no error";
  } catch (const ECabinetError& E) {
    EXPECT_TRUE(E.ErrorCode == 2 || E.ErrorCode == 4) << Lib.Name << " " << E.ErrorCode;
  }
  EXPECT_EQ(Handler.OpenCount(), 0u) << Lib.Name;
}

INSTANTIATE_TEST_SUITE_P(Libraries, ReaderOnWindows, ::testing::Values(&SystemLibrary, &OurLibrary),
                         [](const auto& Info) { return std::string(Info.index == 0 ? "System" : "Ours"); });

// A one-file setup's cabinet: bytes 12 to 18 of the program, served as a file of their own
// under the program's path and the cabinet's name.
TEST(StreamFileHandler, ACarriedCabinetIsAWindowOfTheProgramsFile) {
  const std::string Folder = GetTempDir() + "carried-" + std::to_string(GetCurrentProcessId()) + "\\";
  MakeDirs(Folder);
  SaveBytesToFile(Folder + "prog.exe", "PROGRAMBYTESCABINETSIGNATURE");
  CarryCabinet(Folder + "prog.exe", {12, 7});
  EXPECT_FALSE(IsCarriedCabinet(Folder + "prog.exe"));
  {
    TStreamCabinetFileHandler Handler;
    int Err = 0;
    const auto File = Handler.Open(Folder + "prog.exe\\setup1.cab", 0x0002, 0, Err, nullptr);
    ASSERT_NE(File, -1);
    char Buffer[32] = {};
    EXPECT_EQ(Handler.Read(File, Buffer, sizeof Buffer, Err), 7u);  // never into what follows
    EXPECT_STREQ(Buffer, "CABINET");
    // Positions count from the cabinet's start, as the library seeks and asks for them.
    EXPECT_EQ(Handler.Seek(File, 0, 1, Err), 7);
    EXPECT_EQ(Handler.Seek(File, -5, 1, Err), 2);
    EXPECT_EQ(Handler.Read(File, Buffer, 3, Err), 3u);
    EXPECT_EQ(std::string(Buffer, 3), "BIN");
    EXPECT_EQ(Handler.Seek(File, 4, 0, Err), 4);
    EXPECT_EQ(Handler.Read(File, Buffer, 9, Err), 3u);
    EXPECT_EQ(std::string(Buffer, 3), "NET");
    EXPECT_EQ(Handler.Seek(File, 1, 0, Err), 1);
    EXPECT_EQ(Handler.Read(File, Buffer, 2, Err), 2u);
    EXPECT_EQ(std::string(Buffer, 2), "AB");
    // Nobody writes the program while its cabinet is read.
    EXPECT_EQ(CreateFileW(ToWide(Folder + "prog.exe").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 32u);
  }
  EXPECT_TRUE(DeleteFileW(ToWide(Folder + "prog.exe").c_str()));
  RemoveDirectoryW(ToWide(Folder).c_str());
}

TEST(StreamFileHandler, OpenFlagsAndSystemErrors) {
  const std::string Folder = GetTempDir() + "stream-handler-" + std::to_string(GetCurrentProcessId()) + "\\";
  MakeDirs(Folder);
  {
    TStreamCabinetFileHandler Handler;
    int Err = -5;
    const auto Written = Handler.Open(Folder + "a.bin", 0x8100, 2, Err, nullptr);  // create, exclusive
    ASSERT_NE(Written, -1);
    EXPECT_EQ(Err, 0);
    EXPECT_EQ(Handler.Write(Written, "hello", 5, Err), 5u);
    EXPECT_EQ(Err, 0);
    // Held without sharing: a second opener meets a sharing violation, as an installer does.
    TStreamCabinetFileHandler Other;
    EXPECT_EQ(Other.Open(Folder + "a.bin", 0x0000, 0, Err, nullptr), -1);
    EXPECT_EQ(Err, 32);
    Handler.Close(Written, Err);
    // Read-write requests are served read-only; seeking works from every origin.
    const auto Reading = Handler.Open(Folder + "a.bin", 0x0002, 0, Err, nullptr);
    ASSERT_NE(Reading, -1);
    EXPECT_EQ(Handler.Write(Reading, "x", 1, Err), 0u);
    EXPECT_NE(Err, 0);
    EXPECT_EQ(Handler.Seek(Reading, -2, 2, Err), 3);
    char Buffer[8] = {};
    EXPECT_EQ(Handler.Read(Reading, Buffer, 8, Err), 2u);
    EXPECT_STREQ(Buffer, "lo");
    EXPECT_EQ(Handler.Read(12345, Buffer, 1, Err), 0u);
    EXPECT_EQ(Err, -1);
    EXPECT_EQ(Handler.Open(Folder + "missing.bin", 0, 0, Err, nullptr), -1);
    EXPECT_EQ(Err, 2);
    Handler.Delete(Folder + "missing.bin", Err);
    EXPECT_EQ(Err, 2);
    EXPECT_EQ(Handler.OpenCount(), 1u);  // left open on purpose: freed with the handler
  }
  // The handler closed what was still open: the file can be deleted now.
  EXPECT_TRUE(DeleteFileW(ToWide(Folder + "a.bin").c_str()));
  RemoveDirectoryW(ToWide(Folder).c_str());
}
