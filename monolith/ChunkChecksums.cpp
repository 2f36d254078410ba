#include "monolith/ChunkChecksums.h"
#include "monolith/Crc32.h"
#include "monolith/CryptoKeystream.h"
#include "monolith/EntryNames.h"
#include "monolith/MonolithStructure.h"

#include <limits>

namespace
{
    // Payload layout, little-endian: CRC-32 of everything after it, format version, record count,
    // then the records.
    constexpr size_t payloadHeaderSize = 12;

    // offset, size, key, type, CRC, name length; the name's bytes follow.
    constexpr size_t recordFixedSize = 8 + 8 + 8 + 4 + 4 + 2;

    juce::uint32 crcOf (const juce::uint8* data, size_t numBytes) noexcept
    {
        return Crc32::of (data, numBytes);
    }

    bool readFully (juce::InputStream& in, juce::uint8* dest, size_t numBytes)
    {
        while (numBytes > 0)
        {
            const auto numRead = in.read (dest, (int) juce::jmin (numBytes, (size_t) (1 << 20)));

            if (numRead <= 0)
                return false;

            dest += numRead;
            numBytes -= (size_t) numRead;
        }

        return true;
    }

    juce::String byteOffset (juce::int64 offset)
    {
        return "byte " + juce::String (offset);
    }
}

juce::String ChunkChecksums::Record::describe() const
{
    if (name.isNotEmpty())
        return name;

    if (type == ChunkType::stateTree && key == 0)
        return "state tree";

    if (type == ChunkType::checksums && key == entryKey)
        return "checksum entry";

    return getChunkTypeName (type) + " entry 0x" + juce::String::toHexString (key).paddedLeft ('0', 16).toUpperCase();
}

ChunkChecksums::ChunkChecksums (std::vector<Record> recordsInFileOrder)
    : records (std::move (recordsInFileOrder))
{
}

ChunkChecksums::ChunkChecksums (Status newStatus, const juce::String& whatIsWrong)
    : status (newStatus), problem (whatIsWrong)
{
}

juce::MemoryBlock ChunkChecksums::toPayload() const
{
    juce::MemoryOutputStream out;
    out.writeInt (0);   // the checksum, filled in below
    out.writeInt ((int) formatVersion);
    out.writeInt ((int) records.size());

    for (const auto& record : records)
    {
        // A name too long for its length field is left out rather than cut inside a character.
        const auto name = record.name.toUTF8();
        const auto nameBytes = name.sizeInBytes() - 1 <= std::numeric_limits<juce::uint16>::max() ? name.sizeInBytes() - 1 : 0;

        out.writeInt64 (record.offset);
        out.writeInt64 (record.size);
        out.writeInt64 (record.key);
        out.writeInt (record.type);
        out.writeInt ((int) record.crc);
        out.writeShort ((short) nameBytes);
        out.write (name.getAddress(), nameBytes);
    }

    auto payload = out.getMemoryBlock();
    auto* bytes = static_cast<juce::uint8*> (payload.getData());
    const auto crc = juce::ByteOrder::swapIfBigEndian (crcOf (bytes + 4, payload.getSize() - 4));
    memcpy (bytes, &crc, 4);
    return payload;
}

ChunkChecksums ChunkChecksums::parse (const juce::uint8* payload, size_t size)
{
    if (size < payloadHeaderSize)
        return { Status::damaged, "the checksum entry is cut short" };

    if (crcOf (payload + 4, size - 4) != juce::ByteOrder::littleEndianInt (payload))
        return { Status::damaged, "the checksum entry fails its own checksum" };

    const auto version = juce::ByteOrder::littleEndianInt (payload + 4);

    if (version != formatVersion)
        return { Status::unknownVersion, "the checksum entry has format version " + juce::String (version) };

    const auto count = juce::ByteOrder::littleEndianInt (payload + 8);
    std::vector<Record> records;
    records.reserve (juce::jmin ((size_t) count, size / recordFixedSize));
    juce::int64 previousEnd = 0;
    size_t position = payloadHeaderSize;

    for (juce::uint32 i = 0; i < count; ++i)
    {
        if (size - position < recordFixedSize)
            return { Status::damaged, "the checksum entry is cut short" };

        const auto* fields = payload + position;
        Record record;
        record.offset = (juce::int64) juce::ByteOrder::littleEndianInt64 (fields);
        record.size = (juce::int64) juce::ByteOrder::littleEndianInt64 (fields + 8);
        record.key = (juce::int64) juce::ByteOrder::littleEndianInt64 (fields + 16);
        record.type = (juce::int32) juce::ByteOrder::littleEndianInt (fields + 24);
        record.crc = juce::ByteOrder::littleEndianInt (fields + 28);
        const auto nameBytes = (size_t) juce::ByteOrder::littleEndianShort (fields + 32);
        position += recordFixedSize;

        if (size - position < nameBytes)
            return { Status::damaged, "the checksum entry is cut short" };

        const auto* name = reinterpret_cast<const char*> (payload + position);
        position += nameBytes;

        if (! juce::CharPointer_UTF8::isValidString (name, (int) nameBytes))
            return { Status::damaged, "the checksum entry holds a name that is not UTF-8" };

        record.name = juce::String::fromUTF8 (name, (int) nameBytes);

        // Chunks follow one another: every record starts at or after the end of the one before.
        if (record.offset < previousEnd || record.size < ChunkWalk::keySize
             || record.size > std::numeric_limits<juce::int64>::max() - record.offset - ChunkWalk::headerSize)
            return { Status::damaged, "the checksum entry holds an impossible record at " + byteOffset (record.offset) };

        if (record.name.isNotEmpty() && EntryNames::keyOf (record.name) != record.key)
            return { Status::damaged, "the checksum entry names " + record.name + " for another key" };

        previousEnd = record.getEnd();
        records.push_back (std::move (record));
    }

    if (position != size)
        return { Status::damaged, "the checksum entry has bytes after its last record" };

    return ChunkChecksums (std::move (records));
}

ChunkChecksums ChunkChecksums::load (juce::InputStream& monolith, const MonolithStructure& structure)
{
    if (! structure.isComplete())
        return { Status::unreadable, "the monolith is incomplete or damaged" };

    const auto& header = structure.getChecksumEntry();

    if (! header.has_value())
        return { Status::absent, "the monolith carries no checksums" };

    if (header->getPayloadLength() > maxPayloadSize)
        return { Status::damaged, "the checksum entry is larger than " + juce::String (maxPayloadSize) + " bytes" };

    // The entry's stored bytes: their checksum lets the verifier check the entry itself as it passes.
    const auto chunkSize = (size_t) (header->getEnd() - header->start);
    juce::HeapBlock<juce::uint8> chunk (chunkSize);

    if (! monolith.setPosition (header->start) || ! readFully (monolith, chunk, chunkSize))
        return { Status::unreadable, "the checksum entry cannot be read" };

    const auto storedCrc = crcOf (chunk, chunkSize);
    auto* payload = chunk + (ChunkWalk::headerSize + ChunkWalk::keySize);
    const auto payloadSize = (size_t) header->getPayloadLength();
    auto state = header->getPayloadState();
    Crypto::Keystream::apply (state, payload, payload, payloadSize);

    auto checksums = parse (payload, payloadSize);

    if (! checksums.isLoaded())
        return checksums;

    checksums.entry = { header->start, header->size, header->getKey(), header->type, storedCrc, {} };

    // A file cut short after a whole chunk is complete to the header walk; its checksum entry still
    // lists what is missing.
    const auto listedEnd = juce::jmax (checksums.entry.getEnd(), checksums.records.empty() ? 0 : checksums.records.back().getEnd());
    const auto fileLength = monolith.getTotalLength();

    if (listedEnd > fileLength)
        return { Status::damaged, "expected " + juce::String (listedEnd) + " bytes, found " + juce::String (fileLength)
                                    + " (the checksum entry lists chunks up to " + byteOffset (listedEnd) + ")" };

    const auto mismatch = checksums.findMismatch (monolith);

    if (mismatch.isNotEmpty())
        return { Status::damaged, mismatch };

    return checksums;
}

ChunkChecksums ChunkChecksums::load (const juce::File& monolith)
{
    juce::FileInputStream stream (monolith);

    if (! stream.openedOk())
        return { Status::unreadable, "the monolith cannot be opened" };

    const auto structure = MonolithStructure::of (stream);
    return load (stream, structure);
}

juce::String ChunkChecksums::findMismatch (juce::InputStream& monolith) const
{
    ChunkWalk walk (monolith);
    ChunkWalk::Header header;
    size_t next = 0;

    const auto missing = [this] (size_t index)
    {
        return "the checksum entry lists a chunk at " + byteOffset (records[index].offset) + " that the file does not have";
    };

    while (walk.next (header))
    {
        if (header.start == entry.offset)
            continue;

        if (next < records.size() && records[next].offset < header.start)
            return missing (next);

        if (next == records.size() || records[next].offset != header.start)
            return "the chunk at " + byteOffset (header.start) + " has no checksum";

        const auto& record = records[next++];

        if (record.size != header.size || record.type != header.type || record.key != header.getKey())
            return "the chunk at " + byteOffset (header.start) + " is not the " + record.describe() + " that its checksum is for";
    }

    if (walk.getEnd() != ChunkWalk::End::endOfFile)
        return "the chunk headers cannot be walked to the end of the file";

    return next < records.size() ? missing (next) : juce::String();
}
