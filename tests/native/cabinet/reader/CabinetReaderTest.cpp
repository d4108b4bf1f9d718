#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cabinet/CabinetError.h"
#include "cabinet/reader/Cabinet.h"
#include "cabinet/writer/CabinetWriter.h"
#include "shared/ExpectedTexts.h"
#include "shared/TestFiles.h"
#include "system/Files.h"

using namespace setup;
namespace fs = std::filesystem;

namespace {

// The library's file access over host files; handles count from 1.
class HostFileHandler : public TCabinetFileHandler {
 public:
  ~HostFileHandler() override {
    for (auto& [Handle, File] : Files) std::fclose(File);
  }
  std::intptr_t Open(const std::string& FileName, int OFlag, int, int& Err, void*) override {
    std::FILE* File = std::fopen(PathFromUtf8(FileName).c_str(), (OFlag & 0x0100) ? "w+b" : "rb");
    if (!File) {
      Err = 2;
      return -1;
    }
    Files[++Last] = File;
    Err = 0;
    return Last;
  }
  unsigned Read(std::intptr_t H, void* Buffer, unsigned Count, int& Err) override {
    Err = 0;
    return Files.count(H) ? static_cast<unsigned>(std::fread(Buffer, 1, Count, Files[H])) : 0;
  }
  unsigned Write(std::intptr_t H, const void* Buffer, unsigned Count, int& Err) override {
    Err = 0;
    return Files.count(H) ? static_cast<unsigned>(std::fwrite(Buffer, 1, Count, Files[H])) : 0;
  }
  int Close(std::intptr_t H, int& Err) override {
    Err = 0;
    if (Files.count(H)) {
      std::fclose(Files[H]);
      Files.erase(H);
    }
    return 0;
  }
  long Seek(std::intptr_t H, long Distance, int SeekType, int& Err) override {
    Err = 0;
    if (!Files.count(H)) return 0;
    std::fseek(Files[H], Distance, SeekType);
    return std::ftell(Files[H]);
  }
  int Delete(const std::string& FileName, int& Err) override {
    Err = std::remove(FileName.c_str()) == 0 ? 0 : 2;
    return 0;
  }
  std::map<std::intptr_t, std::FILE*> Files;
  std::intptr_t Last = 0;
};

std::string Content(int Seed, std::size_t Size) {
  std::string Data(Size, '\0');
  std::uint32_t X = 2166136261u ^ static_cast<std::uint32_t>(Seed);
  for (auto& C : Data) {
    X = X * 1664525u + 1013904223u;
    C = static_cast<char>("abcdefgh \n0123"[(X >> 24) % 14]);
  }
  return Data;
}

using test::ReadFile;

class CabinetReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Dir / "out");
    // Three files in a set of small cabinets: the second spans at least one boundary.
    TCabinetWriterOptions Options;
    Options.OutputPattern = (Dir / "setup%d.cab").string();
    Options.MaxCabinetSize = 40000;
    Options.Compression = ccNone;  // sizes as written, so that the set really spans
    TCabinetWriter Writer(Options);
    for (int I = 1; I <= 3; ++I) {
      Data[I] = Content(I, I == 2 ? 90000 : 5000);
      std::istringstream Source(Data[I]);
      TCabinetEntry Entry;
      Entry.Name = std::to_string(I);
      Entry.Attributes = I == 3 ? 0x21 : 0x20;
      Writer.AddFile(Entry, Source, Data[I].size());
    }
    Cabinets = Writer.Finish();
    ASSERT_GE(Cabinets.size(), 3u);
    Reader.FileHandler = &Handler;
  }

  // Writes every announced file into out/ and follows the announced next cabinet.
  void CopyEverything() {
    Reader.OnCopyFile = [&](TCabinetReader&, const std::string& Name, std::int32_t, std::uint16_t, std::uint16_t,
                            std::uint16_t, TFileCopyAction& Action, std::intptr_t& Handle) {
      Log.push_back("copy " + Name);
      int Err;
      Handle = Handler.Open((Dir / "out" / Name).string(), 0x8100, 0, Err, nullptr);
      Action = fcaCopy;
    };
    Reader.OnCloseCopiedFile = [&](TCabinetReader&, const std::string& Name, std::intptr_t Handle, std::uint16_t,
                                   std::uint16_t, std::uint16_t Attribs, int, bool, bool&) {
      Log.push_back("close " + Name + " " + std::to_string(Attribs));
      int Err;
      Handler.Close(Handle, Err);
    };
    Reader.OnCabinetInfo = [&](TCabinetReader&, const std::string& Next, const std::string&, const std::string&, int,
                               int Number, bool&) {
      Log.push_back("cabinet " + std::to_string(Number) + " next " + Next);
      NextName = Next;
    };
  }

  test::TTempDir Temp{"reader-test"};
  const fs::path& Dir = Temp.Path();
  std::map<int, std::string> Data;
  std::vector<std::string> Cabinets;
  HostFileHandler Handler;
  TCabinetReader Reader{LinkedCabinetLibrary()};
  std::vector<std::string> Log;
  std::string NextName;
};

}  // namespace

TEST_F(CabinetReaderTest, WalksASpannedSetWritingEachFileOnce) {
  CopyEverything();
  int Requests = 0;
  std::string Requested;
  Reader.OnNextCabinet = [&](TCabinetReader&, const std::string& Name, const std::string&, std::string& Path,
                             int ErrorIndication, bool& Abort) {
    ++Requests;
    EXPECT_EQ(ErrorIndication, 0);
    Abort = Requests > 5;  // a wrong answer must not loop forever
    Path = Dir.string() + "/";
    Requested = Name;
    Log.push_back("next " + Name);
  };
  // Follow the set the way the worker does: a cabinet the library asked for is walked next
  // (its continued file is skipped there), else the announced successor.
  std::string Current = "setup1.cab";
  int Guard = 0;
  while (!Current.empty() && ++Guard < 10) {
    Requested.clear();
    Reader.ExtractFiles((Dir / Current).string(), 0);
    Current = Requested.empty() ? NextName : Requested;
  }
  std::string Trace;
  for (const auto& Line : Log) Trace += Line + "; ";
  for (int I = 1; I <= 3; ++I) EXPECT_TRUE(ReadFile(Dir / "out" / std::to_string(I)) == Data[I]) << I << ": " << Trace;
  EXPECT_GE(Requests, 1);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "copy 2"), 1);
  EXPECT_NE(std::find(Log.begin(), Log.end(), "close 3 33"), Log.end());
  EXPECT_TRUE(Handler.Files.empty());  // every cabinet and file closed again
}

TEST_F(CabinetReaderTest, SkippedFilesAreNotWrittenAndAbortEndsWithCode11) {
  CopyEverything();
  Reader.OnCopyFile = [&](TCabinetReader&, const std::string& Name, std::int32_t, std::uint16_t, std::uint16_t,
                          std::uint16_t, TFileCopyAction& Action, std::intptr_t&) {
    Action = Name == "1" ? fcaSkip : fcaAbort;
  };
  try {
    Reader.ExtractFiles((Dir / "setup1.cab").string(), 0);
    ADD_FAILURE() << "no error";
  } catch (const ECabinetError& E) {
    EXPECT_EQ(E.ErrorCode, 11);
    EXPECT_EQ(E.what(), test::CabinetErrorText(FDIERROR_USER_ABORT));
  }
  EXPECT_FALSE(fs::exists(Dir / "out" / "1"));
  EXPECT_TRUE(Handler.Files.empty());
}

TEST_F(CabinetReaderTest, HandlerExceptionReachesTheCallerAfterTheLibraryReturns) {
  CopyEverything();
  Reader.OnCloseCopiedFile = [&](TCabinetReader&, const std::string&, std::intptr_t Handle, std::uint16_t,
                                 std::uint16_t, std::uint16_t, int, bool, bool&) {
    int Err;
    Handler.Close(Handle, Err);
    throw Exception("stop here");
  };
  try {
    Reader.ExtractFiles((Dir / "setup1.cab").string(), 0);
    ADD_FAILURE() << "no error";
  } catch (const ECabinetError&) {
    ADD_FAILURE() << "the handler's own exception must win";
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "stop here");
  }
  EXPECT_TRUE(Handler.Files.empty());
  // The context stays usable for the next cabinet.
  Reader.OnCloseCopiedFile = nullptr;
  Reader.OnCopyFile = nullptr;
  EXPECT_NO_THROW(Reader.ExtractFiles((Dir / Cabinets.back()).filename().string().insert(0, Dir.string() + "/"), 0));
}

TEST_F(CabinetReaderTest, NextCabinetPathIsHandedBackAndGivingUpAborts) {
  CopyEverything();
  fs::create_directories(Dir / "DISK2");
  fs::rename(Dir / "setup2.cab", Dir / "DISK2" / "setup2.cab");
  Reader.OnNextCabinet = [&](TCabinetReader&, const std::string& Name, const std::string&, std::string& Path,
                             int ErrorIndication, bool& Abort) {
    Abort = ErrorIndication != 0;  // a wrong answer must not loop forever
    Path = (Name == "setup2.cab" ? Dir / "DISK2" : Dir).string() + "/";
  };
  Reader.ExtractFiles((Dir / "setup1.cab").string(), 0);
  EXPECT_EQ(ReadFile(Dir / "out" / "2"), Data[2]);

  fs::remove(Dir / "out" / "2");
  Reader.OnNextCabinet = [&](TCabinetReader&, const std::string&, const std::string&, std::string&, int,
                             bool& Abort) { Abort = true; };
  try {
    Reader.ExtractFiles((Dir / "setup1.cab").string(), 0);
    ADD_FAILURE() << "no error";
  } catch (const ECabinetError& E) {
    EXPECT_EQ(E.ErrorCode, 11);
  }
  EXPECT_TRUE(Handler.Files.empty());
}

TEST_F(CabinetReaderTest, DamagedCabinetRaisesTheLibraryError) {
  std::ofstream(Dir / "bad.cab", std::ios::binary) << "MSCF but not really a cabinet";
  try {
    Reader.ExtractFiles((Dir / "bad.cab").string(), 0);
    ADD_FAILURE() << "no error";
  } catch (const ECabinetError& E) {
    EXPECT_EQ(E.ErrorCode, 2);
    EXPECT_EQ(E.what(), test::CabinetErrorText(FDIERROR_NOT_A_CABINET));
  }
  try {
    Reader.ExtractFiles((Dir / "missing.cab").string(), 0);
    ADD_FAILURE() << "no error";
  } catch (const ECabinetError& E) {
    EXPECT_EQ(E.ErrorCode, 1);
  }
  EXPECT_TRUE(Handler.Files.empty());
}

TEST_F(CabinetReaderTest, FoldersOfAnyLengthAndScriptReachTheLibraryAndComeBack) {
  // 255 Cyrillic characters in Windows notation: twice the bytes the library's buffers hold.
  std::string Folder = Dir.string() + "\\";
  for (int Part : {100, 100, 55}) {
    for (int I = 0; I < Part; ++I) Folder += "Ж";
    Folder += "\\";
  }
  ASSERT_GT(Folder.size(), 512u);
  fs::create_directories(PathFromUtf8(Folder));
  for (const auto& Cabinet : Cabinets)
    fs::rename(Cabinet, PathFromUtf8(Folder + fs::path(Cabinet).filename().string()));
  CopyEverything();
  std::vector<std::string> Paths;
  Reader.OnCabinetInfo = [&](TCabinetReader&, const std::string& Next, const std::string&, const std::string& Path, int,
                             int, bool&) {
    Paths.push_back(Path);
    NextName = Next;
  };
  std::string Requested;
  Reader.OnNextCabinet = [&](TCabinetReader&, const std::string& Name, const std::string&, std::string& Path,
                             int ErrorIndication, bool& Abort) {
    EXPECT_EQ(Path, Folder);  // where the previous one came from
    Abort = ErrorIndication != 0;
    Requested = Name;
  };
  std::string Current = "setup1.cab";
  for (int Guard = 0; !Current.empty() && Guard < 10; ++Guard) {
    Requested.clear();
    Reader.ExtractFiles(Folder + Current, 0);
    Current = Requested.empty() ? NextName : Requested;
  }
  for (int I = 1; I <= 3; ++I) EXPECT_TRUE(ReadFile(Dir / "out" / std::to_string(I)) == Data[I]) << I;
  ASSERT_FALSE(Paths.empty());
  for (const auto& Path : Paths) EXPECT_EQ(Path, Folder);
}
