// A start carries out a journal only if every record in it is one that this installer writes: forged
// journals, naming items of other instruments, of other makers or outside the roots, change nothing, are
// named in one log line at every start, and stay for an administrator. Temporary items are journalled by
// their whole names before they are made: recovery removes exactly those, never what merely looks alike.

#include "InstallTestSupport.h"

#include "fs/ChangeProbe.h"
#include "install/transaction/InstallTransaction.h"

#include <gtest/gtest.h>

using namespace InstallTestSupport;

namespace
{
using Record = InstallJournal::Record;
using Kind = Record::Kind;
using Root = InstallJournal::Root;
using FolderPath = InstallJournal::FolderPath;
using Item = InstallJournal::Item;

const juce::String digits ("0123456789abcdef0123456789abcdef");
const FolderPath betaFolder { Root::data, { "Alpha", "Beta" } }, gammaFolder { Root::data, { "Alpha", "Gamma" } };
const Item betaMonolith { betaFolder, "Beta.rom" }, betaBundle { { Root::vst3, { "Alpha" } }, "Beta.vst3" };
const juce::String staging = ".installing-" + digits, planted = ".Beta.rom.partial-" + digits;

/** An installation of Beta beside what is not its own: another instrument of the maker, another maker's
    instrument and plug-in, a user's file in Beta's folder, a file outside the roots, and an item that
    only looks like one of the installation's temporary items. */
struct BetaAmongOthers
{
    BetaAmongOthers()
    {
        const std::pair<const char*, const char*> files[] = {
            { "data/Alpha/Beta/Beta.rom", "monolith" },
            { "data/Alpha/Beta/notes.txt", "the user's notes" },
            { "data/Alpha/Gamma/Gamma.rom", "other instrument" },
            { "data/Other/Product/Product.rom", "other maker's instrument" },
            { "vst3/Alpha/Beta.vst3/Contents/x86_64-win/Beta.vst3", "plug-in code" },
            { "vst3/Other/Other.vst3/desktop.ini", "other maker's plug-in" },
            { "home/Documents/letter.txt", "the user's letter" },
        };

        for (const auto& [path, content] : files)
        {
            sandbox.folder.getChildFile (path).getParentDirectory().createDirectory();
            sandbox.folder.getChildFile (path).replaceWithText (content);
        }

        sandbox.folder.getChildFile ("vst3/Other/Empty").createDirectory();
        sandbox.folder.getChildFile ("data/Alpha/Beta").getChildFile (planted).replaceWithText ("the user's file");
    }

    InstallTransaction::Roots roots() const     { return InstallTransaction::Roots::of (sandbox.folders()); }

    /** The log lines of a start's recovery. */
    juce::StringArray recover() const
    {
        juce::StringArray notes;
        InstallTransaction::recoverInterrupted (roots(), [&] (const juce::String& line) { notes.add (line); });
        return notes;
    }

    juce::File writeJournal (const std::vector<Record>& records) const
    {
        const auto journal = sandbox.folders().state.getChildFile (InstallJournal::namePrefix + digits);
        juce::String text;

        for (const auto& r : records)
            text << InstallJournal::encode (r) << "\n";

        journal.getParentDirectory().createDirectory();
        journal.replaceWithText (text, false, false, "\n");
        return journal;
    }

    Sandbox sandbox;
};

Record begin (const juce::String& company = "Alpha", const juce::String& instrument = "Beta",
              int version = InstallJournal::formatVersion)
{
    Record r;
    r.text = instrument + " (" + company + ")";
    r.company = company;
    r.instrument = instrument;
    r.version = version;
    return r;
}

Record move (const Item& to, const Item& aside, const Item& from = {})
{
    Record r;
    r.kind = Kind::move;
    r.to = to;
    r.aside = aside;
    r.from = from;
    return r;
}

Record temporary (const FolderPath& place, const juce::String& name)
{
    Record r;
    r.kind = Kind::temporary;
    r.place = place;
    r.text = name;
    return r;
}

Record folders (const FolderPath& place, int existing)
{
    Record r;
    r.kind = Kind::folder;
    r.place = place;
    r.existing = existing;
    return r;
}

Record link (const juce::String& to, const juce::File& target)
{
    Record r;
    r.kind = Kind::link;
    r.to = { { Root::defaultData, { "Alpha" } }, to };
    r.text = target.getFullPathName();
    return r;
}

/** `r`, a begin record, for data in the folder `dataRoot`. */
Record choosing (Record r, const juce::String& dataRoot)
{
    r.dataRoot = dataRoot;
    return r;
}

/** `r`, a begin record, for a move of the data out of the folder `oldDataRoot`. */
Record movingFrom (Record r, const juce::String& oldDataRoot)
{
    r.oldDataRoot = oldDataRoot;
    return r;
}

Record undone (int of)
{
    Record r;
    r.kind = Kind::undone;
    r.undoneRecord = of;
    return r;
}

Record commit()
{
    Record r;
    r.kind = Kind::commit;
    return r;
}
} // namespace

TEST (JournalCheck, ForgedJournalsAreLeftAsTheyAreAndCarryOutNothing)
{
    const Item validAside { betaFolder, ".Beta.rom.previous-" + digits };
    const FolderPath stagingAside { Root::staging, { staging, "previous" } };
    const auto chosenRoot = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("Samples drive");
    const auto chosenBegin = choosing (begin(), chosenRoot.getFullPathName());
    const struct
    {
        const char* what;
        std::vector<Record> records;
        const char* why;
    } cases[] = {
        { "no begin", { move ({ betaFolder, "notes.txt" }, { gammaFolder, "Gamma.rom" }), commit() },
          "line 1: the journal does not begin" },
        { "an earlier format, which journalled prefixes", { begin ("Alpha", "Beta", 1), temporary (betaFolder, ".Beta.rom.partial-") },
          "line 1: it is of another format (version 1)" },
        { "no company", { begin ("", "Beta"), move ({ { Root::data, { "", "Beta" } }, "Beta.rom" }, { betaFolder, "notes.txt" }), commit() },
          "line 1: it names no company and instrument" },
        { "a company that is a path", { begin ("..", "home"), move ({ { Root::data, { "..", "home" } }, "x" }, { { Root::data, { "..", "home" } }, "Documents" }), commit() },
          "line 1: it names no company and instrument" },
        { "a second begin", { begin(), begin ("Alpha", "Gamma"), move ({ gammaFolder, "x" }, { gammaFolder, "Gamma.rom" }), commit() },
          "line 2: it begins a second installation" },
        { "another instrument's monolith aside", { begin(), move (betaMonolith, { gammaFolder, "Gamma.rom" }), commit() },
          "line 2: it sets an item aside under a name" },
        { "the user's file aside", { begin(), move (betaMonolith, { betaFolder, "notes.txt" }), commit() },
          "line 2: it sets an item aside under a name" },
        { "an aside name of another item", { begin(), move ({ betaFolder, "notes.txt" }, validAside), commit() },
          "line 2: it sets an item aside under a name" },
        { "another maker's plug-in aside", { begin(), move (betaBundle, { { Root::vst3, { "Other" } }, "Other.vst3" }), commit() },
          "line 2: it sets an item aside under a name" },
        { "an aside in a staging folder the journal did not make", { begin(), move (betaBundle, { stagingAside, "1" }), commit() },
          "line 2: it sets an item aside under a name" },
        { "a name with a separator", { begin(), move (betaMonolith, { { Root::data, { "Alpha" } }, "Gamma/Gamma.rom" }), commit() },
          "line 2: it sets an item aside under a name" },
        { "an item of another instrument moved", { begin(), move ({ gammaFolder, "Gamma.rom" }, { gammaFolder, ".Gamma.rom.previous-" + digits }), commit() },
          "line 2: it moves an item outside the instrument's folders" },
        { "an item outside the roots moved", { begin(), move ({ { Root::data, { "..", "home" } }, "Documents" }, validAside) },
          "line 2: it moves an item outside the instrument's folders" },
        { "another maker's plug-in moved", { begin(), temporary ({ Root::staging, {} }, staging),
                                             move ({ { Root::vst3, { "Other" } }, "Other.vst3" }, { stagingAside, "1" }) },
          "line 3: it moves an item outside the instrument's folders" },
        { "a move from another instrument", { begin(), move (betaMonolith, {}, { gammaFolder, "Gamma.rom" }) },
          "line 2: it moves an item that is not one of the journal's new items" },
        { "the monolith as a temporary item", { begin(), temporary (betaFolder, "Beta.rom"), commit() },
          "line 2: it names a temporary item" },
        { "the VST3 root as the staging folder", { begin(), temporary ({ Root::staging, {} }, "vst3"), commit() },
          "line 2: it names a temporary item" },
        { "a staging folder in the data root", { begin(), temporary ({ Root::data, {} }, staging), commit() },
          "line 2: it names a temporary item" },
        { "another maker's folders", { begin(), folders ({ Root::vst3, { "Other", "Empty" } }, 0) },
          "line 2: it makes folders outside the instrument's folders" },
        { "the folders of another instrument", { begin(), folders (gammaFolder, 1) },
          "line 2: it makes folders outside the instrument's folders" },
        { "a record after the commit", { begin(), commit(), temporary (betaFolder, planted) },
          "line 3: it follows the commit" },
        { "an undone record that comes after it", { begin(), undone (1), temporary (betaFolder, planted) },
          "line 2: it undoes a record that does not come before it" },
        { "the begin undone", { begin(), temporary (betaFolder, planted), undone (0) },
          "line 3: it undoes a record that does not come before it" },
        { "a link without a chosen data folder", { begin(), link ("Beta", juce::File ("/home")) },
          "line 2: it makes a link other than the one" },
        { "a link to elsewhere", { chosenBegin, link ("Beta", juce::File ("/home")) },
          "line 2: it makes a link other than the one" },
        { "a link for another instrument", { chosenBegin, link ("Gamma", chosenRoot.getChildFile ("Alpha/Gamma")) },
          "line 2: it makes a link other than the one" },
        { "a chosen data folder in a journal of the earlier format", { choosing (begin ("Alpha", "Beta", 2), chosenRoot.getFullPathName()) },
          "line 1: it names a data folder that is not an absolute path" },
        { "a relative chosen data folder", { choosing (begin(), "Samples") },
          "line 1: it names a data folder that is not an absolute path" },
        { "a folder to move from in a journal of an earlier format", { movingFrom (begin ("Alpha", "Beta", 3), chosenRoot.getFullPathName()) },
          "line 1: it names a data folder to move from" },
        { "another instrument's files set aside where a move takes the data from",
          { movingFrom (begin(), chosenRoot.getFullPathName()),
            move ({ { Root::oldData, { "Alpha", "Gamma" } }, "Gamma.rom" }, { { Root::oldData, { "Alpha", "Gamma" } }, ".Gamma.rom.previous-" + digits }) },
          "line 2: it moves an item outside the instrument's folders" },
        { "new files beside the default data folder without a move back to it", { chosenBegin, temporary ({ Root::data, { "Alpha" } }, planted) },
          "line 2: it names a temporary item" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        BetaAmongOthers installed;
        const auto journal = installed.writeJournal (c.records);
        const auto before = snapshotOf (installed.sandbox.folder);

        // Every start says so again, and changes nothing.
        for (int start = 0; start < 2; ++start)
        {
            const auto notes = installed.recover();
            ASSERT_EQ (notes.size(), 1) << text (notes);
            EXPECT_TRUE (notes[0].startsWith ("Left the journal " + journal.getFullPathName() + " as it is, carrying out nothing of it: "
                                              "this installer did not write it (" + juce::String (c.why))) << notes[0];
            EXPECT_EQ (snapshotOf (installed.sandbox.folder), before);
        }
    }
}

TEST (JournalCheck, AGenuineJournalOfAKilledRemovalIsStillRecovered)
{
    // Killed while the bundle is set aside into the staging folder: the monolith waits aside already.
    BetaAmongOthers installed;
    const auto before = snapshotOf (installed.sandbox.folder);
    const auto child = runInChild ([&] (juce::String&)
    {
        int moves = 0;
        ChangeProbe::setListener ([&moves] (ChangeProbe::Change change, const juce::File&)
        {
            if (change == ChangeProbe::Change::move && ++moves == 2)
                raise (SIGKILL);
        });

        InstallTransaction transaction (installed.roots(), [] (const juce::String&) {});
        const auto done = transaction.begin ("removal of Beta (Alpha)", "Alpha", "Beta").wasOk()
                       && transaction.moveAside (betaMonolith, CheckedFolder::EntryType::file).wasOk()
                       && transaction.moveAside (betaBundle, CheckedFolder::EntryType::folder).wasOk();
        return done ? 0 : 1;
    });

    ASSERT_EQ (child.exitCode, -1);
    EXPECT_EQ (installed.recover(), juce::StringArray ({ "Found an interrupted installation: removal of Beta (Alpha)",
                                                         "Rolled back the interrupted installation" }));
    EXPECT_EQ (snapshotOf (installed.sandbox.folder), before);
}

TEST (JournalCheck, RecoveryRemovesTheJournalledTemporaryNameAndNothingThatOnlyLooksLikeIt)
{
    // Killed once the monolith's new file is journalled, as it is made and after: the recovery removes that
    // file and leaves an item that only shares the start of its name.
    for (const bool made : { false, true })
    {
        SCOPED_TRACE (made ? "killed after the file was made" : "killed before the file was made");
        CheckedMonolith run;
        ASSERT_EQ (run.check, 0);
        const auto folder = run.installedMonolith().getParentDirectory();
        const auto child = runInChild ([&] (juce::String&)
        {
            ChangeProbe::setListener ([made] (ChangeProbe::Change change, const juce::File& item)
            {
                const auto isNewMonolith = item.getFileName().startsWith (".Beta.rom.partial-");

                if (isNewMonolith && change == (made ? ChangeProbe::Change::write : ChangeProbe::Change::createFile))
                    raise (SIGKILL);
            });

            return run.install();
        });

        ASSERT_EQ (child.exitCode, -1);
        folder.getChildFile (planted).replaceWithText ("the user's file");
        EXPECT_EQ (folder.findChildFiles (juce::File::findFiles, false).size(), made ? 2 : 1);

        InstallerLog log;
        run.sandbox.makeModel (log)->recover();
        EXPECT_TRUE (messagesOf (log).contains ("Rolled back the interrupted installation")) << text (messagesOf (log));
        EXPECT_EQ (folder.getChildFile (planted).loadFileAsString(), "the user's file");
        EXPECT_EQ (folder.findChildFiles (juce::File::findFiles, false).size(), 1);
    }
}

TEST (JournalCheck, AnItemThatTookTheJournalledNameBeforeItWasMadeStays)
{
    // Something takes the new monolith's name between its record and its creation: the installation
    // fails, and neither its rollback nor a later start removes what has that name.
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    juce::File taken;
    ChangeProbe::setListener ([&taken] (ChangeProbe::Change change, const juce::File& item)
    {
        if (change == ChangeProbe::Change::createFile && item.getFileName().startsWith (".Beta.rom.partial-") && taken == juce::File())
        {
            taken = item;
            item.replaceWithText ("someone else's");
        }
    });

    EXPECT_NE (run.install(), 0);
    ChangeProbe::setListener ({});
    ASSERT_NE (taken, juce::File());
    EXPECT_EQ (taken.loadFileAsString(), "someone else's");

    InstallerLog log;
    run.sandbox.makeModel (log)->recover();
    EXPECT_EQ (taken.loadFileAsString(), "someone else's");
}

TEST (JournalCheck, JournalsOfTheEarlierFormatsAreStillCarriedOut)
{
    // A run of an earlier version killed once its new monolith was made: the start rolls it back.
    for (const auto version : { InstallJournal::oldestFormatVersion, InstallJournal::formatVersion - 1 })
    {
        SCOPED_TRACE (version);
        BetaAmongOthers installed;
        const auto made = installed.sandbox.folder.getChildFile ("data/Alpha/Beta").getChildFile (planted);
        const auto journal = installed.writeJournal ({ begin ("Alpha", "Beta", version), temporary (betaFolder, planted) });

        EXPECT_EQ (installed.recover(), juce::StringArray ({ "Found an interrupted installation: Beta (Alpha)",
                                                             "Rolled back the interrupted installation" }));
        EXPECT_FALSE (made.exists());
        EXPECT_FALSE (journal.exists());
    }
}
