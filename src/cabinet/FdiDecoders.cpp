#include "cabinet/FdiDecoders.h"

#include <string.h>

#include <new>

namespace setup::fdi {

namespace {

// Uncompressed blocks are handed out where they were read.
class TStoredDecoder final : public TDecoder {
 public:
  FDIERROR Reset(unsigned) override { return FDIERROR_NONE; }
  FDIERROR Decode(uint8_t* Input, uint32_t InputSize, uint32_t OutputSize, const uint8_t*& Output) override {
    if (InputSize != OutputSize) return FDIERROR_CORRUPT_CABINET;
    Output = Input;
    return FDIERROR_NONE;
  }
};

}  // namespace

FDIERROR CreateDecoder(unsigned CompressionType, TMemory& Memory, TDecoder*& Decoder) {
  Decoder = nullptr;
  switch (CompressionType) {
    case tcompTYPE_NONE:
      Decoder = Memory.New<TStoredDecoder>();
      return Decoder ? FDIERROR_NONE : FDIERROR_ALLOC_FAIL;
    case tcompTYPE_MSZIP:
      Decoder = CreateMszipDecoder(Memory);
      return Decoder ? FDIERROR_NONE : FDIERROR_ALLOC_FAIL;
    case tcompTYPE_QUANTUM:
      Decoder = CreateQuantumDecoder(Memory);
      return Decoder ? FDIERROR_NONE : FDIERROR_ALLOC_FAIL;
    case tcompTYPE_LZX:
      Decoder = CreateLzxDecoder(Memory);
      return Decoder ? FDIERROR_NONE : FDIERROR_ALLOC_FAIL;
    default:
      return FDIERROR_BAD_COMPR_TYPE;
  }
}

}  // namespace setup::fdi
