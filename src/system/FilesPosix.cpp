#include "Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "Errors.h"


namespace setup {
namespace {

std::FILE* OpenFile(const std::string& Path, bool Write) {
  return std::fopen(PathFromUtf8(Path).c_str(), Write ? "wb" : "rb");
}

std::string Reason(int Error) { return std::generic_category().message(Error); }

}  // namespace

bool IsExistingFile(const std::string& Path) {
  std::error_code Ignored;
  return std::filesystem::is_regular_file(PathFromUtf8(Path), Ignored);
}

void SaveBytesToFile(const std::string& Path, std::string_view Bytes) {
  std::FILE* File = OpenFile(Path, true);
  if (!File) throw Exception("Cannot create file \"" + Path + "\". " + Reason(errno));
  const bool Written = std::fwrite(Bytes.data(), 1, Bytes.size(), File) == Bytes.size();
  const int WriteError = errno;
  const bool Closed = std::fclose(File) == 0;
  if (!Written || !Closed) {
    const int Error = Written ? errno : WriteError;
    std::error_code Ignored;
    std::filesystem::remove(PathFromUtf8(Path), Ignored);
    throw Exception("Cannot write file \"" + Path + "\". " + Reason(Error));
  }
}

std::string LoadBytesFromFile(const std::string& Path) {
  std::FILE* File = OpenFile(Path, false);
  if (!File) throw Exception("Cannot open file \"" + Path + "\". " + Reason(errno));
  std::string Bytes;
  char Buffer[65536];
  std::size_t Read;
  while ((Read = std::fread(Buffer, 1, sizeof Buffer, File)) > 0) Bytes.append(Buffer, Read);
  std::fclose(File);
  return Bytes;
}

}  // namespace setup
