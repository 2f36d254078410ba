#include "InstallTestSupport.h"

#include "fs/CheckedFolder.h"
#include "install/installed/InstallRecord.h"

#include "install/payload/PluginArchive.h"

#include <iostream>

#include <gtest/gtest.h>

#include <zlib.h>

using namespace InstallTestSupport;

namespace
{
const ZipContent defaultPlugin { { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "plug-in code" },
                                 { "Beta.vst3/desktop.ini", "icon" } };

const juce::StringArray successLines { "Begin install job", "Copy monolith", "Copy VST3", "Copy AU", "Install job finished" };
} // namespace

TEST (InstallJob, RealRunInstallsEverythingWithVisiblePauses)
{
    CheckedMonolith run ({}, 500);
    ASSERT_EQ (run.check, 0);

    const auto started = juce::Time::getMillisecondCounterHiRes();
    EXPECT_EQ (run.install(), 0);
    const auto elapsed = juce::Time::getMillisecondCounterHiRes() - started;

    // Five pauses of 500 ms: after each of the four stages and after the end.
    EXPECT_GE (elapsed, 2500.0);
    EXPECT_EQ (installProgressProblems (run.progressSeen), "");
    EXPECT_EQ (text (run.installMessages()), text (successLines));

    juce::MemoryBlock source, installed;
    ASSERT_TRUE (run.model->monolithFile.loadFileAsData (source));
    ASSERT_TRUE (run.installedMonolith().loadFileAsData (installed));
    EXPECT_EQ (installed, source);
    EXPECT_EQ (treeOf (run.pluginFolder()), defaultPlugin);
    EXPECT_TRUE (run.model->pluginArchive == nullptr);
    EXPECT_FALSE (run.archive.exists());
}

TEST (InstallJob, ExistingTargetsAreOverwrittenAndOtherFilesKept)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    ASSERT_TRUE (run.installedMonolith().getParentDirectory().createDirectory());
    ASSERT_TRUE (run.installedMonolith().replaceWithText ("old monolith"));
    ASSERT_TRUE (run.pluginFolder().getChildFile ("Beta.vst3/desktop.ini").create());
    ASSERT_TRUE (run.pluginFolder().getChildFile ("Beta.vst3/desktop.ini").replaceWithText ("old icon"));
    ASSERT_TRUE (run.pluginFolder().getChildFile ("Other.vst3").replaceWithText ("other plug-in"));

    EXPECT_EQ (run.install(), 0);

    EXPECT_EQ (run.installedMonolith().getSize(), run.model->monolithFile.getSize());
    auto expected = defaultPlugin;
    expected["Other.vst3"] = "other plug-in";
    EXPECT_EQ (treeOf (run.pluginFolder()), expected);
}

TEST (InstallJob, TheRecordHoldsTheSizeAndCrcOfTheInstalledMonolith)
{
    // With checksums the CRC-32 is worked out from the chunks' CRCs; without, it is summed over the copy.
    for (const bool checksums : { true, false })
    {
        SCOPED_TRACE (checksums ? "with checksums" : "without checksums");
        MonolithContent content;
        content.checksums = checksums;
        CheckedMonolith run (content);
        ASSERT_EQ (run.check, 0);
        ASSERT_EQ (run.install(), 0);

        juce::MemoryBlock installed;
        InstallRecord record;
        ASSERT_TRUE (run.installedMonolith().loadFileAsData (installed));
        ASSERT_TRUE (InstallRecord::read (CheckedFolder::openRoot (run.installedMonolith().getParentDirectory()), record).wasOk());
        ASSERT_FALSE (record.items.empty());

        const auto& monolith = record.items.front();
        EXPECT_EQ (monolith.path, run.installedMonolith().getFileName());
        EXPECT_EQ (monolith.size, (juce::int64) installed.getSize());
        EXPECT_EQ (monolith.crc, crc32 (0, static_cast<const Bytef*> (installed.getData()), (uInt) installed.getSize()));
    }
}

TEST (InstallJob, InstallingTheInstalledMonolithOntoItself)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    ASSERT_TRUE (run.installedMonolith().getParentDirectory().createDirectory());
    ASSERT_TRUE (run.model->monolithFile.moveFileTo (run.installedMonolith()));
    run.model->monolithFile = run.installedMonolith();
    const auto before = run.installedMonolith().loadFileAsString();

    EXPECT_EQ (run.install(), 0);
    EXPECT_EQ (text (run.installMessages()), text (successLines));
    EXPECT_EQ (run.installedMonolith().loadFileAsString(), before);
}

TEST (InstallJob, EachFailingStepLogsItsLineAndLeavesTheTargetsAsTheyWere)
{
    enum class Break { dataFolder, sourceCutShort, vst3Folder, emptyArchive, notAnArchive, archiveGone, damagedEntry };

    struct Case
    {
        const char* name;
        Break what;
        double progress;
        bool alsoOverEarlierInstallation;
    };

    const Case cases[] = {
        { "monolith folder cannot be made", Break::dataFolder, 0.0, false },
        // The file the check opened, cut short since: its path going or changing would not matter.
        { "source monolith cut short", Break::sourceCutShort, 0.1, true },
        // The folders on the way to both targets are checked before anything is written.
        { "plug-in folder cannot be made", Break::vst3Folder, 0.0, false },
        { "archive without entries", Break::emptyArchive, 0.5, true },
        { "archive is no zip", Break::notAnArchive, 0.5, true },
        { "archive deleted", Break::archiveGone, 0.5, true },
        { "entry fails its CRC", Break::damagedEntry, 0.5, true },
    };

    for (const auto& c : cases)
    {
        for (const bool earlier : { false, true })
        {
            if (earlier && ! c.alsoOverEarlierInstallation)
                continue;

            SCOPED_TRACE (juce::String (c.name) + (earlier ? " over an earlier installation" : ""));
            MonolithContent content;
            // Stored, so that the test can damage the entry's bytes in place.
            content.vst3 = makeStoredZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "plug-in code" },
                                            { "Beta.vst3/desktop.ini", "icon" } });
            CheckedMonolith run (content);
            ASSERT_EQ (run.check, 0);

            if (earlier)
                run.installEarlierVersion();

            const auto& model = *run.model;
            const auto source = model.monolithFile.getFullPathName();
            juce::String expectedLine;

            switch (c.what)
            {
                case Break::dataFolder:
                    // A regular file where the company folder should be.
                    run.sandbox.folders().dataRoot.getChildFile ("Alpha").replaceWithText ("in the way");
                    expectedLine = "Failed to create directory: " + run.installedMonolith().getParentDirectory().getFullPathName();
                    break;
                case Break::sourceCutShort:
                    ASSERT_EQ (truncate (source.toRawUTF8(), model.monolithFile.getSize() / 2), 0);
                    expectedLine = "Failed to copy monolith from: " + source + " to: " + model.monolithInstallFile.getFullPathName();
                    break;
                case Break::vst3Folder:
                    run.pluginFolder().replaceWithText ("in the way");
                    expectedLine = "Failed to create directory: " + run.pluginFolder().getFullPathName();
                    break;
                case Break::emptyArchive:
                    run.archive.replaceWithData (makeZip ({}).getData(), makeZip ({}).getSize());
                    break;
                case Break::notAnArchive:
                    run.archive.replaceWithText ("no zip at all");
                    break;
                case Break::archiveGone:
                    run.archive.deleteFile();
                    break;
                case Break::damagedEntry:
                {
                    juce::MemoryBlock bytes;
                    ASSERT_TRUE (run.archive.loadFileAsData (bytes));
                    const std::string needle ("plug-in code");
                    auto* begin = static_cast<char*> (bytes.getData());
                    auto* at = std::search (begin, begin + bytes.getSize(), needle.begin(), needle.end());
                    ASSERT_NE (at, begin + bytes.getSize());
                    *at = 'P';
                    ASSERT_TRUE (run.archive.replaceWithData (bytes.getData(), bytes.getSize()));
                    break;
                }
            }

            if (expectedLine.isEmpty())
                expectedLine = "Failed to extract from: " + run.archive.getFullPathName() + " to: " + run.pluginFolder().getFullPathName();

            const auto before = run.targets();
            EXPECT_EQ (run.install(), 5);
            EXPECT_EQ (lastMilestoneOf (run.progressSeen), c.progress);
            EXPECT_EQ (installProgressProblems (run.progressSeen, c.progress), "");

            const auto messages = run.installMessages();
            ASSERT_GE (messages.size(), 2);
            EXPECT_EQ (messages[0], "Begin install job");
            EXPECT_EQ (messages.strings.getLast(), expectedLine);
            EXPECT_FALSE (messages.contains ("Install job finished"));

            EXPECT_EQ (run.targets(), before);
            // The archive is kept after a failure; only the model's end removes it.
            EXPECT_TRUE (run.model->pluginArchive != nullptr);
            EXPECT_EQ (run.archive.existsAsFile(), c.what != Break::archiveGone);
        }
    }
}

TEST (InstallJob, HostileArchivesAreRefusedAndNothingIsWritten)
{
    constexpr juce::uint32 unixSymlink = 0xa1ff0000, unixFifo = 0x11a40000, unixFile = 0x81a40000;
    const auto junk = [] (size_t numBytes)
    {
        juce::MemoryBlock block (numBytes);
        juce::Random (7).fillBitsRandomly (block.getData(), block.getSize());
        return block;
    };

    struct Case
    {
        const char* name;
        std::vector<RawEntry> entries;
        const char* reason;      // what the archive's own check says; empty when only extraction finds out
    };

    const std::vector<Case> cases = {
        { "parent folder", { { "Beta.vst3/first.txt", "harmless" }, { "../escaped.txt", "x" } }, "Unsafe entry name" },
        { "parent inside the path", { { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/../../escaped.txt", "x" } }, "Unsafe entry name" },
        { "backslash parent", { { "Beta.vst3/first.txt", "harmless" }, { "..\\escaped.txt", "x" } }, "Unsafe entry name" },
        { "absolute path", { { "Beta.vst3/first.txt", "harmless" }, { "/tmp/installer-engine-escaped.txt", "x" } }, "Unsafe entry name" },
        { "drive letter", { { "Beta.vst3/first.txt", "harmless" }, { "C:/escaped.txt", "x" } }, "Unsafe entry name" },
        { "device name", { { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/CON", "x" } }, "Unsafe entry name" },
        { "alternate data stream", { { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/first.txt:hidden", "x" } }, "Unsafe entry name" },
        { "symbolic link", { { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/link", "/etc", {}, 0, -1, 0x314, unixSymlink } }, "Symbolic link" },
        { "named pipe", { { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/pipe", "", {}, 0, -1, 0x314, unixFifo } }, "Symbolic link or special file" },
        { "duplicate name", { { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/first.txt", "again" } }, "Duplicate entry" },
        { "names differing in case", { { "Beta.vst3/first.txt", "harmless" }, { "BETA.vst3/First.txt", "again" } }, "Duplicate entry" },
        { "file and folder of one name", { { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/first.txt/inner", "x" } }, "both a file and a folder" },
        { "encrypted entry", { { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/secret", "x", {}, 99 } }, "Unsupported" },
        { "bomb: size deflate cannot reach", { { "Beta.vst3/first.txt", "harmless" },
                                               { "Beta.vst3/big", "", junk (1000), 8, 0xfffffffe } }, "impossible sizes" },
        { "bomb: entries sharing one data block", { { "Beta.vst3/a", "", deflatedZeros (64 << 20), 8, 64 << 20 },
                                                    { "Beta.vst3/b", "", {}, 8, -1, 20, 0, 0 },
                                                    { "Beta.vst3/c", "", {}, 8, -1, 20, 0, 0 } }, "Overlapping entries" },
        { "bomb: more in all than any plug-in", { { "Beta.vst3/1", "", junk (1100000), 8, 1 << 30 },
                                                  { "Beta.vst3/2", "", junk (1100000), 8, 1 << 30 },
                                                  { "Beta.vst3/3", "", junk (1100000), 8, 1 << 30 },
                                                  { "Beta.vst3/4", "", junk (1100000), 8, 1 << 30 },
                                                  { "Beta.vst3/5", "", junk (1100000), 8, 1 << 30 } }, "Archive unpacks to more than" },
        { "bomb: more data than the size it claims", { { "Beta.vst3/first.txt", "harmless" },
                                                       { "Beta.vst3/small", "", deflatedZeros (64 << 20), 8, 1000 } }, "" },
    };

    // A regular Unix file entry passes, so the type test above is what refuses the link and the pipe.
    const std::vector<RawEntry> control { { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/plain", "x", {}, 0, -1, 0x314, unixFile } };

    for (const bool earlier : { false, true })
    {
        for (const auto& c : cases)
        {
            SCOPED_TRACE (juce::String (c.name) + (earlier ? " over an earlier installation" : ""));
            MonolithContent content;
            content.vst3 = makeRawZip (c.entries);
            CheckedMonolith run (content);
            ASSERT_EQ (run.check, 0);

            if (earlier)
                run.installEarlierVersion();

            const PluginArchive archive (run.archive.createInputStream());
            EXPECT_EQ (archive.getStatus().failed(), *c.reason != 0);
            EXPECT_TRUE (archive.getStatus().getErrorMessage().contains (c.reason)) << archive.getStatus().getErrorMessage();

            const auto before = run.targets();
            EXPECT_EQ (run.install(), 5);
            EXPECT_EQ (run.installMessages().strings.getLast(),
                       "Failed to extract from: " + run.archive.getFullPathName() + " to: " + run.pluginFolder().getFullPathName());

            EXPECT_EQ (run.targets(), before);
            EXPECT_EQ (snapshotOf (run.sandbox.folder.getChildFile ("in")).size(), 1u);
            EXPECT_FALSE (run.sandbox.folder.getChildFile ("escaped.txt").exists());
            EXPECT_FALSE (juce::File ("/tmp/installer-engine-escaped.txt").exists());
        }
    }

    MonolithContent content;
    content.vst3 = makeRawZip (control);
    CheckedMonolith run (content);
    ASSERT_EQ (run.check, 0);
    EXPECT_EQ (run.install(), 0);
    EXPECT_EQ (treeOf (run.pluginFolder()), (ZipContent { { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/plain", "x" } }));
}

TEST (InstallJob, EntryWhoseRecordedSizeLiesIsRefusedWhetherInflatedWholeOrInBlocks)
{
    // The recorded CRC-32 is right, so only the size can give the lie away.
    const auto withCrcOfZeros = [] (juce::MemoryBlock zip, size_t numBytes)
    {
        const std::vector<char> zeros (numBytes, 0);
        const auto crc = (juce::uint32) crc32 (0, reinterpret_cast<const Bytef*> (zeros.data()), (uInt) numBytes);
        const auto directory = juce::ByteOrder::littleEndianInt (static_cast<const char*> (zip.getData()) + zip.getSize() - 6);

        for (const auto offset : { (size_t) 14, (size_t) directory + 16 })
            zip.copyFrom (&crc, (int) offset, 4);

        return zip;
    };

    const auto whole = (size_t) 100000, inBlocks = (size_t) PluginArchive::maxWholeEntrySize + (1 << 20);

    for (const auto numBytes : { whole, inBlocks })
    {
        for (const int lie : { -1, 1, 0 })
        {
            SCOPED_TRACE (juce::String (numBytes) + " bytes recorded as " + juce::String ((juce::int64) numBytes + lie));
            MonolithContent content;
            content.vst3 = withCrcOfZeros (makeRawZip ({ { "Beta.vst3/zeros", "", deflatedZeros (numBytes), 8,
                                                           (juce::int64) numBytes + lie } }), numBytes);
            CheckedMonolith run (content);
            ASSERT_EQ (run.check, 0);

            const auto before = run.targets();

            if (lie == 0)
            {
                EXPECT_EQ (run.install(), 0);
                EXPECT_EQ (run.pluginFolder().getChildFile ("Beta.vst3/zeros").getSize(), (juce::int64) numBytes);
                continue;
            }

            EXPECT_EQ (run.install(), 5);
            EXPECT_EQ (run.installMessages().strings.getLast(),
                       "Failed to extract from: " + run.archive.getFullPathName() + " to: " + run.pluginFolder().getFullPathName());
            EXPECT_EQ (run.targets(), before);
        }
    }
}

TEST (InstallJob, HandWrittenArchiveWithSafeNamesExtracts)
{
    // Guards the hand-written archives used above: with harmless names they install.
    MonolithContent content;
    // A folder spelt in two ways is one folder on Windows; here too, in its first spelling.
    content.vst3 = makeStoredZip ({ { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/sub/./second.txt", "also" },
                                    { "Beta.vst3/empty/", "" }, { "BETA.vst3/SUB/third.txt", "same folder" } });
    CheckedMonolith run (content);
    ASSERT_EQ (run.check, 0);

    EXPECT_EQ (run.install(), 0);
    EXPECT_EQ (treeOf (run.pluginFolder()), (ZipContent { { "Beta.vst3/first.txt", "harmless" },
                                                          { "Beta.vst3/sub/second.txt", "also" },
                                                          { "Beta.vst3/sub/third.txt", "same folder" } }));
    EXPECT_TRUE (run.pluginFolder().getChildFile ("Beta.vst3/empty").isDirectory());
}

TEST (InstallJob, StopAtAnyPointLeavesTheTargetsAsTheyWere)
{
    // Large enough that the monolith copy, its read-back and the extraction each take several blocks.
    juce::MemoryBlock code (3u << 20);
    juce::Random (3).fillBitsRandomly (code.getData(), code.getSize());
    MonolithContent content;
    content.vst3 = makeRawZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "", code },
                                 { "Beta.vst3/desktop.ini", "icon" } });

    for (const bool earlier : { false, true })
    {
        int questionsInFullRun = 0;

        for (int stopAt = 1;; ++stopAt)
        {
            SCOPED_TRACE ("stop at question " + juce::String (stopAt) + (earlier ? " over an earlier installation" : ""));
            CheckedMonolith run (content);
            ASSERT_EQ (run.check, 0);

            if (earlier)
                run.installEarlierVersion();

            const auto before = run.targets();
            int questions = 0;
            const auto result = run.install ([&] { return ++questions == stopAt; });

            if (result == 0)
            {
                questionsInFullRun = questions;
                EXPECT_EQ (run.installedMonolith().getSize(), run.model->monolithFile.getSize());
                EXPECT_EQ (run.pluginFolder().getChildFile ("Beta.vst3/Contents/x86_64-win/Beta.vst3").getSize(), (juce::int64) code.getSize());
                EXPECT_EQ (run.pluginFolder().getChildFile ("Beta.vst3/only-in-old-version.txt").exists(), false);
                EXPECT_EQ (run.pluginFolder().getChildFile ("Gamma.vst3").isDirectory(), earlier);
                break;
            }

            EXPECT_EQ (result, 6);
            EXPECT_EQ (run.installMessages().strings.getLast(), "Installation interrupted");
            EXPECT_EQ (run.targets(), before);
            EXPECT_TRUE (run.archive.existsAsFile());

            if (stopAt > 100)
                FAIL() << "the installation never finished";
        }

        // Four pauses plus blocks of the copy, the read-back and the extraction were all tried.
        EXPECT_GT (questionsInFullRun, 10);
        std::cout << "stopped at each of " << questionsInFullRun - 1 << " points" << (earlier ? " over an earlier installation\n" : "\n");
    }
}

TEST (InstallJob, MultiPresetMonolithIsCheckedAndInstalledAsTheLayoutSays)
{
    auto state = makeState ("Glass Keys", "North Pier");
    auto instrument = state.getChildWithName ("INSTRUMENT");

    for (int p = 0; p < 3; ++p)
    {
        juce::ValueTree preset ("PRESET");
        preset.setProperty ("presetIndex", p, nullptr);
        preset.setProperty ("presetName", "Preset " + juce::String (p), nullptr);
        preset.setProperty ("gain", -6.0 + p, nullptr);

        juce::ValueTree layer ("LAYER");
        layer.setProperty ("layerID", 10 + p, nullptr);
        juce::ValueTree sample ("SAMPLE");
        sample.setProperty ("sampleFilePath", "C:/Samples/Key" + juce::String (p) + ".wav", nullptr);
        layer.appendChild (sample, nullptr);
        preset.appendChild (layer, nullptr);
        instrument.appendChild (preset, nullptr);
    }

    state.setProperty ("eula", base64Of ("Terms"), nullptr);

    const ZipContent plugin { { "Glass Keys.vst3/Contents/x86_64-win/Glass Keys.vst3", "binary" },
                              { "Glass Keys.vst3/Contents/Resources/moduleinfo.json", "{}" },
                              { "Glass Keys.vst3/Contents/Resources/Snapshots/shot.png", "png" },
                              { "Glass Keys.vst3/desktop.ini", "icon" } };
    MonolithContent content;
    content.state = state;
    content.vst3 = makeZip (plugin);
    content.screenshot = makePng();

    Sandbox sandbox;
    InstallerLog log;
    auto model = sandbox.makeModel (log);
    model->monolithFile = writeMonolith (sandbox.folder.getChildFile ("in").getChildFile ("Glass Keys.rom"), content);

    RecordingObserver observer;
    ASSERT_EQ (model->processMonolith (observer), 0);
    EXPECT_EQ (model->eulaText, "Terms");
    ASSERT_EQ (model->install (observer), 0);
    EXPECT_EQ (observer.last(), 1.0);

    const auto& f = sandbox.folders();
    const auto installed = f.dataRoot.getChildFile ("North Pier").getChildFile ("Glass Keys").getChildFile ("Glass Keys.rom");
    auto dataFiles = f.dataRoot.findChildFiles (juce::File::findFiles, true);
    dataFiles.sort();
    ASSERT_EQ (dataFiles.size(), 2);
    EXPECT_EQ (dataFiles[0], installed);
    EXPECT_EQ (dataFiles[1], installed.getSiblingFile (InstallRecord::fileName));

    juce::MemoryBlock source, copy;
    ASSERT_TRUE (model->monolithFile.loadFileAsData (source));
    ASSERT_TRUE (installed.loadFileAsData (copy));
    EXPECT_EQ (copy, source);

    ZipContent expectedPlugin;
    for (const auto& [path, data] : plugin)
        expectedPlugin["North Pier/" + path] = data;

    EXPECT_EQ (treeOf (f.vst3Root), expectedPlugin);
    EXPECT_TRUE (treeOf (f.temporary).empty());
}

TEST (InstallJob, BarMovesWithEveryBlockOfTheCopyAndTheExtraction)
{
    // A report after every block keeps the bar moving at any size: a block takes well under half a second.
    juce::String code;
    {
        juce::Random random (5);
        juce::MemoryOutputStream digits;

        for (int i = 0; i < (5 << 20); ++i)
            digits.writeByte ((char) ('0' + random.nextInt (10)));

        code = digits.toString();
    }

    const auto path = "Beta.vst3/Contents/x86_64-win/Beta.vst3";

    for (const bool deflated : { false, true })
    {
        SCOPED_TRACE (deflated ? "deflated" : "stored");
        MonolithContent content;
        content.vst3 = deflated ? makeZip ({ { path, code } }) : makeStoredZip ({ { path, code } });
        CheckedMonolith run (content);
        ASSERT_EQ (run.check, 0);
        ASSERT_EQ (run.install(), 0);
        EXPECT_EQ (installProgressProblems (run.progressSeen), "");

        // The largest step inside each stage is one block's share of it: the copy, a block read back at a
        // time, then the extraction.
        const std::tuple<double, double, double> stages[] = { { 0.1, 0.4, (double) run.model->monolithFile.getSize() },
                                                              { 0.5, 0.7, (double) code.length() } };

        for (const auto& [start, end, bytes] : stages)
        {
            const auto share = (end - start) * BlockCopy::blockSize / bytes;
            double previous = start, largestStep = 0.0;
            int reports = 0;

            for (const auto v : run.progressSeen)
            {
                if (v > start && v <= end)
                {
                    largestStep = std::max (largestStep, v - previous);
                    previous = v;
                    ++reports;
                }
            }

            EXPECT_GE (reports, (int) (bytes / BlockCopy::blockSize)) << "stage " << start << ".." << end;
            EXPECT_LE (largestStep, share * 1.001) << "stage " << start << ".." << end;
        }
    }
}

TEST (InstallJob, WhatIsInstalledIsWhatWasChecked)
{
    {
        SCOPED_TRACE ("another monolith renamed over the checked one's path");
        CheckedMonolith run;
        ASSERT_EQ (run.check, 0);
        juce::MemoryBlock checked, installed;
        ASSERT_TRUE (run.model->monolithFile.loadFileAsData (checked));

        MonolithContent other;
        other.vst3 = makeZip ({ { "Beta.vst3/desktop.ini", "another plug-in" } });
        const auto replacement = writeMonolith (run.sandbox.folder.getChildFile ("in/Other.rom"), other);
        ASSERT_TRUE (replacement.moveFileTo (run.model->monolithFile));

        EXPECT_EQ (run.install(), 0);
        ASSERT_TRUE (run.installedMonolith().loadFileAsData (installed));
        EXPECT_EQ (installed, checked);
        EXPECT_EQ (treeOf (run.pluginFolder()), defaultPlugin);
    }

    // The check's copy of the plug-in archive, changed after the check: refused before anything is extracted.
    const std::pair<const char*, std::function<void (juce::MemoryBlock&)>> changes[] = {
        { "a byte flipped", [] (juce::MemoryBlock& data) { data[data.getSize() / 2] = (char) (data[data.getSize() / 2] ^ 1); } },
        { "a byte appended", [] (juce::MemoryBlock& data) { data.append ("x", 1); } },
        { "replaced by another archive", [] (juce::MemoryBlock& data) { data = makeZip ({ { "Beta.vst3/desktop.ini", "another" } }); } },
    };

    for (const auto& [what, change] : changes)
    {
        SCOPED_TRACE (what);
        CheckedMonolith run;
        ASSERT_EQ (run.check, 0);
        run.installEarlierVersion();
        const auto before = run.targets();
        juce::MemoryBlock archive;
        ASSERT_TRUE (run.archive.loadFileAsData (archive));
        change (archive);
        ASSERT_TRUE (run.archive.replaceWithData (archive.getData(), archive.getSize()));

        EXPECT_EQ (run.install(), 5);
        const auto lines = run.installMessages();
        ASSERT_GE (lines.size(), 2);
        EXPECT_EQ (lines[lines.size() - 2], "Plug-in archive changed since the check: " + run.archive.getFullPathName()) << text (lines);
        EXPECT_TRUE (lines.strings.getLast().startsWith ("Failed to extract from: ")) << text (lines);
        EXPECT_EQ (run.targets(), before);
    }
}
