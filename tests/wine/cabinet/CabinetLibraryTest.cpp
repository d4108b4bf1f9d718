// The program's loader of the cabinet library, and the error texts it raises.
#include <windows.h>

#include <gtest/gtest.h>

#include "cabinet/CabinetWin.h"
#include "shared/ExpectedTexts.h"
#include "system/WideWin.h"

using namespace setup;

namespace {

// Wine hands out its own builtin library for any "cabinet.dll" unless told that this
// program prefers the file it names; Windows loads the file named anyway.
// The override is read at each load; the prefix's own key is opened before our code runs,
// so it is the one that counts. It is removed again afterwards.
class TPreferNativeCabinet {
 public:
  TPreferNativeCabinet() {
    HKEY Key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &Key, nullptr) == ERROR_SUCCESS) {
      const wchar_t Value[] = L"native,builtin";
      RegSetValueExW(Key, L"cabinet", 0, REG_SZ, reinterpret_cast<const BYTE*>(Value), sizeof Value);
      RegCloseKey(Key);
    }
  }
  ~TPreferNativeCabinet() {
    HKEY Key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, KEY_SET_VALUE, &Key) == ERROR_SUCCESS) {
      RegDeleteValueW(Key, L"cabinet");
      RegCloseKey(Key);
    }
  }
};

// Ours, not another library of that name: only the system's exports FDITruncateCabinet.
void ExpectOurLibraryLoaded() {
  HMODULE Loaded = GetModuleHandleW(L"cabinet.dll");
  ASSERT_NE(Loaded, nullptr);
  EXPECT_EQ(GetProcAddress(Loaded, "FDITruncateCabinet"), nullptr);
}

}  // namespace

TEST(CabinetLibrary, LoadsOurLibraryFromAFolderAndFreesIt) {
  TPreferNativeCabinet Native;
  LoadCabinetLibrary(OUR_CABINET_DIR);
  EXPECT_TRUE(CabinetLibraryLoaded());
  EXPECT_NE(CabinetLibrary.FDICreate, nullptr);
  EXPECT_NE(CabinetLibrary.FDICopy, nullptr);
  EXPECT_NE(CabinetLibrary.FDIDestroy, nullptr);
  ExpectOurLibraryLoaded();
  FreeCabinetLibrary();
  EXPECT_FALSE(CabinetLibraryLoaded());
  EXPECT_EQ(CabinetLibrary.FDICopy, nullptr);
  FreeCabinetLibrary();  // a second time does nothing
}

TEST(CabinetLibrary, FindsTheFileWrittenInCapitals) {
  TPreferNativeCabinet Native;
  wchar_t Temp[MAX_PATH];
  GetTempPathW(MAX_PATH, Temp);
  std::wstring Folder = std::wstring(Temp) + L"cabinet-loader-test\\";
  CreateDirectoryW(Folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(ToWide(OUR_CABINET_DLL).c_str(), (Folder + L"CABINET.DLL").c_str(), FALSE));
  LoadCabinetLibrary(FromWide(Folder));
  EXPECT_TRUE(CabinetLibraryLoaded());
  EXPECT_NE(CabinetLibrary.FDICreate, nullptr);
  ExpectOurLibraryLoaded();
  FreeCabinetLibrary();
  DeleteFileW((Folder + L"CABINET.DLL").c_str());
  RemoveDirectoryW(Folder.c_str());
}

TEST(CabinetLibrary, MissingLibraryRaisesTheUsersMessage) {
  try {
    LoadCabinetLibrary("C:\\no such folder\\");
    FAIL() << "loaded from a missing folder";
  } catch (const Exception& Error) {
    EXPECT_STREQ(Error.what(), "Не найдена библиотека <Cabinet.dll>!");
  }
  EXPECT_FALSE(CabinetLibraryLoaded());
}

TEST(CabinetLibrary, RaisedErrorsCarryCodeTypeAndText) {
  try {
    RaiseCabinetError(ERF{FDIERROR_WRONG_CABINET, 0, TRUE});
  } catch (const ECabinetError& Error) {
    EXPECT_EQ(Error.ErrorCode, FDIERROR_WRONG_CABINET);
    EXPECT_EQ(Error.what(), test::CabinetErrorText(FDIERROR_WRONG_CABINET));
  }
  try {
    RaiseCabinetError(FDIERROR_TARGET_FILE, 112);
  } catch (const ECabinetError& Error) {
    EXPECT_EQ(Error.ErrorType, 112);
    EXPECT_STREQ(Error.what(), "Cabinet error 8 (type 112)");
  }
}
