#pragma once

#include "install/InstallerModel.h"

#include <functional>

class InstallerLog;
class ReportFile;

/** The commands of instrument-setup, the installer without a window: install, status, list, uninstall, and
    move and relink for an installation's data folder.

    Results go to `out` and nothing else does; errors go to `err`, and so does progress when `err` is a
    terminal. The exit status is the engine's result (InstallerModel::Result) or one of the program's
    own below; `getHelp()` lists them all.
*/
class InstrumentSetup
{
public:
    /** The program's own exit statuses, beside the engine's results 0, 1, 2 and 4 to 7 (3, the engine's
        installationFailed, is returned by no operation: the program takes the number for its own).
    */
    enum Status : int
    {
        reportNotWritten = 3,       // the --log file cannot be written: refused before anything is done
        licenceNotAccepted = 8,     // the monolith has a licence and --accept-licence was not given
        engineBusy = 9,             // another installation on this machine held the engine for longer than --wait
        filesChanged = 10,          // status: a file or folder the record lists is missing or not as recorded
        recordDamaged = 11,         // status: the install record cannot be read
        usageError = 64             // an unknown command or option, or a missing argument
    };

    InstrumentSetup (juce::OutputStream& out, juce::OutputStream& err, bool errIsTerminal,
                     std::unique_ptr<SystemFolders> folders = std::make_unique<SystemFolders>());
    ~InstrumentSetup();

    /** Runs the command in args (without the program's name) and returns the exit status. */
    int run (const juce::StringArray& args);

    static juce::String getHelp();
    static juce::String getVersion();

private:
    /** The options after a command, and what is left once they are taken out. */
    struct Options
    {
        bool acceptLicence = false, showLicence = false, force = false;
        juce::File logFile, dataDir;
        int waitSeconds = InstallerModel::defaultEngineWaitSeconds;
        juce::StringArray operands;
    };

    int install (const Options& options);
    int uninstall (const Options& options);
    int list (const Options& options);
    int status (const Options& options);

    /** A long operation of the engine on a model of its own. */
    using Operation = std::function<InstallerModel::Result (InstallerModel& model, InstallerModel::Observer& progress)>;

    /** Opens the --log report, starts the engine and runs `operation`, its progress titled `title`, as
        uninstall, move and relink do; `printResults` prints what it did when it succeeded. The exit status.
    */
    int runOperation (const Options& options, const juce::String& title, const Operation& operation,
                      const std::function<void (const InstallerModel&)>& printResults);

    /** move, or with `relinking` relink: COMPANY INSTRUMENT DIR. */
    int moveData (const Options& options, bool relinking);

    /** The line that names where the data of `instrument` by `company` is, as its record says. */
    juce::String describeDataFolder (const InstallerModel& model, const juce::String& company, const juce::String& instrument) const;

    /** Says so, when the monolith the model has checked is installed as it is, and returns true: then
        installing it again would change nothing.
    */
    bool reportInstalledAsIs (const InstallerModel& model);

    juce::Result parseOptions (const juce::StringArray& args, Options& options) const;
    int usage (const juce::String& problem);
    int fail (int status, const juce::String& message);

    /** fail() for an installation or removal that ended with `status`: its last log line, or for files in
        use the programs holding them, one a line, for a script or a user to read.
    */
    int failRun (int status, const InstallerModel& model, const InstallerLog& log);

    /** Writes the report to the --log file, if there is one, and returns `status`: the run is done by
        now, so a report that cannot be written is a warning and changes no status.
    */
    int finish (int status, const InstallerLog& log, const Options& options);

    /** Starts `model` as every command does, waiting for another installation on this machine as long
        as --wait says; the status to end with when the engine cannot be had, else noError.
    */
    int start (InstallerModel& model, InstallerLog& log, const Options& options);

    /** Opens the --log file, if there is one, before anything else is done; false when it cannot be written. */
    bool openReport (const Options& options);

    juce::File argumentToFile (const juce::String& path) const;

    juce::OutputStream& out;
    juce::OutputStream& err;
    const bool showProgress;
    std::unique_ptr<SystemFolders> folders;
    std::unique_ptr<ReportFile> report;

    JUCE_DECLARE_NON_COPYABLE (InstrumentSetup)
};
