// What a power cut can lose: nothing that the installation has renamed into place, or recorded as committed.
// The file layer's announcements of one whole installation are replayed in order: every file and folder
// that was written must be flushed before a rename moves it (or anything in it), every folder made must be
// on the disk in its parent before anything is renamed into place, and every folder that received an item must be flushed
// before the commit is recorded.

#include "InstallTestSupport.h"

#include "fs/ChangeProbe.h"
#include "install/transaction/InstallJournal.h"

#include <gtest/gtest.h>

#include <set>

using namespace InstallTestSupport;

namespace
{
using Change = ChangeProbe::Change;

struct Announced
{
    Change change;
    juce::File item;
    bool existed;       // for createFolder: the folder was there already
};

std::vector<Announced> changesOfInstallation (CheckedMonolith& run)
{
    std::vector<Announced> changes;
    ChangeProbe::setListener ([&] (Change change, const juce::File& item) { changes.push_back ({ change, item, item.exists() }); });
    const auto result = run.install();
    ChangeProbe::setListener ({});
    EXPECT_EQ (result, 0);
    return changes;
}

bool isAtOrBelow (const juce::File& item, const juce::File& folder)
{
    return item == folder || item.isAChildOf (folder);
}

/** What was not yet on the disk when it had to be, in words; empty when nothing. */
std::string durabilityProblems (const std::vector<Announced>& changes, const juce::File& sandbox,
                                const juce::StringArray& receivingFolders)
{
    std::string problems;
    std::set<juce::File> written, madeIn;   // not flushed since: written items, and folders a folder was made in
    const auto isJournal = [] (const juce::File& f) { return f.getParentDirectory().getFileName() == SystemFolders::stateFolderName; };
    const auto isExtracted = [&] (const juce::File& f)
    {
        return f.getFileName().contains (".partial-") && f.getRelativePathFrom (sandbox).startsWith (".installing-");
    };
    const auto name = [&] (const juce::File& f) { return f.getRelativePathFrom (sandbox).toStdString(); };

    size_t commit = 0, lastMove = 0;

    for (size_t i = 0; i < changes.size() && changes[i].change != Change::remove; ++i)
        if (changes[i].change == Change::write && isJournal (changes[i].item))
            commit = i;

    for (size_t i = 0; i < commit; ++i)
    {
        const auto& [change, item, existed] = changes[i];

        switch (change)
        {
            case Change::createFolder:
                if (! existed)
                    madeIn.insert (item.getParentDirectory());
                break;
            case Change::createFile:
                written.insert (item.getParentDirectory());
                written.insert (item);
                break;
            case Change::write:
                written.insert (item);
                break;
            case Change::flushFile:
            case Change::flushFolder:
                written.erase (item);
                madeIn.erase (item);
                break;
            case Change::move:
                for (const auto& w : written)
                    if (isAtOrBelow (w, item))
                        problems += name (item) + " moved before " + name (w) + " was flushed; ";

                // The extraction's own renames, inside the staging folder, come before its folders are flushed.
                if (! isExtracted (item))
                    for (const auto& m : madeIn)
                        problems += name (item) + " moved before " + name (m) + " was flushed; ";

                written.insert (item.getParentDirectory());
                lastMove = i;
                break;
            case Change::createLink:
                written.insert (item.getParentDirectory());
                break;
            case Change::remove:
                break;
        }
    }

    for (const auto& m : madeIn)
        problems += "committed before " + name (m) + " was flushed; ";

    for (const auto& folder : receivingFolders)
    {
        const auto flushed = std::any_of (changes.begin() + (long) lastMove, changes.begin() + (long) commit, [&] (const Announced& a)
        {
            return a.change == Change::flushFolder && a.item == sandbox.getChildFile (folder);
        });

        if (! flushed)
            problems += "committed before " + folder.toStdString() + " was flushed; ";
    }

    return problems;
}
} // namespace

TEST (InstallDurability, EverythingIsOnTheDiskBeforeItIsRenamedIntoPlaceOrCommitted)
{
    for (const bool earlier : { false, true })
    {
        SCOPED_TRACE (earlier ? "over an earlier installation" : "into empty roots");
        MonolithContent content;
        content.vst3 = makeZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "plug-in code" },
                                  { "Shared/Presets/Beta.preset", "beta preset" },
                                  { "Shared/readme.txt", "new readme" } });
        CheckedMonolith run (content);
        ASSERT_EQ (run.check, 0);

        if (earlier)
            run.installEarlierVersion();

        const auto changes = changesOfInstallation (run);
        ASSERT_FALSE (changes.empty());
        EXPECT_EQ (durabilityProblems (changes, run.sandbox.folder,
                                       { "data/Alpha/Beta", "vst3/Alpha", "vst3/Alpha/Shared", "vst3/Alpha/Shared/Presets" }), "");
    }
}
