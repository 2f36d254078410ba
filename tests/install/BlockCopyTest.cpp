#include "install/payload/BlockCopy.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace
{
/** Random bytes over several blocks, ending part-way through one. */
juce::MemoryBlock noise()
{
    juce::MemoryBlock data ((size_t) BlockCopy::blockSize * 2 + 12345);
    juce::Random (5).fillBitsRandomly (data.getData(), data.getSize());
    return data;
}

struct Scratch
{
    ~Scratch()  { file.deleteFile(); }

    const juce::File file = juce::File::createTempFile ("block-copy-test");
};
} // namespace

TEST (BlockCopy, CopiesEveryBlockAndSumsTheWholeFile)
{
    const auto data = noise();
    Scratch scratch;
    juce::MemoryInputStream in (data, false);
    juce::uint32 crc = 0;
    int questions = 0;

    EXPECT_EQ (BlockCopy::toNewFile (in, (juce::int64) data.getSize(), scratch.file, [&] { return ++questions < 0; }, true, &crc),
               BlockCopy::Outcome::done);

    juce::MemoryBlock copied;
    ASSERT_TRUE (scratch.file.loadFileAsData (copied));
    EXPECT_EQ (copied, data);
    EXPECT_EQ (crc, (juce::uint32) crc32 (0, static_cast<const Bytef*> (data.getData()), (uInt) data.getSize()));
    EXPECT_EQ (questions, 3) << "one question before each block";
}

TEST (BlockCopy, ShortStreamsFailAndStopsEndTheCopyBetweenBlocks)
{
    const auto data = noise();

    struct Case { const char* name; juce::int64 length; int stopAt; BlockCopy::Outcome expected; juce::int64 written; };
    const Case cases[] = {
        { "stream shorter than the length", (juce::int64) data.getSize() + 1, 0, BlockCopy::Outcome::failed, (juce::int64) data.getSize() },
        { "stop before the first block", (juce::int64) data.getSize(), 1, BlockCopy::Outcome::stopped, 0 },
        { "stop before the second block", (juce::int64) data.getSize(), 2, BlockCopy::Outcome::stopped, BlockCopy::blockSize },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Scratch scratch;
        juce::MemoryInputStream in (data, false);
        int questions = 0;

        EXPECT_EQ (BlockCopy::toNewFile (in, c.length, scratch.file, [&] { return ++questions == c.stopAt; }, false),
                   c.expected);
        EXPECT_EQ (scratch.file.getSize(), c.written);
    }
}

TEST (BlockCopy, ExistingDestinationIsNotOverwritten)
{
    Scratch scratch;
    ASSERT_TRUE (scratch.file.replaceWithText ("earlier content"));
    juce::MemoryInputStream in ("new", 3, false);

    EXPECT_EQ (BlockCopy::toNewFile (in, 3, scratch.file, {}, false), BlockCopy::Outcome::failed);
    EXPECT_EQ (scratch.file.loadFileAsString(), "earlier content");
}

TEST (BlockCopy, ReadingAheadGivesTheSameBytesAndOutcomesAsOneThread)
{
    const auto data = noise();

    /** Gives at most `chunk` bytes a read, and fails every read after `failAfter` bytes. */
    struct PartialStream : juce::MemoryInputStream
    {
        PartialStream (const juce::MemoryBlock& block, int chunkSize, juce::int64 failAfterBytes)
            : juce::MemoryInputStream (block, false), chunk (chunkSize), failAfter (failAfterBytes) {}

        int read (void* dest, int numBytes) override
        {
            if (getPosition() >= failAfter)
                return -1;

            return juce::MemoryInputStream::read (dest, std::min (numBytes, chunk));
        }

        const int chunk;
        const juce::int64 failAfter;
    };

    const auto size = (juce::int64) data.getSize();
    struct Case { const char* name; juce::int64 length; int chunk; juce::int64 failAfter; int stopAt; int refuseAt; BlockCopy::Outcome expected; juce::int64 used; };
    const Case cases[] = {
        { "whole, in blocks", size, BlockCopy::blockSize, size, 0, 0, BlockCopy::Outcome::done, size },
        { "whole, short reads", size, 100000, size, 0, 0, BlockCopy::Outcome::done, size },
        { "stream shorter than the length", size + 1, BlockCopy::blockSize, size, 0, 0, BlockCopy::Outcome::failed, size },
        { "read fails part-way", size, BlockCopy::blockSize, BlockCopy::blockSize, 0, 0, BlockCopy::Outcome::failed, BlockCopy::blockSize },
        { "stop before the second block", size, BlockCopy::blockSize, size, 2, 0, BlockCopy::Outcome::stopped, BlockCopy::blockSize },
        { "second block refused", size, BlockCopy::blockSize, size, 0, 2, BlockCopy::Outcome::failed, 2 * (juce::int64) BlockCopy::blockSize },
    };

    for (const bool readingAhead : { false, true })
        for (const auto& c : cases)
        {
            SCOPED_TRACE (juce::String (c.name) + (readingAhead ? ", reading ahead" : ", one thread"));
            PartialStream in (data, c.chunk, c.failAfter);
            juce::MemoryOutputStream used;
            int questions = 0, blocks = 0;
            const BlockCopy::StopRequest stop = [&] { return ++questions == c.stopAt; };
            const BlockCopy::BlockUser use = [&] (const char* bytes, size_t numBytes)
            {
                used.write (bytes, numBytes);
                return ++blocks != c.refuseAt;
            };

            EXPECT_EQ (readingAhead ? BlockCopy::forEachBlockReadingAhead (in, c.length, stop, use)
                                    : BlockCopy::forEachBlock (in, c.length, stop, use),
                       c.expected);
            EXPECT_EQ ((juce::int64) used.getDataSize(), c.used);
            EXPECT_EQ (std::memcmp (used.getData(), data.getData(), used.getDataSize()), 0);
        }
}
