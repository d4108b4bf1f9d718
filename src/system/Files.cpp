#include "Files.h"

namespace setup {

std::filesystem::path PathFromUtf8(std::string_view Path) {
  return std::filesystem::path(std::u8string(Path.begin(), Path.end()));
}

bool IsExistingFile(const std::string& Path) {
  std::error_code Ignored;
  return std::filesystem::is_regular_file(PathFromUtf8(Path), Ignored);
}

}  // namespace setup
