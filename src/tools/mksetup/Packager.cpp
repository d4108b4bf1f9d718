#include "Packager.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>

#include "ScriptTool.h"
#include "wizard/Background.h"
#include "cabinet/EmbeddedCabinet.h"
#include "cabinet/writer/CabinetWriter.h"
#include "model/untData.h"
#include "pe/PeResources.h"
#include "pe/ProductResources.h"
#include "system/Inflate.h"
#include "system/VersionText.h"
#include "system/Encoding.h"
#include "system/Files.h"
#include "system/SafePaths.h"
#include "system/Sha256.h"
#include "system/Text.h"

namespace setup::mksetup {

const char* const cUsage =
    "Usage: mksetup [options] SCRIPT OUTDIR\n"
    "       mksetup --one-file OUT.exe [options] SCRIPT\n"
    "Builds OUTDIR/DISK1/setup.exe and the cabinet set setup1.cab, setup2.cab, ... in DISK1, DISK2, ...\n"
    "or, with --one-file, the single program OUT.exe that carries its cabinet after its sections\n"
    "(a download; --sign covers the cabinet too; a cabinet is at most 2 GB).\n"
    "SCRIPT is the installation script in UTF-8 (with or without BOM) or code page 1251.\n"
    "\n"
    "  --files DIR            where the files' contents are (default: the script's folder)\n"
    "  --list FILE            lines ITEM=relative/path giving each FILE record's content;\n"
    "                         without it, a FILE record's content is DIR + its FILEPATH\n"
    "  --disk-size SIZE       bytes, or 1.44M, 2.88M, 650M, 700M, 4.7G (the room a formatted\n"
    "                         medium leaves, in whole clusters); default: one disk.\n"
    "                         setup.exe counts against the first disk\n"
    "  --compression KIND     none, mszip (default) or lzx[:15..21]\n"
    "  --logo BMP             the wizard's picture (bitmap LOGO)\n"
    "  --background BMP       the background window's picture (bitmap BACKGROUND)\n"
    "  --runbefore ITEM=PATH  the program run before installing for FILE ITEM (RUNBEFORE<ITEM>)\n"
    "  --banner N=BMP         the background window's banner N (1 or 2), 212 x 92 (BANNER<N>);\n"
    "                         with two, each start shows one of them; without any, none\n"
    "  --icon ICO             the program's icon (Explorer, task bar, wizard)\n"
    "  --banner-link N=URL    the web page (http:// or https://) that a click on the background\n"
    "                         window's banner N (1 or 2) opens (BANNERLINK<N>); a banner without\n"
    "                         one is a picture only\n"
    "  --one-file OUT.exe     one program for download with its cabinet inside, instead of OUTDIR\n"
    "  --stub FILE            the setup program to fill (default: setupstub.exe beside mksetup)\n"
    "  --uninstaller FILE     the content of a FILE record named UnInstall.exe that has none\n"
    "                         (default: UnInstall.exe beside mksetup)\n"
    "  --sign CMD             run CMD with a program's path appended on the cabinet library,\n"
    "                         UnInstall.exe and setup.exe before each is embedded or packed\n"
    "  --fix-sizes            write the files' true sizes into the stored script\n"
    "  --lenient              only warn about lines the setup program would ignore or misread\n"
    "  --set-id N             cabinet set identifier 0..65535 (default: from the script)\n"
    "  -h, --help             this text\n"
    "\n"
    "Exit status: 0 built, 1 failed (the reason is printed), 2 wrong command line.\n";

namespace {

std::string Num(long long N) { return std::to_string(N); }

std::uint32_t Get32(std::string_view B, std::size_t At) {
  std::uint32_t V = 0;
  for (int I = 3; I >= 0; --I) V = V << 8 | std::uint8_t(B[At + I]);
  return V;
}


std::string Utf8Path(const std::filesystem::path& Path) {
  const std::u8string Text = Path.u8string();
  return std::string(Text.begin(), Text.end());
}

// Joins a folder and a relative path written with either separator.
std::string JoinPath(const std::string& Dir, std::string Relative) {
  std::replace(Relative.begin(), Relative.end(), '\\', '/');
  while (!Relative.empty() && Relative.front() == '/') Relative.erase(0, 1);
  if (Dir.empty()) return Relative;
  return Dir.back() == '/' || Dir.back() == '\\' ? Dir + Relative : Dir + "/" + Relative;
}

std::string FolderOf(const std::string& Path) {
  const auto Parent = PathFromUtf8(Path).parent_path();
  return Parent.empty() ? std::string(".") : Utf8Path(Parent);
}

std::string LastComponent(std::string Path) {
  std::replace(Path.begin(), Path.end(), '\\', '/');
  const auto Slash = Path.rfind('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

// Splits text into lines at CR LF, CR or LF, as the setup program does.
std::vector<std::string_view> SplitLines(std::string_view Text) {
  std::vector<std::string_view> Lines;
  std::size_t Start = 0;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] != '\r' && Text[i] != '\n') continue;
    Lines.push_back(Text.substr(Start, i - Start));
    if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    Start = i + 1;
  }
  if (Start < Text.size()) Lines.push_back(Text.substr(Start));
  return Lines;
}

bool IsValidUtf8(std::string_view Text) { return Utf16ToUtf8(Utf8ToUtf16(Text)) == Text; }

// True when a line that is valid UTF-8 holds two Cyrillic letters in a row encoded in UTF-8
// (D0 or D1 and a continuation byte, twice). In code page 1251 those four bytes read "Р" or
// "С" followed by a sign of 80..BF, twice: no Russian text looks like that.
bool HasUtf8Words(std::string_view Text) {
  const auto Letter = [&](std::size_t I) {
    return I + 1 < Text.size() && (Text[I] == '\xD0' || Text[I] == '\xD1') &&
           (static_cast<unsigned char>(Text[I + 1]) & 0xC0) == 0x80;
  };
  for (const std::string_view Line : SplitLines(Text)) {
    if (!IsValidUtf8(Line)) continue;
    const std::size_t Offset = static_cast<std::size_t>(Line.data() - Text.data());
    for (std::size_t I = Offset; I + 3 < Offset + Line.size(); ++I)
      if (Letter(I) && Letter(I + 2)) return true;
  }
  return false;
}

// Errors are gathered so that a vendor sees every problem of a run at once.
class TProblems {
 public:
  void Add(std::string Line) { FLines.push_back(std::move(Line)); }
  bool Empty() const { return FLines.empty(); }
  void ThrowIfAny() const {
    if (FLines.empty()) return;
    std::string Text;
    for (const auto& L : FLines) Text += (Text.empty() ? "" : "\n") + L;
    throw Exception(Text);
  }

 private:
  std::vector<std::string> FLines;
};

// A line the program reads otherwise than its author meant: ignored, attached to nothing, or
// naming records that are not there. Repeated keys, attributes that follow another kind's
// record and lines without "=" are read as the format defines, so they only warn.
// A program's or library's fixed file version "a.b.c.d", as setup reads an installed file's;
// empty for a file that is no program or has no version resource.
std::string FixedFileVersion(const std::string& Bytes) {
  try {
    const pe::TResourceTable Resources = pe::TPeImage(Bytes).ReadResources();
    for (const auto& Resource : Resources.Items)
      if (Resource.Type == pe::TResourceName::FromId(pe::rtVersion)) {
        const std::string& Data = Resource.Data;
        const std::size_t At = Data.find(std::string("\xBD\x04\xEF\xFE", 4));
        if (At == std::string::npos || At + 16 > Data.size()) return {};
        auto Word = [&](std::size_t Offset) {
          std::uint32_t V = 0;
          for (int B = 3; B >= 0; --B) V = (V << 8) | static_cast<unsigned char>(Data[At + Offset + B]);
          return V;
        };
        return FormatFileVersion(Word(8), Word(12));
      }
  } catch (const std::exception&) {
  }
  return {};
}

bool IsMisread(TCheckKind Kind) {
  switch (Kind) {
    case TCheckKind::NoEquals:
    case TCheckKind::DistantAttribute:
    case TCheckKind::Overwritten:
      return false;
    default:
      return true;
  }
}

// Deletes what an earlier run left in OUTDIR, so that no stale disk looks part of the set.
void ClearOutput(const std::string& OutDir) {
  std::error_code Error;
  const auto Out = PathFromUtf8(OutDir);
  if (!std::filesystem::is_directory(Out, Error)) return;
  for (int Disk = 1;; ++Disk) {
    const auto Folder = Out / ("DISK" + std::to_string(Disk));
    if (!std::filesystem::is_directory(Folder, Error)) break;
    std::filesystem::remove(Folder / "setup.exe", Error);
    std::filesystem::remove(Folder / ("setup" + std::to_string(Disk) + ".cab"), Error);
    std::filesystem::remove(Folder, Error);  // only when nothing else is in it
  }
}

// A set identifier taken from the script and every packed file's content: a rebuilt set keeps
// it, while two builds that install different files get different ones, so that a disk of one
// is not taken for the next disk of the other. The files are hashed as they are packed, each
// after its item number and size (HashedSource), and the identifier is written into the
// cabinets' headers afterwards (SetSetId): the content is read once.
class TSetIdHash {
 public:
  explicit TSetIdHash(std::string_view Script) { FHash.Add(Script); }
  void StartFile(std::int32_t ItemNo, std::uint64_t Size) {
    FHash.Add("\n" + std::to_string(ItemNo) + "\n" + std::to_string(Size) + "\n");
  }
  void Add(const char* Data, std::size_t Size) { FHash.Add(Data, Size); }
  std::uint16_t SetId() { return std::uint16_t(std::stoul(FHash.Hex().substr(0, 4), nullptr, 16)); }

 private:
  TSha256 FHash;
};

// A file read for the cabinet writer that adds what it hands on to a set identifier's hash.
class THashedSource : public std::streambuf {
 public:
  THashedSource(const std::string& Path, TSetIdHash& Hash) : FIn(PathFromUtf8(Path), std::ios::binary), FHash(Hash) {}
  bool Opened() const { return bool(FIn); }

 protected:
  int_type underflow() override {
    FIn.read(FBuffer.data(), std::streamsize(FBuffer.size()));
    const auto Read = std::size_t(FIn.gcount());
    if (Read == 0) return traits_type::eof();
    FHash.Add(FBuffer.data(), Read);
    setg(FBuffer.data(), FBuffer.data(), FBuffer.data() + Read);
    return traits_type::to_int_type(FBuffer[0]);
  }

 private:
  std::ifstream FIn;
  TSetIdHash& FHash;
  std::vector<char> FBuffer = std::vector<char>(1 << 20);
};

// The set identifier of a cabinet written already: two bytes of its header, which no checksum
// covers.
void SetSetId(const std::string& Cabinet, std::uint16_t SetId) {
  constexpr std::streamoff cSetIdOffset = 32;  // after signature, sizes, offsets, version, counts and flags
  std::fstream File(PathFromUtf8(Cabinet), std::ios::binary | std::ios::in | std::ios::out);
  const char Bytes[2] = {char(SetId & 0xFF), char(SetId >> 8)};
  File.seekp(cSetIdOffset);
  File.write(Bytes, 2);
  File.close();
  if (!File) throw Exception("Cannot write the set identifier into '" + Cabinet + "'");
}

// The SHA-256 of a file, read in pieces.
std::string FileDigest(const std::string& Path) {
  TSha256 Hash;
  std::vector<char> Buffer(1 << 20);
  std::ifstream In(PathFromUtf8(Path), std::ios::binary);
  if (!In) throw Exception("Cannot read '" + Path + "'");
  while (In.read(Buffer.data(), std::streamsize(Buffer.size())) || In.gcount() > 0)
    Hash.Add(Buffer.data(), std::size_t(In.gcount()));
  return Hash.Hex();
}

// The text of the CABDIGESTS resource: one "setupN.cab=digest" line per cabinet, in order.
// Before the cabinets exist it is made with zeros in place of the digests: same length. Empty
// lines fill it up to room for a multiple of 8 cabinets, so that setup.exe keeps its size
// whether the set takes one disk or a few.
std::string DigestsText(const std::vector<std::string>& Digests) {
  constexpr std::size_t cLine = 80, cGroup = 8;
  std::string Text;
  for (std::size_t I = 0; I < Digests.size(); ++I)
    Text += "setup" + std::to_string(I + 1) + ".cab=" + Digests[I] + "\n";
  const std::size_t Room = (Digests.size() + cGroup - 1) / cGroup * cGroup * cLine;
  if (Text.size() < Room) Text.append(Room - Text.size(), '\n');
  return Text;
}

// A scratch folder inside OUTDIR for the copies that get signed; removed on every exit.
class TScratch {
 public:
  explicit TScratch(const std::string& OutDir) : FPath(PathFromUtf8(OutDir) / ".mksetup-work") {
    std::filesystem::remove_all(FPath, FError);
    std::filesystem::create_directories(FPath);
  }
  ~TScratch() { std::filesystem::remove_all(FPath, FError); }
  std::string File(const std::string& Name) const { return Utf8Path(FPath / Name); }

 private:
  std::filesystem::path FPath;
  std::error_code FError;
};

// True when File, with every link on its way followed, lies inside the canonical folder Root.
bool LiesIn(const std::string& File, const std::filesystem::path& Root) {
  std::error_code Error;
  const std::filesystem::path Real = std::filesystem::canonical(PathFromUtf8(File), Error);
  if (Error) return false;
  const auto Mismatch = std::mismatch(Root.begin(), Root.end(), Real.begin(), Real.end());
  return Mismatch.first == Root.end() && Mismatch.second != Real.end();
}

std::string ReadInput(const std::string& Path, const std::string& What) {
  if (!IsExistingFile(Path)) throw Exception("Cannot read the " + What + " '" + Path + "'");
  return LoadBytesFromFile(Path);
}

}  // namespace

TDiskSize ParseDiskSize(std::string_view Text) {
  // What a vendor can put on the medium: a formatted floppy's free bytes and its cluster size
  // (FAT12 takes its share of the 1440 and 2880 KiB); a CD's 333,000 or 360,000 and a
  // single-layer DVD's 2,295,104 sectors of 2048 bytes, less 1 MiB for the file system.
  constexpr std::uint64_t Sector = 2048, FileSystem = 1024 * 1024;
  static const std::map<std::string, TDiskSize, std::less<>> Named = {
      {"1.44M", {1457664, 512}},
      {"2.88M", {2915328, 1024}},
      {"650M", {333000 * Sector - FileSystem, 2048}},
      {"700M", {360000 * Sector - FileSystem, 2048}},
      {"4.7G", {2295104 * Sector - FileSystem, 2048}}};
  const std::string Upper = UpperAscii(Text);
  if (const auto It = Named.find(Upper); It != Named.end()) return It->second;
  if (Text.empty() || Text.size() > 15 || !std::all_of(Text.begin(), Text.end(), [](char C) { return C >= '0' && C <= '9'; }))
    throw TUsageError{"invalid disk size '" + std::string(Text) + "': give bytes or one of 1.44M, 2.88M, 650M, 700M, 4.7G"};
  const std::uint64_t Size = std::stoull(std::string(Text));
  if (Size == 0) throw TUsageError{"the disk size must not be 0"};
  return {Size, 1};
}

TPackOptions ParseArguments(const std::vector<std::string>& Args) {
  TPackOptions Options;
  std::vector<std::string> Positional;
  bool OptionsEnded = false;
  for (std::size_t i = 0; i < Args.size(); ++i) {
    const std::string& Arg = Args[i];
    if (OptionsEnded || Arg.size() < 2 || Arg[0] != '-') {
      Positional.push_back(Arg);
      continue;
    }
    if (Arg == "--") {
      OptionsEnded = true;
      continue;
    }
    std::string Key = Arg, Value;
    bool HasValue = false;
    if (const auto Equals = Arg.find('='); Arg.rfind("--", 0) == 0 && Equals != std::string::npos) {
      Key = Arg.substr(0, Equals);
      Value = Arg.substr(Equals + 1);
      HasValue = true;
    }
    auto TakeValue = [&]() -> std::string {
      if (HasValue) return Value;
      if (i + 1 >= Args.size()) throw TUsageError{"missing value after " + Key};
      return Args[++i];
    };
    if (Key == "-h" || Key == "--help") {
      throw TUsageError{};
    } else if (Key == "--files") {
      Options.FilesDir = TakeValue();
    } else if (Key == "--list") {
      Options.ListFile = TakeValue();
    } else if (Key == "--disk-size") {
      const TDiskSize Disk = ParseDiskSize(TakeValue());
      Options.DiskSize = Disk.Bytes;
      Options.DiskUnit = Disk.Unit;
    } else if (Key == "--compression") {
      const std::string Kind = TakeValue();
      if (Kind == "none") {
        Options.Compression = TCompressionKind::None;
      } else if (Kind == "mszip") {
        Options.Compression = TCompressionKind::Mszip;
      } else if (Kind == "lzx" || Kind.rfind("lzx:", 0) == 0) {
        Options.Compression = TCompressionKind::Lzx;
        if (Kind.size() > 4) {
          const std::string Window = Kind.substr(4);
          if (Window.size() != 2 || Window < "15" || Window > "21")
            throw TUsageError{"the LZX window must be 15 to 21, as in lzx:21"};
          Options.LzxWindow = std::stoi(Window);
        }
      } else {
        throw TUsageError{"unknown compression '" + Kind + "': none, mszip or lzx[:N]"};
      }
    } else if (Key == "--logo") {
      Options.Logo = TakeValue();
    } else if (Key == "--background") {
      Options.Background = TakeValue();
    } else if (Key == "--runbefore") {
      const std::string Pair = TakeValue();
      const auto Equals = Pair.find('=');
      std::int32_t Item = 0;
      if (Equals == std::string::npos || Equals + 1 == Pair.size() ||
          !TryScriptStrToInt(Pair.substr(0, Equals), Item) || Item < 0)
        throw TUsageError{"expected --runbefore ITEM=PATH with ITEM a FILE record's number, got '" + Pair + "'"};
      Options.RunBefore.push_back({Item, Pair.substr(Equals + 1)});
    } else if (Key == "--banner") {
      const std::string Pair = TakeValue();
      const auto Equals = Pair.find('=');
      const std::string Banner = Pair.substr(0, Equals);
      if ((Banner != "1" && Banner != "2") || Equals == std::string::npos || Equals + 1 == Pair.size())
        throw TUsageError{"expected --banner N=BMP with N 1 or 2, got '" + Pair + "'"};
      for (const auto& Given : Options.Banners)
        if (Given.first == Banner[0] - '0') throw TUsageError{"--banner " + Banner + " is given twice"};
      Options.Banners.push_back({Banner[0] - '0', Pair.substr(Equals + 1)});
    } else if (Key == "--icon") {
      Options.Icon = TakeValue();
    } else if (Key == "--banner-link") {
      const std::string Pair = TakeValue();
      const auto Equals = Pair.find('=');
      const std::string Banner = Pair.substr(0, Equals), Address = Equals == std::string::npos ? "" : Pair.substr(Equals + 1);
      if (Banner != "1" && Banner != "2")
        throw TUsageError{"expected --banner-link N=URL with N 1 or 2, got '" + Pair + "'"};
      if (!IsBannerAddress(Address))
        throw TUsageError{"--banner-link " + Banner + ": '" + Address +
                          "' is not a web address (http:// or https:// and a host); the program opens nothing else"};
      for (const auto& Given : Options.BannerLinks)
        if (Given.first == Banner[0] - '0') throw TUsageError{"--banner-link " + Banner + " is given twice"};
      Options.BannerLinks.push_back({Banner[0] - '0', Address});
    } else if (Key == "--one-file") {
      Options.OneFile = TakeValue();
    } else if (Key == "--stub") {
      Options.Stub = TakeValue();
    } else if (Key == "--sign") {
      Options.Sign = TakeValue();
    } else if (Key == "--uninstaller") {
      Options.Uninstaller = TakeValue();
    } else if (Key == "--lenient") {
      Options.Lenient = true;
    } else if (Key == "--fix-sizes") {
      Options.FixSizes = true;
    } else if (Key == "--set-id") {
      const std::string Id = TakeValue();
      std::int32_t N = -1;
      if (!TryScriptStrToInt(Id, N) || N < 0 || N > 65535) throw TUsageError{"the set identifier must be 0 to 65535"};
      Options.SetId = std::uint16_t(N);
      Options.SetIdGiven = true;
    } else {
      throw TUsageError{"unknown option " + Key};
    }
  }
  if (!Options.OneFile.empty()) {
    if (Options.DiskSize != 0) throw TUsageError{"--one-file carries one cabinet: it takes no --disk-size"};
    if (Positional.size() != 1) throw TUsageError{"expected SCRIPT (--one-file names the program made)"};
    Positional.push_back(FolderOf(Options.OneFile));
  }
  if (Positional.size() != 2) throw TUsageError{"expected SCRIPT and OUTDIR"};
  Options.Script = Positional[0];
  Options.OutDir = Positional[1];
  return Options;
}

TScriptText DecodeScript(std::string_view Bytes, const std::string& FileName) {
  TScriptText Result;
  std::string Text;
  const bool Bom = Bytes.size() >= 3 && Bytes.substr(0, 3) == "\xEF\xBB\xBF";
  if (Bom) Bytes.remove_prefix(3);
  // Code page 1251 text of Russian words is almost never valid UTF-8, and UTF-8 text is
  // always: validity decides, a BOM settles it. A text that is not valid UTF-8 as a whole but
  // has Russian words in UTF-8 on some line is a UTF-8 script with damaged lines (a truncated
  // character, a line pasted from a code page 1251 file): read as code page 1251, every
  // Russian text of it would be garbled, so its damaged lines are refused instead.
  const bool Utf8 = Bom || IsValidUtf8(Bytes) || HasUtf8Words(Bytes);
  if (Utf8 && !IsValidUtf8(Bytes)) {
    TProblems Damaged;
    int LineNo = 0;
    for (const std::string_view Line : SplitLines(Bytes)) {
      ++LineNo;
      if (!IsValidUtf8(Line))
        Damaged.Add(FileName + ":" + Num(LineNo) + ": error: this line is not UTF-8, though the script " +
                    (Bom ? "starts with a UTF-8 BOM" : "has Russian text in UTF-8"));
    }
    Damaged.ThrowIfAny();
  }
  Result.Encoding = Utf8 ? "UTF-8" : "code page 1251";
  Text = Utf8 ? std::string(Bytes) : Cp1251ToUtf8(Bytes);

  TProblems Problems;
  int LineNo = 0;
  for (const std::string_view Line : SplitLines(Text)) {
    ++LineNo;
    const std::string Where = FileName + ":" + Num(LineNo) + ": error: ";
    if (Line.find('\0') != std::string_view::npos) {
      Problems.Add(Where + "a NUL character: the setup program stops reading the script there");
      continue;
    }
    const std::string Bytes1251 = Utf8ToCp1251(Line);
    if (Cp1251ToUtf8(Bytes1251) != Line) {
      std::string Bad;
      const std::u16string Wide = Utf8ToUtf16(Line);
      for (const char16_t C : Wide) {
        const std::string One = Utf16ToUtf8(std::u16string(1, C));
        if (Cp1251ToUtf8(Utf8ToCp1251(One)) != One) {
          Bad = One;
          break;
        }
      }
      Problems.Add(Where + "'" + Bad + "' cannot be written in code page 1251, the script's code page");
      continue;
    }
    Result.Cp1251 += Bytes1251;
    Result.Cp1251 += "\r\n";
  }
  Problems.ThrowIfAny();
  return Result;
}

std::string WithFileSize(const std::string& Cp1251, int LineNo, std::uint64_t Size) {
  std::size_t Start = 0;
  for (int i = 1; i < LineNo; ++i) {
    Start = Cp1251.find("\r\n", Start);
    if (Start == std::string::npos) throw Exception("No line " + Num(LineNo) + " in the script");
    Start += 2;
  }
  std::size_t End = Cp1251.find("\r\n", Start);
  if (End == std::string::npos) End = Cp1251.size();
  const std::string Line = Cp1251.substr(Start, End - Start);
  const auto Equals = Line.find('=');
  if (Equals == std::string::npos) throw Exception("Line " + Num(LineNo) + " is no record");
  // Column 10 lies after the ninth blank of the value (which starts after "= ").
  std::size_t Column = Equals + 2;
  for (int Blanks = 0; Blanks < 9; ++Blanks) {
    Column = Line.find(' ', Column);
    if (Column == std::string::npos) throw Exception("Line " + Num(LineNo) + " has no size column");
    ++Column;
  }
  std::size_t ColumnEnd = Line.find(' ', Column);
  if (ColumnEnd == std::string::npos) ColumnEnd = Line.size();
  return Cp1251.substr(0, Start + Column) + Num(Size) + Cp1251.substr(Start + ColumnEnd);
}

namespace {

// One run of the packager, step by step; each step reads what the ones before it found.
class TPackager {
 public:
  TPackager(const TPackOptions& Options, const std::string& ProgramDir, std::ostream& Log, const TSigner& Signer)
      : Options(Options), ProgramDir(ProgramDir), Log(Log), Signer(Signer), ScriptName(Options.Script) {}

  TPackResult Run() {
    ReadScript();
    FindContents();
    CheckEmbedded();
    Problems.ThrowIfAny();
    if (!Options.OneFile.empty()) return RunOneFile();

    ClearOutput(Options.OutDir);
    // A failure from here on takes the set's files away again: a half-built set must not ship.
    struct TCleanup {
      const std::string& OutDir;
      bool Done = false;
      ~TCleanup() {
        if (!Done) ClearOutput(OutDir);
      }
    } Cleanup{Options.OutDir};
    // Everything is made in the scratch folder and takes its final name at the end: a build
    // stopped in between (an error, or killed) leaves no cabinet or setup.exe that looks done.
    TScratch Scratch(Options.OutDir);
    Prepare(Scratch);
    // setup.exe carries the digests of the cabinets, and the first disk holds setup.exe beside
    // its cabinet. The room it takes there is measured first on a program built (and signed)
    // as the last one will be, with placeholder digests for as many disks as the files could
    // fill uncompressed: the set is then packed once. Only when the last program takes more
    // after all (a signature of another length, more disks) is it packed again around that.
    std::uint64_t Reserved = 0;
    if (Options.DiskSize != 0) {
      std::uint64_t Bytes = 0;
      for (const auto& File : Result.Files) Bytes += File.Size;
      BuildSetup(DigestsText(std::vector<std::string>(std::size_t(Bytes / Options.DiskSize + 1), std::string(64, '0'))),
                 true);
      Reserved = Result.SetupSize;
    }
    std::vector<std::string> Cabinets;
    for (;;) {
      Cabinets = PackCabinets(Reserved);
      std::vector<std::string> Digests;
      for (const auto& Path : Cabinets) Digests.push_back(FileDigest(Path));
      BuildSetup(DigestsText(Digests), true);
      if (FitsIn(Result.SetupSize, Reserved)) break;
      Log << "mksetup: setup.exe takes " << Result.SetupSize << " bytes, more than the " << Reserved
          << " kept for it on the first disk: the set is packed again\n";
      Reserved = Result.SetupSize;
    }
    const std::string Disk1 = JoinPath(Options.OutDir, "DISK1");
    Result.Outputs.push_back(JoinPath(Disk1, "setup.exe"));
    Result.Disks = int(Cabinets.size());
    Result.BytesOut = Result.SetupSize;
    for (std::size_t I = 0; I < Cabinets.size(); ++I) {
      const std::string N = Num(static_cast<long long>(I) + 1);
      const std::string Disk = JoinPath(Options.OutDir, "DISK" + N);
      std::filesystem::create_directories(PathFromUtf8(Disk));
      Result.Outputs.push_back(JoinPath(Disk, "setup" + N + ".cab"));
      std::filesystem::rename(PathFromUtf8(Cabinets[I]), PathFromUtf8(Result.Outputs.back()));
      Result.BytesOut += std::filesystem::file_size(PathFromUtf8(Result.Outputs.back()));
    }
    std::filesystem::rename(PathFromUtf8(StagedSetup), PathFromUtf8(Result.Outputs.front()));
    Cleanup.Done = true;
    return std::move(Result);
  }

  // What both kinds of build do first, in the scratch folder: the uninstaller signed, the
  // files' sizes and versions checked.
  void Prepare(TScratch& Scratch) {
    FScratch = &Scratch;
    StagedSetup = Scratch.File("setup.exe.made");
    SignUninstaller();
    CheckSizes();
    CheckVersions();
  }

  // One program that carries the set's single cabinet after its sections, where a signature
  // made afterwards covers it: its CABPLACE resource gives the cabinet's offset and size.
  TPackResult RunOneFile() {
    TScratch Scratch(Options.OutDir);
    Prepare(Scratch);
    std::vector<std::string> Cabinets;
    try {
      Cabinets = PackCabinets(0);
    } catch (const Exception& Error) {
      // The limits of one cabinet: its size and its number of files.
      const std::string Text = Error.what();
      if (Text.find("2 GB") == std::string::npos && Text.find("Too many files") == std::string::npos) throw;
      throw Exception(Text + "\nmksetup: a one-file setup carries one cabinet; a larger product ships as a set of "
                      "disks (without --one-file, with --disk-size)");
    }
    const std::uint64_t Size = std::filesystem::file_size(PathFromUtf8(Cabinets[0]));
    const std::string Digests = DigestsText({FileDigest(Cabinets[0])});
    // The place takes the same room whatever its numbers: the program's size, where the
    // cabinet starts, is measured on a first build.
    CarriedPlace = EmbeddedCabinetPlace({0, 1});
    BuildSetup(Digests, false);
    const std::uint64_t Offset = Result.SetupSize;
    // The file's offsets are 32-bit, the signature's place among them.
    if (Offset + Size > 0xFFFFFFFFu - 0x100000u)
      throw Exception("The program and its cabinet would take " + Num(static_cast<long long>(Offset + Size)) +
                      " bytes, more than a program file can address (4 GB)");
    CarriedPlace = EmbeddedCabinetPlace({std::uint32_t(Offset), std::uint32_t(Size)});
    BuildSetup(Digests, false);
    if (Result.SetupSize != Offset) throw Exception("setup.exe changed its size when given the cabinet's place");
    {
      std::ofstream Out(PathFromUtf8(StagedSetup), std::ios::binary | std::ios::app);
      std::ifstream In(PathFromUtf8(Cabinets[0]), std::ios::binary);
      Out << In.rdbuf();
      Out.close();
      if (!In || !Out) throw Exception("Cannot append the cabinet to '" + StagedSetup + "'");
    }
    if (!Options.Sign.empty()) Signer(Options.Sign, StagedSetup);
    // A rename does not replace an existing file everywhere: an earlier build goes first.
    std::error_code Ignored;
    std::filesystem::remove(PathFromUtf8(Options.OneFile), Ignored);
    std::filesystem::rename(PathFromUtf8(StagedSetup), PathFromUtf8(Options.OneFile));
    Result.Outputs.push_back(Options.OneFile);
    Result.Disks = 1;
    Result.SetupSize = Result.BytesOut = std::filesystem::file_size(PathFromUtf8(Options.OneFile));
    return std::move(Result);
  }

 private:
  // A signed copy of Bytes in the scratch folder; returns its path.
  std::string Signed(const std::string& Name, const std::string& Bytes) {
    const std::string Copy = FScratch->File(Name);
    SaveBytesToFile(Copy, Bytes);
    Signer(Options.Sign, Copy);
    return Copy;
  }

  // The script, checked as the setup program will read it; refused at once, since a broken
  // script makes every later check meaningless.
  void ReadScript() {
    Script = DecodeScript(ReadInput(ScriptName, "script"), ScriptName);
    TProblems Refusals;
    for (const auto& Issue : CheckScript(Script.Cp1251).Issues) {
      const bool Refused = Issue.Error || (!Options.Lenient && IsMisread(Issue.Kind));
      const std::string Text = ScriptName + ":" + Num(Issue.LineNo) + ": " + (Refused ? "error: " : "warning: ") + Issue.Text;
      if (Refused)
        Refusals.Add(Issue.Error ? Text : Text + " (--lenient lets it pass)");
      else
        Log << Text << "\n";
    }
    Refusals.ThrowIfAny();
    Info.LoadScript(Script.Cp1251);
    Info.Validate();
  }

  // The content of every FILE record.
  void FindContents() {
    const std::string FilesDir = Options.FilesDir.empty() ? FolderOf(ScriptName) : Options.FilesDir;
    struct TListed {
      std::string Path;
      int LineNo;
    };
    std::map<std::int32_t, TListed> Listed;
    std::set<std::int32_t> FileNumbers;
    for (const auto& F : Info.Files) FileNumbers.insert(F->ItemNo);
    if (!Options.ListFile.empty()) {
      std::string List = ReadInput(Options.ListFile, "list");
      if (List.rfind("\xEF\xBB\xBF", 0) == 0) List.erase(0, 3);  // editors on Windows add a BOM
      int LineNo = 0;
      for (const std::string_view Line : SplitLines(List)) {
        ++LineNo;
        if (Line.empty()) continue;
        const std::string Where = Options.ListFile + ":" + Num(LineNo) + ": error: ";
        const auto Equals = Line.find('=');
        std::int32_t Item = 0;
        if (Equals == std::string_view::npos || !TryScriptStrToInt(Line.substr(0, Equals), Item)) {
          Problems.Add(Where + "expected ITEM=relative/path");
          continue;
        }
        if (!FileNumbers.count(Item)) {
          Problems.Add(Where + "item " + Num(Item) + " is no FILE record of the script");
          continue;
        }
        const std::string Path(Line.substr(Equals + 1));
        // The list names files inside --files: a way out of it would pack whatever the list's
        // author (or whoever could change the list) pointed at.
        if (!Path.empty() && (Path[0] == '/' || Path[0] == '\\' || Path.find(':') != std::string::npos)) {
          Problems.Add(Where + "'" + Path + "' is an absolute path; the list gives paths relative to --files");
          continue;
        }
        if (HasDotComponent(Path)) {
          Problems.Add(Where + "'" + Path + "' has a '.' or '..' component");
          continue;
        }
        if (!Listed.emplace(Item, TListed{Path, LineNo}).second)
          Problems.Add(Where + "item " + Num(Item) + " is listed twice");
      }
    }
    const std::string Uninstaller =
        !Options.Uninstaller.empty() ? Options.Uninstaller : JoinPath(ProgramDir, "UnInstall.exe");
    Result.ScriptEncoding = Script.Encoding;
    Result.Records = Info.Files.size();
    std::error_code RootError;
    const std::filesystem::path Root = std::filesystem::canonical(PathFromUtf8(FilesDir), RootError);
    std::set<std::int32_t> Packed;
    for (const auto& F : Info.Files) {
      if (!Packed.insert(F->ItemNo).second) continue;  // the cabinet holds one entry per number
      const auto It = Listed.find(F->ItemNo);
      const std::string Where = It != Listed.end() ? Options.ListFile + ":" + Num(It->second.LineNo) + ": error: "
                                                   : ScriptName + ":" + Num(F->LineNo) + ": error: ";
      std::string Source = It != Listed.end() ? JoinPath(FilesDir, It->second.Path) : JoinPath(FilesDir, F->Path);
      const bool IsUninstaller = UpperAscii(LastComponent(F->Path)) == "UNINSTALL.EXE";
      if (!IsExistingFile(Source) && IsUninstaller) {
        if (!IsExistingFile(Uninstaller)) {
          Problems.Add(Where + "FILE " + Num(F->ItemNo) + " is UnInstall.exe, which is neither at '" +
                       Source + "' nor given by --uninstaller (no companion uninstaller at '" + Uninstaller + "')");
          continue;
        }
        Source = Uninstaller;
      } else if (F->Path.empty() && It == Listed.end()) {
        Problems.Add(Where + "FILE " + Num(F->ItemNo) + " has no FILEPATH and no line in the list");
        continue;
      } else if (!IsExistingFile(Source)) {
        Problems.Add(Where + "FILE " + Num(F->ItemNo) + ": its content '" + Source + "' does not exist");
        continue;
      }
      if (Source != Uninstaller && !RootError && !LiesIn(Source, Root)) {
        Problems.Add(Where + "FILE " + Num(F->ItemNo) + ": '" + Source + "' leads outside --files '" + FilesDir +
                     "' through a symbolic link");
        continue;
      }
      std::error_code Error;
      const std::uint64_t Size = std::filesystem::file_size(PathFromUtf8(Source), Error);
      if (Error || Size > 0x7FFFFFFF) {
        Problems.Add(Where + "FILE " + Num(F->ItemNo) + ": '" + Source + "' cannot be read or is 2 GB or larger");
        continue;
      }
      Result.Files.push_back({F->ItemNo, Source, Source, Size, IsUninstaller});
      SizeLines.push_back(F->LineNo);
    }
  }

  // What goes into setup.exe, checked against the script.
  void CheckEmbedded() {
    std::map<std::int32_t, const TFileInfo*> RunBeforeRecords;
    for (const auto& F : Info.Files)
      if (F->RunBefore && !RunBeforeRecords.count(F->ItemNo)) RunBeforeRecords[F->ItemNo] = F.get();
    std::set<std::int32_t> RunBeforeGiven;
    for (const auto& [Item, Path] : Options.RunBefore) {
      if (!RunBeforeRecords.count(Item))
        Problems.Add("--runbefore " + Num(Item) + ": no FILE record " + Num(Item) +
                     " is marked to run before installing (column 15)");
      else if (!IsExistingFile(Path))
        Problems.Add("--runbefore " + Num(Item) + ": '" + Path + "' does not exist");
      if (!RunBeforeGiven.insert(Item).second) Problems.Add("--runbefore " + Num(Item) + " is given twice");
    }
    for (const auto& [Item, F] : RunBeforeRecords)
      if (!RunBeforeGiven.count(Item))
        Problems.Add(ScriptName + ":" + Num(F->LineNo) + ": error: FILE " + Num(Item) +
                     " runs before installing but no --runbefore " + Num(Item) +
                     "=PROGRAM gives its program; the wizard would stay on the directory page");
    auto Bitmap = [&](const std::string& Path, const char* Option, std::string& Into) {
      if (Path.empty()) return;
      try {
        Into = pe::BitmapResourceFromFile(ReadInput(Path, "bitmap"));
      } catch (const Exception& E) {
        Problems.Add(std::string(Option) + " '" + Path + "': " + E.what());
      }
    };
    Bitmap(Options.Logo, "--logo", Logo);
    Bitmap(Options.Background, "--background", Background);
    for (const auto& [Banner, Path] : Options.Banners) {
      const std::string Option = "--banner " + Num(Banner);
      std::string Picture;
      Bitmap(Path, Option.c_str(), Picture);
      // The background window keeps a banner's place at 212 x 92 pixels.
      if (!Picture.empty() && !(Picture.size() >= 12 && Get32(Picture, 4) == 212 && Get32(Picture, 8) == 92))
        Problems.Add(Option + " '" + Path + "': a banner is 212 x 92 pixels (a bottom-up BMP)");
      else if (!Picture.empty())
        Banners.push_back({Banner, Picture});
    }
    if (!Options.Icon.empty()) {
      try {
        Icon = pe::IconResourcesFromFile(ReadInput(Options.Icon, "icon"), 1);
      } catch (const Exception& E) {
        Problems.Add("--icon '" + Options.Icon + "': " + E.what());
      }
    }
    StubPath = !Options.Stub.empty() ? Options.Stub : JoinPath(ProgramDir, "setupstub.exe");
    if (!IsExistingFile(StubPath))
      Problems.Add("no setup program stub at '" + StubPath + "'" + (Options.Stub.empty() ? "; give one with --stub" : ""));
  }

  // The uninstaller is signed before its size is taken: the cabinet carries the signed copy.
  void SignUninstaller() {
    if (Options.Sign.empty()) return;
    for (auto& File : Result.Files)
      if (File.Uninstaller) {
        File.Packed = Signed("UnInstall.exe", LoadBytesFromFile(File.Source));
        File.Size = std::filesystem::file_size(PathFromUtf8(File.Packed));
      }
  }

  // True sizes in the script's size column.
  void CheckSizes() {
    for (std::size_t i = 0; i < Result.Files.size(); ++i) {
      const TFileInfo* F = Info.FindFile(Result.Files[i].ItemNo);
      if (std::uint64_t(std::uint32_t(F->Size)) == Result.Files[i].Size) continue;
      if (Options.FixSizes)
        Script.Cp1251 = WithFileSize(Script.Cp1251, SizeLines[i], Result.Files[i].Size);
      else
        Log << ScriptName << ":" << SizeLines[i] << ": warning: FILE " << F->ItemNo << " gives the size " << F->Size
            << " but '" << Result.Files[i].Source << "' has " << Result.Files[i].Size
            << " bytes; the progress bar counts the script's size (--fix-sizes writes the true one)\n";
    }
  }

  // The version column is what setup shows and compares against an installed file's version
  // when it asks before replacing it; a column that is not the packed file's own version makes
  // that question wrong (or asked for the same file).
  void CheckVersions() {
    for (std::size_t i = 0; i < Result.Files.size(); ++i) {
      const TFileInfo* F = Info.FindFile(Result.Files[i].ItemNo);
      if (F->Version.empty()) continue;
      const std::string Own = FixedFileVersion(LoadBytesFromFile(Result.Files[i].Packed));
      if (Own.empty() || Own == F->Version) continue;
      Log << ScriptName << ":" << SizeLines[i] << ": warning: FILE " << F->ItemNo << " gives the version "
          << F->Version << " but '" << Result.Files[i].Source << "' is version " << Own
          << "; setup compares the script's version with the installed file's when it asks before replacing it\n";
    }
  }

  // True when a setup.exe of Size takes no more of the first disk than one of Reserved.
  bool FitsIn(std::uint64_t Size, std::uint64_t Reserved) const {
    if (Options.DiskSize == 0) return true;
    const std::uint64_t Unit = std::max<std::uint32_t>(Options.DiskUnit, 1);
    return (Size + Unit - 1) / Unit <= (Reserved + Unit - 1) / Unit;
  }

  // setup.exe: the stub with the script, artwork, programs and the cabinets' digests.
  void BuildSetup(const std::string& Digests, bool Sign) {
    pe::TPeImage Stub(ReadInput(StubPath, "stub"));
    pe::TResourceTable Resources = Stub.ReadResources();
    const auto RcData = pe::TResourceName::FromId(pe::rtRcData);
    const auto BitmapType = pe::TResourceName::FromId(pe::rtBitmap);
    const pe::TResource* Library = Resources.Find(RcData, pe::TResourceName::FromText("CABINET"));
    if (!Library) throw Exception("'" + StubPath + "' carries no CABINET library: it is not a setup program stub");
    if (Resources.Find(RcData, pe::TResourceName::FromText("SCRIPT")))
      Log << "mksetup: the stub's own SCRIPT is replaced\n";
    if (!Options.Sign.empty()) {
      if (SignedLibrary.empty()) {
        // Signed as the library itself, then packed again as the stub carries it.
        const std::string Plain = UnpackLibrary(Library->Data);
        if (Plain.empty()) throw Exception("'" + StubPath + "' carries a damaged CABINET library");
        SignedLibrary = PackLibrary(LoadBytesFromFile(Signed("CABINET.DLL", Plain)));
      }
      Resources.Set(RcData, pe::TResourceName::FromText("CABINET"), SignedLibrary);
    }
    Resources.Set(RcData, pe::TResourceName::FromText("SCRIPT"), Script.Cp1251);
    Resources.Set(RcData, pe::TResourceName::FromText("CABDIGESTS"), Digests);
    if (!CarriedPlace.empty()) Resources.Set(RcData, pe::TResourceName::FromText("CABPLACE"), CarriedPlace);
    if (!Logo.empty()) Resources.Set(BitmapType, pe::TResourceName::FromText("LOGO"), Logo);
    if (!Background.empty()) Resources.Set(BitmapType, pe::TResourceName::FromText("BACKGROUND"), Background);
    for (const auto& [Item, Path] : Options.RunBefore)
      Resources.Set(RcData, pe::TResourceName::FromText("RUNBEFORE" + Num(Item)), LoadBytesFromFile(Path));
    for (const auto& [Banner, Address] : Options.BannerLinks)
      Resources.Set(RcData, pe::TResourceName::FromText("BANNERLINK" + Num(Banner)), Address);
    for (const auto& [Banner, Picture] : Banners)
      Resources.Set(BitmapType, pe::TResourceName::FromText("BANNER" + Num(Banner)), Picture);
    // The product's identity: its version information, and its icon in place of any the stub has
    // (the program and Explorer take the first icon group).
    const auto& Product = Info.UnInstallInfo;
    Resources.Set(pe::TResourceName::FromId(pe::rtVersion), pe::TResourceName::FromId(1),
                  pe::VersionResource({Info.Description, Product.ProductTexts[ptVersion], Product.ProductTexts[ptPublisher],
                                       Info.Description.empty() ? "Setup" : Info.Description + " setup"}));
    if (!Icon.Images.empty()) {
      auto& Items = Resources.Items;
      Items.erase(std::remove_if(Items.begin(), Items.end(),
                                 [](const pe::TResource& R) {
                                   return R.Type.IsId && (R.Type.Id == pe::rtIcon || R.Type.Id == pe::rtGroupIcon);
                                 }),
                  Items.end());
      for (std::size_t I = 0; I < Icon.Images.size(); ++I)
        Resources.Set(pe::TResourceName::FromId(pe::rtIcon), pe::TResourceName::FromId(std::uint16_t(1 + I)),
                      Icon.Images[I]);
      Resources.Set(pe::TResourceName::FromId(pe::rtGroupIcon), pe::TResourceName::FromId(1), Icon.Group);
    }
    // Started from a floppy or a CD, the program must outlive the disk change to the next
    // cabinet: the system keeps it in its swap file instead of paging it in from the disk.
    std::string Setup = pe::TPeImage(Stub.WithResources(Resources))
                            .WithFileCharacteristics(pe::cFileRemovableRunFromSwap | pe::cFileNetRunFromSwap);
    if (Sign && !Options.Sign.empty()) Setup = LoadBytesFromFile(Signed("setup.exe", Setup));
    SaveBytesToFile(StagedSetup, Setup);
    Result.SetupSize = Setup.size();
  }

  // The cabinets, streamed file by file, the first one beside a setup.exe of SetupSize bytes.
  std::vector<std::string> PackCabinets(std::uint64_t SetupSize) {
    TCabinetWriterOptions Cab;
    Cab.OutputPattern = JoinPath(FScratch->File("set"), "setup%d.cab");
    Cab.DiskFolders = true;
    Cab.Compression = Options.Compression == TCompressionKind::None   ? ccNone
                      : Options.Compression == TCompressionKind::Lzx  ? ccLzx
                                                                     : ccMszip;
    if (Options.Compression == TCompressionKind::Lzx) Cab.LzxWindowBits = Options.LzxWindow;
    Cab.SetId = Options.SetId;  // when not given: put right once every file has been read
    if (Options.DiskSize != 0) {
      // Each file takes whole allocation units, so sizes are counted in them. A cabinet's
      // offsets are 32-bit, and readers take them as signed.
      const std::uint64_t Unit = std::max<std::uint32_t>(Options.DiskUnit, 1);
      const std::uint64_t Room = std::min<std::uint64_t>(Options.DiskSize, 0x7FFFFFFF) / Unit * Unit;
      const std::uint64_t SetupOnDisk = (SetupSize + Unit - 1) / Unit * Unit;
      if (SetupOnDisk + 512 >= Room)
        throw Exception("setup.exe (" + Num(SetupSize) + " bytes) leaves no room for a cabinet on a disk of " +
                        Num(Options.DiskSize) + " bytes");
      Cab.MaxCabinetSize = Room;
      Cab.FirstCabinetReserve = SetupOnDisk;
    }
    TCabinetWriter Writer(Cab);
    TSetIdHash Hash(Script.Cp1251);
    Result.BytesIn = 0;
    for (auto& File : Result.Files) {
      TCabinetEntry Entry;
      Entry.Name = Num(File.ItemNo);
      const auto Source = PathFromUtf8(File.Source);
      DosDateTimeOfFile(Source, Entry.Date, Entry.Time);
      Entry.Attributes = SourceAttributes(File.Source);
      Hash.StartFile(File.ItemNo, File.Size);
      THashedSource Content(File.Packed, Hash);
      std::istream In(&Content);
      if (!Content.Opened()) throw Exception("Unable to read '" + File.Packed + "'");
      Writer.AddFile(Entry, In, File.Size);
      Result.BytesIn += File.Size;
    }
    std::vector<std::string> Cabinets = Writer.Finish();
    if (!Options.SetIdGiven) {
      const std::uint16_t SetId = Hash.SetId();
      for (const auto& Cabinet : Cabinets) SetSetId(Cabinet, SetId);
    }
    return Cabinets;
  }

  const TPackOptions& Options;
  const std::string& ProgramDir;
  std::ostream& Log;
  const TSigner& Signer;
  const std::string ScriptName;
  TScriptText Script;
  TInstallInfo Info;
  TProblems Problems;
  TPackResult Result;
  std::vector<int> SizeLines;  // the script line of each packed file's record
  std::string Logo, Background, StubPath, StagedSetup;
  std::vector<std::pair<int, std::string>> Banners;  // banner number, bitmap resource
  pe::TIconResources Icon;
  std::string SignedLibrary;  // the library as signed once, for every build of setup.exe
  std::string CarriedPlace;   // a one-file setup's CABPLACE resource
  TScratch* FScratch = nullptr;
};

}  // namespace

TPackResult Package(const TPackOptions& Options, const std::string& ProgramDir, std::ostream& Log,
                    const TSigner& Signer) {
  return TPackager(Options, ProgramDir, Log, Signer).Run();
}

void PrintSummary(const TPackResult& Result, std::ostream& Out) {
  Out << "Script: " << Result.ScriptEncoding << "\n";
  Out << "FILE records: " << Result.Records << ", packed: " << Result.Files.size() << "\n";
  Out << "Bytes in: " << Result.BytesIn << ", out: " << Result.BytesOut << " (setup.exe " << Result.SetupSize
      << ")\n";
  Out << "Disks: " << Result.Disks << "\n";
  for (const auto& Path : Result.Outputs) Out << "  " << Path << "\n";
  std::vector<const TPackedFile*> Largest;
  for (const auto& F : Result.Files) Largest.push_back(&F);
  std::sort(Largest.begin(), Largest.end(), [](auto* A, auto* B) { return A->Size > B->Size; });
  if (Largest.size() > 5) Largest.resize(5);
  if (!Largest.empty()) Out << "Largest files:\n";
  for (const auto* F : Largest) Out << "  " << F->Size << "  FILE " << F->ItemNo << "  " << F->Source << "\n";
}

}  // namespace setup::mksetup
