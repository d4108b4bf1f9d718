#pragma once
// What one run of the program keeps to itself: the folder in the temporary folder where the
// cabinet library and the programs run before installation are written, and the sign by which
// a second copy of the same product's setup knows that it is not alone.
//
// A file written straight into the temporary folder could be swapped by any other program of
// the user between its writing and its loading. Here every run makes a folder of its own with
// a new name (open to the user, SYSTEM and the administrators only, where the file system keeps
// such rights), and each file, once written, is held open so that nobody can change or delete
// it while it is loaded or run, and its bytes are checked after it is held.
#include <windows.h>

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

// Removes the folders that earlier runs left in Temp (which ends with a backslash) when they
// were killed or the machine went down: those whose run's process is gone. A folder of a run
// still going, of another user, or of a name this program does not give stays.
void RemoveAbandonedRunFolders(const std::string& Temp);

class TRunFolder {
 public:
  TRunFolder() = default;
  ~TRunFolder() { Remove(); }
  TRunFolder(const TRunFolder&) = delete;
  TRunFolder& operator=(const TRunFolder&) = delete;

  // Makes a new folder inside Temp (which ends with a backslash), after removing the ones of
  // earlier runs that were left behind; raises ERunFolder.
  void Create(const std::string& Temp);
  bool Created() const { return !FPath.empty(); }
  // The folder, with a trailing backslash; empty before Create.
  const std::string& Path() const { return FPath; }

  // Writes the program's RCDATA resource ResourceName into the folder as Name and holds the
  // file (readable, not writable nor deletable by anyone) until Discard or Remove. Returns its
  // path. A missing resource raises EAbort; a file that cannot be written, ERunFolder.
  std::string WriteResource(const std::string& ResourceName, const std::string& Name);
  // Lets the file go and deletes it.
  void Discard(const std::string& Name);
  // Lets every file go, deletes them and the folder. Whatever cannot be deleted stays.
  void Remove();

 private:
  struct THeld {
    THeld(std::string FileName, HandleGuard&& File) : Name(std::move(FileName)), Handle(std::move(File)) {}
    std::string Name;
    HandleGuard Handle;
  };
  std::string FPath;
  std::list<THeld> FFiles;
};

// The name of the mutex by which the copies of one product's setup find each other, from the
// product's uninstall name (or its description when it has none); letter case does not count.
std::wstring ProductMutexName(const std::string& ProductName);

// Claims the product's mutex for this process. False when another copy holds it (also when
// it belongs to another user and cannot be opened). Keeps the handle in Held.
bool ClaimProductMutex(const std::string& ProductName, HandleGuard& Held);

}  // namespace setup
