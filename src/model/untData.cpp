#include "model/untData.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "model/Discovery.h"
#include "system/CommandLine.h"
#include "system/Messages.h"
#include "system/SafePaths.h"
#include "system/Text.h"

namespace setup {
namespace {

// A message about the script, at the line that is the first number.
std::string Format(const char* Pattern, std::initializer_list<long long> Numbers) {
  std::string Text = std::string(Msg::ScriptErrorAt) + Pattern;
  for (const auto N : Numbers) Text = FormatMessage1(Text, std::to_string(N));
  return Text;
}

// A path of the script that would lead out of the folder it is resolved against. Key names
// the path ("FILEPATH"), LineNo and ItemNo its record (ItemNo 0 for a global key).
void DotPath(std::vector<TModelProblem>& Problems, int LineNo, std::int32_t ItemNo, const char* Key,
             const std::string& Path) {
  if (!HasDotComponent(Path)) return;
  // The path last, so that a "%s" in it stays as written.
  Problems.push_back({LineNo, ItemNo, FormatMessage1(FormatMessage1(Format(Msg::PathWithDots, {LineNo}), Key), Path),
                      TModelProblem::mpDotPath});
}

}  // namespace

TInstallInfo::TInstallInfo(IRegistry* Registry, I1CFolders* Folders) : FRegistry(Registry) {
  // The 1C:Enterprise installations are found once, before the script is read.
  if (FRegistry) Discover1CProducts(*FRegistry, *this, Folders);
}

void TInstallInfo::ApplyInstallType(bool Full, bool Typical, bool Minimal, bool Custom) {
  for (auto& G : Groups) {
    if (Full) G->State = gsSelected;
    if (Typical) G->State = G->InTypical ? gsSelected : gsNotSelected;
    if (Minimal) G->State = G->InMinimal ? gsSelected : gsNotSelected;
    if (Custom) G->State = gsSelected;
  }
}

void TInstallInfo::ApplyStartupDefaults(const std::vector<std::string>& Args) {
  // The default directory is resolved before the installation directory and the program group
  // are known, so kind 4 and "%Install%" stand for an empty folder here.
  Directory = ExpandPath(GroupDirectory, Directory);
  InstallDir = GetSwitchValue(Args, "/PATH=", Directory);
  ProgramGroup = GetSwitchValue(Args, "/GROUP=", GroupName);
}

std::vector<TModelProblem> TInstallInfo::FindModelProblems() const {
  std::vector<TModelProblem> Problems;
  // A group's parent is always an earlier group or the group itself, but walk the chain with
  // marks anyway so that a model edited after reading cannot make this loop forever.
  enum : unsigned char { Unvisited, OnPath, Done };
  std::unordered_map<const TGroupInfo*, unsigned char> Mark;
  std::unordered_map<const TGroupInfo*, bool> InCycle;
  Mark.reserve(Groups.size());
  for (const auto& G : Groups) {
    std::vector<const TGroupInfo*> Path;
    for (const TGroupInfo* P = G.get(); P; P = P->Parent) {
      auto& M = Mark[P];
      if (M == Done) break;
      if (M == OnPath) {
        // Every group from P's place in the chain onwards leads back to itself.
        for (auto It = std::find(Path.begin(), Path.end(), P); It != Path.end(); ++It) InCycle[*It] = true;
        break;
      }
      M = OnPath;
      Path.push_back(P);
    }
    for (const auto* Q : Path) Mark[Q] = Done;
  }
  SyncIndex();
  // In script order: the reader keeps each kind of record in the order of its lines, and the
  // global keys are put in order here; the walk takes the earliest line of the four kinds.
  // (A general stable sort of the problems would cost setup.exe two kilobytes of code.)
  struct TKeyLine {
    int LineNo;
    const char* Key;
    const std::string* Path;  // null: the product's name, which names its uninstall key
  } Keys[4] = {{DirectoryLineNo, "DIRECTORY", &Directory},
               {UnInstallPathLineNo, "UNINSTALLPATH", &UnInstallInfo.ListFileName},
               {GroupNameLineNo, "GROUPNAME", &GroupName},
               {DescriptionLineNo, "DESCRIPTION", nullptr}};
  for (int I = 0; I < 3; ++I)
    for (int K = 0; K < 3 - I; ++K)
      if (Keys[K + 1].LineNo < Keys[K].LineNo) std::swap(Keys[K], Keys[K + 1]);
  std::size_t NextGroup = 0, NextDir = 0, NextFile = 0, NextKey = 0;
  for (;;) {
    constexpr int cNone = 0x7FFFFFFF;
    const int GroupLine = NextGroup < Groups.size() ? Groups[NextGroup]->LineNo : cNone;
    const int DirLine = NextDir < Dirs.size() ? Dirs[NextDir]->LineNo : cNone;
    const int FileLine = NextFile < Files.size() ? Files[NextFile]->LineNo : cNone;
    const int KeyLine = NextKey < 4 ? Keys[NextKey].LineNo : cNone;
    const int Line = std::min(std::min(GroupLine, DirLine), std::min(FileLine, KeyLine));
    if (NextGroup == Groups.size() && NextDir == Dirs.size() && NextFile == Files.size() && NextKey == 4) break;
    if (GroupLine == Line && NextGroup < Groups.size()) {
      const TGroupInfo* G = Groups[NextGroup++].get();
      if (InCycle.count(G))
        Problems.push_back({G->LineNo, G->ItemNo, Format(Msg::GroupOwnAncestor, {G->LineNo, G->ItemNo}),
                            TModelProblem::mpOwnAncestor});
    } else if (KeyLine == Line && NextKey < 4) {
      const TKeyLine& K = Keys[NextKey++];
      if (K.Path) {
        DotPath(Problems, K.LineNo, 0, K.Key, *K.Path);
      } else {
        // A registry key's name holds at most 255 characters: the uninstall key would not be
        // written, though the installation went on as if it were.
        std::size_t Characters = 0;
        for (const char Byte : UnInstallInfo.ProductName)
          Characters += (static_cast<unsigned char>(Byte) & 0xC0) != 0x80;
        if (Characters > 255)
          Problems.push_back({K.LineNo, 0, Format(Msg::NameTooLong, {K.LineNo}), TModelProblem::mpLongName});
      }
    } else if (DirLine == Line && NextDir < Dirs.size()) {
      const TDirInfo* D = Dirs[NextDir++].get();
      if (!D->Group)
        Problems.push_back({D->LineNo, D->ItemNo, Format(Msg::DirWithoutGroup, {D->LineNo, D->ItemNo, D->ParentNo}),
                            TModelProblem::mpMissingGroup});
      DotPath(Problems, D->LineNo, D->ItemNo, "DIRPATH", D->Path);
      if (D->MakeShortcut) DotPath(Problems, D->LineNo, D->ItemNo, "DIRSHORTCUT", D->Shortcut);
    } else {
      const TFileInfo* F = Files[NextFile++].get();
      if (!F->Group)
        Problems.push_back({F->LineNo, F->ItemNo, Format(Msg::FileWithoutGroup, {F->LineNo, F->ItemNo, F->ParentNo}),
                            TModelProblem::mpMissingGroup});
      if (const auto First = FFirstFile.find(F->ItemNo); First != FFirstFile.end() && First->second != F)
        Problems.push_back({F->LineNo, F->ItemNo,
                            Format(Msg::DuplicateFileNumber, {F->LineNo, F->ItemNo, First->second->LineNo}),
                            TModelProblem::mpDuplicateFile});
      DotPath(Problems, F->LineNo, F->ItemNo, "FILEPATH", F->Path);
      if (F->MakeShortcut) DotPath(Problems, F->LineNo, F->ItemNo, "FILESHORTCUT", F->Shortcut);
    }
  }
  return Problems;
}

void TInstallInfo::Validate() const {
  const auto Problems = FindModelProblems();
  if (!Problems.empty()) throw EScriptError(Problems.front().Message, Problems.front().LineNo);
}

}  // namespace setup
