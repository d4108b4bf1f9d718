#include "pe/ProductResources.h"

#include "pe/PeResources.h"
#include "system/Encoding.h"

namespace setup::pe {
namespace {

void Put16(std::string& B, std::uint32_t V) {
  B.push_back(char(V & 0xFF));
  B.push_back(char((V >> 8) & 0xFF));
}
void Put32(std::string& B, std::uint32_t V) {
  Put16(B, V & 0xFFFF);
  Put16(B, V >> 16);
}
void Pad4(std::string& B) { B.resize((B.size() + 3) / 4 * 4, '\0'); }
void PutText(std::string& B, std::string_view Utf8) {
  for (char16_t C : Utf8ToUtf16(Utf8)) Put16(B, C);
  Put16(B, 0);
}
std::uint32_t Get16(std::string_view B, std::size_t At) {
  return std::uint32_t(std::uint8_t(B[At]) | std::uint8_t(B[At + 1]) << 8);
}
std::uint32_t Get32(std::string_view B, std::size_t At) { return Get16(B, At) | Get16(B, At + 2) << 16; }

// One node of a version resource: length, value length, type (1 text, 0 binary), key, value and
// children, each part starting on a 32-bit boundary. A text value's length counts characters.
std::string Node(std::string_view Key, std::string_view Value, std::uint16_t ValueLength, bool Text,
                 std::string_view Children = {}) {
  std::string B(6, '\0');
  PutText(B, Key);
  Pad4(B);
  B += Value;
  if (!Children.empty()) {
    Pad4(B);
    B += Children;
  }
  B[0] = char(B.size() & 0xFF), B[1] = char(B.size() >> 8);
  B[2] = char(ValueLength & 0xFF), B[3] = char(ValueLength >> 8);
  B[4] = Text ? 1 : 0;
  return B;
}

}  // namespace

void FixedVersion(std::string_view Text, std::uint32_t& Ms, std::uint32_t& Ls) {
  std::uint32_t Parts[4] = {};
  std::size_t I = 0;
  for (int Part = 0; Part < 4 && I < Text.size() && Text[I] >= '0' && Text[I] <= '9'; ++Part) {
    std::uint32_t N = 0;
    while (I < Text.size() && Text[I] >= '0' && Text[I] <= '9' && N <= 0xFFFF) N = N * 10 + (Text[I++] - '0');
    Parts[Part] = N > 0xFFFF ? 0xFFFF : N;
    if (I + 1 >= Text.size() || Text[I] != '.') break;
    ++I;
  }
  Ms = Parts[0] << 16 | Parts[1];
  Ls = Parts[2] << 16 | Parts[3];
}

std::string VersionResource(const TVersionTexts& Texts) {
  std::uint32_t Ms, Ls;
  FixedVersion(Texts.Version, Ms, Ls);
  std::string Fixed;
  for (std::uint32_t V : {0xFEEF04BDu, 0x00010000u, Ms, Ls, Ms, Ls, 0x3Fu, 0u, 0x00040004u /* VOS_NT_WINDOWS32 */,
                          1u /* VFT_APP */, 0u, 0u, 0u})
    Put32(Fixed, V);
  std::string Strings;
  for (const auto& [Name, Value] : {std::pair{"CompanyName", &Texts.CompanyName},
                                    {"FileDescription", &Texts.FileDescription}, {"FileVersion", &Texts.Version},
                                    {"ProductName", &Texts.ProductName}, {"ProductVersion", &Texts.Version}}) {
    if (Value->empty()) continue;
    std::string Data;
    PutText(Data, *Value);
    Pad4(Strings);
    Strings += Node(Name, Data, std::uint16_t(Data.size() / 2), true);
  }
  std::string Translation;
  Put16(Translation, 0x0419);  // Russian
  Put16(Translation, 1200);    // Unicode
  std::string Children = Node("StringFileInfo", {}, 0, true, Node("041904B0", {}, 0, true, Strings));
  Pad4(Children);
  Children += Node("VarFileInfo", {}, 0, true, Node("Translation", Translation, 4, false));
  return Node("VS_VERSION_INFO", Fixed, std::uint16_t(Fixed.size()), false, Children);
}

TIconResources IconResourcesFromFile(std::string_view File, std::uint16_t FirstId) {
  if (File.size() < 6 || Get16(File, 0) != 0 || Get16(File, 2) != 1) throw EPeError("not an .ico file");
  const std::uint32_t Count = Get16(File, 4);
  if (Count == 0 || Count > 64 || File.size() < 6 + 16 * std::size_t(Count)) throw EPeError("the .ico file is damaged");
  TIconResources Result;
  Put16(Result.Group, 0);
  Put16(Result.Group, 1);
  Put16(Result.Group, Count);
  for (std::uint32_t I = 0; I < Count; ++I) {
    const std::size_t Entry = 6 + 16 * std::size_t(I);
    const std::uint32_t Size = Get32(File, Entry + 8), At = Get32(File, Entry + 12);
    if (Size < 40 || At > File.size() || Size > File.size() - At) throw EPeError("the .ico file is truncated");
    Result.Images.emplace_back(File.substr(At, Size));
    // The directory entry as the program carries it: the file's first 12 bytes, then the
    // image's resource number in place of its offset.
    Result.Group += File.substr(Entry, 12);
    Put16(Result.Group, FirstId + I);
  }
  return Result;
}

}  // namespace setup::pe
