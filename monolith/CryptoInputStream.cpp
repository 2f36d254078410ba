#include "monolith/CryptoInputStream.h"

namespace Crypto
{

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
    return Keystream::advance (state, numSteps);
}

void InputStream::applyKeystream (juce::uint32& state, void* data, size_t numBytes) noexcept
{
    auto* bytes = static_cast<juce::uint8*> (data);
    Keystream::apply (state, bytes, bytes, numBytes);
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
