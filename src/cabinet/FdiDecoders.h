#pragma once
// Block decoders of the cabinet library, one per compression type. A decoder turns one whole
// data block (the parts of a block split across cabinets already joined) into its output;
// it keeps whatever history the method carries from block to block within a folder.
#include <stdint.h>

#include <new>

#include "cabinet/Fdi.h"

namespace setup::fdi {

// All memory of the library comes from the caller's allocator.
struct TMemory {
  PFNALLOC Alloc = nullptr;
  PFNFREE Free = nullptr;

  template <class T, class... A>
  T* New(A&&... Args) {
    void* Place = Alloc(sizeof(T));
    return Place ? new (Place) T(static_cast<A&&>(Args)...) : nullptr;
  }
  template <class T>
  void Delete(T* Object) {
    if (!Object) return;
    Object->~T();
    Free(Object);
  }
  // The buffers a window decoder keeps across folders: a sliding window that only grows
  // (Allocated is its size) and a frame-sized work buffer made once.
  FDIERROR PrepareBuffers(uint8_t*& Window, uint32_t& Allocated, uint32_t Size, uint8_t*& Work, uint32_t WorkSize) {
    if (Size > Allocated) {
      if (Window) Free(Window);
      Window = static_cast<uint8_t*>(Alloc(Size));
      Allocated = Window ? Size : 0;
      if (!Window) return FDIERROR_ALLOC_FAIL;
    }
    if (!Work) {
      Work = static_cast<uint8_t*>(Alloc(WorkSize));
      if (!Work) return FDIERROR_ALLOC_FAIL;
    }
    return FDIERROR_NONE;
  }
};

// The largest output of one data block, and the largest compressed block we accept: a block
// never expands by more than a few bytes per 32 KB, so 64 KB leaves ample room.
constexpr uint32_t cMaxBlockOutput = CB_MAX_CHUNK;
constexpr uint32_t cMaxBlockInput = 65536;

class TDecoder {
 public:
  virtual ~TDecoder() = default;
  // A new folder of the given type (the whole typeCompress, with the method's parameters)
  // starts: forget the history of the previous one. FDIERROR_BAD_COMPR_TYPE for parameters
  // the method does not have, FDIERROR_ALLOC_FAIL when its window cannot be had.
  virtual FDIERROR Reset(unsigned Type) = 0;
  // Decodes one block of Input into exactly OutputSize bytes. On success Output points to them
  // (valid until the next call); otherwise an FDIERROR.
  virtual FDIERROR Decode(uint8_t* Input, uint32_t InputSize, uint32_t OutputSize, const uint8_t*& Output) = 0;
};

// The decoder for a folder's compression type (the low bits of typeCompress).
// FDIERROR_BAD_COMPR_TYPE for a method we do not decode, FDIERROR_ALLOC_FAIL without memory.
FDIERROR CreateDecoder(unsigned CompressionType, TMemory& Memory, TDecoder*& Decoder);

// The decoders of the methods with a window of their own (FdiLzx.cpp, FdiQuantum.cpp);
// nullptr without memory. Their window is allocated by Reset.
TDecoder* CreateLzxDecoder(TMemory& Memory);
// MSZIP (FdiMszip.cpp); nullptr without memory.
TDecoder* CreateMszipDecoder(TMemory& Memory);
TDecoder* CreateQuantumDecoder(TMemory& Memory);

}  // namespace setup::fdi
