#pragma once

// install/ holds the engine's face and its shared rules. The face is InstallerModel, the one class a
// front end drives; the rules are what every part of an installation keeps to: InstallerResult,
// SystemFolders, SafeFileName, FileSystemLimits and ProductVersion. Its subfolders, each including only
// what lies below it:
//   runs/         the model's long operations, MonolithCheck, Installation, Removal and Move: chains of
//                 named steps, nested in the model (their headers include this one to declare them), that
//                 use the three folders below.
//   transaction/  InstallTransaction and its InstallJournal: every change to the target folders, undoable.
//   payload/      what is copied and unpacked: BlockCopy, VerifiedCopy, PluginArchive, PluginArchiveCopy.
//   installed/    what an installation leaves behind: InstallRecord, InstalledInstruments,
//                 InstalledAppsEntry, UninstallerProgram.
// transaction/, payload/ and installed/ stand side by side: each includes the rules here and log/, fs/,
// monolith/ and model/, never one of the other two.

#include "install/InstallerResult.h"
#include "install/payload/PluginArchiveCopy.h"
#include "install/SystemFolders.h"
#include "monolith/ChunkChecksums.h"
#include "monolith/MonolithSource.h"

#include <juce_graphics/juce_graphics.h>

#include <functional>
#include <memory>
#include <optional>

class EngineLock;
class InstallerLog;

/** Everything one installation run knows, and its operations: discovery of the monolith, the monolith
    check and the installation. A front end (the wizard, or a program without a window) sets the fields
    it knows, runs the operations in that order and follows the long ones through an Observer; the model
    needs nothing else.
*/
class InstallerModel : public InstallerResult
{
public:
    /** How a front end follows a long operation and asks it to stop. The operation calls both methods on
        the thread that runs it; the defaults ignore the progress and never stop.
    */
    class Observer
    {
    public:
        virtual ~Observer() = default;

        /** A progress milestone in 0 .. 1: the operation has reached the next of its stages. */
        virtual void progressChanged (double /*progress*/) {}

        /** Asked between stages and between the blocks of every copy. True ends the operation there with
            `interrupted`, leaving the target folders as they were.
        */
        virtual bool shouldStop() { return false; }
    };

    explicit InstallerModel (std::unique_ptr<SystemFolders> folders = std::make_unique<SystemFolders>());
    ~InstallerModel();

    /** The programs that start the engine, each with the first line of its log. */
    enum class FrontEnd { installer, uninstaller };

    /** How start() waits for the engine while another program on the machine holds it. */
    struct EngineWait
    {
        /** How long start() waits, in seconds. With 0 it takes the engine only when it is free; otherwise
            the first long operation waits for it, on the thread that runs it, until it is asked to stop.
        */
        int seconds = 0;

        /** Called once when start() begins to wait (with `seconds` above 0): a console says so. */
        std::function<void()> waiting;
    };

    /** How long a program without a window waits for the engine unless told otherwise: a few minutes. */
    static constexpr int defaultEngineWaitSeconds = 300;

    /** What start() found: the engine held (and the recovery run), held by another program, or not to be
        had because the state folder cannot be used (the log says why).
    */
    enum class Engine { held, busy, failed };

    /** How every front end begins, before it shows anything: points the model at `log`, writes the front
        end's first line ("Starting installer" or "Starting uninstaller"), takes the engine lock
        (EngineLock), which the model then holds until it is destroyed, and runs recover(). While another
        program holds the lock it waits as `wait` says; recover() runs only once the lock is held.
    */
    Engine start (InstallerLog& log, FrontEnd frontEnd, const EngineWait& wait);

    /** start() that leaves the wait to the first long operation: how the wizard starts. */
    Engine start (InstallerLog& log, FrontEnd frontEnd = FrontEnd::installer);

    /** Finishes or undoes every installation that a kill or a power cut interrupted, and removes what it
        left behind; then puts the Installed apps entries in line with the records, and removes the copies
        of the plug-in archive that checks of runs no longer running left in the temporary folder. It
        writes to the log only when it found something.
    */
    void recover();

    /** Looks for a monolith next to the installer, then in Downloads and on the desktop; the first place
        with a match wins. In a place the best match wins: "Beta.rom" beside "Beta Installer.exe" (an exact
        match), else the longest name that the installer's file name starts with (case counts). Beside the
        installer a file that does not match is taken when nothing matches there. Ties, and the choice
        among files that do not match, go by file name in code-point order: the first wins.
    */
    juce::File findMonolith();

    /** Checks `monolithFile` and prepares names, targets, the plug-in archive, screenshot and licence.
        Returns noError, invalidData, missingData, accessDenied or writeFailed, or interrupted when the
        observer asked to stop while the plug-in archive was being copied out. A monolith that is not
        there or cannot be read counts as invalid (missingData is for none given, or no plug-in entry in
        it), and so do instrument and company names that are not one safe file name each.
        Milestones: 0, 0.2 (targets known), 0.6 (archive copied), 0.8 (screenshot), 1.
    */
    Result processMonolith (Observer& observer);

    /** Copies the monolith into place and unpacks the plug-in archive, after a successful check.
        Returns noError, writeFailed on any failure, interrupted when the observer asked to stop, or
        filesInUse, before any change, when other programs hold the installed monolith or plug-in files it
        would replace (programsHoldingFiles names them, or is empty where the system cannot). Everything is
        written under temporary names, verified, and only then renamed into place, so after a failure or a
        stop the target folders are exactly as they were before the run.
        Milestones: 0, 0.1, 0.4, 0.5, 0.7, 1, each followed by a pause of `stepPauseMs`.
    */
    Result install (Observer& observer);

    /** Removes the installation of `instrument` by `company`: what its install record lists, or for an
        installation without one what its monolith's plug-in archive names, and on Windows its Installed
        apps entry; everything else in the company's folders stays. Returns noError; notInstalled when
        there is no such installation; invalidData when its record or monolith cannot be read; filesInUse, before
        any change, when other programs hold files it would remove (programsHoldingFiles); writeFailed
        when something cannot be moved or removed; interrupted when the observer asked to stop. On any
        failure nothing is removed. A record that lists anything but the installed monolith, the
        uninstaller and what the monolith's plug-in archive names is damaged (invalidData). A listed file
        that differs from the record in size or CRC-32, or that another installation's record lists, is
        kept, and noError still says that everything else went: `keptByUninstall` names what stayed.
        Milestones: 0, 0.1 (found), 0.5 (plug-in), 0.8 (data folder), 1.
    */
    Result uninstall (const juce::String& company, const juce::String& instrument, Observer& observer);

    /** Moves the data of the installation of `instrument` by `company` (what its record lists in its data
        folder, and the record) to `dataRoot` / company / instrument, as one transaction (see Move): copied,
        proven against the record and the monolith's checksums, the default data folder switched to the new
        place (a link to it, or back in the default data root the folder itself), then the old copy deleted.
        Returns noError; notInstalled; invalidData when the record cannot be read or a file is damaged or
        not as recorded; accessDenied, before any change, when `dataRoot` is not a folder that can be used,
        is where the data is, or already holds the instrument's folder with something in it, or when the
        old data folder holds anything the record does not list (named in the log: it is never deleted);
        notEnoughSpace, before any change; filesInUse, before any change; writeFailed; interrupted. On any
        failure the data stays where it was.
        Milestones: 0, 0.1 (checked), 0.8 (copied), 0.9 (in place), 1.
    */
    Result move (const juce::String& company, const juce::String& instrument, const juce::File& dataRoot, Observer& observer);

    /** Points the installation of `instrument` by `company` at the copy of its data that is already in
        `dataRoot` / company / instrument (after a system was set up again, or a drive's letter changed),
        copying no data. The monolith there is checked as the check checks one, and read whole against its
        checksums; it must be this instrument's. Nothing else there is trusted: the record (and on Windows
        the uninstaller) is written anew, and the plug-in unpacked from that monolith, as an installation
        of it in place would; the default data folder becomes the link to the copy, replacing the
        installation's own link or one to a folder that is gone. Returns noError; invalidData when the
        monolith is damaged, carries no checksums or is another instrument's; accessDenied, before any
        change, when there is no copy there, `dataRoot` is the default data root or the place the
        installation is linked to already, the installation is in the default data folder (a move's work),
        or something else is at the default data folder; filesInUse; writeFailed; interrupted. On any
        failure nothing is changed.
    */
    Result relink (const juce::String& company, const juce::String& instrument, const juce::File& dataRoot, Observer& observer);

    /** The programs that hold files the last installation or uninstall would have replaced or removed,
        each named with its process id (FileHolders), when it ended with filesInUse: the user closes them
        and tries again. Empty otherwise, and also when the system says that a file is held but not by
        whom (Wine's Restart Manager names nobody): front ends then say `mayBeInUse` instead.
    */
    juce::StringArray programsHoldingFiles;

    /** The run's last line when a program holds files of the plug-in that the system cannot name, before
        any change (filesInUse) or when it makes a change fail during the run (writeFailed).
    */
    static constexpr const char* mayBeInUse = "A program may be using the plug-in: close every program that has it loaded (a host) and try again";

    /** What choosing a folder for the instrument's data would mean, after a successful check. */
    struct DataRootCheck
    {
        /** noError when the data can go there; accessDenied when it is not a folder that can be written
            to, lies inside the default data folder, or is not where the instrument is installed (an update
            does not move the data); notEnoughSpace when the monolith does not fit.
        */
        Result result = noError;

        /** Why it is refused, one line for the log and the user; empty when it is not. */
        juce::String why;

        /** The free space on the folder's drive, and what the monolith needs there. */
        juce::int64 bytesFree = 0, bytesNeeded = 0;

        /** Where the data would live: the folder / company / instrument. */
        juce::File dataFolder;
    };

    /** What installing with `dir` as chosenDataRoot would mean: the data folder it gives, the free
        space of its drive and the monolith's size, or why it cannot be used. An empty `dir` describes
        where the data goes without a choice: where the last installation of this instrument put it,
        else the default place. Valid after a successful check; changes nothing.
    */
    DataRootCheck checkDataRoot (const juce::File& dir) const;

    /** Where the instrument's data lives or will live: in chosenDataRoot when there is one, else where
        the last installation put it, else the default place. Valid after the check; after install(),
        where it went.
    */
    juce::File getDataFolder() const;

    /** The files the last uninstall kept, each with why: changed since it was installed, or listed by
        another installation's record. Empty when it removed everything listed.
    */
    juce::StringArray keptByUninstall;

    /** The screenshot the check loaded; null when the monolith has none. Safe from any thread. */
    juce::Image getScreenshot() const;

    const SystemFolders& getFolders() const noexcept    { return *folders; }

    //==============================================================================
    // Written by the operations on the thread that runs them; read elsewhere only after they have ended.
    /** The plug-in archive that the check copied out of the monolith; null until then. Resetting it
        removes the copy and its private folder.
    */
    std::unique_ptr<PluginArchiveCopy> pluginArchive;

    juce::String instrumentName, companyName;

    /** The folder the user chose for the instrument's data (set before install()): the monolith goes to
        chosenDataRoot / company / instrument, and the default data folder becomes a link to it. Empty:
        where the last installation of this instrument put it, else the default place.
    */
    juce::File chosenDataRoot;
    juce::File monolithFile, monolithInstallFile, vst3Folder;

    /** `monolithFile` as the check opened it. The check reads everything through it, and it stays open
        for the installation to copy from, so that what is installed is what was checked.
    */
    MonolithSource monolithSource;

    /** The monolith's checksum entry as the check loaded it, for the installation to verify the copy
        against; none when the monolith carries no checksums (or only ones of a format unknown here).
    */
    std::optional<ChunkChecksums> monolithChecksums;
    juce::String eulaText;
    InstallerLog* log = nullptr;

    /** The pause after each installation stage, so that every stage stays visible on a progress bar. */
    int stepPauseMs = 500;

private:
    class StepChain;
    class MonolithCheck;
    class Installation;
    class Removal;
    class Move;

    void write (const juce::String& message) const;

    /** Tries to take the engine lock once, writing why when it cannot be had. */
    Engine takeEngine();

    /** Waits for the engine until it is held, `deadline` (milliseconds on the high-resolution clock)
        passes or `shouldStop` says so.
    */
    Engine waitForEngine (double deadline, const std::function<bool()>& shouldStop);

    /** For a long operation after a start() that left the wait to it: noError once the engine is held
        and the recovery run; interrupted when the observer asked to stop first; writeFailed when the
        engine cannot be had.
    */
    Result awaitEngine (Observer& observer);

    void setScreenshot (const juce::Image& newImage);

    /** The folder whose company/instrument holds this instrument's data: where the last installation
        put it, else the default data root.
    */
    juce::File previousDataRoot() const;

    Result choosePlace();

    /** Whether the installation may be pointed at a copy in `dataRoot` (see relink); noError, or the refusal
        with its line written.
    */
    Result checkRelink (const juce::String& company, const juce::String& instrument, const juce::File& dataRoot);

    std::unique_ptr<SystemFolders> folders;
    std::unique_ptr<EngineLock> engineLock;
    bool engineAwaited = false, engineFailed = false;   // what start() left to the operations

    // A front end may paint the screenshot while the check replaces it.
    juce::Image screenshot;
    juce::CriticalSection screenshotLock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallerModel)
};
