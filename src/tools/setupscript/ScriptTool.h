#pragma once
// What `setupscript` tells a script's author: every line the setup program would ignore or act
// on in a way the author may not expect, and the model the program builds from the script.
#include <string>
#include <string_view>
#include <vector>

namespace setup {

class TInstallInfo;

enum class TCheckKind {
  NoEquals,          // a line without "="
  Spacing,           // not exactly one blank on each side of the first "="
  UnknownKey,        // a key the program does not know
  KeyCase,           // a known key in the wrong letter case
  OrphanAttribute,   // an attribute line before any record of its kind
  DistantAttribute,  // an attribute that attaches to a record before a record of another kind
  Overwritten,       // a single-valued key or attribute given again: the later value wins
  DependMissing,     // DEPEND naming a number no record has
  DependLater,       // DEPEND naming a group that comes after it
  DependNotGroup,    // DEPEND naming a DIR or FILE record
  DuplicateGroup,    // a group number used before
  DuplicateFile,     // a file number used before: the program refuses the script
  ParentNotEarlier,  // a GROUP whose parent number is no earlier group: it becomes top-level
  MissingOwner,      // a DIR or FILE whose group is no earlier group: the program refuses the script
  Cycle,             // a group that is its own ancestor: the program refuses the script
  DotPath,           // a path with a "." or ".." component: the program refuses the script
  LongName,          // a DESCRIPTION too long to name the uninstall key: the program refuses the script
  Conversion,        // a value that is not a valid integer: reading stops there
  Utf8Text,          // Russian text in UTF-8, which the program reads as code page 1251
};

struct TCheckIssue {
  int LineNo = 0;
  bool Error = false;  // the program complains or refuses the script (otherwise it goes on quietly)
  TCheckKind Kind{};
  std::string Text;
};

struct TCheckResult {
  std::vector<TCheckIssue> Issues;  // ordered by line
  bool Ok() const;                  // no error among them
};

// Checks a script given as its code page 1251 bytes.
TCheckResult CheckScript(std::string_view Bytes);

// The model of a script as JSON; StopMessage/StopLine describe a reading that stopped (empty
// message when it did not).
std::string DumpModel(const TInstallInfo& Info, const std::string& StopMessage, int StopLine);

// Reads the script bytes into a model and prints it as JSON; true when it read without error
// and the program would accept it.
bool DumpScript(std::string_view Bytes, std::string& Json);

}  // namespace setup
