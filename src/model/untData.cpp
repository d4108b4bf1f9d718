#include "model/untData.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "model/Discovery.h"
#include "system/Messages.h"
#include "system/CommandLine.h"
#include "system/SafePaths.h"
#include "system/Text.h"

namespace setup {
namespace {

std::string Format(std::string Pattern, std::initializer_list<long long> Numbers) {
  for (const auto N : Numbers) Pattern = FormatMessage1(Pattern, std::to_string(N));
  return Pattern;
}

}  // namespace

TInstallInfo::TInstallInfo(IRegistry* Registry) : FRegistry(Registry) {
  // The 1C:Enterprise installations are found once, before the script is read.
  if (FRegistry) Discover1CProducts(*FRegistry, *this);
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
  for (const auto& G : Groups)
    if (InCycle.count(G.get()))
      Problems.push_back({G->LineNo, G->ItemNo, Format(Msg::GroupOwnAncestor, {G->LineNo, G->ItemNo}),
                          TModelProblem::mpOwnAncestor});
  // The path last, so that a "%s" in it stays as written.
  auto DotPath = [&](int LineNo, std::int32_t ItemNo, const std::string& What, const std::string& Path) {
    if (HasDotComponent(Path))
      Problems.push_back({LineNo, ItemNo,
                          FormatMessage1(FormatMessage1(Format(Msg::PathWithDots, {LineNo}), What), Path),
                          TModelProblem::mpDotPath});
  };
  DotPath(DirectoryLineNo, 0, "DIRECTORY", Directory);
  DotPath(UnInstallPathLineNo, 0, "UNINSTALLPATH", UnInstallInfo.ListFileName);
  DotPath(GroupNameLineNo, 0, "GROUPNAME", GroupName);
  for (const auto& D : Dirs) {
    if (!D->Group)
      Problems.push_back({D->LineNo, D->ItemNo, Format(Msg::DirWithoutGroup, {D->LineNo, D->ItemNo, D->ParentNo}),
                          TModelProblem::mpMissingGroup});
    DotPath(D->LineNo, D->ItemNo, Format(Msg::DirPathOf, {D->ItemNo}), D->Path);
    if (D->MakeShortcut) DotPath(D->LineNo, D->ItemNo, Format(Msg::DirShortcutOf, {D->ItemNo}), D->Shortcut);
  }
  std::unordered_map<std::int32_t, int> FirstFileLine;
  for (const auto& F : Files) {
    if (!F->Group)
      Problems.push_back({F->LineNo, F->ItemNo, Format(Msg::FileWithoutGroup, {F->LineNo, F->ItemNo, F->ParentNo}),
                          TModelProblem::mpMissingGroup});
    const auto [First, New] = FirstFileLine.emplace(F->ItemNo, F->LineNo);
    if (!New)
      Problems.push_back({F->LineNo, F->ItemNo, Format(Msg::DuplicateFileNumber, {F->LineNo, F->ItemNo, First->second}),
                          TModelProblem::mpDuplicateFile});
    DotPath(F->LineNo, F->ItemNo, Format(Msg::FilePathOf, {F->ItemNo}), F->Path);
    if (F->MakeShortcut) DotPath(F->LineNo, F->ItemNo, Format(Msg::FileShortcutOf, {F->ItemNo}), F->Shortcut);
  }
  std::stable_sort(Problems.begin(), Problems.end(),
                   [](const TModelProblem& A, const TModelProblem& B) { return A.LineNo < B.LineNo; });
  return Problems;
}

void TInstallInfo::Validate() const {
  const auto Problems = FindModelProblems();
  if (!Problems.empty()) throw EScriptError(Problems.front().Message, Problems.front().LineNo);
}

}  // namespace setup
