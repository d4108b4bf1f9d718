#include "Files.h"

namespace setup {

std::filesystem::path PathFromUtf8(std::string_view Path) {
  std::u8string Text(Path.begin(), Path.end());
#ifndef _WIN32
  // The program builds paths in Windows notation; on the host the backslash separates folders
  // too, so that those paths name real folders there.
  for (auto& C : Text)
    if (C == u8'\\') C = u8'/';
#endif
  return std::filesystem::path(Text);
}

}  // namespace setup
