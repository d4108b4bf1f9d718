#pragma once
// SHA-256 (FIPS 180-4): the digest that ties an uninstall list to the installation that wrote
// it, and the digests of the cabinets a setup program was made with. Hashing the cabinets is the
// longest check before an installation: the processor's SHA instructions do it where it has them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace setup {

class TSha256 {
 public:
  void Add(const void* Data, std::size_t Size);
  void Add(std::string_view Bytes) { Add(Bytes.data(), Bytes.size()); }
  // The digest of everything added, as 64 upper-case hexadecimal digits; ends the hashing.
  std::string Hex();

 private:
  void Blocks(const unsigned char* Data, std::size_t Count);
  std::uint32_t FH[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  unsigned char FBuffer[64] = {};
  std::size_t FBuffered = 0;
  std::uint64_t FLength = 0;
};

// The digest as 64 upper-case hexadecimal digits.
std::string Sha256Hex(std::string_view Bytes);

// Whether the processor's SHA instructions are used when it has them (on by default); both ways
// give the same digests. Returns whether they are in use now.
bool UseSha256Instructions(bool Allow);

}  // namespace setup
