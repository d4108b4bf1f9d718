// Malformed scripts must never crash or hang the reader, the model checks or setupscript.
// Besides surviving, the reader must agree with the plain character-by-character reading of
// the column rule, and the file index with a linear search.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ScriptTool.h"
#include "model/untData.h"

namespace {

// The line as characters (each a whole UTF-8 sequence), so that positions count characters.
std::vector<std::string> Characters(const std::string& Line) {
  std::vector<std::string> Out;
  for (std::size_t I = 0; I < Line.size();) {
    const auto B = static_cast<unsigned char>(Line[I]);
    std::size_t N = B >= 0xF0 ? 4 : B >= 0xE0 ? 3 : B >= 0xC0 ? 2 : 1;
    N = std::min(N, Line.size() - I);
    Out.push_back(Line.substr(I, N));
    I += N;
  }
  return Out;
}

// Column N by scanning positions: start after "= ", each blank closes a column, the end of the
// line closes the last one.
std::string ReferenceField(const std::string& Line, int N) {
  const auto C = Characters(Line);
  const int Length = static_cast<int>(C.size());
  int P = 0;
  for (int I = 1; I <= Length; ++I)
    if (C[I - 1] == "=") {
      P = I;
      break;
    }
  if (P == 0) return {};
  int Start = P + 1, Stop = Length + 1;
  bool Stopped = false;
  for (int I = P + 2; I <= Length; ++I) {
    if (C[I - 1] != " ") continue;
    if (--N == 0) {
      Stop = I;
      Stopped = true;
      break;
    }
    Start = I;
  }
  if (!Stopped) --N;
  if (N != 0) return {};
  std::string Field;
  for (int I = Start + 1; I < Stop; ++I) Field += C[I - 1];
  return Field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
  setup::TInstallInfo Info;
  try {
    Info.LoadScript(Bytes);
  } catch (const setup::EScriptError& E) {
    if (E.LineNo() < 1 || static_cast<std::size_t>(E.LineNo()) > Info.Lines.size()) std::abort();
  }

  for (const auto& Line : Info.Lines)
    for (int N = 1; N <= 4; ++N)
      if (setup::LineField(Line, N) != ReferenceField(std::string(Line), N)) std::abort();

  for (const auto& F : Info.Files) {
    const setup::TFileInfo* First = nullptr;
    for (const auto& G : Info.Files)
      if (G->ItemNo == F->ItemNo) {
        First = G.get();
        break;
      }
    if (Info.FindFile(F->ItemNo) != First) std::abort();
  }

  Info.Environment.ProgramFilesDir = "C:\\Program Files\\";
  Info.InstallDir = "%Install%\\";
  for (const auto& G : Info.Groups)
    for (const auto& F : Info.Files) (void)Info.ExpandPath(G->FolderKind, F->Path);
  (void)Info.ExpandPath(Info.GroupDirectory, Info.Directory);
  Info.ApplyInstallType(true, true, true, true);
  (void)Info.FindModelProblems();

  (void)setup::CheckScript(Bytes);
  std::string Json;
  (void)setup::DumpScript(Bytes, Json);
  return 0;
}
