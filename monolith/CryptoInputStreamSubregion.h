#pragma once

#include "monolith/CryptoInputStream.h"

namespace Crypto
{

/** A bounded, seekable, descrambling view of one chunk's payload. Positions and lengths are relative
    to the payload's first byte. Destroying it destroys the parent stream and closes the file.
*/
class InputStream::Subregion : public juce::InputStream
{
public:
    Subregion (std::unique_ptr<Crypto::InputStream> parentStream, juce::int64 payloadStartPosition,
               juce::int64 payloadLengthInBytes, juce::uint32 stateBeforePayload);
    ~Subregion() override;

    juce::int64 getTotalLength() override;
    bool isExhausted() override;
    int read (void* destBuffer, int maxBytesToRead) override;
    juce::int64 getPosition() override;

    /** Moves to a payload position and re-synchronises the keystream without reading.
        Negative positions are refused; positions at or beyond the end leave nothing to read.
    */
    bool setPosition (juce::int64 newPosition) override;

private:
    juce::OptionalScopedPointer<Crypto::InputStream> parent;
    juce::int64 payloadStart, payloadLength;
    juce::uint32 payloadStartState;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Subregion)
};

} // namespace Crypto
