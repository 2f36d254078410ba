#include "fs/CheckedFolder.h"

#if ! JUCE_WINDOWS

#include "fs/ClaimedFile.h"
#include "fs/ReadOnlyFile.h"
#include "fs/SystemError.h"

#include <cerrno>
#include <cstdio>

#include <dirent.h>
#include <pwd.h>
#include <sys/file.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr mode_t folderMode = 0755, privateFolderMode = 0700, fileMode = 0644;
constexpr mode_t othersWrite = S_IWGRP | S_IWOTH;

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
    return SystemError::failure ("open the folder", path);
}
/** Why the file `name` in `parent` could not be opened without following a link; errno tells. */
juce::Result whyFileNotOpened (int parent, const juce::String& name, const juce::File& path)
{
    const auto openError = errno;
    struct stat info;
    const auto isLink = fstatat (parent, name.toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK (info.st_mode);
    errno = openError;
    return isLink ? CheckedFolder::refuseLink (path, linkTarget (parent, name.toRawUTF8())) : SystemError::failure ("open", path);
}
} // namespace

const char* const CheckedFolder::notInNames = "/";

CheckedFolder::Handle::~Handle()
{
    ::close ((int) native);
}

juce::Result CheckedFolder::createPathFolder (const juce::File& folder)
{
    if (mkdir (folder.getFullPathName().toRawUTF8(), folderMode) != 0 && errno != EEXIST)
        return SystemError::failure ("create the folder", folder);

    return juce::Result::ok();
}

std::shared_ptr<CheckedFolder::Handle> CheckedFolder::openRootNative (const juce::File& root, juce::Result& result)
{
    // The root's own path is the system's: it may pass through links.
    const auto fd = open (root.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

    if (fd < 0)
    {
        result = SystemError::failure ("open the folder", root);
        return {};
    }

    return std::make_shared<Handle> (fd, root, nullptr);
}

std::shared_ptr<CheckedFolder::Handle> CheckedFolder::openChildNative (const juce::String& name, bool forRestricting,
                                                                      juce::Result& result, bool& missing) const
{
    // Any descriptor of a folder can change its mode: restricting needs no access of its own.
    juce::ignoreUnused (forRestricting);
    const auto parent = (int) handle->native;
    const auto fd = openat (parent, name.toRawUTF8(), folderFlags);

    if (fd < 0)
    {
        missing = errno == ENOENT;
        result = whyNotOpened (parent, name, childFile (name));
        return {};
    }

    result = juce::Result::ok();
    return std::make_shared<Handle> (fd, childFile (name), handle);
}

juce::Result CheckedFolder::createFolderNative (const juce::String& name, bool isPrivate, bool& exists) const
{
    if (mkdirat ((int) handle->native, name.toRawUTF8(), isPrivate ? privateFolderMode : folderMode) != 0)
    {
        exists = errno == EEXIST;
        return SystemError::failure ("create the folder", childFile (name));
    }

    return juce::Result::ok();
}

std::shared_ptr<CheckedFolder::Handle> CheckedFolder::openNewFolderNative (const juce::String& name, juce::Result& result) const
{
    const auto fd = openat ((int) handle->native, name.toRawUTF8(), folderFlags);

    if (fd < 0)
    {
        result = SystemError::failure ("open the new folder", childFile (name));
        return {};
    }

    return std::make_shared<Handle> (fd, childFile (name), handle);
}

juce::Result CheckedFolder::createStateFolderNative (const juce::String& name, bool& exists) const
{
    return createFolderNative (name, true, exists);
}

juce::Result CheckedFolder::checkOwnItem (juce::pointer_sized_int item, const juce::File& path)
{
    struct stat info;

    if (fstat ((int) item, &info) != 0)
        return SystemError::failure ("check the owner of", path);

    if (info.st_uid != geteuid())
    {
        struct passwd entry, * found = nullptr;
        char buffer[1024];
        const auto named = getpwuid_r (info.st_uid, &entry, buffer, sizeof (buffer), &found) == 0 && found != nullptr;
        const auto owner = named ? juce::String (entry.pw_name) : "the user " + juce::String ((juce::int64) info.st_uid);

        return juce::Result::fail (path.getFullPathName() + " belongs to " + owner + ", not to the user this installer"
                                   " runs as: it is left as it is");
    }

    if ((info.st_mode & othersWrite) != 0)
        return juce::Result::fail (path.getFullPathName() + " can be changed by other users: it is left as it is");

    return juce::Result::ok();
}

bool CheckedFolder::isFolderThisRunMade (const Handle& folder, bool isPrivate)
{
    struct stat info;

    return fstat ((int) folder.native, &info) == 0 && info.st_uid == geteuid()
        && (info.st_mode & (isPrivate ? 077u : othersWrite)) == 0;
}

bool CheckedFolder::isPrivateFolderOfThisUser (const Handle& folder)
{
    return isFolderThisRunMade (folder, true);
}

bool CheckedFolder::isTrustedNative (juce::pointer_sized_int item)
{
    struct stat info;

    return fstat ((int) item, &info) == 0 && (info.st_uid == geteuid() || info.st_uid == 0) && (info.st_mode & othersWrite) == 0;
}

std::unique_ptr<ReadOnlyFile> CheckedFolder::openFileNative (const juce::String& name, juce::Result& result) const
{
    const auto parent = (int) handle->native;
    const auto path = childFile (name);

    // Not blocking: a pipe put in the file's place would otherwise wait for a writer.
    const auto fd = openat (parent, name.toRawUTF8(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);

    if (fd < 0)
    {
        result = whyFileNotOpened (parent, name, path);
        return {};
    }

    struct stat info;

    if (fstat (fd, &info) != 0 || ! S_ISREG (info.st_mode))
    {
        ::close (fd);
        result = juce::Result::fail (path.getFullPathName() + " is not a file");
        return {};
    }

    result = juce::Result::ok();
    return std::unique_ptr<ReadOnlyFile> (new ReadOnlyFile (fd, (juce::int64) info.st_size));
}

/** Takes group and others' write access away from a folder of ours; refuses another user's folder. */
juce::Result CheckedFolder::restrictNative (Handle& folder)
{
    struct stat info;

    if (fstat ((int) folder.native, &info) != 0)
        return SystemError::failure ("check the folder", folder.path);

    // Root is the administrator, who can change anything anyway.
    if (info.st_uid != geteuid() && info.st_uid != 0)
        return juce::Result::fail (folder.path.getFullPathName() + " belongs to another user, who could change what is"
                                   " installed in it: remove it, or make it yours");

    if ((info.st_mode & othersWrite) == 0)
        return juce::Result::ok();

    if (fchmod ((int) folder.native, info.st_mode & 07777 & ~othersWrite) != 0)
        return SystemError::failure ("take other users' write access away from", folder.path);

    folder.restricted = true;
    return juce::Result::ok();
}

juce::pointer_sized_int CheckedFolder::createFileNative (const juce::String& name, juce::Result& result, bool& nameTaken) const
{
    const auto fd = openat ((int) handle->native, name.toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode);

    if (fd < 0)
    {
        nameTaken = errno == EEXIST;
        result = SystemError::failure ("create the file", childFile (name));
    }

    return fd;
}

std::unique_ptr<ClaimedFile> CheckedFolder::claimFileNative (const juce::String& name, juce::Result& result, bool& inUse) const
{
    const auto parent = (int) handle->native;
    const auto path = childFile (name);
    const auto fd = openat (parent, name.toRawUTF8(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);

    if (fd < 0)
    {
        result = whyFileNotOpened (parent, name, path);
        return {};
    }

    std::unique_ptr<ClaimedFile> claimed (new ClaimedFile (fd, *this, name));
    struct stat info;

    if (flock (fd, LOCK_EX | LOCK_NB) != 0)
    {
        inUse = errno == EWOULDBLOCK;
        result = SystemError::failure ("claim", path);
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
bool CheckedFolder::moveNative (const juce::String& name, const CheckedFolder& destination, const juce::String& newName,
                                Replace replace) const
{
    // Renaming never follows a link: a link at either name is moved or replaced itself.
    return renameat2 ((int) handle->native, name.toRawUTF8(), (int) destination.handle->native, newName.toRawUTF8(),
                      replace == Replace::yes ? 0u : (unsigned int) RENAME_NOREPLACE) == 0;
}

juce::Result CheckedFolder::removeNative (const juce::String& name) const
{
    const auto folder = (int) handle->native;

    // unlinkat removes a link itself; a folder needs its own flag.
    if (unlinkat (folder, name.toRawUTF8(), 0) != 0
         && (errno != EISDIR || unlinkat (folder, name.toRawUTF8(), AT_REMOVEDIR) != 0))
        return SystemError::failure ("remove", childFile (name));

    return juce::Result::ok();
}

juce::Result CheckedFolder::createLinkNative (const juce::String& name, const juce::File& target) const
{
    if (symlinkat (target.getFullPathName().toRawUTF8(), (int) handle->native, name.toRawUTF8()) != 0)
        return SystemError::failure ("make the link", childFile (name));

    return juce::Result::ok();
}

juce::Result CheckedFolder::readLinkNative (const juce::String& name, juce::File& target) const
{
    const auto text = linkTarget ((int) handle->native, name.toRawUTF8());

    // Only an absolute target names one folder wherever it is read from.
    if (! juce::File::isAbsolutePath (text))
        return juce::Result::fail ("The link " + childFile (name).getFullPathName() + " does not name an absolute path");

    target = juce::File (text);
    return juce::Result::ok();
}

juce::Result CheckedFolder::listNative (juce::StringArray& names) const
{
    // A descriptor of its own, so that listing does not move the folder's shared read position.
    const auto fd = openat ((int) handle->native, ".", folderFlags);
    auto* folder = fd >= 0 ? fdopendir (fd) : nullptr;

    if (folder == nullptr)
    {
        const auto result = SystemError::failure ("list", getFile());

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

    const auto result = errno != 0 ? SystemError::failure ("list", getFile()) : juce::Result::ok();
    closedir (folder);
    return result;
}

CheckedFolder::EntryType CheckedFolder::getEntryTypeNative (const juce::String& name) const
{
    struct stat info;

    if (fstatat ((int) handle->native, name.toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? EntryType::missing : EntryType::other;

    if (S_ISLNK (info.st_mode))     return EntryType::link;
    if (S_ISDIR (info.st_mode))     return EntryType::folder;
    if (S_ISREG (info.st_mode))     return EntryType::file;

    return EntryType::other;
}

juce::Result CheckedFolder::flushNative() const
{
    if (fsync ((int) handle->native) != 0)
        return SystemError::failure ("flush", getFile());

    return juce::Result::ok();
}

#endif
