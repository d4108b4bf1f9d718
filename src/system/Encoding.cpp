#include "Encoding.h"

#include <array>
#include <unordered_map>

namespace setup {
namespace {

// Unicode code points of the bytes 0x80..0xFF of code page 1251. 0x98 is unassigned there;
// Windows maps it to U+0098, which keeps every byte round-trippable.
constexpr std::array<char16_t, 128> cCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

void AppendUtf8(std::string& Out, char32_t C) {
  if (C < 0x80) {
    Out.push_back(static_cast<char>(C));
  } else if (C < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | (C >> 6)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else if (C < 0x10000) {
    Out.push_back(static_cast<char>(0xE0 | (C >> 12)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xF0 | (C >> 18)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 12) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  }
}

// Decodes one code point at I (advanced past it); malformed input gives U+FFFD and advances
// by one byte, so that decoding always terminates and never reads past the end.
char32_t DecodeUtf8(std::string_view S, std::size_t& I) {
  const auto B0 = static_cast<unsigned char>(S[I]);
  if (B0 < 0x80) {
    ++I;
    return B0;
  }
  int Length;
  char32_t C;
  if (B0 >= 0xC2 && B0 <= 0xDF) { Length = 2; C = B0 & 0x1F; }
  else if (B0 >= 0xE0 && B0 <= 0xEF) { Length = 3; C = B0 & 0x0F; }
  else if (B0 >= 0xF0 && B0 <= 0xF4) { Length = 4; C = B0 & 0x07; }
  else { ++I; return 0xFFFD; }
  if (I + Length > S.size()) { ++I; return 0xFFFD; }
  for (int K = 1; K < Length; ++K) {
    const auto B = static_cast<unsigned char>(S[I + K]);
    if ((B & 0xC0) != 0x80) { ++I; return 0xFFFD; }
    C = (C << 6) | (B & 0x3F);
  }
  const bool Overlong = (Length == 3 && C < 0x800) || (Length == 4 && C < 0x10000);
  if (Overlong || C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) { ++I; return 0xFFFD; }
  I += Length;
  return C;
}

const std::unordered_map<char32_t, char>& Cp1251Reverse() {
  static const auto* Map = [] {
    auto* M = new std::unordered_map<char32_t, char>();
    for (int K = 0; K < 128; ++K) M->emplace(cCp1251High[K], static_cast<char>(0x80 + K));
    return M;
  }();
  return *Map;
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view Bytes) {
  // The script is decoded once at start-up and may be large: scan for the ASCII runs and copy
  // them whole, expanding only the high bytes through a table of their UTF-8 forms.
  static const auto* Table = [] {
    auto* T = new std::array<std::string, 128>();
    for (int K = 0; K < 128; ++K) AppendUtf8((*T)[K], cCp1251High[K]);
    return T;
  }();
  std::string Out;
  Out.reserve(Bytes.size() + Bytes.size() / 2);
  std::size_t I = 0;
  while (I < Bytes.size()) {
    std::size_t Run = I;
    while (Run < Bytes.size() && static_cast<unsigned char>(Bytes[Run]) < 0x80) ++Run;
    Out.append(Bytes.data() + I, Run - I);
    if (Run == Bytes.size()) break;
    Out += (*Table)[static_cast<unsigned char>(Bytes[Run]) - 0x80];
    I = Run + 1;
  }
  return Out;
}

std::string Utf8ToCp1251(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  const auto& Reverse = Cp1251Reverse();
  for (std::size_t I = 0; I < Text.size();) {
    const char32_t C = DecodeUtf8(Text, I);
    if (C < 0x80) {
      Out.push_back(static_cast<char>(C));
      continue;
    }
    const auto Found = Reverse.find(C);
    Out.push_back(Found == Reverse.end() ? '?' : Found->second);
  }
  return Out;
}

std::u16string Utf8ToUtf16(std::string_view Text) {
  std::u16string Out;
  Out.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size();) {
    const char32_t C = DecodeUtf8(Text, I);
    if (C >= 0x10000) {
      Out.push_back(static_cast<char16_t>(0xD800 + ((C - 0x10000) >> 10)));
      Out.push_back(static_cast<char16_t>(0xDC00 + ((C - 0x10000) & 0x3FF)));
    } else {
      Out.push_back(static_cast<char16_t>(C));
    }
  }
  return Out;
}

std::string Utf16ToUtf8(std::u16string_view Text) {
  std::string Out;
  Out.reserve(Text.size() * 3 / 2);
  for (std::size_t I = 0; I < Text.size(); ++I) {
    char32_t C = Text[I];
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 && Text[I + 1] <= 0xDFFF) {
      C = 0x10000 + ((C - 0xD800) << 10) + (Text[I + 1] - 0xDC00);
      ++I;
    } else if (C >= 0xD800 && C <= 0xDFFF) {
      C = 0xFFFD;
    }
    AppendUtf8(Out, C);
  }
  return Out;
}

#ifndef _WIN32
std::string Utf8ToAnsi(std::string_view Text) { return Utf8ToCp1251(Text); }
std::string AnsiToUtf8(std::string_view Bytes) { return Cp1251ToUtf8(Bytes); }
#endif

}  // namespace setup
