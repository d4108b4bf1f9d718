#pragma once
// LZX compression of a cabinet folder, one data block (frame of 32 KB) at a time.
//
// Matches are found with hash chains over the window and chosen with one step of lazy
// evaluation; the three repeated offsets are tried first at every position. Each frame is
// one verbatim or aligned-offset block with Huffman trees of its own, or a stored block when
// that is shorter, so every data block can be cut from the next without carrying bits over. Call
// translation (E8) is applied as the Microsoft tools do, which shrinks x86 code.
#include <cstdint>
#include <memory>
#include <vector>

namespace setup {

class TLzxCompressor {
 public:
  // WindowBits 15..21; Level 1..9 trades speed for size as zlib's levels do.
  TLzxCompressor(unsigned WindowBits, int Level);
  ~TLzxCompressor();
  TLzxCompressor(const TLzxCompressor&) = delete;
  TLzxCompressor& operator=(const TLzxCompressor&) = delete;

  // A new folder: the window, the repeated offsets and the previous trees are forgotten.
  void Reset();
  // Compresses the folder's next Size bytes (32768, except for the folder's last block) into
  // the payload of one data block.
  void CompressFrame(const std::uint8_t* Data, std::uint32_t Size, std::vector<std::uint8_t>& Out);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace setup
