// Toggling groups in a large component tree: 5,000 groups five levels deep with a few
// thousand dependencies (across branches, a hub many groups need, rings). Every toggle should
// take well under 50 ms; the plain rules (children found by scanning all groups, dependency
// passes restarting from the first entry) are timed beside it on the same model.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "model/ComponentSelection.h"
#include "shared/ComponentSelectionReference.h"

namespace {

using namespace setup;

struct TShape {
  std::vector<std::string> Lines;
  int Top = 0, Hub = 0, Ring = 0, Middle = 0, Chain = 0, Groups = 0, Links = 0;
};

// Levels of 10, 60, 360, 1080 and 3490 groups; dependencies from random groups to leaves and
// to groups elsewhere, 400 groups needing one leaf, rings of five and a chain of 1,000 leaves.
TShape MakeShape() {
  TShape S;
  std::mt19937 Rng(20240601);
  const int Sizes[] = {10, 60, 360, 1080, 3490};
  std::vector<std::vector<int>> Level;
  int No = 0;
  for (int L = 0; L < 5; ++L) {
    Level.emplace_back();
    for (int I = 0; I < Sizes[L]; ++I) {
      const int Parent = L == 0 ? 0 : Level[L - 1][I % Level[L - 1].size()];
      Level[L].push_back(++No);
      // Every third group is typical, every tenth hidden: the typical type leaves parents
      // that disagree with their children.
      S.Lines.push_back("GROUP = " + std::to_string(No) + " " + std::to_string(Parent) + " " +
                        (No % 10 == 0 ? "1" : "0") + " " + (No % 3 == 0 ? "1" : "0") + " 0 0");
    }
  }
  S.Groups = No;
  auto Link = [&](int A, int B) {
    S.Lines.push_back("DEPEND = " + std::to_string(A) + " " + std::to_string(B));
    ++S.Links;
  };
  // Most groups need leaves (libraries, shared files); a few need whole branches.
  for (int K = 0; K < 2000; ++K)
    Link(1 + static_cast<int>(Rng() % No), Level[4][Rng() % Level[4].size()]);
  for (int K = 0; K < 300; ++K) Link(1 + static_cast<int>(Rng() % No), 1 + static_cast<int>(Rng() % No));
  S.Hub = Level[4][1234];
  for (int K = 0; K < 400; ++K) Link(Level[4][(K * 7 + 3) % Level[4].size()], S.Hub);
  for (int R = 0; R < 40; ++R) {
    int First = Level[3 + R % 2][(R * 37) % Level[3 + R % 2].size()], Prev = First;
    for (int K = 1; K < 5; ++K) {
      const int Next = Level[2 + K % 3][(R * 53 + K * 11) % Level[2 + K % 3].size()];
      Link(Prev, Next);
      Prev = Next;
    }
    Link(Prev, First);
    if (R == 0) S.Ring = First;
  }
  // A chain through 1,000 leaves of different branches: each pass of the plain rules adds one.
  S.Chain = Level[4][7];
  for (int K = 0; K < 1000; ++K) Link(Level[4][(7 + K * 3) % Level[4].size()], Level[4][(7 + (K + 1) * 3) % Level[4].size()]);
  S.Top = Level[0][0];
  S.Middle = Level[2][17];
  return S;
}

void Load(TInstallInfo& Info, const TShape& S) {
  for (const auto& L : S.Lines) Info.ParseLine(L);
  Info.Validate();
}

TGroupInfo& Group(TInstallInfo& Info, int No) { return *Info.Groups[No - 1]; }

std::vector<std::int32_t> Snapshot(const TInstallInfo& Info) {
  std::vector<std::int32_t> S;
  for (const auto& G : Info.Groups) S.push_back(G->State);
  return S;
}

void Restore(TInstallInfo& Info, const std::vector<std::int32_t>& S) {
  for (std::size_t I = 0; I < S.size(); ++I) Info.Groups[I]->State = S[I];
}

double Milliseconds(const std::function<void()>& Work) {
  const auto T0 = std::chrono::steady_clock::now();
  Work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
}

}  // namespace

int main() {
  const TShape S = MakeShape();
  TInstallInfo Fast, Plain;
  Load(Fast, S);
  Load(Plain, S);
  double Build = 1e9;
  for (int R = 0; R < 5; ++R) Build = std::min(Build, Milliseconds([&] { TComponentSelection Probe(Fast); }));
  TComponentSelection Sel(Fast);
  test::TPlainSelection Ref(Plain);
  std::printf("component tree: %d groups, %d dependencies; indexing %.3f ms\n", S.Groups, S.Links, Build);
  std::printf("%-44s %12s %12s %8s %8s\n", "toggle", "indexed ms", "plain ms", "ratio", "changed");

  struct TStep {
    const char* Name;
    int No;
    bool Typical;  // apply the typical type first
  };
  const TStep Steps[] = {
      {"top node (500 groups below)", S.Top, false},
      {"the same again", S.Top, false},
      {"leaf that 400 groups need", S.Hub, false},
      {"group in a ring", S.Ring, false},
      {"the same again", S.Ring, false},
      {"head of the chain of leaves", S.Chain, false},
      {"the same again", S.Chain, false},
      {"typical type, then a top node", S.Top, true},
      {"typical type, then a middle node", S.Middle, true},
  };
  double Worst = 0;
  bool Same = true;
  for (const auto& Step : Steps) {
    if (Step.Typical) {
      Fast.ApplyInstallType(false, true, false, false);
      Plain.ApplyInstallType(false, true, false, false);
      if (Step.No == S.Middle) {
        // Give the middle node a state that toggles to "unselected".
        Group(Fast, Step.No).State = Group(Plain, Step.No).State = 1;
      }
    }
    const auto Before = Snapshot(Fast);
    const char* Direction = Group(Fast, Step.No).State == 2 ? "select" : "unselect";
    double Best = 1e9;
    for (int R = 0; R < 7; ++R) {
      Restore(Fast, Before);
      Sel.TakeChangedGroups();
      Best = std::min(Best, Milliseconds([&] { Sel.ToggleComponent(Group(Fast, Step.No)); }));
    }
    const std::size_t Changed = Sel.TakeChangedGroups().size();
    const double PlainMs = Milliseconds([&] { Ref.ToggleComponent(Group(Plain, Step.No)); });
    Ref.TakeChangedGroups();
    Same = Same && Snapshot(Fast) == Snapshot(Plain);
    Worst = std::max(Worst, Best);
    std::printf("%-9s%-35s %12.3f %12.1f %7.0fx %8zu\n", Direction, Step.Name, Best, PlainMs, PlainMs / Best,
                Changed);
  }
  std::printf("slowest indexed toggle %.3f ms (target: well under 50 ms); results %s\n", Worst,
              Same ? "identical to the plain rules" : "DIFFER from the plain rules");
  return Same ? 0 : 1;
}
