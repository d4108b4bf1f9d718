#pragma once
// The worker's system calls on the host: real files and folders (Windows-notation paths name
// host folders, see PathFromUtf8), real cabinets through our library. What only Windows has
// (other processes holding a file, file versions, programs, COM, shortcuts) is recorded, and
// set up by the test where the worker asks about it; the Wine tests cover those for real.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/untThrd.h"
#include "system/Files.h"
#include "system/Paths.h"

class HostFiles : public setup::TCabinetFileHandler {
 public:
  ~HostFiles() override {
    for (auto& [Handle, File] : Files) std::fclose(File);
  }
  std::intptr_t Open(const std::string& FileName, int OFlag, int, int& Err, void*) override {
    if ((OFlag & 0x0100) && BeforeCreate) BeforeCreate();
    if ((OFlag & 0x0100) && Frozen) {
      Err = 5;
      return -1;
    }
    const auto Path = setup::PathFromUtf8(FileName);
    std::error_code Ignored;
    if ((OFlag & 0x0500) == 0x0500 && std::filesystem::exists(Path, Ignored)) {
      Err = setup::errFileExists;
      return -1;
    }
    std::FILE* File = std::fopen(Path.c_str(), (OFlag & 0x0100) ? "w+b" : "rb");
    if (!File) {
      Err = 3;  // the folder is missing
      return -1;
    }
    Files[++Last] = File;
    Err = 0;
    return Last;
  }
  unsigned Read(std::intptr_t H, void* Buffer, unsigned Count, int& Err) override {
    Err = 0;
    return Files.count(H) ? static_cast<unsigned>(std::fread(Buffer, 1, Count, Files[H])) : 0;
  }
  unsigned Write(std::intptr_t H, const void* Buffer, unsigned Count, int& Err) override {
    Err = 0;
    if (FailWritesAfter >= 0 && (Written += Count) > static_cast<std::size_t>(FailWritesAfter)) return 0;  // disk full
    return Files.count(H) ? static_cast<unsigned>(std::fwrite(Buffer, 1, Count, Files[H])) : 0;
  }
  int Close(std::intptr_t H, int& Err) override {
    Err = 0;
    if (Files.count(H)) {
      std::fclose(Files[H]);
      Files.erase(H);
    }
    return 0;
  }
  long Seek(std::intptr_t H, long Distance, int SeekType, int& Err) override {
    Err = 0;
    if (!Files.count(H)) return 0;
    std::fseek(Files[H], Distance, SeekType);
    return std::ftell(Files[H]);
  }
  int Delete(const std::string& FileName, int& Err) override {
    Err = 5;
    if (Frozen) return 0;
    std::error_code Error;
    Err = std::filesystem::remove(setup::PathFromUtf8(FileName), Error) ? 0 : 2;
    return 0;
  }
  std::map<std::intptr_t, std::FILE*> Files;
  std::intptr_t Last = 0;
  std::function<void()> BeforeCreate;  // called before a file is created
  bool Frozen = false;                 // nothing is created or deleted any more
  long long FailWritesAfter = -1;  // bytes the disk takes before it is full; -1 without limit
  std::size_t Written = 0;
};

class HostInstallSystem : public setup::IInstallSystem {
 public:
  HostInstallSystem() { Handler.BeforeCreate = [this] { Changing(); }; }
  // Counts a change about to be made; the change numbered FailAtChange fails instead (once).
  // With Kill, nothing changes after it either, as when the process is killed there. False
  // when the change is not to be made.
  bool Changing() {
    if (Frozen()) return false;
    if (++ChangesMade == FailAtChange) {
      FailAtChange = 0;
      Handler.Frozen = Kill;
      throw setup::Exception("injected failure");
    }
    return true;
  }
  bool Frozen() const { return Handler.Frozen; }
  setup::TCabinetFileHandler& FileHandler() override { return Handler; }
  bool FileExists(const std::string& Path) override { return setup::IsExistingFile(Path); }
  std::string FileVersion(const std::string& Path) override {
    auto It = Versions.find(Path);
    return It == Versions.end() ? std::string() : It->second;
  }
  void MakeDirs(const std::string& Dir) override {
    if (!Changing()) return;
    std::error_code Ignored;
    std::filesystem::create_directories(setup::PathFromUtf8(setup::WithoutBackslash(Dir)), Ignored);
    Folders.push_back(Dir);
  }
  std::string CheckWritable(const std::string& Path) override {
    if (!Changing()) return {};
    std::error_code Ignored;
    std::filesystem::create_directories(setup::PathFromUtf8(setup::ExtractFilePath(Path)), Ignored);
    Folders.push_back(setup::ExtractFilePath(Path));
    const auto Host = setup::PathFromUtf8(Path);
    if (std::filesystem::exists(Host, Ignored)) return std::filesystem::is_regular_file(Host, Ignored) ? "" : "a folder";
    std::FILE* File = std::fopen(Host.c_str(), "wb");
    if (!File) return "cannot create";
    std::fclose(File);
    std::filesystem::remove(Host, Ignored);
    return {};
  }
  int ProbeTarget(const std::string& Path) override { return Busy.count(Path) ? setup::errSharingViolation : 0; }
  int ReplaceTarget(const std::string& Part, const std::string& Target) override {
    if (!Changing()) return 5;
    if (Busy.count(Target)) return setup::errSharingViolation;
    std::error_code Error;
    std::filesystem::rename(setup::PathFromUtf8(Part), setup::PathFromUtf8(Target), Error);
    return Error ? 2 : 0;
  }
  void StampFile(const std::string& Path, std::uint16_t Date, std::uint16_t Time) override {
    Stamps[Path] = (static_cast<std::uint32_t>(Date) << 16) | Time;
  }
  void SetAttributes(const std::string& Path, unsigned Value) override { Attributes[Path] = Value; }
  void RemoveFile(const std::string& Path) override {
    if (Frozen()) return;
    std::error_code Ignored;
    std::filesystem::remove(setup::PathFromUtf8(Path), Ignored);
  }
  bool CopyFileTo(const std::string& From, const std::string& To) override {
    if (!Changing()) return false;
    std::error_code Error;
    std::filesystem::copy_file(setup::PathFromUtf8(From), setup::PathFromUtf8(To),
                               std::filesystem::copy_options::overwrite_existing, Error);
    return !Error;
  }
  std::string ErrorText(int Code) override { return "system error " + std::to_string(Code); }
  std::uint32_t RunProgram(const std::string& CommandLine) override {
    Programs.push_back(CommandLine);
    HeldAtLastProgram = HeldOpen;
    if (OnProgram) OnProgram(CommandLine);
    if (CommandLine.rfind("missing", 0) == 0) throw setup::Exception("The system cannot find the file specified.");
    return 0;
  }
  void OpenDocument(const std::string& Path) override { Programs.push_back("open " + Path); }
  std::uint32_t RegisterDllServer(const std::string& Path) override {
    if (!Changing()) return 1;
    Servers.push_back(Path);
    return 0;
  }
  void RegisterExeServer(const std::string& Path) override {
    if (!Changing()) return;
    Servers.push_back(Path + " /RegServer");
  }
  void CreateShellLink(const std::string& Target, const std::string& Arguments, const std::string& LinkFile) override {
    if (!Changing()) return;
    Links.push_back(LinkFile + " -> " + Target + (Arguments.empty() ? "" : " " + Arguments));
    std::FILE* File = std::fopen(setup::PathFromUtf8(LinkFile).c_str(), "wb");
    if (!File) return;
    std::fputs(Target.c_str(), File);
    std::fclose(File);
  }
  std::vector<std::string> CancelDeletesAtRestart(const std::vector<std::string>& Paths) override {
    std::vector<std::string> Cancelled;
    for (const auto& Path : Paths)
      if (PendingDeletes.erase(Path)) Cancelled.push_back(Path);
    return Cancelled;
  }

  std::intptr_t HoldFile(const std::string& Path) override {
    int Err = 0;
    const std::intptr_t File = Handler.Open(Path, 0x8000, 0, Err, nullptr);
    if (File != -1) {
      ++Holds[Path];
      ++HeldOpen;
    }
    return File;
  }
  unsigned ReadHeldFile(std::intptr_t File, void* Buffer, unsigned Count) override {
    int Err = 0;
    return Handler.Read(File, Buffer, Count, Err);
  }
  void ReleaseFile(std::intptr_t File) override {
    int Err = 0;
    if (Handler.Files.count(File)) --HeldOpen;
    Handler.Close(File, Err);
  }
  // Volumes are the folders of Volumes that begin a path (the longest wins), with their room.
  bool VolumeSpace(const std::string& Path, std::string& Volume, std::uint64_t& Free) override {
    Volume.clear();
    for (const auto& [Root, Room] : Volumes)
      if (Path.rfind(Root, 0) == 0 && Root.size() > Volume.size()) {
        Volume = Root;
        Free = Room;
      }
    return !Volume.empty();
  }
  std::int64_t FileSize(const std::string& Path) override {
    std::error_code Error;
    const auto Size = std::filesystem::file_size(setup::PathFromUtf8(Path), Error);
    return Error ? -1 : static_cast<std::int64_t>(Size);
  }
  bool UninstallerWorksOn(const std::string& ListFile) override {
    return RemoverLooksLeft-- > 0 && Removing.count(ListFile);
  }

  HostFiles Handler;
  std::map<std::string, int> Holds;  // times each file was opened to be held
  int HeldOpen = 0, HeldAtLastProgram = -1;
  std::map<std::string, std::uint64_t> Volumes;
  std::set<std::string> Removing;  // lists an uninstaller works on
  int RemoverLooksLeft = 1 << 30;  // looks after which it has finished
  bool FolderExists(const std::string& Path) override {
    std::error_code Ignored;
    return std::filesystem::is_directory(setup::PathFromUtf8(setup::WithoutBackslash(Path)), Ignored);
  }
  bool RemoveEmptyFolder(const std::string& Path) override {
    std::error_code Ignored;
    if (Frozen()) return false;
    const auto Host = setup::PathFromUtf8(setup::WithoutBackslash(Path));
    if (std::filesystem::is_directory(Host, Ignored) && std::filesystem::is_empty(Host, Ignored))
      std::filesystem::remove(Host, Ignored);
    return !std::filesystem::exists(Host, Ignored);
  }
  int RenameFile(const std::string& From, const std::string& To) override {
    if (!Changing()) return 5;
    std::error_code Error;
    if (std::filesystem::exists(setup::PathFromUtf8(To), Error)) return setup::errFileExists;
    if (Busy.count(From)) return setup::errSharingViolation;
    std::filesystem::rename(setup::PathFromUtf8(From), setup::PathFromUtf8(To), Error);
    return Error ? 2 : 0;
  }
  int LinkFile(const std::string& From, const std::string& To) override {
    if (!Changing()) return 5;
    std::error_code Error;
    std::filesystem::create_hard_link(setup::PathFromUtf8(From), setup::PathFromUtf8(To), Error);
    return Error ? 2 : 0;
  }
  void UnregisterServer(const std::string& Path, bool Exe) override {
    if (Frozen()) return;
    const std::string Entry = Exe ? Path + " /RegServer" : Path;
    for (auto It = Servers.rbegin(); It != Servers.rend(); ++It)
      if (*It == Entry) {
        Servers.erase(std::next(It).base());
        break;
      }
  }

  int FailAtChange = 0, ChangesMade = 0;
  bool Kill = false;
  std::set<std::string> Busy;
  std::set<std::string> PendingDeletes;  // deleted at the next start
  std::map<std::string, std::string> Versions;
  std::map<std::string, unsigned> Attributes;
  std::map<std::string, std::uint32_t> Stamps;
  std::vector<std::string> Folders, Programs, Servers, Links;
  std::function<void(const std::string&)> OnProgram;
};
