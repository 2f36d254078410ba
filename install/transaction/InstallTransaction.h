#pragma once

// install/transaction/ is the transaction every change to the target folders goes through, and the
// journal that lets the next start finish or undo it after a kill: InstallTransaction and InstallJournal.
// It includes the engine's rules in install/ and the layers below the engine (fs/ above all); never the
// model, the runs, payload/ or installed/.

#include "install/transaction/InstallJournal.h"

#include <functional>
#include <map>

class CheckedFile;
class SystemFolders;

/** The changes one installation (or removal) makes to the target folders, made so that they can all be
    undone, also by the next start of the program after a kill or a power cut.

    Every change goes through the link-safe file layer (CheckedFolder), below three roots: the data root,
    the VST3 root, and the staging root (the folder that holds the VST3 root, outside what hosts scan,
    on the same volume). New content is written under temporary names and moved into place only at the
    end; what it replaces is moved aside (items of the VST3 tree into the staging folder, so that hosts
    never see an extra bundle) and deleted only once everything is in place. Each change is first
    recorded in the transaction's journal (InstallJournal). Until commit() has recorded its end, undoing
    every recorded change leaves the target folders as they were; after it, only the clean-up remains.

    Folders the transaction opens stay open (checked once, then used through their handles) until the
    transaction ends or an item they are in is moved or removed. Callers hold CheckedFolders only while
    they write into them: Windows renames and removes no folder that is held.

    A typical installation:
      begin, openFolder (target folders, created as needed), createFile (new content under a temporary
      name) or getStaging (a folder to unpack into), moveIntoPlace for each new item, commit.
    A removal: begin, moveAside for each item, commit. Destroying a transaction that did not commit rolls
    it back.
*/
class InstallTransaction
{
public:
    using Root = InstallJournal::Root;
    using FolderPath = InstallJournal::FolderPath;
    using Item = InstallJournal::Item;
    using EntryType = CheckedFolder::EntryType;

    /** Where the three roots are, for a run with these folders, and the engine's state folder, which
        holds the journals.
    */
    struct Roots
    {
        juce::File data, vst3, staging, state, defaultData, oldData;

        /** The system's roots: the data goes into the system's data root. */
        static Roots of (const SystemFolders& folders);

        /** These roots with the data going into `chosen` instead; the default data root stays the system's. */
        Roots withData (const juce::File& chosen) const;

        /** These roots for a move of the data out of the chosen folder `from` (none when it moves out of the
            default data root).
        */
        Roots withOldData (const juce::File& from) const;

        /** Whether the data goes to a folder the user chose, linked from the default data root. */
        bool isDataChosen() const   { return data != defaultData; }

        /** Whether the transaction moves the data out of a folder the user chose. */
        bool isMovingOut() const    { return oldData != juce::File(); }

        const juce::File& operator[] (Root root) const;
    };

    /** Where the transaction reports what the log should know beyond its results: folders it restricted,
        clean-up that failed, what recovery found.
    */
    using Note = std::function<void (const juce::String& line)>;

    InstallTransaction (const Roots& roots, Note note);

    /** Rolls back unless committed. */
    ~InstallTransaction();

    /** Opens the folders on the way to `target` that exist, creating nothing, so that a link among them
        (or a folder another user owns) fails the transaction before anything is written.
    */
    juce::Result checkFolders (const FolderPath& target);

    /** Opens the roots and creates the journal, whose first record says `what` is installed, for the log
        of a start that finds it, and the company and instrument whose folders the transaction changes: a
        start carries out only records that keep within them (JournalCheck). The record names the chosen
        data root and the one a move takes the data out of, when there are. Nothing is changed before this
        succeeds.
    */
    juce::Result begin (const juce::String& what, const juce::String& company, const juce::String& instrument);

    /** Opens the folder `place` into `folder`, checked once and kept open; `create` makes missing folders,
        recorded so that a rollback removes them again.
    */
    juce::Result openFolder (const FolderPath& place, bool create, CheckedFolder& folder);

    /** A new file in `place` under a temporary name (TemporaryNames::newFileName), recorded before the file
        is made under exactly that name, so that it goes at the end unless it was moved into place. Null on failure, with `result` saying why.
    */
    std::unique_ptr<CheckedFile> createFile (const FolderPath& place, const juce::String& finalName, juce::Result& result);

    /** An empty folder of the transaction's own, made on first use, in which new content for the VST3 tree
        is put together before it is moved into place: in the staging root, on the VST3 tree's volume but
        outside what hosts scan. It goes at the end, with everything left in it.
    */
    FolderPath getStaging (juce::Result& result);

    /** Whether an item of the type `kind` may be put at `to`: when nothing is there, or an item of that
        type (which would be moved aside). A link there, or an item of another type, is refused by name.
    */
    juce::Result checkTarget (const Item& to, EntryType kind);

    /** Makes the link `at` (in the default data root, where nothing is) to the folder `target`, recorded
        first, so that a rollback removes it again. For data in a folder the user chose.
    */
    juce::Result makeLink (const Item& at, const juce::File& target);

    /** Moves `from` to `to`, whose folder must be open. When `to` exists it must be of the type `kind`
        (file or folder); it is moved aside and deleted at commit. Refused, changing nothing, when `to` is a
        link or of another type. Every folder that received an item is flushed at commit, before the
        commit is recorded; every folder in which the transaction made a folder, before the next move.
    */
    juce::Result moveIntoPlace (const Item& from, const Item& to, EntryType kind);

    /** Moves the existing `item`, of the type `kind`, out of the way: it is deleted at commit and comes
        back on rollback. For removals.
    */
    juce::Result moveAside (const Item& item, EntryType kind);

    /** Records that everything is in place, then deletes what was moved aside and every temporary item,
        and removes the journal. Fails, leaving the transaction to roll back, only when the end cannot be
        recorded; clean-up that fails is noted and left for the next start.
    */
    juce::Result commit();

    /** Undoes every recorded change, the newest first, and removes the journal. Each change undone is
        recorded once it is on the disk, so that a rollback that is interrupted or fails goes on at the
        next start where it stopped. What cannot be undone is noted, and the journal stays for the next
        start to try again.
    */
    juce::Result rollback();

    //==============================================================================
    /** Finishes every transaction whose journal an earlier run left behind and no running process holds:
        completes its clean-up when it had committed, otherwise rolls it back. A journal with a record that
        this program does not write (JournalCheck) is left as it is, carrying out nothing of it, with one
        note naming it and why. Notes only what it found.
    */
    static void recoverInterrupted (const Roots& roots, const Note& note);

private:
    using Record = InstallJournal::Record;

    /** Where a folder was looked for: open, not there (nor anything that should be in it), or refused. */
    enum class Found { open, missing, failed };

    static juce::Result recover (const Roots& roots, std::unique_ptr<InstallJournal> journal, const Note& note);
    static void recoverJournalsIn (const CheckedFolder& folder, const Roots& roots, const Note& note);
    static void recoverOldJournals (const Roots& roots, const Note& note);
    Found locate (const FolderPath& place, CheckedFolder& folder, juce::Result& result);
    juce::Result openRoot (Root root, CheckedFolder& folder);
    juce::Result record (const Record& newRecord);
    FolderPath stagingFolder (const juce::String& name, juce::Result& result);
    Item asideFor (const Item& target);
    void forget (const FolderPath& place);

    int depthOpen (const FolderPath& place) const;
    void disownLast();
    bool isUndone (size_t index) const;
    juce::Result undo (const Record& change);
    juce::Result recordUndone (size_t index);
    juce::Result undoMove (const Record& change);
    juce::Result undoFolders (const Record& change);
    juce::Result undoLink (const Record& change);
    juce::Result removeItem (const Item& item);
    juce::Result typeOf (const Item& item, EntryType& type);
    juce::Result moveItem (const Item& from, const Item& to);
    juce::Result cleanUp();
    juce::Result flush (juce::Array<FolderPath>& places);
    juce::Result end();

    Roots roots;
    Note note;
    std::unique_ptr<InstallJournal> journal;
    std::vector<Record> records;
    std::vector<bool> undone;           // for each record: a rollback has undone it, or its item was never made
    std::map<juce::String, CheckedFolder> open;
    juce::Array<FolderPath> receivedItems, madeIn;   // folders to flush: at commit, and before the next move too
    FolderPath staging;
    int numAside = 0;
    bool committed = false, finished = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallTransaction)
};
