#pragma once

#include "monolith/CryptoKeystream.h"

namespace Crypto
{

/** A forward-only stream that descrambles the bytes of its source with the monolith keystream.

    The keystream is a 32-bit linear congruential generator: before each byte the state steps
    s <- s * 214013 + 2531011 and the byte is XORed with bits 16..23 of the new state. The chunk
    walk sets keystreamState at the start of every chunk.
*/
class InputStream : public juce::InputStream
{
public:
    InputStream (juce::InputStream* sourceStream, bool takeOwnership);
    ~InputStream() override;

    juce::int64 getTotalLength() override;
    bool isExhausted() override;
    int read (void* destBuffer, int maxBytesToRead) override;
    juce::int64 getPosition() override;

    /** Not supported: the keystream cannot be re-synchronised without knowing where it started. */
    bool setPosition (juce::int64 newPosition) override;

    /** The stream that supplies the scrambled bytes. */
    juce::InputStream& getSource() const noexcept       { return *source; }

    static constexpr juce::uint32 multiplier = Keystream::multiplier;
    static constexpr juce::uint32 increment = Keystream::increment;

    /** The state after numSteps keystream steps from state, in time logarithmic in numSteps. */
    static juce::uint32 advance (juce::uint32 state, juce::uint64 numSteps) noexcept;

    /** XORs numBytes bytes with the keystream that follows state, and leaves state after the last byte.
        Scrambling and descrambling are the same operation.
    */
    static void applyKeystream (juce::uint32& state, void* data, size_t numBytes) noexcept;

    juce::uint32 keystreamState = 0;

    class Subregion;

private:
    juce::OptionalScopedPointer<juce::InputStream> source;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InputStream)
};

} // namespace Crypto

#include "monolith/CryptoInputStreamSubregion.h"
