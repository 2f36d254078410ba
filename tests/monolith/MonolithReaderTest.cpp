#include "BlankPng.h"
#include "RandomBytes.h"
#include "monolith/EntryNames.h"
#include "monolith/MonolithReader.h"
#include "monolith/MonolithWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>
#include <zlib.h>

namespace
{
    const juce::int64 screenshotKey = EntryNames::keyOf (EntryNames::screenshot);
    const juce::int64 vst3Key = EntryNames::keyOf (EntryNames::vst3Plugin);

    juce::MemoryBlock readAll (juce::InputStream& stream, int blockSize)
    {
        juce::MemoryOutputStream out;
        juce::HeapBlock<char> buffer ((size_t) blockSize);

        for (;;)
        {
            const auto numRead = stream.read (buffer.get(), blockSize);

            if (numRead <= 0)
                break;

            out.write (buffer.get(), (size_t) numRead);
        }

        return out.getMemoryBlock();
    }

    /** A chunk header exactly as given, including sizes that a writer would never produce. */
    juce::MemoryBlock rawHeader (juce::uint32 seed, juce::int32 type, juce::int64 size, juce::int64 key)
    {
        juce::MemoryOutputStream header;
        header.writeInt (type);
        header.writeInt64 (size);
        header.writeInt64 (key);

        auto state = seed;
        juce::MemoryBlock scrambled (header.getData(), header.getDataSize());
        Crypto::InputStream::applyKeystream (state, scrambled.getData(), scrambled.getSize());

        juce::MemoryOutputStream out;
        out.writeInt ((int) seed);
        out << scrambled;
        return out.getMemoryBlock();
    }

    class MonolithReaderTest : public ::testing::Test
    {
    protected:
        juce::TemporaryFile temp { ".rom" };
        juce::File file = temp.getFile();
        MonolithReader reader { file };

        template <typename WriteFunction>
        void writeMonolith (WriteFunction&& writeChunks)
        {
            file.deleteFile();
            juce::FileOutputStream out (file);
            ASSERT_TRUE (out.openedOk());
            MonolithWriter writer (out);
            writeChunks (writer);
        }

        void writeBytes (const juce::MemoryBlock& bytes)
        {
            ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));
        }
    };
}

TEST_F (MonolithReaderTest, WriterStoresTheSeedPlainAndTheTypeScrambled)
{
    writeMonolith ([] (MonolithWriter& w) { EXPECT_TRUE (w.writeChunk (0, ChunkType::binary, 0, "abc", 3)); });

    juce::MemoryBlock bytes;
    ASSERT_TRUE (file.loadFileAsData (bytes));
    ASSERT_EQ (bytes.getSize(), 27u);
    const std::vector<juce::uint8> start (static_cast<const juce::uint8*> (bytes.getData()),
                                          static_cast<const juce::uint8*> (bytes.getData()) + 8);
    EXPECT_EQ (start, (std::vector<juce::uint8> { 0, 0, 0, 0, 0x26, 0x27, 0xf6, 0x85 }));
}

TEST_F (MonolithReaderTest, ReadsBackEveryKindOfEntry)
{
    juce::ValueTree state ("SAMBREL_STATE");
    state.setProperty ("eula", juce::Base64::toBase64 ("Licence"), nullptr);
    juce::ValueTree instrument ("INSTRUMENT");
    instrument.setProperty ("instrumentName", "Glass Piano", nullptr);
    state.appendChild (instrument, nullptr);

    juce::Image image (juce::Image::ARGB, 31, 17, true);
    image.setPixelAt (3, 4, juce::Colours::orange);
    juce::MemoryOutputStream png;
    ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (image, png));

    const auto zip = randomBytes (100000, 1);

    writeMonolith ([&] (MonolithWriter& w)
    {
        EXPECT_TRUE (w.writeState (state));
        EXPECT_TRUE (w.writeEntry (ChunkType::pngImage, "SCREENSHOT", png.getMemoryBlock()));
        juce::MemoryInputStream zipStream (zip, false);
        EXPECT_TRUE (w.writeEntry (ChunkType::binary, "PLUGIN_BINARY_VST3_WIN64", zipStream));
    });

    EXPECT_TRUE (reader.readState().isEquivalentTo (state));

    const auto decoded = reader.readImage (screenshotKey);
    ASSERT_TRUE (decoded.isValid());
    EXPECT_EQ (decoded.getBounds(), image.getBounds());
    EXPECT_EQ (decoded.getPixelAt (3, 4), juce::Colours::orange);

    auto binary = reader.openBinary (vst3Key);
    ASSERT_NE (binary, nullptr);
    EXPECT_EQ (binary->getTotalLength(), 100000);
    EXPECT_EQ (readAll (*binary, 8192), zip);
    EXPECT_TRUE (binary->isExhausted());
}

TEST_F (MonolithReaderTest, BlockAndByteReadsAgreeAndSeekingResynchronises)
{
    const auto payload = randomBytes (70001, 2);
    writeMonolith ([&] (MonolithWriter& w)
    {
        EXPECT_TRUE (w.writeEntry (ChunkType::binary, "OTHER", randomBytes (999, 3)));
        EXPECT_TRUE (w.writeEntry (ChunkType::binary, "DATA", payload));
    });
    const auto key = juce::String ("DATA").hashCode64();

    for (int blockSize : { 1, 7, 16, 8192, 1 << 20 })
    {
        auto stream = reader.findChunk (ChunkType::binary, key);
        ASSERT_NE (stream, nullptr);
        EXPECT_EQ (readAll (*stream, blockSize), payload) << "block size " << blockSize;
    }

    auto stream = reader.findChunk (ChunkType::binary, key);
    ASSERT_NE (stream, nullptr);
    const auto* expected = static_cast<const char*> (payload.getData());
    char buffer[100];

    // Back to the start after a partial read, then everything again.
    EXPECT_EQ (stream->read (buffer, 100), 100);
    ASSERT_TRUE (stream->setPosition (0));
    EXPECT_EQ (stream->getPosition(), 0);
    EXPECT_EQ (readAll (*stream, 333), payload);

    // Backwards into the middle, forwards over a stretch, and a forward seek of zero.
    for (juce::int64 position : { 5000, 60000, 60000, 12345, 0, 70000 })
    {
        ASSERT_TRUE (stream->setPosition (position));
        EXPECT_EQ (stream->getPosition(), position);
        const auto numRead = stream->read (buffer, 50);
        ASSERT_EQ (numRead, juce::jmin (50, 70001 - (int) position));
        EXPECT_EQ (memcmp (buffer, expected + position, (size_t) numRead), 0) << "at " << position;
    }

    // Refused negative positions change nothing; beyond the end leaves nothing to read.
    ASSERT_TRUE (stream->setPosition (10));
    EXPECT_FALSE (stream->setPosition (-1));
    EXPECT_EQ (stream->getPosition(), 10);
    EXPECT_EQ (stream->read (buffer, 1), 1);
    EXPECT_EQ (buffer[0], expected[10]);

    ASSERT_TRUE (stream->setPosition (80000));
    EXPECT_TRUE (stream->isExhausted());
    EXPECT_EQ (stream->read (buffer, 100), 0);
}

TEST_F (MonolithReaderTest, RandomSeeksAndReadSplitsMatchThePayload)
{
    juce::Random random (11);

    for (int trial = 0; trial < 12; ++trial)
    {
        const auto length = trial < 3 ? (size_t) trial * 129 : (size_t) random.nextInt (200000);
        const auto payload = randomBytes (length, trial);
        const auto seed = (juce::uint32) random.nextInt();
        writeMonolith ([&] (MonolithWriter& w)
        {
            EXPECT_TRUE (w.writeChunk (seed ^ 1, ChunkType::binary, 1, "before", 6));
            EXPECT_TRUE (w.writeChunk (seed, ChunkType::binary, 2, payload.getData(), length));
        });

        auto stream = reader.openBinary (2);
        ASSERT_NE (stream, nullptr);
        const auto* expected = static_cast<const juce::uint8*> (payload.getData());
        std::vector<juce::uint8> buffer (70000);

        for (int op = 0; op < 60; ++op)
        {
            if (random.nextInt (3) == 0)
            {
                const auto position = (juce::int64) random.nextInt ((int) length + 100);
                ASSERT_TRUE (stream->setPosition (position));
            }

            const auto position = stream->getPosition();
            const auto wanted = 1 + random.nextInt (random.nextBool() ? 64 : 70000);
            const auto numRead = stream->read (buffer.data(), wanted);
            const auto available = juce::jmax ((juce::int64) 0, (juce::int64) length - position);
            SCOPED_TRACE (testing::Message() << "length " << length << ", seed " << seed << ", read " << wanted << " at " << position);

            ASSERT_EQ (numRead, (int) juce::jmin ((juce::int64) wanted, available));
            EXPECT_EQ (stream->getPosition(), position + numRead);
            EXPECT_TRUE (std::equal (buffer.begin(), buffer.begin() + numRead, expected + juce::jmin (position, (juce::int64) length)));
        }
    }
}

TEST_F (MonolithReaderTest, ReadsStopAtThePayloadsEnd)
{
    writeMonolith ([&] (MonolithWriter& w)
    {
        EXPECT_TRUE (w.writeEntry (ChunkType::binary, "A", randomBytes (10, 4)));
        EXPECT_TRUE (w.writeEntry (ChunkType::binary, "B", randomBytes (10, 5)));
    });

    auto stream = reader.openBinary (juce::String ("A").hashCode64());
    ASSERT_NE (stream, nullptr);
    char buffer[100];
    EXPECT_FALSE (stream->isExhausted());
    EXPECT_EQ (stream->read (buffer, 100), 10);
    EXPECT_EQ (memcmp (buffer, randomBytes (10, 4).getData(), 10), 0);
    EXPECT_TRUE (stream->isExhausted());
    EXPECT_EQ (stream->read (buffer, 100), 0);
}

TEST_F (MonolithReaderTest, MatchesTypeAndKeyAndReturnsTheFirstOfDuplicates)
{
    const auto key = juce::String ("ENTRY").hashCode64();

    writeMonolith ([&] (MonolithWriter& w)
    {
        EXPECT_TRUE (w.writeChunk (1, ChunkType::pngImage, key, "wrong type", 10));
        EXPECT_TRUE (w.writeChunk (2, ChunkType::binary, key + 1, "wrong key", 9));
        EXPECT_TRUE (w.writeChunk (2, ChunkType::binary, key ^ ((juce::int64) 1 << 62), "wrong last key byte", 19));
        EXPECT_TRUE (w.writeChunk (3, 77, key, "unknown type", 12));
        EXPECT_TRUE (w.writeChunk (4, ChunkType::binary, key, "first", 5));
        EXPECT_TRUE (w.writeChunk (5, ChunkType::binary, key, "second", 6));
        EXPECT_TRUE (w.writeChunk (6, ChunkType::binary, 9, "", 0));
    });

    auto found = reader.openBinary (key);
    ASSERT_NE (found, nullptr);
    EXPECT_EQ (found->readEntireStreamAsString(), "first");

    auto pngChunk = reader.findChunk (ChunkType::pngImage, key);
    ASSERT_NE (pngChunk, nullptr);
    EXPECT_EQ (pngChunk->readEntireStreamAsString(), "wrong type");

    auto unknown = reader.findChunk (77, key);
    ASSERT_NE (unknown, nullptr);
    EXPECT_EQ (unknown->readEntireStreamAsString(), "unknown type");

    EXPECT_EQ (reader.findChunk (ChunkType::stateTree, 0), nullptr);
    EXPECT_EQ (reader.openBinary (key + 2), nullptr);
    EXPECT_FALSE (reader.readImage (key).isValid());   // found, but not a PNG
    EXPECT_FALSE (reader.readState().isValid());

    auto empty = reader.openBinary (9);
    ASSERT_NE (empty, nullptr);
    EXPECT_EQ (empty->getTotalLength(), 0);
    EXPECT_TRUE (empty->isExhausted());
    char byte;
    EXPECT_EQ (empty->read (&byte, 1), 0);
}

TEST_F (MonolithReaderTest, FindsEveryChunkAmongManySmallAndLargeOnes)
{
    // Thousands of small chunks, whose headers fall across every boundary of the reader's header window,
    // with a few large ones in between that the walk moves over.
    juce::Random random (5);
    std::vector<std::pair<juce::int32, juce::MemoryBlock>> chunks;

    for (int i = 0; i < 6000; ++i)
    {
        const auto large = i % 1500 == 700;
        chunks.push_back ({ i % 4 == 0 ? ChunkType::pngImage : ChunkType::binary,
                            randomBytes (large ? 100000 + (size_t) i : (size_t) random.nextInt (41), i) });
    }

    // Compared as vectors: the framework's comparison of empty blocks hands memcmp a null pointer.
    const auto bytesOf = [] (const juce::MemoryBlock& block)
    {
        const auto* data = static_cast<const juce::uint8*> (block.getData());
        return std::vector<juce::uint8> (data, data + block.getSize());
    };

    writeMonolith ([&] (MonolithWriter& w)
    {
        for (size_t i = 0; i < chunks.size(); ++i)
            EXPECT_TRUE (w.writeChunk ((juce::uint32) random.nextInt(), chunks[i].first, (juce::int64) i,
                                       chunks[i].second.getData(), chunks[i].second.getSize()));
    });

    for (size_t i = 0; i < chunks.size(); i += i < 100 ? 1 : 37)
    {
        auto stream = reader.findChunk (chunks[i].first, (juce::int64) i);
        ASSERT_NE (stream, nullptr) << "chunk " << i;
        EXPECT_EQ (bytesOf (readAll (*stream, 4096)), bytesOf (chunks[i].second)) << "chunk " << i;
        EXPECT_EQ (reader.findChunk (chunks[i].first == ChunkType::binary ? ChunkType::pngImage : ChunkType::binary,
                                     (juce::int64) i), nullptr) << "chunk " << i;
    }

    auto last = reader.findChunk (chunks.back().first, (juce::int64) chunks.size() - 1);
    ASSERT_NE (last, nullptr);
    EXPECT_EQ (bytesOf (readAll (*last, 7)), bytesOf (chunks.back().second));
    EXPECT_EQ (reader.findChunk (ChunkType::binary, (juce::int64) chunks.size()), nullptr);
}

TEST_F (MonolithReaderTest, EmptyOrMissingFileHasNoEntries)
{
    writeBytes ({});
    EXPECT_EQ (reader.findChunk (ChunkType::binary, 0), nullptr);
    EXPECT_EQ (reader.openBinary (vst3Key), nullptr);
    EXPECT_FALSE (reader.readImage (screenshotKey).isValid());
    EXPECT_FALSE (reader.readState().isValid());

    const MonolithReader missing (file.getSiblingFile ("does-not-exist.rom"));
    EXPECT_EQ (missing.openBinary (vst3Key), nullptr);
    EXPECT_FALSE (missing.readState().isValid());
}

TEST_F (MonolithReaderTest, DamagedFilesEndAsNotFound)
{
    const auto key = juce::String ("WANTED").hashCode64();

    juce::MemoryOutputStream goodChunkStream;
    MonolithWriter (goodChunkStream).writeChunk (11, ChunkType::binary, 5, "payload", 7);
    const auto goodChunk = goodChunkStream.getMemoryBlock();   // 31 bytes, not the wanted key

    auto join = [] (std::initializer_list<juce::MemoryBlock> parts)
    {
        juce::MemoryBlock all;

        for (auto& part : parts)
            all.append (part.getData(), part.getSize());

        return all;
    };

    auto truncated = [] (juce::MemoryBlock block, size_t size)
    {
        block.setSize (size);
        return block;
    };

    const struct
    {
        const char* name;
        juce::MemoryBlock bytes;
    } cases[] = {
        { "header shorter than the seed", juce::MemoryBlock ("\x01\x02\x03", 3) },
        { "header cut after the type", truncated (rawHeader (1, ChunkType::binary, 20, key), 8) },
        { "trailing bytes after a chunk", join ({ goodChunk, truncated (goodChunk, 10) }) },
        { "wanted chunk cut inside its key", truncated (rawHeader (1, ChunkType::binary, 8, key), 20) },
        { "size 0 in a wanted chunk", join ({ rawHeader (1, ChunkType::binary, 0, key), goodChunk }) },
        { "size 7 in a wanted chunk", join ({ rawHeader (1, ChunkType::binary, 7, key), goodChunk }) },
        { "size -16 stands still", join ({ rawHeader (1, ChunkType::pngImage, -16, key), goodChunk }) },
        { "negative size steps back", join ({ goodChunk, rawHeader (1, ChunkType::pngImage, -47, key) }) },
        { "smallest size", join ({ rawHeader (1, ChunkType::pngImage, std::numeric_limits<juce::int64>::min(), key), goodChunk }) },
        { "largest size", join ({ rawHeader (1, ChunkType::pngImage, std::numeric_limits<juce::int64>::max(), key), goodChunk }) },
        { "wanted chunk ends beyond the file", join ({ goodChunk, rawHeader (1, ChunkType::binary, 1000, key) }) },
    };

    for (auto& c : cases)
    {
        writeBytes (c.bytes);
        EXPECT_EQ (reader.openBinary (key), nullptr) << c.name;
        EXPECT_FALSE (reader.readState().isValid()) << c.name;
    }

    // The intact chunk itself is still found when it comes first.
    writeBytes (join ({ goodChunk, rawHeader (1, ChunkType::binary, 0, key) }));
    auto intact = reader.openBinary (5);
    ASSERT_NE (intact, nullptr);
    EXPECT_EQ (intact->readEntireStreamAsString(), "payload");
}

TEST_F (MonolithReaderTest, PayloadsBeyondFourGibibytesReadToTheirEnd)
{
    // A sparse file: the payload reads as zeros on disk, so it descrambles to the keystream itself.
    const juce::int64 payloadLength = (juce::int64 (1) << 32) + 5;
    const juce::uint32 seed = 12345;
    writeBytes (rawHeader (seed, ChunkType::binary, payloadLength + 8, 77));
    std::error_code error;
    std::filesystem::resize_file (file.getFullPathName().toStdString(), (std::uintmax_t) (24 + payloadLength), error);
    ASSERT_FALSE (error) << error.message();

    auto stream = reader.openBinary (77);
    ASSERT_NE (stream, nullptr);
    EXPECT_EQ (stream->getTotalLength(), payloadLength);

    // Asks for 4096 bytes and expects numBytes of keystream.
    auto expectKeystreamAt = [&] (juce::int64 position, int numBytes)
    {
        std::vector<juce::uint8> buffer (4096);
        ASSERT_TRUE (stream->setPosition (position));
        ASSERT_EQ (stream->read (buffer.data(), 4096), numBytes) << "at " << position;

        auto state = Crypto::InputStream::advance (seed, (juce::uint64) (20 + position));
        std::vector<juce::uint8> expected ((size_t) numBytes);
        Crypto::InputStream::applyKeystream (state, expected.data(), expected.size());
        buffer.resize ((size_t) numBytes);
        EXPECT_EQ (buffer, expected) << "at " << position;
    };

    expectKeystreamAt (0, 4096);
    expectKeystreamAt (payloadLength - 3, 3);
    EXPECT_TRUE (stream->isExhausted());
    expectKeystreamAt ((juce::int64 (1) << 31) - 2, 4096);
}

TEST_F (MonolithReaderTest, DamagedScreenshotsAreRejectedBeforeDecoding)
{
    juce::Image image (juce::Image::RGB, 40, 30, true);
    juce::Graphics (image).fillCheckerBoard ({ 0.0f, 0.0f, 40.0f, 30.0f }, 5.0f, 5.0f, juce::Colours::teal, juce::Colours::white);
    juce::MemoryOutputStream encoded;
    ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (image, encoded));
    const auto png = encoded.getMemoryBlock();

    auto crc32 = [] (const char* data, size_t numBytes)
    {
        juce::uint32 crc = 0xffffffffu;

        for (size_t i = 0; i < numBytes; ++i)
        {
            crc ^= (juce::uint8) data[i];

            for (int k = 0; k < 8; ++k)
                crc = (crc & 1) != 0 ? 0xedb88320u ^ (crc >> 1) : crc >> 1;
        }

        return crc ^ 0xffffffffu;
    };

    auto putBigEndian = [] (char* dest, juce::uint32 value)
    {
        for (int i = 0; i < 4; ++i)
            dest[i] = (char) (value >> (24 - 8 * i));
    };

    // Header fields changed with a matching CRC, so that only the image itself is wrong.
    auto withHeader = [&] (juce::uint32 width, juce::uint32 height)
    {
        auto changed = png;
        auto* bytes = static_cast<char*> (changed.getData());
        putBigEndian (bytes + 16, width);
        putBigEndian (bytes + 20, height);
        putBigEndian (bytes + 29, crc32 (bytes + 12, 17));
        return changed;
    };

    auto withByteFlipped = [&] (size_t index)
    {
        auto changed = png;
        changed[index] = (char) (changed[index] ^ 0x55);
        return changed;
    };

    auto cutTo = [&] (size_t size)
    {
        auto changed = png;
        changed.setSize (size);
        return changed;
    };

    const struct
    {
        const char* name;
        juce::MemoryBlock bytes;
    } cases[] = {
        { "text", juce::MemoryBlock ("not an image", 12) },
        { "signature only", cutTo (8) },
        { "cut in the middle", cutTo (png.getSize() / 2) },
        { "end chunk missing", cutTo (png.getSize() - 12) },
        { "header byte flipped", withByteFlipped (20) },
        { "image data byte flipped", withByteFlipped (png.getSize() / 2) },
        { "one row more than the data", withHeader (40, 31) },
        { "wider than the data", withHeader (41, 30) },
        { "enormous", withHeader (0x7fffffff, 0x7fffffff) },
        { "empty", withHeader (0, 30) },
    };

    writeMonolith ([&] (MonolithWriter& w)
    {
        EXPECT_TRUE (w.writeEntry (ChunkType::pngImage, "GOOD", png));

        for (auto& c : cases)
            EXPECT_TRUE (w.writeEntry (ChunkType::pngImage, c.name, c.bytes));
    });

    const auto good = reader.readImage (juce::String ("GOOD").hashCode64());
    ASSERT_TRUE (good.isValid());
    EXPECT_EQ (good.getPixelAt (2, 2), juce::Colours::teal);
    EXPECT_EQ (good.getPixelAt (7, 2), juce::Colours::white);

    for (auto& c : cases)
        EXPECT_FALSE (reader.readImage (juce::String (c.name).hashCode64()).isValid()) << c.name;
}

TEST_F (MonolithReaderTest, StateTreesKeepEveryKindOfValueAndDamagedOnesAreRefused)
{
    juce::ValueTree state ("SAMBREL_STATE");
    state.setProperty ("int", 7, nullptr);
    state.setProperty ("int64", (juce::int64) 1 << 40, nullptr);
    state.setProperty ("yes", true, nullptr);
    state.setProperty ("no", false, nullptr);
    state.setProperty ("double", 0.707, nullptr);
    state.setProperty ("text", juce::String::fromUTF8 ("Gl\xc3\xa4s"), nullptr);
    state.setProperty ("binary", juce::var (randomBytes (300, 6)), nullptr);
    state.setProperty ("array", juce::Array<juce::var> { 1, "two", juce::Array<juce::var> { 3.0 } }, nullptr);
    state.setProperty ("empty", juce::var(), nullptr);
    juce::ValueTree child ("INSTRUMENT");
    child.appendChild (juce::ValueTree ("PRESET"), nullptr);
    state.appendChild (child, nullptr);

    writeMonolith ([&] (MonolithWriter& w) { EXPECT_TRUE (w.writeState (state)); });
    EXPECT_TRUE (reader.readState().isEquivalentTo (state));

    juce::MemoryOutputStream valid;
    state.writeToStream (valid);

    auto bytes = [] (std::initializer_list<int> values)
    {
        juce::MemoryBlock block;

        for (auto v : values)
            block.append (&v, 1);

        return block;
    };

    juce::MemoryOutputStream deep;

    for (int i = 0; i < 100000; ++i)
        deep.write ("X\0\0\1", 4);

    // Each of these would make the framework's reader allocate without limit, loop for minutes,
    // overflow a signed int or recurse until the stack runs out.
    const struct
    {
        const char* name;
        juce::MemoryBlock payload;
    } cases[] = {
        { "no type", bytes ({ 0 }) },
        { "huge property count", bytes ({ 'X', 0, 4, 0xff, 0xff, 0xff, 0x7f }) },
        { "huge child count", bytes ({ 'X', 0, 0, 4, 0xff, 0xff, 0xff, 0x7f }) },
        { "most negative count", bytes ({ 'X', 0, 0x84, 0, 0, 0, 0x80 }) },
        { "huge array", bytes ({ 'X', 0, 1, 'a', 0, 1, 7, 4, 0xff, 0xff, 0xff, 0x7f, 0 }) },
        { "unterminated type", bytes ({ 'X', 'Y' }) },
        { "deep nesting", deep.getMemoryBlock() },
        { "cut short", juce::MemoryBlock (valid.getData(), valid.getDataSize() - 3) },
        // Text that is not UTF-8 makes the framework's string functions read past its end.
        { "type cut inside a character", bytes ({ 0xe2, 0x82, 0, 0, 0 }) },
        { "name cut inside a character", bytes ({ 'X', 0, 1, 1, 0xc3, 0, 0, 0 }) },
        { "text cut inside a character", bytes ({ 'X', 0, 1, 1, 'a', 0, 1, 3, 5, 0xf9, 0, 0 }) },
    };

    for (auto& c : cases)
    {
        writeMonolith ([&] (MonolithWriter& w) { EXPECT_TRUE (w.writeChunk (1, ChunkType::stateTree, 0, c.payload.getData(), c.payload.getSize())); });
        EXPECT_FALSE (reader.readState().isValid()) << c.name;
    }
}

TEST_F (MonolithReaderTest, ScreenshotsClaimingMoreThan8192PixelsASideAreNotDecoded)
{
    // The framework decodes into a buffer of four bytes per pixel and then into the image itself: a
    // 16384 x 16384 screenshot of 33 KB asked for 1.8 GB. Refused ones are judged by their header alone.
    const struct
    {
        juce::uint32 width, height;
        MonolithReader::ImageOutcome outcome;
    } cases[] = {
        { 8192, 1, MonolithReader::ImageOutcome::decoded },
        { 1, 8192, MonolithReader::ImageOutcome::decoded },
        { 8193, 1, MonolithReader::ImageOutcome::tooLarge },
        { 1, 8193, MonolithReader::ImageOutcome::tooLarge },
        { 16384, 16384, MonolithReader::ImageOutcome::tooLarge },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.width << " x " << c.height);
        const auto png = makeBlankPng (c.width, c.height);
        writeMonolith ([&] (MonolithWriter& w) { EXPECT_TRUE (w.writeEntry (ChunkType::pngImage, "SCREENSHOT", png)); });
        EXPECT_LT (file.getSize(), 64 * 1024);

        const auto read = reader.decodeImage (screenshotKey);
        EXPECT_EQ (read.outcome, c.outcome);
        EXPECT_EQ (read.claimedWidth, c.width);
        EXPECT_EQ (read.claimedHeight, c.height);
        EXPECT_EQ (read.image.isValid(), c.outcome == MonolithReader::ImageOutcome::decoded);

        if (read.image.isValid())
        {
            EXPECT_EQ (read.image.getWidth(), (int) c.width);
            EXPECT_EQ (read.image.getPixelAt ((int) c.width - 1, (int) c.height - 1), juce::Colours::black);
        }
    }
}
