#include "InstallTestSupport.h"

#include "install/installed/InstalledInstruments.h"

#include <gtest/gtest.h>

using namespace InstallTestSupport;

TEST (DataRoot, CheckSaysWhatAChosenFolderWouldMean)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    const auto& f = run.sandbox.folders();
    const auto chosen = run.sandbox.folder.getChildFile ("drive");
    const auto aFile = run.sandbox.folder.getChildFile ("a file");
    ASSERT_TRUE (chosen.createDirectory() && aFile.replaceWithText ("x")
                  && f.dataRoot.getChildFile ("Alpha/Beta/inside").createDirectory());

    struct Case
    {
        juce::File dir;
        InstallerModel::Result result;
        juce::File dataFolder;
    };

    const Case cases[] = {
        { {},                                   InstallerModel::noError,        f.dataRoot.getChildFile ("Alpha/Beta") },
        { chosen,                               InstallerModel::noError,        chosen.getChildFile ("Alpha/Beta") },
        { chosen.getChildFile ("missing"),      InstallerModel::accessDenied,   chosen.getChildFile ("missing/Alpha/Beta") },
        { aFile,                                InstallerModel::accessDenied,   aFile.getChildFile ("Alpha/Beta") },
        { f.dataRoot.getChildFile ("Alpha/Beta/inside"), InstallerModel::accessDenied, f.dataRoot.getChildFile ("Alpha/Beta/inside/Alpha/Beta") },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.dir.getFullPathName());
        const auto check = run.model->checkDataRoot (c.dir);
        EXPECT_EQ (check.result, c.result);
        EXPECT_EQ (check.dataFolder, c.dataFolder);
        EXPECT_EQ (check.bytesNeeded, run.model->monolithFile.getSize());
        EXPECT_GT (check.bytesFree, 0);
        EXPECT_EQ (check.why.isEmpty(), c.result == InstallerModel::noError) << check.why;

        EXPECT_TRUE (check.why.isEmpty() || check.why.contains (c.dir.getFullPathName())) << check.why;
    }

    run.model->chosenDataRoot = chosen;
    EXPECT_EQ (run.model->getDataFolder(), chosen.getChildFile ("Alpha/Beta"));
}

TEST (DataRoot, AFolderWhoseDriveHasNoRoomForTheMonolithIsRefused)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    const auto drive = run.sandbox.folder.getChildFile ("small drive");
    const auto size = run.model->monolithFile.getSize();

    const auto report = runOnTmpfs (drive, "size=4096", [&] (juce::String& text)
    {
        const auto check = run.model->checkDataRoot (drive);
        text << (int) check.result << "\n" << check.why << "\n" << check.bytesFree << "\n" << check.bytesNeeded;
        return 0;
    });

    if (report.exitCode == cannotMount)
        GTEST_SKIP() << "no mount table of its own: neither root nor user namespaces";

    ASSERT_EQ (report.exitCode, 0) << report.text;
    const auto lines = juce::StringArray::fromLines (report.text);
    EXPECT_EQ (lines[0].getIntValue(), (int) InstallerModel::notEnoughSpace);
    EXPECT_TRUE (lines[1].startsWith ("Not enough free space for the monolith in " + drive.getFullPathName() + ": ")) << lines[1];
    EXPECT_LE (lines[2].getLargeIntValue(), 4096);
    EXPECT_EQ (lines[3].getLargeIntValue(), size);
}

namespace
{
/** The data of a successful installation in `chosen`, linked from the default data folder: its problems. */
juce::String linkedInstallationProblems (const CheckedMonolith& run, const juce::File& chosen)
{
    juce::String problems;
    const auto defaultFolder = run.sandbox.folders().dataRoot.getChildFile ("Alpha/Beta");
    const auto dataFolder = chosen.getChildFile ("Alpha/Beta");

    if (defaultFolder.getLinkedTarget() != dataFolder)
        problems << "the default data folder is not the link to " << dataFolder.getFullPathName() << "; ";

    if (defaultFolder.getChildFile ("Beta.rom").loadFileAsString() != run.model->monolithFile.loadFileAsString())
        problems << "the monolith does not read through the default data folder; ";

    InstalledInstruments::Installation found;
    juce::String problem;

    if (InstalledInstruments (run.sandbox.folders()).find ("Alpha", "Beta", found, problem) != InstallerModel::noError)
        problems << "not found: " << problem << "; ";
    else if (found.dataFolder != dataFolder || found.record.dataRoot != chosen || found.linkedFrom != defaultFolder)
        problems << "the record does not name the chosen folder; ";

    return problems;
}
} // namespace

TEST (DataRoot, InstallsIntoAChosenFolderOnAnotherVolumeLinkedFromTheDefaultOneAndUpdatesKeepIt)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    const auto drive = run.sandbox.folder.getChildFile ("other drive");

    const auto report = runOnTmpfs (drive, "size=16m", [&] (juce::String& text)
    {
        run.model->chosenDataRoot = drive;
        const auto installed = run.install();
        text << "install: " << (int) installed << "; " << linkedInstallationProblems (run, drive);

        // An update without a choice goes where the last installation went, and leaves the link as it is.
        InstallerLog log;
        auto update = run.sandbox.makeModel (log);
        update->monolithFile = run.model->monolithFile;
        RecordingObserver observer;
        const auto checked = update->processMonolith (observer);
        const auto updated = checked == 0 ? update->install (observer) : checked;
        text << "update: " << (int) updated << "; ";

        if (update->getDataFolder() != drive.getChildFile ("Alpha/Beta"))
            text << "the update went to " << update->getDataFolder().getFullPathName() << "; ";

        text << linkedInstallationProblems (run, drive);
        return 0;
    });

    if (report.exitCode == cannotMount)
        GTEST_SKIP() << "no mount table of its own: neither root nor user namespaces";

    EXPECT_EQ (report.exitCode, 0);
    EXPECT_EQ (report.text, "install: 0; update: 0; ");
}

TEST (DataRoot, OnlyTheLinkTheRecordNamesIsAccepted)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    const auto& f = run.sandbox.folders();
    const auto chosen = run.sandbox.folder.getChildFile ("chosen");
    const auto elsewhere = run.sandbox.folder.getChildFile ("elsewhere");
    const auto defaultFolder = f.dataRoot.getChildFile ("Alpha/Beta");
    ASSERT_TRUE (chosen.createDirectory() && elsewhere.getChildFile ("Alpha/Beta").createDirectory()
                  && f.dataRoot.getChildFile ("Alpha").createDirectory());

    // A link planted at the default data folder is refused as ever, with a chosen folder or without.
    ASSERT_TRUE (elsewhere.getChildFile ("Alpha/Beta").createSymbolicLink (defaultFolder, true));

    for (const auto& dir : { juce::File(), chosen })
    {
        SCOPED_TRACE (dir.getFullPathName());
        run.model->chosenDataRoot = dir;
        EXPECT_EQ (run.install(), InstallerModel::writeFailed);
        EXPECT_TRUE (messagesOf (run.log).joinIntoString ("\n").contains ("Refusing the link " + defaultFolder.getFullPathName()));
        EXPECT_TRUE (chosen.findChildFiles (juce::File::findFilesAndDirectories, true).isEmpty());
    }

    // The link an installation made, pointed at a copy of its folder elsewhere: the record does not name that.
    ASSERT_TRUE (defaultFolder.deleteFile());
    run.model->chosenDataRoot = chosen;
    ASSERT_EQ (run.install(), InstallerModel::noError);
    ASSERT_EQ (linkedInstallationProblems (run, chosen), "");

    // Without a choice the data goes where it is; to another folder only by a move.
    EXPECT_EQ (run.model->checkDataRoot ({}).dataFolder, chosen.getChildFile ("Alpha/Beta"));
    const auto elsewhereCheck = run.model->checkDataRoot (elsewhere);
    EXPECT_EQ (elsewhereCheck.result, InstallerModel::accessDenied);
    EXPECT_TRUE (elsewhereCheck.why.contains ("is installed in " + chosen.getFullPathName())) << elsewhereCheck.why;

    ASSERT_TRUE (chosen.getChildFile ("Alpha/Beta").copyDirectoryTo (elsewhere.getChildFile ("Alpha/Beta")));
    ASSERT_TRUE (defaultFolder.deleteFile() && elsewhere.getChildFile ("Alpha/Beta").createSymbolicLink (defaultFolder, true));

    InstalledInstruments::Installation found;
    juce::String problem;
    EXPECT_EQ (InstalledInstruments (f).find ("Alpha", "Beta", found, problem), InstallerModel::invalidData);
    EXPECT_TRUE (problem.contains ("Refusing the link " + defaultFolder.getFullPathName())) << problem;
}

TEST (DataRoot, AnInstallationIntoAChosenFolderKilledAnywhereEndsWithoutItOrWithItWholeAndLinked)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    const auto chosen = run.sandbox.folder.getChildFile ("chosen");
    ASSERT_TRUE (chosen.createDirectory());
    const auto defaultFolder = run.sandbox.folders().dataRoot.getChildFile ("Alpha/Beta");
    run.model->chosenDataRoot = chosen;

    for (int killAt = 1;; ++killAt)
    {
        SCOPED_TRACE ("killed before change " + juce::String (killAt));
        const auto report = runKilledBeforeChange (killAt, [&] { return (int) run.install(); });

        InstallerLog log;
        run.sandbox.makeModel (log)->recover();

        const auto linked = defaultFolder.isSymbolicLink();
        EXPECT_TRUE (! linked || linkedInstallationProblems (run, chosen).isEmpty()) << linkedInstallationProblems (run, chosen);
        EXPECT_TRUE (linked || ! (defaultFolder.exists() || chosen.getChildFile ("Alpha/Beta/Beta.rom").exists()));

        EXPECT_EQ (text (temporaryItemsIn (run.sandbox.folder)), "");

        if (report.exitCode != -1)
        {
            EXPECT_EQ (report.exitCode, 0);
            EXPECT_TRUE (defaultFolder.isSymbolicLink());
            break;
        }

        // Killed at the end of the clean-up, which removes the check's copy of the plug-in archive: no later
        // run in this sandbox can install.
        if (! run.archive.exists())
        {
            EXPECT_TRUE (defaultFolder.isSymbolicLink());
            break;
        }

        // Back to before the installation, for the next kill.
        defaultFolder.deleteFile();
        chosen.getChildFile ("Alpha").deleteRecursively();
        run.sandbox.folders().vst3Root.getChildFile ("Alpha").deleteRecursively();
    }
}


TEST (DataRoot, UninstallKilledAnywhereLeavesTheWholeLinkedInstallationOrNothingOfIt)
{
    for (int killAt = 1;; ++killAt)
    {
        SCOPED_TRACE ("killed before change " + juce::String (killAt));
        CheckedMonolith run;
        ASSERT_EQ (run.check, 0);
        const auto chosen = run.sandbox.folder.getChildFile ("chosen");
        const auto& f = run.sandbox.folders();
        ASSERT_TRUE (chosen.createDirectory());
        run.model->chosenDataRoot = chosen;
        ASSERT_EQ (run.install(), 0);

        const auto report = runKilledBeforeChange (killAt, [&]
        {
            InstallerLog log;
            auto model = run.sandbox.makeModel (log);
            RecordingObserver observer;
            return (int) model->uninstall ("Alpha", "Beta", observer);
        });

        InstallerLog log;
        run.sandbox.makeModel (log)->recover();

        const auto gone = ! f.dataRoot.getChildFile ("Alpha").exists() && ! chosen.getChildFile ("Alpha").exists()
                            && ! f.vst3Root.getChildFile ("Alpha").exists();

        EXPECT_TRUE (gone || linkedInstallationProblems (run, chosen).isEmpty()) << linkedInstallationProblems (run, chosen);

        EXPECT_EQ (text (temporaryItemsIn (run.sandbox.folder)), "");

        if (report.exitCode != -1)
        {
            EXPECT_EQ (report.exitCode, 0);
            EXPECT_TRUE (gone);
            break;
        }
    }
}
