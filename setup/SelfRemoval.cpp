#include "setup/SelfRemoval.h"

#if JUCE_WINDOWS

#include "fs/CheckedFolder.h"
#include "install/installed/InstallRecord.h"
#include "fs/SecureRandom.h"
#include "fs/SystemError.h"
#include "install/SystemFolders.h"
#include "install/installed/UninstallerProgram.h"

#include <windows.h>

#include <string>

namespace
{
// The uninstaller ends right after starting its copy; the copy gives up waiting for it after this.
constexpr DWORD waitForUninstallerMs = 10 * 60 * 1000;

/** Closes a handle with its owner. */
struct Handle
{
    explicit Handle (HANDLE h = nullptr) : handle (h) {}

    ~Handle()
    {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
            CloseHandle (handle);
    }

    bool isValid() const noexcept   { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

    HANDLE handle;
};

juce::Result failure (const juce::String& what)
{
    return juce::Result::fail ("Cannot " + what + ": " + SystemError::lastMessage());
}

juce::File runningProgram()
{
    wchar_t path[32768] = {};
    const auto length = GetModuleFileNameW (nullptr, path, (DWORD) juce::numElementsInArray (path));
    return length > 0 && length < (DWORD) juce::numElementsInArray (path) ? juce::File (juce::String (path)) : juce::File();
}

/** Writes a copy of the running program as the new file `copy`, which must not exist. */
juce::Result writeCopy (const juce::File& copy)
{
    juce::MemoryBlock program;

    if (! runningProgram().loadFileAsData (program))
        return juce::Result::fail ("Cannot read the uninstaller " + runningProgram().getFullPathName());

    Handle file (CreateFileW (copy.getFullPathName().toWideCharPointer(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;

    if (! file.isValid() || ! WriteFile (file.handle, program.getData(), (DWORD) program.getSize(), &written, nullptr)
         || written != program.getSize())
        return failure ("write " + copy.getFullPathName());

    return juce::Result::ok();
}

/** Removes the uninstaller from the instrument's folder, then that folder and the company's when empty. */
juce::Result removeUninstaller (const SystemFolders& folders, const juce::String& company, const juce::String& instrument)
{
    const auto root = CheckedFolder::openRoot (folders.getDataRoot());

    {
        // Held, with the company's folder, only until the folders go.
        const auto instrumentFolder = root.openFolder (company, CheckedFolder::Missing::fail)
                                          .openFolder (instrument, CheckedFolder::Missing::fail);

        if (! instrumentFolder.isOpen())
            return instrumentFolder.getStatus();

        // A record means the removal did not go through, or the instrument was installed again since.
        if (instrumentFolder.getEntryType (InstallRecord::fileName) != CheckedFolder::EntryType::missing)
            return juce::Result::fail ("The installation is still there: " + instrumentFolder.getFile().getFullPathName());

        const auto removed = instrumentFolder.remove (UninstallerProgram::fileName);

        if (removed.failed())
            return removed;
    }

    root.removeEmptyFolders ({ company, instrument });
    return juce::Result::ok();
}
} // namespace

juce::Result SelfRemoval::start (const juce::String& company, const juce::String& instrument)
{
    const auto temporary = SystemFolders().getTemporaryFolder();
    const auto random = SecureRandom::hex (16);

    if (random.isEmpty())
        return juce::Result::fail ("No random name for the uninstaller's copy");

    const auto copy = temporary.getChildFile ("uninstall-" + random + ".exe");
    const auto written = writeCopy (copy);

    if (written.failed())
    {
        copy.deleteFile();
        return written;
    }

    // Opened for deletion on close and inherited by the copy: the system deletes the file when the
    // copy ends, and nobody can change it meanwhile (no write sharing).
    SECURITY_ATTRIBUTES inherited { sizeof (SECURITY_ATTRIBUTES), nullptr, TRUE };
    Handle deleteOnClose (CreateFileW (copy.getFullPathName().toWideCharPointer(), DELETE | GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited, OPEN_EXISTING,
                                       FILE_FLAG_DELETE_ON_CLOSE, nullptr));

    if (! deleteOnClose.isValid())
    {
        const auto why = failure ("open " + copy.getFullPathName());
        copy.deleteFile();
        return why;
    }

    HANDLE self = nullptr;

    if (! DuplicateHandle (GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0))
        return failure ("hand this process over to the uninstaller's copy");

    const Handle selfForCopy (self);
    const auto commandLine = "\"" + copy.getFullPathName() + "\" " + copyOption + " "
                           + juce::String ((juce::int64) (juce::pointer_sized_int) self) + " \"" + company + "\" \"" + instrument + "\"";

    STARTUPINFOW startup {};
    startup.cb = sizeof (startup);
    PROCESS_INFORMATION process {};
    std::wstring writableCommandLine (commandLine.toWideCharPointer());

    // Started in the temporary folder: a copy whose current folder were the instrument's could not remove it.
    if (! CreateProcessW (copy.getFullPathName().toWideCharPointer(), writableCommandLine.data(), nullptr, nullptr, TRUE, 0,
                          nullptr, temporary.getFullPathName().toWideCharPointer(), &startup, &process))
        return failure ("start " + copy.getFullPathName());

    CloseHandle (process.hThread);
    CloseHandle (process.hProcess);
    return juce::Result::ok();
}

bool SelfRemoval::isCopy (const juce::StringArray& args)
{
    return args.size() == 4 && args[0] == copyOption && args[1].containsOnly ("0123456789");
}

int SelfRemoval::finish (const juce::StringArray& args, const SystemFolders& folders)
{
    const Handle uninstaller ((HANDLE) (juce::pointer_sized_int) args[1].getLargeIntValue());

    if (WaitForSingleObject (uninstaller.handle, waitForUninstallerMs) != WAIT_OBJECT_0)
        return 1;

    return removeUninstaller (folders, args[2], args[3]).wasOk() ? 0 : 1;
}

#endif
