#pragma once
// The component selection rules written the plain way, word for word as the rules read:
// recursion over all groups to find children, dependency passes that restart from the first
// entry while the list grows. Slow on large trees by design; the tests compare the indexed
// implementation against it and the benchmark measures both.
#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "model/untData.h"

namespace setup::test {

class TPlainSelection {
 public:
  explicit TPlainSelection(TInstallInfo& Info) : FInfo(Info) {}

  void ToggleComponent(TGroupInfo& Group) {
    const std::int32_t Image = Group.State;
    const std::int32_t New = Image == 1 || Image == 3 ? 2 : Image == 2 ? 1 : -1;
    std::vector<TGroupInfo*> Changed;
    SetGroupState(Group, New, Changed);
    UpdateParentState(Group.Parent);
    if (New == 2)
      for (std::size_t I = 0; I < Changed.size(); ++I)
        for (const auto& G : FInfo.Groups)
          if (!G->Hidden && (G->State == 1 || G->State == 3) &&
              std::find(G->Depends.begin(), G->Depends.end(), Changed[I]) != G->Depends.end()) {
            SetGroupState(*G, 2, Changed);
            UpdateParentState(G->Parent);
          }
    PropagateDependencies(Changed, New, nullptr);
    if (New == 2) {
      Changed.clear();
      for (const auto& G : FInfo.Groups)
        if (G->State == 1 || G->State == 3) Changed.push_back(G.get());
      PropagateDependencies(Changed, 1, &Group);
    }
  }

  void SetGroupState(TGroupInfo& Group, std::int32_t State, std::vector<TGroupInfo*>& Changed) {
    if (Group.State == State) return;
    Changed.push_back(&Group);
    Store(Group, State);
    for (const auto& Child : FInfo.Groups)
      if (Child->Parent == &Group) SetGroupState(*Child, State, Changed);
  }

  void UpdateParentState(TGroupInfo* Group) {
    if (!Group) return;
    bool None = false, Selected = false, NotSelected = false, Partly = false;
    for (const auto& Child : FInfo.Groups) {
      if (Child->Parent != Group) continue;
      switch (Child->State) {
        case -1: None = true; break;
        case 1: Selected = true; break;
        case 2: NotSelected = true; break;
        case 3: Partly = true; break;
        default: break;
      }
    }
    std::int32_t State = 3;
    if (Selected && !NotSelected && !Partly)
      State = 1;
    else if (NotSelected && !Selected && !Partly)
      State = 2;
    else if (None && !Selected && !NotSelected && !Partly)
      State = -1;
    Store(*Group, State);
    UpdateParentState(Group->Parent);
  }

  void PropagateDependencies(std::vector<TGroupInfo*>& List, std::int32_t State, const TGroupInfo* Exclude) {
    for (;;) {
      const std::size_t N = List.size();
      for (std::size_t I = 0; I < N; ++I) {
        TGroupInfo* Entry = List[I];
        for (TGroupInfo* Depend : Entry->Depends) {
          if (Depend == Exclude) continue;
          SetGroupState(*Depend, State, List);
          UpdateParentState(Depend->Parent);
        }
      }
      if (List.size() == N) break;
    }
  }

  // Groups whose state was changed since the last call, in model order.
  std::vector<TGroupInfo*> TakeChangedGroups() {
    std::vector<TGroupInfo*> Result;
    for (const auto& G : FInfo.Groups)
      if (FChanged.count(G.get())) Result.push_back(G.get());
    FChanged.clear();
    return Result;
  }

 private:
  void Store(TGroupInfo& Group, std::int32_t State) {
    if (Group.State != State) FChanged.insert(&Group);
    Group.State = State;
  }

  TInstallInfo& FInfo;
  std::unordered_set<const TGroupInfo*> FChanged;
};

}  // namespace setup::test
