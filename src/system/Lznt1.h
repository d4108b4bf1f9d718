#pragma once
// LZNT1, the system's own compression format (RtlCompressBuffer): the data in chunks of 4096
// bytes, each compressed on its own with back references inside the chunk. The setup program
// carries its cabinet library packed so, and unpacks it into its run folder.
#include <string>
#include <string_view>

namespace setup {

std::string Lznt1Compress(std::string_view Data);
// False when Packed is not well-formed LZNT1; Out then holds what was decoded before the fault.
bool Lznt1Decompress(std::string_view Packed, std::string& Out);

// A library as a setup program carries it: as it is (it starts with "MZ"), or packed, as the
// library's size (4 bytes, least significant first) and its LZNT1 form.
std::string PackLibrary(std::string_view Library);
// The library itself; empty when Stored is neither form.
std::string UnpackLibrary(std::string_view Stored);

}  // namespace setup
