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
    case 0: return E.ProgramFilesDir;
    case 1: return E.WindowsDir;
    case 2: return E.SystemDir;
    case 3: return E.CommonFilesDir;
    case 4: return Info.InstallDir;
    case 5: return E.BdeDir;
    case 6: return E.ProgramsDir + Info.ProgramGroup;
    case 7: return E.FontsDir;
    default: return {};
  }
}

struct Placeholder {
  std::string_view Text;
  unsigned Kind;
};

// Replaced one after another in this order; each scans the result of the one before.
constexpr std::array<Placeholder, 8> kPlaceholders = {{
    {"%ProgramFiles%", 0},
    {"%WindowsFiles%", 1},
    {"%SystemFiles%", 2},
    {"%CommonFiles%", 3},
    {"%Install%", 4},
    {"%BDE%", 5},
    {"%Fonts%", 7},
    {"%ProgramGroup%", 6},
}};

}  // namespace

std::string TInstallInfo::ExpandPath(std::uint8_t FolderKind, std::string_view Text) const {
  const unsigned Kind = FolderKind & 0x7F;
  std::string Result;
  if (Kind <= 7)
    Result = WithoutBackslash(BaseFolder(*this, Kind)) + std::string(Text);
  else
    Result = std::string(Text);
  for (const auto& P : kPlaceholders) {
    if (Result.find(P.Text) == std::string::npos) continue;
    Result = ReplaceAll(Result, P.Text, WithoutBackslash(BaseFolder(*this, P.Kind)));
  }
  return Result;
}

}  // namespace setup
