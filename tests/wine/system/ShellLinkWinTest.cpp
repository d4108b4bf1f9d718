#include <gtest/gtest.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "shared/ServicesSupport.h"
#include "system/ShellLinkWin.h"

using namespace setup;
using namespace services_test;

namespace {

struct LinkContents {
  bool Loaded = false;
  std::string Path, Arguments, WorkingDirectory, Description;
};

// Reads a saved shortcut back through the shell's own object.
LinkContents ReadLink(const std::string& LinkFile) {
  LinkContents Out;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Out;
  IShellLinkW* Link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&Link)))) {
    IPersistFile* File = nullptr;
    if (SUCCEEDED(Link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&File)))) {
      if (SUCCEEDED(File->Load(ToWide(LinkFile).c_str(), STGM_READ))) {
        Out.Loaded = true;
        wchar_t Buffer[1024];
        if (SUCCEEDED(Link->GetPath(Buffer, 1024, nullptr, SLGP_RAWPATH))) Out.Path = FromWide(Buffer);
        if (SUCCEEDED(Link->GetArguments(Buffer, 1024))) Out.Arguments = FromWide(Buffer);
        if (SUCCEEDED(Link->GetWorkingDirectory(Buffer, 1024))) Out.WorkingDirectory = FromWide(Buffer);
        if (SUCCEEDED(Link->GetDescription(Buffer, 1024))) Out.Description = FromWide(Buffer);
      }
      File->Release();
    }
    Link->Release();
  }
  CoUninitialize();
  return Out;
}

// True when COM is not initialised on this thread (any apartment may then be entered).
bool ComIsFree() {
  const HRESULT Result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (SUCCEEDED(Result)) CoUninitialize();
  return Result == S_OK;
}

}  // namespace

TEST(ShellLink, FileTargetResolvesToWhatWasGiven) {
  TempFolder Temp;
  const std::string Folder = Temp.Folder("Продукт 1.0\\bin");
  const std::string Target = PlaceFixture(FIXTURE_RECORDER, Folder + "Запуск.exe");
  const std::string LinkFile = Temp.Folder("Меню") + "Запуск программы.lnk";
  CreateShellLink(Target, "/base \"D:\\Базы\\Первая\"", LinkFile, "Описание ярлыка");
  const LinkContents Link = ReadLink(LinkFile);
  ASSERT_TRUE(Link.Loaded);
  EXPECT_EQ(Link.Path, Target);
  EXPECT_EQ(Link.Arguments, "/base \"D:\\Базы\\Первая\"");
  EXPECT_EQ(Link.WorkingDirectory, Folder);
  EXPECT_EQ(Link.Description, "Описание ярлыка");
  EXPECT_TRUE(ComIsFree()) << "COM left initialised";
}

TEST(ShellLink, FolderTargetStartsInItsParent) {
  TempFolder Temp;
  const std::string Parent = Temp.Folder("Продукт");
  const std::string Target = WithoutBackslash(Temp.Folder("Продукт\\Данные"));
  const std::string LinkFile = Temp.Path + "Данные.lnk";
  CreateShellLink(Target, "", LinkFile, "");
  const LinkContents Link = ReadLink(LinkFile);
  ASSERT_TRUE(Link.Loaded);
  EXPECT_EQ(Link.Path, Target);
  EXPECT_EQ(Link.Arguments, "");
  EXPECT_EQ(Link.WorkingDirectory, Parent);
}

TEST(ShellLink, FailuresAreSilentAndComIsBalanced) {
  TempFolder Temp;
  const std::string Target = PlaceFixture(FIXTURE_RECORDER, Temp.Path + "app.exe");
  // The folder for the link does not exist: nothing is written, nothing raised.
  EXPECT_NO_THROW(CreateShellLink(Target, "", Temp.Path + "missing folder\\app.lnk", ""));
  EXPECT_FALSE(Exists(Temp.Path + "missing folder\\app.lnk"));
  EXPECT_TRUE(ComIsFree());

  // A thread already in a single-threaded apartment keeps it after the call.
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  CreateShellLink(Target, "", Temp.Path + "sta.lnk", "");
  EXPECT_TRUE(ReadLink(Temp.Path + "sta.lnk").Loaded);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  CoUninitialize();
  EXPECT_TRUE(ComIsFree());

  // A thread in the multi-threaded apartment cannot be initialised again for the shell: the
  // call gives up quietly.
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_NO_THROW(CreateShellLink(Target, "", Temp.Path + "mta.lnk", ""));
  CoUninitialize();
  EXPECT_FALSE(Exists(Temp.Path + "mta.lnk"));
  EXPECT_TRUE(ComIsFree());
}
