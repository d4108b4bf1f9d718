// Our cabinet library on cabinets made at run time by gcab, and its
// answers to failing callbacks and damaged data.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "FdiHarness.h"

using namespace fdi_test;
namespace fs = std::filesystem;

namespace {

std::string MakeData(int Kind, std::size_t Size, uint32_t Seed) {
  std::string Data;
  Data.reserve(Size + 64);
  uint32_t X = Seed * 2654435761u + 1;
  auto Next = [&] { return X = X * 1664525u + 1013904223u; };
  while (Data.size() < Size) {
    if (Kind == 0) {
      Data += "line " + std::to_string(Next() % 100000) + " of the product's readme, more or less\n";
    } else if (Kind == 1) {
      uint32_t Record[4] = {static_cast<uint32_t>(Data.size()), Next() % 16, 0x12345678, Next() & 0xFF};
      Data.append(reinterpret_cast<const char*>(Record), sizeof Record);
    } else {
      uint32_t Value = Next();
      Data.append(reinterpret_cast<const char*>(&Value), sizeof Value);
    }
  }
  Data.resize(Size);
  return Data;
}

using TFiles = std::map<std::string, std::string>;

TFiles SourceFiles() {
  return {
      {"empty.txt", ""},
      {"exact.bin", MakeData(2, 32768, 5)},
      {"random.bin", MakeData(2, 150000, 3)},
      {"readme.txt", MakeData(0, 300000, 1)},
      {"small.txt", MakeData(0, 100, 4)},
      {"table.dat", MakeData(1, 200000, 2)},
  };
}

std::string WriteSources(const fs::path& Dir, const TFiles& Files) {
  std::string List;
  for (const auto& [Name, Bytes] : Files) {
    WriteFile(Dir / Name, Bytes);
    List += " '" + Name + "'";
  }
  return List;
}

// gcab's cabinet of the source files, in a fresh folder.
class FdiGcab : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string List = WriteSources(Dir.Path() / "src", Files);
    ASSERT_EQ(RunCommand("cd '" + (Dir.Path() / "src").string() + "' && gcab -c -z '" + Cabinet().string() + "'" + List +
                  " >/dev/null 2>&1"),
              0);
  }
  fs::path Cabinet() const { return Dir.Path() / "test.cab"; }
  TExtraction ExtractIt(const TClient& Client = {}) { return Extract(Dir.Folder(), "test.cab", Client); }
  // Offset of the file entry whose name is Name.
  std::size_t EntryOf(const std::string& Bytes, const std::string& Name) {
    std::size_t At = Bytes.find(Name + '\0');
    EXPECT_NE(At, std::string::npos);
    return At - 16;
  }
  TTempDir Dir;
  TFiles Files = SourceFiles();
};

TEST_F(FdiGcab, ExtractsTheSourceFilesAsCabextractDoes) {
  TExtraction R = ExtractIt();
  ASSERT_TRUE(R.Ok) << R.Error.erfOper;
  EXPECT_EQ(R.Files, Files);
  EXPECT_EQ(R.Files, CabextractFiles(Cabinet()));
  EXPECT_EQ(R.OpenHandles, 0);
  EXPECT_FALSE(R.Leak);
  // One window and one block, not the size of the data.
  EXPECT_LT(R.PeakMemory, 256u * 1024);
}

TEST_F(FdiGcab, ExecuteFlagIsSeparatedFromTheAttributes) {
  std::string Bytes = ReadFile(Cabinet());
  std::size_t Entry = EntryOf(Bytes, "small.txt");
  Bytes[Entry + 14] |= 0x40;  // _A_EXEC, beside _A_ARCH
  WriteFile(Cabinet(), Bytes);
  TExtraction R = ExtractIt();
  ASSERT_TRUE(R.Ok);
  bool SeenCopy = false, SeenClose = false;
  for (const std::string& Line : R.Log) {
    if (Line.rfind("COPY_FILE small.txt", 0) == 0) SeenCopy = Line.find("attribs=96") != std::string::npos;
    if (Line.rfind("CLOSE_FILE_INFO small.txt", 0) == 0)
      SeenClose = Line.find("attribs=32 execute=1") != std::string::npos;
    if (Line.rfind("CLOSE_FILE_INFO readme.txt", 0) == 0) {
      EXPECT_NE(Line.find("execute=0"), std::string::npos);
    }
  }
  EXPECT_TRUE(SeenCopy);
  EXPECT_TRUE(SeenClose);
}

TEST_F(FdiGcab, FilesListedOutOfFolderOrderStillExtractWhole) {
  std::string Bytes = ReadFile(Cabinet());
  std::size_t First = EntryOf(Bytes, "random.bin"), Second = EntryOf(Bytes, "readme.txt");
  ASSERT_EQ(Second, First + 16 + 11);
  std::string A = Bytes.substr(First, 27), B = Bytes.substr(Second, 27);
  Bytes.replace(First, 27, B);
  Bytes.replace(Second, 27, A);
  WriteFile(Cabinet(), Bytes);
  TExtraction R = ExtractIt();
  ASSERT_TRUE(R.Ok);
  EXPECT_EQ(R.Files, Files);
}

TEST_F(FdiGcab, SkippedFilesAreNotWrittenAndTheOthersAre) {
  TClient Client;
  Client.OnCopyFile = [](const FDINOTIFICATION& N) { return std::strcmp(N.psz1, "readme.txt") == 0 ? 0 : 1; };
  TExtraction R = ExtractIt(Client);
  ASSERT_TRUE(R.Ok);
  TFiles Expected = Files;
  Expected.erase("readme.txt");
  EXPECT_EQ(R.Files, Expected);
}

TEST_F(FdiGcab, DamagedDataEndsWithTheFittingErrorAndTheOutputClosed) {
  const std::string Original = ReadFile(Cabinet());
  const uint32_t FirstBlock = static_cast<uint8_t>(Original[36]) | static_cast<uint8_t>(Original[37]) << 8;
  struct TCase {
    const char* What;
    std::function<void(std::string&)> Damage;
    int Error;
  } Cases[] = {
      {"flipped byte under a checksum", [&](std::string& B) { B[FirstBlock + 200] ^= 0x55; }, FDIERROR_CORRUPT_CABINET},
      {"broken deflate data without checksum",
       [&](std::string& B) {
         std::memset(&B[FirstBlock], 0, 4);
         std::memset(&B[FirstBlock + 8 + 2], 0xFF, 16);
       },
       FDIERROR_MDI_FAIL},
      {"missing block signature", [&](std::string& B) { std::memset(&B[FirstBlock], 0, 4), B[FirstBlock + 8] = 'X'; },
       FDIERROR_MDI_FAIL},
      {"cut in the middle", [&](std::string& B) { B.resize(B.size() / 2); }, FDIERROR_CORRUPT_CABINET},
      {"unknown compression", [&](std::string& B) { B[36 + 6] = 0x0F; }, FDIERROR_BAD_COMPR_TYPE},
      {"bad signature", [&](std::string& B) { B[0] = 'X'; }, FDIERROR_NOT_A_CABINET},
      {"version 2", [&](std::string& B) { B[25] = 2; }, FDIERROR_UNKNOWN_CABINET_VERSION},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.What);
    std::string Bytes = Original;
    Case.Damage(Bytes);
    WriteFile(Cabinet(), Bytes);
    TExtraction R = ExtractIt();
    EXPECT_FALSE(R.Ok);
    EXPECT_TRUE(R.Error.fError);
    EXPECT_EQ(R.Error.erfOper, Case.Error);
    EXPECT_EQ(R.OpenHandles, 0);
    EXPECT_FALSE(R.Misuse);
    EXPECT_FALSE(R.Leak);
  }
}

TEST_F(FdiGcab, FailingCallbacksEndTheCopyWithTheirErrors) {
  TClient FullDisk;
  FullDisk.FailWritesAfter = 50000;
  TExtraction R = ExtractIt(FullDisk);
  EXPECT_EQ(R.Error.erfOper, FDIERROR_TARGET_FILE);
  EXPECT_EQ(R.OpenHandles, 0);

  TClient AbortCopy;
  AbortCopy.OnCopyFile = [](const FDINOTIFICATION& N) { return std::strcmp(N.psz1, "random.bin") == 0 ? -1 : 1; };
  R = ExtractIt(AbortCopy);
  EXPECT_EQ(R.Error.erfOper, FDIERROR_USER_ABORT);
  EXPECT_EQ(R.Files.size(), 2u);  // empty.txt and exact.bin come first

  TClient AbortClose;
  AbortClose.OnCloseFile = [](const FDINOTIFICATION&) { return 0; };
  R = ExtractIt(AbortClose);
  EXPECT_EQ(R.Error.erfOper, FDIERROR_USER_ABORT);
  EXPECT_EQ(R.Files.size(), 1u);

  TClient NoMemoryForContext;
  NoMemoryForContext.AllocationLimit = 1000;
  R = ExtractIt(NoMemoryForContext);
  EXPECT_EQ(R.Error.erfOper, FDIERROR_ALLOC_FAIL);
  EXPECT_TRUE(R.Log.empty());

  TClient NoMemoryForDecoder;
  NoMemoryForDecoder.AllocationLimit = 90000;
  R = ExtractIt(NoMemoryForDecoder);
  EXPECT_EQ(R.Error.erfOper, FDIERROR_ALLOC_FAIL);
  EXPECT_EQ(R.OpenHandles, 0);
  EXPECT_FALSE(R.Leak);
}

TEST_F(FdiGcab, IsCabinetReportsTheHeaderFromTheCurrentPosition) {
  FDICABINETINFO Info{};
  ERF Error{};
  ASSERT_TRUE(IsCabinet(Cabinet().string(), 0, Info, Error));
  EXPECT_EQ(Info.cFiles, Files.size());
  EXPECT_EQ(Info.cFolders, 1);
  EXPECT_EQ(Info.cbCabinet, static_cast<long>(fs::file_size(Cabinet())));
  EXPECT_FALSE(Info.hasnext || Info.hasprev || Info.fReserve);
  // The same cabinet behind some other bytes.
  WriteFile(Cabinet(), std::string(1000, 'z') + ReadFile(Cabinet()));
  EXPECT_FALSE(IsCabinet(Cabinet().string(), 0, Info, Error));
  EXPECT_TRUE(IsCabinet(Cabinet().string(), 1000, Info, Error));
  EXPECT_EQ(Info.cFiles, Files.size());
}

}  // namespace
