// The LZX, Quantum and MSZIP decoders on their own, without a cabinet around them, so that the
// fuzzer spends its time inside the bit streams. Input: a type byte (bit 0: LZX or Quantum,
// bit 4: MSZIP instead; bits 1 to 3: the number of the allocation that fails, 0 for none), the
// window in bits (LZX, Quantum), then
// data blocks, each as its input size and output size (16 bits,
// little-endian) followed by its input. Any crash, hang, leak or out-of-bounds access is a
// finding; every failure must be a decoding error.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cabinet/FdiDecoders.h"

namespace {

size_t Allocated = 0;
unsigned Allocations = 0, FailingAllocation = 0;

void* FDIDIAMONDAPI Alloc(ULONG Bytes) {
  if (Bytes > 3 * 1024 * 1024) std::abort();
  if (++Allocations == FailingAllocation) return nullptr;
  Allocated++;
  return std::malloc(Bytes ? Bytes : 1);
}
void FDIDIAMONDAPI Free(void* Block) {
  if (Block) Allocated--;
  std::free(Block);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Input, size_t Size) {
  if (Size < 2) return 0;
  using namespace setup::fdi;
  TMemory Memory{Alloc, Free};
  Allocations = 0;
  FailingAllocation = (Input[0] >> 1) & 7;
  bool Lzx = Input[0] & 1, Mszip = Input[0] & 0x10;
  unsigned Type = Mszip ? tcompTYPE_MSZIP
                  : Lzx ? (tcompTYPE_LZX | (Input[1] & 0x1F) << 8)
                        : (tcompTYPE_QUANTUM | (Input[1] & 0x1F) << 8 | 0x40);
  TDecoder* Decoder = nullptr;
  const FDIERROR Created = CreateDecoder(Type & 0xF, Memory, Decoder);
  if (Created != FDIERROR_NONE) {
    // Only a failed allocation may stop it, and then nothing is left allocated.
    if (Created != FDIERROR_ALLOC_FAIL || Decoder || Allocated != 0) std::abort();
    return 0;
  }
  const FDIERROR Reset = Decoder->Reset(Type);
  if (Reset != FDIERROR_NONE && Reset != FDIERROR_BAD_COMPR_TYPE && Reset != FDIERROR_ALLOC_FAIL) std::abort();
  if (Reset == FDIERROR_NONE) {
    size_t At = 2;
    std::vector<uint8_t> Block;
    while (At + 4 <= Size) {
      uint32_t InputSize = Input[At] | Input[At + 1] << 8;
      uint32_t OutputSize = (Input[At + 2] | Input[At + 3] << 8) % (cMaxBlockOutput + 1);
      At += 4;
      if (InputSize > Size - At) InputSize = uint32_t(Size - At);
      // A copy of exactly the block's size, so that reading past it is caught.
      Block.assign(Input + At, Input + At + InputSize);
      At += InputSize;
      const uint8_t* Output = nullptr;
      FDIERROR Error = Decoder->Decode(Block.data(), InputSize, OutputSize, Output);
      if (Error == FDIERROR_NONE) {
        volatile uint8_t Touch = OutputSize ? Output[OutputSize - 1] : 0;
        (void)Touch;
      } else if (Error != FDIERROR_MDI_FAIL) {
        std::abort();
      } else {
        break;
      }
    }
  }
  Memory.Delete(Decoder);
  if (Allocated != 0) std::abort();
  return 0;
}
