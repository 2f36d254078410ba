#pragma once

#include <juce_core/juce_core.h>

/** Every folder the installation engine reads from or writes to.

    On Windows these are the system's machine-wide locations, which need the administrator rights the
    installer runs with. Elsewhere they are per-user places, so that the engine runs without root and a
    test can redirect all of them by setting HOME (or by overriding the methods).
*/
class SystemFolders
{
public:
    SystemFolders() = default;
    virtual ~SystemFolders() = default;

    virtual juce::File getInstallerExecutable() const;
    virtual juce::File getHomeFolder() const;
    virtual juce::File getDownloadsFolder() const;
    virtual juce::File getDesktopFolder() const;

    /** The folder below which the monolith is installed as company/instrument/instrument.rom. */
    virtual juce::File getDataRoot() const;

    /** The folder below which the plug-in is unpacked into company/. */
    virtual juce::File getVst3Root() const;

    virtual juce::File getTemporaryFolder() const;

    /** The engine's own folder for what only the engine may write: the journals of its runs and the lock
        that lets one engine run at a time. Where no other user can make a folder first: on Windows beside
        the VST3 root under Common Files (only the administrators create folders there), elsewhere in the
        user's state folder ($XDG_STATE_HOME when absolute, else ~/.local/state).
    */
    virtual juce::File getStateFolder() const;

    /** The name of the engine's state folder in its parent. */
    static constexpr const char* stateFolderName = "Instrument Installer";

private:
    JUCE_DECLARE_NON_COPYABLE (SystemFolders)
};
