// setupscript: checks an installation script and prints the model the setup program builds
// from it.
//   setupscript check FILE   every line the program would ignore or act on unexpectedly;
//                            exit status 1 when the program would complain or refuse the script
//   setupscript dump FILE    the model as JSON
// FILE holds the script as the program embeds it: code page 1251 text.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "ScriptTool.h"
#include "ToolArguments.h"

namespace {

int Usage() {
  std::cerr << "usage: setupscript check FILE\n"
               "       setupscript dump FILE\n";
  return 2;
}

bool ReadBytes(const std::string& Name, std::string& Bytes) {
  std::ifstream In(std::filesystem::path(std::u8string(Name.begin(), Name.end())), std::ios::binary);
  if (!In) return false;
  Bytes.assign(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  return !In.bad();
}

}  // namespace

int main(int argc, char** argv) {
  const auto Args = setup::ToolArguments(argc, argv);
  if (Args.size() != 2) return Usage();
  const std::string& Command = Args[0];
  const std::string& File = Args[1];
  if (Command != "check" && Command != "dump") return Usage();

  std::string Bytes;
  if (!ReadBytes(File, Bytes)) {
    std::cerr << "setupscript: cannot read " << File << "\n";
    return 2;
  }

  if (Command == "dump") {
    std::string Json;
    const bool Ok = setup::DumpScript(Bytes, Json);
    std::cout << Json;
    return Ok ? 0 : 1;
  }

  const auto Result = setup::CheckScript(Bytes);
  for (const auto& Issue : Result.Issues)
    std::cout << File << ":" << Issue.LineNo << ": " << (Issue.Error ? "error: " : "warning: ") << Issue.Text << "\n";
  return Result.Ok() ? 0 : 1;
}
