// Cabinets from the writer, read back by cabextract and by an independent header reader.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <streambuf>

#include "shared/CabSetTestSupport.h"
#include "system/Encoding.h"
#include "system/Errors.h"

namespace fs = std::filesystem;
using namespace setup;
using namespace cabtest;
using ::testing::HasSubstr;

namespace {

struct TRun {
  int ExitCode;
  std::string Output;
};

TRun RunCommand(const std::string& Command) {
  TRun Result{-1, {}};
  FILE* Pipe = popen((Command + " 2>&1").c_str(), "r");
  if (!Pipe) return Result;
  char Buffer[4096];
  std::size_t N;
  while ((N = fread(Buffer, 1, sizeof Buffer, Pipe)) > 0) Result.Output.append(Buffer, N);
  int Status = pclose(Pipe);
  Result.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  return Result;
}

// cabextract shows and writes the cabinet's backslashes as folder separators.
std::string NameOnDisk(std::string Name) {
  std::replace(Name.begin(), Name.end(), '\\', '/');
  return Name;
}

std::string Quote(const fs::path& Path) { return "'" + Path.string() + "'"; }

using test::TTempDir;

// Extracts with cabextract (which follows a set from its first cabinet) after testing the
// checksums, and checks every file byte for byte and the listing.
void ExpectExtractsIdentically(const fs::path& FirstCabinet, const std::vector<TSourceFile>& Files) {
  TRun Test = RunCommand("cabextract -t " + Quote(FirstCabinet));
  ASSERT_EQ(Test.ExitCode, 0) << Test.Output;
  EXPECT_THAT(Test.Output, HasSubstr("All done, no errors."));

  TRun List = RunCommand("cabextract -l " + Quote(FirstCabinet));
  ASSERT_EQ(List.ExitCode, 0) << List.Output;
  for (const auto& File : Files)
    EXPECT_NE(List.Output.find(" | " + NameOnDisk(File.Name) + "\n"), std::string::npos) << File.Name;

  fs::path Out = FirstCabinet.parent_path() / "extracted";
  TRun Extract = RunCommand("cabextract -q -d " + Quote(Out) + " " + Quote(FirstCabinet));
  ASSERT_EQ(Extract.ExitCode, 0) << Extract.Output;
  std::size_t Count = 0;
  for (const auto& Entry : fs::recursive_directory_iterator(Out))
    if (Entry.is_regular_file()) ++Count;
  EXPECT_EQ(Count, Files.size());
  for (const auto& File : Files) {
    fs::path Path = Out / PathFromUtf8(NameOnDisk(File.Name));
    ASSERT_TRUE(fs::exists(Path)) << File.Name;
    EXPECT_TRUE(test::ReadFile(Path) == File.Data) << "content differs: " << File.Name;
  }
  fs::remove_all(Out);
}

class CabinetWriterByCompression : public ::testing::TestWithParam<TCabinetCompression> {};

TEST_P(CabinetWriterByCompression, SingleCabinetExtractsIdentically) {
  TTempDir Dir;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "one.cab").string();
  Options.Compression = GetParam();
  auto Files = MixedFiles();
  auto Written = WriteCabinets(Options, Files);
  ASSERT_EQ(Written.size(), 1u);
  ExpectExtractsIdentically(Written[0], Files);

  TCabHeader H = ReadHeader(Written[0]);
  EXPECT_EQ(H.Size, H.FileSize);
  EXPECT_EQ(H.Flags, 0);
  EXPECT_EQ(H.Folders.size(), 3u);
  ASSERT_EQ(H.Files.size(), Files.size());
  for (const auto& F : H.Files) {
    bool Ascii = std::all_of(F.Name.begin(), F.Name.end(), [](char C) { return (unsigned char)C < 0x80; });
    EXPECT_EQ((F.Attributes & cabAttrNameIsUtf) != 0, !Ascii) << F.Name;
  }
  for (const auto& Folder : H.Folders) {
    EXPECT_EQ(Folder.Compression, GetParam() == ccMszip ? 1 : GetParam() == ccLzx ? 0x1503 : 0);
    // Every block but a folder's last holds a full 32K.
    for (std::size_t i = 0; i + 1 < Folder.Blocks.size(); ++i) EXPECT_EQ(Folder.Blocks[i].Unpacked, 32768);
  }
}

TEST_P(CabinetWriterByCompression, CabinetOfOneEmptyFile) {
  TTempDir Dir;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "empty.cab").string();
  Options.Compression = GetParam();
  std::vector<TSourceFile> Files{{"nothing", ""}};
  auto Written = WriteCabinets(Options, Files);
  ExpectExtractsIdentically(Written.at(0), Files);
}

TEST_P(CabinetWriterByCompression, SpannedSetExtractsIdenticallyWithConsistentHeaders) {
  TTempDir Dir;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "setup%d.cab").string();
  Options.Compression = GetParam();
  Options.MaxCabinetSize = 60000;
  Options.SetId = 0x4321;
  auto Files = SpanningFiles();
  auto Written = WriteCabinets(Options, Files);
  ASSERT_GE(Written.size(), 4u);
  ExpectExtractsIdentically(Written[0], Files);

  bool SplitBlock = false, CrossesTwo = false;
  std::map<std::string, int> Starts;  // entry name -> number of cabinets that announce it
  for (std::size_t n = 0; n < Written.size(); ++n) {
    SCOPED_TRACE(Written[n]);
    EXPECT_EQ(Written[n], (Dir.Path() / ("setup" + std::to_string(n + 1) + ".cab")).string());
    TCabHeader H = ReadHeader(Written[n]);
    EXPECT_EQ(H.Size, H.FileSize);
    EXPECT_LE(H.FileSize, Options.MaxCabinetSize);
    EXPECT_EQ(H.SetId, 0x4321);
    EXPECT_EQ(H.Index, n);
    bool First = n == 0, Last = n + 1 == Written.size();
    EXPECT_EQ((H.Flags & 1) != 0, !First);
    EXPECT_EQ((H.Flags & 2) != 0, !Last);
    if (!First) {
      EXPECT_EQ(H.PrevCabinet, "setup" + std::to_string(n) + ".cab");
      EXPECT_EQ(H.PrevDisk, "DISK" + std::to_string(n));
    }
    if (!Last) {
      EXPECT_EQ(H.NextCabinet, "setup" + std::to_string(n + 2) + ".cab");
      EXPECT_EQ(H.NextDisk, "DISK" + std::to_string(n + 2));
      const auto& Blocks = H.Folders.back().Blocks;
      if (!Blocks.empty() && Blocks.back().Unpacked == 0) SplitBlock = true;
    }
    for (const auto& F : H.Files) {
      if (F.Folder == 0xFFFF) CrossesTwo = true;
      if (F.Folder != 0xFFFD && F.Folder != 0xFFFF) ++Starts[F.Name];
    }
  }
  EXPECT_TRUE(SplitBlock) << "no data block was split across cabinets";
  EXPECT_TRUE(CrossesTwo) << "no file crossed two boundaries";
  // Each file begins in exactly one cabinet.
  EXPECT_EQ(Starts.size(), Files.size());
  for (const auto& [Name, Count] : Starts) EXPECT_EQ(Count, 1) << Name;
}

INSTANTIATE_TEST_SUITE_P(Compression, CabinetWriterByCompression, ::testing::Values(ccNone, ccMszip, ccLzx),
                         [](const auto& Info) { return std::string(Info.param == ccNone ? "None" : Info.param == ccMszip ? "Mszip" : "Lzx"); });

TEST(CabinetWriter, DiskFoldersHoldOneCabinetEach) {
  TTempDir Dir;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "setup%d.cab").string();
  Options.MaxCabinetSize = 50000;
  Options.DiskFolders = true;
  Options.DiskNamePattern = "Disk %d";
  auto Files = SpanningFiles();
  auto Written = WriteCabinets(Options, Files);
  ASSERT_GE(Written.size(), 3u);
  fs::path Flat = Dir.Path() / "flat";
  fs::create_directories(Flat);
  for (std::size_t n = 0; n < Written.size(); ++n) {
    std::string Name = "setup" + std::to_string(n + 1) + ".cab";
    fs::path Expected = Dir.Path() / ("DISK" + std::to_string(n + 1)) / Name;
    EXPECT_EQ(Written[n], Expected.string());
    ASSERT_TRUE(fs::exists(Expected));
    EXPECT_EQ(std::distance(fs::directory_iterator(Expected.parent_path()), fs::directory_iterator()), 1)
        << "only the cabinet, no spool left behind";
    TCabHeader H = ReadHeader(Expected);
    if (n + 1 < Written.size()) {
      EXPECT_EQ(H.NextDisk, "Disk " + std::to_string(n + 2));
    }
    fs::copy_file(Expected, Flat / Name);
  }
  ExpectExtractsIdentically(Flat / "setup1.cab", Files);
}

// The setup program beside the first cabinet takes part of the first disk: the first cabinet
// gets what is left, however little, and the set still extracts whole.
TEST(CabinetWriter, FirstCabinetLeavesRoomForTheSetupProgram) {
  for (std::uint64_t Reserve : {20000ull, 49900ull}) {
    SCOPED_TRACE(Reserve);
    TTempDir Dir;
    TCabinetWriterOptions Options;
    Options.OutputPattern = (Dir.Path() / "setup%d.cab").string();
    Options.MaxCabinetSize = 50000;
    Options.FirstCabinetReserve = Reserve;
    Options.Compression = ccMszip;
    auto Files = SpanningFiles();
    auto Written = WriteCabinets(Options, Files);
    ASSERT_GE(Written.size(), 3u);
    EXPECT_LE(fs::file_size(Written[0]), Options.MaxCabinetSize - Reserve);
    EXPECT_GT(fs::file_size(Written[0]), 0u);
    for (std::size_t n = 1; n < Written.size(); ++n) EXPECT_LE(fs::file_size(Written[n]), Options.MaxCabinetSize);
    ExpectExtractsIdentically(Written[0], Files);
  }
  TCabinetWriterOptions Full;
  Full.OutputPattern = "setup%d.cab";
  Full.MaxCabinetSize = 50000;
  Full.FirstCabinetReserve = 50000;
  EXPECT_THROW(TCabinetWriter{Full}, Exception);
}

TEST(CabinetWriter, Cp1251NamesCarryNoUtfMark) {
  TTempDir Dir;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "names.cab").string();
  Options.NameEncoding = cneCp1251;
  auto Written = WriteCabinets(Options, {{"Отчёт.txt", "x"}, {"plain", "y"}});
  TCabHeader H = ReadHeader(Written.at(0));
  ASSERT_EQ(H.Files.size(), 2u);
  EXPECT_EQ(H.Files[0].Name, Utf8ToCp1251("Отчёт.txt"));
  EXPECT_EQ(H.Files[0].Attributes & cabAttrNameIsUtf, 0);

  TCabinetWriter Writer(Options);
  std::istringstream In("z");
  EXPECT_THROW(Writer.AddFile({"中文"}, In, 1), Exception);  // not representable in 1251
}

TEST(CabinetWriter, RefusesBadInputAndLeavesNoHalfWrittenSet) {
  TTempDir Dir;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "setup.cab").string();
  Options.MaxCabinetSize = 100000;
  EXPECT_THROW(TCabinetWriter{Options}, Exception);  // a set needs %d
  Options.OutputPattern = (Dir.Path() / "setup%x.cab").string();
  EXPECT_THROW(TCabinetWriter{Options}, Exception);

  Options.OutputPattern = (Dir.Path() / "setup%d.cab").string();
  {
    TCabinetWriter Writer(Options);
    std::istringstream Short("only ten b");
    EXPECT_THROW(Writer.AddFile({"a"}, Short, 11), Exception);
    std::istringstream In("x");
    EXPECT_THROW(Writer.AddFile({std::string(256, 'n')}, In, 1), Exception);
    EXPECT_THROW(Writer.AddFile({""}, In, 1), Exception);
  }
  {
    // Several cabinets are complete when the data outgrows the limit: none may remain.
    Options.MaxCabinetSize = 40000;
    TCabinetWriter Writer(Options);
    std::string Big = MakeData(5, 200000, 0);
    std::istringstream In(Big);
    Writer.AddFile({"big"}, In, Big.size());
    Options.MaxCabinetSize = 0;
  }
  EXPECT_TRUE(fs::is_empty(Dir.Path()));

  // A limit below one data block cannot hold incompressible data.
  Options.MaxCabinetSize = 20000;
  {
    TCabinetWriter Writer(Options);
    std::string Big = MakeData(6, 100000, 0);
    std::istringstream In(Big);
    EXPECT_THROW(
        {
          Writer.AddFile({"big"}, In, Big.size());
          Writer.Finish();
        },
        Exception);
  }
  EXPECT_TRUE(fs::is_empty(Dir.Path()));
}

// Produces Size bytes of generated data without ever holding them.
class TGeneratedBuffer : public std::streambuf {
 public:
  explicit TGeneratedBuffer(std::uint64_t Size) : FLeft(Size) {}
  static void Fill(std::uint64_t Position, char* Out, std::size_t Count) {
    for (std::size_t i = 0; i < Count; ++i) {
      std::uint64_t P = Position + i;
      // Text-like most of the time, with noise so that deflate has work to do.
      std::uint64_t H = (P >> 4) * 0x9E3779B97F4A7C15ull;
      Out[i] = (P % 97 < 90) ? char('a' + (P / 7 + (H >> 60)) % 26) : char(H >> 56);
    }
  }

 protected:
  int_type underflow() override {
    if (FLeft == 0) return traits_type::eof();
    std::size_t N = std::size_t(std::min<std::uint64_t>(FLeft, sizeof FBuffer));
    Fill(FPosition, FBuffer, N);
    FPosition += N;
    FLeft -= N;
    setg(FBuffer, FBuffer, FBuffer + N);
    return traits_type::to_int_type(FBuffer[0]);
  }

 private:
  std::uint64_t FLeft;
  std::uint64_t FPosition = 0;
  char FBuffer[65536];
};

long PeakKilobytes() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return Usage.ru_maxrss;
}

TEST(CabinetWriter, LargeInputStreamsWithBoundedMemory) {
  TTempDir Dir;
  const std::uint64_t Size = 120ull << 20;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "setup%d.cab").string();
  Options.MaxCabinetSize = 16 << 20;
  Options.CompressionLevel = 1;
  long Before = PeakKilobytes();
  std::vector<std::string> Written;
  {
    TCabinetWriter Writer(Options);
    TGeneratedBuffer Buffer(Size);
    std::istream In(&Buffer);
    Writer.AddFile({"large.bin"}, In, Size);
    Written = Writer.Finish();
  }
  EXPECT_LT(PeakKilobytes() - Before, 32 * 1024) << "memory grew with the input";
  ASSERT_GE(Written.size(), 2u);

  FILE* Pipe = popen(("cabextract -q -p -F large.bin " + Quote(Written[0])).c_str(), "r");
  ASSERT_NE(Pipe, nullptr);
  std::vector<char> Got(1 << 16), Expected(1 << 16);
  std::uint64_t Position = 0;
  bool Same = true;
  std::size_t N;
  while ((N = fread(Got.data(), 1, Got.size(), Pipe)) > 0) {
    TGeneratedBuffer::Fill(Position, Expected.data(), N);
    if (Same && std::memcmp(Got.data(), Expected.data(), N) != 0) Same = false;
    Position += N;
  }
  EXPECT_EQ(pclose(Pipe), 0);
  EXPECT_EQ(Position, Size);
  EXPECT_TRUE(Same);
}

TEST(CabinetWriter, RefusesCabinetsThatReadersRefuseBeforeWritingThem) {
  // Readers take cabinet offsets as signed 32-bit numbers: nothing beyond 2 GB - 1 is written.
  TTempDir Dir;
  TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir.Path() / "setup%d.cab").string();
  Options.MaxCabinetSize = 0x80000000u;
  try {
    TCabinetWriter Writer(Options);
    ADD_FAILURE() << "a set of 2 GB cabinets was accepted";
  } catch (const Exception& Error) {
    EXPECT_THAT(Error.what(), HasSubstr("2 GB (2147483647 bytes)"));
  }
  Options.MaxCabinetSize = 0x7FFFFFFF;
  EXPECT_NO_THROW(TCabinetWriter{Options});

  // One cabinet without a limit, stored data: the file that would cross the line is refused
  // before any of it is read, and nothing is left behind.
  Options.OutputPattern = (Dir.Path() / "single.cab").string();
  Options.MaxCabinetSize = 0;
  Options.Compression = ccNone;
  {
    TCabinetWriter Writer(Options);
    std::istringstream Small("small");
    Writer.AddFile({"a"}, Small, 5);
    std::istringstream Nothing;
    try {
      Writer.AddFile({"huge"}, Nothing, std::uint64_t(65534) * 32768);
      ADD_FAILURE() << "a cabinet over 2 GB was begun";
    } catch (const Exception& Error) {
      EXPECT_THAT(Error.what(), HasSubstr("larger than 2 GB"));
    }
  }
  EXPECT_TRUE(fs::is_empty(Dir.Path()));
}

TEST(Mkcab, BadArgumentsPrintUsageAndExitTwo) {
  for (const char* Args : {"", "out.cab", "-m lzx:22 out.cab a=b", "-m lzx:14 out.cab a=b", "-m quantum out.cab a=b", "-s 0 x%d.cab a=b", "out.cab noequals",
                           "--frobnicate out.cab a=b", "-i 70000 out.cab a=b", "-s",
                           "-s 2049M x%d.cab a=b"}) {
    TRun R = RunCommand(std::string(MKCAB_PATH) + " " + Args);
    EXPECT_EQ(R.ExitCode, 2) << Args;
    EXPECT_THAT(R.Output, HasSubstr("Usage: mkcab")) << Args;
  }
}

TEST(Mkcab, SaysWhyASizeOver2GBIsRefused) {
  TRun R = RunCommand(std::string(MKCAB_PATH) + " -s 2049M x%d.cab a=b");
  EXPECT_EQ(R.ExitCode, 2);
  EXPECT_THAT(R.Output, HasSubstr("must not exceed 2 GB (2147483647 bytes)"));
}

TEST(Mkcab, WritesSetFromFilesAndList) {
  TTempDir Dir;
  std::vector<TSourceFile> Files;
  std::string List;
  for (int i = 0; i < 8; ++i) {
    TSourceFile F{std::to_string(i + 1), MakeData(i, 9000 * i, i % 3)};
    fs::path Source = Dir.Path() / ("src" + std::to_string(i));
    std::ofstream(Source, std::ios::binary) << F.Data;
    if (i < 4) List += F.Name + "=" + Source.string() + "\n";
    Files.push_back(F);
  }
  std::ofstream(Dir.Path() / "list.txt") << List;
  std::string Command = std::string(MKCAB_PATH) + " -s 40K -f 3 -i 77 -m mszip " +
                        Quote(Dir.Path() / "out" / "setup%d.cab") + " @" + Quote(Dir.Path() / "list.txt");
  for (int i = 4; i < 8; ++i) Command += " " + Files[i].Name + "=" + Quote(Dir.Path() / ("src" + std::to_string(i)));
  TRun R = RunCommand(Command);
  ASSERT_EQ(R.ExitCode, 0) << R.Output;
  EXPECT_THAT(R.Output, HasSubstr("setup1.cab\n"));
  EXPECT_THAT(R.Output, HasSubstr("setup2.cab\n"));
  TCabHeader H = ReadHeader(Dir.Path() / "out" / "setup1.cab");
  EXPECT_EQ(H.SetId, 77);
  ExpectExtractsIdentically(Dir.Path() / "out" / "setup1.cab", Files);

  TRun Missing = RunCommand(std::string(MKCAB_PATH) + " " + Quote(Dir.Path() / "x.cab") + " a=" + Quote(Dir.Path() / "nope"));
  EXPECT_EQ(Missing.ExitCode, 1);
  EXPECT_FALSE(fs::exists(Dir.Path() / "x.cab"));
}

}  // namespace
