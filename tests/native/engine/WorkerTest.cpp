// The worker's decisions on the host: whole runs over real cabinet sets and real folders, the
// registry in memory, the wizard replaced by the scripted host.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <unistd.h>

#include "HostInstallSystem.h"
#include "shared/ExpectedTexts.h"
#include "shared/ScriptedHost.h"
#include "shared/TestFiles.h"
#include "cabinet/writer/CabinetWriter.h"
#include "engine/untThrd.h"
#include "system/Encoding.h"
#include "system/ProgramCommand.h"
#include "system/Sha256.h"

using namespace setup;
namespace fs = std::filesystem;

namespace {

std::string Content(int Seed, std::size_t Size) {
  std::string Data(Size, '\0');
  std::uint32_t X = 2166136261u ^ static_cast<std::uint32_t>(Seed * 7919);
  for (auto& C : Data) {
    X = X * 1664525u + 1013904223u;
    C = static_cast<char>(X >> 24);
  }
  return Data;
}

std::string Read(const std::string& Path) {
  std::ifstream In(PathFromUtf8(Path), std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

void Write(const std::string& Path, const std::string& Bytes) {
  fs::create_directories(PathFromUtf8(ExtractFilePath(Path)));
  std::ofstream(PathFromUtf8(Path), std::ios::binary) << Bytes;
}

// Replaces the first From in the file's first Limit bytes by To of the same length.
void Patch(const std::string& Path, const std::string& From, const std::string& To, std::size_t Limit = 400) {
  std::string Bytes = Read(Path);
  const auto At = Bytes.find(From);
  ASSERT_TRUE(At != std::string::npos && At < Limit) << From << " not in " << Path;
  ASSERT_EQ(From.size(), To.size());
  Bytes.replace(At, From.size(), To);
  Write(Path, Bytes);
}

bool Exists(const std::string& Path) { return fs::exists(PathFromUtf8(Path)); }

// Names of the files in a folder, for finding leftovers.
std::vector<std::string> Listing(const std::string& Folder) {
  std::vector<std::string> Names;
  std::error_code Ignored;
  for (const auto& Entry : fs::directory_iterator(PathFromUtf8(Folder), Ignored))
    Names.push_back(Entry.path().filename().string());
  std::sort(Names.begin(), Names.end());
  return Names;
}

// The memory registry, with a hook before each change it makes.
class CountingRegistry : public MemoryRegistry {
 public:
  std::function<void()> BeforeChange;
  std::function<bool()> Frozen = [] { return false; };  // nothing changes any more
  std::function<bool()> Unsettled = [] { return false; };  // the journal's last records may be lost
  int UnsettledOverwrites = 0;

 protected:
  bool RawOpen(RegistryRoot Root, const std::string& Path, bool Create, bool ReadOnly) override {
    if (Create && BeforeChange && !RawKeyExists(Root, Path)) BeforeChange();
    if (Create && Frozen() && !RawKeyExists(Root, Path)) return false;
    return MemoryRegistry::RawOpen(Root, Path, Create, ReadOnly);
  }
  bool RawSet(const std::string& Name, std::uint32_t Type, const std::vector<std::uint8_t>& Data) override {
    std::uint32_t OldType;
    std::vector<std::uint8_t> OldData;
    if (Unsettled() && MemoryRegistry::RawQuery(Name, OldType, OldData)) ++UnsettledOverwrites;
    if (BeforeChange) BeforeChange();
    return !Frozen() && MemoryRegistry::RawSet(Name, Type, Data);
  }
  bool RawDeleteValue(const std::string& Name) override {
    if (BeforeChange) BeforeChange();
    return !Frozen() && MemoryRegistry::RawDeleteValue(Name);
  }
  bool RawDeleteKey(RegistryRoot Root, const std::string& Path) override {
    return !Frozen() && MemoryRegistry::RawDeleteKey(Root, Path);
  }
};

class Worker : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = Temp.Path().string() + "\\";
    Install = Root + "PF\\Тест";
  }

  // Files 10 (large, spans cabinets), 11, 12 (in an unselected group), 13 (temporary).
  std::vector<std::string> MakeCabinets(std::uint64_t MaxSize = 60000, std::uint16_t SetId = 7,
                                        const std::string& Pattern = "Media\\setup%d.cab") {
    TCabinetWriterOptions Options;
    Options.OutputPattern = Root + Pattern;
    Options.MaxCabinetSize = MaxSize;
    Options.Compression = ccNone;
    Options.DiskFolders = MaxSize != 0;
    Options.SetId = SetId;
    TCabinetWriter Writer(Options);
    for (const auto& [Number, Bytes] : Data) {
      TCabinetEntry Entry;
      Entry.Name = std::to_string(Number);
      Entry.Date = static_cast<std::uint16_t>(((2024 - 1980) << 9) | (5 << 5) | 17);
      Entry.Time = static_cast<std::uint16_t>((13 << 11) | (45 << 5) | (30 / 2));
      Entry.Attributes = Attributes.count(Number) ? Attributes[Number] : 0x20;
      std::istringstream Source(Bytes);
      Writer.AddFile(Entry, Source, Bytes.size());
      if (FolderPerFile) Writer.NewFolder();
    }
    return Writer.Finish();
  }

  // Four small files, one per cabinet, none continued: every cabinet is extracted on its own.
  std::vector<std::string> MakeUnspannedSet(std::uint16_t SetId = 7, const std::string& Pattern = "Media\\setup%d.cab") {
    Data = {{10, Content(10, 1000)}, {11, Content(11, 1000)}, {12, Content(12, 1000)}, {13, Content(13, 1000)}};
    FolderPerFile = true;
    auto Cabinets = MakeCabinets(1110, SetId, Pattern);
    FolderPerFile = false;
    return Cabinets;
  }

  std::string StandardScript() {
    return "DESCRIPTION = Тестовый продукт\r\n"
           "PRODUCTID = TEST-1\r\n"
           "UNINSTALL = 1\r\n"
           "UNINSTALLPATH = \\uninst.lst\r\n"
           "GROUPUNINSTALLPATH = 4\r\n"
           "GROUPDIRECTORY = 0\r\n"
           "DIRECTORY = \\Тест\r\n"
           "GROUPNAME = Тестовая группа\r\n"
           "GROUP = 1 0 0 1 1 4\r\n"
           "GROUPCAPTION = Основное\r\n"
           "DIR = 2 1 0 1 1 1\r\n"
           "DIRPATH = \\data\r\n"
           "DIRCFGNAME = Тестовая база\r\n"
           "DIRSHORTCUT = Данные\r\n"
           "DIR = 4 1 0 0 0 0\r\n"
           "DIRPATH = \\bin\r\n"
           "FILE = 10 1 0 0 0 1 0 0 0 " + std::to_string(Data[10].size()) + " " + CheckVersion10 + " 1 " + Version10 +
           " 0 0 1 0\r\n"
           "FILEPATH = \\bin\\big.dat\r\n"
           "FILESHORTCUT = Большой\r\n"
           "FILESHORTCUTPARAMS = /in=%Install%\\data\r\n"
           "FILERUNPARAMSUNINSTALL = %file% /u\r\n"
           "FILE = 11 1 0 0 0 0 0 0 0 " + std::to_string(Data[11].size()) + " 0 0  1 0 0 0\r\n"
           "FILEPATH = \\data\\small.txt\r\n"
           "FILERUNPARAMS = C:\\tools\\after.exe \"%file%\" %Install%||second\r\n"
           "FILE = 13 1 0 0 1 0 0 0 0 " + std::to_string(Data[13].size()) + " 0 0  0 0 0 0\r\n"
           "FILEPATH = \\temp.tmp\r\n"
           "GROUP = 3 0 0 0 0 5\r\n"
           "FILE = 12 3 1 0 0 0 0 0 0 " + std::to_string(Data[12].size()) + " 0 0  0 0 0 0\r\n"
           "FILEPATH = \\engine.dll\r\n"
           "EXEPATH = C:\\tools\\first.exe one\r\n"
           "EXEPATH = C:\\tools\\first.exe two\r\n" +
           Extra;
  }

  void LoadModel(const std::string& Script) {
    Info = std::make_unique<TInstallInfo>(&Reg);
    auto& Env = Info->Environment;
    Env.ProgramFilesDir = Root + "PF\\";
    Env.ProgramsDir = Root + "Programs\\";
    Env.BdeDir = Root + "BDE\\";
    Env.SetupDir = Root + "Media\\DISK1\\";
    Env.WindowsDir = Root + "Win\\";
    Env.SystemDir = Root + "Win\\System\\";
    Env.CommonFilesDir = Root + "Common\\";
    Info->LoadScript(Utf8ToCp1251(Script));
    Info->Validate();
    Info->ApplyStartupDefaults(Switches);
    Info->ApplyInstallType(Full, !Full, false, false);  // typical leaves group 3 out
  }

  void Run() {
    TExecutor Executor(*Info, Host, Reg, LinkedCabinetLibrary(), System);
    Executor.Arguments = Switches;
    Executor.CabinetDigests = Digests;
    Executor.CabinetsCarried = Carried;
    Journal = cJournalHeader;
    Settled = Journal.size();
    Executor.KeepJournal([&](const std::string& Bytes, bool Durable) {
      if (System.Frozen()) return;
      Journal += Bytes;
      if (Durable) Settled = Journal.size();
    });
    Executor.UnInstall.RunUninstaller = [&](const std::string& CommandLine) {
      Uninstallers.push_back(CommandLine);
      if (OnUninstaller) OnUninstaller();
      return true;
    };
    Executor.UnInstall.WaitForUninstaller = [&](const std::string&) { return --LingeringWaits < 0; };
    if (CancelAtPump >= 0)
      Host.OnPump = [&] {
        if (Host.Pumps == CancelAtPump) {
          Executor.Cancelled = true;
          CaptionsAtCancel = Host.Captions.size();
          LogAtCancel = Host.LogLines.size();
        }
      };
    System.OnProgram = [&](const std::string& Command) {
      if (Command == CancelDuring) Executor.Cancelled = true;
    };
    Executor.Execute();
    Succeeded = Executor.Succeeded;
    Damaged = Executor.PayloadDamaged;
    Skipped = Executor.SkippedFiles;
  }

  void InstallOnce() {
    Data = {{10, Content(10, 150000)}, {11, Content(11, 3000)}, {12, Content(12, 2000)}, {13, Content(13, 100)}};
    MakeCabinets();
    LoadModel(StandardScript());
    Run();
    ASSERT_TRUE(Succeeded) << Host.LastMessage();
  }

  // The earlier installation's registration: its uninstall entry and shared counters.
  std::map<std::string, std::string> Registration() {
    std::map<std::string, std::string> Values;
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    if (Reg.OpenKey(std::string(cUninstallKey) + "\\Тестовый продукт", false)) {
      for (const auto& Name : Reg.GetValueNames()) {
        std::uint32_t Type = 0;
        std::vector<std::uint8_t> Data;
        Reg.ReadRaw(Name, Type, Data);
        Values["uninstall " + Name] = Type == 4 ? std::to_string(Reg.ReadInteger(Name)) : Reg.ReadString(Name);
      }
      Reg.CloseKey();
    }
    if (Reg.OpenKey(cSharedDllsKey, false)) {
      for (const auto& Name : Reg.GetValueNames()) Values["shared " + Name] = std::to_string(Reg.ReadInteger(Name));
      Reg.CloseKey();
    }
    Values["engine path"] = Reg.KeyExists("\\SOFTWARE\\Borland\\Database Engine") ? "yes" : "no";
    return Values;
  }

  // Every file and folder outside the media, every registry key and value, every registered server.
  std::map<std::string, std::string> Machine() {
    std::map<std::string, std::string> State;
    for (const auto& Entry : fs::recursive_directory_iterator(Temp.Path())) {
      const std::string Name = fs::relative(Entry.path(), Temp.Path()).string();
      if (Name.rfind("Media", 0) == 0) continue;
      State[Name] = Entry.is_directory() ? "<folder>" : Read(Name.empty() ? "" : Entry.path().string());
    }
    std::function<void(RegistryRoot, const std::string&)> Dump = [&](RegistryRoot Root, const std::string& Key) {
      Reg.SetRootKey(Root);
      if (!Reg.OpenKey("\\" + Key, false)) return;
      const std::string Where = (Root == RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + Key;
      State[Where] = "<key>";
      for (const auto& Name : Reg.GetValueNames()) {
        std::uint32_t Type = 0;
        std::vector<std::uint8_t> Data;
        Reg.ReadRaw(Name, Type, Data);
        State[Where + "\\" + Name] = std::to_string(Type) + ":" + std::string(Data.begin(), Data.end());
      }
      const auto Subkeys = Reg.GetKeyNames();
      for (const auto& Subkey : Subkeys) Dump(Root, Key.empty() ? Subkey : Key + "\\" + Subkey);
    };
    Dump(RegistryRoot::LocalMachine, "");
    Dump(RegistryRoot::CurrentUser, "");
    for (const auto& Server : System.Servers) State["server " + Server] += "+";
    return State;
  }

  std::string ErrorBox(const std::string& Text) { return std::string(Msg::ApplicationTitle) + "|" + Msg::ErrorPrefix + Text + "!"; }

  test::TTempDir Temp{"worker-native"};
  std::string Root, Install;
  std::map<int, std::string> Data = {{10, Content(10, 150000)}, {11, Content(11, 3000)}, {12, Content(12, 2000)},
                                     {13, Content(13, 100)}};
  std::map<int, std::uint16_t> Attributes;
  std::string CheckVersion10 = "0", Version10 = "", Extra;
  bool Full = false, FolderPerFile = false;
  CountingRegistry Reg;
  std::unique_ptr<TInstallInfo> Info;
  ScriptedHost Host;
  HostInstallSystem System;
  std::vector<std::string> Switches, Uninstallers;
  TCabinetDigests Digests;
  int CancelAtPump = -1;
  int LingeringWaits = 0;  // waits after which the earlier uninstaller's copy is still there
  std::size_t CaptionsAtCancel = 0, LogAtCancel = 0;
  std::string CancelDuring;
  std::function<void()> OnUninstaller;
  bool Succeeded = false, Carried = false, Damaged = false;
  std::vector<TSkippedFile> Skipped;
  std::string Journal;  // as the last run wrote it
  std::size_t Settled = 0;  // how much of it is on the disk
};

}  // namespace

TEST_F(Worker, InstallsASpannedSetAndRecordsWhatIsAboutToBeInstalled) {
  Attributes = {{11, 0x121}, {13, 0x00}};  // a temporary-file bit the cabinet must not pass on; no bit at all
  const auto Cabinets = MakeCabinets();
  ASSERT_GE(Cabinets.size(), 3u);
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(cSharedDllsKey, true));
  Reg.CloseKey();
  Extra = "VERSION = 3.0.1\r\nPUBLISHER = Вендор\r\n";
  LoadModel(StandardScript());
  Run();
  ASSERT_TRUE(Succeeded) << Host.LastMessage();
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_TRUE(Host.DiskPrompts.empty());
  // The entry tells the product's version and maker, the room its placed files take (the
  // temporary file and the unselected group's left out) and silent removal.
  auto Entry = Registration();
  EXPECT_EQ(Entry["uninstall DisplayVersion"], "3.0.1");
  EXPECT_EQ(Entry["uninstall Publisher"], "Вендор");
  EXPECT_EQ(Entry.count("uninstall URLInfoAbout"), 0u);
  EXPECT_EQ(Entry["uninstall EstimatedSize"], std::to_string((150000 + 3000 + 1023) / 1024));
  EXPECT_EQ(Entry["uninstall DisplayIcon"], Install + "\\UnInstall.exe");  // no program has a shortcut
  EXPECT_EQ(Entry["uninstall QuietUninstallString"], Entry["uninstall UnInstallString"] + " /silence");
  EXPECT_EQ(Entry["uninstall InstallDate"], TodayText());
  EXPECT_EQ(Entry["uninstall NoModify"] + Entry["uninstall NoRepair"], "11");
  EXPECT_TRUE(Skipped.empty());
  EXPECT_EQ(Read(Install + "\\bin\\big.dat"), Data[10]);
  EXPECT_EQ(Read(Install + "\\data\\small.txt"), Data[11]);
  EXPECT_FALSE(Exists(Root + "BDE\\engine.dll"));  // unselected group
  // Nothing but the installed files is left in their folders.
  EXPECT_EQ(Listing(Install + "\\bin"), (std::vector<std::string>{"big.dat"}));
  EXPECT_EQ(Listing(Install + "\\data"), (std::vector<std::string>{"small.txt"}));
  EXPECT_EQ(System.Attributes[Install + "\\data\\small.txt"], 0x21u);
  EXPECT_EQ(System.Attributes[Install + "\\temp.tmp"], 0x80u);
  EXPECT_EQ(Host.Position, Host.Maximum);
  EXPECT_EQ(Host.Maximum, 150000 + 3000 + 2000 + 100);

  // The database engine's group does not take part: its folder is neither made nor recorded.
  EXPECT_FALSE(Exists(Root + "BDE"));
  const std::string List = Cp1251ToUtf8(Read(Install + "\\uninst.lst"));
  EXPECT_NE(List.find("Count=9\r\n"), std::string::npos) << List;
  EXPECT_EQ(List.find("BDE"), std::string::npos) << List;
  EXPECT_EQ(Registration()["engine path"], "no");
  // Commands: the EXEPATH lines first, then the run-after pieces (empty ones left out).
  EXPECT_EQ(System.Programs, (std::vector<std::string>{"C:\\tools\\first.exe one", "C:\\tools\\first.exe two",
                                                       "C:\\tools\\after.exe \"" + Install + "\\data\\small.txt\" " + Install,
                                                       "second"}));
  ASSERT_FALSE(System.Links.empty());
  EXPECT_NE(System.Links.front().find("Большой.lnk -> " + Install + "\\bin\\big.dat /in=" + Install + "\\data"),
            std::string::npos) << System.Links.front();
  // The log names every cabinet with its set and number, and every file placed.
  EXPECT_GE(Host.Logged("cabinet: ").size(), Cabinets.size());
  EXPECT_EQ(Host.Logged("cabinet: setup2.cab in " + Root + "Media\\DISK2\\ (set 7, number 1, ").size(), 1u);  // continued into
  EXPECT_EQ(Host.Logged("cabinet: ").front(), "cabinet: setup1.cab in " + Root + "Media\\DISK1\\ (set 7, number 0, next setup2.cab)");
  EXPECT_EQ(Host.Logged("extracted: ").size(), 3u);
  EXPECT_EQ(Host.Logged("skipped (not selected): "), (std::vector<std::string>{"skipped (not selected): " + Root + "BDE\\engine.dll"}));
}

TEST_F(Worker, DatabaseEngineFolderBelongsToItsGroupOnly) {
  Full = true;  // group 3, of the engine's folder kind, takes part
  MakeCabinets();
  LoadModel(StandardScript());
  Run();
  ASSERT_TRUE(Succeeded) << Host.LastMessage();
  EXPECT_EQ(Read(Root + "BDE\\engine.dll"), Data[12]);
  const std::string List = Cp1251ToUtf8(Read(Install + "\\uninst.lst"));
  EXPECT_NE(List.find("DirName9=" + Root + "BDE\\\r\n"), std::string::npos) << List;
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey("\\SOFTWARE\\Borland\\Database Engine", false));
  EXPECT_EQ(Reg.ReadString("DLLPATH"), Root + "BDE\\");
  EXPECT_EQ(System.Servers, (std::vector<std::string>{Root + "BDE\\engine.dll"}));
}

TEST_F(Worker, DeletionsAtRestartOfWhatIsWrittenAreTakenOffAfterTheEarlierUninstaller) {
  InstallOnce();
  // The earlier uninstaller leaves the deletion of a file it found busy; another was left long ago.
  const std::string Busy = Install + "\\data\\small.txt", Old = Install + "\\bin\\big.dat",
                    List = Install + "\\uninst.lst", Foreign = Root + "other.txt", NotSelected = Root + "BDE\\engine.dll";
  System.PendingDeletes = {Old, List, Foreign, NotSelected};
  OnUninstaller = [&] { System.PendingDeletes.insert(Busy); };
  Host = ScriptedHost();
  LoadModel(StandardScript());
  Run();
  ASSERT_TRUE(Succeeded) << Host.LastMessage();
  ASSERT_EQ(Uninstallers.size(), 1u);
  EXPECT_EQ(System.PendingDeletes, (std::set<std::string>{Foreign, NotSelected}));
  EXPECT_EQ(Host.Logged("deletion at restart cancelled: ").size(), 3u);
}

TEST_F(Worker, CancelDuringAnExternalProgramLeavesTheEarlierInstallationAlone) {
  InstallOnce();
  const auto Before = Registration();
  const std::string List = Read(Install + "\\uninst.lst");
  const std::string Old = Read(Install + "\\bin\\big.dat");
  ASSERT_EQ(Uninstallers.size(), 0u);  // nothing earlier the first time

  Host = ScriptedHost();
  System.Programs.clear();
  Data[10] = Content(99, 150000);  // a new version on the media
  MakeCabinets();
  CancelDuring = "C:\\tools\\first.exe one";
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_TRUE(Host.Messages.empty());  // a cancel is no error
  EXPECT_EQ(System.Programs, (std::vector<std::string>{"C:\\tools\\first.exe one"}));  // no further command
  EXPECT_TRUE(Uninstallers.empty());                                                    // nothing removed
  EXPECT_EQ(Registration(), Before);
  EXPECT_EQ(Read(Install + "\\uninst.lst"), List);
  EXPECT_EQ(Read(Install + "\\bin\\big.dat"), Old);
  EXPECT_EQ(Host.Captions, (std::vector<std::string>{Msg::RunningPrograms}));
}

TEST_F(Worker, NothingStartsAfterACancelAtAnyPumpingPoint) {
  // Run once to count the pumps, then cancel at each of them in turn.
  MakeCabinets();
  LoadModel(StandardScript());
  Run();
  ASSERT_TRUE(Succeeded) << Host.LastMessage();
  const int Pumps = Host.Pumps;
  ASSERT_GT(Pumps, 10);
  for (int At = 1; At <= Pumps; ++At) {
    SCOPED_TRACE("cancelled at pump " + std::to_string(At));
    Host = ScriptedHost();
    System.Programs.clear();
    Uninstallers.clear();
    fs::remove_all(PathFromUtf8(Root + "PF"));
    fs::remove_all(PathFromUtf8(Root + "Programs"));
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    Reg.DeleteKey(std::string(cUninstallKey) + "\\Тестовый продукт");
    CancelAtPump = At;
    LoadModel(StandardScript());
    Run();
    EXPECT_FALSE(Succeeded);
    // No stage began after the cancel, and nothing was done but closing what was under way.
    EXPECT_EQ(Host.Captions.size(), CaptionsAtCancel);
    for (std::size_t I = LogAtCancel; I < Host.LogLines.size(); ++I) {
      const std::string& Line = Host.LogLines[I];
      for (const char* Change : {"program: ", "directory: ", "uninstall list: ", "COM server: ", "1C ", "shortcut: ",
                                 "deleted: ", "registry: ", "opened: ", "extracted: ", "replaced: "})
        EXPECT_NE(Line.rfind(Change, 0), 0u) << Line;
    }
  }
}

TEST_F(Worker, MissingMediaStopBeforeTheEarlierInstallationIsRemoved) {
  InstallOnce();
  ASSERT_EQ(Registration()["uninstall ProductID"], "TEST-1");
  fs::remove_all(PathFromUtf8(Root + "Media"));
  // Attended: the disk is asked for; giving up changes nothing.
  Host = ScriptedHost();
  Host.Answers = {idYes};
  System.Programs.clear();
  System.Folders.clear();
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_EQ(Host.DiskPrompts, (std::vector<std::string>{"setup1.cab in " + Root + "Media\\DISK1\\"}));
  EXPECT_TRUE(Uninstallers.empty());
  EXPECT_TRUE(System.Programs.empty());
  EXPECT_TRUE(Host.Captions.empty());
  EXPECT_TRUE(System.Folders.empty());
  // Unattended: no prompt, an error that says where the set was looked for.
  Host = ScriptedHost();
  Switches = {"/AUTO=ON"};
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_TRUE(Host.DiskPrompts.empty());
  EXPECT_EQ(Host.Messages, (std::vector<std::string>{ErrorBox("Не найден CAB-файл <setup1.cab> в каталоге <" + Root +
                                                              "Media\\DISK1\\>")}));
  EXPECT_TRUE(Uninstallers.empty());
}

TEST_F(Worker, AnEarlierUninstallerThatDoesNotFinishIsWaitedForOrStopsTheRun) {
  InstallOnce();
  const std::string Question = std::string(Msg::ApplicationTitle) +
                               "|Удаление предыдущей установки еще не завершено: программа <" + Install +
                               "\\UnInstall.exe> продолжает работу.\rПодождать еще?";
  // Attended: asked after each wait; waiting once more lets it finish, and the run goes on.
  Host = ScriptedHost();
  Host.Answers = {idRetry};
  LingeringWaits = 1;
  LoadModel(StandardScript());
  Run();
  EXPECT_TRUE(Succeeded) << Host.LastMessage();
  EXPECT_EQ(Host.Messages, (std::vector<std::string>{Question}));
  EXPECT_EQ(Host.MessageFlags[0], mbRetryCancel | mbIconExclamation);
  // Stopping there installs nothing into the folder the old uninstaller may still be emptying.
  Host = ScriptedHost();
  Host.Answers = {idCancel};
  LingeringWaits = 1;
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  ASSERT_EQ(Host.Messages.size(), 2u);
  EXPECT_EQ(Host.Messages[1], ErrorBox("Удаление предыдущей установки не завершилось: программа <" + Install +
                                       "\\UnInstall.exe> продолжает работу"));
  EXPECT_EQ(Host.Captions.back(), Msg::RemovingPrevious);
  // Unattended: nobody to ask, the run stops at once.
  Host = ScriptedHost();
  Switches = {"/AUTO=ON"};
  LingeringWaits = 1;
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Captions.back(), Msg::RemovingPrevious);
}

TEST_F(Worker, AnUninstallListThatCannotBeWrittenOrHeldInAnsiStopsBeforeAnyChange) {
  InstallOnce();
  Uninstallers.clear();
  System.Programs.clear();
  // A folder where the list should be written.
  fs::remove(PathFromUtf8(Install + "\\uninst.lst"));
  fs::create_directories(PathFromUtf8(Install + "\\uninst.lst"));
  Host = ScriptedHost();
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_EQ(Host.Messages, (std::vector<std::string>{ErrorBox("Не удалось создать файл деинсталяции <" + Install +
                                                              "\\uninst.lst>: a folder")}));
  EXPECT_TRUE(Uninstallers.empty());
  EXPECT_TRUE(System.Programs.empty());

  // A folder name the uninstaller's code page cannot hold is named, and nothing starts.
  fs::remove_all(PathFromUtf8(Install + "\\uninst.lst"));
  Host = ScriptedHost();
  Switches = {"/PATH=" + Root + "PF\\製品"};
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_EQ(Host.Messages,
            (std::vector<std::string>{ErrorBox("Путь <" + Root + "PF\\製品> содержит символы, которые нельзя записать в "
                                               "файл деинсталяции. Выберите другой каталог установки или другую "
                                               "программную группу")}));
  EXPECT_FALSE(Exists(Root + "PF\\製品"));
  EXPECT_TRUE(Uninstallers.empty());
  EXPECT_TRUE(System.Programs.empty());
  // The same for the program group.
  Host = ScriptedHost();
  Switches = {"/GROUP=Группа ✓"};
  LoadModel(StandardScript());
  Run();
  EXPECT_EQ(Host.LastMessage(), ErrorBox("Путь <" + Root + "Programs\\Группа ✓> содержит символы, которые нельзя "
                                         "записать в файл деинсталяции. Выберите другой каталог установки или другую "
                                         "программную группу"));
}

TEST_F(Worker, CabinetsThatNameThemselvesOrEachOtherStopTheRun) {
  const auto Cabinets = MakeUnspannedSet();
  ASSERT_EQ(Cabinets.size(), 4u);
  Patch(Root + "Media\\DISK1\\setup1.cab", "setup2.cab", "setup1.cab");
  Switches = {"/AUTO=ON"};
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_EQ(Host.Messages, (std::vector<std::string>{ErrorBox(
                               "CAB-файл <setup1.cab> встречается в наборе повторно: набор CAB-файлов поврежден")}));
  EXPECT_TRUE(Host.Captions.empty());  // found before anything started

  // Two cabinets naming each other, attended: no prompt either.
  MakeUnspannedSet();
  Patch(Root + "Media\\DISK2\\setup2.cab", "setup3.cab", "setup1.cab", 60);
  Host = ScriptedHost();
  Switches = {};
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_TRUE(Host.DiskPrompts.empty());
  EXPECT_EQ(Host.LastMessage(),
            ErrorBox("CAB-файл <setup1.cab> встречается в наборе повторно: набор CAB-файлов поврежден"));

  // A continued file whose next cabinet is the one being extracted.
  Data = {{10, Content(10, 150000)}, {11, Content(11, 3000)}, {12, Content(12, 2000)}, {13, Content(13, 100)}};
  MakeCabinets();
  Patch(Root + "Media\\DISK1\\setup1.cab", "setup2.cab", "setup1.cab");
  fs::remove_all(PathFromUtf8(Install));
  Host = ScriptedHost();
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_TRUE(Host.DiskPrompts.empty());
  EXPECT_EQ(Host.LastMessage(),
            ErrorBox("CAB-файл <setup1.cab> встречается в наборе повторно: набор CAB-файлов поврежден"));
  EXPECT_FALSE(Exists(Install + "\\bin\\big.dat"));
}

TEST_F(Worker, ADiskOfAnotherBuildStopsTheRunBeforeAnyOfItsEntries) {
  MakeUnspannedSet(7);
  MakeUnspannedSet(8, "Other\\setup%d.cab");
  fs::copy_file(PathFromUtf8(Root + "Other\\DISK2\\setup2.cab"), PathFromUtf8(Root + "Media\\DISK2\\setup2.cab"),
                fs::copy_options::overwrite_existing);
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_EQ(Host.LastMessage(), ErrorBox("CAB-файл <setup2.cab> не является следующим CAB-файлом этого набора (набор 8, "
                                         "номер 1; ожидался набор 7, номер 1)"));
  // Found before anything changed: not even the files of the right first disk are written.
  EXPECT_TRUE(Host.Captions.empty());
  EXPECT_FALSE(Exists(Install));

  // Disks in the wrong order are refused the same way.
  fs::rename(PathFromUtf8(Root + "Media\\DISK3\\setup3.cab"), PathFromUtf8(Root + "Media\\DISK2\\setup2.cab"));
  Host = ScriptedHost();
  LoadModel(StandardScript());
  Run();
  EXPECT_EQ(Host.LastMessage(), ErrorBox("CAB-файл <setup2.cab> не является следующим CAB-файлом этого набора (набор 7, "
                                         "номер 2; ожидался набор 7, номер 1)"));
}

TEST_F(Worker, ACarriedCabinetMissingOrNotMatchingItsDigestIsADamagedDownloadAndNoDiskIsAskedFor) {
  const auto Cabinets = MakeCabinets(0, 7, "Media\\DISK1\\setup%d.cab");
  ASSERT_EQ(Cabinets.size(), 1u);
  Digests = ParseCabinetDigests("setup1.cab=" + std::string(64, '0') + "\n");
  Carried = true;
  for (const bool Missing : {false, true}) {
    if (Missing) fs::remove(PathFromUtf8(Cabinets[0]));
    for (const bool Attended : {true, false}) {
      Host = ScriptedHost();
      Switches = Attended ? std::vector<std::string>{} : std::vector<std::string>{"/AUTO=ON"};
      LoadModel(StandardScript());
      Run();
      EXPECT_FALSE(Succeeded);
      EXPECT_TRUE(Damaged);
      EXPECT_TRUE(Host.DiskPrompts.empty());
      EXPECT_EQ(Host.LastMessage(), std::string(Msg::ApplicationTitle) + "|" + Msg::PayloadDamaged);
      EXPECT_FALSE(Exists(Install));
    }
  }
}

TEST_F(Worker, ACabinetThatDoesNotMatchItsDigestIsRefusedBeforeAnyOfItsEntries) {
  const auto Cabinets = MakeUnspannedSet();
  ASSERT_EQ(Cabinets.size(), 4u);
  std::string Text;
  for (std::size_t I = 0; I < Cabinets.size(); ++I)
    Text += "setup" + std::to_string(I + 1) + ".cab=" + Sha256Hex(Read(Cabinets[I])) + "\r\n";
  // Another build of the same set: its second disk carries other bytes for FILE 11.
  const std::string Genuine11 = Data[11];
  Data[11] = Content(99, 1000);
  FolderPerFile = true;
  MakeCabinets(1110, 7, "Other\\setup%d.cab");
  FolderPerFile = false;
  fs::copy_file(PathFromUtf8(Cabinets[1]), PathFromUtf8(Cabinets[1] + ".genuine"));
  Data[11] = Genuine11;
  fs::copy_file(PathFromUtf8(Root + "Other\\DISK2\\setup2.cab"), PathFromUtf8(Root + "Media\\DISK2\\setup2.cab"),
                fs::copy_options::overwrite_existing);
  Digests = ParseCabinetDigests(Text);
  ASSERT_EQ(Digests.size(), 4u);

  // Unattended: the run ends, and nothing of that cabinet is written.
  Switches = {"/AUTO=ON"};
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_TRUE(Host.DiskPrompts.empty());
  EXPECT_EQ(Host.LastMessage(), ErrorBox("CAB-файл <setup2.cab> в каталоге <" + Root +
                                         "Media\\DISK2\\> поврежден или относится к другому набору"));
  EXPECT_FALSE(Exists(Install + "\\data\\small.txt"));

  // Attended: the same text in the error box, before any change.
  Host = ScriptedHost();
  Switches = {};
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_TRUE(Host.DiskPrompts.empty());
  EXPECT_EQ(Host.LastMessage(), ErrorBox("CAB-файл <setup2.cab> в каталоге <" + Root +
                                         "Media\\DISK2\\> поврежден или относится к другому набору"));
  EXPECT_TRUE(Host.Captions.empty());
  EXPECT_FALSE(Exists(Install));

  // The genuine disk is taken.
  fs::copy_file(PathFromUtf8(Cabinets[1] + ".genuine"), PathFromUtf8(Cabinets[1]), fs::copy_options::overwrite_existing);
  Host = ScriptedHost();
  Switches = {"/AUTO=ON"};
  LoadModel(StandardScript());
  System.Holds.clear();
  Run();
  EXPECT_TRUE(Succeeded);
  EXPECT_EQ(Read(Install + "\\data\\small.txt"), Genuine11);
  // Each cabinet opened once, before any change, and held until the run was done with it.
  EXPECT_EQ(System.Holds.size(), 4u);
  for (const auto& [Path, Times] : System.Holds) EXPECT_EQ(Times, 1) << Path;
  EXPECT_EQ(System.HeldAtLastProgram, 4);
  EXPECT_EQ(System.HeldOpen, 0);

  // A disk that is not at hand is checked when the prompt brings it: the foreign one is not
  // taken (the prompt says why and asks again), the genuine one is.
  fs::create_directories(PathFromUtf8(Root + "Later"));
  for (const char* Disk : {"DISK2", "DISK3", "DISK4"})
    fs::rename(PathFromUtf8(Root + "Media\\" + Disk), PathFromUtf8(Root + "Later\\" + Disk));
  fs::remove_all(PathFromUtf8(Install));
  Host = ScriptedHost();
  Host.DiskAnswers = {Root + "Other\\DISK2", Root + "Later\\DISK2"};
  Switches = {};
  LoadModel(StandardScript());
  Run();
  EXPECT_TRUE(Succeeded) << Host.LastMessage();
  EXPECT_EQ(Host.DiskPrompts,
            (std::vector<std::string>{"setup2.cab in " + Root + "Media\\DISK1\\",
                                      "setup2.cab in " + Root + "Other\\DISK2 (not the right disk)"}));
  EXPECT_EQ(Read(Install + "\\data\\small.txt"), Genuine11);
  for (const char* Disk : {"DISK2", "DISK3", "DISK4"})
    fs::rename(PathFromUtf8(Root + "Later\\" + Disk), PathFromUtf8(Root + "Media\\" + Disk));

  // A setup program without digests takes its cabinets as they are.
  fs::copy_file(PathFromUtf8(Root + "Other\\DISK2\\setup2.cab"), PathFromUtf8(Cabinets[1]),
                fs::copy_options::overwrite_existing);
  Digests.clear();
  Host = ScriptedHost();
  LoadModel(StandardScript());
  Run();
  EXPECT_TRUE(Succeeded);
  EXPECT_EQ(Read(Install + "\\data\\small.txt"), Content(99, 1000));
}

TEST_F(Worker, AForeignDiskMetInTheMiddleOfAFileIsNotTakenAndUnattendedEndsTheRun) {
  MakeCabinets(60000, 8, "Other\\setup%d.cab");
  MakeCabinets(60000, 7);
  fs::copy_file(PathFromUtf8(Root + "Other\\DISK2\\setup2.cab"), PathFromUtf8(Root + "Media\\DISK2\\setup2.cab"),
                fs::copy_options::overwrite_existing);
  const std::string Refusal = ErrorBox(
      "CAB-файл <setup2.cab> не является следующим CAB-файлом этого набора (набор 8, номер 1; ожидался набор "
      "7, номер 1)");
  // At hand: attended and unattended alike, the run ends before any change.
  for (const char* Switch : {"/AUTO=OFF", "/AUTO=ON"}) {
    Host = ScriptedHost();
    Switches = {Switch};
    LoadModel(StandardScript());
    Run();
    EXPECT_FALSE(Succeeded);
    EXPECT_TRUE(Host.DiskPrompts.empty());
    EXPECT_EQ(Host.Messages, (std::vector<std::string>{Refusal}));
    EXPECT_TRUE(Host.Captions.empty());
  }
  // Not at hand: brought to the prompt in the middle of a file, it is not taken, and the
  // prompt says why; giving up there leaves the file unwritten.
  fs::rename(PathFromUtf8(Root + "Media\\DISK2"), PathFromUtf8(Root + "Foreign"));
  Host = ScriptedHost();
  Host.DiskAnswers = {Root + "Foreign"};
  Host.Answers = {idYes};
  Switches = {};
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_EQ(Host.DiskPrompts, (std::vector<std::string>{"setup2.cab in " + Root + "Media\\DISK1\\",
                                                        "setup2.cab in " + Root + "Foreign (not the right disk)"}));
  EXPECT_FALSE(Exists(Install + "\\bin\\big.dat"));
}

TEST_F(Worker, ASetThatEndsEarlyFailsNamingTheMissingFiles) {
  MakeCabinets();
  for (int Item = 20; Item < 25; ++Item)
    Extra += "FILE = " + std::to_string(Item) + " 1 0 0 0 0 0 0 0 10 0 0  0 0 0 0\r\nFILEPATH = \\lost" +
             std::to_string(Item) + ".txt\r\n";
  Extra += "FILE = 30 3 0 0 0 0 0 0 0 10 0 0  0 0 0 0\r\nFILEPATH = \\unselected.txt\r\n";
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_EQ(Host.LastMessage(), ErrorBox("В наборе CAB-файлов не найдены файлы: <" + Install + "\\lost20.txt>, <" +
                                         Install + "\\lost21.txt>, <" + Install + "\\lost22.txt> и еще 2"));
  EXPECT_TRUE(Host.Logged("COM server").empty());  // no later stage
  EXPECT_EQ(Host.Captions.back(), Msg::Extracting);
}

TEST_F(Worker, AFailureOrAKillAtAnyChangeLeavesTheMachineAsItWas) {
  // An earlier installation, then a later one over it (its uninstaller run first) that fails at
  // its first change, its second, and so on until one runs through; and the same run killed
  // there instead, undone afterwards from what its journal holds.
  Reg.Frozen = [&] { return System.Frozen(); };
  // A value that was there is overwritten only once its record is on the disk.
  Reg.Unsettled = [&] { return Journal.size() != Settled; };
  InstallOnce();
  Full = true;
  Data[10] = Content(99, 150000);
  Data[11] = Content(98, 3000);
  MakeCabinets();
  Reg.BeforeChange = [&] { System.Changing(); };
  // The earlier installation's uninstaller removes what its list names, itself and its registration.
  Write(Install + "\\UnInstall.exe", "the uninstaller");
  OnUninstaller = [&] {
    IRegistryWatch* const Watch = Reg.Watch;
    Reg.Watch = nullptr;
    Reg.BeforeChange = nullptr;
    const std::string List = Cp1251ToUtf8(Read(Install + "\\uninst.lst"));
    for (std::size_t At = List.find("FileName"); At != std::string::npos; At = List.find("FileName", At + 1)) {
      const std::size_t From = List.find('=', At) + 1;
      fs::remove(PathFromUtf8(List.substr(From, List.find('\r', From) - From)));
    }
    fs::remove(PathFromUtf8(Install + "\\uninst.lst"));
    fs::remove(PathFromUtf8(Install + "\\UnInstall.exe"));
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    Reg.DeleteKey(std::string(cUninstallKey) + "\\Тестовый продукт");
    if (Reg.OpenKey(cSharedDllsKey, false)) {
      for (const auto& Name : Reg.GetValueNames()) Reg.DeleteValue(Name);
      Reg.CloseKey();
    }
    Reg.Watch = Watch;
    Reg.BeforeChange = [&] { System.Changing(); };
  };
  int Change = 1;
  for (;; ++Change) {
    SCOPED_TRACE("failing at change " + std::to_string(Change));
    const auto Before = Machine();
    Host = ScriptedHost();
    System.ChangesMade = 0;
    System.FailAtChange = Change;
    LoadModel(StandardScript());
    Reg.UnsettledOverwrites = 0;
    Run();
    if (Succeeded) break;
    EXPECT_EQ(Host.LastMessage(), ErrorBox("injected failure"));
    EXPECT_TRUE(Host.Logged("undo failed").empty());
    EXPECT_EQ(Machine(), Before);

    System.ChangesMade = 0;
    System.FailAtChange = Change;
    System.Kill = true;
    Run();
    System.Handler.Frozen = System.Kill = false;
    bool Committed = true;
    const std::vector<TChange> Changes = ReadJournal(Journal, Committed);
    EXPECT_FALSE(Committed);
    EXPECT_TRUE(UndoChanges(Changes, System, Reg, Host).empty());
    EXPECT_EQ(Machine(), Before);
    if (HasFailure()) break;
  }
  Reg.BeforeChange = nullptr;
  EXPECT_GT(Change, 20);
  EXPECT_EQ(Reg.UnsettledOverwrites, 0);  // in the run that went through
  // The run that went through kept its changes; its journal, cut anywhere, reads as what was
  // written before the cut.
  bool Committed = false;
  const std::size_t Made = ReadJournal(Journal, Committed).size();
  EXPECT_TRUE(Committed);
  for (std::size_t Cut = 0; Cut < Journal.size(); Cut += 7) {
    const std::size_t Read = ReadJournal(Journal.substr(0, Cut), Committed).size();
    ASSERT_LE(Read, Made);
    ASSERT_FALSE(Committed);
  }
  EXPECT_EQ(Registration()["uninstall ProductID"], "TEST-1");
  EXPECT_EQ(Read(Install + "\\bin\\big.dat"), Data[10]);
  EXPECT_EQ(Read(Root + "BDE\\engine.dll"), Data[12]);
  EXPECT_EQ(Listing(Install + "\\bin"), (std::vector<std::string>{"big.dat"}));  // no file set aside is left
}

TEST_F(Worker, AFailedWriteLeavesTheOlderFileByteForByte) {
  const std::string Target = Install + "\\data\\small.txt";
  auto Older = [&] {
    Write(Target, "the older version");
    Host = ScriptedHost();
  };
  auto ExpectOlderKept = [&](const std::string& Error) {
    EXPECT_FALSE(Succeeded);
    EXPECT_EQ(Host.LastMessage(), ErrorBox(Error));
    EXPECT_EQ(Read(Target), "the older version");
    EXPECT_EQ(Listing(Install + "\\data"), (std::vector<std::string>{"small.txt"}));  // no part file left
  };
  // A damaged data block in the entry's own cabinet.
  Data = {{11, Content(11, 3000)}};
  MakeCabinets(0, 7, "Media\\DISK1\\setup1.cab");
  std::string Cabinet = Read(Root + "Media\\DISK1\\setup1.cab");
  Cabinet[Cabinet.find(Data[11].substr(0, 64)) + 1000] ^= 0x5A;
  Write(Root + "Media\\DISK1\\setup1.cab", Cabinet);
  Older();
  LoadModel("DESCRIPTION = Тестовый продукт\r\nDIRECTORY = \\Тест\r\nGROUP = 1 0 0 1 1 4\r\nDIR = 2 1 0 0 0 0\r\n"
            "DIRPATH = \\data\r\nFILE = 11 1 0 0 0 0 0 0 0 3000 0 0  0 0 0 0\r\nFILEPATH = \\data\\small.txt\r\n");
  Run();
  ExpectOlderKept(test::CabinetErrorText(FDIERROR_CORRUPT_CABINET));
  EXPECT_EQ(Host.Logged("failed: "), (std::vector<std::string>{"failed: " + Target + ": CAB-файл поврежден",
                                                                "failed: CAB-файл поврежден"}));

  // A compression type the library does not know: refused before the entry is handed out.
  MakeCabinets(0, 7, "Media\\DISK1\\setup1.cab");
  // The only folder's entry follows the fixed header; its compression type is its last word.
  std::string Bytes = Read(Root + "Media\\DISK1\\setup1.cab");
  ASSERT_EQ(Bytes.substr(42, 2), std::string("\x00\x00", 2));  // stored
  Bytes[42] = 0x0F;
  Write(Root + "Media\\DISK1\\setup1.cab", Bytes);
  Older();
  Run();
  ExpectOlderKept(test::CabinetErrorText(FDIERROR_BAD_COMPR_TYPE));
  EXPECT_TRUE(Host.Repaints.empty());

  // A disk that fills up while the new version is written.
  MakeCabinets(0, 7, "Media\\DISK1\\setup1.cab");
  Older();
  System.Handler.FailWritesAfter = 1000;
  Run();
  ExpectOlderKept(test::CabinetErrorText(FDIERROR_TARGET_FILE));
}

TEST_F(Worker, UnattendedRunsKeepOtherVersionsSkipBusyFilesAndListThem) {
  MakeCabinets();
  CheckVersion10 = "1";
  Version10 = "1.2.3.4";
  Write(Install + "\\bin\\big.dat", "older");
  System.Versions[Install + "\\bin\\big.dat"] = "4.8.10.0";
  Write(Install + "\\data\\small.txt", "held");
  System.Busy.insert(Install + "\\data\\small.txt");
  Switches = {"/auto=on"};
  LoadModel(StandardScript());
  Run();
  EXPECT_TRUE(Succeeded) << Host.LastMessage();
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(Read(Install + "\\bin\\big.dat"), "older");
  EXPECT_EQ(Read(Install + "\\data\\small.txt"), "held");
  ASSERT_EQ(Skipped.size(), 2u);
  EXPECT_EQ(Skipped[0].Path, Install + "\\bin\\big.dat");
  EXPECT_EQ(Skipped[0].Reason, srKeptVersion);
  EXPECT_EQ(Skipped[1].Path, Install + "\\data\\small.txt");
  EXPECT_EQ(Skipped[1].Reason, srBusy);
  EXPECT_EQ(Host.Logged("kept (version 4.8.10.0): "), (std::vector<std::string>{"kept (version 4.8.10.0): " + Install + "\\bin\\big.dat"}));
  EXPECT_EQ(Host.Position, Host.Maximum);

  // A second disk that is not where the set should be: a failure, not a prompt.
  fs::rename(PathFromUtf8(Root + "Media\\DISK2"), PathFromUtf8(Root + "Elsewhere"));
  Host = ScriptedHost();
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_TRUE(Host.DiskPrompts.empty());
  EXPECT_EQ(Host.Messages, (std::vector<std::string>{ErrorBox("Не найден CAB-файл <setup2.cab> в каталоге <" + Root +
                                                              "Media\\DISK1\\>")}));
}

TEST_F(Worker, AttendedQuestionsAndTheAnswersThatKeepFiles) {
  MakeCabinets();
  CheckVersion10 = "1";
  Version10 = "4.8.10";  // against 4.8.10.0: different texts, so asked
  Write(Install + "\\bin\\big.dat", "older");
  System.Versions[Install + "\\bin\\big.dat"] = "4.8.10.0";
  Write(Install + "\\data\\small.txt", "held");
  System.Busy.insert(Install + "\\data\\small.txt");
  Host.Answers = {idNo, idRetry, idIgnore};
  LoadModel(StandardScript());
  Run();
  EXPECT_TRUE(Succeeded) << Host.LastMessage();
  ASSERT_EQ(Host.Messages.size(), 3u);
  EXPECT_EQ(Host.Messages[0], std::string(Msg::ApplicationTitle) + "|Файл <" + Install +
                                  "\\bin\\big.dat> уже существует на Вашем ПК!\rВерсия устанавливаемого файла 4.8.10.\r"
                                  "Версия существующего файла    4.8.10.0.\rЗаменить файл?");
  EXPECT_EQ(Host.MessageFlags[0], mbYesNo | mbIconExclamation);
  EXPECT_EQ(Host.Messages[1], std::string(Msg::ApplicationTitle) + "|" + BusyFileQuestion(Install + "\\data\\small.txt"));
  EXPECT_EQ(Host.MessageFlags[1], mbAbortRetryIgnore | mbIconExclamation);
  EXPECT_EQ(Host.Messages[2], Host.Messages[1]);
  EXPECT_EQ(Read(Install + "\\bin\\big.dat"), "older");
  EXPECT_EQ(Read(Install + "\\data\\small.txt"), "held");
  ASSERT_EQ(Skipped.size(), 2u);
  EXPECT_EQ(Skipped[0].Reason, srKeptVersion);
  EXPECT_EQ(Skipped[1].Reason, srBusy);
  // Every question and answer is logged.
  EXPECT_EQ(Host.Logged("answer: "), (std::vector<std::string>{"answer: No", "answer: Retry", "answer: Ignore"}));

  // A file that becomes free: Retry writes it, and the same texts never replace without asking.
  Host = ScriptedHost();
  Host.Answers = {idYes, idRetry};
  Host.OnPump = nullptr;
  System.Busy.clear();
  LoadModel(StandardScript());
  Run();
  EXPECT_TRUE(Succeeded) << Host.LastMessage();
  EXPECT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Read(Install + "\\bin\\big.dat"), Data[10]);
  EXPECT_EQ(Read(Install + "\\data\\small.txt"), Data[11]);
  EXPECT_EQ(Host.Logged("replaced: ").size(), 2u);
}

TEST_F(Worker, AbortAtTheBusyQuestionEndsTheRunWithTheCabinetError) {
  MakeCabinets();
  Write(Install + "\\data\\small.txt", "held");
  System.Busy.insert(Install + "\\data\\small.txt");
  Host.Answers = {idAbort};
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_EQ(Host.LastMessage(), ErrorBox(test::CabinetErrorText(FDIERROR_USER_ABORT)));
  EXPECT_EQ(Read(Install + "\\data\\small.txt"), "held");
  EXPECT_TRUE(Host.Logged("1C ").empty());
}

TEST_F(Worker, TooLittleRoomOnAVolumeThatReceivesFilesIsToldBeforeAnyChange) {
  const std::int64_t Written = 150000 + 3000 + 100;  // FILE 10, 11, 13: the typical selection
  const std::uint64_t Margin = 4 * 1024 * 1024;
  MakeCabinets();
  System.Volumes = {{Root, 1ull << 40}, {Root + "PF\\", Margin + Written - 1}};
  const std::string Shortfall =
      "На диске <" + Root + "PF\\> недостаточно места для установки: нужно 5 МБ, свободно 4 МБ";
  // Unattended: the run ends naming the volume and the room it needs.
  Switches = {"/AUTO=ON"};
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_EQ(Host.Messages, (std::vector<std::string>{ErrorBox(Shortfall)}));
  EXPECT_TRUE(Host.Captions.empty());
  EXPECT_FALSE(Exists(Install));
  // Attended: a question; No stops the run as it is, Yes goes on.
  for (const int Answer : {idNo, idYes}) {
    Host = ScriptedHost();
    Host.Answers = {Answer};
    Switches = {};
    LoadModel(StandardScript());
    Run();
    EXPECT_EQ(Host.Messages.front(), std::string(Msg::ApplicationTitle) + "|" + Shortfall + "\rПродолжить установку?");
    EXPECT_EQ(Host.MessageFlags.front(), mbYesNo | mbIconExclamation | mbDefButton2);
    EXPECT_EQ(Succeeded, Answer == idYes) << Host.LastMessage();
    EXPECT_EQ(Exists(Install), Answer == idYes);
  }
  // The files being replaced give their room back: the same volume holds the upgrade.
  Host = ScriptedHost();
  Switches = {"/AUTO=ON"};
  LoadModel(StandardScript());
  Run();
  EXPECT_TRUE(Succeeded) << Host.LastMessage();
}

TEST(ChangeJournal, ABatchOfValuesIsOnTheDiskOnceBeforeTheFirstIsWritten) {
  CountingRegistry Reg;
  TChangeJournal Journal;
  std::string Bytes;
  std::size_t Settled = 0, Syncs = 0;
  Journal.Store = [&](const std::string& More, bool Durable) {
    Bytes += More;
    if (Durable) Settled = Bytes.size(), ++Syncs;
  };
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey("Software\\Entry", true));
  Reg.WriteString("First", "1");
  Reg.WriteString("Second", "2");
  Reg.Watch = &Journal;
  Reg.Unsettled = [&] { return Bytes.size() != Settled; };
  Reg.WillChange({"First", "New", "Second"});
  for (const char* Name : {"Second", "New", "First", "Second"}) Reg.WriteString(Name, "changed");
  Reg.WriteString("Other", "changed");
  EXPECT_EQ(Syncs, 1u);
  EXPECT_EQ(Reg.UnsettledOverwrites, 0);
  // Each value once, as it was before the batch; one written outside it is told on its own.
  ASSERT_EQ(Journal.Changes.size(), 4u);
  EXPECT_TRUE(Journal.Changes[0].Existed);
  EXPECT_FALSE(Journal.Changes[1].Existed);
  EXPECT_EQ(RegistryStringText(Journal.Changes[2].Data), "2");
}

TEST(PreChecks, RoomNeededPerVolume) {
  constexpr std::int64_t MB = 1024 * 1024;
  struct Case {
    std::int64_t Written, Replaced;
    std::uint64_t Needed;
  };
  // The growth, and a margin of 5% of what is written, at least 4 MB.
  for (const Case& C : {Case{0, 0, 4 * MB}, Case{MB, 0, 5 * MB}, Case{200 * MB, 0, 210 * MB},
                        Case{200 * MB, 150 * MB, 60 * MB}, Case{10 * MB, 50 * MB, 4 * MB}}) {
    const TVolumeUse Use{0, C.Written, C.Replaced};
    EXPECT_EQ(SpaceNeeded(Use), C.Needed) << C.Written << " " << C.Replaced;
    EXPECT_EQ(SpaceShortfall("D:\\", TVolumeUse{C.Needed, C.Written, C.Replaced}), "");
    EXPECT_EQ(SpaceShortfall("D:\\", TVolumeUse{C.Needed - 1, C.Written, C.Replaced}),
              "На диске <D:\\> недостаточно места для установки: нужно " + std::to_string(C.Needed / MB) +
                  " МБ, свободно " + std::to_string((C.Needed - 1) / MB) + " МБ");
  }
}

TEST_F(Worker, AnUninstallerAtWorkOnTheEarlierInstallationIsWaitedForOrStopsTheRun) {
  InstallOnce();
  Uninstallers.clear();
  System.Programs.clear();
  System.Removing = {Install + "\\uninst.lst"};
  const std::string Text = "Работает программа удаления предыдущей установки <" + Install + "\\UnInstall.exe>";
  // Unattended: the run ends before anything starts; the product is not removed under it.
  Host = ScriptedHost();
  Switches = {"/AUTO=ON"};
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_EQ(Host.Messages, (std::vector<std::string>{ErrorBox(Text)}));
  EXPECT_TRUE(Host.Captions.empty());
  EXPECT_TRUE(Uninstallers.empty());
  EXPECT_TRUE(System.Programs.empty());
  // Attended: asked to wait or stop. Stopping changes nothing; waiting until it has finished
  // goes on.
  for (const int Answer : {idCancel, idRetry}) {
    Host = ScriptedHost();
    Host.Answers = {Answer};
    Switches = {};
    System.RemoverLooksLeft = 1;
    LoadModel(StandardScript());
    Run();
    EXPECT_EQ(Host.Messages.front(),
              std::string(Msg::ApplicationTitle) + "|" + Text + ".\rДождитесь ее завершения и нажмите \"Повтор\".");
    EXPECT_EQ(Host.MessageFlags.front(), mbRetryCancel | mbIconExclamation);
    EXPECT_EQ(Succeeded, Answer == idRetry) << Host.LastMessage();
    EXPECT_EQ(Uninstallers.size(), Answer == idRetry ? 1u : 0u);
    EXPECT_EQ(Host.Captions.empty(), Answer == idCancel);
  }
}

TEST(PreChecks, CabinetHeadersAndTheirPlaceInTheChain) {
  test::TTempDir Temp{"prechecks"};
  TCabinetWriterOptions Options;
  Options.OutputPattern = Temp.Path().string() + "/setup%d.cab";
  Options.MaxCabinetSize = 20000;
  Options.Compression = ccNone;
  Options.SetId = 7;
  TCabinetWriter Writer(Options);
  TCabinetEntry Entry;
  Entry.Name = "10";
  const std::string Bytes = Content(1, 50000);
  std::istringstream Source(Bytes);
  Writer.AddFile(Entry, Source, Bytes.size());
  const auto Paths = Writer.Finish();
  ASSERT_GE(Paths.size(), 3u);
  std::vector<TCabinetHeader> Headers(Paths.size());
  for (std::size_t I = 0; I < Paths.size(); ++I) {
    const std::string Cabinet = Read(Paths[I]);
    ASSERT_TRUE(ReadCabinetHeader(Cabinet, Headers[I])) << Paths[I];
    EXPECT_EQ(Headers[I].SetId, 7);
    EXPECT_EQ(Headers[I].Number, static_cast<int>(I));
    EXPECT_EQ(Headers[I].Previous, I ? "setup" + std::to_string(I) + ".cab" : "");
    EXPECT_EQ(Headers[I].Next, I + 1 < Paths.size() ? "setup" + std::to_string(I + 2) + ".cab" : "");
    // A header cut short, or not a cabinet's, is unreadable.
    TCabinetHeader Ignored;
    EXPECT_FALSE(ReadCabinetHeader(std::string_view(Cabinet).substr(0, 40), Ignored));
    EXPECT_FALSE(ReadCabinetHeader("MSCX" + Cabinet.substr(4), Ignored));
  }
  TCabinetHeader Other = Headers[1], Skipped = Headers[2];
  Other.SetId = 8;
  struct Case {
    const char* Name;
    const TCabinetHeader* Header;
    TCabinetVerdict Verdict;
  };
  TCabinetChain Chain;
  ASSERT_EQ(Chain.Check("setup1.cab", Headers[0]), cvGood);
  Chain.Accept("setup1.cab", Headers[0]);
  for (const Case& C : {Case{"setup2.cab", &Other, cvOtherSet}, Case{"setup2.cab", &Skipped, cvOutOfOrder},
                        Case{"SETUP2.CAB", &Headers[1], cvGood}})
    EXPECT_EQ(Chain.Check(C.Name, *C.Header), C.Verdict) << C.Name << " " << C.Header->Number;
  Chain.Accept("setup2.cab", Headers[1]);
  EXPECT_EQ(Chain.Check("setup3.cab", Headers[2]), cvGood);
  EXPECT_EQ(Chain.Refusal(cvOutOfOrder, "setup3.cab", "D:\\", Headers[1]),
            "CAB-файл <setup3.cab> не является следующим CAB-файлом этого набора (набор 7, номер 1; ожидался набор 7, "
            "номер 2)");
  EXPECT_EQ(Chain.Refusal(cvDigestMismatch, "setup3.cab", "D:\\DISK3", Headers[2]),
            "CAB-файл <setup3.cab> в каталоге <D:\\DISK3\\> поврежден или относится к другому набору");
}

TEST(CabinetWalk, FollowsContinuationsAndRefusesWhatDoesNotBelong) {
  TCabinetWalk Walk;
  Walk.BeginCabinet("setup1.cab");
  Walk.CabinetInfo(5, 0);
  Walk.ContinuationRequested("setup2.cab");
  Walk.CabinetInfo(5, 1);  // continued into
  Walk.ContinuationRequested("setup3.cab");
  Walk.CabinetInfo(5, 2);  // a file over the whole of setup2.cab
  Walk.BeginCabinet("SETUP3.CAB");
  EXPECT_NO_THROW(Walk.CabinetInfo(5, 2));  // the cabinet last continued into
  Walk.BeginCabinet("setup4.cab");
  EXPECT_NO_THROW(Walk.CabinetInfo(5, 3));
  EXPECT_THROW(Walk.BeginCabinet("Setup2.cab"), Exception);
  EXPECT_THROW(Walk.ContinuationRequested("setup4.cab"), Exception);

  TCabinetWalk Skipping;
  Skipping.BeginCabinet("setup1.cab");
  Skipping.CabinetInfo(5, 0);
  Skipping.BeginCabinet("setup3.cab");
  EXPECT_THROW(Skipping.CabinetInfo(5, 2), Exception);  // a disk left out
  TCabinetWalk Again;
  Again.BeginCabinet("setup1.cab");
  Again.CabinetInfo(5, 0);
  Again.BeginCabinet("setup2.cab");
  EXPECT_THROW(Again.CabinetInfo(5, 0), Exception);  // the same number once more
  TCabinetWalk Foreign;
  Foreign.BeginCabinet("setup1.cab");
  Foreign.CabinetInfo(5, 0);
  Foreign.ContinuationRequested("setup2.cab");
  EXPECT_THROW(Foreign.CabinetInfo(6, 1), Exception);
}

TEST(WorkerDecisions, TheEntrysPictureIsTheFirstPlacedProgramWithAShortcut) {
  TInstallInfo Info;
  for (const auto State : {gsSelected, gsNotSelected}) {
    Info.Groups.push_back(std::make_unique<TGroupInfo>());
    Info.Groups.back()->State = State;
  }
  auto Add = [&](const char* Path, int Group, bool Shortcut, bool Temporary) {
    Info.Files.push_back(std::make_unique<TFileInfo>());
    auto& F = *Info.Files.back();
    F.FullPath = Path, F.Group = Info.Groups[Group].get(), F.MakeShortcut = Shortcut, F.DeleteAfter = Temporary;
    F.Size = 1000;
  };
  Add("C:\\P\\other.exe", 1, true, false);  // not selected
  Add("C:\\P\\setup.exe", 0, true, true);   // deleted at the end
  Add("C:\\P\\readme.txt", 0, true, false);
  Add("C:\\P\\Demo.EXE", 0, true, false);
  Add("C:\\P\\tool.exe", 0, true, false);
  TUnInstall UnInstall;
  UnInstall.ListFileName = "C:\\P\\uninst.lst";
  DescribeInstallation(Info, UnInstall);
  EXPECT_EQ(UnInstall.DisplayIcon, "C:\\P\\Demo.EXE");
  EXPECT_EQ(UnInstall.EstimatedSize, 3u);  // 3000 bytes
  EXPECT_EQ(TodayText().size(), 8u);
}

TEST(WorkerDecisions, PartFilesAttributesAndCommandLists) {
  TFileInfo File;
  File.ItemNo = 12;
  File.FullPath = "C:\\Prog\\bin\\svc.exe";
  EXPECT_EQ(PartFileName(File, 0), "C:\\Prog\\bin\\~setup12.tmp");
  EXPECT_EQ(PartFileName(File, 2), "C:\\Prog\\bin\\~setup12-2.tmp");
  EXPECT_EQ(InstalledAttributes(0x01), 0x01u);
  EXPECT_EQ(InstalledAttributes(0x27), 0x27u);
  EXPECT_EQ(InstalledAttributes(0x1F0 | 0x01), 0x21u);  // directory, executable, name and other bits dropped
  EXPECT_EQ(InstalledAttributes(0x10), 0x80u);           // nothing left: a normal file
  EXPECT_EQ(CommandList("%file% i -s -a|%file% sta", File.FullPath),
            (std::vector<std::string>{"C:\\Prog\\bin\\svc.exe i -s -a", "C:\\Prog\\bin\\svc.exe sta"}));
  EXPECT_EQ(CommandList("|net stop x||%FILE%|", File.FullPath), (std::vector<std::string>{"net stop x", "%FILE%"}));
  EXPECT_TRUE(CommandList("", File.FullPath).empty());
  // The version question is asked only when both sides have a version and the texts differ.
  File.CheckVersion = true;
  File.Version = "1.0";
  EXPECT_EQ(VersionQuestion(File, false, "2.0"), "");
  EXPECT_EQ(VersionQuestion(File, true, ""), "");
  EXPECT_EQ(VersionQuestion(File, true, "1.0"), "");
  EXPECT_NE(VersionQuestion(File, true, "1.0.0"), "");
  File.CheckVersion = false;
  EXPECT_EQ(VersionQuestion(File, true, "2.0"), "");
}
