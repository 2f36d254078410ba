#include "monolith/CryptoInputStream.h"

namespace Crypto
{

namespace
{
    constexpr juce::uint32 step (juce::uint32 state) noexcept
    {
        return state * InputStream::multiplier + InputStream::increment;
    }

    // The keystream is run in this many interleaved lanes, each stepping numLanes positions at once,
    // so that the per-byte multiply-adds are independent and the compiler can vectorise them.
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

    if (numBytes >= 2 * numLanes)
    {
        // lanes[j] is the state that scrambles byte i + j.
        juce::uint32 lanes[numLanes];
        auto s = state;

        for (auto& lane : lanes)
            lane = s = step (s);

        for (; i + numLanes <= numBytes; i += numLanes)
        {
            for (size_t j = 0; j < numLanes; ++j)
                bytes[i + j] ^= (juce::uint8) (lanes[j] >> 16);

            state = lanes[numLanes - 1];

            for (auto& lane : lanes)
                lane = lane * laneJump.multiplier + laneJump.increment;
        }
    }

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
