// Moving an installation's data folder to another data root, and relinking an installation to a copy that
// is there already: read through the default data folder afterwards, refused before any change when they
// cannot be done, and killed at any change, then recovered, they leave one whole copy reached through the
// default data folder and nothing temporary.

#include "InstallTestSupport.h"

#include "install/installed/InstalledFilesCheck.h"
#include "install/installed/InstalledInstruments.h"

#include <gtest/gtest.h>

#include <iostream>

using namespace InstallTestSupport;

namespace
{
/** Beta by Alpha installed into the data root `root` ("" for the default one, else a folder of that name in
    the sandbox; "chosen" and "drive" exist), in memory where the system has it, for the sweeps.
*/
struct Installed
{
    explicit Installed (const juce::String& root, const MonolithContent& content = {})
        : run (content, 0, {}, memoryFolder())
    {
        for (const auto* name : { "chosen", "drive" })
            run.sandbox.folder.getChildFile (name).createDirectory();

        run.model->chosenDataRoot = root.isEmpty() ? juce::File() : rootOf (root);
        result = run.check == 0 ? run.install() : run.check;
    }

    juce::File rootOf (const juce::String& name) const
    {
        return name.isEmpty() ? run.sandbox.folders().dataRoot : run.sandbox.folder.getChildFile (name);
    }

    juce::File folderIn (const juce::String& root) const   { return rootOf (root).getChildFile ("Alpha/Beta"); }
    juce::File defaultFolder() const                        { return folderIn ({}); }

    /** Moves the data to the root `root`, as a new run of the engine would, asked to stop when `stopWhen` says so. */
    int move (const juce::String& root, std::function<bool()> stopWhen = {})
    {
        auto model = run.sandbox.makeModel (log);
        RecordingObserver observer (std::move (stopWhen));
        return model->move ("Alpha", "Beta", rootOf (root), observer);
    }

    int relink (const juce::String& root)
    {
        auto model = run.sandbox.makeModel (log);
        RecordingObserver observer;
        return model->relink ("Alpha", "Beta", rootOf (root), observer);
    }

    /** The next start's recovery: its log lines. */
    juce::StringArray recover() const
    {
        InstallerLog recoveryLog;
        run.sandbox.makeModel (recoveryLog)->recover();
        return messagesOf (recoveryLog);
    }

    /** What is wrong with the installation when its data should be in the root `root`: the default data
        folder must be that folder or the link to it, the monolith must read through it, and the record must
        name it and hold for every file. Empty when nothing is.
    */
    juce::String problemsIn (const juce::String& root) const
    {
        juce::String problems;
        const auto folder = folderIn (root);
        const auto linked = root.isNotEmpty();

        if (defaultFolder().isSymbolicLink() != linked || (linked && defaultFolder().getLinkedTarget() != folder))
            problems << "the default data folder is not " << (linked ? "the link to " + folder.getFullPathName() : "a folder") << "; ";

        if (defaultFolder().getChildFile ("Beta.rom").loadFileAsString() != run.model->monolithFile.loadFileAsString())
            problems << "the monolith does not read through the default data folder; ";

        InstalledInstruments::Installation found;
        juce::String problem;

        if (InstalledInstruments (run.sandbox.folders()).find ("Alpha", "Beta", found, problem) != InstallerModel::noError)
            return problems << "not found: " << problem << "; ";

        if (found.dataFolder != folder)
            problems << "the record names " << found.dataFolder.getFullPathName() << "; ";

        for (const auto& change : InstalledFilesCheck (found).findChanges())
            problems << change << "; ";

        return problems;
    }

    /** Runs the next start's recovery killed before its first change, then again killed one change later, and
        so on, until one finishes: how many were killed.
    */
    int recoverKilledAgainAndAgain() const
    {
        for (int killAt = 1;; ++killAt)
            if (runKilledBeforeChange (killAt, [this] { recover(); return 0; }, changesWhatAKillLeaves).exitCode != -1)
                return killAt - 1;
    }

    /** Temporary items, journals and removal marks left anywhere in the sandbox. */
    juce::String leftovers() const
    {
        auto found = temporaryItemsIn (run.sandbox.folder);

        for (const auto& mark : run.sandbox.folder.findChildFiles (juce::File::findFiles, false, ".removal-*"))
            found.add (mark.getFileName());

        return text (found);
    }

    CheckedMonolith run;
    InstallerLog log;
    int result = -1;
    ZipContent kept;        // what a test keeps to compare with later
};

/** A run refused before any change: on an installation in `installedIn` that `prepare` changes, the move or
    relink to `to` ends with `result` and a last log line holding `lineContains`.
*/
struct RefusalCase
{
    const char* what;
    const char* installedIn;
    const char* to;
    std::function<void (const Installed&)> prepare;
    InstallerModel::Result result;
    const char* lineContains;
};

/** How the kill points of a sweep ended. */
struct SweepCounts
{
    int endedOld = 0, endedNew = 0, recoveriesKilled = 0;
};

/** Kills `operation`, on an installation that `make` gives afresh each time, before each change in turn (at every
    fourth also its recovery, again and again), then runs the next start's recovery: nothing temporary may be
    left, and a second start must find nothing to do. `endedNew` checks what the recovery left and says
    whether the operation took effect. Ends when the operation runs to its end, which must succeed.
*/
SweepCounts sweep (const std::function<std::unique_ptr<Installed>()>& make, const std::function<int (Installed&)>& operation,
                   const std::function<bool (const Installed&)>& endedNew)
{
    SweepCounts counts;

    for (int killAt = 1; killAt < 1000; ++killAt)
    {
        SCOPED_TRACE ("killed before change " + juce::String (killAt));
        const auto installed = make();
        EXPECT_EQ (installed->result, 0);
        const auto report = runKilledBeforeChange (killAt, [&] { return operation (*installed); }, changesWhatAKillLeaves);
        const auto killed = report.exitCode == -1;

        if (killed && killAt % 4 == 0)
            counts.recoveriesKilled += installed->recoverKilledAgainAndAgain();

        installed->recover();
        const auto isNew = endedNew (*installed);
        EXPECT_EQ (installed->leftovers(), "");
        EXPECT_EQ (installed->recover(), juce::StringArray());

        if (! killed)
        {
            EXPECT_EQ (report.exitCode, 0);
            EXPECT_TRUE (isNew);
            return counts;
        }

        (isNew ? counts.endedNew : counts.endedOld) += 1;
    }

    ADD_FAILURE() << "the operation never finished";
    return counts;
}

/** A monolith whose copy takes several blocks, for the sweeps. */
MonolithContent largerContent()
{
    juce::MemoryBlock code (3 << 20);
    juce::Random (7).fillBitsRandomly (code.getData(), code.getSize());

    MonolithContent content;
    content.vst3 = makeRawZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "", code }, { "Beta.vst3/desktop.ini", "icon" } });
    return content;
}

/** Flips one byte in the middle of `file`. */
bool flipByte (const juce::File& file)
{
    juce::MemoryBlock bytes;

    if (! file.loadFileAsData (bytes) || bytes.isEmpty())
        return false;

    bytes[bytes.getSize() / 2] ^= 0x20;
    return file.replaceWithData (bytes.getData(), bytes.getSize());
}

/** The tree below `folders`, each named, with the content of every file. */
ZipContent treesOf (std::initializer_list<juce::File> folders)
{
    ZipContent all;

    for (const auto& folder : folders)
        for (const auto& [path, content] : snapshotOf (folder))
            all[folder.getFileName() + "/" + path] = content;

    return all;
}
} // namespace

TEST (Move, MovesAcrossFileSystemsAndBackReadThroughTheDefaultDataFolder)
{
    Installed installed ({});
    ASSERT_EQ (installed.result, 0);
    const auto drive = installed.rootOf ("drive"), chosen = installed.rootOf ("chosen");

    const auto report = runOnTmpfs (drive, "size=16m", [&] (juce::String& text)
    {
        // Out of the default place onto another file system, on to a third folder, then back.
        for (const auto* root : { "drive", "chosen", "" })
        {
            text << "to '" << root << "': " << installed.move (root) << "; " << installed.problemsIn (root);

            for (const auto& other : { drive, chosen })
                if (other != installed.rootOf (root) && other.getChildFile ("Alpha").exists())
                    text << other.getFileName() << "/Alpha left; ";

            text << installed.leftovers() << "\n";
        }

        // The log says where the data went at each stage of the way.
        const auto lines = messagesOf (installed.log);

        for (const auto& line : { "Data folder linked: " + installed.defaultFolder().getFullPathName() + " -> " + installed.folderIn ("chosen").getFullPathName(),
                                  "Data folder: " + installed.defaultFolder().getFullPathName() })
            if (! lines.contains (line))
                text << "no line \"" << line << "\"\n";

        return 0;
    });

    if (report.exitCode == cannotMount)
        GTEST_SKIP() << "no mount table of its own: neither root nor user namespaces";

    EXPECT_EQ (report.exitCode, 0);
    EXPECT_EQ (report.text, "to 'drive': 0; \nto 'chosen': 0; \nto '': 0; \n");
}

TEST (Move, IsRefusedBeforeAnyChangeWhenItCannotBeDone)
{
    {
        Installed gone ("chosen");
        RecordingObserver observer;
        ASSERT_EQ (gone.run.sandbox.makeModel (gone.log)->uninstall ("Alpha", "Beta", observer), 0);
        EXPECT_EQ (gone.move ("drive"), InstallerModel::notInstalled);
    }

    const RefusalCase cases[] = {
        { "the place it is in", "", "", {}, InstallerModel::accessDenied, " already: nothing was moved" },
        { "the chosen place it is in", "chosen", "chosen", {}, InstallerModel::accessDenied, " already: nothing was moved" },
        { "a file", "", "drive/file", [] (const Installed& i) { i.rootOf ("drive/file").replaceWithText ("x"); },
          InstallerModel::accessDenied, "The chosen data folder is not a folder: " },
        { "a folder inside its data folder", "chosen", "chosen/Alpha/Beta/inside",
          [] (const Installed& i) { i.rootOf ("chosen/Alpha/Beta/inside").createDirectory(); },
          InstallerModel::accessDenied, "lies inside the instrument's data folder" },
        { "a place where the instrument's folder holds something", "", "drive",
          [] (const Installed& i)
          {
              i.folderIn ("drive").createDirectory();
              i.folderIn ("drive").getChildFile ("Beta.rom").replaceWithText ("an older copy");
          },
          InstallerModel::accessDenied, "Beta.rom already" },
        { "a user's file in the data folder", "", "drive",
          [] (const Installed& i) { i.defaultFolder().getChildFile ("my notes.txt").replaceWithText ("notes"); },
          InstallerModel::accessDenied, "my notes.txt is not the installation's" },
        { "a user's file in the chosen data folder", "chosen", "",
          [] (const Installed& i) { i.folderIn ("chosen").getChildFile ("my notes.txt").replaceWithText ("notes"); },
          InstallerModel::accessDenied, "my notes.txt is not the installation's" },
        { "a link planted at the new place", "", "drive",
          [] (const Installed& i) { i.rootOf ("chosen").createSymbolicLink (i.rootOf ("drive/Alpha"), true); },
          InstallerModel::accessDenied, "Refusing the link " },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Installed installed (c.installedIn);
        ASSERT_EQ (installed.result, 0);

        if (c.prepare != nullptr)
            c.prepare (installed);

        const auto before = snapshotOf (installed.run.sandbox.folder);
        EXPECT_EQ (installed.move (c.to), c.result);
        EXPECT_TRUE (installed.log.getLastMessage().contains (c.lineContains)) << installed.log.getLastMessage();
        EXPECT_EQ (snapshotOf (installed.run.sandbox.folder), before);
        EXPECT_EQ (installed.problemsIn (c.installedIn), "");
    }

    // Held by another program: named, and nothing moves.
    Installed held ({});
    FileHolder holder (held.defaultFolder().getChildFile ("Beta.rom"), true, "sampler-host");
    ASSERT_TRUE (holder.holds);
    EXPECT_EQ (held.move ("drive"), InstallerModel::filesInUse);
    EXPECT_FALSE (held.folderIn ("drive").exists());
}

TEST (Move, AStopWhileTheDataIsCopiedLeavesItWhereItWas)
{
    // Asked first once the checks are done, then before each step of the copy.
    Installed installed ({}, largerContent());
    ASSERT_EQ (installed.result, 0);
    int asked = 0;

    EXPECT_EQ (installed.move ("drive", [&asked] { return ++asked == 2; }), InstallerModel::interrupted);
    EXPECT_EQ (asked, 2);
    EXPECT_EQ (installed.problemsIn ({}), "");
    EXPECT_FALSE (installed.rootOf ("drive").getChildFile ("Alpha").exists());
    EXPECT_EQ (installed.leftovers(), "");
}

TEST (Move, AFolderWhoseDriveHasNoRoomIsRefusedBeforeAnyChange)
{
    Installed installed ({}, largerContent());
    ASSERT_EQ (installed.result, 0);
    const auto drive = installed.rootOf ("drive");

    const auto report = runOnTmpfs (drive, "size=1m", [&] (juce::String& text)
    {
        text << installed.move ("drive") << "\n" << installed.log.getLastMessage() << "\n"
             << drive.findChildFiles (juce::File::findFilesAndDirectories, true).size();
        return 0;
    });

    if (report.exitCode == cannotMount)
        GTEST_SKIP() << "no mount table of its own: neither root nor user namespaces";

    ASSERT_EQ (report.exitCode, 0) << report.text;
    const auto lines = juce::StringArray::fromLines (report.text);
    EXPECT_EQ (lines[0].getIntValue(), (int) InstallerModel::notEnoughSpace);
    EXPECT_TRUE (lines[1].startsWith ("Not enough free space for the data in " + drive.getFullPathName())) << lines[1];
    EXPECT_EQ (lines[2], "0");
    EXPECT_EQ (installed.problemsIn ({}), "");
}

TEST (Move, KilledAtAnyChangeThenRecoveredLeavesOneWholeCopyReachedThroughTheDefaultDataFolder)
{
    const std::pair<juce::String, juce::String> directions[] = { { "", "drive" }, { "chosen", "drive" }, { "chosen", "" } };

    for (const auto& direction : directions)
    {
        const auto from = direction.first, to = direction.second;
        SCOPED_TRACE ("from '" + from + "' to '" + to + "'");

        const auto counts = sweep ([from] { return std::make_unique<Installed> (from, largerContent()); },
                                   [to] (Installed& installed) { return installed.move (to); },
                                   [from, to] (const Installed& installed)
        {
            const auto isNew = installed.problemsIn (to).isEmpty();
            EXPECT_TRUE (isNew || installed.problemsIn (from).isEmpty()) << installed.problemsIn (from);

            // The other place keeps nothing of the instrument's.
            const auto other = isNew ? from : to;
            EXPECT_FALSE (other.isNotEmpty() && installed.rootOf (other).getChildFile ("Alpha").exists());
            return isNew;
        });

        EXPECT_GT (counts.endedOld, 10);
        EXPECT_GT (counts.endedNew, 0);
        EXPECT_GT (counts.recoveriesKilled, 0);
        std::cout << "from '" << from << "' to '" << to << "': " << counts.endedOld << " ended where it was, " << counts.endedNew
                  << " moved, " << counts.recoveriesKilled << " recoveries killed" << std::endl;
    }
}

TEST (Relink, PointsTheInstallationAtItsCopyAfterARebuildOrADriveChange)
{
    for (const auto* copyIn : { "chosen", "drive" })
    {
        SCOPED_TRACE (copyIn);
        Installed installed ("chosen");
        ASSERT_EQ (installed.result, 0);
        const auto plugin = installed.run.pluginFolder();

        // The system set up again: no link, no plug-in; or the drive under another letter: the link points nowhere.
        if (juce::String (copyIn) == "chosen")
            ASSERT_TRUE (installed.defaultFolder().deleteFile() && plugin.deleteRecursively());
        else
            ASSERT_TRUE (installed.rootOf ("drive").deleteRecursively() && installed.rootOf ("chosen").moveFileTo (installed.rootOf ("drive")));

        EXPECT_EQ (installed.relink (copyIn), 0) << installed.log.getLastMessage();
        EXPECT_EQ (installed.problemsIn (copyIn), "");
        EXPECT_EQ (installed.leftovers(), "");
    }
}

TEST (Relink, IsRefusedChangingNothingWhenTheCopyOrTheDefaultDataFolderIsNotTheInstallations)
{
    const auto unlink = [] (const Installed& i) { i.defaultFolder().deleteFile(); };
    const RefusalCase cases[] = {
        { "a copy changed by one byte", "chosen", "chosen", [unlink] (const Installed& i)
          {
              unlink (i);
              flipByte (i.folderIn ("chosen").getChildFile ("Beta.rom"));
          }, InstallerModel::invalidData, "damaged" },
        { "no copy", "chosen", "drive", [] (const Installed& i) { i.folderIn ("drive").createDirectory(); },
          InstallerModel::accessDenied, "No copy of Beta by Alpha" },
        { "a copy of another instrument", "chosen", "drive", [unlink] (const Installed& i)
          {
              unlink (i);
              MonolithContent other;
              other.state = makeState ("Gamma", "Alpha");
              writeMonolith (i.folderIn ("drive").getChildFile ("Beta.rom"), other);
          }, InstallerModel::invalidData, "is Gamma by Alpha" },
        { "an installation in the default place", "", "drive", [] (const Installed& i)
          {
              i.defaultFolder().copyDirectoryTo (i.folderIn ("drive"));
          }, InstallerModel::accessDenied, "move the data instead" },
        { "a link planted at the default data folder", "chosen", "drive", [unlink] (const Installed& i)
          {
              unlink (i);
              i.folderIn ("chosen").copyDirectoryTo (i.folderIn ("drive"));
              i.rootOf ("home").createDirectory();
              i.rootOf ("home").createSymbolicLink (i.defaultFolder(), true);
          }, InstallerModel::accessDenied, "is in the way of the link" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Installed installed (c.installedIn, largerContent());
        ASSERT_EQ (installed.result, 0);
        c.prepare (installed);
        const auto& f = installed.run.sandbox.folders();
        const auto before = treesOf ({ f.dataRoot, f.vst3Root, installed.rootOf ("chosen"), installed.rootOf ("drive") });
        EXPECT_EQ (installed.relink (c.to), c.result);
        EXPECT_TRUE (installed.log.getLastMessage().contains (c.lineContains)) << installed.log.getLastMessage();
        EXPECT_EQ (treesOf ({ f.dataRoot, f.vst3Root, installed.rootOf ("chosen"), installed.rootOf ("drive") }), before);
        EXPECT_EQ (installed.leftovers(), "");
    }
}

TEST (Relink, KilledAtAnyChangeThenRecoveredLeavesTheCopyLinkedOrAsItWas)
{
    const auto counts = sweep ([]
    {
        auto installed = std::make_unique<Installed> ("chosen", largerContent());
        installed->defaultFolder().deleteFile();
        installed->run.pluginFolder().deleteRecursively();
        installed->kept = snapshotOf (installed->folderIn ("chosen"));
        return installed;
    },
                               [] (Installed& installed) { return installed.relink ("chosen"); },
                               [] (const Installed& installed)
    {
        if (installed.problemsIn ("chosen").isEmpty())
            return true;

        // As it was: nothing at the default data folder, the copy as it was.
        EXPECT_FALSE (installed.defaultFolder().exists() || installed.defaultFolder().isSymbolicLink());
        EXPECT_EQ (snapshotOf (installed.folderIn ("chosen")), installed.kept);
        return false;
    });

    EXPECT_GT (counts.endedOld, 5);
    EXPECT_GT (counts.endedNew, 0);
    EXPECT_GT (counts.recoveriesKilled, 0);
}
