// Links in the target folders: one planted at any level below the roots fails the installation with a line
// naming it, and nothing is written; one swapped in before any of the installation's changes is never
// followed: what the link points to stays as it was.

#include "InstallTestSupport.h"

#include "fs/ChangeProbe.h"
#include "fs/CheckedFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace InstallTestSupport;

namespace
{
/** A bundle and a folder that the maker's products share. */
MonolithContent sharedFolderContent()
{
    MonolithContent content;
    content.vst3 = makeZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "plug-in code" },
                              { "Beta.vst3/desktop.ini", "icon" },
                              { "Shared/Presets/Beta.preset", "beta preset" },
                              { "Shared/readme.txt", "new readme" } });
    return content;
}

/** A folder outside the roots that links point to; it must never change. */
struct Decoy
{
    explicit Decoy (const juce::File& sandbox) : folder (sandbox.getChildFile ("decoy"))
    {
        for (const auto* path : { "Beta/Beta.rom", "Beta/readme.txt", "Beta.vst3/desktop.ini", "Shared/readme.txt" })
        {
            folder.getChildFile (path).getParentDirectory().createDirectory();
            folder.getChildFile (path).replaceWithText ("decoy");
        }

        before = snapshotOf (folder);
    }

    bool unchanged() const  { return snapshotOf (folder) == before; }

    juce::File folder;
    ZipContent before;
};

bool makeLink (const juce::File& link, const juce::File& target)
{
    link.getParentDirectory().createDirectory();
    return symlink (target.getFullPathName().toRawUTF8(), link.getFullPathName().toRawUTF8()) == 0;
}

bool isLink (const juce::File& item)
{
    struct stat info {};
    return lstat (item.getFullPathName().toRawUTF8(), &info) == 0 && S_ISLNK (info.st_mode);
}

/** Everything in the sandbox that an installation may touch: all but the source monolith and the check's archive. */
ZipContent installable (const CheckedMonolith& run)
{
    auto all = snapshotOf (run.sandbox.folder);

    for (auto i = all.begin(); i != all.end();)
        i = i->first.startsWith ("in/") || i->first.startsWith ("tmp/") ? all.erase (i) : std::next (i);

    return all;
}
} // namespace

TEST (InstallContainment, LinkPlantedAtAnyLevelFailsTheInstallationAndNothingIsWritten)
{
    struct Case
    {
        const char* link;       // below the sandbox
        const char* target;     // below the decoy; empty for a dangling link
        const char* lastLine;   // how the installation's own last line starts
    };

    const Case cases[] = {
        { "data/Alpha", "", "Failed to create directory: " },
        { "data/Alpha/Beta", "Beta", "Failed to create directory: " },
        { "data/Alpha/Beta/Beta.rom", "Beta/Beta.rom", "Failed to copy monolith from: " },
        { "state/Instrument Installer", "", "Failed to create directory: " },
        { "vst3/Alpha", "", "Failed to create directory: " },
        { "vst3/Alpha/Beta.vst3", "Beta.vst3", "Failed to extract from: " },
        { "vst3/Alpha/Shared", "Shared", "Failed to extract from: " },
        { "vst3/Alpha/Shared/readme.txt", "Shared/readme.txt", "Failed to extract from: " },
        { "data/Alpha", "nowhere", "Failed to create directory: " },
    };

    for (const bool earlier : { false, true })
    {
        for (const auto& c : cases)
        {
            SCOPED_TRACE (juce::String (c.link) + " -> decoy/" + c.target + (earlier ? " over an earlier installation" : ""));
            CheckedMonolith run (sharedFolderContent());
            ASSERT_EQ (run.check, 0);
            const Decoy decoy (run.sandbox.folder);
            const auto link = run.sandbox.folder.getChildFile (c.link);

            if (earlier)
                run.installEarlierVersion();

            link.deleteRecursively();
            ASSERT_TRUE (makeLink (link, decoy.folder.getChildFile (c.target)));
            const auto before = installable (run);

            EXPECT_EQ (run.install(), 5);

            const auto lines = run.installMessages();
            ASSERT_GE (lines.size(), 2);
            EXPECT_TRUE (lines[lines.size() - 2].startsWith ("Refusing the link " + link.getFullPathName())) << text (lines);
            EXPECT_TRUE (lines[lines.size() - 2].endsWith (CheckedFolder::linkAdvice)) << text (lines);
            EXPECT_TRUE (lines.strings.getLast().startsWith (c.lastLine)) << text (lines);
            EXPECT_EQ (installable (run), before);
            EXPECT_TRUE (decoy.unchanged());
            EXPECT_TRUE (isLink (link));
        }
    }
}

TEST (InstallContainment, LinkSwappedInBeforeAnyChangeIsNeverFollowed)
{
    // An earlier installation, and a file of the shared folder that the new one replaces.
    const auto prepare = [] (const CheckedMonolith& run)
    {
        run.installEarlierVersion();
        return run.pluginFolder().getChildFile ("Shared").createDirectory()
            && run.pluginFolder().getChildFile ("Shared/readme.txt").replaceWithText ("old readme");
    };

    // The number of changes of a whole installation.
    int changes = 0;
    {
        CheckedMonolith run (sharedFolderContent());
        ASSERT_TRUE (prepare (run));
        ChangeProbe::setListener ([&] (ChangeProbe::Change, const juce::File&) { ++changes; });
        ASSERT_EQ (run.install(), 0);
        ChangeProbe::setListener ({});
    }

    for (const auto* level : { "data/Alpha", "data/Alpha/Beta", "vst3/Alpha", "vst3/Alpha/Shared" })
    {
        int succeeded = 0;

        for (int swapAt = 1; swapAt <= changes; ++swapAt)
        {
            SCOPED_TRACE (juce::String (level) + " swapped before change " + juce::String (swapAt));
            CheckedMonolith run (sharedFolderContent());
            ASSERT_EQ (run.check, 0);
            ASSERT_TRUE (prepare (run));
            const Decoy decoy (run.sandbox.folder);
            const auto swapped = run.sandbox.folder.getChildFile (level);
            int count = 0;

            // The real folder moves away and a link to the decoy takes its place.
            ChangeProbe::setListener ([&] (ChangeProbe::Change, const juce::File&)
            {
                if (++count == swapAt)
                {
                    ASSERT_TRUE (swapped.moveFileTo (swapped.getSiblingFile (swapped.getFileName() + "-moved")));
                    ASSERT_TRUE (makeLink (swapped, decoy.folder));
                }
            });

            succeeded += run.install() == 0 ? 1 : 0;
            ChangeProbe::setListener ({});

            ASSERT_GE (count, swapAt);
            EXPECT_TRUE (decoy.unchanged());
            EXPECT_TRUE (isLink (swapped));
        }

        // Work goes on in the folders that were checked, through their handles.
        EXPECT_GT (succeeded, 0);
    }
}
