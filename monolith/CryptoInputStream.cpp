#include "monolith/CryptoInputStream.h"

#if defined (__SSE2__) || defined (_M_X64)
 #include <emmintrin.h>
#endif

namespace Crypto
{

namespace
{
    constexpr juce::uint32 step (juce::uint32 state) noexcept
    {
        return state * InputStream::multiplier + InputStream::increment;
    }

    // Blocks are descrambled in this many interleaved lanes, each stepping numLanes positions at once,
    // so that the multiply-adds are independent and run in vector registers.
    constexpr size_t numLanes = 16;

    struct Jump
    {
        juce::uint32 multiplier, increment;
    };

    constexpr Jump jumpFor (juce::uint64 numSteps) noexcept
    {
        // Composing x -> a x + c with itself: square-and-multiply over the bits of numSteps.
        Jump result { 1, 0 };
        Jump power { InputStream::multiplier, InputStream::increment };

        while (numSteps != 0)
        {
            if ((numSteps & 1) != 0)
                result = { result.multiplier * power.multiplier, result.increment * power.multiplier + power.increment };

            power = { power.multiplier * power.multiplier, power.increment * (power.multiplier + 1) };
            numSteps >>= 1;
        }

        return result;
    }

    constexpr Jump laneJump = jumpFor (numLanes);
}

InputStream::InputStream (juce::InputStream* sourceStream, bool takeOwnership)
    : source (sourceStream, takeOwnership)
{
}

InputStream::~InputStream() = default;

juce::int64 InputStream::getTotalLength()   { return source->getTotalLength(); }
bool InputStream::isExhausted()             { return source->isExhausted(); }
juce::int64 InputStream::getPosition()      { return source->getPosition(); }
bool InputStream::setPosition (juce::int64) { return false; }

int InputStream::read (void* destBuffer, int maxBytesToRead)
{
    const auto numRead = source->read (destBuffer, maxBytesToRead);

    if (numRead > 0)
        applyKeystream (keystreamState, destBuffer, (size_t) numRead);

    return numRead;
}

juce::uint32 InputStream::advance (juce::uint32 state, juce::uint64 numSteps) noexcept
{
    const auto jump = jumpFor (numSteps);
    return state * jump.multiplier + jump.increment;
}

void InputStream::applyKeystream (juce::uint32& state, void* data, size_t numBytes) noexcept
{
    auto* bytes = static_cast<juce::uint8*> (data);
    size_t i = 0;

   #if defined (__SSE2__) || defined (_M_X64)
    if (numBytes >= 2 * numLanes)
    {
        // Sixteen lanes in four vectors; lane j holds the state that scrambles byte i + j.
        alignas (16) juce::uint32 initial[numLanes];
        auto s = state;

        for (auto& lane : initial)
            lane = s = step (s);

        __m128i lanes[4];

        for (int v = 0; v < 4; ++v)
            lanes[v] = _mm_load_si128 (reinterpret_cast<const __m128i*> (initial + 4 * v));

        const auto jumpMultiplier = _mm_set1_epi32 ((int) laneJump.multiplier);
        const auto jumpIncrement = _mm_set1_epi32 ((int) laneJump.increment);
        const auto lowByte = _mm_set1_epi32 (0xff);

        // SSE2 has no 32-bit low multiply: multiply the even and the odd lanes as 64-bit products.
        const auto multiply = [jumpMultiplier] (__m128i x)
        {
            const auto even = _mm_mul_epu32 (x, jumpMultiplier);
            const auto odd = _mm_mul_epu32 (_mm_srli_epi64 (x, 32), _mm_srli_epi64 (jumpMultiplier, 32));
            return _mm_unpacklo_epi32 (_mm_shuffle_epi32 (even, _MM_SHUFFLE (0, 0, 2, 0)),
                                       _mm_shuffle_epi32 (odd, _MM_SHUFFLE (0, 0, 2, 0)));
        };

        for (; i + numLanes <= numBytes; i += numLanes)
        {
            __m128i keys[4];

            for (int v = 0; v < 4; ++v)
            {
                keys[v] = _mm_and_si128 (_mm_srli_epi32 (lanes[v], 16), lowByte);
                lanes[v] = _mm_add_epi32 (multiply (lanes[v]), jumpIncrement);
            }

            const auto keystream = _mm_packus_epi16 (_mm_packs_epi32 (keys[0], keys[1]), _mm_packs_epi32 (keys[2], keys[3]));
            auto* block = reinterpret_cast<__m128i*> (bytes + i);
            _mm_storeu_si128 (block, _mm_xor_si128 (_mm_loadu_si128 (block), keystream));
        }

        state = advance (state, i);
    }
   #endif

    for (; i < numBytes; ++i)
    {
        state = step (state);
        bytes[i] ^= (juce::uint8) (state >> 16);
    }
}

//==============================================================================
InputStream::Subregion::Subregion (std::unique_ptr<Crypto::InputStream> parentStream, juce::int64 payloadStartPosition,
                                   juce::int64 payloadLengthInBytes, juce::uint32 stateBeforePayload)
    : parent (std::move (parentStream)),
      payloadStart (payloadStartPosition),
      payloadLength (payloadLengthInBytes),
      payloadStartState (stateBeforePayload)
{
}

InputStream::Subregion::~Subregion() = default;

juce::int64 InputStream::Subregion::getTotalLength()
{
    return payloadLength;
}

bool InputStream::Subregion::isExhausted()
{
    return parent->getSource().isExhausted() || getPosition() >= payloadLength;
}

juce::int64 InputStream::Subregion::getPosition()
{
    return parent->getSource().getPosition() - payloadStart;
}

int InputStream::Subregion::read (void* destBuffer, int maxBytesToRead)
{
    // 64 bits: a payload may be larger than what an int can count.
    const auto remaining = payloadLength - getPosition();

    if (remaining <= 0 || maxBytesToRead <= 0)
        return 0;

    const auto numToRead = (int) juce::jmin ((juce::int64) maxBytesToRead, remaining);
    const auto numRead = parent->getSource().read (destBuffer, numToRead);

    if (numRead > 0)
        applyKeystream (parent->keystreamState, destBuffer, (size_t) numRead);

    return numRead;
}

bool InputStream::Subregion::setPosition (juce::int64 newPosition)
{
    if (newPosition < 0 || newPosition > std::numeric_limits<juce::int64>::max() - payloadStart)
        return false;

    auto& file = parent->getSource();
    const auto target = payloadStart + newPosition;
    const auto delta = target - file.getPosition();

    const auto newState = delta >= 0 ? advance (parent->keystreamState, (juce::uint64) delta)
                                     : advance (payloadStartState, (juce::uint64) newPosition);

    if (! file.setPosition (target))
        return false;

    parent->keystreamState = newState;
    return true;
}

} // namespace Crypto
