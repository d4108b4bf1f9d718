#include "cabinet/FdiDecoders.h"

#include <string.h>
#include <zlib.h>

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

// MSZIP: every block is "CK" followed by a raw deflate stream that may refer back into the
// last 32 KB of the folder's output. One inflate stream serves the whole folder; between
// blocks it is reset and given that history as its dictionary.
class TMszipDecoder final : public TDecoder {
 public:
  explicit TMszipDecoder(TMemory& Memory) : FMemory(Memory) {}
  ~TMszipDecoder() override {
    if (FReady) inflateEnd(&FStream);
    if (FOutput) FMemory.Free(FOutput);
  }

  bool Initialize() {
    FOutput = static_cast<uint8_t*>(FMemory.Alloc(2 * cMaxBlockOutput));
    if (!FOutput) return false;
    FHistory = FOutput;
    memset(&FStream, 0, sizeof FStream);
    FStream.zalloc = &ZAlloc;
    FStream.zfree = &ZFree;
    FStream.opaque = &FMemory;
    FReady = inflateInit2(&FStream, -MAX_WBITS) == Z_OK;
    return FReady;
  }

  FDIERROR Reset(unsigned) override {
    FHistorySize = 0;
    return FDIERROR_NONE;
  }

  FDIERROR Decode(uint8_t* Input, uint32_t InputSize, uint32_t OutputSize, const uint8_t*& Output) override {
    if (OutputSize > cMaxBlockOutput || InputSize < 2 || Input[0] != 'C' || Input[1] != 'K') return FDIERROR_MDI_FAIL;
    if (inflateReset(&FStream) != Z_OK) return FDIERROR_MDI_FAIL;
    // The two halves of the output buffer take turns: the previous block's output stays
    // where it was written and is the next block's history, without a copy.
    if (FHistorySize && inflateSetDictionary(&FStream, FHistory, FHistorySize) != Z_OK) return FDIERROR_MDI_FAIL;
    uint8_t* Target = FHistory == FOutput ? FOutput + cMaxBlockOutput : FOutput;
    uint8_t* const Decoded = Target;
    FStream.next_in = Input + 2;
    FStream.avail_in = InputSize - 2;
    FStream.next_out = Target;
    FStream.avail_out = OutputSize;
    int Result = inflate(&FStream, Z_NO_FLUSH);
    // A block must give exactly its announced size; a stream that stops short, runs on or
    // breaks leaves the folder undecodable from here on.
    if (Result != Z_STREAM_END && !(Result == Z_OK || Result == Z_BUF_ERROR)) return Fail();
    if (FStream.avail_out != 0) return Fail();
    // The history is a 32 KB window that every block fills from its start: a whole block
    // replaces it (and stays where it was decoded), a short one only its first part, as the
    // other readers of this format have it (zeros before the folder's first byte).
    if (OutputSize != cMaxBlockOutput) {
      uint8_t* Window = Target == FOutput ? FOutput + cMaxBlockOutput : FOutput;
      if (FHistorySize == 0) memset(Window + OutputSize, 0, cMaxBlockOutput - OutputSize);
      memcpy(Window, Target, OutputSize);
      FHistory = Window;
    } else {
      FHistory = Target;
    }
    FHistorySize = cMaxBlockOutput;
    Output = Decoded;
    return FDIERROR_NONE;
  }

 private:
  FDIERROR Fail() {
    FHistorySize = 0;
    return FDIERROR_MDI_FAIL;
  }
  static voidpf ZAlloc(voidpf Opaque, uInt Items, uInt Size) {
    if (Size && Items > 0xFFFFFFFFu / Size) return Z_NULL;
    return static_cast<TMemory*>(Opaque)->Alloc(static_cast<ULONG>(Items) * Size);
  }
  static void ZFree(voidpf Opaque, voidpf Address) { static_cast<TMemory*>(Opaque)->Free(Address); }

  TMemory& FMemory;
  z_stream FStream;
  bool FReady = false;
  uint8_t* FOutput = nullptr;   // two blocks
  uint8_t* FHistory = nullptr;  // in one of them
  uInt FHistorySize = 0;
};

}  // namespace

FDIERROR CreateDecoder(unsigned CompressionType, TMemory& Memory, TDecoder*& Decoder) {
  Decoder = nullptr;
  switch (CompressionType) {
    case tcompTYPE_NONE:
      Decoder = Memory.New<TStoredDecoder>();
      return Decoder ? FDIERROR_NONE : FDIERROR_ALLOC_FAIL;
    case tcompTYPE_MSZIP: {
      TMszipDecoder* Mszip = Memory.New<TMszipDecoder>(Memory);
      if (!Mszip) return FDIERROR_ALLOC_FAIL;
      if (!Mszip->Initialize()) {
        Memory.Delete(Mszip);
        return FDIERROR_ALLOC_FAIL;
      }
      Decoder = Mszip;
      return FDIERROR_NONE;
    }
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
