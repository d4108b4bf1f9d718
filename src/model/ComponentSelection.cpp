#include "model/ComponentSelection.h"

#include <algorithm>

// How the dependency passes are shortened without changing their outcome.
//
// The plain rule walks the whole changed list again whenever a pass appended to it. Call a
// group with children "consistent" when its state is what its children's states give. No step
// of a toggle ever makes a consistent group inconsistent for longer than between a top-level
// SetGroupState and the UpdateParentState of its parent that always follows: a group that
// SetGroupState changes ends with all its children in the same state, and UpdateParentState
// recomputes a whole chain up to the root. Groups can start inconsistent, though (the
// typical and minimal types set every group on its own), and that is why the passes restart.
//
// When an entry's dependency D is met again in a later pass, its parent chain was recomputed
// the first time and is still consistent, so the step does something only when D's state is
// no longer the propagated one, which only an UpdateParentState can cause (an inconsistent
// group inside D's subtree surfaced through it). So a pass revisits just the positions of
// such groups, in list order, and then handles the entries appended by the previous pass
// fully; a pass that appends nothing ends the propagation, as before. Groups that were
// recomputed carry the call's epoch, which lets UpdateParentState stop climbing as soon as a
// state did not change below an already consistent ancestor.

namespace setup {

namespace {

int Category(std::int32_t State) {
  switch (State) {
    case -1: return 0;
    case 1: return 1;
    case 2: return 2;
    case 3: return 3;
    default: return -1;  // not a state the tree knows; ignored like the plain rule does
  }
}

std::uint64_t Position(std::size_t Entry, std::size_t Depend) {
  return (static_cast<std::uint64_t>(Entry) << 32) | static_cast<std::uint32_t>(Depend);
}

}  // namespace

TComponentSelection::TComponentSelection(TInstallInfo& Info) {
  const int N = static_cast<int>(Info.Groups.size());
  FGroups.reserve(N);
  for (const auto& G : Info.Groups) {
    FIndex.emplace(G.get(), static_cast<int>(FGroups.size()));
    FGroups.push_back(G.get());
  }
  FParent.assign(N, -1);
  std::vector<int> ChildCount(N + 1, 0);
  for (int I = 0; I < N; ++I) {
    FParent[I] = IndexOf(FGroups[I]->Parent);
    if (FParent[I] >= 0) ++ChildCount[FParent[I]];
  }
  FChildStart.assign(N + 1, 0);
  for (int I = 0; I < N; ++I) FChildStart[I + 1] = FChildStart[I] + ChildCount[I];
  FChildren.assign(FChildStart[N], 0);
  std::vector<int> Fill(FChildStart.begin(), FChildStart.end() - 1);
  for (int I = 0; I < N; ++I)
    if (FParent[I] >= 0) FChildren[Fill[FParent[I]]++] = I;
  // Links to groups outside the model cannot come from the script; they are left out.
  FDependStart.assign(N + 1, 0);
  for (int I = 0; I < N; ++I) {
    for (const TGroupInfo* D : FGroups[I]->Depends) {
      const int J = IndexOf(D);
      if (J >= 0) FDepends.push_back(J);
    }
    FDependStart[I + 1] = static_cast<int>(FDepends.size());
  }
  // The same links the other way round, each group's dependents in model order.
  FDependentStart.assign(N + 1, 0);
  for (const int D : FDepends) ++FDependentStart[D + 1];
  for (int I = 0; I < N; ++I) FDependentStart[I + 1] += FDependentStart[I];
  FDependents.assign(FDepends.size(), 0);
  Fill.assign(FDependentStart.begin(), FDependentStart.end() - 1);
  for (int I = 0; I < N; ++I)
    for (int K = FDependStart[I]; K < FDependStart[I + 1]; ++K) FDependents[Fill[FDepends[K]]++] = I;
  FCounts.assign(static_cast<std::size_t>(N) * 4, 0);
  FFresh.assign(N, 0);
  FChangedMark.assign(N, 0);
  FPositions.resize(N);
  FOffMark.assign(N, 0);
}

int TComponentSelection::IndexOf(const TGroupInfo* Group) const {
  if (!Group) return -1;
  const auto It = FIndex.find(Group);
  return It == FIndex.end() ? -1 : It->second;
}

void TComponentSelection::Begin() {
  // States may have been set from outside since the last call (installation type, tests), so
  // the counts are taken afresh and no group is known to be consistent yet.
  if (++FEpoch == 0) {
    std::fill(FFresh.begin(), FFresh.end(), 0u);
    FEpoch = 1;
  }
  std::fill(FCounts.begin(), FCounts.end(), 0);
  for (std::size_t I = 0; I < FGroups.size(); ++I) {
    const int C = Category(FGroups[I]->State);
    if (FParent[I] >= 0 && C >= 0) ++FCounts[static_cast<std::size_t>(FParent[I]) * 4 + C];
  }
}

void TComponentSelection::Assign(int Group, std::int32_t State) {
  TGroupInfo& G = *FGroups[Group];
  const std::int32_t Old = G.State;
  if (Old == State) return;
  if (const int P = FParent[Group]; P >= 0) {
    if (const int C = Category(Old); C >= 0) --FCounts[static_cast<std::size_t>(P) * 4 + C];
    if (const int C = Category(State); C >= 0) ++FCounts[static_cast<std::size_t>(P) * 4 + C];
  }
  G.State = State;
  if (!FChangedMark[Group]) {
    FChangedMark[Group] = 1;
    FChangedList.push_back(Group);
  }
  if (FPropagating && Old == FPropState) OnLeftPropagatedState(Group);
}

std::int32_t TComponentSelection::StateFromChildren(int Group) const {
  const std::int32_t* C = &FCounts[static_cast<std::size_t>(Group) * 4];
  const bool None = C[0] > 0, Selected = C[1] > 0, NotSelected = C[2] > 0, Partly = C[3] > 0;
  if (Selected && !NotSelected && !Partly) return 1;
  if (NotSelected && !Selected && !Partly) return 2;
  if (None && !Selected && !NotSelected && !Partly) return -1;
  return 3;  // mixed children, and a group without children
}

void TComponentSelection::SetGroupStateAt(int Group, std::int32_t State, std::vector<TGroupInfo*>& Changed) {
  // Depth first in model order, as the recursion does, without using the call stack: a
  // product's groups may be nested deeply.
  auto Visit = [&](int G) {
    if (FGroups[G]->State == State) return false;
    Changed.push_back(FGroups[G]);
    if (FPropagating) FListIndex.push_back(G);
    Assign(G, State);
    return true;
  };
  if (!Visit(Group)) return;
  FStack.clear();
  FStack.emplace_back(Group, FChildStart[Group]);
  while (!FStack.empty()) {
    const int G = FStack.back().first;
    const int K = FStack.back().second;
    if (K == FChildStart[G + 1]) {
      FStack.pop_back();
      continue;
    }
    FStack.back().second = K + 1;
    const int Child = FChildren[K];
    if (Visit(Child)) FStack.emplace_back(Child, FChildStart[Child]);
  }
}

void TComponentSelection::UpdateParentAt(int Group) {
  // A group without a change below it that is already consistent ends the climb: everything
  // above it was recomputed with it. The step limit only matters for a parent chain that
  // loops, which a validated model does not have.
  bool Below = true;
  for (std::size_t Steps = 0; Group >= 0 && Steps <= FGroups.size(); ++Steps) {
    if (!Below && FFresh[Group] == FEpoch) break;
    const std::int32_t State = StateFromChildren(Group);
    Below = FGroups[Group]->State != State;
    Assign(Group, State);
    FFresh[Group] = FEpoch;
    Group = FParent[Group];
  }
}

void TComponentSelection::OnLeftPropagatedState(int Group) {
  // Only groups that already stand in the list as somebody's dependency need revisiting.
  if (FPositions[Group].empty() || FOffMark[Group]) return;
  FOffMark[Group] = 1;
  FOffList.push_back(Group);
}

void TComponentSelection::Execute(int Depend, std::vector<TGroupInfo*>& List) {
  SetGroupStateAt(Depend, FPropState, List);
  UpdateParentAt(FParent[Depend]);
}

void TComponentSelection::Propagate(std::vector<TGroupInfo*>& List, std::int32_t State, int Exclude) {
  FPropagating = true;
  FPropState = State;
  FListIndex.clear();
  for (const TGroupInfo* G : List) FListIndex.push_back(IndexOf(G));
  FPositioned.clear();
  FOffList.clear();
  auto Depends = [&](std::size_t Entry, int& Begin, int& End) {
    const int E = FListIndex[Entry];
    Begin = E >= 0 ? FDependStart[E] : 0;
    End = E >= 0 ? FDependStart[E + 1] : 0;
  };
  std::size_t Handled = 0;  // entries [0, Handled) have had a full pass
  for (;;) {
    const std::size_t N = List.size();
    // Earlier entries: only the positions whose group lost the propagated state. Revisiting
    // them cannot make another group lose it: their parent chains are consistent, and setting
    // a group inside a consistent chain to the state never takes that state away from an
    // ancestor. So the positions known now are all this part of the pass has to do.
    FRevisit.clear();
    std::size_t Kept = 0;
    for (const int G : FOffList) {
      if (FGroups[G]->State == State) {
        FOffMark[G] = 0;
        continue;
      }
      FOffList[Kept++] = G;
      FRevisit.insert(FRevisit.end(), FPositions[G].begin(), FPositions[G].end());
    }
    FOffList.resize(Kept);
    std::sort(FRevisit.begin(), FRevisit.end());
    for (const std::uint64_t P : FRevisit) {
      int Begin, End;
      Depends(static_cast<std::size_t>(P >> 32), Begin, End);
      const int D = FDepends[Begin + static_cast<int>(P & 0xFFFFFFFFu)];
      // An earlier revisit may have set it already (one of its ancestors, or the same group).
      if (FGroups[D]->State != State) Execute(D, List);
    }
    // Entries appended by the previous pass (all of them in the first pass).
    for (std::size_t I = Handled; I < N; ++I) {
      int Begin, End;
      Depends(I, Begin, End);
      for (int K = Begin; K < End; ++K) {
        const int D = FDepends[K];
        if (D == Exclude) continue;
        if (FPositions[D].empty()) FPositioned.push_back(D);
        FPositions[D].push_back(Position(I, K - Begin));
        Execute(D, List);
      }
    }
    Handled = N;
    if (List.size() == N) break;
  }
  for (const int G : FPositioned) FPositions[G].clear();
  for (const int G : FOffList) FOffMark[G] = 0;
  FOffList.clear();
  FPropagating = false;
}

void TComponentSelection::ToggleComponent(TGroupInfo& Group) {
  const int I = IndexOf(&Group);
  if (I < 0) return;
  // The node's image is the group's state: the tree shows what the model holds.
  const std::int32_t Old = Group.State;
  SetComponent(I, Old == 1 || Old == 3 ? 2 : Old == 2 ? 1 : -1);
}

void TComponentSelection::SelectOnly(const std::vector<TGroupInfo*>& Chosen) {
  // As a person would do it on the components page: untick every node, then tick the chosen.
  if (Chosen.empty()) return;
  for (std::size_t I = 0; I < FGroups.size(); ++I)
    if (!FGroups[I]->Hidden && FGroups[I]->State != gsNotSelected) SetComponent(static_cast<int>(I), gsNotSelected);
  for (TGroupInfo* Group : Chosen)
    if (const int I = IndexOf(Group); I >= 0) SetComponent(I, gsSelected);
}

void TComponentSelection::SetComponent(int I, std::int32_t New) {
  Begin();
  std::vector<TGroupInfo*> Changed;
  SetGroupStateAt(I, New, Changed);
  UpdateParentAt(FParent[I]);
  if (New == 2) {
    // A visible group that needs an unselected one is unselected with it, and so on down the
    // chain; a hidden group has no node to show that and stays as it is.
    for (std::size_t K = 0; K < Changed.size(); ++K) {
      const int C = IndexOf(Changed[K]);
      for (int J = FDependentStart[C]; J < FDependentStart[C + 1]; ++J) {
        const int D = FDependents[J];
        const std::int32_t State = FGroups[D]->State;
        if (FGroups[D]->Hidden || (State != gsSelected && State != gsPartlySelected)) continue;
        SetGroupStateAt(D, 2, Changed);
        UpdateParentAt(FParent[D]);
      }
    }
  }
  Propagate(Changed, New, -1);
  if (New == 2) {
    // What is still wanted keeps what it depends on, except the group the user just
    // unselected.
    std::vector<TGroupInfo*> Wanted;
    for (TGroupInfo* G : FGroups)
      if (G->State == gsSelected || G->State == gsPartlySelected) Wanted.push_back(G);
    Propagate(Wanted, 1, I);
  }
}

void TComponentSelection::SetGroupState(TGroupInfo& Group, std::int32_t State, std::vector<TGroupInfo*>& Changed) {
  const int I = IndexOf(&Group);
  if (I < 0) return;
  Begin();
  SetGroupStateAt(I, State, Changed);
}

void TComponentSelection::UpdateParentState(TGroupInfo* Group) {
  const int I = IndexOf(Group);
  if (I < 0) return;
  Begin();
  UpdateParentAt(I);
}

void TComponentSelection::PropagateDependencies(std::vector<TGroupInfo*>& List, std::int32_t State,
                                                const TGroupInfo* Exclude) {
  Begin();
  Propagate(List, State, IndexOf(Exclude));
}

std::vector<TGroupInfo*> TComponentSelection::TakeChangedGroups() {
  std::sort(FChangedList.begin(), FChangedList.end());
  std::vector<TGroupInfo*> Result;
  Result.reserve(FChangedList.size());
  for (const int G : FChangedList) {
    Result.push_back(FGroups[G]);
    FChangedMark[G] = 0;
  }
  FChangedList.clear();
  return Result;
}

}  // namespace setup
