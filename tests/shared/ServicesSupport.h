#pragma once
// Real folders, files, marks and environment for the Windows service tests.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Fixtures.h"
#include "system/Paths.h"
#include "system/WideWin.h"

namespace services_test {

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
 public:
  explicit TempFolder(const std::string& Name = "") {
    wchar_t Temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, Temp);
    Path = setup::FromWide(Temp) + "svc-tests-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(Counter++) + (Name.empty() ? "" : "-" + Name) + "\\";
    CreateDirectoryW(setup::ToWide(Path).c_str(), nullptr);
  }
  ~TempFolder() {
    std::error_code Ignored;
    std::filesystem::remove_all(std::filesystem::path(setup::ToWide(Path)), Ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Makes the sub-folder and returns it with its trailing backslash.
  std::string Folder(const std::string& Relative) const {
    std::filesystem::create_directories(std::filesystem::path(setup::ToWide(Path + Relative)));
    return Path + Relative + "\\";
  }

  std::string Path;  // ends in a backslash
  static inline int Counter = 0;
};

inline std::string ReadBytes(const std::string& Path) {
  std::ifstream In(std::filesystem::path(setup::ToWide(Path)), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& Path, const std::string& Bytes) {
  std::ofstream Out(std::filesystem::path(setup::ToWide(Path)), std::ios::binary | std::ios::trunc);
  Out << Bytes;
}

inline bool Exists(const std::string& Path) {
  return GetFileAttributesW(setup::ToWide(Path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Copies a fixture (built under its host path) to Target and returns Target.
inline std::string PlaceFixture(const char* HostPath, const std::string& Target) {
  CopyFileW(setup::ToWide(FixturePath(HostPath)).c_str(), setup::ToWide(Target).c_str(), FALSE);
  return Target;
}

// Marks the fixtures leave under HKCU\Software\SetupEngineTests\Marks.
inline std::string ReadMark(const wchar_t* Name) {
  wchar_t Buffer[2048] = {};
  DWORD Size = sizeof(Buffer) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\SetupEngineTests\\Marks", Name, RRF_RT_REG_SZ, nullptr, Buffer,
                   &Size) != ERROR_SUCCESS)
    return {};
  return setup::FromWide(Buffer);
}

inline void ClearMark(const wchar_t* Name) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\SetupEngineTests\\Marks", Name);
}

// Points the recorder fixture at a log file for the length of a test.
class RecorderLog {
 public:
  explicit RecorderLog(std::string LogPath) : Path(std::move(LogPath)) {
    SetEnvironmentVariableW(L"SETUP_FIXTURE_LOG", setup::ToWide(Path).c_str());
  }
  ~RecorderLog() { SetEnvironmentVariableW(L"SETUP_FIXTURE_LOG", nullptr); }
  RecorderLog(const RecorderLog&) = delete;
  RecorderLog& operator=(const RecorderLog&) = delete;

  // The value of the first line of the given kind ("cmdline", "cwd", "exe") in the N-th record.
  std::string Field(const std::string& Kind, int Record = 0) const {
    const std::string Text = ReadBytes(Path);
    const std::string Key = Kind + "=";
    std::size_t At = 0;
    for (int Seen = -1;;) {
      At = Text.find(Key, At);
      if (At == std::string::npos) return "<none>";
      if (At == 0 || Text[At - 1] == '\n') {
        if (++Seen == Record) break;
      }
      At += Key.size();
    }
    const auto End = Text.find("\r\n", At);
    return Text.substr(At + Key.size(), End - At - Key.size());
  }
  int Records() const {
    const std::string Text = ReadBytes(Path);
    int Count = 0;
    for (std::size_t At = Text.find("cmdline="); At != std::string::npos; At = Text.find("cmdline=", At + 1)) ++Count;
    return Count;
  }

  std::string Path;
};

}  // namespace services_test
