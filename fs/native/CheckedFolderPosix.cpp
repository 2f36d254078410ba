#include "fs/CheckedFolder.h"

#if ! JUCE_WINDOWS

#include "fs/ChangeProbe.h"
#include "fs/CheckedFile.h"
#include "fs/ClaimedFile.h"
#include "fs/SystemError.h"

#include <cerrno>
#include <cstdio>

#include <dirent.h>
#include <sys/file.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr mode_t folderMode = 0755, privateFolderMode = 0700, fileMode = 0644;
constexpr mode_t othersWrite = S_IWGRP | S_IWOTH;

juce::Result failure (const juce::String& what, const juce::File& item)
{
    const auto error = SystemError::lastMessage();
    return juce::Result::fail ("Cannot " + what + " " + item.getFullPathName() + ": " + error);
}

juce::String linkTarget (int folder, const char* name)
{
    char target[4096];
    const auto length = readlinkat (folder, name, target, sizeof (target) - 1);
    return length > 0 ? juce::String::fromUTF8 (target, (int) length) : juce::String();
}

/** Why `name` in `parent` could not be opened as a folder without following a link; errno tells. */
juce::Result whyNotOpened (int parent, const juce::String& name, const juce::File& path)
{
    const auto openError = errno;
    struct stat info;

    if (fstatat (parent, name.toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK (info.st_mode))
        return CheckedFolder::refuseLink (path, linkTarget (parent, name.toRawUTF8()));

    if (openError == ENOTDIR)
        return juce::Result::fail (path.getFullPathName() + " is not a folder");

    errno = openError;
    return failure ("open the folder", path);
}

/** Takes group and others' write access away from a folder of ours; refuses another user's folder. */
juce::Result restrictToOwner (int folder, const juce::File& path, bool& restricted)
{
    struct stat info;

    if (fstat (folder, &info) != 0)
        return failure ("check the folder", path);

    // Root is the administrator, who can change anything anyway.
    if (info.st_uid != geteuid() && info.st_uid != 0)
        return juce::Result::fail (path.getFullPathName() + " belongs to another user, who could change what is"
                                   " installed in it: remove it, or make it yours");

    if ((info.st_mode & othersWrite) == 0)
        return juce::Result::ok();

    if (fchmod (folder, info.st_mode & 07777 & ~othersWrite) != 0)
        return failure ("take other users' write access away from", path);

    restricted = true;
    return juce::Result::ok();
}

/** Creates the missing folders of `folder`'s path, the deepest last. */
juce::Result createPath (const juce::File& folder)
{
    if (folder.isDirectory() || folder.getParentDirectory() == folder)
        return juce::Result::ok();

    const auto parent = createPath (folder.getParentDirectory());

    if (parent.failed())
        return parent;

    if (mkdir (folder.getFullPathName().toRawUTF8(), folderMode) != 0 && errno != EEXIST)
        return failure ("create the folder", folder);

    return juce::Result::ok();
}
} // namespace

CheckedFolder::Handle::~Handle()
{
    ::close ((int) native);
}

CheckedFolder CheckedFolder::openRootNative (const juce::File& root)
{
    const auto existed = root.isDirectory();
    const auto path = createPath (root);

    if (path.failed())
        return CheckedFolder (path);

    // The root's own path is the system's: it may pass through links.
    const auto fd = open (root.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

    if (fd < 0)
        return CheckedFolder (failure ("open the folder", root));

    const auto opened = std::make_shared<Handle> (fd, root, nullptr);
    opened->created = ! existed;
    return CheckedFolder (opened);
}

CheckedFolder CheckedFolder::openChild (const juce::String& name, Missing whenMissing, bool checkOwnership) const
{
    const auto parent = (int) handle->native;
    const auto path = childFile (name);
    const auto* rawName = name.toRawUTF8();
    auto fd = openat (parent, rawName, folderFlags);
    bool made = false;

    if (fd < 0 && errno == ENOENT && whenMissing == Missing::create)
    {
        if (mkdirat (parent, rawName, folderMode) == 0)
            made = true;
        else if (errno != EEXIST)
            return CheckedFolder (failure ("create the folder", path));

        fd = openat (parent, rawName, folderFlags);
    }

    if (fd < 0)
        return CheckedFolder (whyNotOpened (parent, name, path));

    const auto opened = std::make_shared<Handle> (fd, path, handle);
    opened->created = made;

    if (! checkOwnership)
        return CheckedFolder (opened);

    const auto owner = restrictToOwner (fd, path, opened->restricted);
    return owner.wasOk() ? CheckedFolder (opened) : CheckedFolder (owner);
}

CheckedFolder CheckedFolder::createFolderNative (const juce::String& name, bool isPrivate, bool& nameTaken) const
{
    const auto parent = (int) handle->native;
    const auto path = childFile (name);

    // mkdir never opens an existing item: the name is this run's alone.
    if (mkdirat (parent, name.toRawUTF8(), isPrivate ? privateFolderMode : folderMode) != 0)
    {
        nameTaken = errno == EEXIST;
        return CheckedFolder (failure ("create the folder", path));
    }

    const auto fd = openat (parent, name.toRawUTF8(), folderFlags);

    if (fd < 0)
        return CheckedFolder (failure ("open the new folder", path));

    const auto opened = std::make_shared<Handle> (fd, path, handle);
    opened->created = true;
    struct stat info;

    if (fstat (fd, &info) != 0 || info.st_uid != geteuid() || (info.st_mode & (isPrivate ? 077u : othersWrite)) != 0)
        return CheckedFolder (juce::Result::fail (path.getFullPathName() + " is not the folder this run made"));

    return CheckedFolder (opened);
}

std::unique_ptr<CheckedFile> CheckedFolder::createFileNative (const juce::String& name, juce::Result& result, bool& nameTaken) const
{
    const auto path = childFile (name);
    const auto fd = openat ((int) handle->native, name.toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode);

    if (fd < 0)
    {
        nameTaken = errno == EEXIST;
        result = failure ("create the file", path);
        return {};
    }

    result = juce::Result::ok();
    return std::unique_ptr<CheckedFile> (new CheckedFile (fd, path));
}

std::unique_ptr<ClaimedFile> CheckedFolder::claimFileNative (const juce::String& name, juce::Result& result, bool& inUse) const
{
    const auto parent = (int) handle->native;
    const auto path = childFile (name);
    const auto fd = openat (parent, name.toRawUTF8(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);

    if (fd < 0)
    {
        const auto openError = errno;
        struct stat info;
        const auto isLink = fstatat (parent, name.toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK (info.st_mode);
        errno = openError;
        result = isLink ? refuseLink (path, linkTarget (parent, name.toRawUTF8())) : failure ("open", path);
        return {};
    }

    std::unique_ptr<ClaimedFile> claimed (new ClaimedFile (fd, *this, name));
    struct stat info;

    if (flock (fd, LOCK_EX | LOCK_NB) != 0)
    {
        inUse = errno == EWOULDBLOCK;
        result = failure ("claim", path);
        return {};
    }

    // Opened before its last holder removed it: there is nothing left to take over.
    if (fstat (fd, &info) != 0 || ! S_ISREG (info.st_mode) || info.st_nlink == 0)
    {
        inUse = info.st_nlink == 0;
        result = juce::Result::fail (path.getFullPathName() + (inUse ? " was removed" : " is not a file"));
        return {};
    }

    result = juce::Result::ok();
    return claimed;
}

//==============================================================================
juce::Result CheckedFolder::move (const juce::String& name, const CheckedFolder& destination, const juce::String& newName,
                                  Replace replace) const
{
    auto result = checkName (name);

    if (result.wasOk())
        result = destination.checkName (newName);

    if (result.failed())
        return result;

    ChangeProbe::announce (ChangeProbe::Change::move, childFile (name));

    // Renaming never follows a link: a link at either name is moved or replaced itself.
    if (renameat2 ((int) handle->native, name.toRawUTF8(), (int) destination.handle->native, newName.toRawUTF8(),
                   replace == Replace::yes ? 0u : (unsigned int) RENAME_NOREPLACE) != 0)
    {
        const auto error = SystemError::lastMessage();
        return juce::Result::fail ("Cannot move " + childFile (name).getFullPathName() + " to "
                                   + destination.childFile (newName).getFullPathName() + ": " + error);
    }

    return juce::Result::ok();
}

juce::Result CheckedFolder::remove (const juce::String& name) const
{
    const auto nameCheck = checkName (name);

    if (nameCheck.failed())
        return nameCheck;

    ChangeProbe::announce (ChangeProbe::Change::remove, childFile (name));

    const auto folder = (int) handle->native;

    // unlinkat removes a link itself; a folder needs its own flag.
    if (unlinkat (folder, name.toRawUTF8(), 0) != 0
         && (errno != EISDIR || unlinkat (folder, name.toRawUTF8(), AT_REMOVEDIR) != 0))
        return failure ("remove", childFile (name));

    return juce::Result::ok();
}

juce::Result CheckedFolder::list (juce::StringArray& names) const
{
    names.clear();

    if (handle == nullptr)
        return status;

    // A descriptor of its own, so that listing does not move the folder's shared read position.
    const auto fd = openat ((int) handle->native, ".", folderFlags);
    auto* folder = fd >= 0 ? fdopendir (fd) : nullptr;

    if (folder == nullptr)
    {
        const auto result = failure ("list", getFile());

        if (fd >= 0)
            ::close (fd);

        return result;
    }

    for (;;)
    {
        errno = 0;
        const auto* entry = readdir (folder);

        if (entry == nullptr)
            break;

        const juce::String entryName (juce::CharPointer_UTF8 (entry->d_name));

        if (entryName != "." && entryName != "..")
            names.add (entryName);
    }

    const auto result = errno != 0 ? failure ("list", getFile()) : juce::Result::ok();
    closedir (folder);
    return result;
}

CheckedFolder::EntryType CheckedFolder::getEntryType (const juce::String& name) const
{
    if (checkName (name).failed())
        return EntryType::other;

    struct stat info;

    if (fstatat ((int) handle->native, name.toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? EntryType::missing : EntryType::other;

    if (S_ISLNK (info.st_mode))     return EntryType::link;
    if (S_ISDIR (info.st_mode))     return EntryType::folder;
    if (S_ISREG (info.st_mode))     return EntryType::file;

    return EntryType::other;
}

juce::Result CheckedFolder::flush() const
{
    if (handle == nullptr)
        return status;

    ChangeProbe::announce (ChangeProbe::Change::flushFolder, getFile());

    if (fsync ((int) handle->native) != 0)
        return failure ("flush", getFile());

    return juce::Result::ok();
}

#endif
