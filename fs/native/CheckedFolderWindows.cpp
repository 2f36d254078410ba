#include "fs/CheckedFolder.h"

#if JUCE_WINDOWS

#include "fs/AccessList.h"
#include "fs/ClaimedFile.h"
#include "fs/ReadOnlyFile.h"
#include "fs/SystemError.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

namespace
{
// Folders are held without delete sharing, so that they cannot be renamed or replaced while held.
constexpr DWORD folderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD folderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
constexpr DWORD noFollow = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

/** The path in the form that the system takes literally: no length limit, no device names, no
    trimming of trailing dots and blanks.
*/
juce::String literalPath (const juce::File& item)
{
    const auto path = item.getFullPathName();

    if (path.startsWith ("\\\\"))
        return "\\\\?\\UNC\\" + path.substring (2);

    // The framework names a drive's root folder "C:", which the system takes literally for the drive's device.
    if (path.length() == 2 && path[1] == ':')
        return "\\\\?\\" + path + "\\";

    return "\\\\?\\" + path;
}

HANDLE openItem (const juce::File& item, DWORD access, DWORD share, DWORD flags)
{
    return CreateFileW (literalPath (item).toWideCharPointer(), access, share, nullptr, OPEN_EXISTING, flags, nullptr);
}

/** The reparse data of a junction (a mount point), as FSCTL_SET_REPARSE_POINT and FSCTL_GET_REPARSE_POINT
    pass it: the names follow the header, each ended by a NUL.
*/
struct JunctionData
{
    DWORD tag;
    WORD dataLength, reserved;
    WORD substituteOffset, substituteLength, printOffset, printLength;
};

// The most that FSCTL_GET_REPARSE_POINT returns.
constexpr size_t maxReparseBytes = 16 * 1024;

// How the system's own name of a junction's target starts (split, so that it reads as no trigraph).
constexpr const wchar_t* junctionPrefix = L"\\?" L"?\\";

/** Creates the folder at `path` with the access list `kind`, never opening an existing item. */
juce::Result createFolderWith (const juce::File& path, AccessList::Kind kind, bool& exists)
{
    AccessList access (kind);

    if (access.getAttributes() == nullptr)
        return SystemError::failure ("create the folder", path);

    if (! CreateDirectoryW (literalPath (path).toWideCharPointer(), access.getAttributes()))
    {
        exists = GetLastError() == ERROR_ALREADY_EXISTS;
        return SystemError::failure ("create the folder", path);
    }

    return juce::Result::ok();
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

/** Ok when the item opened at `path` is a plain folder that the path itself names; otherwise why not. */
juce::Result checkOpenedFolder (HANDLE item, const juce::File& path)
{
    const auto attributes = attributesOf (item);

    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return CheckedFolder::refuseLink (path, {});

    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return juce::Result::fail (path.getFullPathName() + " is not a folder");

    // A name can reach another place than its path says (a short name, or a link the attributes did not show).
    const auto finalPath = finalPathOf (item);

    if (! finalPath.equalsIgnoreCase (path.getFullPathName()))
        return CheckedFolder::refuseLink (path, finalPath);

    return juce::Result::ok();
}
/** Whether the folder at `path` holds nothing: one that someone else made, still empty, may be taken over. */
bool isEmptyFolder (const juce::File& path)
{
    WIN32_FIND_DATAW entry {};
    const auto search = FindFirstFileExW ((literalPath (path) + "\\*").toWideCharPointer(), FindExInfoBasic, &entry,
                                          FindExSearchNameMatch, nullptr, 0);

    if (search == INVALID_HANDLE_VALUE)
        return false;

    auto empty = true;

    do
    {
        const juce::String entryName (entry.cFileName);
        empty = entryName == "." || entryName == "..";
    }
    while (empty && FindNextFileW (search, &entry));

    FindClose (search);
    return empty;
}

} // namespace

// A colon names a stream of a file on NTFS.
const char* const CheckedFolder::notInNames = "/\\:";

CheckedFolder::Handle::~Handle()
{
    CloseHandle ((HANDLE) native);
}

juce::Result CheckedFolder::createPathFolder (const juce::File& folder)
{
    AccessList protection (AccessList::Kind::protectedFolder);

    if (protection.getAttributes() == nullptr
         || (! CreateDirectoryW (literalPath (folder).toWideCharPointer(), protection.getAttributes())
              && GetLastError() != ERROR_ALREADY_EXISTS))
        return SystemError::failure ("create the folder", folder);

    return juce::Result::ok();
}

std::shared_ptr<CheckedFolder::Handle> CheckedFolder::openRootNative (const juce::File& root, juce::Result& result)
{
    // The root's own path is the system's: it may pass through links.
    const auto item = openItem (root, folderAccess, folderShare, FILE_FLAG_BACKUP_SEMANTICS);

    if (item == INVALID_HANDLE_VALUE)
    {
        result = SystemError::failure ("open the folder", root);
        return {};
    }

    const auto finalPath = finalPathOf (item);
    const auto opened = std::make_shared<Handle> ((juce::pointer_sized_int) item, juce::File (finalPath), nullptr);

    if (finalPath.isEmpty() || (attributesOf (item) & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        result = juce::Result::fail (root.getFullPathName() + " is not a folder");
        return {};
    }

    return opened;
}

std::shared_ptr<CheckedFolder::Handle> CheckedFolder::openChildNative (const juce::String& name, bool forRestricting,
                                                                      juce::Result& result, bool& missing) const
{
    const auto path = childFile (name);
    const auto access = folderAccess | (forRestricting ? (DWORD) (WRITE_DAC | WRITE_OWNER) : 0);
    const auto item = openItem (path, access, folderShare, noFollow);

    if (item == INVALID_HANDLE_VALUE)
    {
        missing = GetLastError() == ERROR_FILE_NOT_FOUND;
        result = SystemError::failure ("open the folder", path);
        return {};
    }

    const auto opened = std::make_shared<Handle> ((juce::pointer_sized_int) item, path, handle);
    result = checkOpenedFolder (item, path);
    return result.wasOk() ? opened : nullptr;
}

juce::Result CheckedFolder::createFolderNative (const juce::String& name, bool isPrivate, bool& exists) const
{
    return createFolderWith (childFile (name), isPrivate ? AccessList::Kind::privateFolder : AccessList::Kind::protectedFolder, exists);
}

std::shared_ptr<CheckedFolder::Handle> CheckedFolder::openNewFolderNative (const juce::String& name, juce::Result& result) const
{
    const auto path = childFile (name);
    const auto item = openItem (path, folderAccess, folderShare, noFollow);

    if (item == INVALID_HANDLE_VALUE)
    {
        result = SystemError::failure ("open the new folder", path);
        return {};
    }

    return std::make_shared<Handle> ((juce::pointer_sized_int) item, path, handle);
}

juce::Result CheckedFolder::createStateFolderNative (const juce::String& name, bool& exists) const
{
    return createFolderWith (childFile (name), AccessList::Kind::stateFolder, exists);
}

juce::Result CheckedFolder::checkOwnItem (juce::pointer_sized_int item, const juce::File& path)
{
    return AccessList::checkAdministratorsOnly ((HANDLE) item, path);
}

bool CheckedFolder::isFolderThisRunMade (const Handle& folder, bool isPrivate)
{
    // CreateDirectory gave it its access list: what is left to check is that the name still reaches it.
    juce::ignoreUnused (isPrivate);
    const auto item = (HANDLE) folder.native;

    return (attributesOf (item) & FILE_ATTRIBUTE_REPARSE_POINT) == 0
        && finalPathOf (item).equalsIgnoreCase (folder.path.getFullPathName());
}

bool CheckedFolder::isPrivateFolderOfThisUser (const Handle& folder)
{
    // Its access list is the owner's to set: a folder of this user's is one no other user made.
    return AccessList::isOwnedByThisUser ((HANDLE) folder.native, SE_FILE_OBJECT);
}

bool CheckedFolder::isTrustedNative (juce::pointer_sized_int item)
{
    return AccessList::isTrustedAndClosed ((HANDLE) item, SE_FILE_OBJECT);
}

std::unique_ptr<ReadOnlyFile> CheckedFolder::openFileNative (const juce::String& name, juce::Result& result) const
{
    const auto path = childFile (name);

    // Shared for reading only, as ReadOnlyFile opens files: nobody writes, renames or removes it meanwhile.
    const auto item = openItem (path, GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, FILE_FLAG_OPEN_REPARSE_POINT);

    if (item == INVALID_HANDLE_VALUE)
    {
        result = SystemError::failure ("open", path);
        return {};
    }

    const auto attributes = attributesOf (item);
    LARGE_INTEGER size {};

    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || attributes == INVALID_FILE_ATTRIBUTES
         || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || GetFileType (item) != FILE_TYPE_DISK || ! GetFileSizeEx (item, &size))
    {
        CloseHandle (item);
        result = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && attributes != INVALID_FILE_ATTRIBUTES
                   ? refuseLink (path, {})
                   : juce::Result::fail (path.getFullPathName() + " is not a file");
        return {};
    }

    result = juce::Result::ok();
    return std::unique_ptr<ReadOnlyFile> (new ReadOnlyFile ((juce::pointer_sized_int) item, (juce::int64) size.QuadPart));
}

juce::Result CheckedFolder::restrictNative (Handle& folder)
{
    return AccessList::restrictToAdministrators ((HANDLE) folder.native, folder.path, isEmptyFolder (folder.path),
                                                 folder.restricted);
}

juce::pointer_sized_int CheckedFolder::createFileNative (const juce::String& name, juce::Result& result, bool& nameTaken) const
{
    const auto path = childFile (name);
    const auto item = CreateFileW (literalPath (path).toWideCharPointer(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

    if (item == INVALID_HANDLE_VALUE)
    {
        nameTaken = GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS;
        result = SystemError::failure ("create the file", path);
        return -1;
    }

    return (juce::pointer_sized_int) item;
}

std::unique_ptr<ClaimedFile> CheckedFolder::claimFileNative (const juce::String& name, juce::Result& result, bool& inUse) const
{
    const auto path = childFile (name);

    // Sharing nothing but reading: a writer's handle, or another claim, keeps this open from succeeding,
    // and while it is held no writer or claimer gets in.
    const auto item = openItem (path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, FILE_FLAG_OPEN_REPARSE_POINT);

    if (item == INVALID_HANDLE_VALUE)
    {
        inUse = GetLastError() == ERROR_SHARING_VIOLATION;
        result = SystemError::failure ("claim", path);
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
bool CheckedFolder::moveNative (const juce::String& name, const CheckedFolder& destination, const juce::String& newName,
                                Replace replace) const
{
    // Both paths run through folders held open since their check. A link at either name is moved or
    // replaced itself, never followed.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace == Replace::yes ? (DWORD) MOVEFILE_REPLACE_EXISTING : 0);

    return MoveFileExW (literalPath (childFile (name)).toWideCharPointer(),
                        literalPath (destination.childFile (newName)).toWideCharPointer(), flags) != FALSE;
}

juce::Result CheckedFolder::removeNative (const juce::String& name) const
{
    const auto path = childFile (name);

    // Opened as the link itself when it is one, so that only the link goes.
    const auto item = openItem (path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, noFollow);

    if (item == INVALID_HANDLE_VALUE)
        return SystemError::failure ("remove", path);

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

    const auto result = removed ? juce::Result::ok() : SystemError::failure ("remove", path);
    CloseHandle (item);
    return result;
}

juce::Result CheckedFolder::listNative (juce::StringArray& names) const
{
    WIN32_FIND_DATAW entry {};
    const auto search = FindFirstFileExW ((literalPath (getFile()) + "\\*").toWideCharPointer(), FindExInfoBasic, &entry,
                                          FindExSearchNameMatch, nullptr, 0);

    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? juce::Result::ok() : SystemError::failure ("list", getFile());

    do
    {
        const juce::String entryName (entry.cFileName);

        if (entryName != "." && entryName != "..")
            names.add (entryName);
    }
    while (FindNextFileW (search, &entry));

    const auto result = GetLastError() == ERROR_NO_MORE_FILES ? juce::Result::ok() : SystemError::failure ("list", getFile());
    FindClose (search);
    return result;
}

CheckedFolder::EntryType CheckedFolder::getEntryTypeNative (const juce::String& name) const
{
    // The attributes of a link are its own, not those of what it points to.
    const auto attributes = GetFileAttributesW (literalPath (childFile (name)).toWideCharPointer());

    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? EntryType::missing : EntryType::other;

    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)   return EntryType::link;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)       return EntryType::folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0)          return EntryType::other;

    return EntryType::file;
}

juce::Result CheckedFolder::createLinkNative (const juce::String& name, const juce::File& target) const
{
    const auto path = childFile (name);
    const juce::String substitute = juce::String (junctionPrefix) + target.getFullPathName();
    const juce::String printed = target.getFullPathName();
    const auto substituteBytes = (size_t) substitute.length() * sizeof (wchar_t);
    const auto printedBytes = (size_t) printed.length() * sizeof (wchar_t);
    const auto namesBytes = substituteBytes + printedBytes + 2 * sizeof (wchar_t);

    if (sizeof (JunctionData) + namesBytes > maxReparseBytes)
        return juce::Result::fail ("The link " + path.getFullPathName() + " cannot name a path that long");

    juce::HeapBlock<char> buffer (sizeof (JunctionData) + namesBytes, true);
    auto* data = reinterpret_cast<JunctionData*> (buffer.getData());
    data->tag = IO_REPARSE_TAG_MOUNT_POINT;
    data->dataLength = (WORD) (sizeof (JunctionData) - 8 + namesBytes);
    data->substituteLength = (WORD) substituteBytes;
    data->printOffset = (WORD) (substituteBytes + sizeof (wchar_t));
    data->printLength = (WORD) printedBytes;
    auto* names = buffer.getData() + sizeof (JunctionData);
    std::memcpy (names, substitute.toWideCharPointer(), substituteBytes);
    std::memcpy (names + data->printOffset, printed.toWideCharPointer(), printedBytes);

    // A junction is a folder with reparse data: made protected like every folder here, then pointed.
    bool exists = false;

    if (const auto created = createFolderWith (path, AccessList::Kind::protectedFolder, exists); created.failed())
        return created;

    const auto item = openItem (path, GENERIC_WRITE, 0, noFollow);
    DWORD returned = 0;
    const auto pointed = item != INVALID_HANDLE_VALUE
                          && DeviceIoControl (item, FSCTL_SET_REPARSE_POINT, buffer.getData(),
                                              (DWORD) (sizeof (JunctionData) + namesBytes), nullptr, 0, &returned, nullptr);
    const auto result = pointed ? juce::Result::ok() : SystemError::failure ("make the link", path);

    if (item != INVALID_HANDLE_VALUE)
        CloseHandle (item);

    if (! pointed)
        RemoveDirectoryW (literalPath (path).toWideCharPointer());

    return result;
}

juce::Result CheckedFolder::readLinkNative (const juce::String& name, juce::File& target) const
{
    const auto path = childFile (name);
    const auto item = openItem (path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, noFollow);

    if (item == INVALID_HANDLE_VALUE)
        return SystemError::failure ("read the link", path);

    juce::HeapBlock<char> buffer (maxReparseBytes, true);
    DWORD returned = 0;
    const auto read = DeviceIoControl (item, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.getData(), (DWORD) maxReparseBytes, &returned, nullptr);
    CloseHandle (item);

    if (! read)
        return SystemError::failure ("read the link", path);

    const auto* data = reinterpret_cast<const JunctionData*> (buffer.getData());

    if (returned < sizeof (JunctionData) || data->tag != IO_REPARSE_TAG_MOUNT_POINT
         || sizeof (JunctionData) + (size_t) data->substituteOffset + data->substituteLength > returned)
        return juce::Result::fail ("The link " + path.getFullPathName() + " is not a junction");

    const auto* names = reinterpret_cast<const wchar_t*> (buffer.getData() + sizeof (JunctionData) + data->substituteOffset);
    const juce::String substitute (names, (size_t) data->substituteLength / sizeof (wchar_t));

    if (! substitute.startsWith (junctionPrefix))
        return juce::Result::fail ("The link " + path.getFullPathName() + " does not name a folder on a drive");

    target = juce::File (substitute.substring ((int) std::wcslen (junctionPrefix)));
    return juce::Result::ok();
}

juce::Result CheckedFolder::flushNative() const
{
    // Flushing a folder needs a handle with write access, which the held one has not.
    const auto item = openItem (getFile(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, noFollow);

    if (item == INVALID_HANDLE_VALUE)
        return SystemError::failure ("flush", getFile());

    const auto flushed = FlushFileBuffers (item);
    const auto result = flushed ? juce::Result::ok() : SystemError::failure ("flush", getFile());
    CloseHandle (item);
    return result;
}

#endif
