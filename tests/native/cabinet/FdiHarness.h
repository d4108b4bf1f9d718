#pragma once
// A plain FDI client over real files for the tests: cabinets are read from disk, extracted
// files are kept in memory, every notification is written down as one line of text.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cabinet/Fdi.h"
#include "shared/TestFiles.h"

namespace fdi_test {

struct TExtraction {
  bool Ok = false;
  ERF Error{};
  std::vector<std::string> Log;                 // the notifications in order
  std::map<std::string, std::string> Files;     // completed files, name with '/' separators
  int OpenHandles = 0;                          // handles still open after the call
  bool Misuse = false;                          // a closed or unknown handle was used
  bool Leak = false;                            // memory still allocated after FDIDestroy
  std::size_t PeakMemory = 0;                   // most bytes allocated at one time
};

struct TClient {
  // Answer to fdintNEXT_CABINET: -1 gives up; may rewrite the path buffer.
  std::function<int(FDINOTIFICATION&)> OnNextCabinet;
  // Answer to fdintCOPY_FILE before the harness opens an output: 0 skip, -1 abort, 1 copy.
  std::function<int(const FDINOTIFICATION&)> OnCopyFile;
  std::function<int(const FDINOTIFICATION&)> OnCloseFile;  // default TRUE
  std::size_t FailWritesAfter = SIZE_MAX;                  // bytes accepted before writes fail
  std::size_t AllocationLimit = SIZE_MAX;                   // bytes beyond which allocation fails
};

// Extracts Folder/Name (Folder ends with '/') with our library.
TExtraction Extract(const std::string& Folder, const std::string& Name, const TClient& Client = {});

// FDIIsCabinet on the file at Path, read from offset Start.
bool IsCabinet(const std::string& Path, long Start, FDICABINETINFO& Info, ERF& Error);

// Runs cabextract into a fresh directory and reads back what it wrote.
std::map<std::string, std::string> CabextractFiles(const std::filesystem::path& Cabinet);

using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

// Runs a shell command; its exit status.
int RunCommand(const std::string& Command);

}  // namespace fdi_test
