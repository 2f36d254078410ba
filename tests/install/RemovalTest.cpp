// Removal of an installation (InstallerModel::uninstall) beside other products of the same maker: what the
// record lists goes and everything else stays; a removal stopped at any point, or killed (SIGKILL) before
// any of its changes and then recovered by the next start, leaves the installation whole or wholly gone,
// and nothing temporary.

#include "InstallTestSupport.h"

#include "install/installed/InstallRecord.h"
#include "install/installed/InstalledInstruments.h"

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
    explicit InstalledBeside (bool alone = false)
    {
        const auto& f = run.sandbox.folders();
        const std::pair<juce::File, const char*> others[] = {
            { f.dataRoot.getChildFile ("Alpha/Gamma/Gamma.rom"), "other instrument" },
            { run.pluginFolder().getChildFile ("Gamma.vst3/Contents/x86_64-win/Gamma.vst3"), "other plug-in" },
            { run.pluginFolder().getChildFile ("Shared/Presets/Gamma.preset"), "gamma preset" },
        };

        for (const auto& [file, content] : others)
        {
            if (alone)
                break;

            file.getParentDirectory().createDirectory();
            file.replaceWithText (content);
        }

        withoutBeta = run.targets();
        installed = run.install() == 0 && run.installedMonolith().getSiblingFile (InstallRecord::fileName).existsAsFile();
        withBeta = run.targets();
    }

    int uninstall (const std::function<bool()>& stopWhen = {}, juce::StringArray* kept = nullptr, InstallerLog* logToUse = nullptr) const
    {
        InstallerLog ownLog;
        auto& log = logToUse != nullptr ? *logToUse : ownLog;
        RecordingObserver observer (stopWhen);
        auto model = run.sandbox.makeModel (log);
        const auto result = model->uninstall ("Alpha", "Beta", observer);

        if (kept != nullptr)
            *kept = model->keptByUninstall;

        return result;
    }

    juce::File record() const   { return run.installedMonolith().getSiblingFile (InstallRecord::fileName); }

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
    // Beside the maker's other products, and alone, when the company's folders go too.
    for (const auto alone : { false, true })
    {
        int whole = 0, gone = 0;

        for (int killAt = 1;; ++killAt)
        {
            SCOPED_TRACE ((alone ? "alone, killed before change " : "killed before change ") + juce::String (killAt));
            InstalledBeside beside (alone);
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

            // Neither the removal's mark nor an empty folder that the removal would have removed stays.
            EXPECT_TRUE (after == beside.withBeta || after == beside.withoutBeta) << text (messagesOf (log));
            EXPECT_EQ (text (temporaryItemsIn (beside.run.sandbox.folder)), "");
            EXPECT_TRUE (beside.run.sandbox.folder.findChildFiles (juce::File::findFiles, true, "*.removal-*").isEmpty());
            (after == beside.withBeta ? whole : gone)++;
        }

        // Kills came before the commit was recorded, and after it.
        EXPECT_GT (whole, 0);
        EXPECT_GT (gone, 0);
    }
}

TEST (Removal, RecordNamingAnythingButTheInstrumentsOwnItemsIsDamagedAndNothingGoes)
{
    const struct
    {
        const char* name;
        juce::String appended;
        const char* named;      // the item the log's last line names
    } cases[] = {
        { "another product's bundle", "folder\tplugins\tGamma.vst3\tmade\nfile\tplugins\tGamma.vst3/Contents/x86_64-win/Gamma.vst3\t13\t00000000\n",
          "Alpha/Gamma.vst3" },
        { "a file the installation never writes", "file\tdata\tnotes.txt\t1\t00000000\n", "Alpha/Beta/notes.txt" },
        { "a folder in the data folder", "folder\tdata\tPresets\tmade\n", "Alpha/Beta/Presets" },
        { "the maker's shared folder", "folder\tplugins\tShared/Other\tmade\n", "Alpha/Shared/Other" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        InstalledBeside beside;
        ASSERT_TRUE (beside.installed);
        ASSERT_TRUE (beside.record().appendText (c.appended));
        const auto before = beside.run.targets();

        InstallerLog log;
        EXPECT_EQ (beside.uninstall ({}, nullptr, &log), InstallerModel::invalidData);
        EXPECT_EQ (beside.run.targets(), before);
        const auto last = messagesOf (log).strings.getLast();
        EXPECT_TRUE (last.contains (c.named) && last.endsWith (", which is none of its own items: nothing was removed")) << last;
    }

    // Without its monolith, nothing tells what the instrument's own items are.
    InstalledBeside beside;
    ASSERT_TRUE (beside.run.installedMonolith().deleteFile());
    const auto before = beside.run.targets();
    EXPECT_EQ (beside.uninstall(), InstallerModel::invalidData);
    EXPECT_EQ (beside.run.targets(), before);
}

TEST (Removal, FilesChangedSinceTheInstallationAreKeptAndNamed)
{
    InstalledBeside beside;
    ASSERT_TRUE (beside.installed);
    const auto& folder = beside.run.pluginFolder();
    const auto sameSize = folder.getChildFile ("Beta.vst3/desktop.ini");
    const auto longer = folder.getChildFile ("Shared/Presets/Beta.preset");
    ASSERT_TRUE (sameSize.replaceWithText ("ICON") && longer.replaceWithText ("the user's own preset"));

    juce::StringArray kept;
    InstallerLog log;
    EXPECT_EQ (beside.uninstall ({}, &kept, &log), InstallerModel::noError);

    auto expected = beside.withoutBeta;
    expected["vst3/Alpha/Beta.vst3/"] = {};
    expected["vst3/Alpha/Beta.vst3/desktop.ini"] = "ICON";
    expected["vst3/Alpha/Shared/Presets/Beta.preset"] = "the user's own preset";
    EXPECT_EQ (beside.run.targets(), expected);

    EXPECT_EQ (kept, (juce::StringArray { sameSize.getFullPathName() + " (changed since it was installed)",
                                          longer.getFullPathName() + " (changed since it was installed)" }));
    EXPECT_TRUE (messagesOf (log).contains ("Kept, changed since it was installed: " + sameSize.getFullPathName()));
    EXPECT_EQ (text (temporaryItemsIn (beside.run.sandbox.folder)), "");
}

TEST (Removal, InstrumentsSharingAPlayerBundleKeepItUntilTheLastGoes)
{
    const auto player = [] (const juce::String& instrument)
    {
        MonolithContent content;
        content.state = makeState (instrument, "Alpha");
        content.vst3 = makeRawZip ({ { "Player.vst3/Contents/x86_64-win/Player.vst3", "player code" },
                                     { "Player.vst3/desktop.ini", "icon" },
                                     { "Shared/" + instrument + ".preset", instrument + " preset" } });
        return content;
    };

    CheckedMonolith beta (player ("Beta"));
    ASSERT_EQ (beta.check, 0);
    ASSERT_EQ (beta.install(), 0);

    InstallerLog log;
    auto gamma = beta.sandbox.makeModel (log);
    gamma->monolithFile = writeMonolith (beta.sandbox.folder.getChildFile ("in2").getChildFile ("Gamma.rom"), player ("Gamma"));
    RecordingObserver observer;
    ASSERT_EQ (gamma->processMonolith (observer), 0);
    ASSERT_EQ (gamma->install (observer), 0);
    const auto bothInstalled = beta.targets();

    const auto uninstall = [&] (const char* instrument)
    {
        InstallerLog removalLog;
        RecordingObserver removalObserver;
        return beta.sandbox.makeModel (removalLog)->uninstall ("Alpha", instrument, removalObserver);
    };

    // Every file each remaining record lists is there, as it lists it.
    const auto listIsTrue = [&]
    {
        juce::StringArray problems;
        const auto found = InstalledInstruments (beta.sandbox.folders()).findAll (problems);
        const auto targets = beta.targets();

        for (const auto& installation : found)
            for (const auto& item : installation.record.items)
                if (! item.isFolder && item.place == InstallRecord::TargetFolder::plugins
                     && targets.count ("vst3/Alpha/" + item.path) == 0)
                    return false;

        return problems.isEmpty() && ! found.empty();
    };

    EXPECT_EQ (uninstall ("Beta"), InstallerModel::noError);
    auto withoutBeta = bothInstalled;

    for (auto entry = withoutBeta.begin(); entry != withoutBeta.end();)
        entry = entry->first.startsWith ("data/Alpha/Beta/") || entry->first.contains ("Beta.preset") ? withoutBeta.erase (entry) : std::next (entry);

    EXPECT_EQ (beta.targets(), withoutBeta);
    EXPECT_TRUE (listIsTrue());

    // Gamma found the shared folder there (Beta made it): as its record says, that folder stays, emptied.
    EXPECT_EQ (uninstall ("Gamma"), InstallerModel::noError);
    EXPECT_EQ (beta.targets(), (ZipContent { { "vst3/Alpha/", {} }, { "vst3/Alpha/Shared/", {} } }));
}

TEST (Removal, FoldersThatWereThereBeforeTheInstallationStayEmptied)
{
    CheckedMonolith run (removalContent());
    ASSERT_TRUE (run.pluginFolder().getChildFile ("Shared").createDirectory());
    ASSERT_EQ (run.check, 0);
    ASSERT_EQ (run.install(), 0);

    InstallerLog log;
    RecordingObserver observer;
    EXPECT_EQ (run.sandbox.makeModel (log)->uninstall ("Alpha", "Beta", observer), InstallerModel::noError);
    EXPECT_EQ (run.targets(), (ZipContent { { "vst3/Alpha/", {} }, { "vst3/Alpha/Shared/", {} } }));
}
