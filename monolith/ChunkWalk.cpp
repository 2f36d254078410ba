#include "monolith/ChunkWalk.h"
#include "monolith/CryptoKeystream.h"

namespace
{
    // The first window after a payload is small: a monolith of large entries reads little more than its
    // headers. Each window that small chunks used up is followed by one twice as large, so a long run of
    // them costs few reads.
    constexpr juce::int64 smallestWindow = 16384;
    constexpr juce::int64 largestWindow = 1 << 17;

    /** The keystream over a chunk header straight from the seed: byte k is taken from the state k + 1
        steps on, one independent multiply-add each instead of a chain of them.
    */
    struct HeaderKeystream
    {
        static constexpr int numBytes = (int) (ChunkWalk::headerSize - 4 + ChunkWalk::keySize);

        constexpr HeaderKeystream()
        {
            for (int k = 0; k < numBytes; ++k)
                jumps[k] = Crypto::Keystream::jumpFor ((juce::uint64) k + 1);
        }

        /** Keystream bytes first .. first + count - 1 after the seed, packed little-endian: the value to
            XOR with a scrambled field, without a round trip through memory.
        */
        juce::uint64 bytes (juce::uint32 seed, int first, int count) const noexcept
        {
            juce::uint64 packed = 0;

            for (int k = 0; k < count; ++k)
                packed |= (juce::uint64) ((jumps[first + k] (seed) >> 16) & 0xff) << (8 * k);

            return packed;
        }

        Crypto::Keystream::Jump jumps[numBytes] {};
    };

    constexpr HeaderKeystream headerKeystream;
}

juce::uint32 ChunkWalk::Header::getPayloadState() const noexcept
{
    // The payload continues the keystream after the key.
    return Crypto::Keystream::advance (seed, (juce::uint64) HeaderKeystream::numBytes);
}

juce::int64 ChunkWalk::Header::getKey() const noexcept
{
    return hasKey() ? (juce::int64) (storedKey ^ headerKeystream.bytes (seed, 12, 8)) : 0;
}

bool ChunkWalk::Header::holdsKey (juce::int64 key) const noexcept
{
    if (! hasKey())
        return key == 0;

    const auto difference = storedKey ^ (juce::uint64) key;

    for (int k = 0; k < keySize; ++k)
        if (((difference >> (8 * k)) & 0xff) != headerKeystream.bytes (seed, 12 + k, 1))
            return false;

    return true;
}

ChunkWalk::ChunkWalk (juce::InputStream& sourceStream)
    : source (sourceStream),
      fileLength (sourceStream.getTotalLength())
{
    if (fileLength < 0)
        end = End::unreadable;
}

bool ChunkWalk::stop (End reason) noexcept
{
    end = reason;
    return false;
}

bool ChunkWalk::refillWindow (juce::int64 chunkStart, juce::int64 windowEndNeeded)
{
    const auto runsOn = chunkStart < windowEnd;
    windowSize = runsOn ? juce::jmin (2 * windowSize, largestWindow) : smallestWindow;

    if (windowSize > allocatedSize)
    {
        window.realloc ((size_t) windowSize);
        allocatedSize = windowSize;
    }

    if (! source.setPosition (chunkStart))
        return false;

    windowStart = windowEnd = chunkStart;

    while (windowEnd < windowEndNeeded)
    {
        const auto numRead = source.read (window + (windowEnd - windowStart), (int) (windowSize - (windowEnd - windowStart)));

        if (numRead <= 0)
            return false;

        windowEnd += numRead;
    }

    return true;
}

bool ChunkWalk::next (Header& header)
{
    if (end != End::notYet)
        return false;

    header = { position };

    if (position == fileLength)
        return stop (End::endOfFile);

    const auto remainingAfterHeader = fileLength - position - headerSize;

    // A header cut short by the end of the file cannot be trusted.
    if (remainingAfterHeader < 0)
        return stop (End::cutShortHeader);

    const auto headerEnd = position + headerSize + juce::jmin (keySize, remainingAfterHeader);

    // The walk only moves forward, so a header is either in the window or after it.
    if (headerEnd > windowEnd && ! refillWindow (position, headerEnd))
        return stop (End::unreadable);

    // Decoded into locals first: the window's bytes may alias anything, the header included.
    const auto* bytes = window + (position - windowStart);
    const auto seed = juce::ByteOrder::littleEndianInt (bytes);
    const auto type = (juce::int32) (juce::ByteOrder::littleEndianInt (bytes + 4) ^ (juce::uint32) headerKeystream.bytes (seed, 0, 4));
    const auto size = (juce::int64) (juce::ByteOrder::littleEndianInt64 (bytes + 8) ^ headerKeystream.bytes (seed, 4, 8));
    const auto storedKey = size >= keySize ? juce::ByteOrder::littleEndianInt64 (bytes + 16) : 0;
    header = { position, seed, type, size, storedKey };

    if (size < 0)
        return stop (End::negativeSize);

    if (size > remainingAfterHeader)
        return stop (End::pastTheEnd);

    position = header.getEnd();
    return true;
}
