#include "install/installed/InstalledAppsEntry.h"

#include "install/installed/InstalledInstruments.h"

namespace
{
constexpr const char* uninstallKeys = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
} // namespace

InstalledAppsEntry::InstalledAppsEntry (const juce::String& company, const juce::String& instrument)
    : keyPath (juce::String (uninstallKeys) + keyName (company, instrument))
{
}

juce::String InstalledAppsEntry::keyName (const juce::String& company, const juce::String& instrument)
{
    return company + ": " + instrument;
}

int InstalledAppsEntry::keyNameLength (const juce::String& company, const juce::String& instrument)
{
    const auto name = keyName (company, instrument);
    return (int) (juce::CharPointer_UTF16::getBytesRequiredFor (name.getCharPointer()) / sizeof (juce::CharPointer_UTF16::CharType));
}

#if JUCE_WINDOWS

#include "fs/SystemError.h"
#include "install/installed/UninstallerProgram.h"
#include "install/SystemFolders.h"

#include <windows.h>

#include <algorithm>

namespace
{
// The 64-bit view, which Installed apps shows for a 64-bit program.
constexpr REGSAM view = KEY_WOW64_64KEY;

/** An open registry key, closed with its owner. */
struct Key
{
    ~Key()
    {
        if (handle != nullptr)
            RegCloseKey (handle);
    }

    HKEY handle = nullptr;
};

juce::Result failure (const juce::String& what, const juce::String& keyPath, LSTATUS status)
{
    SetLastError ((DWORD) status);
    return juce::Result::fail ("Cannot " + what + " the Installed apps entry HKEY_LOCAL_MACHINE\\" + keyPath + ": "
                               + SystemError::lastMessage());
}
} // namespace

InstalledAppsEntry::Value InstalledAppsEntry::text (const juce::String& name, const juce::String& value)
{
    const auto* wide = value.toWideCharPointer();
    return { name, REG_SZ, juce::MemoryBlock (wide, (wcslen (wide) + 1) * sizeof (wchar_t)) };
}

InstalledAppsEntry::Value InstalledAppsEntry::number (const juce::String& name, juce::uint32 value)
{
    const DWORD dword = value;
    return { name, REG_DWORD, juce::MemoryBlock (&dword, sizeof (dword)) };
}

juce::Result InstalledAppsEntry::write (const InstallRecord& record, const juce::File& dataFolder)
{
    const auto kept = keepPrevious();

    if (kept.failed())
        return kept;

    changed = true;
    return setValues (valuesFor (record, dataFolder));
}

std::vector<InstalledAppsEntry::Value> InstalledAppsEntry::valuesFor (const InstallRecord& record, const juce::File& dataFolder)
{
    const auto uninstaller = dataFolder.getChildFile (UninstallerProgram::fileName).getFullPathName();
    const auto command = "\"" + uninstaller + "\"";
    const auto kibibytes = (juce::uint32) juce::jmin<juce::int64> ((record.getTotalSize() + 1023) / 1024, 0xffffffff);

    return { text ("DisplayName", record.instrument),
             text ("Publisher", record.company),
             text ("DisplayVersion", record.installerVersion),
             text ("InstallLocation", dataFolder.getFullPathName()),
             text ("InstallDate", record.date.formatted ("%Y%m%d")),
             text ("DisplayIcon", uninstaller + ",0"),
             number ("EstimatedSize", kibibytes),
             text ("UninstallString", command),
             text ("QuietUninstallString", command + " " + UninstallerProgram::quietOption),
             number ("NoModify", 1),
             number ("NoRepair", 1) };
}

void InstalledAppsEntry::reconcile (const SystemFolders& folders, const std::function<void (const juce::String&)>& note)
{
    for (const auto& name : ourKeyNames (folders.getDataRoot()))
    {
        const auto company = name.upToFirstOccurrenceOf (": ", false, false);
        const auto instrument = name.fromFirstOccurrenceOf (": ", false, false);
        const auto instrumentFolder = folders.getDataRoot().getChildFile (company).getChildFile (instrument);

        InstalledAppsEntry entry (company, instrument);

        // Whatever is there, damaged or not, is for its uninstaller or an administrator to deal with.
        if (instrumentFolder.getChildFile (InstallRecord::fileName).exists()
             || instrumentFolder.getChildFile (instrument + ".rom").exists())
        {
            entry.followRecord (folders, company, instrument, note);
            continue;
        }

        const auto removed = entry.remove();
        note (removed.wasOk() ? "Installed apps entry removed: " + name : removed.getErrorMessage());
    }
}

void InstalledAppsEntry::followRecord (const SystemFolders& folders, const juce::String& company, const juce::String& instrument,
                                       const std::function<void (const juce::String&)>& note)
{
    InstalledInstruments::Installation installation;
    juce::String problem;

    // Only a record the engine can trust, and only values of an entry that its installation made: after a
    // rollback the entry that an upgrade wrote just before its commit would name the version that is gone.
    if (InstalledInstruments (folders).find (company, instrument, installation, problem) != InstallerResult::noError
         || read ("DisplayVersion") == installation.record.installerVersion)
        return;

    const auto updated = setValues (valuesFor (installation.record, installation.dataFolder));
    note (updated.wasOk() ? "Installed apps entry updated: " + keyName (company, instrument) : updated.getErrorMessage());
}

/** The names of the entries that are an installation's below `dataRoot`: named by company and instrument,
    and placed in that instrument's folder.
*/
juce::StringArray InstalledAppsEntry::ourKeyNames (const juce::File& dataRoot)
{
    juce::StringArray names;
    Key uninstall;

    if (RegOpenKeyExW (HKEY_LOCAL_MACHINE, juce::String (uninstallKeys).toWideCharPointer(), 0, KEY_READ | view,
                       &uninstall.handle) != ERROR_SUCCESS)
        return names;

    wchar_t name[256];

    for (DWORD i = 0;; ++i)
    {
        auto length = (DWORD) juce::numElementsInArray (name);

        if (RegEnumKeyExW (uninstall.handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;

        const juce::String keyName (name, length);
        const auto company = keyName.upToFirstOccurrenceOf (": ", false, false);
        const auto instrument = keyName.fromFirstOccurrenceOf (": ", false, false);

        if (company.isEmpty() || instrument.isEmpty())
            continue;

        const InstalledAppsEntry entry (company, instrument);

        if (juce::File (entry.read ("InstallLocation")) == dataRoot.getChildFile (company).getChildFile (instrument))
            names.add (keyName);
    }

    return names;
}

juce::Result InstalledAppsEntry::remove()
{
    const auto kept = keepPrevious();

    if (kept.failed())
        return kept;

    changed = true;
    return deleteKey();
}

juce::Result InstalledAppsEntry::undo()
{
    if (! changed)
        return juce::Result::ok();

    changed = false;
    const auto deleted = deleteKey();

    if (deleted.failed() || ! existedBefore)
        return deleted;

    return setValues (previousValues);
}

juce::Result InstalledAppsEntry::keepPrevious()
{
    previousValues.clear();
    Key key;
    const auto opened = RegOpenKeyExW (HKEY_LOCAL_MACHINE, keyPath.toWideCharPointer(), 0, KEY_READ | view, &key.handle);
    existedBefore = opened == ERROR_SUCCESS;

    if (opened == ERROR_FILE_NOT_FOUND)
        return juce::Result::ok();

    if (opened != ERROR_SUCCESS)
        return failure ("read", keyPath, opened);

    DWORD numValues = 0, longestName = 0, longestData = 0;
    auto status = RegQueryInfoKeyW (key.handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &numValues,
                                    &longestName, &longestData, nullptr, nullptr);

    std::vector<wchar_t> name (longestName + 1);
    juce::HeapBlock<BYTE> data (longestData + 1);

    for (DWORD i = 0; i < numValues && status == ERROR_SUCCESS; ++i)
    {
        auto nameLength = (DWORD) name.size();
        auto dataSize = longestData + 1;
        DWORD type = 0;
        status = RegEnumValueW (key.handle, i, name.data(), &nameLength, nullptr, &type, data, &dataSize);

        if (status == ERROR_SUCCESS)
            previousValues.push_back ({ juce::String (name.data(), nameLength), type, juce::MemoryBlock (data, dataSize) });
    }

    return status == ERROR_SUCCESS ? juce::Result::ok() : failure ("read", keyPath, status);
}

juce::Result InstalledAppsEntry::setValues (const std::vector<Value>& values) const
{
    Key key;
    auto status = RegCreateKeyExW (HKEY_LOCAL_MACHINE, keyPath.toWideCharPointer(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_SET_VALUE | view, nullptr, &key.handle, nullptr);

    for (auto value = values.begin(); value != values.end() && status == ERROR_SUCCESS; ++value)
        status = RegSetValueExW (key.handle, value->name.toWideCharPointer(), 0, value->type,
                                 static_cast<const BYTE*> (value->data.getData()), (DWORD) value->data.getSize());

    return status == ERROR_SUCCESS ? juce::Result::ok() : failure ("write", keyPath, status);
}

juce::Result InstalledAppsEntry::deleteKey() const
{
    const auto status = RegDeleteKeyExW (HKEY_LOCAL_MACHINE, keyPath.toWideCharPointer(), view, 0);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? juce::Result::ok() : failure ("remove", keyPath, status);
}

juce::String InstalledAppsEntry::read (const juce::String& name) const
{
    Key key;

    if (RegOpenKeyExW (HKEY_LOCAL_MACHINE, keyPath.toWideCharPointer(), 0, KEY_QUERY_VALUE | view, &key.handle) != ERROR_SUCCESS)
        return {};

    DWORD type = 0, size = 0;

    if (RegQueryValueExW (key.handle, name.toWideCharPointer(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};

    juce::HeapBlock<BYTE> data (size + sizeof (wchar_t), true);

    if (RegQueryValueExW (key.handle, name.toWideCharPointer(), nullptr, &type, data, &size) != ERROR_SUCCESS)
        return {};

    if (type == REG_DWORD && size == sizeof (DWORD))
        return juce::String ((juce::int64) *reinterpret_cast<const DWORD*> (data.get()));

    return type == REG_SZ ? juce::String (reinterpret_cast<const wchar_t*> (data.get())) : juce::String();
}

#else

// Only Windows has Installed apps: elsewhere there is no entry to write, remove or put back.
juce::Result InstalledAppsEntry::write (const InstallRecord&, const juce::File&)
{
    return juce::Result::ok();
}

void InstalledAppsEntry::reconcile (const SystemFolders&, const std::function<void (const juce::String&)>&)
{
}

juce::Result InstalledAppsEntry::remove()
{
    return juce::Result::ok();
}

juce::Result InstalledAppsEntry::undo()
{
    return juce::Result::ok();
}

juce::String InstalledAppsEntry::read (const juce::String&) const
{
    return {};
}

#endif
