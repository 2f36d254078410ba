#include "install/runs/MonolithCheck.h"

#include "fs/RootFolder.h"
#include "install/payload/BlockCopy.h"
#include "install/FileSystemLimits.h"
#include "install/payload/PluginArchive.h"
#include "install/installed/InstalledAppsEntry.h"
#include "install/SafeFileName.h"
#include "model/InstrumentParameters.h"
#include "model/StateIds.h"
#include "monolith/EntryNames.h"
#include "monolith/MonolithStructure.h"

InstallerModel::MonolithCheck::MonolithCheck (InstallerModel& modelToFill, Observer& observerToTell)
    : StepChain (modelToFill),
      observer (observerToTell),
      reader (MonolithSource())
{
}

InstallerModel::Result InstallerModel::MonolithCheck::run()
{
    observer.progressChanged (0.0);

    const auto completed = monolithGiven()
                             && note ("Processing monolith")
                             && openMonolith()
                             && checkWhole()
                             && readState()
                             && readNames()
                             && unlockDataRoot()
                             && chooseTargets()
                             && reach (0.2)
                             && copyPluginArchive()
                             && checkArchivePaths()
                             && reach (0.6)
                             && loadScreenshot()
                             && reach (0.8)
                             && loadLicence()
                             && finish();

    return completed ? noError : getResult();
}

bool InstallerModel::MonolithCheck::monolithGiven()
{
    if (model.monolithFile.getFullPathName().isEmpty())
        return fail (missingData, "No monolith file available");

    return true;
}

/** Opens the monolith once: every later step reads this open file, whatever happens to its path. */
bool InstallerModel::MonolithCheck::openMonolith()
{
    model.monolithSource = MonolithSource::open (model.monolithFile);

    if (! model.monolithSource.isOpen())
    {
        model.write (model.monolithSource.getStatus().getErrorMessage());
        return fail (invalidData, "No valid instrument database found in monolith");
    }

    reader = MonolithReader (model.monolithSource);
    return true;
}

/** Walks every chunk header, so that a file cut short or damaged anywhere is refused here, and loads the
    checksum entry, which also tells a file cut between two chunks. The payloads' checksums are left for
    the installation to verify as it copies them.
*/
bool InstallerModel::MonolithCheck::checkWhole()
{
    model.monolithChecksums.reset();
    const auto stream = model.monolithSource.createInputStream();
    const auto structure = MonolithStructure::of (*stream);

    switch (structure.getVerdict())
    {
        case MonolithStructure::Verdict::complete:      break;
        case MonolithStructure::Verdict::incomplete:
        case MonolithStructure::Verdict::damaged:       return fail (invalidData, "Monolith is incomplete or damaged: " + structure.describe());
        case MonolithStructure::Verdict::unreadable:    return fail (invalidData, "Cannot read monolith: " + structure.describe());
    }

    auto checksums = ChunkChecksums::load (*stream, structure);

    switch (checksums.getStatus())
    {
        case ChunkChecksums::Status::loaded:            model.monolithChecksums = std::move (checksums); return true;
        case ChunkChecksums::Status::absent:            return note ("Monolith carries no checksums: only its structure is checked");
        case ChunkChecksums::Status::unknownVersion:    return note ("Monolith carries no checksums of a known format (" + checksums.getProblem()
                                                                 + "): only its structure is checked");
        case ChunkChecksums::Status::damaged:           return fail (invalidData, "Monolith is incomplete or damaged: " + checksums.getProblem());
        case ChunkChecksums::Status::unreadable:        break;
    }

    return fail (invalidData, "Cannot read monolith: " + checksums.getProblem());
}

bool InstallerModel::MonolithCheck::readState()
{
    state = reader.readState();

    if (! state.hasType (StateIds::SAMBREL_STATE))
        return fail (invalidData, "No valid instrument database found in monolith");

    return true;
}

bool InstallerModel::MonolithCheck::readNames()
{
    const InstrumentParameters instrument (state.getChildWithName (StateIds::INSTRUMENT));

    // The names become folder and file names of a privileged process: anything but one plain name is refused.
    model.instrumentName = instrument.getInstrumentName();

    if (! SafeFileName::isSafe (model.instrumentName))
        return fail (invalidData, "Cannot load instrument name from monolith");

    model.companyName = instrument.getCompanyName();

    if (! SafeFileName::isSafe (model.companyName))
        return fail (invalidData, "Cannot load company name from monolith");

    // Checked on every system, so that a monolith is accepted or refused alike wherever it is checked.
    const auto keyLength = InstalledAppsEntry::keyNameLength (model.companyName, model.instrumentName);

    if (keyLength > InstalledAppsEntry::maxKeyNameLength)
        return fail (invalidData, "Company and instrument names too long for an Installed apps entry: \""
                                      + InstalledAppsEntry::keyName (model.companyName, model.instrumentName) + "\" ("
                                      + juce::String (keyLength) + " characters, "
                                      + juce::String (InstalledAppsEntry::maxKeyNameLength) + " at most)");

    return true;
}

bool InstallerModel::MonolithCheck::unlockDataRoot()
{
    const auto dataRoot = model.folders->getDataRoot();

    if (dataRoot.hasWriteAccess())
        return true;

    model.write ("Data root dir is read only");

    // Owning the folder is not always enough to write to it.
    if (! RootFolder::letOwnerWrite (dataRoot) || ! dataRoot.hasWriteAccess())
        return fail (accessDenied, "Error: cannot change data root dir access rights");

    return true;
}

bool InstallerModel::MonolithCheck::chooseTargets()
{
    const auto& name = model.instrumentName;
    model.monolithInstallFile = model.folders->getDataRoot().getChildFile (model.companyName)
                                                            .getChildFile (name)
                                                            .getChildFile (name + ".rom");

    if (! namesFit ({}))
        return false;

    model.write ("Monolith install path: " + model.monolithInstallFile.getFullPathName());
    return true;
}

/** Whether every name and path that an installation under these names makes, `archiveEntries` below
    the plug-in's folder included, fits the file system in its own units, with room for the
    installation's temporary names: refused here rather than half-way through an installation, or in
    every later update.
*/
bool InstallerModel::MonolithCheck::namesFit (const juce::StringArray& archiveEntries)
{
    const FileSystemLimits::Layout layout { model.folders->getDataRoot().getFullPathName(),
                                            model.folders->getVst3Root().getFullPathName(),
                                            model.companyName, model.instrumentName, archiveEntries,
                                            FileSystemLimits::installationNameReserve,
                                            FileSystemLimits::installationPathReserve };

    const auto excess = FileSystemLimits::checkLayout (layout, FileSystemLimits::getHostSystem());

    if (! excess.has_value())
        return true;

    const juce::String what (excess->item.containsChar (juce::File::getSeparatorChar()) ? "Path" : "Name");
    return fail (invalidData, what + " too long for the file system: \"" + excess->item + "\" (" + excess->describe()
                                + ", with room for the installation's temporary names)");
}

bool InstallerModel::MonolithCheck::copyPluginArchive()
{
    // An earlier check's archive goes, whatever happens to this one.
    model.pluginArchive.reset();
    model.vst3Folder = model.folders->getVst3Root().getChildFile (model.companyName);

    const auto entry = reader.openBinary (EntryNames::keyOf (EntryNames::vst3Plugin));

    if (entry == nullptr)
        return fail (missingData, "Cannot find VST3 binary in monolith");

    // Where only this run can change it, until the installation has unpacked it.
    auto copy = std::make_unique<PluginArchiveCopy> (model.folders->getTemporaryFolder());

    if (copy->getStatus().failed())
    {
        model.write (copy->getStatus().getErrorMessage());
        return fail (writeFailed, "Cannot write VST3 temp file");
    }

    model.write ("VST3 temp file: " + copy->getFile().getFullPathName());

    const auto length = entry->getTotalLength();
    const auto copied = BlockCopy::fitsInto (copy->getFile().getParentDirectory(), length)
                          ? copy->copyFrom (*entry, length, [this] { return observer.shouldStop(); })
                          : BlockCopy::Outcome::failed;

    switch (copied)
    {
        case BlockCopy::Outcome::done:      model.pluginArchive = std::move (copy); return true;
        case BlockCopy::Outcome::stopped:   return stop();
        case BlockCopy::Outcome::failed:    break;
    }

    if (copy->getStatus().failed())
        model.write (copy->getStatus().getErrorMessage());

    return fail (writeFailed, "Cannot write VST3 temp file");
}

/** The deepest paths come from the archive: its directory says what the installation will unpack. */
bool InstallerModel::MonolithCheck::checkArchivePaths()
{
    const auto& archive = model.pluginArchive->getArchive();

    // An archive it refuses is the installation's to report, before it writes anything.
    if (archive.getStatus().failed() || namesFit (archive.getEntryPaths()))
        return true;

    model.pluginArchive.reset();
    return false;
}

/** A screenshot that cannot be shown is left out, and the log says why; the check goes on without it. */
bool InstallerModel::MonolithCheck::loadScreenshot()
{
    const auto decoded = reader.decodeImage (EntryNames::keyOf (EntryNames::screenshot));
    model.setScreenshot (decoded.image);

    switch (decoded.outcome)
    {
        case MonolithReader::ImageOutcome::decoded:
            return note ("Screenshot is loaded from monolith");

        case MonolithReader::ImageOutcome::tooLarge:
            if (decoded.claimedWidth > 0)
                return note ("Screenshot is left out: it claims " + juce::String (decoded.claimedWidth) + " x "
                             + juce::String (decoded.claimedHeight) + " pixels, more than "
                             + juce::String (MonolithReader::maxImageSide) + " a side");

            return note ("Screenshot is left out: its data is too large");

        case MonolithReader::ImageOutcome::damaged:
            return note ("Screenshot is left out: it is not a well-formed PNG image");

        case MonolithReader::ImageOutcome::missing:
            break;
    }

    return true;
}

bool InstallerModel::MonolithCheck::loadLicence()
{
    const auto eula = state.getProperty (StateIds::eula);

    if (eula.isVoid())
        return true;

    juce::MemoryOutputStream decoded (256);

    // Licence text that is not Base64 is left out, as if there were none.
    if (juce::Base64::convertFromBase64 (decoded, eula.toString()))
    {
        model.eulaText = decoded.toUTF8();
        model.write ("EULA is loaded from monolith");
    }

    return true;
}

bool InstallerModel::MonolithCheck::finish()
{
    observer.progressChanged (1.0);
    model.write ("Finished processing monolith");
    return true;
}

bool InstallerModel::MonolithCheck::reach (double progress)
{
    observer.progressChanged (progress);
    return true;
}
