#include "monolith/MonolithWriter.h"
#include "monolith/CryptoInputStream.h"
#include "monolith/EntryNames.h"

MonolithWriter::MonolithWriter (juce::OutputStream& destination)
    : out (destination)
{
}

juce::uint32 MonolithWriter::randomSeed()
{
    juce::Random random;
    return (juce::uint32) random.nextInt();
}

bool MonolithWriter::writeScrambled (juce::uint32& state, const void* data, size_t numBytes)
{
    juce::HeapBlock<char> buffer (juce::jmin (numBytes, (size_t) 65536));
    auto* source = static_cast<const char*> (data);

    while (numBytes > 0)
    {
        const auto numInBlock = juce::jmin (numBytes, (size_t) 65536);
        memcpy (buffer.get(), source, numInBlock);
        Crypto::InputStream::applyKeystream (state, buffer.get(), numInBlock);

        if (! out.write (buffer.get(), numInBlock))
            return false;

        source += numInBlock;
        numBytes -= numInBlock;
    }

    return true;
}

bool MonolithWriter::writeHeader (juce::uint32& state, juce::uint32 seed, juce::int32 type, juce::int64 key, juce::int64 numBytes)
{
    if (numBytes < 0 || numBytes > std::numeric_limits<juce::int64>::max() - 8)
        return false;

    juce::MemoryOutputStream header;
    header.writeInt (type);
    header.writeInt64 (numBytes + 8);
    header.writeInt64 (key);

    state = seed;
    return out.writeInt ((int) seed) && writeScrambled (state, header.getData(), header.getDataSize());
}

bool MonolithWriter::writeChunk (juce::uint32 seed, juce::int32 type, juce::int64 key, const void* payload, size_t numBytes)
{
    juce::uint32 state;
    return writeHeader (state, seed, type, key, (juce::int64) numBytes)
        && writeScrambled (state, payload, numBytes);
}

bool MonolithWriter::writeChunk (juce::uint32 seed, juce::int32 type, juce::int64 key, juce::InputStream& payload, juce::int64 numBytes)
{
    juce::uint32 state;

    if (! writeHeader (state, seed, type, key, numBytes))
        return false;

    juce::HeapBlock<char> buffer (65536);

    while (numBytes > 0)
    {
        const auto numRead = payload.read (buffer.get(), (int) juce::jmin (numBytes, (juce::int64) 65536));

        if (numRead <= 0)
            return false;

        Crypto::InputStream::applyKeystream (state, buffer.get(), (size_t) numRead);

        if (! out.write (buffer.get(), (size_t) numRead))
            return false;

        numBytes -= numRead;
    }

    return true;
}

bool MonolithWriter::writeState (const juce::ValueTree& state, juce::uint32 seed)
{
    juce::MemoryOutputStream data;
    state.writeToStream (data);
    return writeChunk (seed, ChunkType::stateTree, 0, data.getData(), data.getDataSize());
}

bool MonolithWriter::writeEntry (ChunkType type, const juce::String& name, const juce::MemoryBlock& payload, juce::uint32 seed)
{
    return writeChunk (seed, type, EntryNames::keyOf (name), payload.getData(), payload.getSize());
}

bool MonolithWriter::writeEntry (ChunkType type, const juce::String& name, juce::InputStream& payload, juce::uint32 seed)
{
    const auto numBytes = payload.getNumBytesRemaining();

    if (numBytes < 0)
        return false;

    return writeChunk (seed, type, EntryNames::keyOf (name), payload, numBytes);
}
