// Damaged uninstall lists must never crash the reader or the removal plan. A list that reads
// must not make the plan touch anything outside the product: every deletion is of a recorded
// file, the list itself, or something inside a folder recorded as a whole that does not hold a
// system folder; every folder removed is recorded or lies inside a recorded one, and is no
// system folder; and all of it lies inside the installation folder, unless the list is proven
// (then inside the folders it records), and never in the system's tree. Paths are compared in
// their canonical form, which is the form the plan acts on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "shared/FakeDisk.h"
#include "system/Errors.h"
#include "system/Paths.h"
#include "system/Registry.h"
#include "system/SafePaths.h"
#include "uninstaller/RemovalList.h"
#include "uninstaller/RemovalPlan.h"

namespace {

std::string Canonical(const std::string& Path) {
  std::string Out;
  setup::CanonicalPath(Path, Out);
  return Out;
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
      Disk.AddFile(File->FileName);
      if (const std::string Path = Canonical(File->FileName); !Path.empty()) {
        Files.push_back(Path);
        Disk.AddFile(Path);
      }
    } else if (const auto* Dir = dynamic_cast<const TUnInstallDir*>(&List.Items.Items(I))) {
      if (Dir->DirName.empty()) continue;
      Disk.AddDir(Dir->DirName);
      const std::string Path = Canonical(Dir->DirName);
      if (Path.empty()) continue;
      Folders.push_back(Path);
      if (Dir->UnInstallWhole) WholeFolders.push_back(Path);
      Disk.AddDir(Path);
      Disk.AddFile(WithBackslash(Path) + "stranger.txt");
    }
  }
  // Half the inputs as proven lists, whose folders are the product's.
  const bool Proven = Size % 2 == 1;
  const std::string System = "C:\\Windows", Install = "C:\\List";
  MemoryRegistry Registry;
  TRemovalPlan Plan(List, ListFile);
  Plan.SystemFolders = {System, "C:\\Program Files"};
  Plan.SystemTrees = {System};
  Plan.ListVerified = Proven;
  TRemovalReport Report = Plan.Execute(Disk, Registry);
  Plan.FinishDeferred(Disk, Report);

  auto HoldsSystem = [&](const std::string& F) {
    return IsSameOrInside(System, F) || IsSameOrInside("C:\\Program Files", F);
  };
  for (const auto& Line : Disk.Log) {
    const bool Deletion = Line.rfind("delete ", 0) == 0, Removal = Line.rfind("rmdir ", 0) == 0;
    if (!Deletion && !Removal) continue;
    const std::string Path = Line.substr(Deletion ? 7 : 6);
    bool Allowed = false;
    if (Deletion) {
      Allowed = FoldPath(Path) == FoldPath(ListFile);
      for (const auto& F : Files) Allowed = Allowed || FoldPath(F) == FoldPath(Path);
      // Anything else only as part of a folder removed as a whole, which never holds the system's.
      for (const auto& F : WholeFolders) Allowed = Allowed || (IsInside(Path, F) && !HoldsSystem(F));
    } else {
      for (const auto& F : Folders) Allowed = Allowed || IsSameOrInside(Path, F);
      Allowed = Allowed && !HoldsSystem(Path);
    }
    // Confined: nothing in the system's tree, and without proof nothing outside the product.
    Allowed = Allowed && !IsSameOrInside(Path, System);
    if (!Proven) Allowed = Allowed && (IsSameOrInside(Path, Install) || FoldPath(Path) == FoldPath(ListFile));
    if (!Allowed) std::abort();
  }
  return 0;
}
