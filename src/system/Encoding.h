#pragma once
// Conversions at the program's edges. Inside, every text is UTF-8.
#include <string>
#include <string_view>

namespace setup {

// Code page 1251 bytes (the script, the uninstall list) to UTF-8 and back. Characters that
// code page 1251 cannot hold become "?".
std::string Cp1251ToUtf8(std::string_view Bytes);
std::string Utf8ToCp1251(std::string_view Text);

// UTF-8 and UTF-16. Malformed UTF-8 decodes to U+FFFD; lone surrogates encode as U+FFFD.
std::u16string Utf8ToUtf16(std::string_view Text);
std::string Utf16ToUtf8(std::u16string_view Text);

// UTF-8 to the ANSI code page of the running system (on Windows the process's ACP; elsewhere
// code page 1251, the code page of the target systems).
std::string Utf8ToAnsi(std::string_view Text);
std::string AnsiToUtf8(std::string_view Bytes);

}  // namespace setup
