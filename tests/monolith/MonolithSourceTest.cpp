#include "monolith/EntryNames.h"
#include "monolith/MonolithReader.h"
#include "monolith/MonolithSource.h"
#include "monolith/MonolithWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
    juce::MemoryBlock countingBytes (size_t numBytes)
    {
        juce::MemoryBlock block (numBytes);

        for (size_t i = 0; i < numBytes; ++i)
            block[i] = (char) (i * 7 + i / 251);

        return block;
    }

    juce::MemoryBlock readAll (juce::InputStream& stream)
    {
        juce::MemoryBlock block;
        stream.readIntoMemoryBlock (block);
        return block;
    }

    /** A monolith whose plug-in entry holds `plugin` and whose state names `instrument`. */
    void writeMonolith (const juce::File& file, const juce::String& instrument, const juce::MemoryBlock& plugin)
    {
        file.deleteFile();
        juce::FileOutputStream out (file);
        MonolithWriter writer (out);
        juce::ValueTree state ("SAMBREL_STATE");
        state.setProperty ("name", instrument, nullptr);
        writer.writeState (state);
        writer.writeEntry (ChunkType::binary, EntryNames::vst3Plugin, plugin);
    }

    struct Folder
    {
        Folder()    { folder.createDirectory(); }
        ~Folder()   { folder.deleteRecursively(); }

        juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getNonexistentChildFile ("monolith-source-test", {}, false);
    };
}

TEST (MonolithSource, StreamsReadTheFileIndependently)
{
    Folder f;
    const auto file = f.folder.getChildFile ("a.rom");
    const auto bytes = countingBytes (300000);
    ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));

    const auto source = MonolithSource::open (file);
    ASSERT_TRUE (source.isOpen()) << source.getStatus().getErrorMessage();
    EXPECT_EQ (source.getSize(), 300000);
    EXPECT_EQ (source.getFile(), file);

    auto first = source.createInputStream();
    auto second = source.createInputStream();
    ASSERT_NE (first, nullptr);
    EXPECT_EQ (first->getTotalLength(), 300000);

    // Reads on one stream do not move the other.
    char a[1000], b[1000];
    ASSERT_EQ (first->read (a, 1000), 1000);
    ASSERT_TRUE (second->setPosition (100000));
    ASSERT_EQ (second->read (b, 1000), 1000);
    EXPECT_EQ (memcmp (a, bytes.getData(), 1000), 0);
    EXPECT_EQ (memcmp (b, static_cast<const char*> (bytes.getData()) + 100000, 1000), 0);
    EXPECT_EQ (first->getPosition(), 1000);
    ASSERT_EQ (first->read (a, 1000), 1000);
    EXPECT_EQ (memcmp (a, static_cast<const char*> (bytes.getData()) + 1000, 1000), 0);

    // The end: a short read, then nothing; beyond it nothing either, and no negative positions.
    ASSERT_TRUE (second->setPosition (299990));
    EXPECT_EQ (second->read (b, 1000), 10);
    EXPECT_TRUE (second->isExhausted());
    EXPECT_EQ (second->read (b, 1000), 0);
    EXPECT_TRUE (second->setPosition (400000));
    EXPECT_EQ (second->read (b, 1000), 0);
    EXPECT_FALSE (second->setPosition (-1));

    // A stream keeps the file open after its source is gone.
    std::unique_ptr<juce::InputStream> third;
    {
        const auto own = MonolithSource::open (file);
        third = own.createInputStream();
    }
    EXPECT_EQ (readAll (*third), bytes);
}

TEST (MonolithSource, WhatHappensToThePathAfterOpeningDoesNotMatter)
{
    Folder f;
    const auto file = f.folder.getChildFile ("Beta.rom");
    const auto original = countingBytes (100000);
    writeMonolith (file, "original", original);

    const auto source = MonolithSource::open (file);
    ASSERT_TRUE (source.isOpen());
    const MonolithReader reader (source);
    const MonolithReader byPath (file);

    struct Step { const char* what; std::function<void()> change; };
    const Step steps[] = {
        { "renamed", [&] { ASSERT_TRUE (file.moveFileTo (f.folder.getChildFile ("elsewhere.rom"))); } },
        { "replaced by another monolith", [&] { writeMonolith (file, "other", countingBytes (5000)); } },
        { "replacement removed", [&] { ASSERT_TRUE (file.deleteFile()); } },
    };

    for (const auto& step : steps)
    {
        SCOPED_TRACE (step.what);
        step.change();

        EXPECT_EQ (reader.readState().getProperty ("name").toString(), "original");
        auto plugin = reader.openBinary (EntryNames::keyOf (EntryNames::vst3Plugin));
        ASSERT_NE (plugin, nullptr);
        EXPECT_EQ (readAll (*plugin), original);
    }

    // A reader by path reads whatever the path names now: nothing.
    EXPECT_FALSE (byPath.readState().isValid());
}

TEST (MonolithSource, FileCutShortAfterOpeningGivesShortReads)
{
    Folder f;
    const auto file = f.folder.getChildFile ("a.rom");
    const auto bytes = countingBytes (50000);
    ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));

    const auto source = MonolithSource::open (file);
    ASSERT_TRUE (source.isOpen());
    ASSERT_EQ (truncate (file.getFullPathName().toRawUTF8(), 20000), 0);

    // The size is the one the file had when it was opened; the missing bytes never arrive.
    auto stream = source.createInputStream();
    EXPECT_EQ (stream->getTotalLength(), 50000);
    juce::HeapBlock<char> buffer (50000);
    EXPECT_EQ (stream->read (buffer, 50000), 20000);
}

TEST (MonolithSource, OnlyARegularFileOpens)
{
    Folder f;
    const auto fifo = f.folder.getChildFile ("pipe.rom");
    ASSERT_EQ (mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);

    const struct { const char* what; juce::File file; const char* why; } cases[] = {
        { "missing", f.folder.getChildFile ("missing.rom"), "No such file or directory" },
        { "folder", f.folder, "not a file" },
        // Opening a pipe with no writer must not wait for one.
        { "pipe", fifo, "not a file" },
        { "no path", juce::File(), "no path" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto source = MonolithSource::open (c.file);
        EXPECT_FALSE (source.isOpen());
        EXPECT_EQ (source.getSize(), 0);
        EXPECT_EQ (source.createInputStream(), nullptr);
        EXPECT_EQ (source.getStatus().getErrorMessage(), "Cannot open " + c.file.getFullPathName() + ": " + c.why);
    }

    EXPECT_FALSE (MonolithSource().isOpen());
}
