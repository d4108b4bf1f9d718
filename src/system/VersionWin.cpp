#include "VersionWin.h"

#include <windows.h>

#include <vector>

#include "SystemLibraryWin.h"
#include "VersionText.h"
#include "WideWin.h"

namespace setup {

namespace {

// The version functions, from the system's own version.dll (see SystemLibraryWin.h).
struct TVersionFunctions {
  template <class Function>
  static Function* Take(const char* Name) {
    return SystemFunction<Function>(L"version.dll", Name);
  }
  decltype(&GetFileVersionInfoSizeW) InfoSize = Take<decltype(GetFileVersionInfoSizeW)>("GetFileVersionInfoSizeW");
  decltype(&GetFileVersionInfoW) Info = Take<decltype(GetFileVersionInfoW)>("GetFileVersionInfoW");
  decltype(&VerQueryValueW) Query = Take<decltype(VerQueryValueW)>("VerQueryValueW");
  bool Loaded() const { return InfoSize && Info && Query; }
};

const TVersionFunctions& Version() {
  static const TVersionFunctions Functions;
  return Functions;
}

std::string FixedVersion(const void* Info) {
  void* Value = nullptr;
  UINT Length = 0;
  if (!Version().Query(Info, L"\\", &Value, &Length) || !Value || Length < sizeof(VS_FIXEDFILEINFO)) return {};
  const auto* Fixed = static_cast<const VS_FIXEDFILEINFO*>(Value);
  return FormatFileVersion(Fixed->dwFileVersionMS, Fixed->dwFileVersionLS);
}

std::string StringVersion(const void* Info) {
  void* Value = nullptr;
  UINT Length = 0;
  if (!Version().Query(Info, L"\\VarFileInfo\\Translation", &Value, &Length) || !Value || Length < 2 * sizeof(WORD))
    return {};
  const auto* Translation = static_cast<const WORD*>(Value);
  const std::wstring SubBlock = ToWide(FileVersionSubBlock(Translation[0], Translation[1]));
  if (!Version().Query(Info, SubBlock.c_str(), &Value, &Length) || !Value) return {};
  // Length counts characters and may include the terminator; the text ends at the first zero.
  const auto* Text = static_cast<const wchar_t*>(Value);
  std::size_t Size = 0;
  while (Size < Length && Text[Size]) ++Size;
  return FromWide(std::wstring_view(Text, Size));
}

}  // namespace

std::string GetFileVersion(const std::string& FileName) {
  try {
    if (!Version().Loaded()) return {};
    const std::wstring Name = ToWide(FileName);
    DWORD Ignored = 0;
    const DWORD Size = Version().InfoSize(Name.c_str(), &Ignored);
    if (Size == 0) return {};
    std::vector<BYTE> Info(Size);
    if (!Version().Info(Name.c_str(), 0, Size, Info.data())) return {};
    std::string Version = FixedVersion(Info.data());
    if (Version.empty()) Version = StringVersion(Info.data());
    return CleanVersionText(Version);
  } catch (...) {
    // A version that cannot be read counts as no version.
    return {};
  }
}

}  // namespace setup
