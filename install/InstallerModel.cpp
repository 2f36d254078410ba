#include "install/InstallerModel.h"

#include "install/Crc32.h"
#include "install/InstallTransaction.h"
#include "install/PluginArchive.h"
#include "install/SafeFileName.h"
#include "log/InstallerLog.h"
#include "model/InstrumentParameters.h"
#include "monolith/MonolithReader.h"

namespace
{
// The check names only these three parts of the state tree.
const juce::Identifier rootType ("SAMBREL_STATE");
const juce::Identifier instrumentType ("INSTRUMENT");
const juce::Identifier eulaProperty ("eula");

constexpr int copyBlockSize = 1 << 20;

// Room left for the file system's own bookkeeping when judging whether a write can fit.
constexpr juce::int64 spareBytes = 1 << 20;
constexpr juce::int64 bytesPerFileOnDisk = 4096;

enum class Copy { done, failed, stopped };

bool stopRequested (const std::function<bool()>& shouldExit)
{
    return shouldExit != nullptr && shouldExit();
}

bool hasRoomFor (const juce::File& folder, juce::int64 numBytes)
{
    return folder.getBytesFreeOnVolume() >= numBytes + spareBytes;
}

/** Reads `length` bytes of `in` block by block, hands each to `use` and checks the stop request between blocks. */
template <typename Use>
Copy forEachBlock (juce::InputStream& in, juce::int64 length, const std::function<bool()>& shouldExit, Use&& use)
{
    juce::HeapBlock<char> block ((size_t) copyBlockSize);

    for (juce::int64 done = 0; done < length;)
    {
        if (stopRequested (shouldExit))
            return Copy::stopped;

        const auto got = in.read (block, (int) std::min<juce::int64> (copyBlockSize, length - done));

        if (got <= 0 || ! use (block.get(), (size_t) got))
            return Copy::failed;

        done += got;
    }

    return Copy::done;
}

/** Copies `length` bytes of `in` to a new file. `durable` waits for the data to reach the disk, for
    files that will replace something.
*/
Copy copyToNewFile (juce::InputStream& in, juce::int64 length, const juce::File& destination,
                    const std::function<bool()>& shouldExit, bool durable, Crc32* crc = nullptr)
{
    {
        // Unbuffered: every write reports its own failure, none is left for the destructor to lose.
        juce::FileOutputStream out (destination, 0);

        if (out.failedToOpen())
            return Copy::failed;

        const auto copied = forEachBlock (in, length, shouldExit, [&] (const char* data, size_t numBytes)
        {
            if (crc != nullptr)
                crc->update (data, numBytes);

            return out.write (data, numBytes);
        });

        if (copied != Copy::done)
            return copied;

        if (durable)
            out.flush();

        if (out.getStatus().failed())
            return Copy::failed;
    }

    return destination.getSize() == length ? Copy::done : Copy::failed;
}

/** Copies `source` to a new file `destination` and reads the copy back to compare it with what was read. */
Copy copyVerified (const juce::File& source, const juce::File& destination, const std::function<bool()>& shouldExit)
{
    juce::FileInputStream in (source);

    if (in.failedToOpen())
        return Copy::failed;

    const auto length = in.getTotalLength();
    Crc32 written;
    const auto copied = copyToNewFile (in, length, destination, shouldExit, true, &written);

    if (copied != Copy::done)
        return copied;

    juce::FileInputStream check (destination);

    if (check.failedToOpen() || check.getTotalLength() != length)
        return Copy::failed;

    Crc32 readBack;
    const auto verified = forEachBlock (check, length, shouldExit, [&] (const char* data, size_t numBytes)
    {
        readBack.update (data, numBytes);
        return true;
    });

    if (verified != Copy::done)
        return verified;

    return readBack.getValue() == written.getValue() ? Copy::done : Copy::failed;
}

bool isNameMatch (const juce::File& rom, const juce::String& installerName)
{
    return installerName.startsWith (rom.getFileNameWithoutExtension());
}

juce::Array<juce::File> listMonoliths (const juce::File& folder)
{
    return folder.findChildFiles (juce::File::findFiles, false, "*.rom", juce::File::FollowSymlinks::no);
}

juce::File firstNameMatch (const juce::Array<juce::File>& files, const juce::String& installerName)
{
    for (const auto& f : files)
        if (isNameMatch (f, installerName))
            return f;

    return {};
}
} // namespace

InstallerModel::InstallerModel (std::unique_ptr<SystemFolders> foldersToUse)
    : folders (std::move (foldersToUse))
{
    jassert (folders != nullptr);
}

InstallerModel::~InstallerModel() = default;

void InstallerModel::write (const juce::String& message) const
{
    if (log != nullptr)
        log->write ("InstallerComponent", message);
}

juce::Image InstallerModel::getScreenshot() const
{
    const juce::ScopedLock sl (screenshotLock);
    return screenshot;
}

void InstallerModel::setScreenshot (const juce::Image& newImage)
{
    const juce::ScopedLock sl (screenshotLock);
    screenshot = newImage;
}

//==============================================================================
int InstallerModel::processMonolith (std::atomic<double>& progress, const std::function<bool()>& shouldExit)
{
    progress = 0.0;

    if (monolithFile.getFullPathName().isEmpty())
    {
        write ("No monolith file available");
        return 2;
    }

    write ("Processing monolith");

    const MonolithReader reader (monolithFile);
    const auto state = reader.readState();

    if (! state.hasType (rootType))
    {
        write ("No valid instrument database found in monolith");
        return 1;
    }

    const auto instrument = std::make_unique<InstrumentParameters> (state.getChildWithName (instrumentType));

    instrumentName = instrument->getInstrumentName();

    // The names become folder and file names of a privileged process: anything but one plain name is refused.
    if (! SafeFileName::isSafe (instrumentName))
    {
        write ("Cannot load instrument name from monolith");
        return 1;
    }

    companyName = instrument->getCompanyName();

    if (! SafeFileName::isSafe (companyName))
    {
        write ("Cannot load company name from monolith");
        return 1;
    }

    const auto dataRoot = folders->getDataRoot();

    if (! dataRoot.hasWriteAccess())
    {
        write ("Data root dir is read only");

        if (! dataRoot.setReadOnly (false, false))
        {
            write ("Error: cannot change data root dir access rights");
            return 4;
        }
    }

    monolithInstallFile = dataRoot.getChildFile (companyName)
                              .getChildFile (instrumentName)
                              .getChildFile (instrumentName + ".rom");
    write ("Monolith install path: " + monolithInstallFile.getFullPathName());

    progress = 0.2;
    vst3TempFile.reset();

    vst3Folder = folders->getVst3Root().getChildFile (companyName);

    auto entry = reader.openBinary (juce::String (vst3EntryName).hashCode64());

    if (entry == nullptr)
    {
        write ("Cannot find VST3 binary in monolith");
        return 2;
    }

    const auto length = entry->getTotalLength();

    // The name template only places the file in our temporary folder; the file itself gets a fresh name.
    vst3TempFile = std::make_unique<juce::TemporaryFile> (folders->getTemporaryFolder().getChildFile ("vst3"));
    write ("VST3 temp file: " + vst3TempFile->getFile().getFullPathName());

    if (! hasRoomFor (folders->getTemporaryFolder(), length))
    {
        write ("Cannot write VST3 temp file");
        return 5;
    }

    const auto copied = copyToNewFile (*entry, length, vst3TempFile->getFile(), shouldExit, false);

    if (copied == Copy::stopped)
    {
        write ("Installation interrupted");
        return 6;
    }

    if (copied != Copy::done)
    {
        write ("Cannot write VST3 temp file");
        return 5;
    }

    entry.reset();
    progress = 0.6;

    setScreenshot (reader.readImage (juce::String (screenshotEntryName).hashCode64()));

    if (getScreenshot().isValid())
        write ("Screenshot is loaded from monolith");

    progress = 0.8;

    const auto eula = state.getProperty (eulaProperty);

    if (! eula.isVoid())
    {
        juce::MemoryOutputStream decoded (256);

        if (juce::Base64::convertFromBase64 (decoded, eula.toString()))
        {
            eulaText = decoded.toUTF8();
            write ("EULA is loaded from monolith");
        }
    }

    progress = 1.0;
    write ("Finished processing monolith");
    return 0;
}

//==============================================================================
int InstallerModel::install (std::atomic<double>& progress, const std::function<bool()>& shouldExit)
{
    const auto pause = [this, &progress, &shouldExit] (double value)
    {
        progress = value;
        juce::Thread::sleep (stepPauseMs);
        return stopRequested (shouldExit);
    };

    const auto interrupted = [this]
    {
        write ("Installation interrupted");
        return 6;
    };

    const auto failed = [this] (const juce::String& line)
    {
        write (line);
        return 5;
    };

    // Every return before the commit below rolls back: the target folders stay as they were.
    InstallTransaction transaction;

    progress = 0.0;
    write ("Begin install job");

    const auto source = monolithFile;
    const auto target = monolithInstallFile;
    write ("Copy monolith");

    const auto folder = target.getParentDirectory();

    if (! transaction.createFolder (folder))
        return failed ("Failed to create directory: " + folder.getFullPathName());

    if (pause (0.1))
        return interrupted();

    const auto copyFailed = "Failed to copy monolith from: " + source.getFullPathName() + " to: " + target.getFullPathName();
    juce::File newMonolith;

    // Installing the installed monolith onto itself leaves it where it is.
    if (source != target)
    {
        if (! source.existsAsFile() || ! hasRoomFor (folder, source.getSize()))
            return failed (copyFailed);

        newMonolith = transaction.makeTemporaryName (folder, target.getFileName());
        const auto copied = copyVerified (source, newMonolith, shouldExit);

        if (copied == Copy::stopped)
            return interrupted();

        if (copied != Copy::done)
            return failed (copyFailed);
    }

    if (pause (0.4))
        return interrupted();

    write ("Copy VST3");

    const auto archiveFile = vst3TempFile != nullptr ? vst3TempFile->getFile() : juce::File();
    const auto destination = vst3Folder;

    if (! transaction.createFolder (destination))
        return failed ("Failed to create directory: " + destination.getFullPathName());

    if (pause (0.5))
        return interrupted();

    const auto extractFailed = "Failed to extract from: " + archiveFile.getFullPathName() + " to: " + destination.getFullPathName();
    const PluginArchive archive (archiveFile.existsAsFile() ? archiveFile.createInputStream() : nullptr);

    if (archive.getStatus().failed()
         || ! hasRoomFor (destination, archive.getTotalSize() + bytesPerFileOnDisk * archive.getNumEntries()))
        return failed (extractFailed);

    // Unpacked beside its target, on the same volume, so that moving it into place is a rename.
    const auto staging = transaction.makeTemporaryName (destination, "installing");

    if (! staging.createDirectory().wasOk())
        return failed (extractFailed);

    const auto extracted = archive.extractTo (staging, shouldExit);

    if (extracted == PluginArchive::Outcome::stopped)
        return interrupted();

    if (extracted != PluginArchive::Outcome::done)
        return failed (extractFailed);

    if (pause (0.7))
        return interrupted();

    write ("Copy AU");

    // Everything is written and verified; only renames remain, and each can be undone.
    if (newMonolith != juce::File() && ! transaction.moveIntoPlace (newMonolith, target))
        return failed (copyFailed);

    for (const auto& name : archive.getTopLevelNames())
        if (! transaction.moveIntoPlace (staging.getChildFile (name), destination.getChildFile (name)))
            return failed (extractFailed);

    transaction.commit();
    vst3TempFile.reset();

    progress = 1.0;
    juce::Thread::sleep (stepPauseMs);
    write ("Install job finished");
    return 0;
}

//==============================================================================
juce::File InstallerModel::findMonolith()
{
    const auto installer = folders->getInstallerExecutable();
    const auto installerName = installer.getFileName();

    write ("Installer path: " + installer.getFullPathName());

    const auto besideInstaller = listMonoliths (installer.getParentDirectory());

    if (! besideInstaller.isEmpty())
    {
        const auto match = firstNameMatch (besideInstaller, installerName);
        return match != juce::File() ? match : besideInstaller.getFirst();
    }

    for (const auto& folder : { folders->getDownloadsFolder(), folders->getDesktopFolder() })
    {
        const auto match = firstNameMatch (listMonoliths (folder), installerName);

        if (match != juce::File())
            return match;
    }

    return {};
}
