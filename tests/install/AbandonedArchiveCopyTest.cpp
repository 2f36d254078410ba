// The check's private copy of the plug-in archive, left behind by a run that was killed: the next start
// removes it, and nothing else (a live run's copy, other programs' folders, links).

#include "InstallTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace InstallTestSupport;

namespace
{
/** The items below the temporary folder, as paths relative to it, folders included. */
juce::StringArray itemsBelow (const juce::File& temporary)
{
    juce::StringArray items;

    for (const auto& f : temporary.findChildFiles (juce::File::findFilesAndDirectories, true, "*", juce::File::FollowSymlinks::no))
        items.add (f.getRelativePathFrom (temporary));

    items.sort (false);
    return items;
}

/** Checks and installs in a forked child that kills itself just before the file layer's change number
    `killAt`; false when the run ended first. */
bool checkAndInstallKilledAt (const Sandbox& sandbox, const juce::File& monolith, int killAt)
{
    const auto report = runKilledBeforeChange (killAt, [&]
    {
        InstallerLog log;
        const auto model = sandbox.makeModel (log);
        model->monolithFile = monolith;
        RecordingObserver observer;
        const auto checked = model->processMonolith (observer);
        return checked == InstallerModel::noError ? model->install (observer) : checked;
    });

    return report.exitCode == -1;
}

/** A folder in the shape of a run's archive copy: a mark with `markText`, a copy, and whatever `extra` names. */
juce::File plantCopyFolder (const juce::File& parent, const juce::String& name, const juce::String& markText,
                            const juce::StringArray& extra = {})
{
    const auto folder = parent.getChildFile (name);
    folder.createDirectory();
    chmod (folder.getFullPathName().toRawUTF8(), 0700);
    const auto digits = juce::String::repeatedString ("0123456789abcdef", 2);
    const auto mark = folder.getChildFile (PluginArchiveCopy::markPrefix + digits);
    mark.create();
    mark.appendData (markText.toRawUTF8(), markText.getNumBytesAsUTF8());
    folder.getChildFile (PluginArchiveCopy::filePrefix + digits).replaceWithText ("PK archive");

    for (const auto& item : extra)
        folder.getChildFile (item).replaceWithText ("someone else's");

    return folder;
}
} // namespace

TEST (AbandonedArchiveCopy, RunKilledAtAnyChangeOfItsCheckOrInstallationLeavesNothingAfterTheNextStart)
{
    Sandbox sandbox;
    const auto monolith = writeMonolith (sandbox.folder.getChildFile ("in").getChildFile ("Beta.rom"), {});
    const auto& temporary = sandbox.folders().temporary;
    int killPoints = 0;

    for (int killAt = 1; killAt < 1000 && checkAndInstallKilledAt (sandbox, monolith, killAt); ++killAt)
    {
        SCOPED_TRACE ("killed before change " + juce::String (killAt));
        ++killPoints;

        InstallerLog log;
        sandbox.makeModel (log)->recover();
        const auto left = itemsBelow (temporary);
        EXPECT_TRUE (left.isEmpty()) << left.joinIntoString (", ");
    }

    EXPECT_GT (killPoints, 10);
}

TEST (AbandonedArchiveCopy, LiveRunKeepsItsCopyThroughAnotherStart)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, InstallerModel::noError);
    const auto copyFolder = run.archive.getParentDirectory();

    InstallerLog otherStart;
    run.sandbox.makeModel (otherStart)->recover();

    EXPECT_TRUE (run.archive.existsAsFile());
    EXPECT_TRUE (messagesOf (otherStart).isEmpty()) << text (messagesOf (otherStart));
    EXPECT_EQ (run.install(), InstallerModel::noError);

    run.model->pluginArchive.reset();
    EXPECT_FALSE (copyFolder.exists());
}

TEST (AbandonedArchiveCopy, OnlyCopiesOfThisProgramsRunsAreRemoved)
{
    const auto digits = juce::String::repeatedString ("fedcba9876543210", 2);
    const auto ours = juce::String (PluginArchiveCopy::folderPrefix) + digits;

    struct Case
    {
        const char* name;
        std::function<juce::File (const juce::File& temporary, const juce::File& elsewhere)> plant;
        bool removed;
    };

    const Case cases[] = {
        { "an abandoned copy", [&] (const juce::File& t, const juce::File&) { return plantCopyFolder (t, ours, PluginArchiveCopy::markText); }, true },
        { "a mark its run had no time to write", [&] (const juce::File& t, const juce::File&) { return plantCopyFolder (t, ours, {}); }, true },
        { "a mark with other text", [&] (const juce::File& t, const juce::File&) { return plantCopyFolder (t, ours, "something else\n"); }, false },
        { "an item that is not ours beside the mark", [&] (const juce::File& t, const juce::File&)
          { return plantCopyFolder (t, ours, PluginArchiveCopy::markText, { "notes.txt" }); }, false },
        { "an empty folder", [&] (const juce::File& t, const juce::File&)
          {
              const auto folder = t.getChildFile (ours);
              folder.createDirectory();
              chmod (folder.getFullPathName().toRawUTF8(), 0700);
              return folder;
          }, true },
        { "no mark", [&] (const juce::File& t, const juce::File&)
          {
              const auto folder = plantCopyFolder (t, ours, PluginArchiveCopy::markText);
              folder.getChildFile (PluginArchiveCopy::markPrefix + juce::String::repeatedString ("0123456789abcdef", 2)).deleteFile();
              return folder;
          }, false },
        { "a name of another shape", [&] (const juce::File& t, const juce::File&)
          { return plantCopyFolder (t, juce::String (PluginArchiveCopy::folderPrefix) + "cache", PluginArchiveCopy::markText); }, false },
        { "a folder that others can open", [&] (const juce::File& t, const juce::File&)
          {
              const auto folder = plantCopyFolder (t, ours, PluginArchiveCopy::markText);
              chmod (folder.getFullPathName().toRawUTF8(), 0755);
              return folder;
          }, false },
        { "a link to an abandoned copy elsewhere", [&] (const juce::File& t, const juce::File& elsewhere)
          {
              const auto target = plantCopyFolder (elsewhere, ours, PluginArchiveCopy::markText);
              const auto link = t.getChildFile (ours);
              EXPECT_TRUE (target.createSymbolicLink (link, true));
              return link;
          }, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Sandbox sandbox;
        const auto elsewhere = sandbox.folder.getChildFile ("elsewhere");
        elsewhere.createDirectory();
        const auto planted = c.plant (sandbox.folders().temporary, elsewhere);
        const auto before = snapshotOf (elsewhere);

        InstallerLog log;
        sandbox.makeModel (log)->recover();

        EXPECT_EQ (planted.exists() || planted.isSymbolicLink(), ! c.removed);
        EXPECT_EQ (snapshotOf (elsewhere), before);
        EXPECT_EQ (text (messagesOf (log)),
                   c.removed ? ("Removed the plug-in archive copy of a run that ended early: " + planted.getFullPathName()).toStdString()
                             : std::string());
    }
}
