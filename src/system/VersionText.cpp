#include "VersionText.h"

#include <cstdio>

namespace setup {

std::string FormatFileVersion(std::uint32_t MostSignificant, std::uint32_t LeastSignificant) {
  char Buffer[32];
  std::snprintf(Buffer, sizeof Buffer, "%u.%u.%u.%u", static_cast<unsigned>(MostSignificant >> 16),
                static_cast<unsigned>(MostSignificant & 0xFFFF), static_cast<unsigned>(LeastSignificant >> 16),
                static_cast<unsigned>(LeastSignificant & 0xFFFF));
  return Buffer;
}

std::string FileVersionSubBlock(std::uint16_t Language, std::uint16_t CodePage) {
  char Buffer[48];
  std::snprintf(Buffer, sizeof Buffer, "\\StringFileInfo\\%04X%04X\\FileVersion", static_cast<unsigned>(Language),
                static_cast<unsigned>(CodePage));
  return Buffer;
}

std::string CleanVersionText(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (const char C : Text) {
    if (C == ',')
      Out += '.';
    else if (C == '.' || (C >= '0' && C <= '9'))
      Out += C;
  }
  return Out;
}

}  // namespace setup
