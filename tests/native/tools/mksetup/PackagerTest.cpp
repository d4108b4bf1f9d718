// The packager on a small product: script encodings and their refusals, the command line,
// the stub's resources after packing, the uninstaller's hook, signing order, spanning.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "shared/CabSetTestSupport.h"
#include "Packager.h"
#include "cabinet/EmbeddedCabinet.h"
#include "Winget.h"
#include "pe/PeResources.h"
#include "shared/PeTestImage.h"
#include "shared/TestFiles.h"
#include "system/Encoding.h"
#include "system/Files.h"
#include "system/Inflate.h"
#include "system/Sha256.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace setup::mksetup;
using setup::pe::TPeImage;
using setup::pe::TResourceName;

// "FILE = n 1 0 0 0 0 0 0 0 SIZE 0 0  0 0 0 0" with FILEPATH.
std::string FileRecord(int Item, std::size_t Size, const std::string& Path, int RunBefore = 0) {
  return "FILE = " + std::to_string(Item) + " 1 0 0 0 0 0 0 0 " + std::to_string(Size) + " 0 0  0 " +
         std::to_string(RunBefore) + " 0 0\nFILEPATH = " + Path + "\n";
}

class PackagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Dir / "files" / "bin");
    Write("files/bin/app.exe", std::string(3000, 'a'));
    Write("files/readme.txt", "readme\r\n");
    setup::pe::TResourceTable Stub;
    Stub.Set(TResourceName::FromId(24), TResourceName::FromId(1), "<assembly/>");
    Stub.Set(TResourceName::FromId(10), TResourceName::FromText("CABINET"), "MZ library bytes");
    Write("stub.exe", TPeImage(petest::BuildImage({{".text", "code", petest::cCode},
                                                   {".rsrc", "", petest::cResources, true},
                                                   {".reloc", "", petest::cRelocations, false, true}}))
                          .WithResources(Stub));
    Options.FilesDir = P("files");
    Options.Stub = P("stub.exe");
    Options.OutDir = P("out");
    Options.Script = P("setup.ini");
  }

  std::string P(const std::string& Relative) const { return (Dir / Relative).string(); }
  void Write(const std::string& Relative, const std::string& Bytes) const { setup::SaveBytesToFile(P(Relative), Bytes); }
  std::string Script(const std::string& Records) const {
    return "DESCRIPTION = Продукт\nFULLINSTALL = 1\nGROUP = 1 0 0 1 1 4\nGROUPCAPTION = Всё\n" + Records +
           "DIR = 90 1 0 0 0 0\nDIRPATH = \\bin\n";
  }
  TPackResult Pack() {
    return Package(Options, P("nowhere"), Log, Signer);
  }
  std::string Resource(const std::string& Path, std::uint16_t Type, const std::string& Name) const {
    const auto Table = TPeImage(setup::LoadBytesFromFile(Path)).ReadResources();
    const auto* R = Table.Find(TResourceName::FromId(Type), TResourceName::FromText(Name));
    return R ? R->Data : "<none>";
  }
  // The packaging fails; the message holds every fragment and nothing is left in OUTDIR.
  void ExpectRefused(std::initializer_list<std::string> Fragments) {
    try {
      Pack();
      ADD_FAILURE() << "packed";
    } catch (const setup::Exception& E) {
      for (const auto& F : Fragments) EXPECT_NE(std::string(E.what()).find(F), std::string::npos) << E.what();
    }
    EXPECT_FALSE(fs::exists(Dir / "out" / "DISK1" / "setup.exe"));
  }

  test::TTempDir Temp{"mksetup-test"};
  const fs::path& Dir = Temp.Path();
  TPackOptions Options;
  std::ostringstream Log;
  TSigner Signer = RunSignCommand;
};

TEST(ScriptDecoding, DetectsUtf8AndCodePage1251AndStoresCodePage1251WithCrLf) {
  const std::string Utf8 = "DESCRIPTION = Продукт\nGROUPNAME = Группа\r\nREADME = ok\r";
  const std::string Expected = "DESCRIPTION = \xCF\xF0\xEE\xE4\xF3\xEA\xF2\r\nGROUPNAME = \xC3\xF0\xF3\xEF\xEF\xE0\r\nREADME = ok\r\n";
  EXPECT_EQ(DecodeScript(Utf8, "s").Cp1251, Expected);
  EXPECT_EQ(DecodeScript("\xEF\xBB\xBF" + Utf8, "s").Cp1251, Expected);
  const auto Cp1251 = DecodeScript(Expected, "s");
  EXPECT_EQ(Cp1251.Cp1251, Expected);
  EXPECT_EQ(Cp1251.Encoding, "code page 1251");
}

TEST(ScriptDecoding, NamesEveryLineThatCodePage1251CannotHoldOrThatHasANul) {
  try {
    DecodeScript("DESCRIPTION = ok\nREADME = 中文\nREADME = fine\nLICENSE = a\xE2\x9C\x93\nREADME = x\0y"s, "s.ini");
    FAIL();
  } catch (const setup::Exception& E) {
    const std::string M = E.what();
    EXPECT_NE(M.find("s.ini:2: error: '中' cannot be written in code page 1251"), std::string::npos) << M;
    EXPECT_NE(M.find("s.ini:4: error: '✓'"), std::string::npos) << M;
    EXPECT_NE(M.find("s.ini:5: error: a NUL character"), std::string::npos) << M;
    EXPECT_EQ(M.find("s.ini:3"), std::string::npos) << M;
  }
  EXPECT_THROW(DecodeScript("\xEF\xBB\xBF\xCF\xF0\xEE", "s"), setup::Exception);  // a BOM on 1251 text
}

// A UTF-8 script with a line that is not UTF-8 (pasted from a code page 1251 file, or a
// character cut short) is refused at that line rather than read whole as code page 1251;
// a code page 1251 script stays one, even where two of its bytes happen to be UTF-8.
TEST(ScriptDecoding, AUtf8ScriptWithALineThatIsNotIsRefusedAtThatLine) {
  for (const std::string Bom : {""s, "\xEF\xBB\xBF"s}) {
    try {
      DecodeScript(Bom + "DESCRIPTION = Продукт\nGROUPNAME = \xC3\xF0\xF3\xEF\xEF\xE0\nREADME = a\xD0\n", "s.ini");
      ADD_FAILURE() << "decoded";
    } catch (const setup::Exception& E) {
      EXPECT_NE(std::string(E.what()).find("s.ini:2: error: this line is not UTF-8"), std::string::npos) << E.what();
      EXPECT_NE(std::string(E.what()).find("s.ini:3: error:"), std::string::npos) << E.what();
      EXPECT_EQ(std::string(E.what()).find("s.ini:1:"), std::string::npos) << E.what();
    }
  }
  // «ООО РОС» and a "Рё"-like pair: valid UTF-8 byte pairs, but single ones between 1251 words.
  const std::string Cp1251 = "DESCRIPTION = \xAB\xCE\xCE\xCE \xD0\xCE\xD1\xBB\r\nGROUPNAME = \xD0\xB8\r\n";
  EXPECT_EQ(DecodeScript(Cp1251, "s").Encoding, "code page 1251");
  EXPECT_EQ(DecodeScript(Cp1251, "s").Cp1251, Cp1251);
}

TEST(CommandLine, DiskSizesCompressionAndRunBefore) {
  // Named media give the room a formatted medium leaves for files, and its allocation unit.
  auto Disk = [](const char* Text) {
    const auto D = ParseDiskSize(Text);
    return std::make_pair(D.Bytes, D.Unit);
  };
  EXPECT_EQ(Disk("1.44M"), std::make_pair(std::uint64_t(1457664), 512u));
  EXPECT_EQ(Disk("1.44m"), Disk("1.44M"));
  EXPECT_EQ(Disk("2.88M"), std::make_pair(std::uint64_t(2915328), 1024u));
  EXPECT_EQ(Disk("650M"), std::make_pair(std::uint64_t(681984000 - 1048576), 2048u));
  EXPECT_EQ(Disk("4.7G").first, 4700372992u - 1048576);
  EXPECT_EQ(Disk("123456"), std::make_pair(std::uint64_t(123456), 1u));
  for (const char* Bad : {"", "0", "1.2M", "-5", "12K", "99999999999999999999"}) EXPECT_THROW(ParseDiskSize(Bad), TUsageError) << Bad;

  const auto O = ParseArguments({"--compression", "lzx:16", "--runbefore", "7=tool.exe", "--disk-size=2.88M",
                                 "--banner-link", "2=https://example.org/blog", "a.ini", "out"});
  ASSERT_EQ(O.BannerLinks.size(), 1u);
  EXPECT_EQ(O.BannerLinks[0], std::make_pair(2, std::string("https://example.org/blog")));
  EXPECT_EQ(O.Compression, TCompressionKind::Lzx);
  EXPECT_EQ(O.LzxWindow, 16);
  ASSERT_EQ(O.RunBefore.size(), 1u);
  EXPECT_EQ(O.RunBefore[0], std::make_pair(std::int32_t(7), std::string("tool.exe")));
  EXPECT_EQ(O.DiskSize, 2915328u);
  EXPECT_EQ(O.DiskUnit, 1024u);
  EXPECT_EQ(O.Script, "a.ini");
  EXPECT_EQ(O.OutDir, "out");
  for (const std::vector<std::string>& Bad : std::vector<std::vector<std::string>>{
           {"--compression", "lzx:22", "a", "b"}, {"--compression", "quantum", "a", "b"}, {"--runbefore", "x=y", "a", "b"},
           {"a"}, {"a", "b", "c"}, {"--frobnicate", "a", "b"}, {"a", "b", "--logo"},
           {"--banner-link", "3=https://example.org", "a", "b"}, {"--banner-link", "1", "a", "b"},
           {"--banner-link", "1=C:\\Windows\\calc.exe", "a", "b"}, {"--banner-link", "1=", "a", "b"},
           {"--banner-link", "1=https://a.org", "--banner-link", "1=https://b.org", "a", "b"},
           {"--banner", "3=b.bmp", "a", "b"}, {"--banner", "1", "a", "b"}, {"--banner", "1=a", "--banner", "1=b", "a", "b"}})
    EXPECT_THROW(ParseArguments(Bad), TUsageError);
}

TEST(SizeColumn, ReplacesOnlyTheTenthColumnOfItsLine) {
  const std::string S = "A = 1\r\nFILE = 3 1 0 0 0 0 0 0 0 156 1 0 1.0.0.1 0 0 1 0\r\nB = 2\r\n";
  EXPECT_EQ(WithFileSize(S, 2, 4096), "A = 1\r\nFILE = 3 1 0 0 0 0 0 0 0 4096 1 0 1.0.0.1 0 0 1 0\r\nB = 2\r\n");
}

TEST_F(PackagerTest, FillsTheStubAndPacksEveryFile) {
  Write("setup.ini", "VERSION = 3.4.5 beta\nPUBLISHER = Вендор\n" +
                         Script(FileRecord(2, 3000, "\\bin\\app.exe") + FileRecord(3, 8, "\\readme.txt") +
                                FileRecord(4, 4, "\\tool.exe", 1)));
  Write("files/tool.exe", "tool");
  const std::string Demo = std::string(SETUP_ROOT) + "/examples/demo/";
  Options.Banners = {{2, Demo + "banner-blog.bmp"}};
  Options.Icon = Demo + "demo.ico";
  Write("before.exe", "program run before installing");
  Options.RunBefore = {{4, P("before.exe")}};
  Options.Logo = std::string(SETUP_ROOT) + "/examples/demo/logo.bmp";
  Options.Background = Options.Logo;
  Options.BannerLinks = {{1, "https://example.org/service"}};
  const auto Result = Pack();
  const std::string Setup = P("out/DISK1/setup.exe");
  EXPECT_EQ(Resource(Setup, 10, "SCRIPT"), DecodeScript(setup::LoadBytesFromFile(P("setup.ini")), "").Cp1251);
  EXPECT_EQ(Resource(Setup, 10, "CABINET"), "MZ library bytes");
  EXPECT_EQ(Resource(Setup, 2, "LOGO"), setup::LoadBytesFromFile(Options.Logo).substr(14));
  EXPECT_EQ(Resource(Setup, 2, "BACKGROUND"), setup::LoadBytesFromFile(Options.Logo).substr(14));
  EXPECT_EQ(Resource(Setup, 10, "RUNBEFORE4"), "program run before installing");
  // Only the banner given a page leads anywhere.
  EXPECT_EQ(Resource(Setup, 10, "BANNERLINK1"), "https://example.org/service");
  const std::string SetupBytes = setup::LoadBytesFromFile(Setup);
  const TPeImage SetupImage(SetupBytes);
  const auto Table = SetupImage.ReadResources();
  EXPECT_EQ(Table.Find(TResourceName::FromId(10), TResourceName::FromText("BANNERLINK2")), nullptr);
  // The vendor's banner, icon and version information.
  EXPECT_EQ(Resource(Setup, 2, "BANNER2"), setup::LoadBytesFromFile(Demo + "banner-blog.bmp").substr(14));
  EXPECT_EQ(Table.Find(TResourceName::FromId(2), TResourceName::FromText("BANNER1")), nullptr);
  const std::string Ico = setup::LoadBytesFromFile(Options.Icon);
  const auto* Image = Table.Find(TResourceName::FromId(3), TResourceName::FromId(1));
  const auto* Group = Table.Find(TResourceName::FromId(14), TResourceName::FromId(1));
  ASSERT_TRUE(Image && Group);
  EXPECT_EQ(Image->Data, Ico.substr(22));
  EXPECT_EQ(Group->Data, Ico.substr(0, 18) + "\x01\x00"s);
  const auto* Version = Table.Find(TResourceName::FromId(16), TResourceName::FromId(1));
  ASSERT_NE(Version, nullptr);
  const std::size_t Fixed = Version->Data.find("\xBD\x04\xEF\xFE");
  ASSERT_NE(Fixed, std::string::npos);
  EXPECT_EQ(petest::Get32(Version->Data, Fixed + 8), 0x00030004u);
  EXPECT_EQ(petest::Get32(Version->Data, Fixed + 12), 0x00050000u);
  for (const char* Text : {"CompanyName", "Вендор", "ProductVersion", "3.4.5 beta", "Продукт setup"}) {
    const std::u16string Wide = setup::Utf8ToUtf16(Text);
    EXPECT_NE(Version->Data.find(std::string(reinterpret_cast<const char*>(Wide.data()), Wide.size() * 2)), std::string::npos)
        << Text;
  }
  // Kept in the swap file when started from a disk that is changed, or from a share; the
  // stub's own characteristics stay, and the checksum covers the change.
  const std::uint16_t StubFlags = TPeImage(setup::LoadBytesFromFile(Options.Stub)).FileCharacteristics();
  EXPECT_EQ(SetupImage.FileCharacteristics(),
            StubFlags | setup::pe::cFileRemovableRunFromSwap | setup::pe::cFileNetRunFromSwap);
  EXPECT_EQ(StubFlags & 0x0C00, 0);
  EXPECT_EQ(SetupImage.StoredChecksum(), TPeImage::ComputeChecksum(SetupBytes, SetupImage.ChecksumOffset()));
  EXPECT_NE(Table.Find(TResourceName::FromId(24), TResourceName::FromId(1)), nullptr);
  ASSERT_EQ(Result.Files.size(), 3u);
  EXPECT_EQ(Result.Files[0].ItemNo, 2);
  EXPECT_EQ(Result.BytesIn, 3012u);
  EXPECT_EQ(Result.Disks, 1);
  EXPECT_TRUE(fs::exists(Dir / "out" / "DISK1" / "setup1.cab"));
  EXPECT_FALSE(fs::exists(Dir / "out" / ".mksetup-work"));
  EXPECT_EQ(Log.str().find("warning"), std::string::npos) << Log.str();
}

TEST_F(PackagerTest, EntriesAreNamedByItemAndCarryTheSourcesTimeAndReadOnlyMark) {
  Write("setup.ini", Script(FileRecord(2, 3000, "\\bin\\app.exe") + FileRecord(3, 8, "\\readme.txt")));
  // 2021-06-15 10:20:30 local time, as the cabinet keeps it.
  std::tm Local{};
  Local.tm_year = 121, Local.tm_mon = 5, Local.tm_mday = 15, Local.tm_hour = 10, Local.tm_min = 20, Local.tm_sec = 30;
  Local.tm_isdst = -1;
  const auto When = std::chrono::system_clock::from_time_t(std::mktime(&Local));
  fs::last_write_time(Dir / "files/readme.txt", std::chrono::file_clock::from_sys(When));
  fs::permissions(Dir / "files/readme.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  Pack();
  const auto Header = cabtest::ReadHeader(Dir / "out/DISK1/setup1.cab");
  ASSERT_EQ(Header.Files.size(), 2u);
  EXPECT_EQ(Header.Files[0].Name, "2");
  EXPECT_EQ(Header.Files[1].Name, "3");
  EXPECT_EQ(Header.Files[1].Date, (41 << 9) | (6 << 5) | 15);
  EXPECT_EQ(Header.Files[1].Time, (10 << 11) | (20 << 5) | 15);
  EXPECT_EQ(Header.Files[1].Attributes, setup::cabAttrArchive | setup::cabAttrReadOnly);
  EXPECT_EQ(Header.Files[0].Attributes, setup::cabAttrArchive);
}

TEST_F(PackagerTest, WarnsAboutWrongSizesOrFixesThem) {
  Write("setup.ini", Script(FileRecord(2, 12, "\\bin\\app.exe")));
  Pack();
  EXPECT_NE(Log.str().find("setup.ini:5: warning: FILE 2 gives the size 12 but"), std::string::npos) << Log.str();
  Options.FixSizes = true;
  Pack();
  EXPECT_NE(Resource(P("out/DISK1/setup.exe"), 10, "SCRIPT").find("FILE = 2 1 0 0 0 0 0 0 0 3000 0 0"), std::string::npos);
}

// The version column against the packed library's own version resource.
TEST_F(PackagerTest, WarnsAboutAVersionColumnThatIsNotTheFilesOwn) {
  setup::pe::TResourceTable Version;
  Version.Set(TResourceName::FromId(16), TResourceName::FromId(1),
              "\x5c\x03\x34\x00VS_VERSION_INFO\xBD\x04\xEF\xFE\x00\x00\x01\x00"s + "\x08\x00\x02\x00\x00\x00\x05\x00"s);
  Write("files/bin/app.exe", TPeImage(petest::BuildImage({{".text", "code", petest::cCode},
                                                          {".rsrc", "", petest::cResources, true},
                                                          {".reloc", "", petest::cRelocations, false, true}}))
                                 .WithResources(Version));
  for (const std::string& Column : {"2.8.5.0", "2.8.0.0"}) {
    Log.str("");
    Write("setup.ini", Script("FILE = 2 1 0 0 0 0 0 0 0 0 1 0 " + Column + " 0 0 0 0\nFILEPATH = \\bin\\app.exe\n"));
    Options.FixSizes = true;
    Pack();
    EXPECT_EQ(Log.str().find("FILE 2 gives the version 2.8.0.0 but") != std::string::npos, Column == "2.8.0.0")
        << Log.str();
  }
}

TEST_F(PackagerTest, RefusesWithEveryProblemAtOnce) {
  Write("setup.ini", Script(FileRecord(2, 3000, "\\bin\\app.exe") + FileRecord(3, 1, "\\missing.txt") +
                            FileRecord(4, 1, "\\tool.exe", 1)));
  Write("not.bmp", "BM but not much else");
  Options.Logo = P("not.bmp");
  Write("list.txt", "2=bin/app.exe\n99=readme.txt\n");
  Options.ListFile = P("list.txt");
  ExpectRefused({"setup.ini:7: error: FILE 3: its content", "list.txt:2: error: item 99 is no FILE record",
                 "--logo", "FILE 4 runs before installing but no --runbefore 4=PROGRAM"});
}

TEST_F(PackagerTest, RefusesWhatTheProgramWouldRefuseOrMisread) {
  Write("setup.ini", Script("DIR = 5 9 0 0 0 0\nDIRPATH = \\x\n"));
  ExpectRefused({"setup.ini:5: error:", "owner"});
  Write("setup.ini", Script("GROUPDIRECTORY = 4 \n"));
  ExpectRefused({"setup.ini:5: error: '4 ' is not a valid integer value"});
  // A folder above the product's, and a FILE number given twice (the second record's file would
  // never be installed).
  Write("setup.ini", Script("DIR = 5 1 0 0 1 0\nDIRPATH = \\Cache\\..\\..\n" + FileRecord(2, 3000, "\\bin\\app.exe") +
                            FileRecord(2, 8, "\\readme.txt")));
  ExpectRefused({"setup.ini:5: error: DIR 5 has a '.' or '..' component", "setup.ini:9: error: file number 2"});
  // Lines the program would ignore are refused unless the author says they may pass.
  Write("setup.ini", Script("DESCRIPTON = typo\nDIR=4 1 0 0 0 0\nDESCRIPTION = again\n"));
  ExpectRefused({"setup.ini:5: error: unknown key 'DESCRIPTON'", "setup.ini:6: error: wrong spacing", "--lenient"});
  Options.Lenient = true;
  Pack();
  EXPECT_NE(Log.str().find("setup.ini:5: warning: unknown key"), std::string::npos) << Log.str();
  EXPECT_NE(Log.str().find("setup.ini:7: warning: DESCRIPTION was already set"), std::string::npos) << Log.str();
}

// The list names files inside --files only: no absolute path, no "." or "..", and no
// symbolic link (of the file or of a folder on its way) that leads outside.
TEST_F(PackagerTest, RefusesListEntriesThatLeadOutsideTheFilesFolder) {
  fs::create_directories(Dir / "outside" / "deep");
  Write("outside/secret.txt", "secret");
  Write("outside/deep/key.txt", "key");
  fs::create_symlink(Dir / "outside" / "secret.txt", Dir / "files" / "secret.txt");
  fs::create_directory_symlink(Dir / "outside", Dir / "files" / "linked");
  fs::create_symlink(Dir / "files" / "readme.txt", Dir / "files" / "inner.txt");  // stays inside: fine
  std::string Records;
  for (int i = 2; i <= 8; ++i) Records += FileRecord(i, 0, "");
  Write("setup.ini", Script(Records));
  Write("list.txt", "2=../outside/secret.txt\n3=" + P("outside/secret.txt") +
                        "\n4=C:\\outside\\secret.txt\n"
                        "5=secret.txt\n6=linked/deep/key.txt\n7=bin/./app.exe\n8=inner.txt\n");
  Options.ListFile = P("list.txt");
  ExpectRefused({"list.txt:1: error: '../outside/secret.txt' has a '.' or '..' component",
                 "list.txt:2: error: '" + P("outside/secret.txt") + "' is an absolute path",
                 "list.txt:3: error: 'C:\\outside\\secret.txt' is an absolute path", "list.txt:4: error: FILE 5: '",
                 "list.txt:5: error: FILE 6: '", "leads outside --files",
                 "list.txt:6: error: 'bin/./app.exe' has a '.' or '..' component"});
  try {
    Pack();
  } catch (const setup::Exception& E) {
    EXPECT_EQ(std::string(E.what()).find("list.txt:7"), std::string::npos) << E.what();
  }
}

// The set and setup.exe are made aside and take their names at the end: a build stopped while
// it signs setup.exe (its last step) leaves nothing under a final name, and a failed one
// leaves nothing at all. A signed set of several disks is packed once.
TEST_F(PackagerTest, NoCabinetOrSetupTakesItsNameBeforeTheBuildIsDone) {
  std::string Records = FileRecord(2, 3000, "\\bin\\app.exe");
  for (int i = 3; i < 8; ++i) {
    Write("files/f" + std::to_string(i) + ".bin", petest::BuildImage({{".text", std::string(4000 + i, char(i))}}));
    Records += FileRecord(i, 0, "\\f" + std::to_string(i) + ".bin");
  }
  Write("setup.ini", Script(Records));
  Options.Compression = TCompressionKind::None;
  Options.DiskSize = fs::file_size(Options.Stub) + 4096 + 16000;
  Options.Sign = "sign-it";
  // A signed set of several disks is packed once: setup.exe is signed once after it.
  int SignedAfterPacking = 0;
  Signer = [&](const std::string&, const std::string& Path) {
    setup::SaveBytesToFile(Path, setup::LoadBytesFromFile(Path) + std::string(1000, 's'));
    if (fs::path(Path).filename() != "setup.exe") return;
    for (const auto& Entry : fs::recursive_directory_iterator(Dir / "out"))
      if (Entry.path().extension() == ".cab") {
        ++SignedAfterPacking;
        break;
      }
    for (int n = 1; n <= 9; ++n) {
      const fs::path Disk = Dir / "out" / ("DISK" + std::to_string(n));
      EXPECT_FALSE(fs::exists(Disk / ("setup" + std::to_string(n) + ".cab"))) << Disk << " while setup.exe is signed";
      EXPECT_FALSE(fs::exists(Disk / "setup.exe")) << Disk << " while setup.exe is signed";
    }
  };
  EXPECT_GE(Pack().Disks, 2);
  EXPECT_EQ(SignedAfterPacking, 1);
  Signer = [](const std::string&, const std::string& Path) {
    if (fs::path(Path).filename() == "setup.exe") throw setup::Exception("the signing server is down");
  };
  EXPECT_THROW(Pack(), setup::Exception);
  EXPECT_TRUE(fs::is_empty(Dir / "out")) << fs::begin(fs::directory_iterator(Dir / "out"))->path();
}

TEST_F(PackagerTest, UnInstallExeComesFromTheUninstallerOptionWhenTheFolderHasNone) {
  Write("setup.ini", Script(FileRecord(2, 3000, "\\bin\\app.exe") + FileRecord(3, 7, "\\UnInstall.exe")));
  ExpectRefused({"FILE 3 is UnInstall.exe", "--uninstaller"});
  Write("uninst.bin", "removes");
  Options.Uninstaller = P("uninst.bin");
  const auto Result = Pack();
  ASSERT_EQ(Result.Files.size(), 2u);
  EXPECT_EQ(Result.Files[1].Source, P("uninst.bin"));
}

TEST_F(PackagerTest, SignsTheLibraryTheUninstallerAndSetupInThatOrderBeforeEachIsUsed) {
  Write("setup.ini", Script(FileRecord(2, 3000, "\\bin\\app.exe") + FileRecord(3, 7, "\\UnInstall.exe")));
  Write("uninst.bin", "removes");
  Options.Uninstaller = P("uninst.bin");
  std::vector<std::string> Signed;
  Signer = [&](const std::string& Command, const std::string& Path) {
    EXPECT_EQ(Command, "sign-it");
    Signed.push_back(fs::path(Path).filename().string());
    setup::SaveBytesToFile(Path, setup::LoadBytesFromFile(Path) + "+SIGNED");
  };
  Options.Sign = "sign-it";
  const auto Result = Pack();
  EXPECT_EQ(Signed, (std::vector<std::string>{"UnInstall.exe", "CABINET.DLL", "setup.exe"}));
  // Signed as the library itself, carried packed.
  EXPECT_EQ(setup::UnpackLibrary(Resource(P("out/DISK1/setup.exe"), 10, "CABINET")), "MZ library bytes+SIGNED");
  const std::string Setup = setup::LoadBytesFromFile(P("out/DISK1/setup.exe"));
  EXPECT_EQ(Setup.substr(Setup.size() - 7), "+SIGNED");
  EXPECT_EQ(Result.Files[1].Size, 14u);  // the signed copy is what the cabinet carries
  EXPECT_EQ(setup::LoadBytesFromFile(P("uninst.bin")), "removes");  // the original stays as it was
  EXPECT_EQ(Result.Files[1].Source, P("uninst.bin"));
}

TEST_F(PackagerTest, SpansDisksWithSetupExeCountedOnTheFirst) {
  std::string Records = FileRecord(2, 3000, "\\bin\\app.exe");
  for (int i = 3; i < 12; ++i) {
    Write("files/f" + std::to_string(i) + ".bin", petest::BuildImage({{".text", std::string(4000 + i, char(i))}}));
    Records += FileRecord(i, 0, "\\f" + std::to_string(i) + ".bin");
  }
  Write("setup.ini", Script(Records));
  Options.Compression = TCompressionKind::None;
  const auto Setup = fs::file_size(Options.Stub) + 4096;  // a generous bound on the filled stub
  Options.DiskSize = Setup + 15000;
  Options.DiskUnit = 512;
  const auto Result = Pack();
  EXPECT_GE(Result.Disks, 3);
  // Counted in whole allocation units, as the disk stores them.
  auto OnDisk = [](const fs::path& File) { return (fs::file_size(File) + 511) / 512 * 512; };
  EXPECT_LE(OnDisk(Dir / "out/DISK1/setup.exe") + OnDisk(Dir / "out/DISK1/setup1.cab"), Options.DiskSize);
  for (int n = 2; n <= Result.Disks; ++n)
    EXPECT_LE(OnDisk(Dir / "out" / ("DISK" + std::to_string(n)) / ("setup" + std::to_string(n) + ".cab")), Options.DiskSize);
  // A second run with one disk leaves no stale disk of the first behind.
  Options.DiskSize = 0;
  EXPECT_EQ(Pack().Disks, 1);
  EXPECT_FALSE(fs::exists(Dir / "out" / "DISK2"));
}

TEST_F(PackagerTest, SetupCarriesTheDigestOfEveryCabinetAndBuildsOfOtherFilesGetOtherSets) {
  std::string Records;
  for (int i = 3; i < 12; ++i) {
    Write("files/f" + std::to_string(i) + ".bin", petest::BuildImage({{".text", std::string(4000 + i, char(i))}}));
    Records += FileRecord(i, 0, "\\f" + std::to_string(i) + ".bin");
  }
  Write("setup.ini", Script(Records));
  Options.Compression = TCompressionKind::None;
  Options.DiskSize = fs::file_size(Options.Stub) + 4096 + 15000;
  Options.DiskUnit = 512;
  const auto Result = Pack();
  ASSERT_GE(Result.Disks, 3);
  std::string Expected;
  for (int n = 1; n <= Result.Disks; ++n) {
    const auto Cab = Dir / "out" / ("DISK" + std::to_string(n)) / ("setup" + std::to_string(n) + ".cab");
    Expected += "setup" + std::to_string(n) + ".cab=" + setup::Sha256Hex(setup::LoadBytesFromFile(Cab.string())) + "\n";
  }
  const std::string Digests = Resource(P("out/DISK1/setup.exe"), 10, "CABDIGESTS");
  EXPECT_EQ(Digests.substr(0, Expected.size()), Expected);
  EXPECT_EQ(Digests.find_first_not_of('\n', Expected.size()), std::string::npos);  // nothing but these
  auto OnDisk = [](const fs::path& File) { return (fs::file_size(File) + 511) / 512 * 512; };
  EXPECT_LE(OnDisk(Dir / "out/DISK1/setup.exe") + OnDisk(Dir / "out/DISK1/setup1.cab"), Options.DiskSize);

  // The same script over other content: another set, so that its disks never join this one.
  const auto SetOf = [&] { return cabtest::ReadHeader(Dir / "out/DISK1/setup1.cab").SetId; };
  const auto First = SetOf();
  Pack();
  EXPECT_EQ(SetOf(), First);  // rebuilt unchanged: the same set
  Write("files/f7.bin", petest::BuildImage({{".text", std::string(4007, 'z')}}));
  Pack();
  EXPECT_NE(SetOf(), First);
}

TEST_F(PackagerTest, LzxSetsCarryTheirWindowInTheFolder) {
  Write("setup.ini", Script(FileRecord(2, 3000, "\\bin\\app.exe")));
  Write("files/bin/app.exe", std::string(3000, 'x'));
  Options.Compression = TCompressionKind::Lzx;
  Options.LzxWindow = 16;
  Pack();
  // The first folder's compression word follows the 36-byte header: LZX (3) with 2^16.
  const std::string Cabinet = setup::LoadBytesFromFile(P("out/DISK1/setup1.cab"));
  ASSERT_GT(Cabinet.size(), 44u);
  EXPECT_EQ(static_cast<unsigned char>(Cabinet[42]), 3);
  EXPECT_EQ(static_cast<unsigned char>(Cabinet[43]), 16);
}

// A manifest file read back as "Outer.Inner" -> value; list items under one key are joined
// with "|"; single quotes are taken off.
std::map<std::string, std::string> ReadYaml(const std::string& Text) {
  std::map<std::string, std::string> Values;
  std::vector<std::pair<std::size_t, std::string>> Path;  // indent, key
  std::istringstream Lines(Text);
  for (std::string Line; std::getline(Lines, Line);) {
    if (Line.empty() || Line[0] == '#') continue;
    std::size_t Indent = Line.find_first_not_of(' ');
    if (Line.compare(Indent, 2, "- ") == 0) Indent += 2;
    const std::string Item = Line.substr(Indent);
    const std::size_t Colon = Item.find(": ");
    std::string Key = Colon == std::string::npos || Item[0] == '\'' ? "" : Item.substr(0, Colon);
    std::string Value = Key.empty() ? Item : Item.substr(Colon + 2);
    if (Item.back() == ':') {  // a key whose value follows on the lines below
      Key = Item.substr(0, Item.size() - 1);
      Value.clear();
    }
    while (!Path.empty() && Path.back().first >= Indent && !Key.empty()) Path.pop_back();
    std::string Full;
    for (const auto& P : Path) Full += P.second + ".";
    if (Value.size() >= 2 && Value.front() == '\'' && Value.back() == '\'') Value = Value.substr(1, Value.size() - 2);
    if (Key.empty()) {
      Full.pop_back();
    } else {
      Full += Key;
      Path.push_back({Indent, Key});
      if (Value.empty()) continue;
    }
    std::string& Slot = Values[Full];
    Slot += (Slot.empty() ? "" : "|") + Value;
  }
  return Values;
}

TEST_F(PackagerTest, WingetManifestsDescribeTheSetupMadeAndItsSwitches) {
  Write("setup.ini", "VERSION = 2.1.0\nPUBLISHER = Ромашка: софт\nURLINFOABOUT = https://example.org/\n" +
                         Script(FileRecord(3, 8, "\\readme.txt")));
  Options.Lenient = true;  // the manifests read these keys whether the checker knows them or not
  const auto Result = Pack();
  std::vector<std::string> Args = {"--winget", P("winget"), "--winget-url=https://example.org/setup.exe", P("setup.ini")};
  const TWingetOptions Winget = TakeWingetArguments(Args);
  EXPECT_EQ(Args, std::vector<std::string>{P("setup.ini")}) << "the other options are left to the packager";
  const std::string Script = DecodeScript(setup::LoadBytesFromFile(P("setup.ini")), "").Cp1251;
  const auto Files = WriteWingetManifests(ReadWingetManifest(Winget, Script), Winget.Dir, Result.Outputs.front());
  ASSERT_EQ(Files.size(), 3u);
  const std::string Id = "Ромашкасофт.Продукт";
  const char* Types[] = {"version", "installer", "defaultLocale"};
  std::map<std::string, std::string> Yaml[3];
  for (int I = 0; I < 3; ++I) {
    EXPECT_EQ(fs::path(Files[I]).parent_path(), fs::path(P("winget")));
    EXPECT_EQ(fs::path(Files[I]).filename().string().rfind(Id + ".", 0), 0u) << Files[I];
    Yaml[I] = ReadYaml(setup::LoadBytesFromFile(Files[I]));
    EXPECT_EQ(Yaml[I]["PackageIdentifier"], Id);
    EXPECT_EQ(Yaml[I]["PackageVersion"], "2.1.0");
    EXPECT_EQ(Yaml[I]["ManifestType"], Types[I]);
    EXPECT_EQ(Yaml[I]["ManifestVersion"], "1.6.0");
  }
  EXPECT_EQ(Yaml[0]["DefaultLocale"], Yaml[2]["PackageLocale"]);
  auto& In = Yaml[1];
  EXPECT_EQ(In["InstallerType"], "exe");
  EXPECT_EQ(In["InstallerSwitches.Silent"], "/AUTO=ON /QUIET=ON");
  EXPECT_EQ(In["InstallerSwitches.SilentWithProgress"], "/AUTO=ON");
  EXPECT_EQ(In["InstallerSwitches.Log"].rfind("/LOG=", 0), 0u);
  EXPECT_NE(In["InstallerSwitches.Log"].find("<LOGPATH>"), std::string::npos);
  EXPECT_EQ(In["InstallerSwitches.InstallLocation"].rfind("/PATH=", 0), 0u);
  EXPECT_NE(In["InstallerSwitches.InstallLocation"].find("<INSTALLPATH>"), std::string::npos);
  EXPECT_EQ(In["InstallerSuccessCodes"], "3");
  EXPECT_EQ(In["ExpectedReturnCodes.InstallerReturnCode"], "1618|3010");
  EXPECT_EQ(In["ExpectedReturnCodes.ReturnResponse"], "installInProgress|rebootRequiredToFinish");
  EXPECT_EQ(In["AppsAndFeaturesEntries.DisplayName"], "Продукт");
  EXPECT_EQ(In["AppsAndFeaturesEntries.Publisher"], "Ромашка: софт");
  EXPECT_EQ(In["AppsAndFeaturesEntries.DisplayVersion"], "2.1.0");
  EXPECT_EQ(In["AppsAndFeaturesEntries.ProductCode"], "Продукт") << "the uninstall entry's key name";
  EXPECT_EQ(In["Installers.InstallerUrl"], "https://example.org/setup.exe");
  EXPECT_EQ(In["Installers.InstallerSha256"], setup::Sha256Hex(setup::LoadBytesFromFile(P("out/DISK1/setup.exe"))));
  EXPECT_EQ(Yaml[2]["Publisher"], "Ромашка: софт");
  EXPECT_EQ(Yaml[2]["PackageName"], "Продукт");
  EXPECT_EQ(Yaml[2]["PackageUrl"], "https://example.org/");
  for (const char* Key : {"License", "ShortDescription"}) EXPECT_FALSE(Yaml[2][Key].empty()) << Key;

  // What the manifests cannot do without is refused before anything is built.
  EXPECT_THROW(ReadWingetManifest(Winget, DecodeScript(Script.substr(Script.find("PUBLISHER")), "").Cp1251),
               setup::Exception)
      << "no VERSION";
  EXPECT_THROW(ReadWingetManifest(Winget, DecodeScript(Script.substr(Script.find("URLINFOABOUT")), "").Cp1251),
               setup::Exception)
      << "no PUBLISHER";
  for (std::vector<std::string> Bad : {std::vector<std::string>{"--winget", "dir"},
                                       {"--winget", "dir", "--winget-url", "ftp://example.org/setup.exe"},
                                       {"--winget-url", "https://example.org/setup.exe"},
                                       {"--winget", "d", "--winget-url=https://e.org/s.exe", "--winget-id", "NoDot"},
                                       {"--winget", "d", "--winget-url=https://e.org/s.exe", "--winget-id", "A.B C"}})
    EXPECT_THROW(TakeWingetArguments(Bad), TUsageError) << Bad.back();
  std::vector<std::string> Given = {"--winget=d", "--winget-url=https://e.org/s.exe", "--winget-id=Romashka.Product"};
  EXPECT_EQ(ReadWingetManifest(TakeWingetArguments(Given), Script).Id, "Romashka.Product");
}

}  // namespace

TEST_F(PackagerTest, OneFileCarriesItsCabinetAfterTheProgramWhereTheSignatureCoversIt) {
  for (const std::vector<std::string>& Bad : std::vector<std::vector<std::string>>{
           {"--one-file", "x.exe", "a", "b"}, {"--one-file", "x.exe", "--disk-size", "1.44M", "a"}, {"--one-file"}})
    EXPECT_THROW(ParseArguments(Bad), TUsageError);
  EXPECT_EQ(ParseArguments({"--one-file", "dl/x.exe", "a.ini"}).OutDir, "dl");

  Write("setup.ini", Script(FileRecord(2, 3000, "\\bin\\app.exe") + FileRecord(3, 8, "\\readme.txt")));
  Pack();  // the same product as a folder, for the program's size
  const auto FolderSetup = fs::file_size(Dir / "out/DISK1/setup.exe");
  std::vector<std::string> Signed;
  Signer = [&](const std::string&, const std::string& Path) {
    Signed.push_back(fs::path(Path).filename().string());
    setup::SaveBytesToFile(Path, setup::LoadBytesFromFile(Path) + "+SIGNATURE");
  };
  Options.Sign = "sign-it";
  Options.OneFile = P("dl/product.exe");
  Options.OutDir = P("dl");
  fs::create_directories(Dir / "dl");
  const auto Result = Pack();
  EXPECT_EQ(Result.Outputs, std::vector<std::string>{P("dl/product.exe")});
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "dl"), fs::directory_iterator()), 1);  // nothing else
  // The signature comes last, over the program and its cabinet.
  ASSERT_FALSE(Signed.empty());
  EXPECT_EQ(Signed.back(), "setup.exe.made");
  const std::string Bytes = setup::LoadBytesFromFile(P("dl/product.exe"));
  ASSERT_GT(Bytes.size(), 10u);
  EXPECT_EQ(Bytes.substr(Bytes.size() - 10), "+SIGNATURE");

  setup::TEmbeddedCabinet Carried;
  const auto Table = TPeImage(Bytes).ReadResources();
  const auto Data = [&](const char* Name) { return Table.Find(TResourceName::FromId(10), TResourceName::FromText(Name))->Data; };
  ASSERT_TRUE(setup::ReadEmbeddedCabinetPlace(Data("CABPLACE"), Carried));
  const std::string Digests = Data("CABDIGESTS");
  // Right after the program's sections, up to the signature; the program is no larger than the
  // folder's setup.exe (its digests text keeps its length).
  EXPECT_EQ(Carried.Offset + Carried.Size + 10, Bytes.size());
  EXPECT_LE(Carried.Offset, FolderSetup + 1024);
  const std::string Cabinet = Bytes.substr(Carried.Offset, Carried.Size);
  EXPECT_EQ(Cabinet.substr(0, 4), "MSCF");
  EXPECT_NE(Digests.find("setup1.cab=" + setup::Sha256Hex(Cabinet) + "\n"), std::string::npos) << Digests;
  EXPECT_EQ(Cabinet, setup::LoadBytesFromFile(P("out/DISK1/setup1.cab")));  // the folder's own cabinet
}
