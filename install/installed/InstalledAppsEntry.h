#pragma once

#include "install/installed/InstallRecord.h"

#include <functional>
#include <vector>

class SystemFolders;

/** An installation's entry in Windows' Installed apps: the key `keyName` below
    HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall, whose values name the instrument, its
    maker, the installer's version, where it lies, its size and how to remove it (the uninstaller in
    the instrument's data folder, with and without questions).

    Every change first keeps what the key held, so that undo() puts it back: an installation or a
    removal that fails after changing the entry leaves it as it was.

    Other systems have no Installed apps: there every operation does nothing and succeeds, and read()
    finds nothing, so that the runs treat the entry alike everywhere.
*/
class InstalledAppsEntry
{
public:
    InstalledAppsEntry (const juce::String& company, const juce::String& instrument);

    /** Writes the entry for the installation that `record` describes, whose data folder is `dataFolder`. */
    juce::Result write (const InstallRecord& record, const juce::File& dataFolder);

    /** After the recovery of a start has finished or undone what a kill interrupted, removes each entry of an
        installation below the data root that is gone: whose instrument folder holds neither a record nor a
        monolith. Never writes one: only the installation that commits an entry writes it, so that nothing
        found on the disk (a record anyone could have put there) can register a program. An entry whose
        record is damaged stays; one whose record (read as the engine reads records: only when nobody else can
        have written it) names another version is made to follow it, as a rollback after a kill leaves it.
        Notes each change.
    */
    static void reconcile (const SystemFolders& folders, const std::function<void (const juce::String&)>& note);

    /** Removes the entry; no entry is no failure. */
    juce::Result remove();

    /** Puts back what the key held before the last write() or remove(). */
    juce::Result undo();

    /** The value `name` of the entry as text (a number as its decimal digits); empty when there is none. */
    juce::String read (const juce::String& name) const;

    /** The key's name: company and instrument, which neither can contain a colon, so no two installations share one. */
    static juce::String keyName (const juce::String& company, const juce::String& instrument);

    /** The longest key name the registry accepts, in UTF-16 units. */
    static constexpr int maxKeyNameLength = 255;

    /** The length of the key name of `company` and `instrument` in UTF-16 units, which maxKeyNameLength bounds. */
    static int keyNameLength (const juce::String& company, const juce::String& instrument);

    /** The key's path below HKEY_LOCAL_MACHINE. */
    const juce::String& getKeyPath() const noexcept     { return keyPath; }

private:
    struct Value
    {
        juce::String name;
        unsigned long type = 0;
        juce::MemoryBlock data;
    };

    static std::vector<Value> valuesFor (const InstallRecord& record, const juce::File& dataFolder);
    static juce::StringArray ourKeyNames (const juce::File& dataRoot);

    /** Sets this existing entry's values from the trusted record of `instrument` by `company`, when it names
        another version (see reconcile).
    */
    void followRecord (const SystemFolders& folders, const juce::String& company, const juce::String& instrument,
                       const std::function<void (const juce::String&)>& note);

    juce::Result keepPrevious();
    juce::Result setValues (const std::vector<Value>& values) const;
    juce::Result deleteKey() const;

    static Value text (const juce::String& name, const juce::String& value);
    static Value number (const juce::String& name, juce::uint32 value);

    const juce::String keyPath;
    bool existedBefore = false, changed = false;
    std::vector<Value> previousValues;

    JUCE_DECLARE_NON_COPYABLE (InstalledAppsEntry)
};
