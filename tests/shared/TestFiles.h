#pragma once
// Temporary folders and whole-file reads and writes, for the tests on the build machine and
// under Wine alike.
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace test {

// A folder of its own under the system's temporary folder, removed with its contents at the end.
class TTempDir {
 public:
  explicit TTempDir(const std::string& Prefix = "setup-test") {
    std::random_device Seed;
    std::mt19937 Random(Seed());
    const auto Base = std::filesystem::temp_directory_path();
    for (int Attempt = 0; Attempt < 100; ++Attempt) {
      auto Candidate = Base / (Prefix + "-" + std::to_string(Random() % 100000000));
      // create_directory is false for a folder that is there already: somebody else's.
      if (std::filesystem::create_directory(Candidate)) {
        FPath = Candidate;
        return;
      }
    }
    throw std::runtime_error("no fresh temporary folder under " + Base.string());
  }
  ~TTempDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  // The folder with its trailing separator, as the cabinet interfaces take folders.
  std::string Folder() const { return (FPath / "").string(); }

 private:
  std::filesystem::path FPath;
};

inline std::string ReadFile(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) throw std::runtime_error("cannot read " + Path.string());
  std::ostringstream Bytes;
  Bytes << In.rdbuf();
  return Bytes.str();
}

inline void WriteFile(const std::filesystem::path& Path, std::string_view Bytes) {
  if (Path.has_parent_path()) std::filesystem::create_directories(Path.parent_path());
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  if (!Out) throw std::runtime_error("cannot write " + Path.string());
}

}  // namespace test
