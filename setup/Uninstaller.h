#pragma once

#include <juce_core/juce_core.h>

#if JUCE_WINDOWS

class InstallerLog;
class ReportFile;

/** The uninstaller that an installation leaves in the instrument's data folder, and that Installed apps
    runs: it removes the installation it lies in. Without options it asks first and says how it went in
    a message box; with --quiet it shows nothing, and its exit status says how it went (the statuses of
    instrument-setup). --log FILE writes the report, as instrument-setup does (ReportFile).
*/
class Uninstaller
{
public:
    explicit Uninstaller (const juce::StringArray& args);
    ~Uninstaller();

    /** Removes the installation, then starts removing the uninstaller itself; returns the exit status. */
    int run();

private:
    bool findInstallation();
    bool openReport();
    bool confirm() const;
    void tell (int status, const InstallerLog& log, const juce::StringArray& holders) const;
    void writeReport (const InstallerLog& log);

    const juce::StringArray args;
    bool quiet = false;
    juce::File logFile;
    std::unique_ptr<ReportFile> report;
    juce::String company, instrument;

    JUCE_DECLARE_NON_COPYABLE (Uninstaller)
};

#endif
