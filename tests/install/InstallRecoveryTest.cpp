// An installation killed (SIGKILL, in a forked child) just before each change the file layer makes, then
// the next start's recovery: the targets are wholly old or wholly new, nothing temporary is left, and hosts
// scanning the VST3 tree never see a half-installed or hidden bundle, whenever the kill came. Recovery
// killed part-way, or failing part-way, is finished by the next start, however often that happens.

#include "InstallTestSupport.h"

#include <gtest/gtest.h>

#include <iostream>

using namespace InstallTestSupport;

namespace
{
/** A plug-in of a bundle and a folder that the maker's other products share, in a monolith with checksums;
    large enough that the copy and the extraction take several blocks each. */
MonolithContent recoveryContent()
{
    juce::MemoryBlock code (600000);
    juce::Random (11).fillBitsRandomly (code.getData(), code.getSize());

    MonolithContent content;
    content.vst3 = makeRawZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "", code },
                                 { "Beta.vst3/desktop.ini", "icon" },
                                 { "Shared/Presets/Beta.preset", "beta preset" },
                                 { "Shared/readme.txt", "new readme" } });
    content.checksums = true;
    return content;
}

/** An earlier installation of this instrument beside another product of the maker, which shares a folder. */
void installEarlierVersion (const CheckedMonolith& run)
{
    run.installEarlierVersion();
    const std::pair<const char*, const char*> shared[] = { { "Shared/Presets/Gamma.preset", "gamma preset" },
                                                           { "Shared/readme.txt", "old readme" } };

    for (const auto& [path, content] : shared)
    {
        const auto file = run.pluginFolder().getChildFile (path);
        file.getParentDirectory().createDirectory();
        file.replaceWithText (content);
    }
}

struct KilledRun
{
    bool killed = false;
    int changes = 0;        // the changes the child announced (when it was not killed)
    int result = -1;
};

/** Runs the installation in a forked child that kills itself just before the file layer's change number
    `killAt`, or runs to its end when there are fewer changes. */
KilledRun installKilledAt (CheckedMonolith& run, int killAt, const std::function<bool (ChangeProbe::Change)>& counted = {})
{
    const auto report = runKilledBeforeChange (killAt, [&] { return run.install(); }, counted);
    return { report.exitCode == -1, report.text.getIntValue(), report.exitCode };
}

/** Runs the next start's recovery in a forked child killed at its change number `killAt`; false when it finished first. */
bool recoverKilledAt (const CheckedMonolith& run, int killAt, const std::function<bool (ChangeProbe::Change)>& counted = {})
{
    return runKilledBeforeChange (killAt, [&]
    {
        InstallerLog log;
        run.sandbox.makeModel (log)->recover();
        return 0;
    }, counted).exitCode == -1;
}

/** Back to the earlier installation alone, as before the installation began. */
void resetToEarlierVersion (const CheckedMonolith& run)
{
    const auto& f = run.sandbox.folders();
    f.dataRoot.deleteRecursively();
    f.vst3Root.deleteRecursively();

    for (const auto& staging : run.sandbox.folder.findChildFiles (juce::File::findDirectories, false, ".installing-*"))
        staging.deleteRecursively();

    installEarlierVersion (run);
}

/** The recovery of a new start: its log lines. */
juce::StringArray recover (const CheckedMonolith& run)
{
    InstallerLog log;
    run.sandbox.makeModel (log)->recover();
    return messagesOf (log);
}

/** What a host scanning the VST3 tree would find wrong now: hidden items, or a bundle that is neither the
    old one nor the new one whole (between the two renames of a replacement there is none). */
juce::String whatHostsSee (const CheckedMonolith& run, const ZipContent& oldTargets, const ZipContent& newTargets)
{
    juce::String problems;
    const auto vst3 = run.sandbox.folders().vst3Root;

    for (const auto& f : vst3.findChildFiles (juce::File::findFilesAndDirectories, true, "*", juce::File::FollowSymlinks::no))
        if (f.getFileName().startsWith ("."))
            problems << "hidden item " << f.getRelativePathFrom (vst3) << "; ";

    const auto bundleOf = [] (const ZipContent& targets)
    {
        ZipContent bundle;

        for (const auto& [path, content] : targets)
            if (path.startsWith ("vst3/Alpha/Beta.vst3/") && path != "vst3/Alpha/Beta.vst3/")
                bundle[path] = content;

        return bundle;
    };

    ZipContent now;

    for (const auto& [path, content] : snapshotOf (vst3.getChildFile ("Alpha/Beta.vst3")))
        now["vst3/Alpha/Beta.vst3/" + path] = content;

    if (! now.empty() && now != bundleOf (oldTargets) && now != bundleOf (newTargets))
        problems << "a half-installed bundle; ";

    return problems;
}

/** Runs the next start, which must leave the targets wholly old or wholly new and nothing temporary, and
    the start after it, which must find nothing to do: true when they are new. */
bool nextStartEndsNew (const CheckedMonolith& run, const ZipContent& oldTargets, const ZipContent& newTargets)
{
    recover (run);
    const auto after = run.targets();
    EXPECT_TRUE (after == oldTargets || after == newTargets);
    EXPECT_EQ (text (temporaryItemsIn (run.sandbox.folder)), "");
    EXPECT_EQ (recover (run), juce::StringArray());
    return after == newTargets;
}

/** The targets after a whole installation, in a sandbox of their own. */
ZipContent targetsOfWholeInstallation (bool earlier)
{
    CheckedMonolith run (recoveryContent());

    if (earlier)
        installEarlierVersion (run);

    return run.install() == 0 ? run.targets() : ZipContent();
}

/** `whole`, the targets of a whole installation, with the monolith of `run`: every monolith is scrambled
    with seeds of its own. */
ZipContent withMonolithOf (const CheckedMonolith& run, ZipContent whole)
{
    whole["data/Alpha/Beta/Beta.rom"] = run.model->monolithFile.loadFileAsString();
    return whole;
}
} // namespace

TEST (InstallRecovery, KillAtEveryChangeThenTheNextStartLeavesOldOrNewAndNothingTemporary)
{
    for (const bool earlier : { false, true })
    {
        const auto wholeInstallation = targetsOfWholeInstallation (earlier);
        ASSERT_FALSE (wholeInstallation.empty());
        int rolledBack = 0, completed = 0, killPoints = 0;

        for (int killAt = 1;; ++killAt)
        {
            SCOPED_TRACE ("killed before change " + juce::String (killAt) + (earlier ? " over an earlier installation" : ""));
            CheckedMonolith run (recoveryContent());
            ASSERT_EQ (run.check, 0);

            if (earlier)
                installEarlierVersion (run);

            const auto oldTargets = run.targets(), newTargets = withMonolithOf (run, wholeInstallation);
            const auto child = installKilledAt (run, killAt);

            if (! child.killed)
            {
                EXPECT_EQ (child.result, 0);
                EXPECT_EQ (child.changes, killAt - 1);
                EXPECT_EQ (run.targets(), newTargets);
                EXPECT_EQ (recover (run), juce::StringArray());
                break;
            }

            ++killPoints;
            EXPECT_EQ (whatHostsSee (run, oldTargets, newTargets), "");

            // A kill while the child let go of the check's archive copy leaves the rest of it to the start.
            juce::StringArray lines;

            for (const auto& line : recover (run))
                if (! line.startsWith ("Removed the plug-in archive copy of a run that ended early: "))
                    lines.add (line);

            const auto after = run.targets();
            const auto isOld = after == oldTargets, isNew = after == newTargets;
            EXPECT_TRUE (isOld || isNew) << text (lines);
            EXPECT_EQ (text (temporaryItemsIn (run.sandbox.folder)), "");

            // A kill before the journal's first line leaves nothing to tell.
            if (! lines.isEmpty())
            {
                ASSERT_EQ (lines.size(), 2) << text (lines);
                EXPECT_EQ (lines[0], "Found an interrupted installation: Beta (Alpha)");
                EXPECT_EQ (lines[1], isNew ? "Completed the interrupted installation" : "Rolled back the interrupted installation");
                (isNew ? completed : rolledBack) += 1;
            }

            EXPECT_EQ (recover (run), juce::StringArray());

            if (killAt > 1000)
                FAIL() << "the installation never finished";
        }

        // Kills came in every phase: before the commit was recorded, and after it.
        EXPECT_GT (rolledBack, 20);
        EXPECT_GT (completed, 0);
        std::cout << killPoints << " kill points" << (earlier ? " over an earlier installation: " : ": ") << rolledBack
                  << " rolled back, " << completed << " completed" << std::endl;
    }
}

TEST (InstallRecovery, RecoveryKilledPartWayIsFinishedByTheNextStart)
{
    // Killed after the monolith and the bundle are in place (the last moves and the commit remain), and
    // after the commit (the clean-up remains); then the recovery is killed at each of its own changes.
    const auto wholeInstallation = targetsOfWholeInstallation (true);
    int fullRun = 0;

    {
        CheckedMonolith run (recoveryContent());
        installEarlierVersion (run);
        fullRun = installKilledAt (run, 100000).changes;
        ASSERT_GT (fullRun, 20);
    }

    for (const auto killAt : { fullRun - 12, fullRun - 3 })
    {
        int recoveryKills = 0;

        for (int recoveryKillAt = 1;; ++recoveryKillAt)
        {
            SCOPED_TRACE ("installation killed before change " + juce::String (killAt) + ", recovery before its change "
                          + juce::String (recoveryKillAt));
            CheckedMonolith run (recoveryContent());
            installEarlierVersion (run);
            const auto oldTargets = run.targets(), newTargets = withMonolithOf (run, wholeInstallation);
            ASSERT_TRUE (installKilledAt (run, killAt).killed);

            if (! recoverKilledAt (run, recoveryKillAt))
                break;

            ++recoveryKills;
            EXPECT_EQ (whatHostsSee (run, oldTargets, newTargets), "");
            recover (run);
            EXPECT_TRUE (run.targets() == oldTargets || run.targets() == newTargets);
            EXPECT_EQ (text (temporaryItemsIn (run.sandbox.folder)), "");
            EXPECT_EQ (recover (run), juce::StringArray());
        }

        EXPECT_GT (recoveryKills, 0);
    }
}

TEST (InstallRecovery, StartWithNothingToRecoverWritesNothing)
{
    CheckedMonolith run;
    const auto before = snapshotOf (run.sandbox.folder);

    EXPECT_EQ (recover (run), juce::StringArray());
    EXPECT_EQ (snapshotOf (run.sandbox.folder), before);
}

TEST (InstallRecovery, UpgradeKilledAnywhereThenItsRecoveryKilledAnywhereEndsOldOrNew)
{
    // One check for the whole sweep: every installation and recovery runs in a child of its own. Kills only
    // before the changes after which a kill leaves something new, in memory: thousands of kills.
    CheckedMonolith run (recoveryContent(), 0, {}, memoryFolder());
    ASSERT_EQ (run.check, 0);
    resetToEarlierVersion (run);
    const auto oldTargets = run.targets(), newTargets = withMonolithOf (run, targetsOfWholeInstallation (true));
    int installKills = 0, pairs = 0, endedOld = 0, endedNew = 0;

    for (int killAt = 1;; ++killAt)
    {
        resetToEarlierVersion (run);

        if (! installKilledAt (run, killAt, changesWhatAKillLeaves).killed)
            break;

        ++installKills;

        for (int recoveryKillAt = 1;; ++recoveryKillAt)
        {
            SCOPED_TRACE ("installation killed before change " + juce::String (killAt) + ", its recovery before its change "
                          + juce::String (recoveryKillAt));

            if (recoveryKillAt > 1)
            {
                resetToEarlierVersion (run);
                ASSERT_TRUE (installKilledAt (run, killAt, changesWhatAKillLeaves).killed);
            }

            if (! recoverKilledAt (run, recoveryKillAt, changesWhatAKillLeaves))
                break;

            ++pairs;
            EXPECT_EQ (whatHostsSee (run, oldTargets, newTargets), "");
            (nextStartEndsNew (run, oldTargets, newTargets) ? endedNew : endedOld) += 1;
        }
    }

    EXPECT_GT (installKills, 40);
    EXPECT_GT (endedNew, 0);
    std::cout << installKills << " kill points of the upgrade, " << pairs << " with its recovery killed too: " << endedOld
              << " ended old, " << endedNew << " new" << std::endl;
}

TEST (InstallRecovery, UpgradeFailingThenItsRollbackFailingOnceIsFinishedByTheNextStart)
{
    // A move or removal of the upgrade fails (a disk error), then one more of its own or of its rollback's
    // fails once (a file that a scanner holds): the next start goes on from where the run stopped.
    using Change = ChangeProbe::Change;
    CheckedMonolith run (recoveryContent(), 0, {}, memoryFolder());
    ASSERT_EQ (run.check, 0);
    resetToEarlierVersion (run);
    const auto oldTargets = run.targets(), newTargets = withMonolithOf (run, targetsOfWholeInstallation (true));
    int runs = 0, endedOld = 0, endedNew = 0;

    for (int first = 1;; ++first)
    {
        int changes = 0;

        for (int second = first + 1;; ++second)
        {
            SCOPED_TRACE ("move or removal " + juce::String (first) + " failed, then " + juce::String (second));
            resetToEarlierVersion (run);
            changes = 0;
            ChangeProbe::setFault ([&] (Change change, const juce::File&)
            {
                if (change != Change::move && change != Change::remove)
                    return juce::Result::ok();

                ++changes;

                if (changes == first)
                    return juce::Result::fail ("Input/output error");

                return changes == second ? juce::Result::fail ("Device or resource busy") : juce::Result::ok();
            });

            run.install();
            ChangeProbe::setFault ({});

            if (changes < second)
                break;

            ++runs;
            (nextStartEndsNew (run, oldTargets, newTargets) ? endedNew : endedOld) += 1;
        }

        if (changes < first)
            break;
    }

    EXPECT_GT (endedOld, 20);
    EXPECT_GT (endedNew, 0);
    std::cout << runs << " upgrades with two failures: " << endedOld << " ended old, " << endedNew << " new" << std::endl;
}
