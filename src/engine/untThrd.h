#pragma once
// The installation worker: performs a prepared installation in fixed stages, reporting to the
// window that hosts it through a narrow interface. What the worker decides lives here and in
// untThrd.cpp (portable); what it does to the machine goes through IInstallSystem, whose
// Windows implementation is untThrdWin.cpp.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cabinet/reader/Cabinet.h"
#include "engine/PreChecks.h"
#include "model/untData.h"
#include "system/Messages.h"
#include "system/Registry.h"
#include "uninstall/untUnInstall.h"

namespace setup {

// Buttons and answers of the host's message boxes (the system's values).
enum : unsigned {
  mbOk = 0x0, mbAbortRetryIgnore = 0x2, mbYesNo = 0x4, mbRetryCancel = 0x5,
  mbIconError = 0x10, mbIconQuestion = 0x20, mbIconExclamation = 0x30, mbDefButton2 = 0x100
};
enum : int { idOk = 1, idCancel = 2, idAbort = 3, idRetry = 4, idIgnore = 5, idYes = 6, idNo = 7 };

// System error codes the worker tells apart.
enum : int {
  errAccessDenied = 5, errSharingViolation = 32, errLockViolation = 33, errFileExists = 80
};

// What the worker needs from the window it runs in.
class IInstallHost {
 public:
  virtual ~IInstallHost() = default;
  // Shows the current operation (the worker pumps messages itself where it should).
  virtual void SetCaption(const std::string& Text) = 0;
  // Shows the text and repaints the label at once, without processing other messages.
  virtual void RepaintCaption(const std::string& Text) = 0;
  virtual void SetProgress(std::int64_t Position, std::int64_t Maximum) = 0;
  virtual void ProcessMessages() = 0;
  // A message box with the given caption, text and flags; the answer is one of the id values.
  virtual int ShowMessage(const std::string& Caption, const std::string& Text, unsigned Flags) = 0;
  // The next-disk prompt: the user confirms a folder that should hold FileName.
  // WrongDisk: the cabinet found there before was not the right one, and the prompt says so.
  virtual bool AskNextDisk(std::string& Folder, const std::string& FileName, bool WrongDisk) = 0;
  // One line for the installation log (without time stamp or line end); a host without a log
  // drops it.
  virtual void Log(const std::string& Line) { (void)Line; }
  // The run's changes are being undone: Text is shown at once, without processing messages.
  virtual void ShowUndoing(const std::string& Text) { (void)Text; }
};

// What the worker does to the machine. Paths are UTF-8; error codes are the system's.
class IInstallSystem {
 public:
  virtual ~IInstallSystem() = default;
  // The file handler the cabinet reader works through; the worker writes extracted files with it.
  virtual TCabinetFileHandler& FileHandler() = 0;
  virtual bool FileExists(const std::string& Path) = 0;
  virtual std::string FileVersion(const std::string& Path) = 0;
  virtual void MakeDirs(const std::string& Dir) = 0;
  // Empty when a file can be written at Path (creating its folder if needed; an existing file
  // is not changed), else the system's reason.
  virtual std::string CheckWritable(const std::string& Path) = 0;
  // 0 when the existing file at Path can be replaced now (or there is none), else the error
  // of opening it without sharing (32 or 33 when another process holds it).
  virtual int ProbeTarget(const std::string& Path) = 0;
  // Puts the complete file Part in place of Target (clearing the target's attributes first);
  // 0 or the system error. Part stays where it was on failure.
  virtual int ReplaceTarget(const std::string& Part, const std::string& Target) = 0;
  // Stamps the last-write time from the cabinet's DOS date and time, taken as they are, on the
  // file at Path while it is still open as File (a handle of FileHandler(), open for writing).
  virtual void StampFile(std::intptr_t File, const std::string& Path, std::uint16_t Date, std::uint16_t Time) = 0;
  virtual void SetAttributes(const std::string& Path, unsigned Attributes) = 0;
  virtual void RemoveFile(const std::string& Path) = 0;
  virtual bool CopyFileTo(const std::string& From, const std::string& To) = 0;
  virtual std::string ErrorText(int Code) = 0;
  // Starts a command, waits for it, and gives its exit status; raises when it cannot start.
  virtual std::uint32_t RunProgram(const std::string& CommandLine) = 0;
  // Opens a file through the shell ("open"), in its own folder, without waiting.
  virtual void OpenDocument(const std::string& Path) = 0;
  // Self-registration of a COM server; the result is the registering run's exit status
  // (0 registered). Never raises.
  virtual std::uint32_t RegisterDllServer(const std::string& Path) = 0;
  virtual void RegisterExeServer(const std::string& Path) = 0;
  virtual void CreateShellLink(const std::string& Target, const std::string& Arguments,
                               const std::string& LinkFile) = 0;
  // Takes the deletions the system would carry out at its next start (an uninstaller leaves
  // them for files it found busy) off the paths of Paths; returns the paths taken off.
  virtual std::vector<std::string> CancelDeletesAtRestart(const std::vector<std::string>& Paths) = 0;
  // Opens a file for reading and keeps it open until ReleaseFile (or the end of this object):
  // others may still read it, but nobody can write, rename, replace or delete it meanwhile.
  // -1 when it cannot be opened.
  virtual std::intptr_t HoldFile(const std::string& Path) = 0;
  // Reads on from where the last read of the held file ended; 0 at its end or on an error.
  virtual unsigned ReadHeldFile(std::intptr_t File, void* Buffer, unsigned Count) = 0;
  virtual void ReleaseFile(std::intptr_t File) = 0;
  // The volume that holds Path (which need not exist yet), named as its root folder, and the
  // bytes free on it for this user; false when that cannot be told (a network path, say).
  virtual bool VolumeSpace(const std::string& Path, std::string& Volume, std::uint64_t& Free) = 0;
  // The size of the file at Path, or -1 when there is none.
  virtual std::int64_t FileSize(const std::string& Path) = 0;
  // True while an uninstaller works on the uninstall list ListFile.
  virtual bool UninstallerWorksOn(const std::string& ListFile) = 0;
  // What undoing a run needs.
  virtual bool FolderExists(const std::string& Path) = 0;
  // Removes the folder when it is empty (and not a link); true when it is gone.
  virtual bool RemoveEmptyFolder(const std::string& Path) = 0;
  // Renames a file within its volume, never over an existing one; 0 or the system error.
  virtual int RenameFile(const std::string& From, const std::string& To) = 0;
  // Undoes RegisterDllServer (Exe false) or RegisterExeServer (Exe true).
  virtual void UnregisterServer(const std::string& Path, bool Exe) = 0;
  // Gives the file From a second name To on its volume (a hard link); 0 or the system error.
  virtual int LinkFile(const std::string& From, const std::string& To) = 0;
};

// ---- Undoing a run ------------------------------------------------------------------------

// One change of a run, recorded before it is made.
enum TChangeKind : char {
  chFolder = 'D',     // folder Path was created
  chFile = 'F',       // file Path was created where there was none
  chBackup = 'B',     // the file at Path was renamed to Name, beside it (Existed: given Name as a second name)
  chPart = 'P',       // part file Path was created
  chValue = 'V',      // value Name of key Path changed; Existed, Type and Data give its earlier state
  chKey = 'K',        // key Path was created
  chDllServer = 'S',  // in-process server Path was registered (Existed: over an earlier file)
  chExeServer = 'X'   // server program Path was registered (Existed: over an earlier file)
};
struct TChange {
  TChangeKind Kind = chFile;
  std::string Path, Name;
  RegistryRoot Root = RegistryRoot::LocalMachine;
  bool Existed = false;
  std::uint32_t Type = 0;
  std::vector<std::uint8_t> Data;
};

// The run's changes in the order they were made; the registry's are recorded as it tells them.
// Each is also handed to Store before it is made, so that a run killed in the middle can be
// undone by the next one from the journal's file.
class TChangeJournal : public IRegistryWatch {
 public:
  std::vector<TChange> Changes;
  // Appends the bytes to the journal's file; Durable: and returns once everything written so
  // far is on the disk. None: the journal is kept in memory only.
  std::function<void(const std::string& Bytes, bool Durable)> Store;
  // Durable for a change that moves or overwrites what was there: its record must survive a
  // power cut that the change may survive.
  void Record(TChange Change, bool Durable = false);
  // The changes from Mark on were taken back, or never made.
  void DropFrom(std::size_t Mark);
  // Everything recorded so far on the disk.
  void Sync();
  // The run is kept: from here on its backups are deleted, not put back.
  void Committing();
  // A value that was there is on the disk before it changes; a batch of values (see
  // IRegistry::WillChange) is settled once, at its last value.
  void ValueChanging(RegistryRoot Root, const std::string& Key, const std::string& Name, bool Existed,
                     std::uint32_t Type, const std::vector<std::uint8_t>& Data, bool Settle) override;
  void KeyCreating(RegistryRoot Root, const std::string& Key) override;

 private:
  bool FUnsettled = false;
};

// The journal file's first bytes, which Store is given before any record.
extern const char cJournalHeader[];
// The changes a journal file holds, as far as it was written: a record cut by the end of the
// file, or anything after bytes that are not a record, is left out (a run killed while
// writing it had not made that change yet). Nothing for bytes that are not a journal.
// Committed: the run was kept, and only its backups are left to delete.
std::vector<TChange> ReadJournal(std::string_view Bytes, bool& Committed);

// Undoes Changes from the last to the first, logging every step. A change that never happened
// undoes to nothing. Gives what could not be put back, one description each.
std::vector<std::string> UndoChanges(const std::vector<TChange>& Changes, IInstallSystem& System,
                                     IRegistry& Registry, IInstallHost& Host);
// Keeps the run: the files it set aside are deleted.
void CommitChanges(const std::vector<TChange>& Changes, IInstallSystem& System);

// The file the worker is writing: under its own name when it was not there, else beside it (a
// part file) until its content is complete and it takes the target's place. Whatever is left
// of it (an open handle, a part file, a new file not complete) goes when it is dropped.
class TJournaledSystem;
class TFileWrite {
 public:
  explicit TFileWrite(IInstallSystem& System) : FSystem(System) {}
  ~TFileWrite() { Drop(); }
  TFileWrite(const TFileWrite&) = delete;
  TFileWrite& operator=(const TFileWrite&) = delete;

  // Opens where the content of File goes (TargetExisted: the target was there when looked
  // at); -1 and Err when nothing could be made. A target that came meanwhile is taken as one
  // that was there.
  std::intptr_t Begin(const TFileInfo& File, bool TargetExisted, TJournaledSystem& Tracked, int& Err);
  // Handle of the library's is this file's, the one it names EntryName.
  bool Owns(std::intptr_t Handle, const std::string& EntryName) const;
  // The handle was closed.
  void Closed() { Handle = -1; }
  // The content is where it belongs: nothing is dropped any more.
  void Placed() { Path.clear(); }
  void Drop();

  const TFileInfo* File = nullptr;
  std::string Path;  // where the content is written: the target, or its part file
  std::intptr_t Handle = -1;
  bool TargetExisted = false;
  bool InPlace = false;  // written under the target's own name

 private:
  IInstallSystem& FSystem;
};

// The changing calls of a run into the system: each change is recorded in the journal before it
// is made, and a file about to be replaced is renamed aside (on its own volume) until the run is
// undone or kept.
class TJournaledSystem {
 public:
  TJournaledSystem(IInstallSystem& System, TChangeJournal& Journal) : FSystem(System), FJournal(Journal) {}
  // Records the folders of Dir that do not exist yet, as about to be created.
  void RecordNewFolders(const std::string& Dir);
  // Before Path is written: records a new file, or sets the existing one aside. 0 or the
  // system error of the rename.
  int SetAside(const std::string& Path);
  // Creates a new part file (never opening an existing one); -1 and Err on failure.
  std::intptr_t CreatePart(const std::string& Path, int& Err);
  // Keeps what an earlier installation's uninstaller is about to remove: the files of its list
  // (the list included) under a second name beside them, its uninstall entry Key and the
  // shared counters of its files as they are, its servers to be registered again.
  void KeepEarlier(IRegistry& Registry, const std::string& Key, const std::string& ListFile);
  void MakeDirs(const std::string& Dir);
  // TargetExisted: the target was found when its new content began (no second look is taken).
  int ReplaceTarget(const std::string& Part, const std::string& Target, bool TargetExisted);
  bool CopyFileTo(const std::string& From, const std::string& To);
  std::uint32_t RegisterDllServer(const std::string& Path);
  void RegisterExeServer(const std::string& Path);
  void CreateShellLink(const std::string& Target, const std::string& Arguments, const std::string& LinkFile);

 private:
  void Add(TChangeKind Kind, const std::string& Path, const std::string& Name = {}, bool Existed = false);
  // Existed: the server's file replaced an earlier one.
  void AddServer(TChangeKind Kind, const std::string& Path);
  // Puts a file set aside by SetAside back after the change it made room for failed.
  void PutBack(const std::string& Path, std::size_t Mark);

  IInstallSystem& FSystem;
  TChangeJournal& FJournal;
  int FBackups = 0;
};

#ifdef _WIN32
class TRunFolder;
// The system's files, processes, COM and shell; registers in-process servers in a child run of
// RegistrationProgram (see RunChildRegistration), by default of the program's own file.
std::unique_ptr<IInstallSystem> CreateWindowsInstallSystem(const std::string& RegistrationProgram = {});
// A journal store (see TChangeJournal::Store) writing to the file held as File (a HANDLE)
// named Path, after the journal's header; raises when the file cannot be written.
std::function<void(const std::string& Bytes, bool Durable)> JournalFileStore(void* File, const std::string& Path);
// The journal's file in a run's folder.
inline constexpr char cJournalName[] = "JOURNAL";
// Completes what a run left unfinished when it was killed or cut off by a power failure: the
// journal in the run's abandoned folder (held as Folder, at Path) is undone, or, for a kept
// run, its backups deleted; every step goes to Host's log. A journal that the user's
// unelevated programs could have written is not followed when this run is elevated: its owner
// must be SYSTEM, the Administrators, or the one this run's own journal gets in its folder
// Own. True when a run was undone; what could not be put back is added to Left.
bool RecoverInterruptedRun(void* Folder, const std::string& Path, TRunFolder& Own, IInstallHost& Host,
                           IRegistry& Registry, std::vector<std::string>& Left);
#endif

// Records that take part in the run (their group is anything but not selected) and records
// whose content is extracted (their group is selected or partly selected).
inline bool TakesPart(const TGroupInfo* Group) { return Group && Group->State != gsNotSelected; }
inline bool IsExtracted(const TGroupInfo* Group) {
  return Group && (Group->State == gsSelected || Group->State == gsPartlySelected);
}
// True when a group of the database engine's folder kind takes part: only then is that folder
// created, recorded for uninstalling and written as the engine's library path.
bool UsesBdeFolder(const TInstallInfo& Info);
// The progress bar's maximum: the sizes of all FILE records, selected or not.
std::int64_t ProgressMaximum(const TInstallInfo& Info);
// What the uninstall entry tells of the installation: the room its files take (kilobytes,
// temporary files left out) and its picture, the first program a shortcut starts (the
// product's own, with its own icon), else the uninstaller beside the list. After PreparePaths.
void DescribeInstallation(const TInstallInfo& Info, TUnInstall& UnInstall);
// The Start-menu folder of the program group, without trailing backslash.
std::string ProgramGroupFolder(const TInstallInfo& Info);
// Resolves the uninstall list's place, the commands run first, and every record's target and
// shortcut path. Runs once per model: shortcut paths are built on what the script gave.
void PreparePaths(TInstallInfo& Info, TUnInstall& UnInstall);
// The uninstall items of the run, in list order.
// Where a file is copied in the 1C installations the user kept selected.
std::vector<std::string> CopyTargets1C(const TInstallInfo& Info, const TFileInfo& File);
void AddUninstallItems(const TInstallInfo& Info, TUnInstallList& Items);
// The first path of the uninstall list that the ANSI code page cannot hold, or empty.
std::string FirstNonAnsiPath(const TInstallInfo& Info, const TUnInstallList& Items);

// The version question for File over an existing file of ExistingVersion; empty when the file
// is written without asking (no check, no version on either side, or the same text).
std::string VersionQuestion(const TFileInfo& File, bool TargetExists, const std::string& ExistingVersion);
std::string BusyFileQuestion(const std::string& Path);
// Where a file's new content is written until it is complete: beside the target, so that the
// replacement is a rename within one folder. Attempt counts names already taken.
std::string PartFileName(const TFileInfo& File, int Attempt);
// The cabinet's attribute word as applied to an installed file: read-only, hidden, system and
// archive only (the library's run-after-extract flag and anything else are dropped).
unsigned InstalledAttributes(std::uint16_t CabinetAttributes);

// The bookkeeping of a walk over a cabinet set: which cabinets were met, whether each one
// belongs to the set and comes in order, and which entries were found. Every check raises an
// Exception with the text the user sees.
class TCabinetWalk {
 public:
  // The walk is about to extract Name; raises when it was extracted before (a cycle).
  void BeginCabinet(const std::string& Name);
  // The library asks for Name to continue a file; raises when the walk extracted it before.
  void ContinuationRequested(const std::string& Name);
  // The library announces a cabinet: first the one being extracted, then each continuation.
  // Raises when it belongs to another set or does not come next; gives the cabinet's name.
  std::string CabinetInfo(int SetId, int Number);
  void EntryMet(std::int32_t ItemNo) { FMet.insert(ItemNo); }
  bool WasMet(std::int32_t ItemNo) const { return FMet.count(ItemNo) != 0; }
  // Raises, naming the first few, when an extracted record was never met in the set.
  void CheckComplete(const TInstallInfo& Info) const;
  int SetId() const { return FSetId; }

 private:
  std::set<std::string> FExtracted, FSeen;  // upper-case names: extracted; extracted or continued into
  std::string FCurrent, FLastContinuation;
  std::set<std::int32_t> FMet;
  bool FAwaitingOwnInfo = false;
  bool FHaveSet = false;
  int FSetId = 0;
  int FLastNumber = 0;
};

// The digests a setup program carries for its cabinets: "name=hex" lines, as mksetup writes
// them into its resource. Names and digests are kept upper-case; malformed lines are dropped.
using TCabinetDigests = std::map<std::string, std::string>;
TCabinetDigests ParseCabinetDigests(std::string_view Text);

// Why a file that should have been written was left as it was.
enum TSkipReason { srKeptVersion, srBusy };
struct TSkippedFile {
  std::string Path;
  TSkipReason Reason;
};

class TExecutor {
 public:
  // Info, Host, Registry and System are not owned. Library gives the cabinet library's entry points.
  TExecutor(TInstallInfo& Info, IInstallHost& Host, IRegistry& Registry, const TCabinetLibraryFunctions& Library,
            IInstallSystem& System);
#ifdef _WIN32
  // The same on the system's own files and processes; in-process servers are registered in a
  // child run of RegistrationProgram (a copy of this program), or of this program's own file.
  TExecutor(TInstallInfo& Info, IInstallHost& Host, IRegistry& Registry, const TCabinetLibraryFunctions& Library,
            const std::string& RegistrationProgram = {});
#endif
  ~TExecutor();

  // Runs every stage; the outcome is Succeeded. Errors are reported through the host.
  void Execute();

  bool CabinetFound = false;
  std::unique_ptr<TCabinetReader> Reader;
  std::string CurrentCabinet;
  std::string NextCabinet;
  bool Succeeded = false;
  TInstallInfo& Info;
  bool Cancelled = false;

  // The command-line arguments the unattended switch is read from (the program's own by default).
  std::vector<std::string> Arguments;
  // The uninstall registration of this run, built from the script's strings.
  TUnInstall UnInstall;
  // The SHA-256 each cabinet of the set was made with, by upper-case name. Empty when the
  // setup program carries none: the cabinets are then taken as they are. Otherwise a cabinet
  // is used only when its digest matches, and a cabinet not listed never matches.
  TCabinetDigests CabinetDigests;
  // The cabinets are carried in the program's own file: one missing or not matching its digest
  // is a damaged download (PayloadDamaged), and no disk is ever asked for.
  bool CabinetsCarried = false;
  bool PayloadDamaged = false;
  // Files kept in their earlier version or skipped because they were busy, in the order met.
  std::vector<TSkippedFile> SkippedFiles;
  // Set when the run did not complete and its changes were undone; UndoLeft names what could
  // not be put back.
  bool RolledBack = false;
  std::vector<std::string> UndoLeft;
  // Where the journal's records go before each change (see TChangeJournal::Store).
  void KeepJournal(std::function<void(const std::string& Bytes, bool Durable)> Store) { FJournal.Store = std::move(Store); }

 private:
  void Connect(const TCabinetLibraryFunctions& Library);
  void Run();
  // Sets a caption and pumps messages; false when the run was cancelled meanwhile.
  bool Stage(const std::string& Caption);
  int Ask(const std::string& Caption, const std::string& Text, unsigned Flags);
  bool Unattended() const;

  void CheckBeforeChanges();
  // The cabinets at hand (the setup folder and the disk folders beside it) checked in their
  // chain and against their digests before any change; a later disk is checked when it comes.
  void CheckCabinetsAtHand();
  // Empty when the cabinet Name in Folder belongs where the chain expects it and matches its
  // digest (it is then held until the run ends), else the text that refuses it. Its
  // successor's name is left in FCheckedNext.
  std::string CheckCabinet(const std::string& Folder, const std::string& Name);
  void CheckFreeSpace();
  // An uninstaller of the earlier installation at work: asked to wait or stop (Cancelled).
  void CheckNoUninstallerAtWork();
  void RunExternalPrograms();
  void RemovePrevious();
  void KeepFromDeletionAtRestart();
  void CreateDirectories();
  void CreateUninstallRecord();
  void ExtractAll();
  void RegisterServers();
  void Register1CConfigurations();
  void CreateShortcuts();
  void CopyTo1CProducts();
  void RunInstalledPrograms();
  void DeleteTemporaryFiles();
  void WriteBdePaths();

  void FindCabinet(bool AskFirst = false);
  [[noreturn]] void RefuseDamagedPayload();
  // FindCabinet, and then, when the program carries digests, the cabinet found must match its
  // own; one that does not is refused as a disk of another set.
  // A cabinet found without asking that is wrong ends the run when RefuseAtHand is set; one
  // brought to the prompt (or any, without RefuseAtHand) is asked for again.
  void FindVerifiedCabinet(bool AskFirst = false, bool RefuseAtHand = false);
  void HandleCabinetInfo(const std::string& CabinetName, const std::string& CabinetPath, int SetId,
                         int CabinetNumber);
  void HandleNextCabinet(const std::string& NextCabinetName, std::string& CabinetPath, int ErrorIndication,
                         bool& Abort);
  void HandleCopyFile(const std::string& FileName, TFileCopyAction& Action, std::intptr_t& DestFileHandle);
  void HandleCloseCopiedFile(const std::string& FileName, std::intptr_t FileHandle, std::uint16_t Date,
                             std::uint16_t Time, std::uint16_t Attribs, bool& Abort);
  TFileInfo* FindEntry(const std::string& FileName);
  // Asks what to do with a file another process holds; true to try again. Unattended, or on
  // Ignore, the file is recorded as skipped; on Abort, Abort is set.
  bool RetryBusy(const TFileInfo& File, bool& Abort);
  void UndoRun();

  IInstallHost& FHost;
  IRegistry& FRegistry;
  std::unique_ptr<IInstallSystem> FOwnedSystem;
  IInstallSystem& FSystem;
  // Every change of the run goes through FTracked, which records it in FJournal first.
  TChangeJournal FJournal;
  TJournaledSystem FTracked;
  TCabinetWalk FWalk;
  TCabinetChain FChain;
  // Checked against their digests and held: their upper-case paths, and the handles.
  std::set<std::string> FHeldCabinets;
  std::vector<std::intptr_t> FHeldFiles;
  std::string FCheckedNext;
  bool FAskedForDisk = false;
  std::int64_t FProgress = 0;
  std::int64_t FProgressMax = 0;
  // The file being written: a failed extraction never touches a target that was there and
  // leaves no fragment behind.
  TFileWrite FWriting{FSystem};
};

}  // namespace setup
