#pragma once
// What the uninstaller removes, in which order, and what it keeps: the decisions, apart from
// the system that carries them out (the Windows file system and registry in the program, a
// model of them in the tests).
//
// The order:
//   1. File items (files and shortcuts), last recorded first. For each: a shared file first
//      lowers its counter under SharedDLLs and goes on only when no other product counts on
//      it any more (a counter that is missing or already 0 keeps the file, and says so);
//      then the file's removal commands run, a registered server is unregistered, and the
//      file is deleted; a busy file is deleted at the next restart.
//   2. The product's uninstall entry, when it still names this list, and the list file itself.
//   3. Folders, deepest first: a folder recorded as a whole goes with everything in it (but
//      never a drive's root, and never a shared file another product still counts on);
//      any other folder only when nothing is left in it. The same holds for the unrecorded
//      folders inside recorded ones on the way to what was removed (the installation makes
//      them on the way to its files).
// Folders come after all files because the installation records its folders after its files,
// and the folders it adds on its own (installation folder, program group) come last of all:
// in plain reverse order a folder would be looked at while its files are still there.
//
// Whatever a list says, nothing outside the product's own folders is touched, and every
// decision is made on the canonical form of a path (full, "." and ".." resolved, short names
// made long; network, device and "\\?\" forms refused). The product's own folders are:
//   - the installation folder: as the product's uninstall entry records it (InstallFolder; the
//     entry lies under HKEY_LOCAL_MACHINE, which only administrators write), or, without an
//     entry that names the list, the folder the list lies in (the list is written there unless
//     the script puts it elsewhere, and UnInstall.exe is expected beside it);
//   - the program group: the folder the installation records last, when it lies inside one of
//     the Start menu's Programs folders;
//   - the folders of the list's directory items, when the list is proven to be the one the
//     installation wrote (ListVerified: its digest matched the entry's): those come from the
//     script's own DIR records (a shared folder under Common Files, say). In a list whose origin
//     is not proven, a directory item outside the two folders above is refused.
// None of them may be a drive's root, a system folder or one that holds one, lie inside a
// system tree (the Windows folder), or hold the installation folder. A file or folder item
// outside them, or reached through a link below them, is refused: left alone and reported. Its
// removal commands run only for a file inside them, and only from a proven list.
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "RemovalList.h"
#include "system/Registry.h"
#include "system/SafePaths.h"

namespace setup {

class IRemovalSystem {
 public:
  enum class DeleteOutcome { Deleted, Missing, Busy, Failed };
  struct Entry {
    std::string Name;
    bool IsDirectory = false;
    bool IsLink = false;  // a symbolic link or junction: removed as a link, never entered
  };
  virtual ~IRemovalSystem() = default;
  virtual bool FileExists(const std::string& Path) = 0;
  virtual bool DirectoryExists(const std::string& Path) = 0;
  // True for a symbolic link or a junction.
  virtual bool IsLink(const std::string& Path) = 0;
  // Deletes a file, read-only or not. Busy: another process holds it.
  virtual DeleteOutcome RemoveFile(const std::string& Path) = 0;
  // Removes an empty folder.
  virtual bool RemoveEmptyFolder(const std::string& Path) = 0;
  // Marks a file or an empty folder for deletion when the system next starts.
  virtual bool ScheduleDeleteAtRestart(const std::string& Path) = 0;
  virtual std::vector<Entry> ListDirectory(const std::string& Dir) = 0;
  // Runs a command line and waits for it; false when it could not be started.
  virtual bool RunCommand(const std::string& CommandLine) = 0;
  // Asks a server to remove its registration: a program with "/UnregServer", a library
  // through its DllUnregisterServer. Failures are the server's own business.
  virtual void UnregisterServer(const std::string& Path, bool IsProgram) = 0;
  // The path with its short (8.3) names made long, as far as it exists; the rest unchanged.
  virtual std::string LongPath(const std::string& Path) = 0;
};

struct TRemovalNote {
  enum Kind {
    // Left behind: the removal is not complete.
    Scheduled,       // busy, deleted at the next restart
    NotRemoved,      // could not be removed
    NoCounter,       // a shared file whose counter is missing or 0
    CommandFailed,   // a removal command could not start
    Refused,         // outside the product's folders, or a path no removal accepts: left alone
    CommandRefused,  // removal commands of a list whose origin is not proven: not run
    // Kept by the rules.
    SharedInUse,  // another product still counts on the shared file
    NotEmpty,     // a folder that still holds something not ours
  };
  Kind What;
  std::string Path;  // for CommandFailed and CommandRefused, the command line
  // For NotEmpty, the names left in the folder (a folder's with a backslash), comma-separated.
  std::string Detail;
  bool IsLeft() const { return What <= CommandRefused; }
};

struct TRemovalReport {
  std::vector<TRemovalNote> Notes;
  bool Complete() const;
  // 0 when everything went, 1 when something was left.
  int ExitStatus() const { return Complete() ? 0 : 1; }
};

class TRemovalPlan {
 public:
  TRemovalPlan(const TRemovalList& List, std::string ListFileName);

  // The file of the uninstaller that the user started, when it is still running while this
  // one works: it and the folders that hold nothing else are removed by FinishDeferred, once
  // it has ended.
  std::string DeferredFile;
  // The system's own folders (Windows, Program Files, the profile...): never removed, and
  // never one of the product's folders, nor is a folder that holds one.
  std::vector<std::string> SystemFolders;
  // Folders nothing inside which is a product's (the Windows folder).
  std::vector<std::string> SystemTrees;
  // The Start menu's Programs folders (the user's and everyone's), where the program group is.
  std::vector<std::string> ProgramsFolders;
  // The program folders of the 1C:Enterprise installations on this machine: the files of a
  // verified list directly inside one are the product's copies into it (the folder is not the
  // product's).
  std::vector<std::string> AddinFolders;
  // The installation folder as the product's uninstall entry records it; empty without an entry
  // that names this list.
  std::string InstallFolder;
  // The list is the one the installation wrote, unchanged.
  bool ListVerified = false;
  // Called before each step with the number of steps done, their total, and the path at hand.
  std::function<void(int Done, int Total, const std::string& Path)> OnProgress;

  TRemovalReport Execute(IRemovalSystem& System, IRegistry& Registry);
  void FinishDeferred(IRemovalSystem& System, TRemovalReport& Report);

 private:
  enum class Counter { Removable, InUse, Missing };
  struct Folder {
    std::string Path;  // without trailing backslash, except a drive's root
    bool Whole = false;
    bool Recorded = true;  // named by the list, not only on the way to something that is
  };

  // Canonical form with long names; empty when the path is refused.
  std::string Resolve(const std::string& Path) const;
  void FindProductFolders();
  bool MayBeProductFolder(const std::string& Path) const;
  // Path (canonical) lies in the product's folders and reaches there through no link.
  bool IsAddinCopy(const std::string& Path);
  bool IsProducts(const std::string& Path, bool IsFolder);
  void Refuse(const std::string& Original, const std::string& Canonical, bool IsFolder);
  void ReadCountedFiles();
  void RemoveFileItem(const TUnInstallFile& File, const std::string& Path);
  Counter LowerSharedCounter(const std::string& FileName);
  void DeleteOneFile(const std::string& Path);
  void RemoveUninstallEntry();
  std::vector<Folder> FoldersDeepestFirst() const;
  // Removes what Path holds (all of it when Whole) and then Path itself; true when the folder
  // is gone or will go (at restart, or after the deferred file).
  bool RemoveFolder(const std::string& Path, bool Whole, bool TopLevel);
  void Note(TRemovalNote::Kind What, const std::string& Path) { FReport.Notes.push_back({What, Path}); }
  void Step(const std::string& Path);

  const TRemovalList& FList;
  std::string FListFileName;
  IRemovalSystem* FSystem = nullptr;
  IRegistry* FRegistry = nullptr;
  TRemovalReport FReport;
  int FDone = 0;
  int FTotal = 0;
  // Canonical: the system's folders and trees, the installation folder, the product's folders.
  std::vector<std::string> FSystemFolders, FSystemTrees;
  std::string FInstallFolder;
  std::unordered_set<std::string> FProductFolders;  // folded
  std::unordered_set<std::string> FAddinFolders;    // folded
  // The list's directory items that are the product's, canonical, last recorded first.
  std::vector<Folder> FRecordedFolders;
  std::unordered_map<std::string, bool> FLinks;  // folded path -> is a link
  // Paths (folded) that must not be deleted now: shared files kept for other products.
  std::set<std::string> FProtected;
  // Paths (folded, canonical) that some product counts on under SharedDLLs.
  std::set<std::string> FCounted;
  // Paths (folded) deleted at the next restart, and those waiting for the deferred file.
  std::set<std::string> FAtRestart;
  std::set<std::string> FAfterDeferred;
  std::vector<std::string> FDeferredFiles;
  // Files this run deleted: the folders on their way may have become empty.
  std::vector<std::string> FRemovedFiles;
  std::vector<std::string> FDeferredFolders;
};

}  // namespace setup
