#pragma once
// A folder of one run's own in the temporary folder: where setup.exe writes the cabinet library
// and the programs run before installation, and where UnInstall.exe runs its copy from.
//
// A file written straight into the temporary folder could be swapped by any other program of
// the user between its writing and its loading, and a fixed name there could already be a link
// to anything. Here every run makes a new folder with a new name, open to SYSTEM and the
// administrators only when the run is elevated (and to the user as well when it is not), where
// the file system keeps such rights. The folder is held from its making to its removal, so that
// its name cannot be given to anything else meanwhile; each file is made new in it, never
// written through a name that was there, and once written it is held open so that nobody can
// change or delete it while it is loaded or run, and its bytes are checked after it is held.
// Everything is deleted through handles (system/SafeFilesWin.h), never by following a link.
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <list>
#include <string>
#include <utility>

#include "system/Errors.h"
#include "system/WideWin.h"

namespace setup {

// Fills the "%s" of Pattern in order; an argument's own "%s" stays as it is.
std::string FormatTexts(const std::string& Pattern, std::initializer_list<std::string> Arguments);

// A file or folder of the run that could not be made; what() is the text for the user (with
// the system's reason), Code the system's error.
class ERunFolder : public Exception {
 public:
  ERunFolder(const std::string& Message, DWORD ErrorCode) : Exception(Message), Code(ErrorCode) {}
  DWORD Code;
};

// The access rules of a run's folder (SDDL): SYSTEM and the administrators only for an
// elevated run, whose folder the user's other, unelevated programs must not write into (a
// library beside a program run elevated would be loaded by it); the user as well for a run
// that is not. Nothing is inherited from the temporary folder, whose rights may be wider.
// Empty when the user cannot be told (no rules then: the folder takes the temporary folder's).
std::wstring RunFolderRules(bool Elevated);

// Removes the folders that earlier runs left in Temp (which ends with a backslash) when they
// were killed or the machine went down: those whose run's process is gone. A folder of a run
// still going, of another user, of a name this program does not give, or anything that is
// not a plain folder (a link or junction with such a name) stays, and so do a folder inside
// one and whatever is reached through a link: only the files directly inside go.
// Before such a folder goes, Recover is given its held handle and its path.
void RemoveAbandonedRunFolders(const std::string& Temp,
                               const std::function<void(HANDLE Folder, const std::string& Path)>& Recover = {});

class TRunFolder {
 public:
  TRunFolder() = default;
  ~TRunFolder() { Remove(); }
  TRunFolder(const TRunFolder&) = delete;
  TRunFolder& operator=(const TRunFolder&) = delete;

  // Makes a new folder inside Temp (which ends with a backslash) and holds it, then removes the
  // ones of earlier runs that were left behind; raises ERunFolder.
  // Recover: see RemoveAbandonedRunFolders.
  void Create(const std::string& Temp,
              const std::function<void(HANDLE Folder, const std::string& Path)>& Recover = {});
  bool Created() const { return !FPath.empty(); }
  // The folder, with a trailing backslash; empty before Create.
  const std::string& Path() const { return FPath; }
  // The folder's held handle (DELETE access, shared for reading and writing but not for
  // deleting); null before Create.
  HANDLE Handle() const { return FFolder.Get(); }

  // Writes the program's RCDATA resource ResourceName into the folder as Name and holds the
  // file (readable, not writable nor deletable by anyone) until Discard or Remove. Returns its
  // path. A missing resource raises EAbort; a file that cannot be written, ERunFolder.
  std::string WriteResource(const std::string& ResourceName, const std::string& Name);
  // The same for Size bytes. With DeleteOnClose the file goes when the last handle of it is
  // closed, also one that a process started meanwhile inherited.
  std::string WriteBytes(const std::string& Name, const void* Bytes, unsigned long Size, bool DeleteOnClose = false);
  // Makes the new file Name for this run to write, held (others may only read it) until
  // Discard or Remove; null, and Error, when it cannot be made. An elevated run's file is the
  // Administrators' (see OwnedByUserOrSystem).
  HANDLE CreateWritable(const std::string& Name, DWORD& Error);
  // The held handle of the file Name; null when it is not held.
  HANDLE FileHandle(const std::string& Name) const;
  // Lets the file go and deletes it.
  void Discard(const std::string& Name);
  // Lets every file go, deletes them and the folder. Whatever cannot be deleted stays.
  void Remove();
  // Lets the folder and its files go without deleting anything: for a folder that a process
  // started here, which inherited their handles, works in and leaves behind (a later run
  // removes it then).
  void HandOver();

 private:
  struct THeld {
    THeld(std::string FileName, HandleGuard&& File) : Name(std::move(FileName)), Handle(std::move(File)) {}
    std::string Name;
    HandleGuard Handle;
  };
  std::string FPath;
  HandleGuard FFolder;
  std::list<THeld> FFiles;
};

}  // namespace setup
