#include "fs/CheckedFolder.h"

#if JUCE_WINDOWS

#include "fs/ChangeProbe.h"
#include "fs/CheckedFile.h"
#include "fs/ClaimedFile.h"
#include "fs/AccessList.h"
#include "fs/SystemError.h"

#include <windows.h>

namespace
{
// Folders are held without delete sharing, so that they cannot be renamed or replaced while held.
constexpr DWORD folderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD folderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
constexpr DWORD noFollow = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

juce::Result failure (const juce::String& what, const juce::File& item)
{
    const auto error = SystemError::lastMessage();
    return juce::Result::fail ("Cannot " + what + " " + item.getFullPathName() + ": " + error);
}

/** The path in the form that the system takes literally: no length limit, no device names, no
    trimming of trailing dots and blanks.
*/
juce::String literalPath (const juce::File& item)
{
    const auto path = item.getFullPathName();

    if (path.startsWith ("\\\\"))
        return "\\\\?\\UNC\\" + path.substring (2);

    return "\\\\?\\" + path;
}

HANDLE openItem (const juce::File& item, DWORD access, DWORD share, DWORD flags)
{
    return CreateFileW (literalPath (item).toWideCharPointer(), access, share, nullptr, OPEN_EXISTING, flags, nullptr);
}

/** Where the handle really points, as a plain path. */
juce::String finalPathOf (HANDLE item)
{
    wchar_t buffer[32768] = {};
    const auto length = GetFinalPathNameByHandleW (item, buffer, (DWORD) juce::numElementsInArray (buffer),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);

    if (length == 0 || length >= (DWORD) juce::numElementsInArray (buffer))
        return {};

    const juce::String path (buffer);

    if (path.startsWith ("\\\\?\\UNC\\"))
        return "\\\\" + path.substring (8);

    return path.startsWith ("\\\\?\\") ? path.substring (4) : path;
}

DWORD attributesOf (HANDLE item)
{
    BY_HANDLE_FILE_INFORMATION info {};
    return GetFileInformationByHandle (item, &info) ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

/** Creates the missing folders of `folder`'s path, the deepest last, with the protected access list. */
juce::Result createPath (const juce::File& folder)
{
    if (folder.isDirectory() || folder.getParentDirectory() == folder)
        return juce::Result::ok();

    const auto parent = createPath (folder.getParentDirectory());

    if (parent.failed())
        return parent;

    AccessList protection (AccessList::Kind::protectedFolder);

    if (protection.getAttributes() == nullptr
         || (! CreateDirectoryW (literalPath (folder).toWideCharPointer(), protection.getAttributes())
              && GetLastError() != ERROR_ALREADY_EXISTS))
        return failure ("create the folder", folder);

    return juce::Result::ok();
}
} // namespace

CheckedFolder::Handle::~Handle()
{
    CloseHandle ((HANDLE) native);
}

CheckedFolder CheckedFolder::openRootNative (const juce::File& root)
{
    const auto existed = root.isDirectory();
    const auto path = createPath (root);

    if (path.failed())
        return CheckedFolder (path);

    // The root's own path is the system's: it may pass through links.
    const auto item = openItem (root, folderAccess, folderShare, FILE_FLAG_BACKUP_SEMANTICS);

    if (item == INVALID_HANDLE_VALUE)
        return CheckedFolder (failure ("open the folder", root));

    const auto finalPath = finalPathOf (item);
    const auto opened = std::make_shared<Handle> ((juce::pointer_sized_int) item, juce::File (finalPath), nullptr);

    if (finalPath.isEmpty() || (attributesOf (item) & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return CheckedFolder (juce::Result::fail (root.getFullPathName() + " is not a folder"));

    opened->created = ! existed;
    return CheckedFolder (opened);
}

CheckedFolder CheckedFolder::openChild (const juce::String& name, Missing whenMissing, bool checkOwnership) const
{
    const auto path = childFile (name);
    const auto access = folderAccess | (checkOwnership ? (DWORD) WRITE_DAC : 0);
    auto item = openItem (path, access, folderShare, noFollow);
    bool made = false;

    if (item == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND && whenMissing == Missing::create)
    {
        AccessList protection (AccessList::Kind::protectedFolder);

        if (protection.getAttributes() != nullptr && CreateDirectoryW (literalPath (path).toWideCharPointer(), protection.getAttributes()))
            made = true;
        else if (protection.getAttributes() == nullptr || GetLastError() != ERROR_ALREADY_EXISTS)
            return CheckedFolder (failure ("create the folder", path));

        item = openItem (path, access, folderShare, noFollow);
    }

    if (item == INVALID_HANDLE_VALUE)
        return CheckedFolder (failure ("open the folder", path));

    const auto opened = std::make_shared<Handle> ((juce::pointer_sized_int) item, path, handle);
    const auto attributes = attributesOf (item);

    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return CheckedFolder (refuseLink (path, {}));

    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return CheckedFolder (juce::Result::fail (path.getFullPathName() + " is not a folder"));

    // A name can reach another place than its path says (a short name, or a link the attributes did not show).
    const auto finalPath = finalPathOf (item);

    if (! finalPath.equalsIgnoreCase (path.getFullPathName()))
        return CheckedFolder (refuseLink (path, finalPath));

    opened->created = made;

    if (! checkOwnership)
        return CheckedFolder (opened);

    const auto check = AccessList::restrictToAdministrators (item, path, opened->restricted);
    return check.wasOk() ? CheckedFolder (opened) : CheckedFolder (check);
}

CheckedFolder CheckedFolder::createFolderNative (const juce::String& name, bool isPrivate, bool& nameTaken) const
{
    const auto path = childFile (name);
    AccessList access (isPrivate ? AccessList::Kind::privateFolder : AccessList::Kind::protectedFolder);

    // CreateDirectory never opens an existing item: the name is this run's alone.
    if (access.getAttributes() == nullptr || ! CreateDirectoryW (literalPath (path).toWideCharPointer(), access.getAttributes()))
    {
        nameTaken = GetLastError() == ERROR_ALREADY_EXISTS;
        return CheckedFolder (failure ("create the folder", path));
    }

    const auto item = openItem (path, folderAccess, folderShare, noFollow);

    if (item == INVALID_HANDLE_VALUE)
        return CheckedFolder (failure ("open the new folder", path));

    const auto opened = std::make_shared<Handle> ((juce::pointer_sized_int) item, path, handle);
    opened->created = true;

    if ((attributesOf (item) & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || ! finalPathOf (item).equalsIgnoreCase (path.getFullPathName()))
        return CheckedFolder (juce::Result::fail (path.getFullPathName() + " is not the folder this run made"));

    return CheckedFolder (opened);
}

std::unique_ptr<CheckedFile> CheckedFolder::createFileNative (const juce::String& name, juce::Result& result, bool& nameTaken) const
{
    const auto path = childFile (name);
    const auto item = CreateFileW (literalPath (path).toWideCharPointer(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

    if (item == INVALID_HANDLE_VALUE)
    {
        nameTaken = GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS;
        result = failure ("create the file", path);
        return {};
    }

    std::unique_ptr<CheckedFile> file (new CheckedFile ((juce::pointer_sized_int) item, path));
    result = juce::Result::ok();
    return file;
}

std::unique_ptr<ClaimedFile> CheckedFolder::claimFileNative (const juce::String& name, juce::Result& result, bool& inUse) const
{
    const auto path = childFile (name);

    // Sharing nothing but reading: a writer's handle, or another claim, keeps this open from succeeding,
    // and while it is held no writer or claimer gets in.
    const auto item = openItem (path, GENERIC_READ | DELETE, FILE_SHARE_READ, FILE_FLAG_OPEN_REPARSE_POINT);

    if (item == INVALID_HANDLE_VALUE)
    {
        inUse = GetLastError() == ERROR_SHARING_VIOLATION;
        result = failure ("claim", path);
        return {};
    }

    std::unique_ptr<ClaimedFile> claimed (new ClaimedFile ((juce::pointer_sized_int) item, *this, name));
    const auto attributes = attributesOf (item);

    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        result = refuseLink (path, {});
    else if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        result = juce::Result::fail (path.getFullPathName() + " is not a file");
    else
        result = juce::Result::ok();

    return result.wasOk() ? std::move (claimed) : nullptr;
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

    // Both paths run through folders held open since their check. A link at either name is moved or
    // replaced itself, never followed.
    const auto from = childFile (name), to = destination.childFile (newName);
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace == Replace::yes ? (DWORD) MOVEFILE_REPLACE_EXISTING : 0);

    if (! MoveFileExW (literalPath (from).toWideCharPointer(), literalPath (to).toWideCharPointer(), flags))
    {
        const auto error = SystemError::lastMessage();
        return juce::Result::fail ("Cannot move " + from.getFullPathName() + " to " + to.getFullPathName() + ": " + error);
    }

    return juce::Result::ok();
}

juce::Result CheckedFolder::remove (const juce::String& name) const
{
    const auto nameCheck = checkName (name);

    if (nameCheck.failed())
        return nameCheck;

    ChangeProbe::announce (ChangeProbe::Change::remove, childFile (name));

    const auto path = childFile (name);

    // Opened as the link itself when it is one, so that only the link goes.
    const auto item = openItem (path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, noFollow);

    if (item == INVALID_HANDLE_VALUE)
        return failure ("remove", path);

    FILE_DISPOSITION_INFO disposition { TRUE };
    auto removed = SetFileInformationByHandle (item, FileDispositionInfo, &disposition, sizeof (disposition));

    // A read-only file refuses deletion until the attribute goes.
    if (! removed && GetLastError() == ERROR_ACCESS_DENIED)
    {
        FILE_BASIC_INFO basic {};

        if (GetFileInformationByHandleEx (item, FileBasicInfo, &basic, sizeof (basic))
             && (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        {
            basic.FileAttributes &= ~(DWORD) FILE_ATTRIBUTE_READONLY;
            basic.FileAttributes |= basic.FileAttributes == 0 ? (DWORD) FILE_ATTRIBUTE_NORMAL : 0;
            removed = SetFileInformationByHandle (item, FileBasicInfo, &basic, sizeof (basic))
                   && SetFileInformationByHandle (item, FileDispositionInfo, &disposition, sizeof (disposition));
        }
    }

    const auto result = removed ? juce::Result::ok() : failure ("remove", path);
    CloseHandle (item);
    return result;
}

juce::Result CheckedFolder::list (juce::StringArray& names) const
{
    names.clear();

    if (handle == nullptr)
        return status;

    WIN32_FIND_DATAW entry {};
    const auto search = FindFirstFileExW ((literalPath (getFile()) + "\\*").toWideCharPointer(), FindExInfoBasic, &entry,
                                          FindExSearchNameMatch, nullptr, 0);

    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? juce::Result::ok() : failure ("list", getFile());

    do
    {
        const juce::String entryName (entry.cFileName);

        if (entryName != "." && entryName != "..")
            names.add (entryName);
    }
    while (FindNextFileW (search, &entry));

    const auto result = GetLastError() == ERROR_NO_MORE_FILES ? juce::Result::ok() : failure ("list", getFile());
    FindClose (search);
    return result;
}

CheckedFolder::EntryType CheckedFolder::getEntryType (const juce::String& name) const
{
    if (checkName (name).failed())
        return EntryType::other;

    // The attributes of a link are its own, not those of what it points to.
    const auto attributes = GetFileAttributesW (literalPath (childFile (name)).toWideCharPointer());

    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? EntryType::missing : EntryType::other;

    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)   return EntryType::link;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)       return EntryType::folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0)          return EntryType::other;

    return EntryType::file;
}

juce::Result CheckedFolder::flush() const
{
    if (handle == nullptr)
        return status;

    ChangeProbe::announce (ChangeProbe::Change::flushFolder, getFile());

    // Flushing a folder needs a handle with write access, which the held one has not.
    const auto item = openItem (getFile(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, noFollow);

    if (item == INVALID_HANDLE_VALUE)
        return failure ("flush", getFile());

    const auto flushed = FlushFileBuffers (item);
    const auto result = flushed ? juce::Result::ok() : failure ("flush", getFile());
    CloseHandle (item);
    return result;
}

#endif
