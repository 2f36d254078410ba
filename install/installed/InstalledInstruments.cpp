#include "install/installed/InstalledInstruments.h"

#include "fs/CheckedFolder.h"
#include "install/SafeFileName.h"
#include "install/SystemFolders.h"

InstalledInstruments::InstalledInstruments (const SystemFolders& foldersToSearch)
    : folders (foldersToSearch)
{
}

juce::Array<juce::File> InstalledInstruments::subfolders (const juce::File& folder, bool withLinks)
{
    juce::Array<juce::File> found;

    for (const auto& child : folder.findChildFiles (juce::File::findDirectories, false, "*", juce::File::FollowSymlinks::no))
        if (withLinks || ! child.isSymbolicLink())
            found.add (child);

    // The framework compares file names as the system does: without case on Windows.
    found.sort();
    return found;
}

std::vector<InstalledInstruments::Installation> InstalledInstruments::findAll (juce::StringArray& problems) const
{
    std::vector<Installation> found;

    for (const auto& companyFolder : subfolders (folders.getDataRoot(), false))
    {
        // An instrument's folder may be the link to a folder the user chose, which its record names.
        for (const auto& instrumentFolder : subfolders (companyFolder, true))
        {
            Installation installation;
            juce::String problem;

            switch (readFolder (companyFolder.getFileName(), instrumentFolder.getFileName(), installation, problem))
            {
                case InstallerResult::noError:      found.push_back (std::move (installation)); break;
                case InstallerResult::notInstalled:                                             break;
                default:                            problems.add (problem);                     break;
            }
        }
    }

    return found;
}

InstallerResult::Result InstalledInstruments::find (const juce::String& company, const juce::String& instrument,
                                                    Installation& installation, juce::String& problem) const
{
    // Names from a command line: anything but one plain name each cannot be an installation.
    if (! SafeFileName::isSafe (company) || ! SafeFileName::isSafe (instrument))
        return InstallerResult::notInstalled;

    return readFolder (company, instrument, installation, problem);
}

InstallerResult::Result InstalledInstruments::readFolder (const juce::String& company, const juce::String& instrument,
                                                          Installation& installation, juce::String& problem) const
{
    const auto instrumentFolder = folders.getDataRoot().getChildFile (company).getChildFile (instrument);
    const auto recordFile = instrumentFolder.getChildFile (InstallRecord::fileName);

    // The path only tells whether there is anything to read; the reading goes through checked folders.
    if (! recordFile.exists() && ! recordFile.isSymbolicLink())
        return InstallerResult::notInstalled;

    const auto companyFolder = CheckedFolder::openRoot (folders.getDataRoot()).openTrustedFolder (company);
    juce::File linkTarget;
    const auto linked = companyFolder.isOpen() && companyFolder.getEntryType (instrument) == CheckedFolder::EntryType::link
                         && companyFolder.readLink (instrument, linkTarget).wasOk();

    // Through a link only to the instrument's folder of another root: company/instrument there.
    const auto chosenRoot = linkTarget.getParentDirectory().getParentDirectory();
    const auto folder = ! linked ? companyFolder.openTrustedFolder (instrument)
                                 : companyFolder.openLinkedFolder (instrument, chosenRoot, chosenRoot.getChildFile (company).getChildFile (instrument));
    const auto read = folder.isOpen() ? InstallRecord::read (folder, installation.record)
                                      : juce::Result::fail ("Cannot read the install record " + recordFile.getFullPathName() + ": "
                                                            + folder.getStatus().getErrorMessage());

    if (read.failed())
    {
        problem = read.getErrorMessage();
        return InstallerResult::invalidData;
    }

    const auto& record = installation.record;
    const auto dataRoot = record.dataRoot != juce::File() ? record.dataRoot : folders.getDataRoot();
    installation.dataFolder = dataRoot.getChildFile (record.company).getChildFile (record.instrument);
    installation.pluginFolder = folders.getVst3Root().getChildFile (record.company);
    installation.linkedFrom = record.dataRoot != juce::File() ? instrumentFolder : juce::File();

    // Only the link that the record names, to where it says, is the installation's; any other stays refused.
    if (linked != (record.dataRoot != juce::File()) || (linked && record.dataRoot != chosenRoot))
    {
        problem = "Cannot read the install record " + recordFile.getFullPathName() + ": "
                + CheckedFolder::refuseLink (instrumentFolder, linkTarget.getFullPathName()).getErrorMessage();
        return InstallerResult::invalidData;
    }

    // A record copied into another instrument's folder would remove that one's files under this one's names.
    if (dataRoot.getChildFile (company).getChildFile (instrument) != installation.dataFolder)
    {
        problem = "The install record " + recordFile.getFullPathName() + " belongs to " + record.instrument + " by "
                + record.company + ", not to the folder it is in";
        return InstallerResult::invalidData;
    }

    return InstallerResult::noError;
}
