// A cabinet set read as the setup program reads it: through the program's cabinet reader and a
// file handler, with each cabinet on its own disk (C:\Media\DISK1\setup1.cab, DISK2\setup2.cab,
// ...). The input is split like the cabinet set target's. The next-cabinet event moves to the
// next disk's folder; the handler's disk fills up after 256 KB written, so that a handler's
// exception must come back out of the library. Whatever happens, the reader must report it as
// an Exception, every file must be closed again, and each copied file must have the size its
// entry announced.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cabinet/CabinetLibrary.h"
#include "cabinet/MemoryCabinets.h"
#include "cabinet/reader/Cabinet.h"
#include "system/Errors.h"
#include "system/Paths.h"

namespace {

constexpr std::uint64_t DiskRoom = 256 * 1024;

struct TOpenFile {
  const fuzzcab::TMemoryCabinet* Cabinet = nullptr;  // null: an output file
  std::size_t Position = 0;
  std::uint64_t Written = 0;
};

class TMemoryHandler : public setup::TCabinetFileHandler {
 public:
  explicit TMemoryHandler(const std::vector<fuzzcab::TMemoryCabinet>& Cabinets) : FCabinets(Cabinets) {}
  std::intptr_t Open(const std::string& FileName, int OFlag, int, int& Err, void*) override {
    Err = 0;
    TOpenFile File;
    if (!(OFlag & 0x0100)) {
      for (std::size_t I = 0; I < FCabinets.size(); ++I)
        if (FileName == "C:\\Media\\DISK" + std::to_string(I + 1) + "\\" + FCabinets[I].Name)
          File.Cabinet = &FCabinets[I];
      if (!File.Cabinet) {
        Err = 2;
        return -1;
      }
    }
    Files[++Last] = File;
    return Last;
  }
  unsigned Read(std::intptr_t H, void* Buffer, unsigned Count, int& Err) override {
    TOpenFile& File = Of(H);
    Err = 0;
    if (!File.Cabinet) std::abort();
    const std::size_t Size = File.Cabinet->Size;
    const std::size_t Got = File.Position < Size ? std::min<std::size_t>(Count, Size - File.Position) : 0;
    if (Got) std::memcpy(Buffer, File.Cabinet->Data + File.Position, Got);
    File.Position += Got;
    return static_cast<unsigned>(Got);
  }
  unsigned Write(std::intptr_t H, const void* Buffer, unsigned Count, int& Err) override {
    TOpenFile& File = Of(H);
    Err = 0;
    if (File.Cabinet) std::abort();
    if (Count) (void)static_cast<const volatile std::uint8_t*>(Buffer)[Count - 1];  // readable
    File.Written += Count;
    Total += Count;
    if (Total > DiskRoom) throw setup::Exception("The disk is full");
    return Count;
  }
  int Close(std::intptr_t H, int& Err) override {
    Of(H);
    Files.erase(H);
    Err = 0;
    return 0;
  }
  long Seek(std::intptr_t H, long Distance, int SeekType, int& Err) override {
    TOpenFile& File = Of(H);
    Err = 0;
    if (!File.Cabinet || SeekType < 0 || SeekType > 2) std::abort();
    const long Base = SeekType == 0 ? 0 : SeekType == 1 ? static_cast<long>(File.Position)
                                                        : static_cast<long>(File.Cabinet->Size);
    if (Base + Distance < 0) return -1;
    File.Position = static_cast<std::size_t>(Base + Distance);
    return Base + Distance;
  }
  int Delete(const std::string&, int& Err) override {
    Err = 0;
    return 0;
  }
  TOpenFile& Of(std::intptr_t H) {
    auto It = Files.find(H);
    if (It == Files.end()) std::abort();
    return It->second;
  }

  std::map<std::intptr_t, TOpenFile> Files;
  std::intptr_t Last = 0;
  std::uint64_t Total = 0;

 private:
  const std::vector<fuzzcab::TMemoryCabinet>& FCabinets;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::vector<fuzzcab::TMemoryCabinet> Cabinets = fuzzcab::SplitSet(Data, Size, 4);
  TMemoryHandler Handler(Cabinets);
  {
    setup::TCabinetReader Reader(setup::LinkedCabinetLibrary());
    Reader.FileHandler = &Handler;
    std::map<std::intptr_t, std::int32_t> Announced;
    int NextRequests = 0;
    Reader.OnCopyFile = [&](setup::TCabinetReader&, const std::string& Name, std::int32_t Size, std::uint16_t,
                            std::uint16_t, std::uint16_t, setup::TFileCopyAction& Action, std::intptr_t& Handle) {
      int Err = 0;
      Handle = Handler.Open("C:\\Out\\" + Name, 0x8101, 0, Err, nullptr);
      Announced[Handle] = Size;
      Action = setup::fcaCopy;
    };
    Reader.OnCloseCopiedFile = [&](setup::TCabinetReader&, const std::string&, std::intptr_t Handle, std::uint16_t,
                                   std::uint16_t, std::uint16_t, int, bool, bool&) {
      if (static_cast<std::int64_t>(Handler.Of(Handle).Written) != Announced[Handle]) std::abort();
      int Err = 0;
      Handler.Close(Handle, Err);
    };
    Reader.OnNextCabinet = [&](setup::TCabinetReader&, const std::string&, const std::string&, std::string& Path,
                               int, bool& Abort) {
      // The next disk's folder, as the setup program guesses it; a set that keeps asking is
      // given up.
      if (++NextRequests > 3 || !setup::NextDiskDir(Path)) Abort = true;
      Path = setup::WithBackslash(Path);
    };
    try {
      Reader.ExtractFiles("C:\\Media\\DISK1\\" + Cabinets[0].Name, 0);
    } catch (const setup::Exception&) {
      // A damaged set or a full disk: reported, which is all that is asked.
    }
  }
  // Every cabinet closed, and every output the library stopped writing closed by the library.
  if (!Handler.Files.empty()) std::abort();
  return 0;
}
