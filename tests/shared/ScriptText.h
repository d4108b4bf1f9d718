#pragma once
// Scripts for the tests: written as UTF-8 lines, handed to the reader as the code page 1251
// bytes the program embeds.
#include <initializer_list>
#include <string>

#include "model/untData.h"
#include "system/Encoding.h"

namespace setup::test {

inline std::string Script(std::initializer_list<std::string> Lines, const char* Eol = "\r\n") {
  std::string Text;
  for (const auto& L : Lines) Text += L + Eol;
  return Utf8ToCp1251(Text);
}

// Reads a script and returns the message of the error that stopped the reading, or "".
inline std::string Load(TInstallInfo& Info, const std::string& Bytes, int* StopLine = nullptr) {
  try {
    Info.LoadScript(Bytes);
  } catch (const EScriptError& E) {
    if (StopLine) *StopLine = E.LineNo();
    return E.what();
  }
  return {};
}

inline const std::string cFile6 = "FILE = 6 3 0 0 0 0 0 0 0 638976 0 0 4.8.10.0 0 0 0 0";

}  // namespace setup::test
