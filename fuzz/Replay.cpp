// Runs a fuzz harness once on every file named on the command line (folders: every file in
// them, in name order). A harness reports a finding by crashing or aborting, so reaching the
// end means every input passed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size);

int main(int Count, char** Arguments) {
  namespace fs = std::filesystem;
  std::vector<fs::path> Inputs;
  for (int I = 1; I < Count; ++I) {
    const fs::path Argument = Arguments[I];
    if (fs::is_directory(Argument)) {
      for (const auto& Entry : fs::directory_iterator(Argument))
        if (Entry.is_regular_file()) Inputs.push_back(Entry.path());
    } else if (fs::is_regular_file(Argument)) {
      Inputs.push_back(Argument);
    } else {
      std::fprintf(stderr, "replay: no such file or folder: %s\n", Arguments[I]);
      return 2;
    }
  }
  std::sort(Inputs.begin(), Inputs.end());
  if (Inputs.empty()) {
    std::fprintf(stderr, "replay: no inputs\n");
    return 2;
  }
  for (const auto& Path : Inputs) {
    std::ifstream In(Path, std::ios::binary);
    const std::vector<char> Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    if (!In.good() && !In.eof()) {
      std::fprintf(stderr, "replay: cannot read %s\n", Path.c_str());
      return 2;
    }
    std::fprintf(stderr, "replay: %s\n", Path.c_str());
    // A copy of exactly the input's size, so that a read past its end is caught.
    std::vector<std::uint8_t> Copy(Bytes.begin(), Bytes.end());
    std::uint8_t* Data = Copy.empty() ? nullptr : Copy.data();
    LLVMFuzzerTestOneInput(Data, Copy.size());
  }
  std::printf("replay: %zu inputs passed\n", Inputs.size());
  return 0;
}
