#pragma once
// The program's cabinet reader: owns a library context, routes the library's file access
// through an exchangeable handler, and turns its notifications into events.
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "cabinet/CabinetError.h"
#include "cabinet/CabinetLibrary.h"
#include "cabinet/Fdi.h"

namespace setup {


// File access on behalf of the library. Handles are the handler's own; -1 is failure.
class TCabinetFileHandler {
 public:
  virtual ~TCabinetFileHandler() = default;
  virtual std::intptr_t Open(const std::string& FileName, int OFlag, int PMode, int& Err, void* UserData) = 0;
  virtual unsigned Read(std::intptr_t Handle, void* Buffer, unsigned Count, int& Err) = 0;
  virtual unsigned Write(std::intptr_t Handle, const void* Buffer, unsigned Count, int& Err) = 0;
  virtual int Close(std::intptr_t Handle, int& Err) = 0;
  virtual long Seek(std::intptr_t Handle, long Distance, int SeekType, int& Err) = 0;
  virtual int Delete(const std::string& FileName, int& Err) = 0;
};

enum TCpuType { cptAuto, cpt80286, cpt80386 };
enum TFileCopyAction { fcaAbort, fcaSkip, fcaCopy, fcaDefaultCopy };

class TCabinetReader;

using TCabinetInfoEvent = std::function<void(TCabinetReader& Sender, const std::string& CabinetName,
                                             const std::string& CabinetDisk, const std::string& CabinetPath,
                                             int SetId, int CabinetNumber, bool& Abort)>;
using TPartialFileEvent = std::function<void(TCabinetReader& Sender, const std::string& FileName,
                                             const std::string& FirstCabinetName,
                                             const std::string& FirstCabinetDisk, bool& Abort)>;
using TCopyFileEvent = std::function<void(TCabinetReader& Sender, const std::string& FileName,
                                          std::int32_t UncompressedSize, std::uint16_t Date, std::uint16_t Time,
                                          std::uint16_t Attribs, TFileCopyAction& Action,
                                          std::intptr_t& DestFileHandle)>;
using TCloseCopiedFileEvent = std::function<void(TCabinetReader& Sender, const std::string& FileName,
                                                 std::intptr_t FileHandle, std::uint16_t Date, std::uint16_t Time,
                                                 std::uint16_t Attribs, int FolderIndex, bool Execute,
                                                 bool& Abort)>;
using TNextCabinetEvent = std::function<void(TCabinetReader& Sender, const std::string& NextCabinetName,
                                             const std::string& NextCabinetDisk, std::string& CabinetPath,
                                             int ErrorIndication, bool& Abort)>;

class TCabinetInterface {
 public:
  ERF ErrorInfo{};
  TCabinetFileHandler* FileHandler = nullptr;  // not owned
};

class TCabinetReader : public TCabinetInterface {
 public:
  explicit TCabinetReader(const TCabinetLibraryFunctions& Library);
  virtual ~TCabinetReader();
  TCabinetReader(const TCabinetReader&) = delete;
  TCabinetReader& operator=(const TCabinetReader&) = delete;

  // Extracts one cabinet completely. A handler's exception ends the library call (the
  // library is told to abort) and is rethrown here once the library has returned.
  void ExtractFiles(const std::string& CabinetFile, int Flags);
  void CreateContext();
  void DestroyContext();
  void CheckResult(bool Ok);

  HFDI Context = nullptr;
  TCpuType CpuType = cptAuto;
  TCabinetInfoEvent OnCabinetInfo;
  TPartialFileEvent OnPartialFile;
  TCopyFileEvent OnCopyFile;
  TCloseCopiedFileEvent OnCloseCopiedFile;
  TNextCabinetEvent OnNextCabinet;

  // Dispatch of one library notification; answers as the library expects.
  std::intptr_t Notify(FDINOTIFICATIONTYPE Type, PFDINOTIFICATION Info);
  // Remembers the first exception raised inside a library call.
  void KeepException(std::exception_ptr Error);

  // The library keeps folders in buffers of 256 bytes, and the system's library reads them in
  // the ANSI code page. It is therefore given a short alias ("*0\") for every folder, and the
  // alias is turned back into the folder wherever the library hands a path out: any folder,
  // of any length and in any script, works with either library.
  std::string FolderAlias(const std::string& Folder);
  std::string RealPath(const std::string& LibraryPath) const;

 protected:
  virtual void DoCabinetInfo(const std::string& CabinetName, const std::string& CabinetDisk,
                             const std::string& CabinetPath, int SetId, int CabinetNumber, bool& Abort);
  virtual void DoPartialFile(const std::string& FileName, const std::string& FirstCabinetName,
                             const std::string& FirstCabinetDisk, bool& Abort);
  virtual void DoCopyFile(const std::string& FileName, std::int32_t UncompressedSize, std::uint16_t Date,
                          std::uint16_t Time, std::uint16_t Attribs, TFileCopyAction& Action,
                          std::intptr_t& DestFileHandle);
  virtual void DoCloseCopiedFile(const std::string& FileName, std::intptr_t FileHandle, std::uint16_t Date,
                                 std::uint16_t Time, std::uint16_t Attribs, int FolderIndex, bool Execute,
                                 bool& Abort);
  virtual void DoNextCabinet(const std::string& NextCabinetName, const std::string& NextCabinetDisk,
                             std::string& CabinetPath, int ErrorIndication, bool& Abort);

 private:
  void RethrowKept();
  // '*' cannot appear in a Windows path, so an alias is never taken for a real folder.
  static constexpr char cAliasMark = '*';
  TCabinetLibraryFunctions FLibrary;
  std::exception_ptr FPendingError;
  std::vector<std::string> FFolders;
};

// The reader on whose behalf the library's file callbacks run (they carry no user data), so
// only one reader may be inside a library call at a time.
extern TCabinetReader* CurrentReader;

// Guesses the folder of the next disk: "E:\DISK1\" gives "E:\DISK2". False (and Folder kept)
// when the last component is not DISK followed by a number.
bool NextDiskDir(std::string& Folder);

}  // namespace setup
