#pragma once
// The resources that give a setup program its product's identity: the version information
// Explorer and the elevation prompt show, and the program's icon from an .ico file.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace setup::pe {

struct TVersionTexts {
  std::string ProductName;
  std::string Version;  // "2.1.0"; the fixed version takes its leading numbers (up to four)
  std::string CompanyName;
  std::string FileDescription;
};

// A VS_VERSIONINFO resource: the fixed version from Version, and the texts (those not empty)
// in one Russian, Unicode string table.
std::string VersionResource(const TVersionTexts& Texts);

// The fixed version "a.b.c.d" as four 16-bit numbers packed into two 32-bit ones (most
// significant first): the leading numbers of Text, separated by dots; missing ones are 0.
void FixedVersion(std::string_view Text, std::uint32_t& Ms, std::uint32_t& Ls);

// An .ico file as a program carries it: one RT_ICON resource per image, numbered from
// FirstId, and the RT_GROUP_ICON directory that names them. EPeError says what is wrong.
struct TIconResources {
  std::vector<std::string> Images;
  std::string Group;
};
TIconResources IconResourcesFromFile(std::string_view File, std::uint16_t FirstId);

}  // namespace setup::pe
