#pragma once
// The installation worker: performs a prepared installation in fixed stages, reporting to the
// window that hosts it through a narrow interface.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cabinet/reader/Cabinet.h"
#include "model/untData.h"
#include "system/Messages.h"
#include "system/Registry.h"
#include "uninstall/untUnInstall.h"

namespace setup {

// Buttons and answers of the host's message boxes (the system's values).
enum : unsigned {
  mbOk = 0x0, mbAbortRetryIgnore = 0x2, mbYesNo = 0x4,
  mbIconError = 0x10, mbIconQuestion = 0x20, mbIconExclamation = 0x30, mbDefButton2 = 0x100
};
enum : int { idOk = 1, idCancel = 2, idAbort = 3, idRetry = 4, idIgnore = 5, idYes = 6, idNo = 7 };

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
  virtual bool AskNextDisk(std::string& Folder, const std::string& FileName) = 0;
};

class TExecutor {
 public:
  // Info and Host are not owned. Library gives the cabinet library's entry points.
  TExecutor(TInstallInfo& Info, IInstallHost& Host, IRegistry& Registry, const TCabinetLibraryFunctions& Library);
  ~TExecutor();

  // Runs every stage; the outcome is Succeeded. Errors are reported through the host.
  void Execute();

  bool CabinetFound = false;
  std::unique_ptr<TCabinetReader> Reader;
  std::unique_ptr<TCabinetFileHandler> StreamHandler;
  std::string CurrentCabinet;
  std::string NextCabinet;
  bool Succeeded = false;
  TInstallInfo& Info;
  bool Cancelled = false;

  // The command-line arguments the unattended switch is read from (the program's own by default).
  std::vector<std::string> Arguments;
  // The uninstall registration of this run, built from the script's strings.
  TUnInstall UnInstall;

 private:
  void Run();
  void SetCaption(const std::string& Text);
  bool TakesPart(const TGroupInfo* Group) const { return Group && Group->State != 2; }
  std::string ProgramGroupFolder() const;

  void PreparePaths();
  void RunExternalPrograms();
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
  void HandleCabinetInfo(const std::string& CabinetName);
  void HandleNextCabinet(const std::string& NextCabinetName, std::string& CabinetPath, int ErrorIndication,
                         bool& Abort);
  void HandleCopyFile(const std::string& FileName, TFileCopyAction& Action, std::intptr_t& DestFileHandle);
  void HandleCloseCopiedFile(const std::string& FileName, std::intptr_t FileHandle, std::uint16_t Date,
                             std::uint16_t Time, std::uint16_t Attribs, bool& Abort);
  TFileInfo* FindEntry(const std::string& FileName);
  bool Unattended() const;

  IInstallHost& FHost;
  IRegistry& FRegistry;
  std::int64_t FProgress = 0;
  std::int64_t FProgressMax = 0;
  // The file being written, so that a failed extraction never leaves a truncated copy behind.
  std::string FWritingPath;
  std::intptr_t FWritingHandle = -1;
};

}  // namespace setup
