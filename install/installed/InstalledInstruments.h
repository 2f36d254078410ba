#pragma once

#include "install/installed/InstallRecord.h"
#include "install/InstallerResult.h"

class SystemFolders;

/** The instruments installed on this machine, found below the data root: an installation is the folder
    company/instrument that holds an install record.

    Only looks: nothing is created, changed or followed (links below the data root are passed over), but
    for the link from an instrument's default data folder to the folder the user chose, which is read
    through only when the record found there names it and it points exactly where the record says. A
    record is read through the checked folder layer, from folders and a file that only this user or the
    administrators can change; one that another user made or can change is not the engine's, and reads as
    damaged.
*/
class InstalledInstruments
{
public:
    /** One installation and its two places. */
    struct Installation
    {
        InstallRecord record;

        /** Where its data is (in the folder the user chose, when there was a choice) and its plug-in. */
        juce::File dataFolder, pluginFolder;

        /** The default data folder, when it is the link to a chosen one; none otherwise. */
        juce::File linkedFrom;
    };

    explicit InstalledInstruments (const SystemFolders& folders);

    /** Every installation, by company and then instrument. Each record that cannot be read is one line
        in `problems`, and is left out.
    */
    std::vector<Installation> findAll (juce::StringArray& problems) const;

    /** The installation of `instrument` by `company`. Returns noError; notInstalled when there is none;
        or invalidData, with `problem` saying why, when its record cannot be read or is not its own.
    */
    InstallerResult::Result find (const juce::String& company, const juce::String& instrument,
                                  Installation& installation, juce::String& problem) const;

private:
    InstallerResult::Result readFolder (const juce::String& company, const juce::String& instrument,
                                        Installation& installation, juce::String& problem) const;

    static juce::Array<juce::File> subfolders (const juce::File& folder, bool withLinks);

    const SystemFolders& folders;
};
