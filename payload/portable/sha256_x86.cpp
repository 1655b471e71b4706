// The compression function with the x86 SHA extensions, and the run-time check
// for them. Only the functions marked SHA_TARGET are compiled for those
// instructions: the program itself must still run on CPUs without them.
#include "payload/portable/sha256_blocks.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

#define SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

namespace sha256_detail {
namespace {

SHA_TARGET inline __attribute__((always_inline)) __m128i LoadBigEndianWords(const std::uint8_t* at) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), byteSwap);
}

// Four rounds on the words w (schedule words t..t+3) and their constants.
// The instructions keep the state as ABEF and CDGH.
SHA_TARGET inline __attribute__((always_inline)) void FourRounds(__m128i& abef, __m128i& cdgh, __m128i w,
                                                                 const std::uint32_t* constants) {
  const __m128i wk = _mm_add_epi32(w, _mm_loadu_si128(reinterpret_cast<const __m128i*>(constants)));
  cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
  abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
}

// Schedule words t..t+3 from words t-16..t-1, four to a register: w16
// holds t-16..t-13, w4 holds t-4..t-1.
SHA_TARGET inline __attribute__((always_inline)) __m128i NextWords(__m128i w16, __m128i w12, __m128i w8,
                                                                   __m128i w4) {
  const __m128i w7 = _mm_alignr_epi8(w4, w8, 4);
  return _mm_sha256msg2_epu32(_mm_add_epi32(_mm_sha256msg1_epu32(w16, w12), w7), w4);
}

}  // namespace

// 32-bit Windows promises only a 4-byte aligned stack: the function aligns
// its own frame for its XMM spills.
#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
SHA_TARGET void CompressSha(State& state, const std::uint8_t* data, std::size_t blocks) {
  // State words A..H to the instructions' ABEF and CDGH (names list the
  // lanes from the highest).
  const __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0])), 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4])), 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

  for (; blocks > 0; --blocks, data += kBlockSize) {
    const __m128i abefBefore = abef;
    const __m128i cdghBefore = cdgh;
    __m128i w0 = LoadBigEndianWords(data);
    __m128i w1 = LoadBigEndianWords(data + 16);
    __m128i w2 = LoadBigEndianWords(data + 32);
    __m128i w3 = LoadBigEndianWords(data + 48);
    // Unrolled, the four schedule registers are renamed rather than moved:
    // with the 8 XMM registers of 32-bit code the moves cost spills on the
    // rounds' critical path (half the speed). The words of the last four
    // groups, never used, are then not computed either.
#pragma GCC unroll 16
    for (int t = 0; t < 64; t += 4) {
      FourRounds(abef, cdgh, w0, kRoundConstants + t);
      const __m128i next = NextWords(w0, w1, w2, w3);
      w0 = w1;
      w1 = w2;
      w2 = w3;
      w3 = next;
    }
    abef = _mm_add_epi32(abef, abefBefore);
    cdgh = _mm_add_epi32(cdgh, cdghBefore);
  }

  // And back to A..H.
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

bool ShaInstructionsAvailable() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  const bool shuffles = (ecx & bit_SSSE3) != 0 && (ecx & bit_SSE4_1) != 0;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
  return shuffles && (ebx & bit_SHA) != 0;
}

}  // namespace sha256_detail

#else

namespace sha256_detail {

void CompressSha(State& state, const std::uint8_t* data, std::size_t blocks) {
  CompressScalar(state, data, blocks);
}

bool ShaInstructionsAvailable() { return false; }

}  // namespace sha256_detail

#endif
