#pragma once
// The selection rules of the component tree: toggling a group selects or unselects its
// subtree, ancestors follow their children, dependencies are selected with what needs them,
// and what needs an unselected group is unselected with it. Results are those of the plain recursive rules (including the passes that restart
// from the first changed group), computed with indexes so that large trees stay fast.
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/untData.h"

namespace setup {

class TComponentSelection {
 public:
  // Indexes the model's groups (children per parent, positions). The model's group list must
  // not change while the selection is in use; states may.
  explicit TComponentSelection(TInstallInfo& Info);

  // A click on a group's node: 1 or 3 becomes 2, 2 becomes 1, anything else -1; then the
  // subtree, the ancestors and the dependencies follow. Unselecting also unselects the visible
  // groups that depend on anything unselected by it, so that nothing stays ticked without
  // what it needs.
  void ToggleComponent(TGroupInfo& Group);
  // A custom installation of exactly the Chosen groups (with what they depend on): every
  // visible group unticked in model order, then each chosen one ticked, by the toggle's rules.
  // Nothing changes when Chosen is empty.
  void SelectOnly(const std::vector<TGroupInfo*>& Chosen);

  // The rules one by one, as the toggle uses them. SetGroupState appends to Changed every
  // group whose state it changed; it stops at a group that has the state already.
  void SetGroupState(TGroupInfo& Group, std::int32_t State, std::vector<TGroupInfo*>& Changed);
  void UpdateParentState(TGroupInfo* Group);
  void PropagateDependencies(std::vector<TGroupInfo*>& List, std::int32_t State, const TGroupInfo* Exclude);

  // Every group whose state changed since the last call, each once, in model order: the
  // tree refreshes the images of these nodes only.
  std::vector<TGroupInfo*> TakeChangedGroups();

 private:
  // State changes go through Assign, which keeps the children counts of the parent exact and
  // notes the group for TakeChangedGroups.
  void Begin();
  void SetComponent(int Group, std::int32_t State);  // the toggle of one group to State
  void Assign(int Group, std::int32_t State);
  std::int32_t StateFromChildren(int Group) const;
  int IndexOf(const TGroupInfo* Group) const;
  void SetGroupStateAt(int Group, std::int32_t State, std::vector<TGroupInfo*>& Changed);
  void UpdateParentAt(int Group);
  void Propagate(std::vector<TGroupInfo*>& List, std::int32_t State, int Exclude);
  void Execute(int Depend, std::vector<TGroupInfo*>& List);
  void OnLeftPropagatedState(int Group);

  std::vector<TGroupInfo*> FGroups;  // model order
  std::unordered_map<const TGroupInfo*, int> FIndex;
  std::vector<int> FParent;                    // -1 for none
  std::vector<int> FChildStart, FChildren;     // children of each group, model order
  std::vector<int> FDependStart, FDepends;     // dependencies of each group, script order
  std::vector<int> FDependentStart, FDependents;  // groups depending on each group, model order
  std::vector<std::int32_t> FCounts;           // per group: children with state -1, 1, 2, 3
  // A group stamped with the current epoch was recomputed from its children during this call
  // and, since every step keeps such groups consistent, still equals what its children say.
  std::vector<unsigned> FFresh;
  unsigned FEpoch = 0;
  std::vector<char> FChangedMark;
  std::vector<int> FChangedList;
  std::vector<std::pair<int, int>> FStack;

  // One dependency propagation: where each group stands as a dependency in the list
  // ((entry << 32) | position in Depends), the groups that were given the propagated state
  // and lost it again, and the positions to revisit in the current pass.
  bool FPropagating = false;
  std::int32_t FPropState = 0;
  std::vector<int> FListIndex;
  std::vector<std::vector<std::uint64_t>> FPositions;
  std::vector<int> FPositioned;
  std::vector<char> FOffMark;
  std::vector<int> FOffList;
  std::vector<std::uint64_t> FRevisit;
};

}  // namespace setup
