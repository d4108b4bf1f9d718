#pragma once
// The installation model: the product description read from the embedded script, plus the
// choices the user makes in the wizard. One model exists per run; the wizard owns it, the
// worker reads it. Strings are UTF-8 (the script's code page 1251 is decoded once on loading).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "system/Errors.h"

namespace setup {

class IRegistry;
class I1CFolders;

// A conversion error while reading the script; its text is what the user sees.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An error that belongs to a line of the script: a conversion error that stopped the reading,
// or a record that makes the model unusable. LineNo is 1-based, 0 when no line applies.
class EScriptError : public Exception {
 public:
  EScriptError(const std::string& Message, int LineNo) : Exception(Message), FLineNo(LineNo) {}
  int LineNo() const { return FLineNo; }

 private:
  int FLineNo;
};

// Selection states of a group; the value doubles as the state image of its tree node.
enum : std::int32_t { gsNoMark = -1, gsSelected = 1, gsNotSelected = 2, gsPartlySelected = 3 };

// Folder kinds of a group (GROUP column 6) and of the uninstall list's place: the base folder a
// record's path is resolved against. Kind 8 has no base folder: only the placeholders count.
// Only the low seven bits of a stored kind count (fkKindBits); 9 to 127 mean the same as 8.
enum : std::uint8_t {
  fkProgramFiles = 0, fkWindows = 1, fkSystem = 2, fkCommonFiles = 3, fkInstall = 4, fkBde = 5,
  fkProgramGroup = 6, fkFonts = 7, fkPlaceholdersOnly = 8, fkKindBits = 0x7F
};

struct TGroupInfo {
  std::string Caption;
  void* TreeNode = nullptr;  // the wizard's node for this group; not owned
  std::int32_t State = gsSelected;
  std::uint8_t FolderKind = fkProgramFiles;
  std::int32_t ItemNo = 0;
  std::int32_t ParentNo = 0;
  TGroupInfo* Parent = nullptr;
  bool Hidden = false;
  bool InMinimal = false;
  bool InTypical = false;
  std::vector<TGroupInfo*> Depends;  // not owned; duplicates kept
  int LineNo = 0;                    // script line of the record, for messages
};

struct TDirInfo {
  std::int32_t ItemNo = 0;
  std::int32_t ParentNo = 0;
  TGroupInfo* Group = nullptr;
  std::string Path;
  std::string FullPath;
  bool Register1C75 = false;
  bool Register1C77 = false;
  std::string CfgName;
  bool UnInstallWhole = false;
  bool MakeShortcut = false;
  std::string Shortcut;
  int LineNo = 0;
};

struct TFileInfo {
  std::int32_t ItemNo = 0;
  std::int32_t Size = 0;
  std::int32_t ParentNo = 0;
  TGroupInfo* Group = nullptr;
  bool RegisterDll = false;
  bool RegisterExe = false;
  std::uint8_t Reserved17 = 0;
  bool DeleteAfter = false;
  bool MakeShortcut = false;
  std::string ShortcutParams;
  bool CopyTo1C75 = false;
  bool CopyTo1C77 = false;
  bool CopyTo1C8 = false;
  std::string Path;
  std::string FullPath;
  std::string Shortcut;
  bool CheckVersion = false;
  bool SharedFile = false;
  std::string Version;
  bool RunAfter = false;
  bool RunBefore = false;
  bool RunOnUninstall = false;
  std::string RunParams;
  std::string UninstallRunParams;
  int LineNo = 0;
};

struct TExeInfo {
  std::string CommandLine;
};

struct T1SInfo {
  std::string Name;
  std::string Path;
  void* TreeNode = nullptr;
  bool Selected = true;
};

// The texts that tell the product: the script's VERSION, PUBLISHER and URLINFOABOUT.
enum TProductText : int { ptVersion, ptPublisher, ptUrlInfoAbout, ptCount };

// The strings of the uninstall registration that the script provides. The uninstall module
// builds its registration object from them; the model stays free of that module.
struct TUnInstallInfo {
  std::string ListFileName;
  std::string ProductName;
  std::string ProductID;
  // The product's version, its maker and its web page, indexed by TProductText.
  std::string ProductTexts[ptCount];
};

// The folders the program resolves paths against. Every value is empty or ends with a
// backslash. Start-up fills it from the system; tests fill it directly.
struct TEnvironment {
  std::string SystemDir;
  std::string WindowsDir;
  std::string ProgramsDir;
  std::string FontsDir;
  std::string ProgramFilesDir;
  std::string CommonFilesDir;
  std::string BdeDir;
  std::string SetupDir;  // where the cabinets are looked for; may change when the user points to another disk
};

// A record or key that makes the model unusable: no owning group, a group that is its own
// ancestor, a FILE number used before (the cabinet entry of that number installs only the
// first record, so a selected later one would silently be missing), or a path with a "." or
// ".." component (it would lead out of the folder it is resolved against, and the uninstall
// list would name a place outside the product).
struct TModelProblem {
  enum Kind { mpOwnAncestor, mpMissingGroup, mpDuplicateFile, mpDotPath, mpLongName };
  int LineNo = 0;
  std::int32_t ItemNo = 0;  // of the record; 0 for a global key
  std::string Message;
  Kind What = mpMissingGroup;
};

template <class T>
using TOwnedList = std::vector<std::unique_ptr<T>>;

class TInstallInfo {
 public:
  // Registry (and Folders, for the platform's own folders) is where the 1C:Enterprise
  // installations are looked up; neither is owned, and either may be null (without Registry no
  // discovery: the product lists stay empty).
  explicit TInstallInfo(IRegistry* Registry = nullptr, I1CFolders* Folders = nullptr);
  TInstallInfo(const TInstallInfo&) = delete;
  TInstallInfo& operator=(const TInstallInfo&) = delete;

  // The script's lines, viewing the decoded text that the model keeps.
  std::vector<std::string_view> Lines;
  TOwnedList<TGroupInfo> Groups;
  TOwnedList<TDirInfo> Dirs;
  TOwnedList<TFileInfo> Files;
  TOwnedList<T1SInfo> Products75;
  TOwnedList<T1SInfo> Products77;
  TOwnedList<T1SInfo> Products8;
  TOwnedList<TExeInfo> ExePaths;
  std::string Description;
  bool Dialog1S = false;
  bool DialogReboot = false;
  bool DialogReadme = false;
  bool DialogLicense = false;
  bool UnInstall = false;
  std::vector<std::string> Readme;
  std::vector<std::string> License;
  std::string InstallDir;
  std::string Directory;
  std::string DownloadWebPage;
  bool SelectDirectoryFrom1C = false;
  std::uint8_t GroupDirectory = 0;
  std::string ProgramGroup;
  std::string GroupName;
  bool TypicalInstall = false;
  bool MinimalInstall = false;
  bool CustomInstall = false;
  bool FullInstall = false;
  bool DialogGroup = false;
  TUnInstallInfo UnInstallInfo;
  std::uint8_t GroupUnInstallPath = 0;
  std::string NameFont;
  // The script lines of the last DIRECTORY, UNINSTALLPATH, GROUPNAME and DESCRIPTION, for messages.
  int DescriptionLineNo = 0;
  int DirectoryLineNo = 0;
  int UnInstallPathLineNo = 0;
  int GroupNameLineNo = 0;

  TEnvironment Environment;

  // Reads the script (code page 1251 bytes; CR LF, CR or LF end a line; a NUL byte ends the
  // text) into Lines and applies every non-empty line. A conversion error stops the reading
  // with EScriptError carrying the line; what was read before stays in the model.
  void LoadScript(std::string_view Bytes);
  // Applies one line (UTF-8) to the model; a conversion error raises EConvertError.
  void ParseLine(std::string_view Line);

  // The FILE record with that item number (the first one when several share it), or null.
  TFileInfo* FindFile(std::int32_t ItemNo);

  // Resolves a path text against a folder kind and replaces the folder placeholders.
  std::string ExpandPath(std::uint8_t FolderKind, std::string_view Text) const;

  // Sets every group's state for the chosen installation types (applied in this order).
  void ApplyInstallType(bool Full, bool Typical, bool Minimal, bool Custom);

  // The default installation directory, the installation directory and the program group,
  // from the script and the command-line switches "/PATH=" and "/GROUP=".
  void ApplyStartupDefaults(const std::vector<std::string>& Args);

  // Every record that makes the model unusable, in script order.
  std::vector<TModelProblem> FindModelProblems() const;
  // Raises EScriptError for the first such record.
  void Validate() const;

  IRegistry* Registry() const { return FRegistry; }

 private:
  void ParseRecordLine(int Key, std::string_view Value);

  IRegistry* FRegistry;
  std::string FText;
  int FCurrentLine = 0;
  // First group by number (parents, owners), last group by number (dependencies), first file
  // by number (cabinet entries). Records are only ever appended, so the maps stay valid.
  // The index follows the record lists; the const checks bring it up to date too.
  mutable std::unordered_map<std::int32_t, TGroupInfo*> FFirstGroup;
  mutable std::unordered_map<std::int32_t, TGroupInfo*> FLastGroup;
  mutable std::unordered_map<std::int32_t, TFileInfo*> FFirstFile;
  mutable std::size_t FIndexedGroups = 0;
  mutable std::size_t FIndexedFiles = 0;
  void SyncIndex() const;
};

// Line routines of the reader. Without "=" in the line all three give an empty text.
std::string LineKey(std::string_view Line);
std::string LineValue(std::string_view Line);
// Column N (1-based) of the value: columns are separated by single blanks; missing ones are empty.
std::string LineField(std::string_view Line, int N);

// The script's integer conversion: optional leading blanks, optional sign, decimal digits or
// hexadecimal after "$" or "0x"; nothing may follow. False when Text is not such a number.
bool TryScriptStrToInt(std::string_view Text, std::int32_t& Value);
// The same, raising EConvertError "'Text' is not a valid integer value.".
std::int32_t ScriptStrToInt(std::string_view Text);

// True for the keys the reader knows, exactly as they are spelled.
bool IsScriptKey(std::string_view Key);

}  // namespace setup
