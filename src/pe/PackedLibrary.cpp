// The packing side of system/Inflate.h: the build packs the cabinet library with zlib's deflate
// at its strongest setting.
#include <zlib.h>

#include <cstdint>
#include <stdexcept>

#include "system/Inflate.h"

namespace setup {

std::string PackLibrary(std::string_view Library) {
  const auto Size = static_cast<std::uint32_t>(Library.size());
  std::string Stored;
  for (int Shift = 0; Shift < 32; Shift += 8) Stored.push_back(static_cast<char>((Size >> Shift) & 0xFF));
  z_stream Stream{};
  // Raw deflate (negative window bits): no zlib header or checksum.
  if (deflateInit2(&Stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflate cannot start");
  std::string Packed(deflateBound(&Stream, Library.size()), '\0');
  Stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Library.data()));
  Stream.avail_in = static_cast<uInt>(Library.size());
  Stream.next_out = reinterpret_cast<Bytef*>(Packed.data());
  Stream.avail_out = static_cast<uInt>(Packed.size());
  const int Result = deflate(&Stream, Z_FINISH);
  Packed.resize(Stream.total_out);
  deflateEnd(&Stream);
  if (Result != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
  return Stored + Packed;
}

}  // namespace setup
