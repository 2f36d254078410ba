#include "install/InstallerModel.h"

#include "log/InstallerLog.h"
#include "model/InstrumentParameters.h"
#include "monolith/MonolithReader.h"

namespace
{
// The check names only these three parts of the state tree.
const juce::Identifier rootType ("SAMBREL_STATE");
const juce::Identifier instrumentType ("INSTRUMENT");
const juce::Identifier eulaProperty ("eula");

constexpr int tempFileBufferSize = 16384;

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

// Judged by the folder being there afterwards: a regular file of that name is no folder.
bool ensureFolder (const juce::File& folder)
{
    if (folder.isDirectory())
        return true;

    return folder.createDirectory().wasOk() && folder.isDirectory();
}

// Where the framework will write an entry: names are resolved as it resolves them, ".." included.
bool staysInside (const juce::String& entryName, const juce::File& destination)
{
    if (entryName.isEmpty())
        return true;

   #if JUCE_WINDOWS
    const auto entryPath = entryName;
   #else
    const auto entryPath = entryName.replaceCharacter ('\\', '/');
   #endif

    return destination.getChildFile (entryPath).isAChildOf (destination);
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
int InstallerModel::processMonolith (std::atomic<double>& progress, const std::function<bool()>&)
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

    if (instrumentName.isEmpty())
    {
        write ("Cannot load instrument name from monolith");
        return 1;
    }

    companyName = instrument->getCompanyName();

    if (companyName.isEmpty())
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

    {
        juce::FileOutputStream out (vst3TempFile->getFile(), tempFileBufferSize);
        const auto copied = out.writeFromInputStream (*entry, -1);
        out.flush();

        // The byte count alone misses a file that could not be opened or written.
        if (copied != length || out.failedToOpen() || out.getStatus().failed())
        {
            write ("Cannot write VST3 temp file");
            return 5;
        }
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
        return shouldExit != nullptr && shouldExit();
    };

    const auto interrupted = [this]
    {
        write ("Installation interrupted");
        return 6;
    };

    progress = 0.0;
    write ("Begin install job");

    const auto source = monolithFile;
    const auto target = monolithInstallFile;
    write ("Copy monolith");

    const auto folder = target.getParentDirectory();

    if (! ensureFolder (folder))
    {
        write ("Failed to create directory: " + folder.getFullPathName());
        return 5;
    }

    if (pause (0.1))
        return interrupted();

    if (! source.copyFileTo (target))
    {
        write ("Failed to copy monolith from: " + source.getFullPathName() + " to: " + target.getFullPathName());
        return 5;
    }

    if (pause (0.4))
        return interrupted();

    write ("Copy VST3");

    const auto archive = vst3TempFile != nullptr ? vst3TempFile->getFile() : juce::File();
    const auto destination = vst3Folder;

    if (! ensureFolder (destination))
    {
        write ("Failed to create directory: " + destination.getFullPathName());
        return 5;
    }

    if (pause (0.5))
        return interrupted();

    if (! extractArchive (archive, destination))
    {
        write ("Failed to extract from: " + archive.getFullPathName() + " to: " + destination.getFullPathName());
        return 5;
    }

    if (pause (0.7))
        return interrupted();

    write ("Copy AU");
    vst3TempFile.reset();

    progress = 1.0;
    juce::Thread::sleep (stepPauseMs);
    write ("Install job finished");
    return 0;
}

bool InstallerModel::extractArchive (const juce::File& archive, const juce::File& destination) const
{
    if (archive == juce::File() || ! archive.existsAsFile())
        return false;

    juce::ZipFile zip (archive);

    if (zip.getNumEntries() == 0)
        return false;

    // The framework refuses an entry outside the destination only when it reaches it, after writing
    // the ones before; checking all first leaves nothing of a hostile archive behind.
    for (int i = 0; i < zip.getNumEntries(); ++i)
        if (! staysInside (zip.getEntry (i)->filename, destination))
            return false;

    return zip.uncompressTo (destination, true).wasOk();
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
