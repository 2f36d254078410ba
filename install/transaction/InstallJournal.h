#pragma once

#include "fs/CheckedFolder.h"

#include <memory>
#include <vector>

class CheckedFile;
class ClaimedFile;

/** The durable account of one transaction's changes to the target folders (see InstallTransaction), from
    which the next start of the program finishes or undoes whatever a kill or a power cut interrupted
    (InstallTransaction::recoverInterrupted).

    Journals live in the engine's state folder (SystemFolders::getStateFolder), which only the engine can
    change and a start finds without knowing the instrument; each is a file of its own, held by its run, so that a start never takes over the journal
    of a run that is still going. Each record is one line that is flushed to the disk before the change
    it announces is made. A line that a power cut left incomplete fails its checksum and ends the journal
    there: the change it announced was never started.
*/
class InstallJournal
{
public:
    /** The folders below which a transaction works: every folder it records is relative to one of them.
        `data` is where the instrument's data goes (a folder the user chose, or the system's data root);
        `defaultData` is the system's data root, where the link to a chosen folder is made; `oldData` is the
        chosen folder that a move takes the data out of.
    */
    enum class Root { data, vst3, staging, defaultData, oldData };

    /** A folder as the journal names it: a root and the names that lead down from it. */
    struct FolderPath
    {
        Root root = Root::data;
        juce::StringArray path;

        /** The folder named `name` inside this one. */
        FolderPath child (const juce::String& name) const;

        /** Unique for each folder, for maps. */
        juce::String key() const;

        bool operator== (const FolderPath& other) const  { return root == other.root && path == other.path; }
    };

    /** An item: the folder it is in and its name there. */
    struct Item
    {
        FolderPath folder;
        juce::String name;

        bool isEmpty() const noexcept               { return name.isEmpty(); }
        FolderPath asFolderPath() const             { return folder.child (name); }
    };

    /** The format of the journals that this program writes, which a `begin` record names. */
    static constexpr int formatVersion = 4;

    /** The earliest format that a start still carries out: the same records, without links, a chosen data
        root or a move's old one.
    */
    static constexpr int oldestFormatVersion = 2;

    struct Record
    {
        enum class Kind
        {
            begin,          // text: what is installed, for the log; `company` and `instrument`: whose items
                            // the transaction changes; `version`: the journal's format; `dataRoot`: the folder
                            // the user chose for the data (the `data` root), empty for the system's data root;
                            // `oldDataRoot`: the chosen folder a move takes the data out of (the `oldData`
                            // root), empty for none
            folder,         // missing folders of `place` are about to be made; `existing` of its names are there
            temporary,      // a temporary item named `text` is about to be made in `place`
            move,           // `from` is about to replace `to` (nothing at `to` when empty); what was at `to` goes
                            // to `aside` (when not empty); an empty `from` only moves `to` aside
            commit,         // everything is in place: what was moved aside and what is temporary goes
            link,           // a link to the folder `text` (an absolute path) is about to be made at `to`, where
                            // nothing is; undoing it removes that link
            undone          // a rollback has undone the record number `undoneRecord` (the first is 0), or a
                            // temporary item was never made: nothing is left to undo of it
        };

        Kind kind = Kind::begin;
        juce::String text, company, instrument, dataRoot, oldDataRoot;
        FolderPath place;
        int version = formatVersion, existing = 0, undoneRecord = 0;
        Item from, to, aside;
    };

    /** How each journal's name starts. */
    static constexpr const char* namePrefix = "journal-";

    /** The folder under the data root where earlier versions kept their journals, which a start still
        carries out when that folder and the journal are the engine's own (see openStateFolder).
    */
    static constexpr const char* oldFolderName = "Installer Journal";

    ~InstallJournal();

    /** A new, empty journal in `folder`, held by this run. Null on failure, with `result` saying why. */
    static std::unique_ptr<InstallJournal> create (const CheckedFolder& folder, juce::Result& result);

    /** Takes over the journal `name` in `folder` that no running process holds, reading its records; a
        journal that is not the engine's own (CheckedFolder::checkOwnItem) is left as it is. Null on failure, with `result` saying why; `inUse` is set when a running process holds it.
    */
    static std::unique_ptr<InstallJournal> claim (const CheckedFolder& folder, const juce::String& name,
                                                  juce::Result& result, bool& inUse);

    /** Whether `name` is one that create() gives. */
    static bool isJournalName (const juce::String& name);

    /** The records read by claim(), up to the first one that is damaged or incomplete. */
    const std::vector<Record>& getClaimedRecords() const noexcept  { return claimedRecords; }

    /** Writes `record` and waits until it is on the disk, in a claimed journal after the last record read;
        fails, writing nothing, when that would make the journal larger than maxRunSize (maxSize when claimed).
    */
    juce::Result append (const Record& record);

    /** Removes the journal: its transaction has nothing left to finish or undo. */
    juce::Result remove();

    /** The journal's full path, for log lines. */
    juce::File getFile() const;

    /** One record as a line of the journal, and back (false for a line that is not a whole record). */
    static juce::String encode (const Record& record);
    static bool decode (const juce::String& line, Record& record);

    /** The largest journal: append() refuses a record that would make it larger, and a start takes a
        larger one for a damaged journal without reading it. A transaction records a few lines for each
        item it installs, and moves each bundle whole.
    */
    static constexpr size_t maxSize = 512 << 10;

    /** The most that the run itself writes: the rest is room for what a rollback records of its progress,
        a shorter line for each change it undoes.
    */
    static constexpr size_t maxRunSize = maxSize / 2;

private:
    InstallJournal (const CheckedFolder& folder, const juce::String& name);

    CheckedFolder folder;
    juce::String name;
    std::unique_ptr<CheckedFile> writer;
    std::unique_ptr<ClaimedFile> claimed;
    std::vector<Record> claimedRecords;
    juce::int64 claimedEnd = 0;         // where the claimed journal's last whole record ends
    bool claimedEndsLine = true;        // false when that record's line break was lost

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallJournal)
};
