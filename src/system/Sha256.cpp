#include "Sha256.h"

#include <cstdint>

#include "Text.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace setup {
namespace {

constexpr std::uint32_t cRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t Rotr(std::uint32_t X, int N) { return (X >> N) | (X << (32 - N)); }

// The rounds in plain C++, compiled for speed (about twice as fast as for size, for 1.5 KB).
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("O3")))
#endif
void PlainBlocks(std::uint32_t* State, const unsigned char* Data, std::size_t Count) {
  for (; Count; --Count, Data += 64) {
    std::uint32_t W[64];
    for (int I = 0; I < 16; ++I)
      W[I] = std::uint32_t(Data[4 * I]) << 24 | std::uint32_t(Data[4 * I + 1]) << 16 |
             std::uint32_t(Data[4 * I + 2]) << 8 | Data[4 * I + 3];
    for (int I = 16; I < 64; ++I)
      W[I] = W[I - 16] + (Rotr(W[I - 15], 7) ^ Rotr(W[I - 15], 18) ^ (W[I - 15] >> 3)) + W[I - 7] +
             (Rotr(W[I - 2], 17) ^ Rotr(W[I - 2], 19) ^ (W[I - 2] >> 10));
    std::uint32_t A = State[0], B = State[1], C = State[2], D = State[3], E = State[4], F = State[5],
                  G = State[6], H = State[7];
    for (int I = 0; I < 64; ++I) {
      const std::uint32_t T1 = H + (Rotr(E, 6) ^ Rotr(E, 11) ^ Rotr(E, 25)) + ((E & F) ^ (~E & G)) + cRound[I] + W[I];
      const std::uint32_t T2 = (Rotr(A, 2) ^ Rotr(A, 13) ^ Rotr(A, 22)) + ((A & B) ^ (A & C) ^ (B & C));
      H = G;
      G = F;
      F = E;
      E = D + T1;
      D = C;
      C = B;
      B = A;
      A = T1 + T2;
    }
    State[0] += A, State[1] += B, State[2] += C, State[3] += D, State[4] += E, State[5] += F, State[6] += G,
        State[7] += H;
  }
}

#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
#define SETUP_SHA_INSTRUCTIONS 1

bool HasShaInstructions() {
  unsigned A, B, C, D;
  if (!__get_cpuid(1, &A, &B, &C, &D) || !(C & bit_SSE4_1)) return false;
  return __get_cpuid_max(0, nullptr) >= 7 && __get_cpuid_count(7, 0, &A, &B, &C, &D) && (B & bit_SHA);
}

// The same rounds by the SHA extensions: four rounds per two instructions, the message schedule
// four words at a time. The state is kept as the instructions want it, ABEF and CDGH.
#ifndef __clang__
__attribute__((optimize("O2")))
#endif
__attribute__((target("sha,sse4.1"))) void
ShaBlocks(std::uint32_t* State, const unsigned char* Data, std::size_t Count) {
  const __m128i Swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  __m128i Dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(State)), 0xB1);
  __m128i Efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(State + 4)), 0x1B);
  __m128i Abef = _mm_alignr_epi8(Dcba, Efgh, 8);
  __m128i Cdgh = _mm_blend_epi16(Efgh, Dcba, 0xF0);
  for (; Count; --Count, Data += 64) {
    const __m128i SavedAbef = Abef, SavedCdgh = Cdgh;
    __m128i Message[4];
#pragma GCC unroll 16
    for (int Group = 0; Group < 16; ++Group) {
      __m128i& Words = Message[Group & 3];
      if (Group < 4) {
        Words = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Data + 16 * Group)), Swap);
      } else {
        // W[t-16] + s0(W[t-15]), + W[t-7], + s1(W[t-2]).
        Words = _mm_sha256msg1_epu32(Words, Message[(Group + 1) & 3]);
        Words = _mm_add_epi32(Words, _mm_alignr_epi8(Message[(Group + 3) & 3], Message[(Group + 2) & 3], 4));
        Words = _mm_sha256msg2_epu32(Words, Message[(Group + 3) & 3]);
      }
      const __m128i Sum =
          _mm_add_epi32(Words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(cRound + 4 * Group)));
      Cdgh = _mm_sha256rnds2_epu32(Cdgh, Abef, Sum);
      Abef = _mm_sha256rnds2_epu32(Abef, Cdgh, _mm_shuffle_epi32(Sum, 0x0E));
    }
    Abef = _mm_add_epi32(Abef, SavedAbef);
    Cdgh = _mm_add_epi32(Cdgh, SavedCdgh);
  }
  const __m128i Feba = _mm_shuffle_epi32(Abef, 0x1B);
  const __m128i Dchg = _mm_shuffle_epi32(Cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(State), _mm_blend_epi16(Feba, Dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(State + 4), _mm_alignr_epi8(Dchg, Feba, 8));
}

bool UseInstructions = HasShaInstructions();
#endif

}  // namespace

bool UseSha256Instructions(bool Allow) {
#ifdef SETUP_SHA_INSTRUCTIONS
  return UseInstructions = Allow && HasShaInstructions();
#else
  (void)Allow;
  return false;
#endif
}

void TSha256::Blocks(const unsigned char* Data, std::size_t Count) {
#ifdef SETUP_SHA_INSTRUCTIONS
  if (UseInstructions) return ShaBlocks(FH, Data, Count);
#endif
  PlainBlocks(FH, Data, Count);
}

void TSha256::Add(const void* Data, std::size_t Size) {
  auto* Bytes = static_cast<const unsigned char*>(Data);
  FLength += Size;
  while (Size) {
    if (FBuffered == 0 && Size >= 64) {
      Blocks(Bytes, Size / 64);
      Bytes += Size / 64 * 64;
      Size %= 64;
      continue;
    }
    const std::size_t Take = Size < 64 - FBuffered ? Size : 64 - FBuffered;
    for (std::size_t I = 0; I < Take; ++I) FBuffer[FBuffered + I] = Bytes[I];
    FBuffered += Take;
    Bytes += Take;
    Size -= Take;
    if (FBuffered == 64) {
      Blocks(FBuffer, 1);
      FBuffered = 0;
    }
  }
}

std::string TSha256::Hex() {
  // The 0x80 marker, zeros, and the length in bits in the last 8 bytes of a block.
  const std::uint64_t Bits = FLength * 8;
  const unsigned char Marker = 0x80, Zero = 0;
  Add(&Marker, 1);
  while (FBuffered != 56) Add(&Zero, 1);
  unsigned char Length[8];
  for (int I = 0; I < 8; ++I) Length[I] = static_cast<unsigned char>(Bits >> (56 - 8 * I));
  Add(Length, 8);
  std::string Text;
  for (const std::uint32_t Word : FH) Text += PaddedNumber(Word, 8, 16);
  return Text;
}

std::string Sha256Hex(std::string_view Bytes) {
  TSha256 Hash;
  Hash.Add(Bytes);
  return Hash.Hex();
}

}  // namespace setup
