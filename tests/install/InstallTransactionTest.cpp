// The transaction on its own, as programs other than the installation use it: a removal (what an uninstaller
// does) and one more file put into place beside an installation's items (a record of what was installed).
// Committed, the change is whole and nothing temporary is left; not committed, everything is as it was.

#include "InstallTestSupport.h"

#include "fs/ChangeProbe.h"
#include "fs/CheckedFile.h"
#include "install/transaction/InstallTransaction.h"

#include <gtest/gtest.h>

using namespace InstallTestSupport;

namespace
{
using Root = InstallTransaction::Root;
using EntryType = CheckedFolder::EntryType;

struct TransactionSandbox
{
    TransactionSandbox()
    {
        const std::pair<const char*, const char*> files[] = {
            { "data/Alpha/Beta/Beta.rom", "monolith" },
            { "data/Alpha/Gamma/Gamma.rom", "other instrument" },
            { "vst3/Alpha/Beta.vst3/Contents/x86_64-win/Beta.vst3", "plug-in code" },
            { "vst3/Alpha/Gamma.vst3/desktop.ini", "other plug-in" },
        };

        for (const auto& [path, content] : files)
        {
            sandbox.folder.getChildFile (path).getParentDirectory().createDirectory();
            sandbox.folder.getChildFile (path).replaceWithText (content);
        }
    }

    InstallTransaction::Roots roots() const             { return InstallTransaction::Roots::of (sandbox.folders()); }
    InstallTransaction::Note note()                     { return [this] (const juce::String& line) { notes.add (line); }; }
    ZipContent tree() const                             { return snapshotOf (sandbox.folder); }

    Sandbox sandbox;
    juce::StringArray notes;
};

const InstallTransaction::Item monolithItem { { Root::data, { "Alpha", "Beta" } }, "Beta.rom" };
const InstallTransaction::Item bundle { { Root::vst3, { "Alpha" } }, "Beta.vst3" };
} // namespace

TEST (InstallTransaction, RemovalIsWholeOnCommitAndUndoneWithout)
{
    for (const bool commit : { true, false })
    {
        SCOPED_TRACE (commit ? "committed" : "not committed");
        TransactionSandbox s;
        const auto before = s.tree();

        {
            InstallTransaction transaction (s.roots(), s.note());
            ASSERT_TRUE (transaction.begin ("Beta (Alpha)", "Alpha", "Beta").wasOk());
            ASSERT_TRUE (transaction.moveAside (monolithItem, EntryType::file).wasOk());
            ASSERT_TRUE (transaction.moveAside (bundle, EntryType::folder).wasOk());

            // Refused, changing nothing: an item of another kind than the caller expects.
            EXPECT_TRUE (transaction.moveAside ({ { Root::data, { "Alpha" } }, "Gamma" }, EntryType::file).failed());

            if (commit)
            {
                ASSERT_TRUE (transaction.commit().wasOk());
            }
        }

        auto expected = before;

        if (commit)
            for (auto i = expected.begin(); i != expected.end();)
                i = i->first.startsWith ("data/Alpha/Beta/Beta.rom") || i->first.startsWith ("vst3/Alpha/Beta.vst3/") ? expected.erase (i)
                                                                                                                      : std::next (i);

        EXPECT_EQ (s.tree(), expected);
        EXPECT_EQ (text (temporaryItemsIn (s.sandbox.folder)), "");
        EXPECT_EQ (text (s.notes), "");
    }
}

TEST (InstallTransaction, OneMoreFileGoesIntoPlaceWithTheCommitOrNotAtAll)
{
    for (const bool commit : { true, false })
    {
        SCOPED_TRACE (commit ? "committed" : "not committed");
        TransactionSandbox s;
        const auto before = s.tree();
        const InstallTransaction::FolderPath records { Root::data, { "Alpha", "Records" } };

        {
            InstallTransaction transaction (s.roots(), s.note());
            CheckedFolder folder;
            auto result = juce::Result::ok();
            ASSERT_TRUE (transaction.begin ("Beta (Alpha)", "Alpha", "Beta").wasOk());
            ASSERT_TRUE (transaction.openFolder (records, true, folder).wasOk());
            folder = {};

            auto file = transaction.createFile (records, "Beta.record", result);
            ASSERT_NE (file, nullptr) << result.getErrorMessage();
            ASSERT_TRUE (file->writeText ("installed: Beta", false, false, nullptr));
            file->flush();
            ASSERT_TRUE (file->close().wasOk());
            const auto temporaryName = file->getName();
            file.reset();

            ASSERT_TRUE (transaction.moveIntoPlace ({ records, temporaryName }, { records, "Beta.record" }, EntryType::file).wasOk());

            if (commit)
            {
                ASSERT_TRUE (transaction.commit().wasOk());
            }
        }

        auto expected = before;

        if (commit)
        {
            expected["data/Alpha/Records/"] = {};
            expected["data/Alpha/Records/Beta.record"] = "installed: Beta";
        }

        EXPECT_EQ (s.tree(), expected);
        EXPECT_EQ (text (temporaryItemsIn (s.sandbox.folder)), "");
    }
}

TEST (InstallTransaction, RollbackGoesOnAfterTheLastWholeLineOfItsJournal)
{
    // A rollback that fails leaves its journal; a power cut then leaves half a line at its end. The next
    // start records what it undoes after the last whole line, so that the start after it reads it all.
    TransactionSandbox s;
    const auto before = s.tree();
    int moves = 0;
    const auto failMove = [&] (int failing)
    {
        moves = 0;
        ChangeProbe::setFault ([&moves, failing] (ChangeProbe::Change change, const juce::File&)
        {
            const auto isFailing = change == ChangeProbe::Change::move && ++moves == failing;
            return isFailing ? juce::Result::fail ("Device or resource busy") : juce::Result::ok();
        });
    };

    {
        InstallTransaction transaction (s.roots(), s.note());
        ASSERT_TRUE (transaction.begin ("Beta (Alpha)", "Alpha", "Beta").wasOk());
        ASSERT_TRUE (transaction.moveAside (monolithItem, EntryType::file).wasOk());
        ASSERT_TRUE (transaction.moveAside (bundle, EntryType::folder).wasOk());
        failMove (1);
    }

    const auto journals = s.sandbox.folders().state.findChildFiles (juce::File::findFiles, false);
    ASSERT_EQ (journals.size(), 1);
    const auto journal = journals[0];
    journal.appendText (InstallJournal::encode ({}).dropLastCharacters (5), false, false, nullptr);

    failMove (2);
    InstallTransaction::recoverInterrupted (s.roots(), s.note());
    ChangeProbe::setFault ({});

    juce::StringArray lines;
    lines.addLines (journal.loadFileAsString());
    lines.removeEmptyStrings();
    InstallJournal::Record last;

    for (const auto& line : lines)
        EXPECT_TRUE (InstallJournal::decode (line, last)) << line.toStdString();

    // Undone: every record after the monolith's move (record 1), whose undoing failed.
    EXPECT_EQ (last.kind, InstallJournal::Record::Kind::undone);
    EXPECT_EQ (last.undoneRecord, 2);

    InstallTransaction::recoverInterrupted (s.roots(), s.note());
    EXPECT_EQ (s.tree(), before);
    EXPECT_EQ (text (temporaryItemsIn (s.sandbox.folder)), "");
}
