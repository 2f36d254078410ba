#include "monolith/MonolithWriter.h"
#include "monolith/Crc32.h"
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

        if (! writeStored (buffer.get(), numInBlock))
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

    chunkStart = out.getPosition();
    chunkCrc = Crc32::initial;
    const auto storedSeed = juce::ByteOrder::swapIfBigEndian (seed);
    state = seed;
    return writeStored (&storedSeed, sizeof (storedSeed)) && writeScrambled (state, header.getData(), header.getDataSize());
}

bool MonolithWriter::writeStored (const void* data, size_t numBytes)
{
    chunkCrc = Crc32::update (chunkCrc, data, numBytes);
    return out.write (data, numBytes);
}

void MonolithWriter::finishChunk (juce::int32 type, juce::int64 key, juce::int64 numBytes)
{
    written.push_back ({ chunkStart, numBytes + ChunkWalk::keySize, key, type, chunkCrc, {} });
}

bool MonolithWriter::writeChunk (juce::uint32 seed, juce::int32 type, juce::int64 key, const void* payload, size_t numBytes)
{
    juce::uint32 state;

    if (! writeHeader (state, seed, type, key, (juce::int64) numBytes) || ! writeScrambled (state, payload, numBytes))
        return false;

    finishChunk (type, key, (juce::int64) numBytes);
    return true;
}

bool MonolithWriter::writeChunk (juce::uint32 seed, juce::int32 type, juce::int64 key, juce::InputStream& payload, juce::int64 numBytes)
{
    juce::uint32 state;
    const auto size = numBytes;

    if (! writeHeader (state, seed, type, key, numBytes))
        return false;

    juce::HeapBlock<char> buffer (65536);

    while (numBytes > 0)
    {
        const auto numRead = payload.read (buffer.get(), (int) juce::jmin (numBytes, (juce::int64) 65536));

        if (numRead <= 0)
            return false;

        Crypto::InputStream::applyKeystream (state, buffer.get(), (size_t) numRead);

        if (! writeStored (buffer.get(), (size_t) numRead))
            return false;

        numBytes -= numRead;
    }

    finishChunk (type, key, size);
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
    if (! writeChunk (seed, type, EntryNames::keyOf (name), payload.getData(), payload.getSize()))
        return false;

    written.back().name = name;
    return true;
}

bool MonolithWriter::writeEntry (ChunkType type, const juce::String& name, juce::InputStream& payload, juce::uint32 seed)
{
    const auto numBytes = payload.getNumBytesRemaining();

    if (numBytes < 0)
        return false;

    if (! writeChunk (seed, type, EntryNames::keyOf (name), payload, numBytes))
        return false;

    written.back().name = name;
    return true;
}

bool MonolithWriter::reserveChecksums (const juce::StringArray& names, juce::uint32 seed)
{
    std::vector<ChunkChecksums::Record> planned;

    for (const auto& name : names)
        planned.push_back ({ 0, 0, 0, 0, 0, name });

    reserved = { out.getPosition(), seed, ChunkChecksums (planned).toPayload().getSize() };
    const juce::HeapBlock<char> room (reserved.payloadSize, true);

    if (! writeChunk (seed, ChunkType::checksums, ChunkChecksums::entryKey, room, reserved.payloadSize))
        return false;

    // The checksum entry covers every chunk but itself.
    written.pop_back();
    return true;
}

bool MonolithWriter::writeChecksums (juce::uint32 seed)
{
    const auto payload = ChunkChecksums (written).toPayload();

    if (reserved.offset < 0)
    {
        if (! writeChunk (seed, ChunkType::checksums, ChunkChecksums::entryKey, payload.getData(), payload.getSize()))
            return false;

        written.pop_back();
        return true;
    }

    const auto end = out.getPosition();

    if (payload.getSize() != reserved.payloadSize || ! out.setPosition (reserved.offset)
         || ! writeChunk (reserved.seed, ChunkType::checksums, ChunkChecksums::entryKey, payload.getData(), payload.getSize()))
        return false;

    written.pop_back();
    return out.setPosition (end);
}
