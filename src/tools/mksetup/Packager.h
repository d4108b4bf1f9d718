#pragma once
// mksetup's work, apart from its command line: from an installation script and the product's
// files to DISK1\setup.exe (a prebuilt stub given the script and artwork as resources) and the
// spanned cabinet set.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "system/Errors.h"

namespace setup::mksetup {

// Wrong use of the command line: the usage text follows the message.
struct TUsageError {
  std::string Message;
};

enum class TCompressionKind { None, Mszip, Lzx };

struct TPackOptions {
  std::string Script;
  std::string OutDir;
  std::string OneFile;      // one setup.exe carrying its cabinet (OutDir is its folder); empty: a set
  std::string FilesDir;    // empty: the script's folder
  std::string ListFile;    // "ITEM=relative/path" lines; empty: FILEPATH under FilesDir
  std::uint64_t DiskSize = 0;  // room for files on each disk; 0: one disk
  std::uint32_t DiskUnit = 1;  // the disk's allocation unit: every file takes whole units
  TCompressionKind Compression = TCompressionKind::Mszip;
  int LzxWindow = 21;      // 15..21, for lzx:N
  std::string Logo;
  std::string Background;
  std::vector<std::pair<std::int32_t, std::string>> RunBefore;  // FILE item, program
  std::vector<std::pair<int, std::string>> BannerLinks;          // banner 1 or 2, its web address
  std::vector<std::pair<int, std::string>> Banners;              // banner 1 or 2, its picture
  std::string Icon;        // .ico file: the program's icon
  std::string Stub;        // empty: setupstub.exe beside mksetup
  std::string Sign;        // command; the file's path is appended
  std::string Uninstaller; // empty: UnInstall.exe beside mksetup, when there
  bool FixSizes = false;
  bool Lenient = false;    // lines the program would misread are warnings, not refusals
  bool SetIdGiven = false;
  std::uint16_t SetId = 0;
};

// The command line (without the program's name). Raises TUsageError.
TPackOptions ParseArguments(const std::vector<std::string>& Args);
extern const char* const cUsage;
// Bytes, or one of the named media: 1.44M, 2.88M, 650M, 700M, 4.7G.
struct TDiskSize {
  std::uint64_t Bytes = 0;  // room for files
  std::uint32_t Unit = 1;   // allocation unit
};
TDiskSize ParseDiskSize(std::string_view Text);

// A script read from the vendor's file: UTF-8 (with or without BOM) or code page 1251.
struct TScriptText {
  std::string Encoding;  // "UTF-8" or "code page 1251", for the summary
  std::string Cp1251;    // as the setup program embeds it: code page 1251, CR LF lines
};
// Raises Exception with one "FILE:LINE: error: ..." line per problem.
TScriptText DecodeScript(std::string_view Bytes, const std::string& FileName);

// Replaces column 10 (the size) of line LineNo (1-based) of a CR LF script.
std::string WithFileSize(const std::string& Cp1251, int LineNo, std::uint64_t Size);

// Runs a signing command on a file; the default runs CMD with the quoted path appended.
using TSigner = std::function<void(const std::string& Command, const std::string& Path)>;
void RunSignCommand(const std::string& Command, const std::string& Path);

// The attribute bits a source file gives its cabinet entry (read-only, hidden, system, archive).
std::uint16_t SourceAttributes(const std::string& Path);
// Makes the console show the UTF-8 text the tool prints (paths and script lines in Russian).
void PrepareConsole();

struct TPackedFile {
  std::int32_t ItemNo = 0;
  std::string Source;  // the vendor's file
  std::string Packed;  // what the cabinet receives: Source, or its signed copy
  std::uint64_t Size = 0;
  bool Uninstaller = false;  // the record installs UnInstall.exe
};

struct TPackResult {
  std::string ScriptEncoding;   // as detected
  std::size_t Records = 0;      // FILE records of the script
  std::vector<TPackedFile> Files;  // packed, in script order
  std::uint64_t BytesIn = 0;
  std::uint64_t BytesOut = 0;   // cabinets and setup.exe
  std::uint64_t SetupSize = 0;
  std::vector<std::string> Outputs;  // setup.exe, then the cabinets
  int Disks = 0;
};

// Does everything; Log receives warnings and the steps' notes. Raises Exception on failure
// and leaves no half-built set behind. ProgramDir is where setupstub.exe and UnInstall.exe
// are looked for when the options name none.
TPackResult Package(const TPackOptions& Options, const std::string& ProgramDir, std::ostream& Log,
                    const TSigner& Signer = RunSignCommand);

// The summary printed at the end.
void PrintSummary(const TPackResult& Result, std::ostream& Out);

}  // namespace setup::mksetup
