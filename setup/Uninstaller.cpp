#include "setup/Uninstaller.h"

#if JUCE_WINDOWS

#include "install/InstallerModel.h"
#include "install/installed/UninstallerProgram.h"
#include "log/InstallerLog.h"
#include "setup/InstrumentSetup.h"
#include "setup/ReportFile.h"
#include "setup/SelfRemoval.h"

#include <windows.h>

namespace
{
int showMessage (const juce::String& title, const juce::String& text, UINT style)
{
    return MessageBoxW (nullptr, text.toWideCharPointer(), title.toWideCharPointer(), style | MB_SETFOREGROUND);
}
} // namespace

Uninstaller::Uninstaller (const juce::StringArray& arguments) : args (arguments)
{
}

Uninstaller::~Uninstaller() = default;

int Uninstaller::run()
{
    for (int i = 0; i < args.size(); ++i)
    {
        if (args[i] == UninstallerProgram::quietOption)
            quiet = true;
        else if (args[i] == "--log" && i + 1 < args.size())
            logFile = juce::File::getCurrentWorkingDirectory().getChildFile (args[++i]);
        else
            return InstrumentSetup::usageError;
    }

    if (! findInstallation())
        return InstallerModel::notInstalled;

    if (! openReport())
        return InstrumentSetup::reportNotWritten;

    if (! quiet && ! confirm())
        return InstallerModel::interrupted;

    InstallerLog log;
    InstallerModel model;
    InstallerModel::EngineWait wait;
    wait.seconds = InstallerModel::defaultEngineWaitSeconds;
    const auto engine = model.start (log, InstallerModel::FrontEnd::uninstaller, wait);

    InstallerModel::Observer observer;
    const auto result = engine == InstallerModel::Engine::held ? (int) model.uninstall (company, instrument, observer)
                      : engine == InstallerModel::Engine::busy ? (int) InstrumentSetup::engineBusy
                                                               : (int) InstallerModel::writeFailed;

    if (result == InstallerModel::noError)
    {
        const auto removal = SelfRemoval::start (company, instrument);

        if (removal.failed())
            log.write (InstallerLog::installerCategory, removal.getErrorMessage());
    }

    writeReport (log);
    tell (result, log, model.programsHoldingFiles);
    return result;
}

/** The installation is the one whose data folder holds this program: data root / company / instrument. */
bool Uninstaller::findInstallation()
{
    const auto folder = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory();
    instrument = folder.getFileName();
    company = folder.getParentDirectory().getFileName();

    if (folder.getParentDirectory().getParentDirectory() == SystemFolders().getDataRoot())
        return true;

    if (! quiet)
        showMessage ("Uninstall", "This uninstaller is not in an instrument's folder: "
                                  + folder.getFullPathName(), MB_OK | MB_ICONERROR);

    return false;
}

bool Uninstaller::confirm() const
{
    return showMessage ("Uninstall " + instrument, "Remove " + instrument + " by " + company + " from this computer?",
                        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void Uninstaller::tell (int status, const InstallerLog& log, const juce::StringArray& holders) const
{
    if (quiet)
        return;

    if (status == InstallerModel::filesInUse)
    {
        // Where the system cannot name the programs, the run's last line says that one may be using the plug-in.
        showMessage ("Uninstall " + instrument, holders.isEmpty() ? log.getLastMessage() + ". Nothing was changed."
                                                                  : "These programs are using files of " + instrument + ": close them and run the"
                                                                    " uninstaller again. Nothing was changed.\n\n" + holders.joinIntoString ("\n"),
                     MB_OK | MB_ICONWARNING);
        return;
    }

    if (status == InstallerModel::noError)
        showMessage ("Uninstall " + instrument, instrument + " by " + company + " has been removed.", MB_OK | MB_ICONINFORMATION);
    else
        showMessage ("Uninstall " + instrument, instrument + " could not be removed, and nothing was changed:\n\n"
                                                + log.getLastMessage(), MB_OK | MB_ICONERROR);
}

/** Before anything is done, as instrument-setup does: a --log file that cannot be written stops the run. */
bool Uninstaller::openReport()
{
    if (logFile == juce::File())
        return true;

    auto result = juce::Result::ok();
    report = ReportFile::create (logFile, result);

    if (report == nullptr && ! quiet)
        showMessage ("Uninstall", "Cannot write the report to " + logFile.getFullPathName() + ": "
                                  + result.getErrorMessage(), MB_OK | MB_ICONERROR);

    return report != nullptr;
}

/** The removal is done by now: a report that cannot be written changes nothing of its outcome. */
void Uninstaller::writeReport (const InstallerLog& log)
{
    if (report != nullptr)
        report->write (log.getText());

    report.reset();
}

#endif
