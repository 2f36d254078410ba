#include "setup/InstrumentSetup.h"

#include "install/installed/InstalledFilesCheck.h"
#include "install/installed/InstalledInstruments.h"
#include "install/ProductVersion.h"
#include "log/InstallerLog.h"
#include "setup/ConsoleProgress.h"
#include "setup/ReportFile.h"

namespace
{
constexpr const char* programName = "instrument-setup";

/** Every exit status and what it means: the help's table, which the README repeats. */
struct StatusText
{
    int status;
    const char* meaning;
};

const StatusText statusTexts[] = {
    { InstallerModel::noError,              "done" },
    { InstallerModel::invalidData,          "invalid data: no such monolith, or it holds no readable instrument, or an install record is damaged" },
    { InstallerModel::missingData,          "missing data: the monolith holds no plug-in" },
    { InstrumentSetup::reportNotWritten,    "the --log file cannot be written (a missing or read-only folder, or a link, folder, pipe or"
                                            " device at FILE); nothing was done" },
    { InstallerModel::accessDenied,         "access denied: the data folder is read-only and cannot be made writable, or the --data-dir is"
                                            " not a folder that can be used; nothing was written" },
    { InstallerModel::writeFailed,          "write failed: something could not be written or removed; nothing was changed" },
    { InstallerModel::interrupted,          "interrupted by Ctrl+C or a termination request; nothing was changed" },
    { InstallerModel::notInstalled,         "not installed: no installation of that instrument by that company" },
    { InstrumentSetup::licenceNotAccepted,  "licence not accepted: the monolith has a licence and --accept-licence was not given; nothing was written" },
    { InstrumentSetup::engineBusy,          "another installation on this machine did not finish within the --wait time; nothing was done" },
    { InstrumentSetup::filesChanged,        "changed (status): a file or folder of the installation is missing or not as its record says;"
                                            " install the monolith again with --force to repair it" },
    { InstrumentSetup::recordDamaged,       "damaged record (status): the installation's install record cannot be read" },
    { InstallerModel::filesInUse,           "files in use: programs hold files of the plug-in that the run would replace or remove (named on"
                                            " standard error, one a line, or, where the system cannot name them, a line saying that a program"
                                            " may be using the plug-in); close them and try again; nothing was changed" },
    { InstallerModel::notEnoughSpace,       "not enough space: the monolith does not fit on the drive of the --data-dir; nothing was written" },
    { InstrumentSetup::usageError,          "usage error: an unknown command or option, or a missing argument" },
};
} // namespace

InstrumentSetup::InstrumentSetup (juce::OutputStream& output, juce::OutputStream& errors, bool errIsTerminal,
                                  std::unique_ptr<SystemFolders> foldersToUse)
    : out (output), err (errors), showProgress (errIsTerminal), folders (std::move (foldersToUse))
{
}

InstrumentSetup::~InstrumentSetup() = default;

juce::String InstrumentSetup::getVersion()
{
    return juce::String (programName) + " " + ProductVersion::get();
}

juce::String InstrumentSetup::getHelp()
{
    juce::String help;
    help << "usage: instrument-setup install FILE.rom [--data-dir DIR] [--accept-licence] [--show-licence] [--force] [--log FILE]\n"
            "                            [--wait SECONDS]\n"
            "       instrument-setup uninstall COMPANY INSTRUMENT [--log FILE] [--wait SECONDS]\n"
            "       instrument-setup move COMPANY INSTRUMENT DIR [--log FILE] [--wait SECONDS]\n"
            "       instrument-setup relink COMPANY INSTRUMENT DIR [--log FILE] [--wait SECONDS]\n"
            "       instrument-setup status COMPANY INSTRUMENT [--wait SECONDS]\n"
            "       instrument-setup list [--wait SECONDS]\n"
            "       instrument-setup --help | --version\n"
            "\n"
            "Installs an instrument without a window, as the installer's wizard does, removes an installation,\n"
            "and lists and checks what is installed.\n"
            "\n"
            "  install FILE.rom    checks the monolith FILE.rom, then copies it into the data folder and unpacks\n"
            "                      its plug-in into the VST3 folder; prints where both went. When the same\n"
            "                      monolith is installed, by this version, with every file as recorded, does\n"
            "                      nothing and says so (status 0).\n"
            "  --data-dir DIR      puts the data in DIR/COMPANY/INSTRUMENT (a folder on another drive, say) and makes\n"
            "                      the default data folder a link to it. Without it an update goes where the last\n"
            "                      installation went; to another DIR it is refused (move the data first).\n"
            "  --force             installs even then: repairs or replaces the installation.\n"
            "  --accept-licence    accepts the monolith's licence: without it, a monolith that has one is not\n"
            "                      installed.\n"
            "  --show-licence      prints the licence on standard output; installs only with --accept-licence.\n"
            "  uninstall COMPANY INSTRUMENT\n"
            "                      removes what the installation of INSTRUMENT by COMPANY wrote, and nothing\n"
            "                      else; on failure nothing is removed.\n"
            "  move COMPANY INSTRUMENT DIR\n"
            "                      moves the installation's data folder to DIR/COMPANY/INSTRUMENT (with DIR the\n"
            "                      default data root, back there) in one transaction: copies and proves it,\n"
            "                      switches the default data folder to it, then deletes the old copy. Refused,\n"
            "                      changing nothing, while the old folder holds a file the install record does\n"
            "                      not list.\n"
            "  relink COMPANY INSTRUMENT DIR\n"
            "                      points the installation at the copy already in DIR/COMPANY/INSTRUMENT (after a\n"
            "                      system was set up again, or a drive's letter changed), copying no data: its\n"
            "                      monolith is read whole against its checksums, the record and the plug-in are\n"
            "                      written anew from it, and the default data folder becomes the link to it.\n"
            "  status COMPANY INSTRUMENT\n"
            "                      prints the installed version, the monolith's CRC-32 and whether every file\n"
            "                      still matches the install record (status 0, 7, 10 or 11).\n"
            "  list                one line per installation, its fields separated by tabs: company, instrument,\n"
            "                      installer version, date (UTC), size in bytes, data folder, plug-in folder.\n"
            "  --log FILE          writes the installer's report to FILE, whatever the outcome: under a temporary\n"
            "                      name beside it, then renamed over FILE. Replaces only a regular file.\n"
            "  --wait SECONDS      how long to wait while another installation on this machine runs (one at a\n"
            "                      time): " + juce::String (InstallerModel::defaultEngineWaitSeconds) + " unless given; 0 does not wait.\n"
            "\n"
            "Progress goes to standard error when it is a terminal; standard output carries only results.\n"
            "Ctrl+C stops an installation or a removal and leaves everything as it was.\n"
            "\n"
            "Exit status:\n";

    for (const auto& text : statusTexts)
        help << juce::String (text.status).paddedLeft (' ', 4) << "  " << text.meaning << "\n";

    return help;
}

int InstrumentSetup::run (const juce::StringArray& args)
{
    const auto command = args[0];

    if (args.size() == 1 && (command == "--help" || command == "-h"))
    {
        out << getHelp();
        return InstallerModel::noError;
    }

    if (args.size() == 1 && command == "--version")
    {
        out << getVersion() << "\n";
        return InstallerModel::noError;
    }

    Options options;
    const auto parsed = parseOptions (args, options);

    if (parsed.failed())
        return usage (parsed.getErrorMessage());

    if (command == "install" && options.operands.size() == 1)
        return install (options);

    const auto installOptions = options.acceptLicence || options.showLicence || options.force || options.dataDir != juce::File();

    if (command == "uninstall" && options.operands.size() == 2 && ! installOptions)
        return uninstall (options);

    if ((command == "move" || command == "relink") && options.operands.size() == 3 && ! installOptions)
        return moveData (options, command == "relink");

    if (command == "status" && options.operands.size() == 2 && ! installOptions && options.logFile == juce::File())
        return status (options);

    if (command == "list" && options.operands.isEmpty() && options.logFile == juce::File() && ! installOptions)
        return list (options);

    return usage (command.isEmpty() ? "no command" : "wrong use of " + command);
}

juce::Result InstrumentSetup::parseOptions (const juce::StringArray& args, Options& options) const
{
    for (int i = 1; i < args.size(); ++i)
    {
        const auto& arg = args[i];

        if (arg == "--accept-licence")
            options.acceptLicence = true;
        else if (arg == "--show-licence")
            options.showLicence = true;
        else if (arg == "--force")
            options.force = true;
        else if (arg == "--log" && (i + 1 == args.size() || args[i + 1].isEmpty()))
            return juce::Result::fail ("--log needs a FILE");
        else if (arg == "--log")
            options.logFile = argumentToFile (args[++i]);
        else if (arg == "--data-dir" && (i + 1 == args.size() || args[i + 1].isEmpty()))
            return juce::Result::fail ("--data-dir needs a DIR");
        else if (arg == "--data-dir")
            options.dataDir = argumentToFile (args[++i]);
        else if (arg == "--wait" && (i + 1 == args.size() || ! args[i + 1].containsOnly ("0123456789") || args[i + 1].isEmpty()
                                     || args[i + 1].length() > 6))
            return juce::Result::fail ("--wait needs a number of SECONDS");
        else if (arg == "--wait")
            options.waitSeconds = args[++i].getIntValue();
        else if (arg.startsWith ("-"))
            return juce::Result::fail ("unknown option " + arg);
        else
            options.operands.add (arg);
    }

    return juce::Result::ok();
}

int InstrumentSetup::usage (const juce::String& problem)
{
    err << programName << ": " << problem << "\n"
        << getHelp().upToFirstOccurrenceOf ("\n\n", false, false) << "\n"
        << "Try 'instrument-setup --help' for more.\n";
    return usageError;
}

int InstrumentSetup::fail (int status, const juce::String& message)
{
    err << programName << ": " << message << "\n";
    return status;
}

int InstrumentSetup::failRun (int status, const InstallerModel& model, const InstallerLog& log)
{
    // Where the system cannot name the programs, the run's last line says that one may be using the plug-in.
    if (status != InstallerModel::filesInUse || model.programsHoldingFiles.isEmpty())
        return fail (status, log.getLastMessage());

    fail (status, "these programs are using files of the plug-in: close them and try again");

    for (const auto& program : model.programsHoldingFiles)
        err << program << "\n";

    return status;
}

juce::File InstrumentSetup::argumentToFile (const juce::String& path) const
{
    return juce::File::getCurrentWorkingDirectory().getChildFile (path);
}

//==============================================================================
int InstrumentSetup::start (InstallerModel& model, InstallerLog& log, const Options& options)
{
    InstallerModel::EngineWait wait;
    wait.seconds = options.waitSeconds;
    wait.waiting = [this] { err << programName << ": waiting for another installation on this machine to finish...\n"; };

    switch (model.start (log, InstallerModel::FrontEnd::installer, wait))
    {
        case InstallerModel::Engine::held:    return InstallerModel::noError;
        case InstallerModel::Engine::busy:    return fail (engineBusy, "another installation on this machine is still running: try again later");
        case InstallerModel::Engine::failed:  break;
    }

    return fail (InstallerModel::writeFailed, log.getLastMessage());
}

bool InstrumentSetup::openReport (const Options& options)
{
    if (options.logFile == juce::File())
        return true;

    auto result = juce::Result::ok();
    report = ReportFile::create (options.logFile, result);

    if (report != nullptr)
        return true;

    fail (reportNotWritten, "cannot write the report to " + options.logFile.getFullPathName() + ": " + result.getErrorMessage());
    return false;
}

int InstrumentSetup::finish (int status, const InstallerLog& log, const Options& options)
{
    if (report == nullptr)
        return status;

    const auto written = report->write (log.getText());
    report.reset();

    if (written.failed())
        err << programName << ": warning: the report could not be written to " << options.logFile.getFullPathName()
            << ": " << written.getErrorMessage() << "\n";

    return status;
}

int InstrumentSetup::install (const Options& options)
{
    if (! openReport (options))
        return reportNotWritten;

    InstallerLog log;
    InstallerModel model (std::move (folders));

    if (const auto started = start (model, log, options); started != InstallerModel::noError)
        return finish (started, log, options);

    model.stepPauseMs = 0;
    model.monolithFile = argumentToFile (options.operands[0]);
    log.write (InstallerLog::installerCategory, "Monolith selected: " + model.monolithFile.getFullPathName());

    // The check's result for a monolith it cannot open, said more plainly.
    if (! model.monolithFile.existsAsFile())
        return finish (fail (InstallerModel::invalidData, "no such file: " + model.monolithFile.getFullPathName()), log, options);

    auto result = InstallerModel::noError;

    {
        ConsoleProgress progress (err, showProgress, "Checking " + model.monolithFile.getFileName());
        result = model.processMonolith (progress);
    }

    if (result != InstallerModel::noError)
        return finish (fail (result, log.getLastMessage()), log, options);

    if (options.showLicence)
        out << model.eulaText << (model.eulaText.endsWithChar ('\n') || model.eulaText.isEmpty() ? "" : "\n");

    if (! options.acceptLicence && (options.showLicence || model.eulaText.isNotEmpty()))
    {
        if (options.showLicence)
            return finish (InstallerModel::noError, log, options);

        return finish (fail (licenceNotAccepted, model.instrumentName + " comes with a licence: read it with --show-licence,"
                                                 " and accept it with --accept-licence to install"), log, options);
    }

    model.chosenDataRoot = options.dataDir;

    if (const auto place = model.checkDataRoot (options.dataDir); place.result != InstallerModel::noError && options.dataDir != juce::File())
        return finish (fail (place.result, place.why), log, options);

    if (! options.force && reportInstalledAsIs (model))
        return finish (InstallerModel::noError, log, options);

    {
        ConsoleProgress progress (err, showProgress, "Installing " + model.instrumentName);
        result = model.install (progress);
    }

    if (result != InstallerModel::noError)
        return finish (failRun (result, model, log), log, options);

    out << model.instrumentName << " by " << model.companyName << " installed\n"
        << "monolith: " << model.monolithInstallFile.getFullPathName() << "\n"
        << "plug-in: " << model.vst3Folder.getFullPathName() << "\n";

    const auto defaultFolder = model.getFolders().getDataRoot().getChildFile (model.companyName).getChildFile (model.instrumentName);

    if (model.getDataFolder() != defaultFolder)
        out << "data folder: " << model.getDataFolder().getFullPathName() << " (linked from " << defaultFolder.getFullPathName() << ")\n";

    return finish (InstallerModel::noError, log, options);
}

int InstrumentSetup::runOperation (const Options& options, const juce::String& title, const Operation& operation,
                                   const std::function<void (const InstallerModel&)>& printResults)
{
    if (! openReport (options))
        return reportNotWritten;

    InstallerLog log;
    InstallerModel model (std::move (folders));

    if (const auto started = start (model, log, options); started != InstallerModel::noError)
        return finish (started, log, options);

    auto result = InstallerModel::noError;

    {
        ConsoleProgress progress (err, showProgress, title);
        result = operation (model, progress);
    }

    if (result != InstallerModel::noError)
        return finish (failRun (result, model, log), log, options);

    printResults (model);
    return finish (InstallerModel::noError, log, options);
}

int InstrumentSetup::uninstall (const Options& options)
{
    const auto& company = options.operands[0];
    const auto& instrument = options.operands[1];

    return runOperation (options, "Removing " + instrument,
                         [&] (InstallerModel& model, InstallerModel::Observer& progress) { return model.uninstall (company, instrument, progress); },
                         [&] (const InstallerModel& model)
    {
        for (const auto& kept : model.keptByUninstall)
            out << "Kept: " << kept << "\n";

        out << instrument << " by " << company << " uninstalled\n";
    });
}

int InstrumentSetup::moveData (const Options& options, bool relinking)
{
    const auto& company = options.operands[0];
    const auto& instrument = options.operands[1];
    const auto dir = argumentToFile (options.operands[2]);

    return runOperation (options, (relinking ? "Relinking " : "Moving ") + instrument,
                         [&] (InstallerModel& model, InstallerModel::Observer& progress)
    {
        return relinking ? model.relink (company, instrument, dir, progress) : model.move (company, instrument, dir, progress);
    },
                         [&] (const InstallerModel& model)
    {
        out << instrument << " by " << company << (relinking ? " relinked" : " moved") << "\n"
            << describeDataFolder (model, company, instrument) << "\n";
    });
}

juce::String InstrumentSetup::describeDataFolder (const InstallerModel& model, const juce::String& company, const juce::String& instrument) const
{
    InstalledInstruments::Installation installation;
    juce::String problem;

    if (InstalledInstruments (model.getFolders()).find (company, instrument, installation, problem) != InstallerModel::noError)
        return "data folder: unknown (" + problem + ")";

    return "data folder: " + installation.dataFolder.getFullPathName()
         + (installation.linkedFrom != juce::File() ? " (linked from " + installation.linkedFrom.getFullPathName() + ")" : juce::String());
}

int InstrumentSetup::list (const Options& options)
{
    InstallerLog log;
    InstallerModel model (std::move (folders));

    if (const auto started = start (model, log, options); started != InstallerModel::noError)
        return started;

    juce::StringArray problems;
    const auto installations = InstalledInstruments (model.getFolders()).findAll (problems);

    for (const auto& installation : installations)
    {
        const auto& record = installation.record;
        out << juce::StringArray { record.company, record.instrument, record.installerVersion, InstallRecord::formatDate (record.date),
                                   juce::String (record.getTotalSize()), installation.dataFolder.getFullPathName(),
                                   installation.pluginFolder.getFullPathName() }.joinIntoString ("\t")
            << "\n";
    }

    for (const auto& problem : problems)
        fail (InstallerModel::invalidData, problem);

    return problems.isEmpty() ? InstallerModel::noError : InstallerModel::invalidData;
}

bool InstrumentSetup::reportInstalledAsIs (const InstallerModel& model)
{
    if (! InstalledFilesCheck::isInstalledAsIs (model.getFolders(), model.companyName, model.instrumentName, model.monolithFile))
        return false;

    out << model.instrumentName << " by " << model.companyName << " " << ProductVersion::get()
        << " is already installed, every file as recorded: nothing to do (--force installs it again)\n";
    return true;
}

int InstrumentSetup::status (const Options& options)
{
    InstallerLog log;
    InstallerModel model (std::move (folders));

    if (const auto started = start (model, log, options); started != InstallerModel::noError)
        return started;

    InstalledInstruments::Installation installation;
    juce::String problem;
    const auto found = InstalledInstruments (model.getFolders()).find (options.operands[0], options.operands[1], installation, problem);

    if (found == InstallerModel::notInstalled)
        return fail (InstallerModel::notInstalled, options.operands[1] + " by " + options.operands[0] + " is not installed");

    if (found != InstallerModel::noError)
        return fail (recordDamaged, problem);

    const InstalledFilesCheck check (installation);
    const auto* monolith = check.findMonolith();
    const auto changes = check.findChanges();
    const auto& record = installation.record;

    out << record.instrument << " by " << record.company << "\n"
        << "version: " << record.installerVersion << "\n"
        << "monolith crc32: " << (monolith != nullptr ? juce::String::toHexString ((juce::int64) monolith->crc).paddedLeft ('0', 8) : "none") << "\n"
        << "data folder: " << installation.dataFolder.getFullPathName() << "\n"
        << "plug-in folder: " << installation.pluginFolder.getFullPathName() << "\n"
        << "files: " << (changes.isEmpty() ? "intact" : juce::String (changes.size()) + " changed") << "\n";

    for (const auto& change : changes)
        err << programName << ": " << change << "\n";

    return changes.isEmpty() ? (int) InstallerModel::noError : (int) filesChanged;
}
