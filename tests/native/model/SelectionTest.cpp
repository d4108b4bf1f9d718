#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "model/ComponentSelection.h"
#include "shared/ComponentSelectionReference.h"

namespace setup {
namespace {

// Models are written as script lines. GROUP columns: number, parent, hidden, typical,
// minimal, folder kind. DEPEND: the group that needs, the group it needs.
void Read(TInstallInfo& Info, const std::vector<std::string>& Lines) {
  for (const auto& L : Lines) Info.ParseLine(L);
  Info.Validate();
}

TGroupInfo& G(TInstallInfo& Info, std::int32_t No) {
  for (auto& Group : Info.Groups)
    if (Group->ItemNo == No) return *Group;
  throw std::runtime_error("no group " + std::to_string(No));
}

// "no:state" for every group in model order.
std::string States(const TInstallInfo& Info) {
  std::string S;
  for (const auto& Group : Info.Groups)
    S += (S.empty() ? "" : " ") + std::to_string(Group->ItemNo) + ":" + std::to_string(Group->State);
  return S;
}

std::string Numbers(const std::vector<TGroupInfo*>& Groups) {
  std::string S;
  for (const auto* Group : Groups) S += (S.empty() ? "" : " ") + std::to_string(Group->ItemNo);
  return S;
}

// R(1) -> A(2) -> A1(4), A2(5); R -> B(3) -> B1(6).
const std::vector<std::string> kTree = {"GROUP = 1 0 0 1 0 0", "GROUP = 2 1 0 1 0 0", "GROUP = 3 1 0 1 0 0",
                                        "GROUP = 4 2 0 1 0 0", "GROUP = 5 2 0 0 0 0", "GROUP = 6 3 0 1 0 0"};

TEST(ComponentToggle, SubtreeFollowsAndAncestorsShowTickGreyOrEmpty) {
  TInstallInfo Info;
  Read(Info, kTree);
  TComponentSelection Sel(Info);
  Sel.ToggleComponent(G(Info, 4));
  EXPECT_EQ(States(Info), "1:3 2:3 3:1 4:2 5:1 6:1");
  EXPECT_EQ(Numbers(Sel.TakeChangedGroups()), "1 2 4");
  EXPECT_TRUE(Sel.TakeChangedGroups().empty()) << "taking the changes empties them";

  Sel.ToggleComponent(G(Info, 5));  // the last selected child: the parent's box is empty
  EXPECT_EQ(States(Info), "1:3 2:2 3:1 4:2 5:2 6:1");
  EXPECT_EQ(Numbers(Sel.TakeChangedGroups()), "2 5") << "the root stayed partly selected";

  Sel.ToggleComponent(G(Info, 6));
  EXPECT_EQ(States(Info), "1:2 2:2 3:2 4:2 5:2 6:2");
  Sel.ToggleComponent(G(Info, 1));
  EXPECT_EQ(States(Info), "1:1 2:1 3:1 4:1 5:1 6:1");
  EXPECT_EQ(Numbers(Sel.TakeChangedGroups()), "1 2 3 4 5 6");

  // A partly selected node is unselected with its whole subtree, not selected.
  Sel.ToggleComponent(G(Info, 5));
  ASSERT_EQ(G(Info, 2).State, 3);
  Sel.ToggleComponent(G(Info, 2));
  EXPECT_EQ(States(Info), "1:3 2:2 3:1 4:2 5:2 6:1");
}

TEST(ComponentToggle, StatesSetFromOutsideBetweenTogglesAreRespected) {
  TInstallInfo Info;
  Read(Info, kTree);
  TComponentSelection Sel(Info);
  Sel.ToggleComponent(G(Info, 4));
  Info.ApplyInstallType(true, false, false, false);  // back on the type page: all selected again
  Sel.ToggleComponent(G(Info, 6));
  EXPECT_EQ(States(Info), "1:3 2:1 3:2 4:1 5:1 6:2");
}

TEST(ComponentDependencies, SelectingPullsInOtherBranchWithSubtreeAndAncestors) {
  // R(1): A(2) with A1(4), A2(5); B(3) with B1(6), B2(7); C(8) keeps R partly selected.
  TInstallInfo Info;
  Read(Info, {"GROUP = 1 0 0 0 0 0", "GROUP = 2 1 0 0 0 0", "GROUP = 3 1 0 0 0 0", "GROUP = 4 2 0 0 0 0",
              "GROUP = 5 2 0 0 0 0", "GROUP = 6 3 0 0 0 0", "GROUP = 7 3 0 0 0 0", "GROUP = 8 1 0 0 0 0",
              "DEPEND = 4 3"});
  Info.ApplyInstallType(false, true, false, false);  // nothing is typical: all unselected
  TComponentSelection Sel(Info);
  Sel.ToggleComponent(G(Info, 4));
  EXPECT_EQ(States(Info), "1:3 2:3 3:1 4:1 5:2 6:1 7:1 8:2");
  EXPECT_EQ(Numbers(Sel.TakeChangedGroups()), "1 2 3 4 6 7");

  // Unselecting the group that needed B takes B (and its subtree) away again.
  Sel.ToggleComponent(G(Info, 4));
  EXPECT_EQ(States(Info), "1:2 2:2 3:2 4:2 5:2 6:2 7:2 8:2");
}

TEST(ComponentDependencies, UnselectingTakesItsDependentsAndKeepsWhatOthersStillNeed) {
  // G(1) with C(2), C2(3); X(4); Y(5); Z(6); the DEPEND lines vary.
  const std::vector<std::string> Base = {"GROUP = 1 0 0 1 0 0", "GROUP = 2 1 0 1 0 0", "GROUP = 3 1 0 1 0 0",
                                         "GROUP = 4 0 0 1 0 0", "GROUP = 5 0 0 1 0 0", "GROUP = 6 0 0 1 0 0"};
  struct Case {
    std::vector<std::string> Depends;
    std::int32_t Toggled;
    const char* Expected;
    const char* Why;
  };
  const Case Cases[] = {
      {{"DEPEND = 4 2"}, 1, "1:2 2:2 3:2 4:2 5:1 6:1", "X needs C inside G: X goes with G"},
      {{"DEPEND = 5 1", "DEPEND = 6 5"}, 5, "1:2 2:2 3:2 4:1 5:2 6:2",
       "Z needs Y and goes with it; G, which only Y needed, goes as well"},
      {{"DEPEND = 5 1", "DEPEND = 6 5"}, 1, "1:2 2:2 3:2 4:1 5:2 6:2", "down the chain: G takes Y, Y takes Z"},
      {{"DEPEND = 4 1", "DEPEND = 5 1", "DEPEND = 5 4", "DEPEND = 6 2"}, 4, "1:3 2:1 3:2 4:2 5:2 6:1",
       "Y needed X and goes; of G, which they needed, Z keeps C"},
  };
  for (const Case& C : Cases) {
    TInstallInfo Info;
    auto Lines = Base;
    Lines.insert(Lines.end(), C.Depends.begin(), C.Depends.end());
    Read(Info, Lines);
    TComponentSelection Sel(Info);
    Sel.ToggleComponent(G(Info, C.Toggled));
    EXPECT_EQ(States(Info), C.Expected) << C.Why;
  }
  {
    // A hidden group has no node to show the change: the click leaves it as it was.
    TInstallInfo Info;
    Read(Info, {"GROUP = 1 0 0 1 0 0", "GROUP = 2 0 1 1 0 0", "DEPEND = 2 1"});
    TComponentSelection Sel(Info);
    Sel.ToggleComponent(G(Info, 1));
    EXPECT_EQ(States(Info), "1:2 2:1");
  }
}

TEST(ComponentChoice, OnlyTheChosenGroupsWithWhatTheyNeedAsIfTickedByHand) {
  // R(1) -> A(2) -> A1(4), A2(5); R -> B(3); hidden H(6) and K(8); C(7). A1 needs B, B needs H;
  // K, which has no node, needs C: C unticked by hand stays unticked, as in the wizard.
  const std::vector<std::string> Lines = {"GROUP = 1 0 0 1 0 0", "GROUP = 2 1 0 1 0 0", "GROUP = 3 1 0 1 0 0",
                                          "GROUP = 4 2 0 1 0 0", "GROUP = 5 2 0 1 0 0", "GROUP = 6 0 1 1 0 0",
                                          "GROUP = 7 0 0 1 0 0", "GROUP = 8 0 1 1 0 0", "DEPEND = 4 3",
                                          "DEPEND = 3 6",        "DEPEND = 8 7"};
  const std::pair<std::vector<std::int32_t>, const char*> Cases[] = {
      {{4}, "1:3 2:3 3:1 4:1 5:2 6:1 7:2 8:1"},
      {{5}, "1:3 2:3 3:2 4:2 5:1 6:2 7:2 8:1"},
      {{3, 2, 3}, "1:1 2:1 3:1 4:1 5:1 6:1 7:2 8:1"},
  };
  for (const auto& [Chosen, Expected] : Cases) {
    TInstallInfo Info;
    Read(Info, Lines);
    Info.ApplyInstallType(false, false, false, true);
    TComponentSelection Sel(Info);
    std::vector<TGroupInfo*> Groups;
    for (const std::int32_t No : Chosen) Groups.push_back(&G(Info, No));
    Sel.SelectOnly(Groups);
    EXPECT_EQ(States(Info), Expected) << Numbers(Groups);
  }
}

TEST(ComponentDependencies, CyclesDuplicatesAndSelfLinksEnd) {
  TInstallInfo Info;
  Read(Info, {"GROUP = 1 0 0 0 0 0", "GROUP = 2 0 0 0 0 0", "GROUP = 3 0 0 0 0 0", "GROUP = 4 3 0 0 0 0",
              "DEPEND = 1 2", "DEPEND = 2 3", "DEPEND = 3 1", "DEPEND = 1 2", "DEPEND = 1 1", "DEPEND = 4 4"});
  Info.ApplyInstallType(false, false, true, false);
  TComponentSelection Sel(Info);
  Sel.ToggleComponent(G(Info, 2));
  EXPECT_EQ(States(Info), "1:1 2:1 3:1 4:1");
  Sel.ToggleComponent(G(Info, 1));
  EXPECT_EQ(States(Info), "1:2 2:2 3:2 4:2") << "everything in the ring goes, nothing else needs it";
  Sel.ToggleComponent(G(Info, 4));
  EXPECT_EQ(States(Info), "1:2 2:2 3:1 4:1")
      << "a parent selected through its child does not bring what it depends on";
}

TEST(ComponentDependencies, HiddenGroupsFollowAndAreReportedThoughTheyHaveNoNode) {
  // V(1) visible needs H(2) hidden, whose child W(3) is visible again (a top-level node).
  TInstallInfo Info;
  Read(Info, {"GROUP = 1 0 0 0 0 0", "GROUP = 2 0 1 0 0 0", "GROUP = 3 2 0 0 0 0", "DEPEND = 1 2"});
  Info.ApplyInstallType(false, true, false, false);
  TComponentSelection Sel(Info);
  Sel.ToggleComponent(G(Info, 1));
  EXPECT_EQ(States(Info), "1:1 2:1 3:1");
  EXPECT_EQ(Numbers(Sel.TakeChangedGroups()), "1 2 3");
  Sel.ToggleComponent(G(Info, 3));
  EXPECT_EQ(States(Info), "1:1 2:1 3:1") << "V still needs H, and H takes W back";
}

TEST(ComponentDependencies, TypeLeftInconsistentParentsAreSettledByTheRepeatedPasses) {
  // The typical type leaves D unselected above two typical children. Unselecting T, which
  // needs D and X, where X needs D's first child: once that child goes, D turns grey, and
  // the next pass over T's dependencies unselects D with its other child as well. A single
  // pass over the changed groups would leave D grey and D2 selected.
  TInstallInfo Info;
  Read(Info, {"GROUP = 1 0 0 1 0 0", "GROUP = 2 0 0 0 0 0", "GROUP = 3 2 0 1 0 0", "GROUP = 4 2 0 1 0 0",
              "GROUP = 5 0 0 1 0 0", "DEPEND = 1 2", "DEPEND = 1 5", "DEPEND = 5 3"});
  Info.ApplyInstallType(false, true, false, false);
  ASSERT_EQ(States(Info), "1:1 2:2 3:1 4:1 5:1");
  TComponentSelection Sel(Info);
  Sel.ToggleComponent(G(Info, 1));
  EXPECT_EQ(States(Info), "1:2 2:2 3:2 4:2 5:2");
  EXPECT_EQ(Numbers(Sel.TakeChangedGroups()), "1 2 3 4 5");
}

TEST(ComponentRules, MarklessStatesAndChildlessGroups) {
  TInstallInfo Info;
  Read(Info, kTree);
  TComponentSelection Sel(Info);
  // Children without a mark do not count; all of them without a mark give none.
  G(Info, 4).State = -1;
  Sel.UpdateParentState(&G(Info, 2));
  EXPECT_EQ(G(Info, 2).State, 1);
  G(Info, 5).State = -1;
  Sel.UpdateParentState(&G(Info, 2));
  EXPECT_EQ(G(Info, 2).State, -1);
  EXPECT_EQ(G(Info, 1).State, 1) << "a child without a mark does not make its parent grey";
  // A group without children is partly selected when asked to follow its children.
  Sel.UpdateParentState(&G(Info, 6));
  EXPECT_EQ(States(Info), "1:3 2:-1 3:3 4:-1 5:-1 6:3");
  Sel.TakeChangedGroups();
  // Toggling a group without a mark sets none on it (nothing changes) but still settles the
  // ancestors.
  G(Info, 1).State = 1;
  Sel.ToggleComponent(G(Info, 4));
  EXPECT_EQ(States(Info), "1:3 2:-1 3:3 4:-1 5:-1 6:3");
  EXPECT_EQ(Numbers(Sel.TakeChangedGroups()), "1");
}

TEST(ComponentRules, SetGroupStateStopsAtGroupsThatHaveTheStateAndListsChangesInOrder) {
  TInstallInfo Info;
  Read(Info, kTree);
  TComponentSelection Sel(Info);
  G(Info, 2).State = 2;  // A already unselected: its children are not visited
  std::vector<TGroupInfo*> Changed;
  Sel.SetGroupState(G(Info, 1), 2, Changed);
  EXPECT_EQ(Numbers(Changed), "1 3 6");
  EXPECT_EQ(States(Info), "1:2 2:2 3:2 4:1 5:1 6:2");
  // The dependency step on its own: the list grows by what it changed, the excluded group is
  // left alone.
  TInstallInfo Info2;
  Read(Info2, {"GROUP = 1 0 0 1 0 0", "GROUP = 2 0 0 1 0 0", "GROUP = 3 2 0 1 0 0", "GROUP = 4 0 0 1 0 0",
               "DEPEND = 1 2", "DEPEND = 1 4", "DEPEND = 3 4"});
  TComponentSelection Sel2(Info2);
  std::vector<TGroupInfo*> List = {&G(Info2, 1)};
  Sel2.PropagateDependencies(List, 2, &G(Info2, 4));
  EXPECT_EQ(Numbers(List), "1 2 3");
  EXPECT_EQ(States(Info2), "1:1 2:2 3:2 4:1");
}

TEST(ComponentRules, GroupThatIsItsOwnParentDoesNotHang) {
  // The script check refuses such a model, but the wizard must not lock up on one either.
  TInstallInfo Info;
  for (const auto& L : {"GROUP = 1 1 0 0 0 0", "GROUP = 2 1 0 0 0 0", "DEPEND = 2 1"}) Info.ParseLine(L);
  ASSERT_EQ(Info.Groups[0]->Parent, Info.Groups[0].get());
  TComponentSelection Sel(Info);
  Sel.ToggleComponent(G(Info, 2));
  EXPECT_EQ(States(Info), "1:2 2:2");
  Sel.ToggleComponent(G(Info, 2));
  EXPECT_EQ(States(Info), "1:1 2:1");
}

// --- Against the plain rules -----------------------------------------------------------------

// The plain rules with one change: the dependency step walks the growing list once instead
// of restarting. Used only to show that the random models reach the cases where it matters.
class TSinglePass : public test::TPlainSelection {
 public:
  using TPlainSelection::TPlainSelection;
  void PropagateOnce(std::vector<TGroupInfo*>& List, std::int32_t State, const TGroupInfo* Exclude) {
    for (std::size_t I = 0; I < List.size(); ++I) {
      TGroupInfo* Entry = List[I];
      for (TGroupInfo* Depend : Entry->Depends) {
        if (Depend == Exclude) continue;
        SetGroupState(*Depend, State, List);
        UpdateParentState(Depend->Parent);
      }
    }
  }
  void Toggle(TGroupInfo& Group) {
    const std::int32_t New = Group.State == 1 || Group.State == 3 ? 2 : Group.State == 2 ? 1 : -1;
    std::vector<TGroupInfo*> Changed;
    SetGroupState(Group, New, Changed);
    UpdateParentState(Group.Parent);
    PropagateOnce(Changed, New, nullptr);
    if (New == 2) {
      Changed.clear();
      for (auto* G : All)
        if (G->State == 1 || G->State == 3) Changed.push_back(G);
      PropagateOnce(Changed, 1, &Group);
    }
  }
  std::vector<TGroupInfo*> All;
};

struct TRandomModel {
  std::vector<std::string> Lines;
  std::vector<std::int32_t> States;
};

TRandomModel MakeRandomModel(std::mt19937& Rng, int MaxGroups) {
  TRandomModel M;
  const int N = 1 + static_cast<int>(Rng() % MaxGroups);
  auto Chance = [&](int Percent) { return static_cast<int>(Rng() % 100) < Percent; };
  const int Roots = 1 + static_cast<int>(Rng() % 3);
  for (int I = 1; I <= N; ++I) {
    // Parents are earlier groups; a few roots; deep chains now and then.
    int Parent = 0;
    if (I > Roots) Parent = Chance(30) ? I - 1 : 1 + static_cast<int>(Rng() % (I - 1));
    M.Lines.push_back("GROUP = " + std::to_string(I) + " " + std::to_string(Parent) + " " +
                      (Chance(15) ? "1" : "0") + " 0 0 0");
  }
  const int Links = static_cast<int>(Rng() % (N + 1)) * (1 + static_cast<int>(Rng() % 3)) / 2;
  for (int K = 0; K < Links; ++K) {
    const int A = 1 + static_cast<int>(Rng() % N);
    const int B = 1 + static_cast<int>(Rng() % N);
    M.Lines.push_back("DEPEND = " + std::to_string(A) + " " + std::to_string(B));
    if (Chance(10)) M.Lines.push_back(M.Lines.back());                                      // duplicate
    if (Chance(10)) M.Lines.push_back("DEPEND = " + std::to_string(B) + " " + std::to_string(A));  // cycle
  }
  // Mostly the states a type leaves (each group on its own), sometimes grey or no mark.
  for (int I = 0; I < N; ++I) {
    const int R = static_cast<int>(Rng() % 100);
    M.States.push_back(R < 45 ? 1 : R < 85 ? 2 : R < 93 ? 3 : -1);
  }
  return M;
}

void LoadRandom(TInstallInfo& Info, const TRandomModel& M) {
  Read(Info, M.Lines);
  for (std::size_t I = 0; I < M.States.size(); ++I) Info.Groups[I]->State = M.States[I];
}

std::vector<std::size_t> Positions(const TInstallInfo& Info, const std::vector<TGroupInfo*>& Groups) {
  std::vector<std::size_t> P;
  for (const auto* Group : Groups)
    for (std::size_t I = 0; I < Info.Groups.size(); ++I)
      if (Info.Groups[I].get() == Group) P.push_back(I);
  return P;
}

TEST(ComponentSelectionVersusPlainRules, RandomForestsAndToggleSequences) {
  int Models = 0, Toggles = 0, SinglePassDiffers = 0;
  for (unsigned Seed = 1; Seed <= 1500; ++Seed) {
    std::mt19937 Rng(Seed);
    const auto M = MakeRandomModel(Rng, Seed % 10 == 0 ? 120 : 25);
    TInstallInfo Mine, Plain, Once;
    LoadRandom(Mine, M);
    LoadRandom(Plain, M);
    LoadRandom(Once, M);
    TComponentSelection Sel(Mine);
    test::TPlainSelection Ref(Plain);
    TSinglePass Single(Once);
    for (auto& Group : Once.Groups) Single.All.push_back(Group.get());
    ++Models;
    const int Steps = 1 + static_cast<int>(Rng() % 12);
    for (int Step = 0; Step < Steps; ++Step) {
      const std::size_t Pick = Rng() % Mine.Groups.size();
      if (Rng() % 8 == 0) {
        // A change from outside between toggles, as the type page makes.
        const std::int32_t S = static_cast<std::int32_t>(1 + Rng() % 2);
        Mine.Groups[Pick]->State = Plain.Groups[Pick]->State = Once.Groups[Pick]->State = S;
        continue;
      }
      Sel.ToggleComponent(*Mine.Groups[Pick]);
      Ref.ToggleComponent(*Plain.Groups[Pick]);
      Single.Toggle(*Once.Groups[Pick]);
      ++Toggles;
      ASSERT_EQ(States(Mine), States(Plain)) << "seed " << Seed << " step " << Step << " group " << Pick + 1;
      ASSERT_EQ(Positions(Mine, Sel.TakeChangedGroups()), Positions(Plain, Ref.TakeChangedGroups()))
          << "seed " << Seed << " step " << Step;
      if (States(Once) != States(Plain)) {
        ++SinglePassDiffers;
        for (std::size_t I = 0; I < Once.Groups.size(); ++I) Once.Groups[I]->State = Plain.Groups[I]->State;
      }
    }
  }
  EXPECT_EQ(Models, 1500);
  EXPECT_GT(Toggles, 6000);
  // The restarting passes must matter in some of these models, or this comparison would not
  // tell a single pass from the real rule.
  EXPECT_GT(SinglePassDiffers, 10);
}

TEST(ComponentSelectionVersusPlainRules, RandomDependencyStepsOnTheirOwn) {
  // The dependency step with arbitrary lists (repeated entries, groups not yet changed),
  // states and excluded groups, as a caller other than the toggle might use it.
  for (unsigned Seed = 1001; Seed <= 1300; ++Seed) {
    std::mt19937 Rng(Seed);
    const auto M = MakeRandomModel(Rng, 40);
    TInstallInfo Mine, Plain;
    LoadRandom(Mine, M);
    LoadRandom(Plain, M);
    TComponentSelection Sel(Mine);
    test::TPlainSelection Ref(Plain);
    const std::size_t N = Mine.Groups.size();
    std::vector<TGroupInfo*> ListMine, ListPlain;
    const int Entries = static_cast<int>(Rng() % 6);
    for (int K = 0; K < Entries; ++K) {
      const std::size_t I = Rng() % N;
      ListMine.push_back(Mine.Groups[I].get());
      ListPlain.push_back(Plain.Groups[I].get());
    }
    const std::int32_t States3[] = {1, 2, -1};
    const std::int32_t S = States3[Rng() % 3];
    const bool WithExclude = Rng() % 2 == 0;
    const std::size_t X = Rng() % N;
    Sel.PropagateDependencies(ListMine, S, WithExclude ? Mine.Groups[X].get() : nullptr);
    Ref.PropagateDependencies(ListPlain, S, WithExclude ? Plain.Groups[X].get() : nullptr);
    ASSERT_EQ(States(Mine), States(Plain)) << "seed " << Seed;
    ASSERT_EQ(Positions(Mine, ListMine), Positions(Plain, ListPlain)) << "seed " << Seed << ": the grown list";
    ASSERT_EQ(Positions(Mine, Sel.TakeChangedGroups()), Positions(Plain, Ref.TakeChangedGroups())) << "seed " << Seed;
  }
}

}  // namespace
}  // namespace setup
