// Damaged uninstall lists must never crash the reader or the removal plan. A list that reads
// must not make the plan touch anything it does not name: every deletion is of a recorded file,
// the list itself, or something inside a folder recorded as a whole that does not hold a system
// folder; every folder removed is recorded or lies inside a recorded one, and is no system
// folder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "shared/FakeDisk.h"
#include "system/Errors.h"
#include "system/Paths.h"
#include "system/Registry.h"
#include "uninstaller/RemovalList.h"
#include "uninstaller/RemovalPlan.h"

namespace {

bool Inside(const std::string& Path, const std::string& Folder) {
  const std::string P = setup::FoldPath(Path), F = setup::FoldPath(Folder);
  return P.size() > F.size() && P.compare(0, F.size(), F) == 0 && (P[F.size()] == '\\' || F.back() == '\\');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace setup;
  TRemovalList List;
  try {
    List = ReadRemovalList(std::string(reinterpret_cast<const char*>(Data), Size));
  } catch (const Exception&) {
    return 0;
  }
  // Every recorded path exists, with one stranger file beside each.
  FakeDisk Disk;
  const std::string ListFile = "C:\\List\\uninst.lst";
  Disk.AddFile(ListFile);
  std::vector<std::string> Files, Folders, WholeFolders;
  for (int I = 0; I < List.Items.Count(); ++I) {
    if (const auto* File = dynamic_cast<const TUnInstallFile*>(&List.Items.Items(I))) {
      if (File->FileName.empty() || File->FileName.size() < 4) continue;
      Files.push_back(File->FileName);
      Disk.AddFile(File->FileName);
    } else if (const auto* Dir = dynamic_cast<const TUnInstallDir*>(&List.Items.Items(I))) {
      if (Dir->DirName.empty()) continue;
      Folders.push_back(Dir->DirName);
      if (Dir->UnInstallWhole) WholeFolders.push_back(Dir->DirName);
      Disk.AddDir(Dir->DirName);
      Disk.AddFile(WithBackslash(Dir->DirName) + "stranger.txt");
    }
  }
  MemoryRegistry Registry;
  TRemovalPlan Plan(List, ListFile);
  Plan.SystemFolders = {"C:\\Windows"};
  TRemovalReport Report = Plan.Execute(Disk, Registry);
  Plan.FinishDeferred(Disk, Report);

  const std::string System = "C:\\Windows";
  auto HoldsSystem = [&](const std::string& F) { return FoldPath(F) == FoldPath(System) || Inside(System, F); };
  for (const auto& Line : Disk.Log) {
    const bool Deletion = Line.rfind("delete ", 0) == 0, Removal = Line.rfind("rmdir ", 0) == 0;
    if (!Deletion && !Removal) continue;
    const std::string Path = Line.substr(Deletion ? 7 : 6);
    bool Allowed = false;
    if (Deletion) {
      Allowed = FoldPath(Path) == FoldPath(ListFile);
      for (const auto& F : Files) Allowed = Allowed || FoldPath(F) == FoldPath(Path);
      // Anything else only as part of a folder removed as a whole, which never holds the system's.
      for (const auto& F : WholeFolders) Allowed = Allowed || (Inside(Path, F) && !HoldsSystem(F));
    } else {
      for (const auto& F : Folders) Allowed = Allowed || FoldPath(F) == FoldPath(Path) || Inside(Path, F);
      Allowed = Allowed && FoldPath(Path) != FoldPath(System);
    }
    if (!Allowed) std::abort();
  }
  return 0;
}
