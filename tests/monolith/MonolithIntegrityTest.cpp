// The structural check over every chunk header, the checksum entry and the verifier that the installation
// feeds with the monolith's stored bytes as it copies them.

#include "RandomBytes.h"
#include "monolith/ChecksumVerifier.h"
#include "monolith/MonolithReader.h"
#include "monolith/MonolithStructure.h"
#include "monolith/MonolithWriter.h"

#include <gtest/gtest.h>

#include <limits>
#include <zlib.h>

namespace
{
    struct Entry
    {
        ChunkType type;
        const char* name;
        juce::MemoryBlock payload;
    };

    /** A state tree and named entries, one of them twice, as pack writes them. */
    const std::vector<Entry>& getEntries()
    {
        static const std::vector<Entry> entries {
            { ChunkType::pngImage, "SCREENSHOT", randomBytes (3000, 1) },
            { ChunkType::binary, "PLUGIN_BINARY_VST3_WIN64", randomBytes (150000, 2) },
            { ChunkType::binary, "EXTRA", randomBytes (17, 3) },
            { ChunkType::binary, "EXTRA", randomBytes (40, 4) },
        };

        return entries;
    }

    enum class Checksums { none, first, last };

    juce::MemoryBlock makeMonolith (Checksums checksums)
    {
        juce::MemoryOutputStream out;
        MonolithWriter writer (out);
        juce::StringArray names { juce::String() };
        juce::uint32 seed = 100;

        for (const auto& entry : getEntries())
            names.add (entry.name);

        if (checksums == Checksums::first)
        {
            EXPECT_TRUE (writer.reserveChecksums (names, seed++));
        }

        juce::ValueTree state ("SAMBREL_STATE");
        state.appendChild (juce::ValueTree ("INSTRUMENT", { { "instrumentName", "Beta" } }), nullptr);
        EXPECT_TRUE (writer.writeState (state, seed++));

        for (const auto& entry : getEntries())
            EXPECT_TRUE (writer.writeEntry (entry.type, entry.name, entry.payload, seed++));

        if (checksums != Checksums::none)
        {
            EXPECT_TRUE (writer.writeChecksums (seed++));
        }

        return out.getMemoryBlock();
    }

    /** The chunk headers of a monolith, as the walk reads them. */
    std::vector<ChunkWalk::Header> headersOf (const juce::MemoryBlock& monolith)
    {
        juce::MemoryInputStream in (monolith, false);
        ChunkWalk walk (in);
        std::vector<ChunkWalk::Header> headers;
        ChunkWalk::Header header;

        while (walk.next (header))
            headers.push_back (header);

        EXPECT_EQ (walk.getEnd(), ChunkWalk::End::endOfFile);
        return headers;
    }

    juce::MemoryBlock cutTo (const juce::MemoryBlock& block, size_t size)
    {
        return { block.getData(), juce::jmin (size, block.getSize()) };
    }

    juce::MemoryBlock withByteFlipped (juce::MemoryBlock block, juce::int64 index, int mask = 0x40)
    {
        block[(size_t) index] = (char) (block[(size_t) index] ^ mask);
        return block;
    }

    juce::MemoryBlock joined (juce::MemoryBlock first, const juce::MemoryBlock& second)
    {
        first.append (second.getData(), second.getSize());
        return first;
    }

    /** A chunk exactly as given, including sizes that a writer would never produce. */
    juce::MemoryBlock rawChunk (juce::uint32 seed, juce::int32 type, juce::int64 size, const juce::MemoryBlock& rest)
    {
        juce::MemoryOutputStream plain;
        plain.writeInt (type);
        plain.writeInt64 (size);
        plain << rest;

        juce::MemoryBlock scrambled = plain.getMemoryBlock();
        auto state = seed;
        Crypto::InputStream::applyKeystream (state, scrambled.getData(), scrambled.getSize());

        juce::MemoryOutputStream out;
        out.writeInt ((int) seed);
        out << scrambled;
        return out.getMemoryBlock();
    }

    /** Enough small chunks that the walk's window has grown to its largest and been refilled many times
        before the last of them.
    */
    juce::MemoryBlock makeLongRunOfSmallChunks()
    {
        juce::MemoryOutputStream out;
        MonolithWriter writer (out);
        juce::Random random (8);
        const juce::MemoryBlock payload (40, true);

        for (int i = 0; i < 40000; ++i)
            writer.writeChunk ((juce::uint32) random.nextInt(), ChunkType::binary, i, payload.getData(), (size_t) random.nextInt (41));

        return out.getMemoryBlock();
    }

    MonolithStructure structureOf (const juce::MemoryBlock& monolith)
    {
        juce::MemoryInputStream in (monolith, false);
        return MonolithStructure::of (in);
    }

    ChunkChecksums checksumsOf (const juce::MemoryBlock& monolith)
    {
        juce::MemoryInputStream in (monolith, false);
        return ChunkChecksums::load (in, MonolithStructure::of (in));
    }

    /** Feeds `monolith` to a verifier in blocks of `blockSize`, as a copy would, stopping when it fails. */
    struct Verified
    {
        bool intact = false;
        juce::String damage;
        juce::int64 bytesFed = 0;
        juce::uint32 monolithCrc = 0;
    };

    Verified verify (const ChunkChecksums& checksums, const juce::MemoryBlock& monolith, size_t blockSize)
    {
        ChecksumVerifier verifier (checksums);
        Verified result;
        const auto* bytes = static_cast<const char*> (monolith.getData());

        for (size_t done = 0; done < monolith.getSize();)
        {
            const auto numBytes = juce::jmin (blockSize, monolith.getSize() - done);
            result.bytesFed += (juce::int64) numBytes;

            if (! verifier.update (bytes + done, numBytes))
                break;

            done += numBytes;
        }

        result.intact = verifier.finish();
        result.damage = verifier.describeDamage();
        result.monolithCrc = verifier.getMonolithCrc();
        return result;
    }
}

//==============================================================================
TEST (MonolithStructure, CompleteMonolithsWithAndWithoutChecksums)
{
    for (const auto checksums : { Checksums::none, Checksums::first, Checksums::last })
    {
        const auto monolith = makeMonolith (checksums);
        const auto structure = structureOf (monolith);
        const auto length = (juce::int64) monolith.getSize();

        EXPECT_TRUE (structure.isComplete()) << structure.describe();
        EXPECT_EQ (structure.getExpectedBytes(), length);
        EXPECT_EQ (structure.getFoundBytes(), length);
        EXPECT_EQ (structure.describe(), "");
        EXPECT_EQ (structure.getNumChunks(), checksums == Checksums::none ? 5 : 6);
        EXPECT_EQ (structure.getChecksumEntry().has_value(), checksums != Checksums::none);

        if (checksums == Checksums::first)
        {
            EXPECT_EQ (structure.getChecksumEntry()->start, 0);
        }
    }
}

TEST (MonolithStructure, TruncationsAndDamagedHeadersAreReportedWithTheBytesExpectedAndFound)
{
    const auto monolith = makeMonolith (Checksums::none);
    const auto headers = headersOf (monolith);
    const auto length = (juce::int64) monolith.getSize();
    const auto& plugin = headers[2];    // state tree, screenshot, plug-in, ...
    ASSERT_EQ (plugin.getPayloadLength(), 150000);

    const auto keylessChunk = rawChunk (9, ChunkType::binary, 3, juce::MemoryBlock ("abc", 3));
    const auto run = makeLongRunOfSmallChunks();
    const auto runLength = (juce::int64) run.getSize();
    const auto deep = headersOf (run)[35000];
    ASSERT_GT (deep.start, 1 << 20);

    const struct
    {
        const char* name;
        juce::MemoryBlock bytes;
        MonolithStructure::Verdict verdict;
        juce::int64 expected, found;
        juce::String description;
    } cases[] = {
        { "empty file", {}, MonolithStructure::Verdict::incomplete, 24, 0, "expected 24 bytes, found 0 (the file is empty)" },
        { "cut inside the first header", cutTo (monolith, 10), MonolithStructure::Verdict::incomplete, 24, 10,
          "expected 24 bytes, found 10 (the file ends inside the chunk header at byte 0)" },
        { "cut inside a payload", cutTo (monolith, (size_t) plugin.start + 1000), MonolithStructure::Verdict::incomplete,
          plugin.getEnd(), plugin.start + 1000,
          "expected " + juce::String (plugin.getEnd()) + " bytes, found " + juce::String (plugin.start + 1000)
              + " (the chunk at byte " + juce::String (plugin.start) + " runs past the end of the file)" },
        { "last byte missing", cutTo (monolith, (size_t) length - 1), MonolithStructure::Verdict::incomplete, length, length - 1, {} },
        { "cut inside a later header", cutTo (monolith, (size_t) plugin.start + 12), MonolithStructure::Verdict::incomplete,
          plugin.start + 24, plugin.start + 12, {} },
        { "bytes after the last chunk", joined (monolith, juce::MemoryBlock ("junk", 4)), MonolithStructure::Verdict::incomplete,
          length + 24, length + 4, {} },
        { "size flipped negative", withByteFlipped (monolith, plugin.start + 15, 0x80), MonolithStructure::Verdict::damaged,
          length, plugin.start,
          "expected " + juce::String (length) + " bytes, found " + juce::String (plugin.start) + " (the chunk header at byte "
              + juce::String (plugin.start) + " is damaged: size " + juce::String (plugin.size ^ std::numeric_limits<juce::int64>::min()) + ")" },
        { "size flipped huge", withByteFlipped (monolith, plugin.start + 14, 0x01), MonolithStructure::Verdict::incomplete,
          plugin.getEnd() + ((juce::int64) 1 << 48), length, {} },
        { "size too small for the key", joined (monolith, keylessChunk), MonolithStructure::Verdict::damaged, length + 19, length, {} },
        { "long run, whole", run, MonolithStructure::Verdict::complete, runLength, runLength, {} },
        { "long run, cut inside a deep header", cutTo (run, (size_t) deep.start + 12), MonolithStructure::Verdict::incomplete,
          deep.start + 24, deep.start + 12, {} },
        { "long run, cut inside a deep payload", cutTo (run, (size_t) deep.getEnd() - 1), MonolithStructure::Verdict::incomplete,
          deep.getEnd(), deep.getEnd() - 1, {} },
        { "long run, deep size flipped negative", withByteFlipped (run, deep.start + 15, 0x80), MonolithStructure::Verdict::damaged,
          runLength, deep.start, {} },
        { "long run, deep size flipped huge", withByteFlipped (run, deep.start + 14, 0x01), MonolithStructure::Verdict::incomplete,
          deep.getEnd() + ((juce::int64) 1 << 48), runLength, {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto structure = structureOf (c.bytes);
        EXPECT_EQ (structure.getVerdict(), c.verdict);
        EXPECT_EQ (structure.getExpectedBytes(), c.expected);
        EXPECT_EQ (structure.getFoundBytes(), c.found);

        if (c.description.isNotEmpty())
        {
            EXPECT_EQ (structure.describe(), c.description);
        }
    }
}

TEST (MonolithStructure, AFileThatCannotBeOpenedIsUnreadable)
{
    const auto missing = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("missing", ".rom");
    const auto structure = MonolithStructure::of (missing);
    EXPECT_EQ (structure.getVerdict(), MonolithStructure::Verdict::unreadable);
    EXPECT_EQ (structure.describe(), "the file cannot be opened");
}

//==============================================================================
TEST (ChunkChecksums, TheWriterCoversEveryOtherChunkInFileOrder)
{
    for (const auto position : { Checksums::first, Checksums::last })
    {
        const auto monolith = makeMonolith (position);
        const auto headers = headersOf (monolith);
        const auto checksums = checksumsOf (monolith);
        ASSERT_TRUE (checksums.isLoaded()) << checksums.getProblem();

        const auto& records = checksums.getRecords();
        ASSERT_EQ (records.size(), 5u);
        const auto entryIndex = position == Checksums::first ? 0u : 5u;
        EXPECT_EQ (checksums.getEntry().offset, headers[entryIndex].start);

        for (size_t i = 0, h = 0; i < records.size(); ++i, ++h)
        {
            h += h == entryIndex ? 1 : 0;
            EXPECT_EQ (records[i].offset, headers[h].start);
            EXPECT_EQ (records[i].size, headers[h].size);
            EXPECT_EQ (records[i].type, headers[h].type);
            EXPECT_EQ (records[i].key, headers[h].getKey());
        }

        EXPECT_EQ (records[0].describe(), "state tree");
        EXPECT_EQ (records[2].describe(), "PLUGIN_BINARY_VST3_WIN64");
        EXPECT_EQ (records[3].describe(), "EXTRA");
        EXPECT_EQ (records[4].describe(), "EXTRA");
    }
}

TEST (ChunkChecksums, ReadersThatDoNotKnowTheEntryStillFindEverything)
{
    // findChunk is the reader that knows nothing of checksums: it skips the entry's unknown type.
    juce::TemporaryFile temp (".rom");

    for (const auto position : { Checksums::none, Checksums::first, Checksums::last })
    {
        const auto monolith = makeMonolith (position);
        ASSERT_TRUE (temp.getFile().replaceWithData (monolith.getData(), monolith.getSize()));
        const MonolithReader reader (temp.getFile());

        EXPECT_EQ (reader.readState().getChildWithName ("INSTRUMENT")["instrumentName"], "Beta");

        // The first of the two EXTRA entries, as always.
        for (size_t i = 0; i < 3; ++i)
        {
            const auto& entry = getEntries()[i];
            auto stream = reader.findChunk (entry.type, juce::String (entry.name).hashCode64());
            ASSERT_NE (stream, nullptr) << entry.name;
            juce::MemoryBlock payload;
            stream->readIntoMemoryBlock (payload);
            EXPECT_TRUE (payload == entry.payload) << entry.name;
        }

        const auto checksums = ChunkChecksums::load (temp.getFile());
        EXPECT_EQ (checksums.getStatus(), position == Checksums::none ? ChunkChecksums::Status::absent
                                                                       : ChunkChecksums::Status::loaded);
    }
}

TEST (ChunkChecksums, AnEntryInFrontTellsAFileCutAfterAWholeChunk)
{
    const auto monolith = makeMonolith (Checksums::first);
    const auto headers = headersOf (monolith);
    const auto length = (juce::int64) monolith.getSize();

    // Every cut at a chunk boundary leaves a file whose headers are complete.
    for (size_t i = 1; i < headers.size(); ++i)
    {
        const auto cut = cutTo (monolith, (size_t) headers[i].start);
        SCOPED_TRACE (testing::Message() << "cut at " << headers[i].start);
        ASSERT_TRUE (structureOf (cut).isComplete());

        const auto checksums = checksumsOf (cut);
        EXPECT_EQ (checksums.getStatus(), ChunkChecksums::Status::damaged);
        EXPECT_EQ (checksums.getProblem(), "expected " + juce::String (length) + " bytes, found " + juce::String (headers[i].start)
                                               + " (the checksum entry lists chunks up to byte " + juce::String (length) + ")");
    }

    // The same cuts of a monolith whose entry comes last lose the entry with the chunks.
    const auto entryLast = makeMonolith (Checksums::last);
    EXPECT_EQ (checksumsOf (cutTo (entryLast, (size_t) headersOf (entryLast).back().start)).getStatus(),
               ChunkChecksums::Status::absent);
}

TEST (ChunkChecksums, DamagedOrForeignEntriesAreRefused)
{
    const auto monolith = makeMonolith (Checksums::first);
    const auto headers = headersOf (monolith);
    const auto& entry = headers[0];
    const auto& state = headers[1];

    /** A checksum entry with this payload in front of the monolith's chunks, after the original entry. */
    const auto withEntry = [&] (const juce::MemoryBlock& payload)
    {
        juce::MemoryOutputStream out;
        MonolithWriter (out).writeChunk (5, ChunkType::checksums, ChunkChecksums::entryKey, payload.getData(), payload.getSize());
        return joined (out.getMemoryBlock(), juce::MemoryBlock (static_cast<const char*> (monolith.getData()) + entry.getEnd(),
                                                                monolith.getSize() - (size_t) entry.getEnd()));
    };

    const auto recordsPayload = [&] (std::vector<ChunkChecksums::Record> records)
    {
        return ChunkChecksums (std::move (records)).toPayload();
    };

    const auto validRecords = checksumsOf (monolith).getRecords();
    auto versionTwo = recordsPayload (validRecords);
    versionTwo[4] = 2;
    const auto crc = juce::ByteOrder::swapIfBigEndian ((juce::uint32) crc32_z (0, static_cast<const Bytef*> (versionTwo.getData()) + 4,
                                                                                versionTwo.getSize() - 4));
    versionTwo.copyFrom (&crc, 0, 4);

    auto renamed = validRecords;
    renamed[1].name = "SCREENSHOX";     // as long as the right name, so that no offset moves

    const struct
    {
        const char* name;
        juce::MemoryBlock bytes;
        ChunkChecksums::Status status;
    } cases[] = {
        { "a payload byte flipped", withByteFlipped (monolith, entry.getPayloadStart() + 20), ChunkChecksums::Status::damaged },
        { "a newer format version", withEntry (versionTwo), ChunkChecksums::Status::unknownVersion },
        { "an empty payload", withEntry ({}), ChunkChecksums::Status::damaged },
        { "a record with a name for another key", withEntry (recordsPayload (renamed)), ChunkChecksums::Status::damaged },
        { "a chunk appended", joined (monolith, rawChunk (3, ChunkType::binary, 8, juce::MemoryBlock (8, true))), ChunkChecksums::Status::damaged },
        { "a key changed", withByteFlipped (monolith, state.start + 16), ChunkChecksums::Status::damaged },
        { "the structure incomplete", cutTo (monolith, monolith.getSize() - 1), ChunkChecksums::Status::unreadable },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto checksums = checksumsOf (c.bytes);
        EXPECT_EQ (checksums.getStatus(), c.status) << checksums.getProblem();
        EXPECT_TRUE (checksums.getProblem().isNotEmpty());
    }
}

//==============================================================================
TEST (ChecksumVerifier, AnIntactMonolithPassesInAnyBlockSize)
{
    for (const auto position : { Checksums::first, Checksums::last })
    {
        const auto monolith = makeMonolith (position);
        const auto checksums = checksumsOf (monolith);
        ASSERT_TRUE (checksums.isLoaded());

        for (const size_t blockSize : { (size_t) 1, (size_t) 7, (size_t) 4096, monolith.getSize() })
        {
            const auto result = verify (checksums, monolith, blockSize);
            EXPECT_TRUE (result.intact) << blockSize << ": " << result.damage;
            EXPECT_EQ (result.damage, "");
            EXPECT_EQ (result.monolithCrc, crc32 (0, static_cast<const Bytef*> (monolith.getData()), (uInt) monolith.getSize()));
        }
    }
}

TEST (ChecksumVerifier, TheFirstDamagedEntryIsNamedAsSoonAsItsChunkHasPassed)
{
    const auto monolith = makeMonolith (Checksums::first);
    const auto headers = headersOf (monolith);
    const auto checksums = checksumsOf (monolith);
    ASSERT_TRUE (checksums.isLoaded());
    const auto at = [] (juce::int64 offset) { return " (the chunk at byte " + juce::String (offset) + ")"; };
    const auto& plugin = headers[3];
    const auto& secondExtra = headers[5];

    const struct
    {
        const char* name;
        juce::MemoryBlock bytes;
        juce::String damage;
        juce::int64 knownAfter;     // the bytes fed when the verifier tells
    } cases[] = {
        { "a byte in the middle of a large entry", withByteFlipped (monolith, plugin.getPayloadStart() + 75000),
          "PLUGIN_BINARY_VST3_WIN64" + at (plugin.start), plugin.getEnd() },
        { "the seed of a chunk", withByteFlipped (monolith, headers[2].start), "SCREENSHOT" + at (headers[2].start), headers[2].getEnd() },
        { "the last byte of the file", withByteFlipped (monolith, (juce::int64) monolith.getSize() - 1),
          "EXTRA" + at (secondExtra.start), secondExtra.getEnd() },
        { "two entries, the earlier one named", withByteFlipped (withByteFlipped (monolith, secondExtra.start + 30), plugin.start + 40),
          "PLUGIN_BINARY_VST3_WIN64" + at (plugin.start), plugin.getEnd() },
        { "the state tree", withByteFlipped (monolith, headers[1].getPayloadStart()), "state tree" + at (headers[1].start), headers[1].getEnd() },
        { "the checksum entry itself", withByteFlipped (monolith, headers[0].getPayloadStart() + 3), "checksum entry" + at (0), headers[0].getEnd() },
        { "cut short", cutTo (monolith, (size_t) plugin.start + 100),
          "PLUGIN_BINARY_VST3_WIN64 (the chunk at byte " + juce::String (plugin.start) + " is cut short at byte "
              + juce::String (plugin.start + 100) + ")", plugin.start + 100 },
        { "bytes after the end", joined (monolith, juce::MemoryBlock ("x", 1)),
          "bytes after the last chunk, from byte " + juce::String (monolith.getSize()), (juce::int64) monolith.getSize() + 1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto result = verify (checksums, c.bytes, 1000);
        EXPECT_FALSE (result.intact);
        EXPECT_EQ (result.damage, c.damage);
        EXPECT_EQ (result.bytesFed, juce::jmin ((juce::int64) c.bytes.getSize(), (c.knownAfter + 999) / 1000 * 1000));
    }
}

TEST (ChecksumVerifier, AnotherMonolithOfTheSameLayoutIsNotTakenForTheCheckedOne)
{
    // What the check read must be what the copy reads: a monolith swapped in between differs somewhere.
    const auto checked = makeMonolith (Checksums::first);
    auto swapped = checked;
    const auto headers = headersOf (checked);
    const auto& plugin = headers[3];
    const auto other = randomBytes ((size_t) plugin.getPayloadLength(), 99);
    swapped.copyFrom (other.getData(), (size_t) plugin.getPayloadStart(), other.getSize());

    const auto result = verify (checksumsOf (checked), swapped, 65536);
    EXPECT_FALSE (result.intact);
    EXPECT_EQ (result.damage, "PLUGIN_BINARY_VST3_WIN64 (the chunk at byte " + juce::String (plugin.start) + ")");
}
