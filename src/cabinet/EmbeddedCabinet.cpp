#include "EmbeddedCabinet.h"

namespace setup {

std::string EmbeddedCabinetPlace(const TEmbeddedCabinet& Cabinet) {
  std::string Bytes;
  for (const std::uint32_t Value : {Cabinet.Offset, Cabinet.Size})
    for (int Shift = 0; Shift < 32; Shift += 8) Bytes += static_cast<char>(Value >> Shift);
  return Bytes;
}

bool ReadEmbeddedCabinetPlace(std::string_view Bytes, TEmbeddedCabinet& Cabinet) {
  if (Bytes.size() != 8) return false;
  std::uint32_t Values[2] = {};
  for (int I = 7; I >= 0; --I) Values[I / 4] = (Values[I / 4] << 8) | static_cast<unsigned char>(Bytes[I]);
  Cabinet = {Values[0], Values[1]};
  return Cabinet.Size != 0 && Cabinet.Offset + Cabinet.Size > Cabinet.Offset;
}

bool EmbeddedCabinetComplete(const TEmbeddedCabinet& Cabinet, std::int64_t FileSize) {
  return Cabinet.Size != 0 && std::int64_t(Cabinet.Offset) + Cabinet.Size <= FileSize;
}

unsigned WindowReadCount(std::uint32_t End, std::uint32_t Position, unsigned Count) {
  if (Position >= End) return 0;
  return End - Position < Count ? End - Position : Count;
}

}  // namespace setup
