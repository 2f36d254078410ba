// Removal of an installation (InstallerModel::uninstall) beside other products of the same maker: what the
// record lists goes and everything else stays; a removal stopped at any point, or killed (SIGKILL) before
// any of its changes and then recovered by the next start, leaves the installation whole or wholly gone,
// and nothing temporary.

#include "InstallTestSupport.h"

#include "install/installed/InstallRecord.h"

#include <gtest/gtest.h>

using namespace InstallTestSupport;

namespace
{
/** A bundle, and a folder that the maker's other products share. */
MonolithContent removalContent()
{
    MonolithContent content;
    content.vst3 = makeRawZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "beta code" },
                                 { "Beta.vst3/desktop.ini", "icon" },
                                 { "Shared/Presets/Beta.preset", "beta preset" } });
    return content;
}

/** Another instrument and plug-in of the maker, a preset of it in the shared folder, and a user's file in
    the instrument's folder; then the installation of Beta over them. */
struct InstalledBeside
{
    InstalledBeside()
    {
        const auto& f = run.sandbox.folders();
        const std::pair<juce::File, const char*> others[] = {
            { f.dataRoot.getChildFile ("Alpha/Gamma/Gamma.rom"), "other instrument" },
            { run.pluginFolder().getChildFile ("Gamma.vst3/Contents/x86_64-win/Gamma.vst3"), "other plug-in" },
            { run.pluginFolder().getChildFile ("Shared/Presets/Gamma.preset"), "gamma preset" },
        };

        for (const auto& [file, content] : others)
        {
            file.getParentDirectory().createDirectory();
            file.replaceWithText (content);
        }

        withoutBeta = run.targets();
        installed = run.install() == 0 && run.installedMonolith().getSiblingFile (InstallRecord::fileName).existsAsFile();
        withBeta = run.targets();
    }

    int uninstall (const std::function<bool()>& stopWhen = {}) const
    {
        InstallerLog log;
        RecordingObserver observer (stopWhen);
        return run.sandbox.makeModel (log)->uninstall ("Alpha", "Beta", observer);
    }

    CheckedMonolith run { removalContent() };
    ZipContent withoutBeta, withBeta;
    bool installed = false;
};
} // namespace

TEST (Removal, RemovesWhatTheRecordListsAndKeepsTheRest)
{
    InstalledBeside beside;
    ASSERT_TRUE (beside.installed);

    EXPECT_EQ (beside.uninstall(), InstallerModel::noError);
    EXPECT_EQ (beside.run.targets(), beside.withoutBeta);
    EXPECT_EQ (text (temporaryItemsIn (beside.run.sandbox.folder)), "");
    EXPECT_EQ (beside.uninstall(), InstallerModel::notInstalled);
}

TEST (Removal, StoppedAnywhereRemovesNothing)
{
    for (int stopAt = 1;; ++stopAt)
    {
        SCOPED_TRACE ("stopped at question " + juce::String (stopAt));
        InstalledBeside beside;
        ASSERT_TRUE (beside.installed);
        int asked = 0;
        const auto result = beside.uninstall ([&] { return ++asked == stopAt; });

        if (result == InstallerModel::noError)
        {
            EXPECT_GT (stopAt, 3);
            break;
        }

        EXPECT_EQ (result, InstallerModel::interrupted);
        EXPECT_EQ (beside.run.targets(), beside.withBeta);
        EXPECT_EQ (text (temporaryItemsIn (beside.run.sandbox.folder)), "");
    }
}

TEST (Removal, KilledAtEveryChangeThenTheNextStartLeavesItWholeOrGone)
{
    int whole = 0, gone = 0;

    for (int killAt = 1;; ++killAt)
    {
        SCOPED_TRACE ("killed before change " + juce::String (killAt));
        InstalledBeside beside;
        ASSERT_TRUE (beside.installed);

        const auto child = runKilledBeforeChange (killAt, [&] { return beside.uninstall(); });

        if (child.exitCode != -1)
        {
            EXPECT_EQ (child.exitCode, InstallerModel::noError);
            EXPECT_EQ (beside.run.targets(), beside.withoutBeta);
            break;
        }

        InstallerLog log;
        beside.run.sandbox.makeModel (log)->recover();
        const auto after = beside.run.targets();

        // A removal that the recovery completes may leave the instrument's folder behind, empty.
        auto withEmptyFolder = beside.withoutBeta;
        withEmptyFolder["data/Alpha/Beta/"] = {};

        EXPECT_TRUE (after == beside.withBeta || after == beside.withoutBeta || after == withEmptyFolder) << text (messagesOf (log));
        EXPECT_EQ (text (temporaryItemsIn (beside.run.sandbox.folder)), "");
        (after == beside.withBeta ? whole : gone)++;
    }

    // Kills came before the commit was recorded, and after it.
    EXPECT_GT (whole, 0);
    EXPECT_GT (gone, 0);
}
