// Test helper for the Wine tests: drives the link-safe file layer and the single-instance lock on Windows
// and reads access lists back, one command per run. Prints what happened; exit code 0 when the command
// did what it was asked, 1 when it was refused, 2 on wrong use.
//   containment-probe chain ROOT TARGET             opens TARGET below ROOT, creating missing folders
//   containment-probe install ROOT TARGET NAME TEXT  writes NAME in TARGET as an installation would
//   containment-probe private FOLDER                 makes a private folder in FOLDER and prints its path
//   containment-probe staging FOLDER                 makes a staging folder in FOLDER and prints its path
//   containment-probe tree ROOT TARGET               builds, moves, lists and removes items in TARGET
//   containment-probe pinned ROOT TARGET             tries to rename TARGET's parent while TARGET is held
//   containment-probe state FOLDER                   opens FOLDER as the engine's state folder, making it when missing
//   containment-probe acl PATH                       prints PATH's owner and access list (SDDL)
//   containment-probe open-to-users PATH             lets every user change the folder PATH
//   containment-probe junction LINK TARGET           makes LINK a junction to the folder TARGET
//   containment-probe hold-mutex NAME SECONDS        holds the named mutex for SECONDS
//   containment-probe lock NAME                      takes the single-instance lock NAME and says how it went

#include "app/SingleInstanceLock.h"
#include "fs/AccessList.h"
#include "fs/CheckedFile.h"
#include "fs/CheckedFolder.h"

#include <iostream>

#include <sddl.h>
#include <winioctl.h>

namespace
{
int say (const juce::String& text, int code)
{
    std::cout << text << std::endl;
    return code;
}

int refused (const juce::Result& result)
{
    return say ("refused: " + result.getErrorMessage(), 1);
}

int chain (const juce::File& root, const juce::File& target)
{
    const auto folder = CheckedFolder::openChain (root, target, CheckedFolder::Missing::create);

    if (! folder.isOpen())
        return refused (folder.getStatus());

    juce::String levels;

    for (auto level = folder; level.isOpen(); level = level.getParent())
        levels = level.getFile().getFileName() + (level.wasCreated() ? " created" : "")
               + (level.wasRestricted() ? " restricted" : "") + (levels.isEmpty() ? "" : ", ") + levels;

    return say ("ok: " + levels, 0);
}

int state (const juce::File& folder)
{
    const auto opened = CheckedFolder::openStateFolder (folder, CheckedFolder::Missing::create);
    return opened.isOpen() ? say (opened.wasCreated() ? "ok: created" : "ok", 0) : refused (opened.getStatus());
}

int install (const juce::File& root, const juce::File& target, const juce::String& name, const juce::String& text)
{
    const auto folder = CheckedFolder::openChain (root, target, CheckedFolder::Missing::create);

    if (! folder.isOpen())
        return refused (folder.getStatus());

    auto result = juce::Result::ok();
    juce::String temporaryName;

    if (auto file = folder.createFile ("." + name + ".partial-", result))
    {
        temporaryName = file->getName();
        file->writeText (text, false, false, nullptr);
        file->flush();
        result = file->close();
    }

    if (result.wasOk())
        result = folder.flush();

    if (result.wasOk())
        result = folder.move (temporaryName, folder, name, CheckedFolder::Replace::yes);

    return result.wasOk() ? say ("ok: " + folder.getFile().getChildFile (name).getFullPathName(), 0) : refused (result);
}

int makeNewFolder (const juce::File& parent, bool isPrivate)
{
    const auto root = CheckedFolder::openRoot (parent);
    const auto folder = isPrivate ? root.createPrivateFolder (".installer-") : root.createFolder (".installing-");
    return folder.isOpen() ? say (folder.getFile().getFullPathName(), 0) : refused (folder.getStatus());
}

/** Writes `text` to a new file and moves it to `name`, as an installation does. */
juce::Result writeFile (const CheckedFolder& folder, const juce::String& name, const juce::String& text)
{
    auto result = juce::Result::ok();
    auto file = folder.createFile ("." + name + ".partial-", result);

    if (file == nullptr)
        return result;

    const auto temporaryName = file->getName();
    file->writeText (text, false, false, nullptr);
    file->flush();
    result = file->close();
    return result.wasOk() ? folder.move (temporaryName, folder, name, CheckedFolder::Replace::no) : result;
}

/** One line per step, for the test to compare with what each step should give. */
int tree (const juce::File& root, const juce::File& target)
{
    const auto folder = CheckedFolder::openChain (root, target, CheckedFolder::Missing::create);

    if (! folder.isOpen())
        return refused (folder.getStatus());

    juce::StringArray lines;
    const auto step = [&lines] (const juce::String& what, const juce::Result& result)
    {
        lines.add (what + ": " + (result.wasOk() ? juce::String ("ok") : result.getErrorMessage()));
    };

    {
        const auto bundle = folder.openFolder ("bundle", CheckedFolder::Missing::create);
        step ("make bundle", bundle.getStatus());
        step ("write bundle\\a.txt", writeFile (bundle, "a.txt", "a"));
        step ("write bundle\\b.txt", writeFile (bundle, "b.txt", "b"));
        step ("move bundle\\a.txt up", bundle.move ("a.txt", folder, "a.txt", CheckedFolder::Replace::no));
        step ("refuse to remove the held bundle", folder.removeTree ("bundle").wasOk() ? juce::Result::fail ("removed")
                                                                                        : juce::Result::ok());
    }

    step ("write b.txt", writeFile (folder, "b.txt", "new b"));
    step ("refuse to move a.txt onto b.txt", folder.move ("a.txt", folder, "b.txt", CheckedFolder::Replace::no).wasOk()
                                       ? juce::Result::fail ("replaced") : juce::Result::ok());
    step ("replace b.txt with a.txt", folder.move ("a.txt", folder, "b.txt", CheckedFolder::Replace::yes));

    juce::StringArray names;
    step ("list", folder.list (names));
    names.sort (true);
    lines.add ("names: " + names.joinIntoString (" "));
    const auto typeOf = [&folder] (const juce::String& name)
    {
        const char* types[] = { "missing", "file", "folder", "link", "other" };
        return juce::String (types[(int) folder.getEntryType (name)]);
    };
    lines.add ("types: " + typeOf ("b.txt") + " " + typeOf ("bundle") + " " + typeOf ("none"));
    step ("open b.txt as a folder", folder.openFolder ("b.txt", CheckedFolder::Missing::create).getStatus());
    step ("remove bundle", folder.removeTree ("bundle"));
    step ("remove b.txt", folder.remove ("b.txt"));
    step ("list again", folder.list (names));
    lines.add ("names: " + names.joinIntoString (" "));
    return say (lines.joinIntoString ("\n"), 0);
}

/** Whether another program can rename the folder above TARGET while the chain to TARGET is held. */
int pinned (const juce::File& root, const juce::File& target)
{
    const auto folder = CheckedFolder::openChain (root, target, CheckedFolder::Missing::create);

    if (! folder.isOpen())
        return refused (folder.getStatus());

    const auto parent = target.getParentDirectory();
    const auto moved = parent.getSiblingFile (parent.getFileName() + "-moved");

    if (MoveFileExW (parent.getFullPathName().toWideCharPointer(), moved.getFullPathName().toWideCharPointer(), 0))
    {
        MoveFileExW (moved.getFullPathName().toWideCharPointer(), parent.getFullPathName().toWideCharPointer(), 0);
        return say ("renamed while held", 1);
    }

    return say ("cannot be renamed while held", 0);
}

HANDLE openForSecurity (const juce::File& item, DWORD access)
{
    return CreateFileW (item.getFullPathName().toWideCharPointer(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

int showAccess (const juce::File& item)
{
    const auto handle = openForSecurity (item, READ_CONTROL);

    if (handle == INVALID_HANDLE_VALUE)
        return say ("cannot open " + item.getFullPathName(), 1);

    const auto text = AccessList::describe (handle, SE_FILE_OBJECT);
    CloseHandle (handle);
    return say (text, text.isNotEmpty() ? 0 : 1);
}

int openToUsers (const juce::File& item)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL list = nullptr;
    BOOL present = FALSE, defaulted = FALSE;

    if (! ConvertStringSecurityDescriptorToSecurityDescriptorW (L"D:(A;OICI;FA;;;WD)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)",
                                                                SDDL_REVISION_1, &descriptor, nullptr)
         || ! GetSecurityDescriptorDacl (descriptor, &present, &list, &defaulted))
        return say ("cannot make the access list", 1);

    const auto handle = openForSecurity (item, READ_CONTROL | WRITE_DAC);
    const auto written = handle != INVALID_HANDLE_VALUE
                      && SetSecurityInfo (handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, list, nullptr) == ERROR_SUCCESS;
    CloseHandle (handle);
    LocalFree (descriptor);
    return written ? say ("ok", 0) : say ("cannot change the access list of " + item.getFullPathName(), 1);
}

/** A mount point, the kind of reparse point a junction is. */
int makeJunction (const juce::File& link, const juce::File& target)
{
    if (! link.createDirectory().wasOk())
        return say ("cannot create " + link.getFullPathName(), 1);

    const auto handle = CreateFileW (link.getFullPathName().toWideCharPointer(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

    if (handle == INVALID_HANDLE_VALUE)
        return say ("cannot open " + link.getFullPathName(), 1);

    const auto substitute = "\\??\\" + target.getFullPathName();
    const auto print = target.getFullPathName();
    const auto substituteBytes = (WORD) (substitute.length() * 2), printBytes = (WORD) (print.length() * 2);

    // REPARSE_DATA_BUFFER for a mount point: tag, sizes, then both names, each ending in a null.
    juce::MemoryOutputStream buffer;
    buffer.writeInt ((int) IO_REPARSE_TAG_MOUNT_POINT);
    buffer.writeShort ((short) (8 + substituteBytes + 2 + printBytes + 2));
    buffer.writeShort (0);
    buffer.writeShort (0);
    buffer.writeShort ((short) substituteBytes);
    buffer.writeShort ((short) (substituteBytes + 2));
    buffer.writeShort ((short) printBytes);
    buffer.write (substitute.toWideCharPointer(), substituteBytes);
    buffer.writeShort (0);
    buffer.write (print.toWideCharPointer(), printBytes);
    buffer.writeShort (0);

    DWORD returned = 0;
    const auto made = DeviceIoControl (handle, FSCTL_SET_REPARSE_POINT, const_cast<void*> (buffer.getData()),
                                       (DWORD) buffer.getDataSize(), nullptr, 0, &returned, nullptr);
    CloseHandle (handle);
    return made ? say ("ok", 0) : say ("this system cannot make junctions", 1);
}

int holdMutex (const juce::String& name, int seconds)
{
    const auto mutex = CreateMutexW (nullptr, TRUE, name.toWideCharPointer());

    if (mutex == nullptr)
        return say ("cannot create " + name, 1);

    std::cout << "holding " << name << std::endl;
    Sleep ((DWORD) seconds * 1000);
    CloseHandle (mutex);
    return 0;
}

int lock (const juce::String& name)
{
    const SingleInstanceLock instanceLock (name);

    if (instanceLock.isHeldByAnotherCopy())
        return say ("another copy", 1);

    return say (instanceLock.isHeld() ? "held" : "without a lock", 0);
}
} // namespace

int main (int argc, char** argv)
{
    juce::StringArray args;

    for (int i = 1; i < argc; ++i)
        args.add (juce::CharPointer_UTF8 (argv[i]));

    const auto& command = args[0];

    if (command == "chain" && args.size() == 3)             return chain (args[1], args[2]);
    if (command == "install" && args.size() == 5)           return install (args[1], args[2], args[3], args[4]);
    if (command == "private" && args.size() == 2)           return makeNewFolder (args[1], true);
    if (command == "staging" && args.size() == 2)           return makeNewFolder (args[1], false);
    if (command == "tree" && args.size() == 3)              return tree (args[1], args[2]);
    if (command == "pinned" && args.size() == 3)            return pinned (args[1], args[2]);
    if (command == "state" && args.size() == 2)             return state (args[1]);
    if (command == "acl" && args.size() == 2)               return showAccess (args[1]);
    if (command == "open-to-users" && args.size() == 2)     return openToUsers (args[1]);
    if (command == "junction" && args.size() == 3)          return makeJunction (args[1], args[2]);
    if (command == "hold-mutex" && args.size() == 3)        return holdMutex (args[1], args[2].getIntValue());
    if (command == "lock" && args.size() == 2)              return lock (args[1]);

    std::cerr << "usage: see the comment at the top of ContainmentProbe.cpp" << std::endl;
    return 2;
}
