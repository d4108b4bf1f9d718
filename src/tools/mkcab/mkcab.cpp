// mkcab: writes a cabinet, or a numbered cabinet set, from files named on the command line.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cabinet/writer/CabinetWriter.h"
#include "system/Errors.h"
#ifdef _WIN32
#include "system/SystemWin.h"
#endif

namespace {

const char* const cUsage =
    "Usage: mkcab [options] OUTPUT NAME=PATH|@LIST ...\n"
    "Writes the files at PATH into a cabinet under the entry NAME (split at the first '=').\n"
    "@LIST reads NAME=PATH lines from the file LIST (empty lines are skipped).\n"
    "\n"
    "  -m, --compression=none|mszip|lzx[:15..21]\n"
    "                                data compression (default mszip); LZX with a window\n"
    "                                of 2^N bytes (default 21)\n"
    "  -l, --level=1..9              compression level (default 6)\n"
    "  -s, --max-size=BYTES[K|M]     split into a numbered set of cabinets of at most BYTES;\n"
    "                                OUTPUT then names them with %d (\"setup%d.cab\"); at most 2 GB\n"
    "  -d, --disk-folders            write cabinet n into the folder DISKn beside OUTPUT\n"
    "      --disk-name=PATTERN       disk name recorded for cabinet n (default DISK%d)\n"
    "  -f, --new-folder-every=N      start a new folder after every N files\n"
    "  -i, --set-id=N                set identifier 0..65535 (default: from the clock)\n"
    "      --cp1251                  store non-ASCII names in code page 1251, not UTF-8\n"
    "  -h, --help                    show this text\n"
    "\n"
    "Prints the path of every cabinet written. Exit codes: 0 done, 1 failed, 2 bad arguments.\n";

struct TUsageError {
  std::string Message;
};

struct TSource {
  std::string Name;
  std::string Path;
};

std::uint64_t ParseNumber(const std::string& Text, const std::string& What, bool AllowSuffix) {
  std::size_t Used = 0;
  std::uint64_t Value = 0;
  try {
    if (Text.empty() || Text[0] == '-') throw std::invalid_argument(Text);
    Value = std::stoull(Text, &Used, 10);
  } catch (const std::exception&) {
    throw TUsageError{"invalid " + What + ": '" + Text + "'"};
  }
  std::string Suffix = Text.substr(Used);
  if (AllowSuffix && (Suffix == "K" || Suffix == "k"))
    Value *= 1024;
  else if (AllowSuffix && (Suffix == "M" || Suffix == "m"))
    Value *= 1024 * 1024;
  else if (!Suffix.empty())
    throw TUsageError{"invalid " + What + ": '" + Text + "'"};
  return Value;
}

TSource ParseSource(const std::string& Text) {
  std::size_t Equals = Text.find('=');
  if (Equals == std::string::npos || Equals == 0 || Equals + 1 == Text.size())
    throw TUsageError{"expected NAME=PATH, got '" + Text + "'"};
  return {Text.substr(0, Equals), Text.substr(Equals + 1)};
}

void ReadList(const std::string& ListPath, std::vector<TSource>& Sources) {
  std::ifstream In(setup::PathFromUtf8(ListPath), std::ios::binary);
  if (!In) throw TUsageError{"cannot read the list '" + ListPath + "'"};
  std::string Line;
  while (std::getline(In, Line)) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (!Line.empty()) Sources.push_back(ParseSource(Line));
  }
}

int Run(const std::vector<std::string>& Args) {
  setup::TCabinetWriterOptions Options;
  Options.SetId = std::uint16_t(std::chrono::system_clock::now().time_since_epoch().count() >> 20);
  std::uint64_t FolderEvery = 0;
  std::string Output;
  std::vector<TSource> Sources;
  bool OptionsEnded = false;

  for (std::size_t i = 0; i < Args.size(); ++i) {
    std::string Arg = Args[i];
    if (!OptionsEnded && Arg.size() > 1 && Arg[0] == '-') {
      if (Arg == "--") {
        OptionsEnded = true;
        continue;
      }
      std::string Key = Arg;
      std::string Value;
      bool HasValue = false;
      std::size_t Equals = Arg.find('=');
      if (Arg.rfind("--", 0) == 0 && Equals != std::string::npos) {
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
        std::cout << cUsage;
        return 0;
      } else if (Key == "-m" || Key == "--compression") {
        std::string Mode = TakeValue();
        if (Mode == "none")
          Options.Compression = setup::ccNone;
        else if (Mode == "mszip")
          Options.Compression = setup::ccMszip;
        else if (Mode == "lzx")
          Options.Compression = setup::ccLzx;
        else if (Mode.rfind("lzx:", 0) == 0) {
          std::uint64_t Bits = ParseNumber(Mode.substr(4), "LZX window", false);
          if (Bits < 15 || Bits > 21) throw TUsageError{"the LZX window must be 15 to 21"};
          Options.Compression = setup::ccLzx;
          Options.LzxWindowBits = unsigned(Bits);
        } else
          throw TUsageError{"unknown compression '" + Mode + "'"};
      } else if (Key == "-l" || Key == "--level") {
        std::uint64_t Level = ParseNumber(TakeValue(), "level", false);
        if (Level < 1 || Level > 9) throw TUsageError{"the level must be 1 to 9"};
        Options.CompressionLevel = int(Level);
      } else if (Key == "-s" || Key == "--max-size") {
        Options.MaxCabinetSize = ParseNumber(TakeValue(), "size", true);
        if (Options.MaxCabinetSize == 0) throw TUsageError{"the maximum size must not be 0"};
        if (Options.MaxCabinetSize > 0x7FFFFFFF)
          throw TUsageError{"the maximum size must not exceed 2 GB (2147483647 bytes): cabinet readers refuse larger "
                            "cabinets"};
      } else if (Key == "-d" || Key == "--disk-folders") {
        Options.DiskFolders = true;
      } else if (Key == "--disk-name") {
        Options.DiskNamePattern = TakeValue();
      } else if (Key == "-f" || Key == "--new-folder-every") {
        FolderEvery = ParseNumber(TakeValue(), "file count", false);
        if (FolderEvery == 0) throw TUsageError{"the file count must not be 0"};
      } else if (Key == "-i" || Key == "--set-id") {
        std::uint64_t Id = ParseNumber(TakeValue(), "set identifier", false);
        if (Id > 65535) throw TUsageError{"the set identifier must be 0 to 65535"};
        Options.SetId = std::uint16_t(Id);
      } else if (Key == "--cp1251") {
        Options.NameEncoding = setup::cneCp1251;
      } else {
        throw TUsageError{"unknown option " + Key};
      }
      continue;
    }
    if (Output.empty())
      Output = Arg;
    else if (Arg.size() > 1 && Arg[0] == '@')
      ReadList(Arg.substr(1), Sources);
    else
      Sources.push_back(ParseSource(Arg));
  }
  if (Output.empty()) throw TUsageError{"no output given"};
  if (Sources.empty()) throw TUsageError{"no files given"};
  Options.OutputPattern = Output;

  setup::TCabinetWriter Writer(Options);
  std::uint64_t InFolder = 0;
  for (const auto& Source : Sources) {
    if (FolderEvery != 0 && InFolder == FolderEvery) {
      Writer.NewFolder();
      InFolder = 0;
    }
    setup::TCabinetEntry Entry;
    Entry.Name = Source.Name;
    setup::DosDateTimeOfFile(setup::PathFromUtf8(Source.Path), Entry.Date, Entry.Time);
    Writer.AddFileFromPath(Entry, Source.Path);
    ++InFolder;
  }
  for (const auto& Path : Writer.Finish()) std::cout << Path << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  std::vector<std::string> Args = setup::ProgramArguments();
#else
  std::vector<std::string> Args(argv + 1, argv + argc);
#endif
  try {
    return Run(Args);
  } catch (const TUsageError& Error) {
    std::cerr << "mkcab: " << Error.Message << "\n\n" << cUsage;
    return 2;
  } catch (const std::exception& Error) {
    std::cerr << "mkcab: " << Error.what() << "\n";
    return 1;
  }
}
