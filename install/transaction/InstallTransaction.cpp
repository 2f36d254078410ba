#include "install/transaction/InstallTransaction.h"

#include "install/transaction/JournalCheck.h"

#include "fs/CheckedFile.h"
#include "fs/RootFolder.h"
#include "install/SystemFolders.h"
#include "install/TemporaryNames.h"

namespace
{
juce::String describe (CheckedFolder::EntryType type)
{
    switch (type)
    {
        case CheckedFolder::EntryType::file:    return "a file";
        case CheckedFolder::EntryType::folder:  return "a folder";
        case CheckedFolder::EntryType::missing:
        case CheckedFolder::EntryType::link:
        case CheckedFolder::EntryType::other:   break;
    }

    return "neither a file nor a folder";
}

/** The first `depth` folders of `place`'s path. */
InstallJournal::FolderPath upTo (const InstallJournal::FolderPath& place, int depth)
{
    return { place.root, juce::StringArray (place.path.begin(), depth) };
}

juce::File pathOf (const CheckedFolder& folder, const juce::String& name)
{
    // Not getChildFile, which reads a leading '~' as the home folder.
    return juce::File (folder.getFile().getFullPathName() + juce::File::getSeparatorString() + name);
}

juce::Result inTheWay (const juce::File& item, CheckedFolder::EntryType found, CheckedFolder::EntryType expected)
{
    return juce::Result::fail (item.getFullPathName() + " is " + describe (found) + ", where " + describe (expected)
                               + " is to be installed: it is left as it is");
}
} // namespace

//==============================================================================
InstallTransaction::Roots InstallTransaction::Roots::of (const SystemFolders& folders)
{
    const auto vst3 = folders.getVst3Root();
    return { folders.getDataRoot(), vst3, RootFolder::resolve (vst3).getParentDirectory(), folders.getStateFolder(), folders.getDataRoot(), {} };
}

InstallTransaction::Roots InstallTransaction::Roots::withData (const juce::File& chosen) const
{
    auto roots = *this;
    roots.data = chosen;
    return roots;
}

InstallTransaction::Roots InstallTransaction::Roots::withOldData (const juce::File& from) const
{
    auto roots = *this;
    roots.oldData = from;
    return roots;
}

const juce::File& InstallTransaction::Roots::operator[] (Root root) const
{
    switch (root)
    {
        case Root::data:        return data;
        case Root::vst3:        return vst3;
        case Root::defaultData: return defaultData;
        case Root::oldData:     return oldData;
        case Root::staging:     break;
    }

    return staging;
}

//==============================================================================
InstallTransaction::InstallTransaction (const Roots& rootsToUse, Note noteToUse)
    : roots (rootsToUse), note (std::move (noteToUse))
{
}

InstallTransaction::~InstallTransaction()
{
    if (! finished && journal != nullptr)
        rollback();
}

juce::Result InstallTransaction::checkFolders (const FolderPath& target)
{
    CheckedFolder folder;
    auto result = juce::Result::ok();

    for (int depth = 1; depth <= target.path.size(); ++depth)
        if (locate (upTo (target, depth), folder, result) != Found::open)
            break;

    return result;
}

juce::Result InstallTransaction::begin (const juce::String& what, const juce::String& company, const juce::String& instrument)
{
    CheckedFolder folder;
    auto result = juce::Result::ok();

    for (const auto root : { Root::data, Root::vst3, Root::staging, Root::defaultData, Root::oldData })
        if (result.wasOk() && (root != Root::oldData || roots.isMovingOut()))
            result = openRoot (root, folder);

    if (result.wasOk())
    {
        folder = CheckedFolder::openStateFolder (roots.state, CheckedFolder::Missing::create);
        result = folder.getStatus();

        // A start finds the journal only if its folder is on the disk too.
        if (result.wasOk() && folder.wasCreated())
            result = folder.getParent().flush();
    }

    if (result.wasOk())
        journal = InstallJournal::create (folder, result);

    if (result.failed())
        return result;

    Record start;
    start.text = what;
    start.company = company;
    start.instrument = instrument;

    if (roots.isDataChosen())
        start.dataRoot = roots.data.getFullPathName();

    if (roots.isMovingOut())
        start.oldDataRoot = roots.oldData.getFullPathName();

    return record (start);
}

juce::Result InstallTransaction::makeLink (const Item& at, const juce::File& target)
{
    CheckedFolder folder;
    auto result = openFolder (at.folder, false, folder);

    if (result.wasOk() && folder.getEntryType (at.name) != EntryType::missing)
        result = juce::Result::fail (folder.getFile().getChildFile (at.name).getFullPathName()
                                     + " is in the way of the link to " + target.getFullPathName() + ": it is left as it is");

    if (result.failed())
        return result;

    Record link;
    link.kind = Record::Kind::link;
    link.to = at;
    link.text = target.getFullPathName();
    result = record (link);

    if (result.wasOk())
        result = folder.createLink (at.name, target);

    if (result.wasOk())
        receivedItems.addIfNotAlreadyThere (at.folder);

    return result;
}

//==============================================================================
juce::Result InstallTransaction::openRoot (Root root, CheckedFolder& folder)
{
    const auto key = FolderPath { root, {} }.key();
    const auto found = open.find (key);

    if (found != open.end())
    {
        folder = found->second;
        return juce::Result::ok();
    }

    folder = CheckedFolder::openRoot (roots[root]);

    if (folder.isOpen())
        open[key] = folder;

    return folder.getStatus();
}

InstallTransaction::Found InstallTransaction::locate (const FolderPath& place, CheckedFolder& folder, juce::Result& result)
{
    result = openRoot (place.root, folder);
    FolderPath level { place.root, {} };

    for (const auto& name : place.path)
    {
        level = level.child (name);
        const auto found = open.find (level.key());

        if (found != open.end())
        {
            folder = found->second;
            continue;
        }

        if (result.failed())
            return Found::failed;

        if (folder.getEntryType (name) == EntryType::missing)
            return Found::missing;

        folder = folder.openFolder (name, CheckedFolder::Missing::fail);
        result = folder.getStatus();

        if (result.failed())
            return Found::failed;

        if (folder.wasRestricted())
            note ("Other users could change " + folder.getFile().getFullPathName() + ": restricted it before installing into it");

        open[level.key()] = folder;
    }

    return result.wasOk() ? Found::open : Found::failed;
}

juce::Result InstallTransaction::openFolder (const FolderPath& place, bool create, CheckedFolder& folder)
{
    auto result = juce::Result::ok();

    if (locate (place, folder, result) != Found::missing)
        return result;

    if (! create)
        return juce::Result::fail ("Cannot open the folder " + pathOf (folder, place.path[depthOpen (place)]).getFullPathName()
                                   + ": it does not exist");

    // The folders that exist now stay on rollback; the others are this transaction's.
    Record change;
    change.kind = Record::Kind::folder;
    change.place = place;
    change.existing = depthOpen (place);
    result = record (change);

    for (int depth = change.existing + 1; depth <= place.path.size() && result.wasOk(); ++depth)
    {
        folder = folder.openFolder (place.path[depth - 1], CheckedFolder::Missing::create);
        result = folder.getStatus();

        if (result.wasOk())
        {
            open[upTo (place, depth).key()] = folder;
            madeIn.addIfNotAlreadyThere (upTo (place, depth - 1));
        }
    }

    return result;
}

/** How many folders of `place`'s path, from the root, are open. */
int InstallTransaction::depthOpen (const FolderPath& place) const
{
    int depth = 0;

    while (depth < place.path.size() && open.count (upTo (place, depth + 1).key()) != 0)
        ++depth;

    return depth;
}

//==============================================================================
juce::Result InstallTransaction::record (const Record& newRecord)
{
    if (journal == nullptr)
        return juce::Result::fail ("The installation's journal is not open");

    const auto result = journal->append (newRecord);

    if (result.wasOk())
        records.push_back (newRecord);

    return result;
}

std::unique_ptr<CheckedFile> InstallTransaction::createFile (const FolderPath& place, const juce::String& finalName, juce::Result& result)
{
    CheckedFolder folder;
    result = openFolder (place, false, folder);

    Record temporary;
    temporary.kind = Record::Kind::temporary;
    temporary.place = place;
    temporary.text = TemporaryNames::newFileName (finalName);

    if (result.wasOk() && temporary.text.isEmpty())
        result = juce::Result::fail ("No random name for a new file in " + folder.getFile().getFullPathName());

    if (result.wasOk())
        result = record (temporary);

    bool nameTaken = false;
    auto file = result.wasOk() ? folder.createFileNamed (temporary.text, result, nameTaken) : nullptr;

    if (nameTaken)
        disownLast();

    return file;
}

/** Records that the temporary item of the last record was never made, as something else had taken its
    name: no rollback or clean-up removes what has that name. Also without that record, this run does not.
*/
void InstallTransaction::disownLast()
{
    const auto index = records.size() - 1;
    undone.resize (records.size());
    undone[index] = true;

    Record never;
    never.kind = Record::Kind::undone;
    never.undoneRecord = (int) index;
    journal->append (never);
}

bool InstallTransaction::isUndone (size_t index) const
{
    return index < undone.size() && undone[index];
}

InstallTransaction::FolderPath InstallTransaction::getStaging (juce::Result& result)
{
    return stagingFolder (TemporaryNames::unpackedFolder, result);
}

/** The folder `name` in the transaction's staging folder, both made on first use. */
InstallTransaction::FolderPath InstallTransaction::stagingFolder (const juce::String& name, juce::Result& result)
{
    result = juce::Result::ok();
    CheckedFolder folder;

    if (staging.path.isEmpty())
    {
        Record temporary;
        temporary.kind = Record::Kind::temporary;
        temporary.place = { Root::staging, {} };
        temporary.text = TemporaryNames::stagingName();
        result = openRoot (Root::staging, folder);

        if (result.wasOk() && temporary.text.isEmpty())
            result = juce::Result::fail ("No random name for a new folder in " + folder.getFile().getFullPathName());

        if (result.wasOk())
            result = record (temporary);

        bool nameTaken = false;

        if (result.wasOk())
        {
            folder = folder.createFolderNamed (temporary.text, nameTaken);
            result = folder.getStatus();
        }

        if (nameTaken)
            disownLast();

        if (result.failed())
            return {};

        staging = temporary.place.child (temporary.text);
        open[staging.key()] = folder;
        madeIn.addIfNotAlreadyThere (temporary.place);
    }

    const auto place = staging.child (name);

    // Inside a temporary folder: nothing to record.
    if (locate (place, folder, result) == Found::missing)
    {
        folder = folder.openFolder (name, CheckedFolder::Missing::create);
        result = folder.getStatus();

        if (result.wasOk())
        {
            open[place.key()] = folder;
            madeIn.addIfNotAlreadyThere (staging);
        }
    }

    return result.wasOk() ? place : FolderPath();
}

//==============================================================================
InstallTransaction::Item InstallTransaction::asideFor (const Item& target)
{
    // Hosts scan the VST3 tree: what leaves it waits outside, in the staging folder.
    if (target.folder.root == Root::vst3)
    {
        auto result = juce::Result::ok();
        const auto place = stagingFolder (TemporaryNames::asideFolder, result);
        return result.wasOk() ? Item { place, juce::String (++numAside) } : Item();
    }

    return { target.folder, TemporaryNames::asideName (target.name) };
}

juce::Result InstallTransaction::checkTarget (const Item& to, EntryType kind)
{
    auto type = EntryType::missing;
    auto result = typeOf (to, type);
    CheckedFolder folder;

    if (result.failed() || type == EntryType::missing || type == kind)
        return result;

    locate (to.folder, folder, result);
    const auto path = pathOf (folder, to.name);

    return type == EntryType::link ? CheckedFolder::refuseLink (path, {}) : inTheWay (path, type, kind);
}

juce::Result InstallTransaction::moveIntoPlace (const Item& from, const Item& to, EntryType kind)
{
    CheckedFolder folder;
    auto result = openFolder (to.folder, false, folder);
    auto type = EntryType::missing;

    if (result.wasOk())
        result = checkTarget (to, kind);

    if (result.wasOk())
        result = typeOf (to, type);

    if (result.failed())
        return result;

    Record change;
    change.kind = Record::Kind::move;
    change.from = from;
    change.to = to;
    change.aside = type == EntryType::missing ? Item() : asideFor (to);

    if (type != EntryType::missing && change.aside.isEmpty())
        return juce::Result::fail ("No place to move " + pathOf (folder, to.name).getFullPathName() + " aside");

    result = record (change);

    if (result.wasOk() && ! change.aside.isEmpty())
        result = moveItem (to, change.aside);

    if (result.wasOk())
        result = moveItem (from, to);

    if (result.wasOk())
        receivedItems.addIfNotAlreadyThere (to.folder);

    return result;
}

juce::Result InstallTransaction::moveAside (const Item& item, EntryType kind)
{
    auto type = EntryType::missing;
    auto result = checkTarget (item, kind);

    if (result.wasOk())
        result = typeOf (item, type);

    if (result.failed() || type == EntryType::missing)
        return result;

    Record change;
    change.kind = Record::Kind::move;
    change.to = item;
    change.aside = asideFor (item);

    if (change.aside.isEmpty())
        return juce::Result::fail ("No place to move " + item.name + " aside");

    result = record (change);
    return result.wasOk() ? moveItem (item, change.aside) : result;
}

juce::Result InstallTransaction::moveItem (const Item& from, const Item& to)
{
    CheckedFolder source, destination;
    auto result = flush (madeIn);

    if (result.wasOk())
        result = openFolder (from.folder, false, source);

    if (result.wasOk())
        result = openFolder (to.folder, false, destination);

    if (result.failed())
        return result;

    // A folder that moves must not be held, and what was opened below it would keep its old path.
    forget (from.asFolderPath());
    return source.move (from.name, destination, to.name, CheckedFolder::Replace::no);
}

void InstallTransaction::forget (const FolderPath& place)
{
    const auto key = place.key();
    const auto inside = place.path.isEmpty() ? key : key + "/";

    for (auto i = open.begin(); i != open.end();)
        i = i->first == key || i->first.startsWith (inside) ? open.erase (i) : std::next (i);
}

//==============================================================================
juce::Result InstallTransaction::commit()
{
    auto result = flush (madeIn);

    if (result.wasOk())
        result = flush (receivedItems);

    if (result.wasOk())
    {
        Record end;
        end.kind = Record::Kind::commit;
        result = record (end);
    }

    if (result.failed())
        return result;

    committed = true;
    cleanUp();
    return juce::Result::ok();
}

/** Flushes the folders `places`, then forgets them. */
juce::Result InstallTransaction::flush (juce::Array<FolderPath>& places)
{
    for (const auto& place : places)
    {
        CheckedFolder folder;
        auto result = openFolder (place, false, folder);

        if (result.wasOk())
            result = folder.flush();

        if (result.failed())
            return result;
    }

    places.clear();
    return juce::Result::ok();
}

juce::Result InstallTransaction::cleanUp()
{
    auto result = juce::Result::ok();

    for (size_t i = 0; i < records.size(); ++i)
    {
        const auto& r = records[i];
        auto removed = juce::Result::ok();

        if (r.kind == Record::Kind::move && ! r.aside.isEmpty())
            removed = removeItem (r.aside);
        else if (r.kind == Record::Kind::temporary && ! isUndone (i))
            removed = removeItem ({ r.place, r.text });

        if (removed.failed())
        {
            note (removed.getErrorMessage());
            result = removed;
        }
    }

    if (result.failed())
    {
        note ("What is left goes at the next start");
        finished = true;
        return result;
    }

    return end();
}

juce::Result InstallTransaction::rollback()
{
    undone.resize (records.size());

    for (auto i = records.size(); i-- > 0;)
    {
        if (isUndone (i))
            continue;

        auto result = undo (records[i]);

        if (result.wasOk())
            result = recordUndone (i);

        if (result.failed())
        {
            note (result.getErrorMessage());
            note ("The rest is undone at the next start");
            finished = true;
            return result;
        }
    }

    return end();
}

/** Flushes the folders in which undoing the record `index` renamed or removed items, then records that it
    is undone: a later rollback skips it. A kill between the two leaves it to be undone again, which finds
    it undone and changes nothing.
*/
juce::Result InstallTransaction::recordUndone (size_t index)
{
    const auto& change = records[index];
    juce::Array<FolderPath> changed;

    switch (change.kind)
    {
        case Record::Kind::move:
            for (const auto* item : { &change.to, &change.from, &change.aside })
                if (! item->isEmpty())
                    changed.addIfNotAlreadyThere (item->folder);

            break;
        case Record::Kind::folder:      changed.add (upTo (change.place, change.existing)); break;
        case Record::Kind::temporary:   changed.add (change.place); break;
        case Record::Kind::link:        changed.add (change.to.folder); break;
        case Record::Kind::begin:
        case Record::Kind::commit:
        case Record::Kind::undone:      return juce::Result::ok();
    }

    for (const auto& place : changed)
    {
        CheckedFolder folder;
        auto result = juce::Result::ok();

        // A folder that is gone holds nothing to flush; its parent was flushed when it went.
        if (locate (place, folder, result) == Found::open)
            result = folder.flush();

        if (result.failed())
            return result;
    }

    Record done;
    done.kind = Record::Kind::undone;
    done.undoneRecord = (int) index;
    const auto result = journal->append (done);

    if (result.wasOk())
        undone[index] = true;

    return result;
}

/** Removes the journal; the state folder it was in stays, the engine's for good. */
juce::Result InstallTransaction::end()
{
    finished = true;

    if (journal == nullptr)
        return juce::Result::ok();

    const auto removed = journal->remove();
    journal.reset();

    // Windows removes no folder that is held.
    open.clear();
    return removed;
}

//==============================================================================
juce::Result InstallTransaction::undo (const Record& change)
{
    switch (change.kind)
    {
        case Record::Kind::move:        return undoMove (change);
        case Record::Kind::folder:      return undoFolders (change);
        case Record::Kind::temporary:   return removeItem ({ change.place, change.text });
        case Record::Kind::link:        return undoLink (change);
        case Record::Kind::begin:
        case Record::Kind::commit:
        case Record::Kind::undone:      break;
    }

    return juce::Result::ok();
}

/** Removes the link the record made, when it is there and points where the record says; anything else
    at its place was not made by the transaction and stays.
*/
juce::Result InstallTransaction::undoLink (const Record& change)
{
    CheckedFolder folder;
    auto result = juce::Result::ok();
    const auto found = locate (change.to.folder, folder, result);
    juce::File target;

    if (found == Found::failed)
        return result;

    if (found == Found::missing || folder.readLink (change.to.name, target).failed() || target != juce::File (change.text))
        return juce::Result::ok();

    return folder.remove (change.to.name);
}

/** Puts back what was at the move's target: each of its two renames is undone if it happened. The new
    item is at the target only while its source is gone and what it replaced still waits aside: once that
    is back, the item at the target is the old one (journals of earlier versions record no undoing).
*/
juce::Result InstallTransaction::undoMove (const Record& change)
{
    auto atTarget = EntryType::missing, atSource = EntryType::missing, atAside = EntryType::missing;
    auto result = typeOf (change.to, atTarget);

    if (result.wasOk() && ! change.from.isEmpty())
        result = typeOf (change.from, atSource);

    if (result.wasOk() && ! change.aside.isEmpty())
        result = typeOf (change.aside, atAside);

    if (result.failed())
        return result;

    const auto replaced = ! change.aside.isEmpty();

    if (! change.from.isEmpty() && atSource == EntryType::missing && atTarget != EntryType::missing
         && (! replaced || atAside != EntryType::missing))
    {
        result = moveItem (change.to, change.from);
        atTarget = EntryType::missing;
    }

    if (result.wasOk() && atAside != EntryType::missing && atTarget == EntryType::missing)
        result = moveItem (change.aside, change.to);

    return result;
}

/** Removes the folders the record's transaction made, the deepest first, as long as they are empty. */
juce::Result InstallTransaction::undoFolders (const Record& change)
{
    for (auto depth = change.place.path.size(); depth > change.existing; --depth)
    {
        const FolderPath parent { change.place.root, juce::StringArray (change.place.path.begin(), depth - 1) };
        const auto name = change.place.path[depth - 1];
        CheckedFolder folder;
        auto result = juce::Result::ok();

        if (locate (parent.child (name), folder, result) != Found::open)
        {
            if (result.failed())
                return result;

            continue;
        }

        juce::StringArray names;
        result = folder.list (names);

        // Anything in it now came from elsewhere, and keeps the folder.
        if (result.failed() || ! names.isEmpty())
            return result;

        folder = {};
        forget (parent.child (name));
        locate (parent, folder, result);
        result = folder.remove (name);

        if (result.failed())
            return result;
    }

    return juce::Result::ok();
}

juce::Result InstallTransaction::removeItem (const Item& item)
{
    auto type = EntryType::missing;
    auto result = typeOf (item, type);

    if (result.failed() || type == EntryType::missing)
        return result;

    forget (item.asFolderPath());
    CheckedFolder folder;
    locate (item.folder, folder, result);
    return result.wasOk() ? folder.removeTree (item.name) : result;
}

/** What is at `item`: missing also when its folder is. Fails when the folder cannot be opened. */
juce::Result InstallTransaction::typeOf (const Item& item, EntryType& type)
{
    CheckedFolder folder;
    auto result = juce::Result::ok();
    const auto found = locate (item.folder, folder, result);
    type = found == Found::open ? folder.getEntryType (item.name) : EntryType::missing;
    return result;
}

//==============================================================================
juce::Result InstallTransaction::recover (const Roots& roots, std::unique_ptr<InstallJournal> journal, const Note& note)
{
    const auto& claimed = journal->getClaimedRecords();
    const auto isCommit = [] (const Record& r) { return r.kind == Record::Kind::commit; };

    // Killed before its first record: it changed nothing.
    if (claimed.empty())
    {
        InstallTransaction unused (roots, note);
        unused.journal = std::move (journal);
        return unused.end();
    }

    const auto own = JournalCheck::check (claimed);

    // Left as it is, for an administrator to look at: each start says so again.
    if (own.failed())
    {
        note ("Left the journal " + journal->getFile().getFullPathName() + " as it is, carrying out nothing of it: "
              "this installer did not write it (" + own.getErrorMessage() + ")");
        return own;
    }

    note ("Found an interrupted installation: " + claimed.front().text);

    // The data went where its run's user chose, and a move took it out of where it was: both recorded at its beginning.
    const auto& dataRoot = claimed.front().dataRoot;
    const auto& oldDataRoot = claimed.front().oldDataRoot;
    const auto withData = dataRoot.isNotEmpty() ? roots.withData (juce::File (dataRoot)) : roots;
    InstallTransaction transaction (oldDataRoot.isNotEmpty() ? withData.withOldData (juce::File (oldDataRoot)) : withData, note);

    for (const auto& r : claimed)
        if (r.kind != Record::Kind::undone)
            transaction.records.push_back (r);

    transaction.undone.resize (transaction.records.size());

    for (const auto& r : claimed)
        if (r.kind == Record::Kind::undone && (size_t) r.undoneRecord < transaction.records.size())
            transaction.undone[(size_t) r.undoneRecord] = true;

    transaction.journal = std::move (journal);
    transaction.committed = std::any_of (claimed.begin(), claimed.end(), isCommit);

    const auto result = transaction.committed ? transaction.cleanUp() : transaction.rollback();

    if (result.wasOk())
        note (transaction.committed ? "Completed the interrupted installation" : "Rolled back the interrupted installation");

    return result;
}

void InstallTransaction::recoverInterrupted (const Roots& roots, const Note& note)
{
    const auto folder = CheckedFolder::openStateFolder (roots.state, CheckedFolder::Missing::create);

    if (folder.isOpen())
        recoverJournalsIn (folder, roots, note);
    else
        note ("Cannot look for interrupted installations: " + folder.getStatus().getErrorMessage());

    recoverOldJournals (roots, note);
}

void InstallTransaction::recoverJournalsIn (const CheckedFolder& folder, const Roots& roots, const Note& note)
{
    juce::StringArray names;

    if (const auto listed = folder.list (names); listed.failed())
    {
        note ("Cannot look for interrupted installations: " + listed.getErrorMessage());
        return;
    }

    names.sort (false);

    for (const auto& name : names)
    {
        if (! InstallJournal::isJournalName (name))
            continue;

        auto result = juce::Result::ok();
        bool inUse = false;
        auto journal = InstallJournal::claim (folder, name, result, inUse);

        // A running installation holds its journal.
        if (inUse)
            continue;

        if (journal == nullptr)
            note ("Cannot read the interrupted installation's journal: " + result.getErrorMessage());
        else
            recover (roots, std::move (journal), note);
    }
}

/** Journals that an earlier version left in its folder under the data root are carried out only when
    that folder passes the state folder's checks (the engine's own, nobody else can change it), each
    journal only when it is the engine's own too; the folder goes once it is empty. One that fails the
    checks is left as it is, with a line, for an administrator: what someone else could have written
    is never carried out.
*/
void InstallTransaction::recoverOldJournals (const Roots& roots, const Note& note)
{
    const auto oldFolder = roots.data.getChildFile (InstallJournal::oldFolderName);

    if (! oldFolder.exists() && ! oldFolder.isSymbolicLink())
        return;

    {
        const auto folder = CheckedFolder::openStateFolder (oldFolder, CheckedFolder::Missing::fail);

        if (! folder.isOpen())
        {
            note ("Not carrying out the journals of an earlier version: " + folder.getStatus().getErrorMessage());
            return;
        }

        recoverJournalsIn (folder, roots, note);
    }

    // Only an empty folder is removed; Windows removes none that is held.
    const auto dataRoot = CheckedFolder::openRoot (roots.data);

    if (dataRoot.getEntryType (InstallJournal::oldFolderName) == EntryType::folder)
        dataRoot.remove (InstallJournal::oldFolderName);
}
