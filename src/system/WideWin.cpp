#include "WideWin.h"

#include "Encoding.h"
#include "Errors.h"

namespace setup {

std::wstring ToWide(std::string_view Text) {
  const std::u16string Wide = Utf8ToUtf16(Text);
  return std::wstring(Wide.begin(), Wide.end());
}

std::wstring ToWidePath(std::string_view Path) {
  std::wstring Wide = ToWide(Path);
  constexpr std::size_t cClassicLimit = 248;
  if (Wide.size() < cClassicLimit) return Wide;
  if (Wide.size() >= 3 && Wide[1] == L':' && Wide[2] == L'\\') return L"\\\\?\\" + Wide;
  if (Wide.size() >= 3 && Wide[0] == L'\\' && Wide[1] == L'\\' && Wide[2] != L'?' && Wide[2] != L'.')
    return L"\\\\?\\UNC\\" + Wide.substr(2);
  return Wide;
}

std::string FromWide(std::wstring_view Text) {
  return Utf16ToUtf8(std::u16string(Text.begin(), Text.end()));
}

std::string SystemErrorMessage(DWORD Code) {
  TScopedLocal Buffer;
  const DWORD Length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, Code, 0,
      reinterpret_cast<wchar_t*>(Buffer.Receive()), 0, nullptr);
  std::wstring Text = Length ? std::wstring(static_cast<const wchar_t*>(Buffer.Get()), Length) : std::wstring();
  while (!Text.empty() && (Text.back() == L'\r' || Text.back() == L'\n' || Text.back() == L' ' || Text.back() == L'.'))
    Text.pop_back();
  if (Text.empty()) return "System error.  Code: " + std::to_string(Code);
  return FromWide(Text) + ".";
}

void RaiseLastOSError(DWORD Code) { throw Exception(SystemErrorMessage(Code)); }

std::string Utf8ToAnsi(std::string_view Text) {
  const std::wstring Wide = ToWide(Text);
  if (Wide.empty()) return {};
  const int Size = WideCharToMultiByte(CP_ACP, 0, Wide.data(), static_cast<int>(Wide.size()), nullptr, 0, nullptr, nullptr);
  std::string Out(static_cast<std::size_t>(Size), '\0');
  WideCharToMultiByte(CP_ACP, 0, Wide.data(), static_cast<int>(Wide.size()), Out.data(), Size, nullptr, nullptr);
  return Out;
}

std::string AnsiToUtf8(std::string_view Bytes) {
  if (Bytes.empty()) return {};
  const int Size = MultiByteToWideChar(CP_ACP, 0, Bytes.data(), static_cast<int>(Bytes.size()), nullptr, 0);
  std::wstring Wide(static_cast<std::size_t>(Size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, Bytes.data(), static_cast<int>(Bytes.size()), Wide.data(), Size);
  return FromWide(Wide);
}

}  // namespace setup
