// Full disks and targets that cannot be moved, made for real: each scenario runs in a child process with
// its own mount table, where it mounts small tmpfs volumes over its folders (this needs root; without it
// the tests are skipped). The child reports what it found wrong through a pipe.

#include "InstallTestSupport.h"

#include <gtest/gtest.h>

#include <iostream>

#include <sched.h>
#include <sys/mount.h>

using namespace InstallTestSupport;

namespace
{
constexpr int cannotMount = 77;

struct MountReport
{
    bool ran = false;
    juce::String problems;
};

/** Runs `scenario` in a forked child with a private mount table; the scenario returns its problems. */
MountReport runWithPrivateMounts (const std::function<juce::String()>& scenario)
{
    const auto report = runInChild ([&] (juce::String& text)
    {
        if (unshare (CLONE_NEWNS) != 0 || mount (nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return cannotMount;

        text = scenario();
        return 0;
    });

    if (report.exitCode == cannotMount)
        return {};

    if (report.exitCode != 0)
        return { true, "child ended with code " + juce::String (report.exitCode) + "\n" + report.text };

    return { true, report.text };
}

#define SKIP_WITHOUT_MOUNTS(report) \
    if (! (report).ran) GTEST_SKIP() << "mounting needs root and a private mount namespace"

bool mountTmpfs (const juce::File& folder, juce::int64 sizeInBytes)
{
    return folder.createDirectory().wasOk()
        && mount ("tmpfs", folder.getFullPathName().toRawUTF8(), "tmpfs", 0,
                  ("size=" + juce::String (sizeInBytes)).toRawUTF8()) == 0;
}

/** Writes into `folder` until its volume takes no more. */
juce::File fillVolume (const juce::File& folder)
{
    const auto filler = folder.getNonexistentChildFile ("filler", {}, false);
    juce::FileOutputStream out (filler, 0);
    juce::HeapBlock<char> block (1 << 20, true);

    for (size_t size = 1 << 20; size > 0; size /= 2)
        while (out.write (block, size) && ! out.getStatus().failed())
            ;

    return filler;
}

/** Collects what a scenario found wrong, in words, since the child cannot use the test framework. */
struct Problems
{
    void check (bool ok, const juce::String& what)
    {
        if (! ok)
            text << what << "\n";
    }

    juce::String text;
};

juce::MemoryBlock randomBytes (size_t numBytes, int seed)
{
    juce::MemoryBlock block (numBytes);
    juce::Random (seed).fillBitsRandomly (block.getData(), block.getSize());
    return block;
}

/** Incompressible content, so that sizes on disk are what the test plans for. */
MonolithContent largeContent()
{
    MonolithContent content;
    content.vst3 = makeRawZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "", randomBytes (3u << 20, 5) },
                                 { "Beta.vst3/Contents/Resources/moduleinfo.json", "", randomBytes (300000, 6) },
                                 { "Beta.vst3/desktop.ini", "icon" } });
    return content;
}
} // namespace

TEST (InstallDisk, DiskFullAtAnyPointLeavesTheTargetsAsTheyWere)
{
    const auto report = runWithPrivateMounts ([]
    {
        Problems problems;
        int failedRuns = 0;
        const auto monolithContent = largeContent();

        for (const bool earlier : { false, true })
        {
            for (int fillAt = 1; fillAt < 200; ++fillAt)
            {
                const auto where = "fill at " + juce::String (fillAt) + (earlier ? " over an earlier installation: " : ": ");
                // One volume holds both targets, as on a machine with one drive: room for both with some
                // to spare, and small, since every run fills it.
                CheckedMonolith run (monolithContent, 0, "volume");
                problems.check (run.check == 0, where + "check failed");
                const auto volume = run.sandbox.folder.getChildFile ("volume");

                if (! mountTmpfs (volume, 16 << 20))
                    return juce::String ("cannot mount");

                // The system's roots are there; the installation makes only what is below them.
                volume.getChildFile ("data").createDirectory();
                volume.getChildFile ("vst3").createDirectory();

                if (earlier)
                {
                    const ZipContent earlierFiles { { "data/Alpha/Beta/Beta.rom", "old monolith" },
                                                    { "data/Alpha/Gamma/Gamma.rom", "other instrument" },
                                                    { "vst3/Alpha/Beta.vst3/Contents/x86_64-win/Beta.vst3", "old code" },
                                                    { "vst3/Alpha/Gamma.vst3/desktop.ini", "other plug-in" } };

                    for (const auto& [path, content] : earlierFiles)
                    {
                        volume.getChildFile (path).getParentDirectory().createDirectory();
                        volume.getChildFile (path).replaceWithText (content);
                    }
                }

                const auto before = snapshotOf (volume);
                int questions = 0;
                juce::File filler;
                const auto result = run.install ([&]
                {
                    if (++questions == fillAt)
                        filler = fillVolume (volume);
                    return false;
                });

                filler.deleteFile();
                const auto after = snapshotOf (volume);
                const auto installedSize = run.model->monolithInstallFile.getSize();
                umount2 (volume.getFullPathName().toRawUTF8(), MNT_DETACH);

                if (questions < fillAt)
                {
                    problems.check (result == 0, where + "a run without a full disk failed");
                    break;
                }

                if (result == 0)
                {
                    // Filled after the last write: only renames were left, which need no space.
                    problems.check (installedSize == run.model->monolithFile.getSize(), where + "succeeded without the new monolith");
                    continue;
                }

                ++failedRuns;
                const auto last = run.installMessages().strings.getLast();
                problems.check (result == 5, where + "result " + juce::String (result));
                problems.check (last.startsWith ("Failed to copy monolith from: ") || last.startsWith ("Failed to extract from: ")
                                 || last.startsWith ("Failed to write: "),
                                where + "last line: " + last);
                problems.check (after == before, where + "the targets changed");
            }
        }

        // The copy, its read-back and the extraction each span several blocks.
        problems.check (failedRuns >= 10, "only " + juce::String (failedRuns) + " runs met a full disk");
        std::cout << failedRuns << " runs met a full disk and failed" << std::endl;
        return problems.text;
    });

    SKIP_WITHOUT_MOUNTS (report);
    EXPECT_EQ (report.problems.toStdString(), "");
}

TEST (InstallDisk, TooLittleFreeSpaceFailsBeforeWriting)
{
    const auto report = runWithPrivateMounts ([]
    {
        Problems problems;

        // The monolith alone does not fit; then it fits but the plug-in does not.
        struct Case { bool monolithFits; const char* lastLineStart; };
        const Case cases[] = { { false, "Failed to copy monolith from: " },
                               { true, "Failed to extract from: " } };

        for (const auto& c : cases)
        {
            const auto where = juce::String (c.monolithFits ? "room for the monolith only: " : "no room for the monolith: ");
            // Both roots share one volume, as on a machine with one drive.
            CheckedMonolith run (largeContent(), 0, "volume");
            problems.check (run.check == 0, where + "check failed");

            const auto monolithSize = run.model->monolithFile.getSize();
            const auto volumeSize = c.monolithFits ? monolithSize + (2 << 20) : monolithSize;
            const auto volume = run.sandbox.folder.getChildFile ("volume");

            if (! mountTmpfs (volume, (volumeSize + 4095) / 4096 * 4096))
                return juce::String ("cannot mount");

            volume.getChildFile ("data").createDirectory();
            volume.getChildFile ("vst3").createDirectory();
            const auto before = snapshotOf (volume);

            const auto result = run.install();
            const auto last = run.installMessages().strings.getLast();

            problems.check (result == 5, where + "result " + juce::String (result));
            problems.check (last.startsWith (c.lastLineStart), where + "last line: " + last);
            problems.check (snapshotOf (volume) == before, where + "something was left");
            umount2 (volume.getFullPathName().toRawUTF8(), MNT_DETACH);
        }

        return problems.text;
    });

    SKIP_WITHOUT_MOUNTS (report);
    EXPECT_EQ (report.problems.toStdString(), "");
}

TEST (InstallDisk, FullTemporaryVolumeFailsTheCheck)
{
    const auto report = runWithPrivateMounts ([]
    {
        Problems problems;

        for (const bool fillFirst : { true, false })
        {
            const auto where = juce::String (fillFirst ? "full before the check: " : "full during the copy: ");
            Sandbox sandbox;
            InstallerLog log;
            auto model = sandbox.makeModel (log);
            model->monolithFile = writeMonolith (sandbox.folder.getChildFile ("in/Beta.rom"), largeContent());

            const auto temporary = sandbox.folders().temporary;
            if (! mountTmpfs (temporary, 16 << 20))
                return juce::String ("cannot mount");

            const auto filler = fillFirst ? fillVolume (temporary) : juce::File();
            RecordingObserver observer ([&]
            {
                if (! temporary.getChildFile ("filler").exists())
                    fillVolume (temporary);
                return false;
            });
            const auto result = model->processMonolith (observer);

            problems.check (result == 5, where + "result " + juce::String (result));
            problems.check (messagesOf (log).strings.getLast() == "Cannot write VST3 temp file", where + messagesOf (log).strings.getLast());
            model.reset();
            temporary.getChildFile ("filler").deleteFile();
            problems.check (snapshotOf (temporary).empty(), where + "the temporary folder is not empty");
            umount2 (temporary.getFullPathName().toRawUTF8(), MNT_DETACH);
        }

        return problems.text;
    });

    SKIP_WITHOUT_MOUNTS (report);
    EXPECT_EQ (report.problems.toStdString(), "");
}

TEST (InstallDisk, TargetThatCannotBeMovedAsideRollsBackTheOtherOne)
{
    // A mount point cannot be renamed: the earlier plug-in bundle or monolith stays where it is, and the
    // installation must then put back what it had already moved into place.
    const auto report = runWithPrivateMounts ([]
    {
        Problems problems;

        for (const bool busyPlugin : { true, false })
        {
            const auto where = juce::String (busyPlugin ? "busy plug-in bundle: " : "busy monolith: ");
            CheckedMonolith run;
            problems.check (run.check == 0, where + "check failed");
            run.installEarlierVersion();

            const auto bundle = run.pluginFolder().getChildFile ("Beta.vst3");
            const auto monolith = run.installedMonolith();
            const auto busy = busyPlugin ? bundle : monolith;

            if (mount (busy.getFullPathName().toRawUTF8(), busy.getFullPathName().toRawUTF8(), nullptr, MS_BIND, nullptr) != 0)
                return juce::String ("cannot mount");

            const auto before = run.targets();
            const auto result = run.install();
            const auto last = run.installMessages().strings.getLast();

            problems.check (result == 5, where + "result " + juce::String (result));
            problems.check (last.startsWith (busyPlugin ? "Failed to extract from: " : "Failed to copy monolith from: "), where + last);
            problems.check (run.targets() == before, where + "the targets changed");
            problems.check (monolith.loadFileAsString() == "old monolith", where + "the earlier monolith is gone");
            umount2 (busy.getFullPathName().toRawUTF8(), MNT_DETACH);
        }

        return problems.text;
    });

    SKIP_WITHOUT_MOUNTS (report);
    EXPECT_EQ (report.problems.toStdString(), "");
}
