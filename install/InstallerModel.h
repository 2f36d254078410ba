#pragma once

#include "install/SystemFolders.h"

#include <juce_graphics/juce_graphics.h>

#include <atomic>
#include <functional>
#include <memory>

class InstallerLog;

/** Everything one installation run knows, and its two long operations: the monolith check and the
    installation. Both run on the worker thread, store progress milestones in 0 .. 1 and return an
    InstallerComponent::ErrorType value as a plain int.
*/
class InstallerModel
{
public:
    explicit InstallerModel (std::unique_ptr<SystemFolders> folders = std::make_unique<SystemFolders>());
    ~InstallerModel();

    /** Checks `monolithFile` and prepares names, targets, the plug-in archive, screenshot and licence.
        Returns 0, 1 (invalid data), 2 (missing data), 4 (data folder not writable) or 5 (archive not
        written), or 6 when `shouldExit` asked to stop while the plug-in archive was being copied out.
        Instrument and company names that are not one safe file name each count as missing (code 1).
    */
    int processMonolith (std::atomic<double>& progress, const std::function<bool()>& shouldExit = {});

    /** Copies the monolith into place and unpacks the plug-in archive. Returns 0, 5 on any failure, or
        6 when `shouldExit` asked to stop (checked between steps and between the blocks of every copy).
        Everything is written under temporary names, verified, and only then renamed into place, so
        after a failure or a stop the target folders are exactly as they were before the run.
    */
    int install (std::atomic<double>& progress, const std::function<bool()>& shouldExit = {});

    /** Looks for a monolith next to the installer, then in Downloads and on the desktop. Message thread. */
    juce::File findMonolith();

    /** The screenshot the check loaded; null when the monolith has none. Safe from any thread. */
    juce::Image getScreenshot() const;

    const SystemFolders& getFolders() const noexcept    { return *folders; }

    //==============================================================================
    // Written by the operations on the worker thread; read elsewhere only after the job has ended.
    std::unique_ptr<juce::TemporaryFile> vst3TempFile;
    juce::String instrumentName, companyName;
    juce::File monolithFile, monolithInstallFile, vst3Folder;
    juce::String eulaText;
    InstallerLog* log = nullptr;

    /** The pause after each installation stage, so that every stage stays visible on the progress bar. */
    int stepPauseMs = 500;

    static constexpr const char* vst3EntryName = "PLUGIN_BINARY_VST3_WIN64";
    static constexpr const char* screenshotEntryName = "SCREENSHOT";

private:
    void write (const juce::String& message) const;
    void setScreenshot (const juce::Image& newImage);

    std::unique_ptr<SystemFolders> folders;

    // The input-check page paints the screenshot while the check replaces it.
    juce::Image screenshot;
    juce::CriticalSection screenshotLock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallerModel)
};
