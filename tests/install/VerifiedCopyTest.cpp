// VerifiedCopy: a monolith copied step by step into a new file, every block read back from the copy and
// shown to the checker; failures of the source, the read-back and the checker, and stops.

#include "InstallTestSupport.h"

#include "fs/CheckedFolder.h"
#include "install/payload/VerifiedCopy.h"

#include <gtest/gtest.h>

using namespace InstallTestSupport;

namespace
{
/** Random bytes over two copy steps and part of a third, ending part-way through a block. */
juce::MemoryBlock noise()
{
    juce::MemoryBlock data ((size_t) (VerifiedCopy::stepSize * 2 + BlockCopy::blockSize * 3 + 12345));
    juce::Random (7).fillBitsRandomly (data.getData(), data.getSize());
    return data;
}

struct Copy
{
    /** A copy of `content`, from a file in `sourceFolder` (by default beside the copy). */
    explicit Copy (const juce::MemoryBlock& content, const juce::File& sourceFolder = {})
        : sourceFile ((sourceFolder != juce::File() ? sourceFolder : sandbox.folder).getNonexistentChildFile ("Beta", ".rom"))
    {
        EXPECT_TRUE (sourceFile.replaceWithData (content.getData(), content.getSize()));
        source = MonolithSource::open (sourceFile);
        auto created = juce::Result::ok();
        destination = folder.createFile ("copy", created);
        EXPECT_NE (destination, nullptr) << created.getErrorMessage();
    }

    juce::File copyFile() const     { return sandbox.folder.getChildFile (destination->getName()); }

    /** Runs the copy, reading back from the copy itself unless `readBack` is given. */
    BlockCopy::Outcome run (juce::InputStream* readBack = nullptr, const BlockCopy::StopRequest& shouldStop = {})
    {
        juce::FileInputStream ownReadBack (copyFile());
        const auto check = [this] (const char* data, size_t numBytes)
        {
            seen.append (data, numBytes);
            return refuseAfter < 0 || (juce::int64) seen.getSize() <= refuseAfter;
        };

        const auto outcome = VerifiedCopy::run (source, *destination, readBack != nullptr ? *readBack : ownReadBack,
                                                shouldStop, check, [this] (juce::int64 done) { progress.push_back (done); });
        destination->close();
        return outcome;
    }

    ~Copy()    { sourceFile.deleteFile(); }

    Sandbox sandbox;
    const juce::File sourceFile;
    MonolithSource source;
    CheckedFolder folder = CheckedFolder::openRoot (sandbox.folder);
    std::unique_ptr<CheckedFile> destination;
    juce::MemoryBlock seen;
    std::vector<juce::int64> progress;
    juce::int64 refuseAfter = -1;
};
} // namespace

TEST (VerifiedCopy, CopiesTheWholeMonolithAndShowsTheCheckerEveryBlockOfTheCopy)
{
    const auto data = noise();

    // A source on the copy's file system is copied inside the system; one on a memory file system, which
    // the system may refuse to copy from, through a block in memory.
    for (const auto& sourceFolder : { juce::File(), juce::File ("/dev/shm") })
    {
        if (sourceFolder != juce::File() && ! sourceFolder.isDirectory())
            continue;

        SCOPED_TRACE (sourceFolder.getFullPathName());
        Copy copy (data, sourceFolder);
        ASSERT_EQ (copy.run(), BlockCopy::Outcome::done);

        juce::MemoryBlock copied;
        ASSERT_TRUE (copy.copyFile().loadFileAsData (copied));
        EXPECT_EQ (copied, data);
        EXPECT_EQ (copy.seen, data);

        // A report after every block read back, each a block further on.
        const auto numBlocks = (data.getSize() + BlockCopy::blockSize - 1) / BlockCopy::blockSize;
        ASSERT_EQ (copy.progress.size(), numBlocks);
        EXPECT_EQ (copy.progress.back(), (juce::int64) data.getSize());

        for (size_t i = 1; i < copy.progress.size(); ++i)
            EXPECT_LE (copy.progress[i] - copy.progress[i - 1], BlockCopy::blockSize);
    }
}

TEST (VerifiedCopy, TheCheckerSeesWhatWasReadBackNotWhatWasMeant)
{
    // Bytes that differ from the source stand for a copy that did not come out as written.
    const auto data = noise();
    auto other = data;
    static_cast<char*> (other.getData())[VerifiedCopy::stepSize + 5] ^= 1;
    Copy copy (data);
    juce::MemoryInputStream readBack (other, false);

    ASSERT_EQ (copy.run (&readBack), BlockCopy::Outcome::done);
    EXPECT_EQ (copy.seen, other);
}

TEST (VerifiedCopy, FailuresAndStopsEndTheCopy)
{
    const auto data = noise();
    const auto length = (juce::int64) data.getSize();

    struct Case { const char* name; juce::int64 cutSourceTo, readBackLength, refuseAfter; int stopAt; BlockCopy::Outcome expected; };
    const Case cases[] = {
        { "source cut short after it was opened", VerifiedCopy::stepSize + 100, length, -1, 0, BlockCopy::Outcome::failed },
        { "copy reads back short", length, VerifiedCopy::stepSize + 100, -1, 0, BlockCopy::Outcome::failed },
        { "checker refuses a block", length, length, BlockCopy::blockSize * 3, 0, BlockCopy::Outcome::failed },
        { "stop before the first step", length, length, -1, 1, BlockCopy::Outcome::stopped },
        { "stop before the second step", length, length, -1, 2, BlockCopy::Outcome::stopped },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Copy copy (data);
        copy.refuseAfter = c.refuseAfter;

        if (c.cutSourceTo < length)
        {
            juce::FileOutputStream cut (copy.sourceFile);
            ASSERT_TRUE (cut.openedOk() && cut.setPosition (c.cutSourceTo) && cut.truncate().wasOk());
        }

        juce::MemoryInputStream readBack (data.getData(), (size_t) c.readBackLength, false);
        int questions = 0;
        EXPECT_EQ (copy.run (&readBack, [&] { return ++questions == c.stopAt; }), c.expected);

        // Nothing is read back past the step that failed, and nothing is shown after a refusal.
        EXPECT_LE ((juce::int64) copy.seen.getSize(), c.refuseAfter >= 0 ? c.refuseAfter + BlockCopy::blockSize
                                                                          : juce::jmin (c.cutSourceTo, c.readBackLength));

        if (c.stopAt > 0)
        {
            EXPECT_EQ ((juce::int64) copy.seen.getSize(), (c.stopAt - 1) * VerifiedCopy::stepSize);
        }
    }
}
