#pragma once
// The selection rules of the component tree: toggling a group selects or unselects its
// subtree, ancestors follow their children, and dependencies are selected with what needs
// them. Results are those of the plain recursive rules (including the passes that restart
// from the first changed group), computed with indexes so that large trees stay fast.
#include <cstdint>
#include <vector>

#include "model/untData.h"

namespace setup {

class TComponentSelection {
 public:
  // Indexes the model's groups (children per parent, positions). The model's group list must
  // not change while the selection is in use; states may.
  explicit TComponentSelection(TInstallInfo& Info);

  // A click on a group's node: 1 or 3 becomes 2, 2 becomes 1, anything else -1; then the
  // subtree, the ancestors and the dependencies follow.
  void ToggleComponent(TGroupInfo& Group);

  // The rules one by one, as the toggle uses them. SetGroupState appends to Changed every
  // group whose state it changed; it stops at a group that has the state already.
  void SetGroupState(TGroupInfo& Group, std::int32_t State, std::vector<TGroupInfo*>& Changed);
  void UpdateParentState(TGroupInfo* Group);
  void PropagateDependencies(std::vector<TGroupInfo*>& List, std::int32_t State, const TGroupInfo* Exclude);

  // Every group whose state changed since the last call, each once, in model order: the
  // tree refreshes the images of these nodes only.
  std::vector<TGroupInfo*> TakeChangedGroups();

 private:
  // implementation-defined members
};

}  // namespace setup
