#include "monolith/CryptoKeystream.h"

#if JUCE_INTEL && JUCE_64BIT
 #include <immintrin.h>
#endif

namespace Crypto
{

namespace
{
    // Every vector kernel keeps one generator state per byte of a block in its lanes and steps all of
    // them a whole block at once; the multiply-adds of the lanes are independent, so they overlap.
    constexpr size_t sse2BlockSize = 32;
    constexpr size_t avx2BlockSize = 64;
    constexpr size_t avx2PrefetchDistance = 8192;
    constexpr auto sse2Jump = Keystream::jumpFor (sse2BlockSize);
    constexpr auto avx2Jump = Keystream::jumpFor (avx2BlockSize);

    /** Where the AVX2 kernel keeps the state of byte b of a block: vector v, lane l holds byte
        32 (v / 4) + 4 l + v % 4, so that four vectors merge into 32 consecutive keystream bytes, the
        state of byte 4 l + r of a group in lane l of its vector r.
    */
    constexpr size_t avx2LaneOf (size_t b) noexcept
    {
        return 8 * (4 * (b / 32) + b % 4) + (b % 32) / 4;
    }

    /** The vectors of the odd-numbered bytes of a group (r = 1, 3) hold their states times 256: the
        generator's steps commute with that (256 (a s + c) = a (256 s) + 256 c, mod 2^32), and it moves
        the keystream byte from byte 2 of the lane to byte 3, so that one byte blend pairs it with an
        even neighbour's.
    */
    constexpr bool avx2IsShifted (size_t vector) noexcept
    {
        return vector % 2 != 0;
    }

    /** The jumps from the state before a block to the state of each of its bytes, in lane order, so that
        the lanes start from one multiply-add each instead of a chain of steps; the shifted lanes' jumps
        give their states times 256.
    */
    struct LaneJumps
    {
        constexpr LaneJumps()
        {
            for (size_t b = 0; b < avx2BlockSize; ++b)
            {
                const auto jump = Keystream::jumpFor (b + 1);
                const auto lane = avx2LaneOf (b);
                const auto scale = avx2IsShifted (lane / 8) ? 256u : 1u;
                multipliers[lane] = jump.multiplier * scale;
                increments[lane] = jump.increment * scale;
            }
        }

        alignas (32) juce::uint32 multipliers[avx2BlockSize] {};
        alignas (32) juce::uint32 increments[avx2BlockSize] {};
    };

    constexpr LaneJumps avx2LaneJumps;
}

void Keystream::apply (juce::uint32& state, const juce::uint8* source, juce::uint8* dest, size_t numBytes) noexcept
{
    static const auto fastest = getAvailablePaths().back().kernel;
    fastest (state, source, dest, numBytes);
}

std::vector<Keystream::Path> Keystream::getAvailablePaths()
{
    std::vector<Path> paths { { "bytes", applyBytes } };

   #if JUCE_INTEL && JUCE_64BIT
    paths.push_back ({ "sse2", applySse2 });
   #endif

   #if JUCE_INTEL && JUCE_64BIT && (JUCE_GCC || JUCE_CLANG)
    if (hasAvx2())
        paths.push_back ({ "avx2", applyAvx2 });
   #endif

    return paths;
}

void Keystream::applyBytes (juce::uint32& state, const juce::uint8* source, juce::uint8* dest, size_t numBytes) noexcept
{
    auto s = state;

    for (size_t i = 0; i < numBytes; ++i)
    {
        s = step (s);
        dest[i] = (juce::uint8) (source[i] ^ (s >> 16));
    }

    state = s;
}

#if JUCE_INTEL && JUCE_64BIT
void Keystream::applySse2 (juce::uint32& state, const juce::uint8* source, juce::uint8* dest, size_t numBytes) noexcept
{
    size_t i = 0;

    if (numBytes >= sse2BlockSize)
    {
        // SSE2 multiplies 16-bit lanes but has no 32-bit low multiply, and the keystream byte depends only
        // on the state's low 24 bits: so each state is kept as its low 16 bits (low) and bits 16..23 (high,
        // in the low byte of a 16-bit lane), eight states to a vector. With a = aHigh 2^16 + aLow:
        //   low'  = aLow low + c (mod 2^16)
        //   high' = high16 (aLow low) + aLow high + aHigh low + cHigh + carry (mod 2^8)
        // Lane j of vector v holds the state of byte 8 v + j of the block.
        constexpr size_t numVectors = sse2BlockSize / 8;
        alignas (16) juce::uint16 lows[sse2BlockSize], highs[sse2BlockSize];

        for (size_t b = 0; b < sse2BlockSize; ++b)
        {
            const auto laneState = jumpFor (b + 1) (state);
            lows[b] = (juce::uint16) laneState;
            highs[b] = (juce::uint16) ((laneState >> 16) & 0xff);
        }

        __m128i low[numVectors], high[numVectors];

        for (size_t v = 0; v < numVectors; ++v)
        {
            low[v] = _mm_load_si128 (reinterpret_cast<const __m128i*> (lows + 8 * v));
            high[v] = _mm_load_si128 (reinterpret_cast<const __m128i*> (highs + 8 * v));
        }

        const auto aLow = _mm_set1_epi16 ((short) (sse2Jump.multiplier & 0xffff));
        const auto aHigh = _mm_set1_epi16 ((short) ((sse2Jump.multiplier >> 16) & 0xff));
        const auto cLow = _mm_set1_epi16 ((short) (sse2Jump.increment & 0xffff));
        const auto cHigh = _mm_set1_epi16 ((short) ((sse2Jump.increment >> 16) & 0xff));
        // Unsigned 16-bit comparison through the signed one: flip the top bits of both sides.
        const auto signBit = _mm_set1_epi16 (-32768);
        const auto cLowFlipped = _mm_xor_si128 (cLow, signBit);
        const auto lowByte = _mm_set1_epi16 (0xff);

        for (; i + sse2BlockSize <= numBytes; i += sse2BlockSize)
        {
            for (size_t v = 0; v < numVectors; v += 2)
            {
                const auto keystream = _mm_packus_epi16 (_mm_and_si128 (high[v], lowByte), _mm_and_si128 (high[v + 1], lowByte));
                const auto data = _mm_loadu_si128 (reinterpret_cast<const __m128i*> (source + i + 8 * v));
                _mm_storeu_si128 (reinterpret_cast<__m128i*> (dest + i + 8 * v), _mm_xor_si128 (data, keystream));
            }

            for (size_t v = 0; v < numVectors; ++v)
            {
                const auto productLow = _mm_mullo_epi16 (low[v], aLow);
                const auto productHigh = _mm_mulhi_epu16 (low[v], aLow);
                const auto cross = _mm_add_epi16 (_mm_mullo_epi16 (high[v], aLow), _mm_mullo_epi16 (low[v], aHigh));
                low[v] = _mm_add_epi16 (productLow, cLow);

                // The sum wrapped around (a carry into the high part) exactly when it came out below cLow;
                // the comparison gives -1 there.
                const auto carry = _mm_cmpgt_epi16 (cLowFlipped, _mm_xor_si128 (low[v], signBit));
                high[v] = _mm_sub_epi16 (_mm_add_epi16 (_mm_add_epi16 (productHigh, cross), cHigh), carry);
            }
        }

        state = advance (state, i);
    }

    applyBytes (state, source + i, dest + i, numBytes - i);
}
#endif

#if JUCE_INTEL && JUCE_64BIT && (JUCE_GCC || JUCE_CLANG)
bool Keystream::hasAvx2() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports ("avx2") != 0;
}

// Compiled for AVX2 on its own; only called after hasAvx2(). Written without lambdas or helpers, which
// would not inherit the target.
__attribute__ ((target ("avx2")))
void Keystream::applyAvx2 (juce::uint32& state, const juce::uint8* source, juce::uint8* dest, size_t numBytes) noexcept
{
    constexpr size_t numVectors = avx2BlockSize / 8;
    size_t i = 0;

    if (numBytes >= avx2BlockSize)
    {
        const auto start = _mm256_set1_epi32 ((int) state);
        __m256i lanes[numVectors];

        for (size_t v = 0; v < numVectors; ++v)
            lanes[v] = _mm256_add_epi32 (_mm256_mullo_epi32 (start, _mm256_load_si256 (reinterpret_cast<const __m256i*> (avx2LaneJumps.multipliers + 8 * v))),
                                         _mm256_load_si256 (reinterpret_cast<const __m256i*> (avx2LaneJumps.increments + 8 * v)));

        const auto jumpMultiplier = _mm256_set1_epi32 ((int) avx2Jump.multiplier);
        const __m256i jumpIncrements[2] = { _mm256_set1_epi32 ((int) avx2Jump.increment),
                                            _mm256_set1_epi32 ((int) (avx2Jump.increment * 256u)) };
        const auto topByte = _mm256_set1_epi32 ((int) 0xff000000u);

        for (; i + avx2BlockSize <= numBytes; i += avx2BlockSize)
        {
            // The keystream takes enough work per line that the hardware prefetcher alone falls behind
            // memory; asking for the line 8 KiB ahead keeps the reads in flight. A prefetch never faults, so
            // one past the end of the source is harmless.
            _mm_prefetch (reinterpret_cast<const char*> (source + i + avx2PrefetchDistance), _MM_HINT_T0);

            for (size_t g = 0; g < numVectors / 4; ++g)
            {
                // Bytes 2 and 3 of each lane: the keystream of bytes 4 l and 4 l + 1 of the group, then,
                // moved down to bytes 0 and 1, beside those of 4 l + 2 and 4 l + 3.
                const auto low = _mm256_blendv_epi8 (lanes[4 * g], lanes[4 * g + 1], topByte);
                const auto high = _mm256_blendv_epi8 (lanes[4 * g + 2], lanes[4 * g + 3], topByte);
                const auto keystream = _mm256_blend_epi16 (_mm256_srli_epi32 (low, 16), high, 0xaa);
                const auto data = _mm256_loadu_si256 (reinterpret_cast<const __m256i*> (source + i + 32 * g));
                _mm256_storeu_si256 (reinterpret_cast<__m256i*> (dest + i + 32 * g), _mm256_xor_si256 (data, keystream));
            }

            for (size_t v = 0; v < numVectors; ++v)
                lanes[v] = _mm256_add_epi32 (_mm256_mullo_epi32 (lanes[v], jumpMultiplier), jumpIncrements[v % 2]);
        }

        state = advance (state, i);
    }

    applyBytes (state, source + i, dest + i, numBytes - i);
}
#endif

} // namespace Crypto
