#pragma once
// Deflate data (RFC 1951, without a zlib or gzip wrapper), and the cabinet library as the setup
// programs carry it: packed so by the build, unpacked into the run folder.
#include <string>
#include <string_view>

namespace setup {

// Appends what Packed decodes to to Out; false when Packed is not well-formed deflate data or
// ends before its last block does.
bool Inflate(std::string_view Packed, std::string& Out);

// A library as a setup program carries it: as it is (it starts with "MZ"), or packed, as the
// library's size (4 bytes, least significant first) and its deflate form.
std::string PackLibrary(std::string_view Library);
// The library itself; empty when Stored is neither form.
std::string UnpackLibrary(std::string_view Stored);

}  // namespace setup
