#pragma once
// Cabinet file access through the system's files. A handle is the system handle of one of the
// open streams; Err carries the system's error code, so that a caller can tell a sharing
// violation (32) or a lock violation (33) from other failures.
#include <windows.h>

#include <memory>
#include <utility>
#include <vector>

#include "Cabinet.h"
#include "cabinet/EmbeddedCabinet.h"
#include "system/ScopedWin.h"

namespace setup {

// The cabinet carried in the program's own file Program: every handler serves it under the
// path Program + "\\setup1.cab" (exactly), as a file of its own, read in place.
void CarryCabinet(const std::string& Program, const TEmbeddedCabinet& Cabinet);
bool IsCarriedCabinet(const std::string& Path);

class TStreamCabinetFileHandler : public TCabinetFileHandler {
 public:
  TStreamCabinetFileHandler() = default;
  ~TStreamCabinetFileHandler() override;

  std::intptr_t Open(const std::string& FileName, int OFlag, int PMode, int& Err, void* UserData) override;
  unsigned Read(std::intptr_t Handle, void* Buffer, unsigned Count, int& Err) override;
  unsigned Write(std::intptr_t Handle, const void* Buffer, unsigned Count, int& Err) override;
  int Close(std::intptr_t Handle, int& Err) override;
  long Seek(std::intptr_t Handle, long Distance, int SeekType, int& Err) override;
  int Delete(const std::string& FileName, int& Err) override;

  std::size_t OpenCount() const { return Streams.size(); }
  // An open flag the library never gives (_O_NOINHERIT): the file is held for reading, and
  // nobody may write, rename or delete it meanwhile.
  static constexpr int cHoldForReading = 0x0080;

 private:
  // Open files in the order they were opened.
  std::vector<HandleGuard> Streams;
  // Streams a write failed on, with the first failure's error: closing them reports it.
  std::vector<std::pair<std::intptr_t, int>> FailedWrites;
  bool FindStream(std::intptr_t Handle, std::size_t& Index) const;
};

}  // namespace setup
