#include "SafePaths.h"

#include <vector>

namespace setup {
namespace {

bool IsLetter(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }

bool IsSeparator(char C) { return C == '\\' || C == '/'; }

// The names the system opens as devices whatever folder they stand in, with or without an
// extension ("nul.txt" is NUL too), and with blanks before the extension.
bool IsDeviceName(std::string_view Component) {
  std::string_view Base = Component.substr(0, Component.find('.'));
  while (!Base.empty() && Base.back() == ' ') Base.remove_suffix(1);
  std::string Upper;
  for (char C : Base) Upper.push_back((C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C);
  if (Upper == "CON" || Upper == "PRN" || Upper == "AUX" || Upper == "NUL" || Upper == "CONIN$" || Upper == "CONOUT$")
    return true;
  if (Upper.size() < 4 || (Upper.compare(0, 3, "COM") != 0 && Upper.compare(0, 3, "LPT") != 0)) return false;
  const std::string_view Number = std::string_view(Upper).substr(3);
  // A digit, or the superscripts one to three, which the system takes as digits here.
  return (Number.size() == 1 && Number[0] >= '0' && Number[0] <= '9') || Number == "\xC2\xB9" || Number == "\xC2\xB2" ||
         Number == "\xC2\xB3";
}

bool IsBadCharacter(char C) {
  const auto B = static_cast<unsigned char>(C);
  return B < 0x20 || C == '<' || C == '>' || C == '"' || C == '|' || C == '?' || C == '*' || C == ':';
}

}  // namespace

std::string FoldPath(std::string_view Path) {
  std::string Out;
  Out.reserve(Path.size());
  for (std::size_t I = 0; I < Path.size(); ++I) {
    const auto C = static_cast<unsigned char>(Path[I]);
    if (C >= 'A' && C <= 'Z') {
      Out.push_back(static_cast<char>(C + 32));
    } else if (C == 0xD0 && I + 1 < Path.size()) {
      // Cyrillic capitals: U+0410..U+042F, U+0400..U+040F (Ё and the others).
      const auto D = static_cast<unsigned char>(Path[I + 1]);
      if (D >= 0x90 && D <= 0x9F) {
        Out += static_cast<char>(0xD0);
        Out += static_cast<char>(D + 0x20);
      } else if (D >= 0xA0 && D <= 0xAF) {
        Out += static_cast<char>(0xD1);
        Out += static_cast<char>(D - 0x20);
      } else if (D >= 0x80 && D <= 0x8F) {
        Out += static_cast<char>(0xD1);
        Out += static_cast<char>(D + 0x10);
      } else {
        Out += static_cast<char>(C);
        Out += static_cast<char>(D);
      }
      ++I;
    } else {
      Out.push_back(static_cast<char>(C));
    }
  }
  if (Out.size() > 1 && Out.back() == '\\' && !IsDriveRoot(Out)) Out.pop_back();
  return Out;
}

bool IsDriveRoot(std::string_view Path) {
  return Path.size() >= 2 && Path.size() <= 3 && Path[1] == ':' && (Path.size() == 2 || Path[2] == '\\');
}

TPathRefusal CanonicalPath(std::string_view Path, std::string& Canonical) {
  Canonical.clear();
  if (Path.empty()) return TPathRefusal::prEmpty;
  if (IsSeparator(Path[0])) {
    if (Path.size() >= 2 && IsSeparator(Path[1])) {
      // "\\?\C:\..." and "\\.\C:\..." skip the system's own name checks; "\\server\share" is
      // another machine's disk.
      if (Path.size() >= 3 && (Path[2] == '?' || Path[2] == '.')) return TPathRefusal::prDeviceSpace;
      return TPathRefusal::prNetwork;
    }
    if (Path.size() >= 3 && Path[1] == '?' && Path[2] == '?') return TPathRefusal::prDeviceSpace;
    return TPathRefusal::prNotFull;
  }
  if (Path.size() < 3 || !IsLetter(Path[0]) || Path[1] != ':' || !IsSeparator(Path[2])) return TPathRefusal::prNotFull;

  std::vector<std::string_view> Parts;
  std::size_t From = 3;
  while (From <= Path.size()) {
    std::size_t End = From;
    while (End < Path.size() && !IsSeparator(Path[End])) ++End;
    std::string_view Part = Path.substr(From, End - From);
    From = End + 1;
    if (Part.empty() || Part == ".") continue;
    if (Part == "..") {
      if (Parts.empty()) return TPathRefusal::prAboveRoot;
      Parts.pop_back();
      continue;
    }
    for (char C : Part)
      if (IsBadCharacter(C)) return TPathRefusal::prBadCharacter;
    while (!Part.empty() && (Part.back() == '.' || Part.back() == ' ')) Part.remove_suffix(1);
    if (Part.empty()) return TPathRefusal::prDotsOnly;
    if (IsDeviceName(Part)) return TPathRefusal::prDeviceName;
    Parts.push_back(Part);
  }
  Canonical.assign(Path.substr(0, 2));
  Canonical += '\\';
  for (std::size_t I = 0; I < Parts.size(); ++I) {
    if (I) Canonical += '\\';
    Canonical += Parts[I];
  }
  return TPathRefusal::prNone;
}

bool IsInside(std::string_view Path, std::string_view Folder) {
  const std::string P = FoldPath(Path), F = FoldPath(Folder);
  if (F.empty() || P.size() <= F.size() || P.compare(0, F.size(), F) != 0) return false;
  return F.back() == '\\' || P[F.size()] == '\\';
}

bool IsSameOrInside(std::string_view Path, std::string_view Folder) {
  return FoldPath(Path) == FoldPath(Folder) || IsInside(Path, Folder);
}

bool HasDotComponent(std::string_view Path) {
  std::size_t From = 0;
  while (From <= Path.size()) {
    std::size_t End = From;
    while (End < Path.size() && !IsSeparator(Path[End])) ++End;
    const std::string_view Part = Path.substr(From, End - From);
    From = End + 1;
    // The system drops the blanks and dots that end a name, so ". " and ".. " are "." and "..".
    if (Part.find('.') != std::string_view::npos && Part.find_first_not_of(". ") == std::string_view::npos) return true;
  }
  return false;
}

}  // namespace setup
