#include "VersionText.h"

#include "Text.h"

namespace setup {

std::string FormatFileVersion(std::uint32_t MostSignificant, std::uint32_t LeastSignificant) {
  return PaddedNumber(MostSignificant >> 16) + '.' + PaddedNumber(MostSignificant & 0xFFFF) + '.' +
         PaddedNumber(LeastSignificant >> 16) + '.' + PaddedNumber(LeastSignificant & 0xFFFF);
}

std::string FileVersionSubBlock(std::uint16_t Language, std::uint16_t CodePage) {
  return "\\StringFileInfo\\" + PaddedNumber(Language, 4, 16) + PaddedNumber(CodePage, 4, 16) + "\\FileVersion";
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
