#pragma once
// A model of the file system for the removal plan: folders and files by path (letter case
// ignored, as on Windows), files that are busy, commands that cannot start, and a log of every
// change in the order the plan made it.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "uninstaller/RemovalPlan.h"

class FakeDisk : public setup::IRemovalSystem {
 public:
  void AddDir(const std::string& Path) {
    const std::string Key = setup::FoldPath(Path);
    if (Nodes.count(Key)) return;
    const std::string Up = Parent(Key);
    if (!Up.empty()) AddDir(OriginalOf(Path));
    Nodes[Key] = {Trimmed(Path), true, false};
  }
  // A link to a folder elsewhere; what it shows may be added below it, as the system lists it.
  void AddLink(const std::string& Path) {
    AddDir(OriginalOf(Path));
    Nodes[setup::FoldPath(Path)] = {Trimmed(Path), true, true};
  }
  void AddFile(const std::string& Path) {
    AddDir(OriginalOf(Path));
    Nodes[setup::FoldPath(Path)] = {Path, false, false};
  }
  bool Has(const std::string& Path) const { return Nodes.count(setup::FoldPath(Path)) > 0; }

  bool FileExists(const std::string& Path) override {
    auto It = Nodes.find(setup::FoldPath(Path));
    return It != Nodes.end() && !It->second.Dir;
  }
  bool DirectoryExists(const std::string& Path) override {
    auto It = Nodes.find(setup::FoldPath(Path));
    return It != Nodes.end() && It->second.Dir;
  }
  bool IsLink(const std::string& Path) override {
    auto It = Nodes.find(setup::FoldPath(Path));
    return It != Nodes.end() && It->second.Link;
  }
  DeleteOutcome RemoveFile(const std::string& Path) override {
    const std::string Key = setup::FoldPath(Path);
    auto It = Nodes.find(Key);
    if (It == Nodes.end()) return DeleteOutcome::Missing;
    if (It->second.Dir) return DeleteOutcome::Failed;
    if (Busy.count(Key)) return DeleteOutcome::Busy;
    if (Locked.count(Key)) return DeleteOutcome::Failed;
    Nodes.erase(It);
    Log.push_back("delete " + Path);
    return DeleteOutcome::Deleted;
  }
  bool RemoveEmptyFolder(const std::string& Path) override {
    const std::string Key = setup::FoldPath(Path);
    if (!DirectoryExists(Path) || Locked.count(Key)) return false;
    if (IsLink(Path)) {
      // The link goes; what it points to stays where it is (here: under the link's name).
      for (auto It = Nodes.begin(); It != Nodes.end();)
        It = It->first.rfind(Key + "\\", 0) == 0 ? Nodes.erase(It) : std::next(It);
    } else if (!ListDirectory(Path).empty()) {
      return false;
    }
    Nodes.erase(Key);
    Log.push_back("rmdir " + Path);
    return true;
  }
  bool ScheduleDeleteAtRestart(const std::string& Path) override {
    if (!CanSchedule) return false;
    Log.push_back("at restart " + Path);
    return true;
  }
  std::vector<Entry> ListDirectory(const std::string& Dir) override {
    std::vector<Entry> Entries;
    const std::string Key = setup::FoldPath(Dir);
    for (const auto& [Path, Node] : Nodes)
      if (Parent(Path) == Key)
        Entries.push_back({Node.Path.substr(Node.Path.find_last_of('\\') + 1), Node.Dir, Node.Link});
    return Entries;
  }
  bool RunCommand(const std::string& CommandLine) override {
    Log.push_back("run " + CommandLine);
    return !Unstartable.count(CommandLine);
  }
  void UnregisterServer(const std::string& Path, bool IsProgram) override {
    Log.push_back((IsProgram ? "unregister program " : "unregister library ") + Path);
  }
  std::string LongPath(const std::string& Path) override {
    // Each short name on the way is made long: one pass per name at most.
    std::string Result = Path;
    for (std::size_t Pass = 0; Pass < LongNames.size(); ++Pass)
      for (const auto& [Short, Long] : LongNames) {
        const std::string Key = setup::FoldPath(Result);
        if (Key == Short || Key.rfind(Short + "\\", 0) == 0) Result = Long + Result.substr(Short.size());
      }
    return Result;
  }

  std::set<std::string> Busy, Locked, Unstartable;  // Busy and Locked hold folded paths
  // Short names: a folded short path ("c:\progra~1") and the long path it stands for.
  std::map<std::string, std::string> LongNames;
  bool CanSchedule = true;
  std::vector<std::string> Log;

 private:
  struct Node {
    std::string Path;
    bool Dir;
    bool Link;
  };
  static std::string Trimmed(std::string Path) {
    if (Path.size() > 3 && Path.back() == '\\') Path.pop_back();
    return Path;
  }
  // Parent of a folded path; the parent of "c:\x" is the root "c:\", a root has none.
  static std::string Parent(const std::string& Key) {
    if (Key.size() <= 3) return {};
    const auto At = Key.find_last_of('\\');
    if (At == std::string::npos) return {};
    return At == 2 ? Key.substr(0, 3) : Key.substr(0, At);
  }
  static std::string OriginalOf(const std::string& Path) {
    const std::string T = Trimmed(Path);
    const auto At = T.find_last_of('\\');
    return At == 2 ? T.substr(0, 3) : T.substr(0, At);
  }
  std::map<std::string, Node> Nodes;
};
