// The worker end to end under Wine: real files, registry, cabinets and processes, with a
// scripted host in place of the wizard.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <sstream>

#include "Fixtures.h"
#include "cabinet/writer/CabinetWriter.h"
#include "engine/untThrd.h"
#include "model/Discovery.h"
#include "shared/ExpectedTexts.h"
#include "shared/ScriptedHost.h"
#include "system/Encoding.h"
#include "system/Files.h"
#include "system/Paths.h"
#include "system/RegistryWin.h"
#include "system/Sha256.h"
#include "system/SystemWin.h"
#include "system/Text.h"
#include "system/WideWin.h"
#include "uninstaller/UninstallerRun.h"

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

// Removes a tree even where installed files came out read-only.
void RemoveTree(const std::string& Folder) {
  std::error_code Ignored;
  for (fs::recursive_directory_iterator It(PathFromUtf8(Folder), Ignored), End; !Ignored && It != End; It.increment(Ignored))
    SetFileAttributesW(It->path().c_str(), FILE_ATTRIBUTE_NORMAL);
  fs::remove_all(PathFromUtf8(Folder), Ignored);
}

class Worker : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = GetTempDir() + "worker-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
    RemoveTree(Root);
    MakeDirs(Root + "Media\\DISK1");
    Clean();
  }
  void TearDown() override {
    Clean();
    RemoveTree(Root);
  }
  void Clean() {
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    Reg.DeleteKey(std::string(cUninstallKey) + "\\Тестовый продукт");
    Reg.DeleteKey("\\SOFTWARE\\Borland\\Database Engine");
    Reg.SetRootKey(RegistryRoot::CurrentUser);
    Reg.DeleteKey("\\Software\\1C\\1Cv7\\7.7\\Titles");
  }

  // Files 10 (large, spans cabinets), 11, 12 (in an unselected group), 13 (temporary).
  void MakeCabinets(std::uint64_t MaxSize = 60000, TCabinetCompression Compression = ccNone) {
    TCabinetWriterOptions Options;
    Options.OutputPattern = Root + (MaxSize ? "Media\\setup%d.cab" : "Media\\DISK1\\setup1.cab");
    Options.MaxCabinetSize = MaxSize;
    Options.Compression = Compression;
    Options.DiskFolders = MaxSize != 0;
    TCabinetWriter Writer(Options);
    for (const auto& [Number, Bytes] : Data) {
      TCabinetEntry Entry;
      Entry.Name = std::to_string(Number);
      Entry.Date = static_cast<std::uint16_t>(((2024 - 1980) << 9) | (5 << 5) | 17);  // 2024-05-17
      Entry.Time = static_cast<std::uint16_t>((13 << 11) | (45 << 5) | (30 / 2));      // 13:45:30
      Entry.Attributes = Number == 11 ? 0x21 : 0x20;
      std::istringstream Source(Bytes);
      Writer.AddFile(Entry, Source, Bytes.size());
    }
    Cabinets = Writer.Finish();
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
    Info->ApplyStartupDefaults({});
    Info->ApplyInstallType(false, true, false, false);  // typical: group 3 is left out
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
           "FILE = 10 1 0 0 0 1 0 0 0 " + std::to_string(Data[10].size()) + " 0 1  0 0 1 0\r\n"
           "FILEPATH = \\bin\\big.dat\r\n"
           "FILESHORTCUT = Большой\r\n"
           "FILESHORTCUTPARAMS = /x\r\n"
           "FILERUNPARAMSUNINSTALL = %file% /u\r\n"
           "FILE = 11 1 0 0 0 0 0 0 0 " + std::to_string(Data[11].size()) + " 0 0  1 0 0 0\r\n"
           "FILEPATH = \\data\\small.txt\r\n"
           "FILERUNPARAMS = \"" + FixturePath(FIXTURE_RECORDER) + "\" after \"%file%\"||\r\n"
           "FILE = 13 1 0 0 1 0 0 0 0 " + std::to_string(Data[13].size()) + " 0 0  0 0 0 0\r\n"
           "FILEPATH = \\temp.tmp\r\n"
           "GROUP = 3 0 0 0 0 5\r\n"
           "FILE = 12 3 0 0 0 0 0 0 0 " + std::to_string(Data[12].size()) + " 0 0  0 0 0 0\r\n"
           "FILEPATH = \\engine.dll\r\n"
           "EXEPATH = \"" + FixturePath(FIXTURE_RECORDER) + "\" first\r\n";
  }

  void Run() {
    TExecutor Executor(*Info, Host, Reg, Library);
    Executor.Arguments = Arguments;
    Executor.CabinetDigests = Digests;
    if (CancelAtPump >= 0)
      Host.OnPump = [&] {
        if (Host.Pumps == CancelAtPump) Executor.Cancelled = true;
      };
    if (CancelInsideExtraction > 0)
      Host.OnPump = [&, Seen = 0]() mutable {
        if (!Host.Captions.empty() && Host.Captions.back() == Msg::Extracting &&
            ++Seen == CancelInsideExtraction)
          Executor.Cancelled = true;
      };
    if (CancelAfterReplace)
      Host.OnPump = [&] {
        if (!Host.Logged("replaced: ").empty()) Executor.Cancelled = true;
      };
    if (CancelDuringCommand)
      Host.OnPump = [&] {
        if (!Host.Captions.empty() && Host.Captions.back() == Msg::RunningPrograms && Host.Pumps == 2)
          Executor.Cancelled = true;  // the pump right after the first command
      };
    Executor.Execute();
    Succeeded = Executor.Succeeded;
    Skipped = Executor.SkippedFiles;
  }

  // The files outside the media with their attributes, and the registry the run writes to.
  std::map<std::string, std::string> Machine() {
    std::map<std::string, std::string> State;
    std::error_code Ignored;
    for (fs::recursive_directory_iterator It(PathFromUtf8(Root), Ignored), End; !Ignored && It != End;
         It.increment(Ignored)) {
      const std::string Name = FromWide(It->path().wstring());
      if (Name.find("Media") != std::string::npos) continue;
      const DWORD Attributes = GetFileAttributesW(It->path().c_str());
      State[Name] = std::to_string(Attributes) + ":" +
                    (It->is_directory() ? std::string() : LoadBytesFromFile(FromWide(It->path().wstring())));
    }
    auto Values = [&](RegistryRoot Root, const std::string& Key, const std::string& Prefix) {
      Reg.SetRootKey(Root);
      if (!Reg.OpenKey(Key, false)) return;
      State[Key] = "<key>";
      for (const auto& Name : Reg.GetValueNames()) {
        if (Name.rfind(Prefix, 0) != 0) continue;
        std::uint32_t Type = 0;
        std::vector<std::uint8_t> Data;
        Reg.ReadRaw(Name, Type, Data);
        State[Key + "\\" + Name] = std::to_string(Type) + ":" + std::string(Data.begin(), Data.end());
      }
      Reg.CloseKey();
    };
    Values(RegistryRoot::LocalMachine, std::string(cUninstallKey) + "\\Тестовый продукт", "");
    Values(RegistryRoot::LocalMachine, cSharedDllsKey, Root);
    Values(RegistryRoot::LocalMachine, "\\SOFTWARE\\Borland\\Database Engine", "");
    Values(RegistryRoot::CurrentUser, "\\Software\\1C\\1Cv7\\7.7\\Titles", Root);
    return State;
  }

  std::string Root;
  std::map<int, std::string> Data = {{10, Content(10, 150000)}, {11, Content(11, 3000)},
                                     {12, Content(12, 2000)},   {13, Content(13, 100)}};
  std::vector<std::string> Cabinets;
  RegistryWin Reg;
  std::unique_ptr<TInstallInfo> Info;
  ScriptedHost Host;
  TCabinetLibraryFunctions Library = LinkedCabinetLibrary();
  std::vector<std::string> Arguments;
  TCabinetDigests Digests;
  int CancelAtPump = -1;
  int CancelInsideExtraction = 0;  // the n-th pump after the extraction caption
  bool CancelDuringCommand = false;
  bool CancelAfterReplace = false;  // at the first pump after a file was replaced
  bool Succeeded = false;
  std::vector<TSkippedFile> Skipped;
};

std::string InstallDir(const std::string& Root) { return Root + "PF\\Тест"; }

int CountFiles(const std::string& Folder) {
  int Count = 0;
  std::error_code Ignored;
  for (fs::directory_iterator It(PathFromUtf8(Folder), Ignored), End; !Ignored && It != End; It.increment(Ignored))
    ++Count;
  return Count;
}

}  // namespace

// Products are usually packed with LZX:21; its folder runs on across the disks.
TEST_F(Worker, InstallsAnLzxPackedSpannedSet) {
  MakeCabinets(60000, ccLzx);
  ASSERT_GE(Cabinets.size(), 2u);
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(cSharedDllsKey, true));
  Reg.CloseKey();
  LoadModel(StandardScript());
  Run();
  ASSERT_TRUE(Succeeded) << (Host.Messages.empty() ? "" : Host.Messages.back());
  EXPECT_TRUE(Host.DiskPrompts.empty());
  const std::string Install = InstallDir(Root);
  EXPECT_EQ(LoadBytesFromFile(Install + "\\bin\\big.dat"), Data[10]);
  EXPECT_EQ(LoadBytesFromFile(Install + "\\data\\small.txt"), Data[11]);
}

TEST_F(Worker, InstallsASpannedSetFromSiblingDiskFolders) {
  MakeCabinets();
  ASSERT_GE(Cabinets.size(), 3u);
  const std::string Log = Root + "recorder.log";
  SetEnvironmentVariableW(L"SETUP_FIXTURE_LOG", ToWide(Log).c_str());
  // Windows keeps this key; a fresh Wine prefix may not have it yet.
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(cSharedDllsKey, true));
  Reg.CloseKey();
  LoadModel(StandardScript());
  Run();
  SetEnvironmentVariableW(L"SETUP_FIXTURE_LOG", nullptr);
  ASSERT_TRUE(Succeeded) << (Host.Messages.empty() ? "" : Host.Messages.back());
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_TRUE(Host.DiskPrompts.empty());  // DISK2, DISK3 found beside DISK1

  const std::string Install = InstallDir(Root);
  EXPECT_EQ(LoadBytesFromFile(Install + "\\bin\\big.dat"), Data[10]);
  EXPECT_EQ(LoadBytesFromFile(Install + "\\data\\small.txt"), Data[11]);
  // The database engine's group is not selected: its folder is neither made nor recorded.
  EXPECT_FALSE(DirectoryExists(Root + "BDE"));
  EXPECT_FALSE(FileExists(Install + "\\temp.tmp"));     // temporary: deleted at the end
  // Nothing but the installed files is left beside them.
  EXPECT_EQ(CountFiles(Install + "\\bin"), 1);
  EXPECT_EQ(CountFiles(Install + "\\data"), 1);
  // Time stamps as stored (no time-zone shift) and the cabinet's attributes.
  WIN32_FILE_ATTRIBUTE_DATA Attributes;
  ASSERT_TRUE(GetFileAttributesExW(ToWide(Install + "\\data\\small.txt").c_str(), GetFileExInfoStandard, &Attributes));
  SYSTEMTIME Stamp;
  FileTimeToSystemTime(&Attributes.ftLastWriteTime, &Stamp);
  EXPECT_EQ(Stamp.wYear, 2024);
  EXPECT_EQ(Stamp.wMonth, 5);
  EXPECT_EQ(Stamp.wDay, 17);
  EXPECT_EQ(Stamp.wHour, 13);
  EXPECT_EQ(Stamp.wMinute, 45);
  EXPECT_EQ(Stamp.wSecond, 30);
  EXPECT_TRUE(Attributes.dwFileAttributes & FILE_ATTRIBUTE_READONLY);

  // Progress: every FILE record counts, the bar ends full.
  std::int64_t Total = 0;
  for (const auto& [Number, Bytes] : Data) Total += static_cast<std::int64_t>(Bytes.size());
  EXPECT_EQ(Host.Maximum, Total);
  EXPECT_EQ(Host.Position, Total);
  EXPECT_EQ(Host.Captions,
            (std::vector<std::string>{Msg::RunningPrograms, Msg::RemovingPrevious,
                                      Msg::CreatingDirectories, Msg::CreatingUninstall,
                                      Msg::Extracting, Msg::RegisteringServers,
                                      Msg::Registering1C, Msg::CreatingShortcuts,
                                      Msg::DeletingTemporary}));
  EXPECT_EQ(Host.Repaints.front(), std::string(Msg::Extracting) + "\r" + Install + "\\bin\\big.dat");

  // The uninstall list names what was about to be installed, in the ANSI code page.
  const std::string Group = Root + "Programs\\Тестовая группа";
  const std::string List = Cp1251ToUtf8(LoadBytesFromFile(Install + "\\uninst.lst"));
  EXPECT_EQ(List, "VersionFile=1\r\nCount=9\r\n"
                  "ItemType0=File\r\nFileName0=" + Install + "\\bin\\big.dat\r\nSharedFile0=1\r\nUnRegister0=0\r\nRunParams0=%file% /u\r\n"
                  "ItemType1=File\r\nFileName1=" + Group + "\\Большой.lnk\r\nSharedFile1=1\r\nUnRegister1=0\r\n"
                  "ItemType2=File\r\nFileName2=" + Install + "\\data\\small.txt\r\nSharedFile2=0\r\nUnRegister2=0\r\n"
                  "ItemType3=File\r\nFileName3=" + Install + "\\temp.tmp\r\nSharedFile3=0\r\nUnRegister3=0\r\n"
                  "ItemType4=Dir\r\nDirName4=" + Install + "\\data\r\nUnInstallWhole4=1\r\n"
                  "ItemType5=File\r\nFileName5=" + Group + "\\Данные.lnk\r\nSharedFile5=0\r\nUnRegister5=0\r\n"
                  "ItemType6=Dir\r\nDirName6=" + Install + "\\bin\r\nUnInstallWhole6=0\r\n"
                  "ItemType7=Dir\r\nDirName7=" + Install + "\r\nUnInstallWhole7=0\r\n"
                  "ItemType8=Dir\r\nDirName8=" + Group + "\r\nUnInstallWhole8=0\r\n"
                  "ProductName=Тестовый продукт\r\n");
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(std::string(cUninstallKey) + "\\Тестовый продукт", false));
  EXPECT_EQ(Reg.ReadString("UnInstallString"), "\"" + Install + "\\UnInstall.exe\" \"" + Install + "\\uninst.lst\"");
  EXPECT_EQ(Reg.ReadString("InstallLocation"), Install);
  // The shared file was not on disk before: its counter starts at one (and its shortcut's too).
  ASSERT_TRUE(Reg.OpenKey(cSharedDllsKey, false));
  EXPECT_EQ(Reg.ReadInteger(Install + "\\bin\\big.dat"), 1);
  Reg.DeleteValue(Install + "\\bin\\big.dat");
  Reg.DeleteValue(Group + "\\Большой.lnk");
  // 1C title, shortcuts, the database engine path (group 3 is not selected: nothing written).
  const auto Titles = Read1CTitles(Reg);
  ASSERT_EQ(Titles.size(), 1u);
  EXPECT_EQ(Titles[0].Directory, Install + "\\data");
  EXPECT_EQ(Titles[0].Title, "Тестовая база");
  EXPECT_TRUE(FileExists(Group + "\\Большой.lnk"));
  EXPECT_TRUE(FileExists(Group + "\\Данные.lnk"));
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  EXPECT_FALSE(Reg.KeyExists("\\SOFTWARE\\Borland\\Database Engine"));
  // The EXEPATH command ran first, the run-after command with the installed path.
  const std::string Recorded = LoadBytesFromFile(Log);
  const auto First = Recorded.find("first"), After = Recorded.find("after");
  ASSERT_NE(First, std::string::npos) << Recorded;
  ASSERT_NE(After, std::string::npos) << Recorded;
  EXPECT_LT(First, After);
  EXPECT_NE(Recorded.find(Install + "\\data\\small.txt"), std::string::npos) << Recorded;
}

TEST_F(Worker, MissingDiskIsAskedForAndGivingUpAbortsSilently) {
  MakeCabinets();
  // Move the second disk away: the prompt is shown, a wrong folder asks again, the right one goes on.
  fs::rename(PathFromUtf8(Root + "Media\\DISK2"), PathFromUtf8(Root + "Elsewhere"));
  Host.DiskAnswers = {Root + "Nowhere\\", Root + "Elsewhere\\", Root + "Media\\DISK3\\"};
  LoadModel(StandardScript());
  Run();
  // Asked for setup2.cab twice (the first answer was wrong), then for setup3.cab, which is no
  // longer beside the folder the user pointed to.
  EXPECT_EQ(Host.DiskPrompts.size(), 3u);
  EXPECT_TRUE(Succeeded) << (Host.Messages.empty() ? "" : Host.Messages.back());
  EXPECT_EQ(LoadBytesFromFile(InstallDir(Root) + "\\bin\\big.dat"), Data[10]);

  // Now nothing answers: the user gives up (Yes to the exit question).
  Host = ScriptedHost();
  Host.Answers = {idYes};
  RemoveTree(Root + "PF");
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  ASSERT_EQ(Host.Messages.size(), 2u);
  EXPECT_EQ(Host.Messages[0], std::string(Msg::ExitCaption) + "|" + Msg::GiveUpQuestion);
  EXPECT_EQ(Host.MessageFlags[0], mbYesNo | mbIconQuestion | mbDefButton2);
  // Given up inside a continuation: the library is told to abort (code 11).
  EXPECT_EQ(Host.Messages[1], std::string(Msg::ApplicationTitle) + "|" + Msg::ErrorPrefix +
                                  "Процедура работы с CAB-файлом прервана!");
  // The file being continued is not left half-written.
  EXPECT_FALSE(FileExists(InstallDir(Root) + "\\bin\\big.dat"));
}

TEST_F(Worker, UnattendedRunKeepsOtherVersionsAndSkipsBusyFilesWithoutAQuestion) {
  MakeCabinets();
  // An existing versioned file at the target of file 10, a different version in the script.
  std::string Script = StandardScript();
  const std::string Old = "FILE = 10 1 0 0 0 1 0 0 0 " + std::to_string(Data[10].size()) + " 0 1  0 0 1 0";
  const std::string New = "FILE = 10 1 0 0 0 1 0 0 0 " + std::to_string(Data[10].size()) + " 1 1 1.2.3.4 0 0 1 0";
  Script.replace(Script.find(Old), Old.size(), New);
  const std::string Install = InstallDir(Root);
  MakeDirs(Install + "\\bin");
  ASSERT_TRUE(CopyFileW(ToWide(FixturePath(FIXTURE_VERSIONED_SERVER)).c_str(), ToWide(Install + "\\bin\\big.dat").c_str(), FALSE));
  // File 11 is held open by another program; unattended, it is skipped without a question, and
  // the file of another version is kept: nobody is there to weigh the versions.
  MakeDirs(Install + "\\data");
  const std::string Busy = Install + "\\data\\small.txt";
  std::wstring Command = L"\"" + ToWide(FixturePath(FIXTURE_LOCKER)) + L"\" \"" + ToWide(Busy) + L"\" worker-lock";
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process{};
  ASSERT_TRUE(CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process));
  HANDLE Ready = CreateEventW(nullptr, TRUE, FALSE, L"worker-lock.ready");
  HANDLE Stop = CreateEventW(nullptr, TRUE, FALSE, L"worker-lock");
  ASSERT_EQ(WaitForSingleObject(Ready, 20000), WAIT_OBJECT_0);
  Arguments = {"/auto=on"};
  LoadModel(Script);
  Run();
  SetEvent(Stop);
  WaitForSingleObject(Process.hProcess, 20000);
  CloseHandle(Process.hProcess);
  CloseHandle(Process.hThread);
  CloseHandle(Ready);
  CloseHandle(Stop);

  EXPECT_TRUE(Succeeded) << (Host.Messages.empty() ? "" : Host.Messages.back());
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(LoadBytesFromFile(Install + "\\bin\\big.dat"),
            LoadBytesFromFile(FixturePath(FIXTURE_VERSIONED_SERVER)));  // kept
  EXPECT_EQ(LoadBytesFromFile(Busy), "");  // the locker's empty file stayed
  ASSERT_EQ(Skipped.size(), 2u);
  EXPECT_EQ(Skipped[0].Path, Install + "\\bin\\big.dat");
  EXPECT_EQ(Skipped[0].Reason, srKeptVersion);
  EXPECT_EQ(Skipped[1].Path, Busy);
  EXPECT_EQ(Skipped[1].Reason, srBusy);
  EXPECT_EQ(Host.Logged("kept (version 4.8.10.0): ").size(), 1u);
  std::int64_t Total = 0;
  for (const auto& [Number, Bytes] : Data) Total += static_cast<std::int64_t>(Bytes.size());
  EXPECT_EQ(Host.Position, Total);  // skipped files still count
}

TEST_F(Worker, CancelDuringAnExternalProgramLeavesTheEarlierInstallationIntact) {
  // The earlier installation, with an uninstaller that records being started.
  MakeCabinets();
  LoadModel(StandardScript());
  Run();
  ASSERT_TRUE(Succeeded) << Host.LastMessage();
  const std::string Install = InstallDir(Root);
  ASSERT_TRUE(CopyFileW(ToWide(FixturePath(FIXTURE_RECORDER)).c_str(), ToWide(Install + "\\UnInstall.exe").c_str(), FALSE));
  const std::string Log = Root + "recorder.log";
  SetEnvironmentVariableW(L"SETUP_FIXTURE_LOG", ToWide(Log).c_str());
  auto Registration = [&] {
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    std::string Values;
    if (Reg.OpenKey(std::string(cUninstallKey) + "\\Тестовый продукт", false)) {
      for (const auto& Name : Reg.GetValueNames()) {
        std::uint32_t Type = 0;
        std::vector<std::uint8_t> Data;
        Reg.ReadRaw(Name, Type, Data);
        Values += Name + "=" + std::to_string(Type) + ":" + std::string(Data.begin(), Data.end()) + "\n";
      }
      Reg.CloseKey();
    }
    if (Reg.OpenKey(cSharedDllsKey, false)) {
      for (const auto& Name : Reg.GetValueNames()) Values += Name + "=" + std::to_string(Reg.ReadInteger(Name)) + "\n";
      Reg.CloseKey();
    }
    return Values;
  };
  const std::string Before = Registration();
  const std::string List = LoadBytesFromFile(Install + "\\uninst.lst");
  SaveBytesToFile(Install + "\\bin\\big.dat", "the earlier version");

  Host = ScriptedHost();
  CancelDuringCommand = true;
  LoadModel(StandardScript());
  Run();
  SetEnvironmentVariableW(L"SETUP_FIXTURE_LOG", nullptr);
  EXPECT_FALSE(Succeeded);
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(Host.Captions, (std::vector<std::string>{Msg::RunningPrograms}));
  // The command ran; nothing after it: no uninstaller, no registry change, no file touched.
  const std::string Recorded = LoadBytesFromFile(Log);
  EXPECT_NE(Recorded.find("first"), std::string::npos) << Recorded;
  EXPECT_EQ(Recorded.find("/silence"), std::string::npos) << Recorded;
  EXPECT_EQ(Registration(), Before);
  EXPECT_EQ(LoadBytesFromFile(Install + "\\uninst.lst"), List);
  EXPECT_EQ(LoadBytesFromFile(Install + "\\bin\\big.dat"), "the earlier version");
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  if (Reg.OpenKey(cSharedDllsKey, false)) {
    Reg.DeleteValue(Install + "\\bin\\big.dat");
    Reg.DeleteValue(Root + "Programs\\Тестовая группа\\Большой.lnk");
    Reg.CloseKey();
  }
}

TEST_F(Worker, ACancelDuringExtractionOverAnEarlierInstallationPutsEverythingBack) {
  MakeCabinets();
  LoadModel(StandardScript());
  Run();
  ASSERT_TRUE(Succeeded) << Host.LastMessage();
  const auto Before = Machine();
  ASSERT_EQ(Before.count(InstallDir(Root) + "\\data\\small.txt"), 1u);
  // A later version over it, cancelled once a file has been replaced.
  Data[10] = Content(99, 150000);
  Data[11] = Content(98, 3000);
  MakeCabinets();
  Host = ScriptedHost();
  CancelAfterReplace = true;
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  EXPECT_FALSE(Host.Logged("replaced: ").empty());
  EXPECT_EQ(Host.Logged("undo: " + InstallDir(Root) + "\\bin\\big.dat").size(), 1u);
  EXPECT_TRUE(Host.Logged("undo failed").empty());
  EXPECT_EQ(Machine(), Before);
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  if (Reg.OpenKey(cSharedDllsKey, false)) {
    for (const auto& Name : Reg.GetValueNames())
      if (Name.rfind(Root, 0) == 0) Reg.DeleteValue(Name);
    Reg.CloseKey();
  }
}

TEST_F(Worker, AFailedWriteLeavesTheOlderFileByteForByte) {
  const std::string Target = InstallDir(Root) + "\\data\\small.txt";
  auto Attempt = [&](const std::string& Error) {
    SetFileAttributesW(ToWide(Target).c_str(), FILE_ATTRIBUTE_NORMAL);
    SaveBytesToFile(Target, "the older version");
    SetFileAttributesW(ToWide(Target).c_str(), FILE_ATTRIBUTE_READONLY);
    Host = ScriptedHost();
    LoadModel(StandardScript());
    Run();
    EXPECT_FALSE(Succeeded);
    EXPECT_EQ(Host.LastMessage(), std::string(Msg::ApplicationTitle) + "|" + Msg::ErrorPrefix + Error + "!");
    EXPECT_EQ(LoadBytesFromFile(Target), "the older version");
    EXPECT_EQ(CountFiles(InstallDir(Root) + "\\data"), 1);  // no part file left
  };
  MakeDirs(InstallDir(Root) + "\\data");
  // A damaged data block inside entry 11 (stored, so its bytes can be found).
  MakeCabinets();
  std::string Cabinet;
  std::string Path;
  for (const auto& Name : Cabinets) {
    Cabinet = LoadBytesFromFile(Name);
    if (Cabinet.find(Data[11].substr(0, 64)) != std::string::npos) {
      Path = Name;
      break;
    }
  }
  ASSERT_FALSE(Path.empty());
  Cabinet[Cabinet.find(Data[11].substr(0, 64)) + 1000] ^= 0x5A;
  SaveBytesToFile(Path, Cabinet);
  Attempt(test::CabinetErrorText(FDIERROR_CORRUPT_CABINET));

  // A compression type nobody decodes, in a one-cabinet set: refused before any entry.
  fs::remove_all(PathFromUtf8(Root + "Media"));
  MakeDirs(Root + "Media\\DISK1");
  MakeCabinets(0);
  Cabinet = LoadBytesFromFile(Root + "Media\\DISK1\\setup1.cab");
  ASSERT_EQ(Cabinet.substr(42, 2), std::string("\x00\x00", 2));  // the only folder, stored
  Cabinet[42] = 0x0F;
  SaveBytesToFile(Root + "Media\\DISK1\\setup1.cab", Cabinet);
  Attempt(test::CabinetErrorText(FDIERROR_BAD_COMPR_TYPE));
  EXPECT_TRUE(Host.Repaints.empty());
}

TEST_F(Worker, ACrashingServerEndsOnlyItsOwnRegistration) {
  for (const char* Server : {FIXTURE_CRASHING_SERVER, FIXTURE_CRASHING_DLLMAIN}) {
    SCOPED_TRACE(Server);
    Data[12] = LoadBytesFromFile(FixturePath(Server));
    fs::remove_all(PathFromUtf8(Root + "Media"));
    MakeDirs(Root + "Media\\DISK1");
    MakeCabinets();
    std::string Script = StandardScript();
    const std::string Old = "FILE = 12 3 0 0 0 0 0 0 0 ";
    Script.replace(Script.find(Old), Old.size(), "FILE = 12 3 1 0 0 0 0 0 0 ");
    Host = ScriptedHost();
    LoadModel(Script);
    Info->ApplyInstallType(true, false, false, false);
    Run();
    ASSERT_TRUE(Succeeded) << Host.LastMessage();
    // The registration failed (with the crash's code, or, where the system's loader catches a
    // crash in DllMain, as a library that did not load), and every later stage still ran.
    const auto Registered = Host.Logged("COM server: ");
    ASSERT_EQ(Registered.size(), 1u);
    const std::string Crashed = "COM server: " + Root + "BDE\\engine.dll (status " + std::to_string(0xC0000005u) + ")";
    if (Server == std::string(FIXTURE_CRASHING_SERVER))
      EXPECT_EQ(Registered[0], Crashed);
    else
      EXPECT_TRUE(Registered[0] == Crashed || Registered[0] == "COM server: " + Root + "BDE\\engine.dll (status 1)")
          << Registered[0];
    EXPECT_EQ(Host.Captions.back(), Msg::DeletingTemporary);
    EXPECT_TRUE(FileExists(Root + "Programs\\Тестовая группа\\Большой.lnk"));
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    EXPECT_TRUE(Reg.KeyExists("\\SOFTWARE\\Borland\\Database Engine"));
  }
}

TEST_F(Worker, ASetupFolderOf255CyrillicCharactersWorks) {
  // Spread over components of at most 101 characters, ending in DISK1 so that DISK2 is found
  // beside it; the library meets it only as an alias, also when it asks for the next cabinet.
  std::size_t Left = 255 - Utf8ToUtf16(Root + "DISK1\\").size();
  std::string Long = Root;
  while (Left > 0) {
    const std::size_t Take = Left > 101 ? 100 : Left - 1;
    ASSERT_GT(Take, 0u);
    for (std::size_t I = 0; I < Take; ++I) Long += "Ж";
    Long += "\\";
    Left -= Take + 1;
  }
  ASSERT_EQ(Utf8ToUtf16(Long + "DISK1\\").size(), 255u);
  MakeDirs(Long + "DISK1");
  TCabinetWriterOptions Options;
  Options.OutputPattern = Long + "setup%d.cab";
  Options.MaxCabinetSize = 60000;
  Options.Compression = ccNone;
  Options.DiskFolders = true;
  TCabinetWriter Writer(Options);
  for (const auto& [Number, Bytes] : Data) {
    TCabinetEntry Entry;
    Entry.Name = std::to_string(Number);
    std::istringstream Source(Bytes);
    Writer.AddFile(Entry, Source, Bytes.size());
  }
  ASSERT_GE(Writer.Finish().size(), 3u);
  LoadModel(StandardScript());
  Info->Environment.SetupDir = Long + "DISK1\\";
  Run();
  ASSERT_TRUE(Succeeded) << Host.LastMessage();
  EXPECT_TRUE(Host.DiskPrompts.empty());
  EXPECT_EQ(LoadBytesFromFile(InstallDir(Root) + "\\bin\\big.dat"), Data[10]);  // continued over the disks
  EXPECT_EQ(Host.Logged("cabinet: ").front(), "cabinet: setup1.cab in " + Long + "DISK1\\ (set 0, number 0, next setup2.cab)");
  RemoveTree(Long);
}

TEST_F(Worker, ModelWithoutFilesLooksForNoCabinet) {
  LoadModel("DESCRIPTION = Тестовый продукт\r\nDIRECTORY = \\Пусто\r\nGROUP = 1 0 0 1 1 4\r\nDIR = 2 1 0 0 0 0\r\n"
            "DIRPATH = \\only\r\n");
  Run();
  EXPECT_TRUE(Succeeded);
  EXPECT_TRUE(Host.DiskPrompts.empty());
  EXPECT_EQ(Host.Maximum, 0);
  EXPECT_TRUE(DirectoryExists(Root + "PF\\Пусто\\only"));
}

// What the checks before any change find on the system: the cabinets checked against their
// digests stay readable but cannot be changed, replaced or deleted until the run is done; the
// volume of the installation folder and its room; an uninstaller at work on the list.
TEST_F(Worker, CheckedCabinetsAreHeldAndAnUninstallerAtWorkIsSeen) {
  MakeCabinets();
  ASSERT_GE(Cabinets.size(), 3u);
  for (std::size_t I = 0; I < Cabinets.size(); ++I)
    Digests["SETUP" + std::to_string(I + 1) + ".CAB"] = UpperAscii(Sha256Hex(LoadBytesFromFile(Cabinets[I])));
  const std::string Last = Cabinets.back();
  std::vector<std::string> Refused;
  Host.OnPump = [&] {
    if (Host.Captions.empty() || Host.Captions.back() != Msg::RunningPrograms || !Refused.empty()) return;
    const std::wstring Path = ToWide(Last);
    HANDLE Reader = CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    Refused.push_back(Reader == INVALID_HANDLE_VALUE ? "read" : "");
    if (Reader != INVALID_HANDLE_VALUE) CloseHandle(Reader);
    HANDLE Writer = CreateFileW(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    Refused.push_back(Writer == INVALID_HANDLE_VALUE ? "write" : "");
    if (Writer != INVALID_HANDLE_VALUE) CloseHandle(Writer);
    Refused.push_back(MoveFileExW(Path.c_str(), (Path + L".old").c_str(), MOVEFILE_REPLACE_EXISTING) ? "" : "rename");
    Refused.push_back(DeleteFileW(Path.c_str()) ? "" : "delete");
  };
  LoadModel(StandardScript());
  Run();
  ASSERT_TRUE(Succeeded) << Host.LastMessage();
  EXPECT_EQ(Refused, (std::vector<std::string>{"", "write", "rename", "delete"}));
  // Released when the run is done.
  EXPECT_TRUE(DeleteFileW(ToWide(Last).c_str()));

  auto System = CreateWindowsInstallSystem();
  std::string Volume;
  std::uint64_t Free = 0;
  ULARGE_INTEGER Expected;
  ASSERT_TRUE(GetDiskFreeSpaceExW(ToWide(Root.substr(0, 3)).c_str(), &Expected, nullptr, nullptr));
  ASSERT_TRUE(System->VolumeSpace(Root + "PF\\Новый\\file.txt", Volume, Free));
  EXPECT_EQ(Volume, UpperAscii(Root.substr(0, 3)));
  EXPECT_GT(Free, 0u);
  EXPECT_EQ(System->FileSize(InstallDir(Root) + "\\data\\small.txt"), static_cast<std::int64_t>(Data[11].size()));
  EXPECT_EQ(System->FileSize(InstallDir(Root) + "\\data\\none.txt"), -1);

  // An uninstaller holds the mutex of the installation's list: the unattended run stops before
  // the earlier installation is touched.
  const std::string List = InstallDir(Root) + "\\uninst.lst";
  EXPECT_FALSE(System->UninstallerWorksOn(List));
  HANDLE Mutex = CreateMutexW(nullptr, FALSE, ToWide(RemovalMutexName(List)).c_str());
  ASSERT_TRUE(Mutex);
  EXPECT_TRUE(System->UninstallerWorksOn(List));
  MakeCabinets();
  Host = ScriptedHost();
  Arguments = {"/AUTO=ON"};
  LoadModel(StandardScript());
  Run();
  CloseHandle(Mutex);
  EXPECT_FALSE(Succeeded);
  EXPECT_NE(Host.LastMessage().find("Работает программа удаления предыдущей установки"), std::string::npos)
      << Host.LastMessage();
  EXPECT_TRUE(Host.Captions.empty());
  EXPECT_TRUE(FileExists(List));
}

namespace {

// Another program holds Path open without sharing until the guard is dropped.
class HeldFile {
 public:
  explicit HeldFile(const std::string& Path) {
    std::wstring Command = L"\"" + ToWide(FixturePath(FIXTURE_LOCKER)) + L"\" \"" + ToWide(Path) + L"\" worker-held";
    STARTUPINFOW Startup{};
    Startup.cb = sizeof Startup;
    Ready = CreateEventW(nullptr, TRUE, FALSE, L"worker-held.ready");
    Stop = CreateEventW(nullptr, TRUE, FALSE, L"worker-held");
    ResetEvent(Ready);
    ResetEvent(Stop);
    Started = CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process) &&
              WaitForSingleObject(Ready, 20000) == WAIT_OBJECT_0;
  }
  ~HeldFile() {
    SetEvent(Stop);
    if (Process.hProcess) {
      WaitForSingleObject(Process.hProcess, 20000);
      CloseHandle(Process.hProcess);
      CloseHandle(Process.hThread);
    }
    CloseHandle(Ready);
    CloseHandle(Stop);
  }
  bool Started = false;

 private:
  PROCESS_INFORMATION Process{};
  HANDLE Ready, Stop;
};

}  // namespace

TEST_F(Worker, BusyFileAttendedRetryTwiceThenIgnoreKeepsTheOldFile) {
  MakeCabinets();
  const std::string Busy = InstallDir(Root) + "\\data\\small.txt";
  MakeDirs(InstallDir(Root) + "\\data");
  HeldFile Held(Busy);
  ASSERT_TRUE(Held.Started);
  Host.Answers = {idRetry, idRetry, idIgnore};
  LoadModel(StandardScript());
  Run();
  EXPECT_TRUE(Succeeded) << (Host.Messages.empty() ? "" : Host.Messages.back());
  ASSERT_EQ(Host.Messages.size(), 3u);
  EXPECT_EQ(Host.Messages[0], std::string(Msg::ApplicationTitle) + "|Не удалось установить файл <" + Busy +
                                  ">!\rОн уже существует на Вашем ПК и занят другим процессом.\rЕсли Вы уверены, что "
                                  "данный файл не нуждается в обновлении, то можно продолжить установку.");
  EXPECT_EQ(Host.MessageFlags[0], mbAbortRetryIgnore | mbIconExclamation);
  EXPECT_EQ(std::count(Host.Repaints.begin(), Host.Repaints.end(),
                       std::string(Msg::Extracting) + "\r" + Busy), 3);  // each try repaints
}

TEST_F(Worker, BusyFileAbortEndsTheInstallationWithTheCabinetError) {
  MakeCabinets();
  const std::string Busy = InstallDir(Root) + "\\data\\small.txt";
  MakeDirs(InstallDir(Root) + "\\data");
  HeldFile Held(Busy);
  ASSERT_TRUE(Held.Started);
  Host.Answers = {idAbort};
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  ASSERT_EQ(Host.Messages.size(), 2u);
  EXPECT_EQ(Host.Messages[1], std::string(Msg::ApplicationTitle) + "|" + Msg::ErrorPrefix +
                                  "Процедура работы с CAB-файлом прервана!");
  EXPECT_TRUE(Read1CTitles(Reg).empty());  // no later stage ran
}

TEST_F(Worker, ReadOnlyAndEqualVersionTargetsAreRewrittenWithoutAQuestion) {
  MakeCabinets();
  std::string Script = StandardScript();
  // File 10 checks its version, which equals the existing file's: rewritten silently.
  const std::string Old = "FILE = 10 1 0 0 0 1 0 0 0 " + std::to_string(Data[10].size()) + " 0 1  0 0 1 0";
  const std::string New = "FILE = 10 1 0 0 0 1 0 0 0 " + std::to_string(Data[10].size()) + " 1 1 4.8.10.0 0 0 1 0";
  Script.replace(Script.find(Old), Old.size(), New);
  const std::string Install = InstallDir(Root);
  MakeDirs(Install + "\\bin");
  MakeDirs(Install + "\\data");
  ASSERT_TRUE(CopyFileW(ToWide(FixturePath(FIXTURE_VERSIONED_SERVER)).c_str(), ToWide(Install + "\\bin\\big.dat").c_str(), FALSE));
  SaveBytesToFile(Install + "\\data\\small.txt", "old");
  SetFileAttributesW(ToWide(Install + "\\data\\small.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  LoadModel(Script);
  Run();
  EXPECT_TRUE(Succeeded) << (Host.Messages.empty() ? "" : Host.Messages.back());
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(LoadBytesFromFile(Install + "\\bin\\big.dat"), Data[10]);
  EXPECT_EQ(LoadBytesFromFile(Install + "\\data\\small.txt"), Data[11]);
  // The cabinet's attributes: read-only again, no longer hidden.
  const DWORD Attributes = GetFileAttributesW(ToWide(Install + "\\data\\small.txt").c_str());
  EXPECT_TRUE(Attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(Attributes & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(Worker, InstallsASetMadeByTheSystemCabinetTool) {
  // The same product packed by Wine's cabarc: entries named by the item numbers, spanned.
  const std::string Pack = Root + "Media\\DISK1\\";
  for (const auto& [Number, Bytes] : Data) SaveBytesToFile(Pack + std::to_string(Number), Bytes);
  std::wstring Command = L"cabarc.exe -d 60000 -m mszip n setup*.cab 10 11 12 13";
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process{};
  ASSERT_TRUE(CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                             ToWide(Pack).c_str(), &Startup, &Process));
  WaitForSingleObject(Process.hProcess, 60000);
  CloseHandle(Process.hProcess);
  CloseHandle(Process.hThread);
  ASSERT_TRUE(FileExists(Pack + "setup2.cab"));
  for (const auto& [Number, Bytes] : Data) DeleteFileW(ToWide(Pack + std::to_string(Number)).c_str());
  LoadModel(StandardScript());
  Run();
  ASSERT_TRUE(Succeeded) << (Host.Messages.empty() ? "" : Host.Messages.back());
  EXPECT_EQ(LoadBytesFromFile(InstallDir(Root) + "\\bin\\big.dat"), Data[10]);
  EXPECT_EQ(LoadBytesFromFile(InstallDir(Root) + "\\data\\small.txt"), Data[11]);
  EXPECT_EQ(Host.Position, Host.Maximum);
}

TEST_F(Worker, CancelInsideAContinuationRequestEndsWithTheAbortError) {
  MakeCabinets();
  // Pump 1 follows the caption; pump 2 is inside the library's request for setup2.cab.
  CancelInsideExtraction = 2;
  LoadModel(StandardScript());
  Run();
  EXPECT_FALSE(Succeeded);
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0], std::string(Msg::ApplicationTitle) + "|" + Msg::ErrorPrefix +
                                  "Процедура работы с CAB-файлом прервана!");
  EXPECT_EQ(Host.Captions.back(), Msg::Extracting);  // no later stage
  EXPECT_FALSE(FileExists(InstallDir(Root) + "\\data\\small.txt"));
}

TEST_F(Worker, FullTypeRegistersServersAndRecordsTheEnginePath) {
  // Entry 12 is a real COM server this time, in the database engine's group (kind 5).
  Data[12] = LoadBytesFromFile(FixturePath(FIXTURE_VERSIONED_SERVER));
  MakeCabinets();
  std::string Script = StandardScript();
  const std::string Old = "FILE = 12 3 0 0 0 0 0 0 0 ";
  Script.replace(Script.find(Old), Old.size(), "FILE = 12 3 1 0 0 0 0 0 0 ");
  Reg.SetRootKey(RegistryRoot::CurrentUser);
  Reg.DeleteKey("\\Software\\SetupEngineTests\\Marks");
  LoadModel(Script);
  Info->ApplyInstallType(true, false, false, false);
  Run();
  ASSERT_TRUE(Succeeded) << (Host.Messages.empty() ? "" : Host.Messages.back());
  EXPECT_EQ(LoadBytesFromFile(Root + "BDE\\engine.dll"), Data[12]);
  Reg.SetRootKey(RegistryRoot::CurrentUser);
  ASSERT_TRUE(Reg.OpenKey("\\Software\\SetupEngineTests\\Marks", false));
  EXPECT_NE(Reg.ReadString("VersionedServer"), "");  // DllRegisterServer ran
  Reg.CloseKey();
  Reg.DeleteKey("\\Software\\SetupEngineTests\\Marks");
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey("\\SOFTWARE\\Borland\\Database Engine", false));
  EXPECT_EQ(Reg.ReadString("DLLPATH"), Root + "BDE\\");
  // The list marks the server for unregistering.
  const std::string List = Cp1251ToUtf8(LoadBytesFromFile(InstallDir(Root) + "\\uninst.lst"));
  EXPECT_NE(List.find("FileName4=" + Root + "BDE\\engine.dll\r\nSharedFile4=0\r\nUnRegister4=1\r\n"), std::string::npos)
      << List;
}

TEST_F(Worker, MinimalTypeAndAPartlySelectedGroupInstallTheirFiles) {
  MakeCabinets();
  LoadModel(StandardScript());
  Info->ApplyInstallType(false, false, true, false);
  ASSERT_EQ(Info->Groups[1]->State, 2);  // not in the minimal set
  Info->Groups[0]->State = 3;            // partly selected still takes part everywhere
  Run();
  ASSERT_TRUE(Succeeded) << (Host.Messages.empty() ? "" : Host.Messages.back());
  EXPECT_EQ(LoadBytesFromFile(InstallDir(Root) + "\\bin\\big.dat"), Data[10]);
  EXPECT_FALSE(FileExists(Root + "BDE\\engine.dll"));
  EXPECT_TRUE(FileExists(Root + "Programs\\Тестовая группа\\Большой.lnk"));
}

TEST_F(Worker, AnsweringYesToTheVersionQuestionReplacesTheFile) {
  MakeCabinets();
  std::string Script = StandardScript();
  const std::string Old = "FILE = 10 1 0 0 0 1 0 0 0 " + std::to_string(Data[10].size()) + " 0 1  0 0 1 0";
  const std::string New = "FILE = 10 1 0 0 0 1 0 0 0 " + std::to_string(Data[10].size()) + " 1 1 4.8.10 0 0 1 0";
  Script.replace(Script.find(Old), Old.size(), New);
  MakeDirs(InstallDir(Root) + "\\bin");
  ASSERT_TRUE(CopyFileW(ToWide(FixturePath(FIXTURE_VERSIONED_SERVER)).c_str(),
                        ToWide(InstallDir(Root) + "\\bin\\big.dat").c_str(), FALSE));
  Host.Answers = {idYes};
  LoadModel(Script);
  Run();
  ASSERT_TRUE(Succeeded) << (Host.Messages.empty() ? "" : Host.Messages.back());
  ASSERT_EQ(Host.Messages.size(), 1u);  // 4.8.10 and 4.8.10.0 differ as texts
  EXPECT_EQ(LoadBytesFromFile(InstallDir(Root) + "\\bin\\big.dat"), Data[10]);
}

TEST_F(Worker, CopiesInto1CInstallationsAreRecordedRightAfterTheirFile) {
  MakeCabinets();
  std::string Script = StandardScript();
  const std::string Old = "FILE = 10 1 0 0 0 1 0 0 0 ";
  Script.replace(Script.find(Old), Old.size(), "FILE = 10 1 0 0 0 1 0 1 0 ");  // copied into 1C 7.7
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(cSharedDllsKey, true));
  Reg.CloseKey();
  LoadModel(Script);
  const std::string Kept = Root + "1Cv77\\BIN\\", Unticked = Root + "1Cv77 old\\BIN\\";
  MakeDirs(Kept);
  MakeDirs(Unticked);
  Info->Products77.clear();
  Info->Products77.push_back(std::make_unique<T1SInfo>(T1SInfo{"1С 7.7", Kept}));
  Info->Products77.push_back(std::make_unique<T1SInfo>(T1SInfo{"1С 7.7 old", Unticked, nullptr, false}));
  Run();
  ASSERT_TRUE(Succeeded) << (Host.Messages.empty() ? "" : Host.Messages.back());

  EXPECT_EQ(LoadBytesFromFile(Kept + "big.dat"), Data[10]);
  EXPECT_FALSE(FileExists(Unticked + "big.dat"));
  // The copy is an ordinary file item between the file and its shortcut, shared as the file is.
  const std::string Install = InstallDir(Root);
  const std::string List = Cp1251ToUtf8(LoadBytesFromFile(Install + "\\uninst.lst"));
  EXPECT_NE(List.find("FileName0=" + Install + "\\bin\\big.dat\r\n"), std::string::npos) << List;
  EXPECT_NE(List.find("ItemType1=File\r\nFileName1=" + Kept + "big.dat\r\nSharedFile1=1\r\nUnRegister1=0\r\n"
                      "ItemType2=File\r\nFileName2=" + Root + "Programs\\Тестовая группа\\Большой.lnk\r\n"),
            std::string::npos)
      << List;
  EXPECT_EQ(List.find(Unticked), std::string::npos) << List;
  // Ten items: no database engine folder, as no group of that kind takes part.
  EXPECT_NE(List.find("Count=10\r\n"), std::string::npos) << List;
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(cSharedDllsKey, false));
  for (const auto& Path : {Install + "\\bin\\big.dat", Kept + "big.dat", Root + "Programs\\Тестовая группа\\Большой.lnk"})
    Reg.DeleteValue(Path);
}
