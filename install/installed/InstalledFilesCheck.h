#pragma once

#include "install/installed/InstalledInstruments.h"

class ReadOnlyFile;

/** Whether an installation is still what its record says, and whether a monolith is the one it holds:
    what lets a deployment tool run the same installation again and again, and find one to repair.

    Only reads: nothing is created, changed or followed (a link where the record lists a file or a
    folder is a change).
*/
class InstalledFilesCheck
{
public:
    explicit InstalledFilesCheck (const InstalledInstruments::Installation& installation);

    /** One line for each listed file or folder that is missing, of another kind or a link, or whose size
        or CRC-32 is not the recorded one; empty when the installation is intact.
    */
    juce::StringArray findChanges() const;

    /** The record's item for the installed monolith, `<instrument>.rom` in the data folder; null when the
        record lists none.
    */
    const InstallRecord::Item* findMonolith() const;

    /** True when `monolith` has the size and CRC-32 that the record holds for the installed monolith. */
    bool holdsMonolith (const juce::File& monolith) const;

    /** True when `monolith` is installed as it is, by this version of the installer, and the installation is
        intact: installing it again would change nothing.
    */
    static bool isInstalledAsIs (const SystemFolders& folders, const juce::String& company, const juce::String& instrument,
                                 const juce::File& monolith);

    /** The CRC-32 of a file's content, read in blocks; nothing when it cannot be read whole. */
    static std::optional<juce::uint32> crcOf (const juce::File& file);
    static std::optional<juce::uint32> crcOf (const ReadOnlyFile& file);

private:
    static constexpr int blockSize = 1 << 20;

    juce::File fileOf (const InstallRecord::Item& item) const;
    juce::String changeOf (const InstallRecord::Item& item) const;

    const InstalledInstruments::Installation& installation;
};
