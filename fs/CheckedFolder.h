#pragma once

// fs/ is the link-safe file layer: every change to the target folders goes through folders reached
// handle by handle from a system root, and a link on the way is refused. What differs per system is in
// fs/native/, one file per class and system. The layer includes nothing of ours outside fs/.

#include <juce_core/juce_core.h>

#include <memory>

class CheckedFile;
class ClaimedFile;
class ReadOnlyFile;

/** A folder reached from a system root through folders that were each checked, and worked on through
    open handles to those folders from then on, never through their paths.

    Below the root nothing is followed: a symbolic link, junction or other reparse point on the way is
    refused with an error that names it, and every creation, rename and removal happens by one plain
    name inside an open, checked folder, so a link swapped in after the check is not followed either.
    On Windows the checked folders stay open without delete sharing, so that nobody can rename or
    replace them while this object, or one opened from it, lives; for the same reason Windows refuses
    to rename or remove a folder that a CheckedFolder still holds.

    A folder below the root must be one that only its owner (Linux) or only the administrators and the
    system (Windows) can change. One that other users can change is restricted before anything is
    written into it: the group's and others' write bits go (Linux), or it gets the access list of the
    folders under Program Files (Windows: administrators and the system change, everyone else reads).
    A folder that belongs to another user is refused. Folders created here are protected the same way
    from the start (Linux: mode 0755 at most).

    Copies share the open folder. Every error is a sentence for the log that names the item.
*/
class CheckedFolder
{
public:
    /** Not open: every operation fails. */
    CheckedFolder();
    ~CheckedFolder();
    CheckedFolder (const CheckedFolder&);
    CheckedFolder& operator= (const CheckedFolder&);

    enum class Missing { fail, create };

    /** Opens `root` as the system resolves it (links in the root's own path are the system's and are
        followed), creating missing folders of its path, protected as described above.
    */
    static CheckedFolder openRoot (const juce::File& root);

    /** Opens `target`, which is `root` or lies below it, folder by folder from the root. */
    static CheckedFolder openChain (const juce::File& root, const juce::File& target, Missing whenMissing);

    /** Opens or creates the folder `name` (one plain name) inside this one. */
    CheckedFolder openFolder (const juce::String& name, Missing whenMissing) const;

    /** Creates a new folder here, named `prefix` followed by random hex digits, exclusively: never one
        that already exists. Protected like every folder made here: the place to stage what will be
        installed.
    */
    CheckedFolder createFolder (const juce::String& prefix) const;

    /** Creates the new folder `name` here, exclusively and protected as createFolder does: fails, setting
        `nameTaken`, when something already has that name, which is then left as it is. For a name that a
        journal recorded before the folder was made.
    */
    CheckedFolder createFolderNamed (const juce::String& name, bool& nameTaken) const;

    /** As createFolder, but only the user this process runs as can open the folder (Linux: mode 0700;
        Windows: an access list for that user and the system): the place for what only this run may
        read or change. On Windows an item moved out keeps that access list, so nothing that will be
        installed is staged here.
    */
    CheckedFolder createPrivateFolder (const juce::String& prefix) const;

    /** Opens the folder `name` here as createPrivateFolder made it, never through a link and without
        changing it: only when it belongs to the user this process runs as and, on Linux, nobody else
        can open it. How a run takes over what an earlier run of this program left.
    */
    CheckedFolder openPrivateFolder (const juce::String& name) const;

    /** Opens the folder `folder` (its parent is opened as a root, made when missing) as a folder of the
        engine's own state, which nobody but the engine may change: made when missing with access for this
        user alone (Linux: mode 0700) or for the administrators and the system alone (Windows), and kept.
        One that exists is used only as it is, when it belongs to this user (Windows: to the administrators
        or the system) and nobody else can change it; otherwise this fails with a line that names it and
        its owner, and nothing is changed.
    */
    static CheckedFolder openStateFolder (const juce::File& folder, Missing whenMissing);

    /** Ok when the open item (a descriptor on Linux, a HANDLE on Windows) at `path` belongs to the user
        this process runs as (Windows: or to the administrators or the system) and nobody else can change
        it; otherwise a line that names it and its owner. How the engine's own state is told from an item
        someone else put in its place.
    */
    static juce::Result checkOwnItem (juce::pointer_sized_int item, const juce::File& path);

    /** Opens the existing folder `name` here to read what the engine keeps in it, never through a link and
        without changing it: only when its owner is this user or the administrators (Linux: this user or
        root; Windows: the administrators, the system or this user) and nobody else can change it. What
        another user could have put in a folder is not the engine's to trust.
    */
    CheckedFolder openTrustedFolder (const juce::String& name) const;

    /** Opens the existing regular file `name` here for reading, never through a link, on the conditions of
        openTrustedFolder. Null, with `result` saying why, otherwise.
    */
    std::unique_ptr<ReadOnlyFile> openTrustedFile (const juce::String& name, juce::Result& result) const;

    bool isOpen() const noexcept                    { return handle != nullptr; }

    /** Ok when open; otherwise why not. */
    const juce::Result& getStatus() const noexcept  { return status; }

    /** The folder's path as it was checked, for log lines. */
    juce::File getFile() const;

    /** The folder this one was opened from; not open for a root. */
    CheckedFolder getParent() const;

    /** True when opening it created it. */
    bool wasCreated() const noexcept                { return handle != nullptr && handle->created; }

    /** True when opening it took away other users' right to change it. */
    bool wasRestricted() const noexcept             { return handle != nullptr && handle->restricted; }

    /** Creates a new file here, named `prefix` followed by random hex digits, exclusively: an existing
        item of that name, link or not, is never opened. Null on failure, with `result` saying why.
    */
    std::unique_ptr<CheckedFile> createFile (const juce::String& prefix, juce::Result& result) const;

    /** Creates the new file `name` here, exclusively, never through a link: fails, setting `nameTaken`, when
        something already has that name, which is then left as it is. Null on failure, with `result` saying
        why. For a name that a journal recorded before the file was made.
    */
    std::unique_ptr<CheckedFile> createFileNamed (const juce::String& name, juce::Result& result, bool& nameTaken) const;

    /** Opens the existing file `name` here, never through a link, and holds it, so that no other process
        claims it, and no writer holds it (see CheckedFile::hold), while the returned object lives: how one
        run takes over a file that another run may still be writing. Null on failure, with `result` saying
        why; `inUse` is set when another process holds the file or has just removed it.
    */
    std::unique_ptr<ClaimedFile> claimFile (const juce::String& name, juce::Result& result, bool& inUse) const;

    enum class Replace { no, yes };

    /** Renames the item `name` here to `newName` in `destination`, which must be on the same volume.
        An existing `newName` is replaced only with Replace::yes (and only by an item of its kind that
        the system can put in its place: a file, a link or an empty folder).
    */
    juce::Result move (const juce::String& name, const CheckedFolder& destination, const juce::String& newName,
                       Replace replace) const;

    /** Removes the file, link or empty folder `name`; a link goes itself, never what it points to. */
    juce::Result remove (const juce::String& name) const;

    /** Makes the link `name` here to the folder `target` (an absolute path): a symbolic link, or on Windows
        a junction, owned like the folder it is in. Never replaces an existing item.
    */
    juce::Result createLink (const juce::String& name, const juce::File& target) const;

    /** Where the link `name` here points, read without following it; fails when `name` is not a link. */
    juce::Result readLink (const juce::String& name, juce::File& target) const;

    /** Opens the folder that the link `name` here points to, only when it points exactly to `expected`,
        which is then opened from `expectedRoot` as openChain opens it: the link that an installation made
        and its record names. Any other link, or what is not a link, is refused as openFolder refuses it.
    */
    CheckedFolder openLinkedFolder (const juce::String& name, const juce::File& expectedRoot, const juce::File& expected) const;

    /** Removes `name` and, for a folder, everything in it, without following any link inside. */
    juce::Result removeTree (const juce::String& name) const;

    /** Removes the folder at `path` (names leading down from here) when it is empty, then each folder
        above it up to the first name when that is empty then: the folders an uninstalled item leaves.
        Each folder is let go before its parent removes it, as Windows removes no folder that is held.
        What still holds something stays, and nothing is reported.
    */
    void removeEmptyFolders (const juce::StringArray& path) const;

    /** The names of the items in this folder, in no particular order. */
    juce::Result list (juce::StringArray& names) const;

    enum class EntryType { missing, file, folder, link, other };

    /** What `name` here is, without following a link. */
    EntryType getEntryType (const juce::String& name) const;

    /** Waits until the folder's entries (creations and renames) are on the disk. */
    juce::Result flush() const;

    /** The number of random bytes in generated names: 128 bits, beyond guessing. */
    static constexpr size_t randomNameBytes = 16;

    /** The advice every refused link ends with. */
    static constexpr const char* linkAdvice = "remove the link or install to the default place";

    /** The error for a link found at `link` (pointing to `target`, when known) where a folder or file of
        the installation's own should be.
    */
    static juce::Result refuseLink (const juce::File& link, const juce::String& target);

private:
    /** An open folder, and the folder it was opened from, which stays open with it. */
    struct Handle
    {
        Handle (juce::pointer_sized_int nativeHandle, const juce::File& checkedPath, std::shared_ptr<const Handle> parentHandle);
        ~Handle();

        juce::pointer_sized_int native;     // a descriptor (Linux) or a HANDLE (Windows)
        juce::File path;                    // where the checks found it
        std::shared_ptr<const Handle> parent;
        bool created = false, restricted = false;

        JUCE_DECLARE_NON_COPYABLE (Handle)
    };

    explicit CheckedFolder (std::shared_ptr<const Handle> openHandle);
    explicit CheckedFolder (const juce::Result& failure);

    static bool isPlainName (const juce::String& name);
    juce::Result checkName (const juce::String& name) const;
    juce::File childFile (const juce::String& name) const;
    static juce::Result createPath (const juce::File& folder);
    CheckedFolder openChild (const juce::String& name, Missing whenMissing, bool checkOwnership) const;

    /** Opens the existing folder `name` here without following a link or changing it, when `accepts` it;
        otherwise fails with its path followed by `refusal`.
    */
    CheckedFolder openExisting (const juce::String& name, bool (*accepts) (const Handle&), const char* refusal) const;
    CheckedFolder createNewFolder (const juce::String& prefix, bool isPrivate) const;
    CheckedFolder createNamedFolder (const juce::String& name, bool isPrivate, bool& nameTaken) const;
    juce::Result removeContents (const juce::String& name) const;

    // The system calls, one implementation for each system: native/CheckedFolderPosix.cpp and
    // native/CheckedFolderWindows.cpp. Each failure is a sentence for the log, as above.

    /** What a plain name cannot hold besides a NUL: the separators, and on Windows the colon of a stream. */
    static const char* const notInNames;

    /** Creates the folder at `folder`, a missing folder of a root's path, protected; fine when it exists. */
    static juce::Result createPathFolder (const juce::File& folder);

    static std::shared_ptr<Handle> openRootNative (const juce::File& root, juce::Result& result);

    /** Opens `name` here as a folder without following a link; null when it cannot, `missing` when
        nothing has that name. `forRestricting` asks for the access that restrictNative needs.
    */
    std::shared_ptr<Handle> openChildNative (const juce::String& name, bool forRestricting, juce::Result& result, bool& missing) const;

    /** Creates the folder `name` here, never opening an existing item: fails, setting `exists`, when
        something has that name.
    */
    juce::Result createFolderNative (const juce::String& name, bool isPrivate, bool& exists) const;

    /** Opens the folder that createFolderNative just made; isFolderThisRunMade then tells whether what
        was opened is that folder, as it was made.
    */
    std::shared_ptr<Handle> openNewFolderNative (const juce::String& name, juce::Result& result) const;
    static bool isFolderThisRunMade (const Handle& folder, bool isPrivate);

    /** Creates the folder `name` here for the engine's state (see openStateFolder), never opening an
        existing item: fails, setting `exists`, when something has that name.
    */
    juce::Result createStateFolderNative (const juce::String& name, bool& exists) const;

    /** Whether the open folder or file (a descriptor or HANDLE) belongs to this user or the administrators,
        and nobody else can change it.
    */
    static bool isTrustedNative (juce::pointer_sized_int item);

    /** Opens the regular file `name` here for reading without following a link. */
    std::unique_ptr<ReadOnlyFile> openFileNative (const juce::String& name, juce::Result& result) const;

    /** Whether the open folder belongs to the user this process runs as, and on Linux only to that user. */
    static bool isPrivateFolderOfThisUser (const Handle& folder);

    /** Takes other users' right to change the folder away, setting its `restricted`; fails for a folder
        that belongs to another user.
    */
    static juce::Result restrictNative (Handle& folder);

    /** The new file's descriptor or HANDLE; -1 on failure, with `nameTaken` set when the name exists. */
    juce::pointer_sized_int createFileNative (const juce::String& name, juce::Result& result, bool& nameTaken) const;

    std::unique_ptr<ClaimedFile> claimFileNative (const juce::String& name, juce::Result& result, bool& inUse) const;

    /** False on failure, which the system's last error tells. */
    bool moveNative (const juce::String& name, const CheckedFolder& destination, const juce::String& newName, Replace replace) const;

    juce::Result removeNative (const juce::String& name) const;
    juce::Result createLinkNative (const juce::String& name, const juce::File& target) const;
    juce::Result readLinkNative (const juce::String& name, juce::File& target) const;
    juce::Result listNative (juce::StringArray& names) const;
    EntryType getEntryTypeNative (const juce::String& name) const;
    juce::Result flushNative() const;

    std::shared_ptr<const Handle> handle;
    juce::Result status;
};
