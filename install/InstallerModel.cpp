#include "install/InstallerModel.h"

#include "install/EngineLock.h"
#include "install/payload/BlockCopy.h"
#include "install/installed/InstalledAppsEntry.h"
#include "install/installed/InstalledInstruments.h"
#include "install/runs/Installation.h"
#include "install/runs/MonolithCheck.h"
#include "install/runs/Move.h"
#include "install/runs/Removal.h"
#include "install/SafeFileName.h"
#include "install/transaction/InstallTransaction.h"
#include "log/InstallerLog.h"

#include <algorithm>
#include <limits>

namespace
{
juce::Array<juce::File> listMonoliths (const juce::File& folder)
{
    auto files = folder.findChildFiles (juce::File::findFiles, false, "*.rom", juce::File::FollowSymlinks::no);

    // A fixed order, whatever order the file system lists them in: by name, in code-point order.
    std::sort (files.begin(), files.end(), [] (const juce::File& a, const juce::File& b)
    {
        return a.getFileName().compare (b.getFileName()) < 0;
    });

    return files;
}

/** How well a monolith's name fits the installer's: "Beta.rom" beside "Beta Installer.exe" fits
    exactly; otherwise the longer the name that the installer's file name starts with, the better.
    -1 when the installer's file name does not start with it.
*/
int rankOf (const juce::File& rom, const juce::File& installer)
{
    // The name before ".rom": the framework takes a file named just ".rom" for one without an extension.
    const auto name = rom.getFileName().upToLastOccurrenceOf (".", false, false);

    if (name + " Installer" == installer.getFileNameWithoutExtension())
        return std::numeric_limits<int>::max();

    return installer.getFileName().startsWith (name) ? name.length() : -1;
}

/** The best match among `files`, the first of them on a tie; none when nothing matches. */
juce::File bestMatch (const juce::Array<juce::File>& files, const juce::File& installer)
{
    juce::File best;
    auto bestRank = -1;

    for (const auto& f : files)
    {
        const auto rank = rankOf (f, installer);

        if (rank > bestRank)
        {
            best = f;
            bestRank = rank;
        }
    }

    return best;
}

/** Whether the default data folder of `instrument` by `company` is missing, or a link to a folder that is gone
    (as a drive whose letter changed leaves it): what a link to a copy elsewhere may take the place of.
*/
bool isFreeForLink (const SystemFolders& folders, const juce::String& company, const juce::String& instrument)
{
    const auto companyFolder = CheckedFolder::openRoot (folders.getDataRoot()).openTrustedFolder (company);
    juce::File target;

    if (! companyFolder.isOpen())
        return ! folders.getDataRoot().getChildFile (company).exists();

    switch (companyFolder.getEntryType (instrument))
    {
        case CheckedFolder::EntryType::missing: return true;
        case CheckedFolder::EntryType::link:    return companyFolder.readLink (instrument, target).wasOk() && ! target.exists();
        case CheckedFolder::EntryType::file:
        case CheckedFolder::EntryType::folder:
        case CheckedFolder::EntryType::other:   break;
    }

    return false;
}

/** The nearest folder that exists on the way to `folder`: where its drive's free space can be asked. */
juce::File nearestExisting (juce::File folder)
{
    while (! folder.isDirectory() && folder.getParentDirectory() != folder)
        folder = folder.getParentDirectory();

    return folder;
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
        log->write (InstallerLog::installerCategory, message);
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
InstallerModel::Engine InstallerModel::start (InstallerLog& logToUse, FrontEnd frontEnd, const EngineWait& wait)
{
    log = &logToUse;
    write (frontEnd == FrontEnd::uninstaller ? "Starting uninstaller" : "Starting installer");

    auto engine = takeEngine();

    if (engine == Engine::busy)
    {
        write ("Waiting for another installation on this machine to finish");

        if (wait.seconds > 0 && wait.waiting != nullptr)
            wait.waiting();

        if (wait.seconds > 0)
            engine = waitForEngine (juce::Time::getMillisecondCounterHiRes() + wait.seconds * 1000.0, [] { return false; });

        if (engine == Engine::busy && wait.seconds > 0)
            write ("Another installation on this machine did not finish within " + juce::String (wait.seconds) + " seconds");
    }

    engineAwaited = engine == Engine::busy;
    engineFailed = engine == Engine::failed;

    if (engine == Engine::held)
        recover();

    return engine;
}

InstallerModel::Engine InstallerModel::start (InstallerLog& logToUse, FrontEnd frontEnd)
{
    return start (logToUse, frontEnd, EngineWait());
}

InstallerModel::Engine InstallerModel::takeEngine()
{
    auto outcome = EngineLock::Outcome::failed;
    auto result = juce::Result::ok();
    engineLock = EngineLock::take (folders->getStateFolder(), outcome, result);

    if (outcome == EngineLock::Outcome::failed)
        write ("Cannot take the installer's lock: " + result.getErrorMessage());

    return outcome == EngineLock::Outcome::taken ? Engine::held
         : outcome == EngineLock::Outcome::busy  ? Engine::busy
                                                 : Engine::failed;
}

InstallerModel::Engine InstallerModel::waitForEngine (double deadline, const std::function<bool()>& shouldStop)
{
    constexpr int pollMs = 100;

    for (;;)
    {
        const auto engine = takeEngine();

        if (engine != Engine::busy || shouldStop() || juce::Time::getMillisecondCounterHiRes() >= deadline)
            return engine;

        juce::Thread::sleep (pollMs);
    }
}

InstallerModel::Result InstallerModel::awaitEngine (Observer& observer)
{
    if (engineFailed)
        return writeFailed;

    if (! engineAwaited)
        return noError;

    const auto engine = waitForEngine (std::numeric_limits<double>::max(), [&observer] { return observer.shouldStop(); });

    if (engine == Engine::busy)
        return interrupted;

    engineAwaited = false;
    engineFailed = engine == Engine::failed;

    if (engineFailed)
        return writeFailed;

    recover();
    return noError;
}

void InstallerModel::recover()
{
    const auto note = [this] (const juce::String& line) { write (line); };
    InstallTransaction::recoverInterrupted (InstallTransaction::Roots::of (*folders), note);
    Removal::finishInterrupted (*folders, note);

    // The Installed apps entries are no items of the journal: an entry whose installation the recovery undid goes.
    InstalledAppsEntry::reconcile (*folders, note);

    // A check killed before its run ended never removed its copy of the plug-in archive.
    PluginArchiveCopy::removeAbandoned (folders->getTemporaryFolder(), note);
}

InstallerModel::Result InstallerModel::processMonolith (Observer& observer)
{
    if (const auto engine = awaitEngine (observer); engine != noError)
        return engine;

    return MonolithCheck (*this, observer).run();
}

InstallerModel::Result InstallerModel::install (Observer& observer)
{
    if (const auto engine = awaitEngine (observer); engine != noError)
        return engine;

    if (const auto place = choosePlace(); place != noError)
        return place;

    return Installation (*this, observer).run();
}

InstallerModel::Result InstallerModel::uninstall (const juce::String& company, const juce::String& instrument, Observer& observer)
{
    if (const auto engine = awaitEngine (observer); engine != noError)
        return engine;

    return Removal (*this, company, instrument, observer).run();
}

InstallerModel::Result InstallerModel::move (const juce::String& company, const juce::String& instrument, const juce::File& dataRoot,
                                             Observer& observer)
{
    if (const auto engine = awaitEngine (observer); engine != noError)
        return engine;

    return Move (*this, company, instrument, dataRoot, observer).run();
}

InstallerModel::Result InstallerModel::relink (const juce::String& company, const juce::String& instrument, const juce::File& dataRoot,
                                               Observer& observer)
{
    if (const auto engine = awaitEngine (observer); engine != noError)
        return engine;

    if (const auto allowed = checkRelink (company, instrument, dataRoot); allowed != noError)
        return allowed;

    monolithFile = dataRoot.getChildFile (company).getChildFile (instrument).getChildFile (instrument + ".rom");
    write ("Relinking " + instrument + " by " + company + " to the copy in " + monolithFile.getParentDirectory().getFullPathName());

    if (const auto checked = MonolithCheck (*this, observer).run(); checked != noError)
        return checked;

    if (companyName != company || instrumentName != instrument)
    {
        write ("The monolith " + monolithFile.getFullPathName() + " is " + instrumentName + " by " + companyName + ": nothing was changed");
        return invalidData;
    }

    if (! monolithChecksums.has_value())
    {
        write ("The monolith " + monolithFile.getFullPathName() + " carries no checksums to prove it against: nothing was changed");
        return invalidData;
    }

    // Installed in place: the monolith stays where it is, and the data folder is its folder.
    chosenDataRoot = dataRoot;
    monolithInstallFile = monolithFile;
    return Installation (*this, observer, true).run();
}

InstallerModel::Result InstallerModel::checkRelink (const juce::String& company, const juce::String& instrument, const juce::File& dataRoot)
{
    const auto refuse = [this] (Result result, const juce::String& why)
    {
        write (why + ": nothing was changed");
        return result;
    };
    const auto copy = dataRoot.getChildFile (company).getChildFile (instrument);
    const auto defaultFolder = folders->getDataRoot().getChildFile (company).getChildFile (instrument);

    if (! SafeFileName::isSafe (company) || ! SafeFileName::isSafe (instrument))
        return refuse (invalidData, "Not an instrument's names: " + company + ", " + instrument);

    if (! dataRoot.isDirectory())
        return refuse (accessDenied, "The chosen data folder is not a folder: " + dataRoot.getFullPathName());

    if (dataRoot == folders->getDataRoot())
        return refuse (accessDenied, "The chosen data folder is the default data root, which is never linked: " + dataRoot.getFullPathName());

    if (! copy.getChildFile (instrument + ".rom").existsAsFile())
        return refuse (accessDenied, "No copy of " + instrument + " by " + company + " in " + dataRoot.getFullPathName() + ": "
                                         + copy.getChildFile (instrument + ".rom").getFullPathName() + " is not there");

    InstalledInstruments::Installation installed;
    juce::String problem;

    switch (InstalledInstruments (*folders).find (company, instrument, installed, problem))
    {
        case noError:
            if (installed.record.dataRoot == juce::File())
                return refuse (accessDenied, instrument + " by " + company + " is installed in the default data folder " + defaultFolder.getFullPathName()
                                                 + ": relink replaces only a link to a chosen folder; move the data instead");

            if (installed.record.dataRoot == dataRoot)
                return refuse (accessDenied, instrument + " by " + company + " is linked to " + copy.getFullPathName() + " already");

            return noError;

        case notInstalled:
            // Nothing at the default data folder, or a link to a folder that is gone, which the installation replaces.
            if (! isFreeForLink (*folders, company, instrument))
                return refuse (accessDenied, defaultFolder.getFullPathName() + " is in the way of the link to " + copy.getFullPathName()
                                                 + ", and no install record names it");

            return noError;

        default:
            break;
    }

    return refuse (invalidData, problem);
}

//==============================================================================
juce::File InstallerModel::findMonolith()
{
    const auto installer = folders->getInstallerExecutable();

    write ("Installer path: " + installer.getFullPathName());

    const auto besideInstaller = listMonoliths (installer.getParentDirectory());

    if (! besideInstaller.isEmpty())
    {
        const auto match = bestMatch (besideInstaller, installer);
        return match != juce::File() ? match : besideInstaller.getFirst();
    }

    for (const auto& folder : { folders->getDownloadsFolder(), folders->getDesktopFolder() })
    {
        const auto match = bestMatch (listMonoliths (folder), installer);

        if (match != juce::File())
            return match;
    }

    return {};
}

//==============================================================================
InstallerModel::DataRootCheck InstallerModel::checkDataRoot (const juce::File& dir) const
{
    DataRootCheck check;
    const auto defaultFolder = folders->getDataRoot().getChildFile (companyName).getChildFile (instrumentName);
    const auto root = dir != juce::File() ? dir : previousDataRoot();
    check.dataFolder = root.getChildFile (companyName).getChildFile (instrumentName);
    check.bytesNeeded = monolithSource.getSize();
    check.bytesFree = nearestExisting (root).getBytesFreeOnVolume();

    const auto refuse = [&check] (Result result, const juce::String& why)
    {
        check.result = result;
        check.why = why;
        return check;
    };

    if (dir != juce::File() && ! dir.isDirectory())
        return refuse (accessDenied, "The chosen data folder is not a folder: " + dir.getFullPathName());

    if (dir != juce::File() && (dir == defaultFolder || dir.isAChildOf (defaultFolder)))
        return refuse (accessDenied, "The chosen data folder lies inside the instrument's default data folder: " + dir.getFullPathName());

    if (dir != juce::File() && ! dir.hasWriteAccess())
        return refuse (accessDenied, "The chosen data folder cannot be written to: " + dir.getFullPathName());

    // An update is not a move: that is move's work, which checks the copy before it lets the old one go.
    const auto previous = previousDataRoot();

    if (dir != juce::File() && dir != previous
         && previous.getChildFile (companyName).getChildFile (instrumentName).getChildFile (InstallRecord::fileName).exists())
        return refuse (accessDenied, instrumentName + " by " + companyName + " is installed in " + previous.getFullPathName()
                                       + ", not in the chosen data folder " + dir.getFullPathName() + ": uninstall it first to install it there");

    if (! BlockCopy::fitsInto (nearestExisting (root), check.bytesNeeded))
        return refuse (notEnoughSpace, "Not enough free space for the monolith in " + root.getFullPathName() + ": "
                                         + juce::File::descriptionOfSizeInBytes (check.bytesNeeded) + " needed, "
                                         + juce::File::descriptionOfSizeInBytes (check.bytesFree) + " free");

    return check;
}

juce::File InstallerModel::getDataFolder() const
{
    return checkDataRoot (chosenDataRoot).dataFolder;
}

juce::File InstallerModel::previousDataRoot() const
{
    InstalledInstruments::Installation previous;
    juce::String problem;

    if (InstalledInstruments (*folders).find (companyName, instrumentName, previous, problem) == noError
         && previous.record.dataRoot != juce::File())
        return previous.record.dataRoot;

    return folders->getDataRoot();
}

/** Where this installation puts the data (see checkDataRoot), refused before anything is written when
    it cannot go there. Without a choice a lack of room is the copy's to find, as it always was.
*/
InstallerModel::Result InstallerModel::choosePlace()
{
    const auto place = checkDataRoot (chosenDataRoot);

    if (place.result != noError && ! (place.result == notEnoughSpace && chosenDataRoot == juce::File()))
    {
        write (place.why);
        return place.result;
    }

    monolithInstallFile = place.dataFolder.getChildFile (monolithInstallFile.getFileName());
    return noError;
}
