#pragma once
// SHA-256 (FIPS 180-4): the digest that ties an uninstall list to the installation that wrote
// it, and the digests of the cabinets a setup program was made with. Small rather than fast,
// since setup.exe counts its bytes, but block by block, so that a cabinet is hashed as it is read.
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
  void Block(const unsigned char* Data);
  std::uint32_t FH[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  unsigned char FBuffer[64] = {};
  std::size_t FBuffered = 0;
  std::uint64_t FLength = 0;
};

// The digest as 64 upper-case hexadecimal digits.
std::string Sha256Hex(std::string_view Bytes);

}  // namespace setup
