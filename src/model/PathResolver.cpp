// Resolving path texts of the script against the folder kinds and placeholders.
#include <array>

#include "model/untData.h"
#include "system/Paths.h"
#include "system/Text.h"

namespace setup {
namespace {

// The base folder of a kind (0 to 7), still with its trailing backslash.
std::string BaseFolder(const TInstallInfo& Info, unsigned Kind) {
  const TEnvironment& E = Info.Environment;
  switch (Kind) {
    case fkProgramFiles: return E.ProgramFilesDir;
    case fkWindows: return E.WindowsDir;
    case fkSystem: return E.SystemDir;
    case fkCommonFiles: return E.CommonFilesDir;
    case fkInstall: return Info.InstallDir;
    case fkBde: return E.BdeDir;
    case fkProgramGroup: return E.ProgramsDir + Info.ProgramGroup;
    case fkFonts: return E.FontsDir;
    default: return {};
  }
}

struct Placeholder {
  std::string_view Text;
  unsigned Kind;
};

// Replaced one after another in this order; each scans the result of the one before.
constexpr std::array<Placeholder, 8> cPlaceholders = {{
    {"%ProgramFiles%", fkProgramFiles},
    {"%WindowsFiles%", fkWindows},
    {"%SystemFiles%", fkSystem},
    {"%CommonFiles%", fkCommonFiles},
    {"%Install%", fkInstall},
    {"%BDE%", fkBde},
    {"%Fonts%", fkFonts},
    {"%ProgramGroup%", fkProgramGroup},
}};

}  // namespace

std::string TInstallInfo::ExpandPath(std::uint8_t FolderKind, std::string_view Text) const {
  const unsigned Kind = FolderKind & fkKindBits;
  std::string Result;
  if (Kind <= fkFonts)
    Result = WithoutBackslash(BaseFolder(*this, Kind)) + std::string(Text);
  else
    Result = std::string(Text);
  for (const auto& P : cPlaceholders) {
    if (Result.find(P.Text) == std::string::npos) continue;
    Result = ReplaceAll(Result, P.Text, WithoutBackslash(BaseFolder(*this, P.Kind)));
  }
  return Result;
}

}  // namespace setup
