#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/** The uninstaller that an installation on Windows leaves in the instrument's data folder, and that
    Installed apps runs. The programs that install carry it as a resource (setup/CMakeLists.txt embeds
    the built uninstaller in them); elsewhere there is none, and `instrument-setup uninstall` does its work.
*/
class UninstallerProgram
{
public:
    /** Its name in the instrument's data folder. */
    static constexpr const char* fileName = "uninstall.exe";

    /** The option that makes it remove the installation without asking or showing anything. */
    static constexpr const char* quietOption = "--quiet";

    /** The name of the resource that holds it in the programs that install. */
    static constexpr const char* resourceName = "INSTRUMENT_UNINSTALLER";

    /** The uninstaller's bytes, from the running program's own resources; null when it carries none. */
    static std::unique_ptr<juce::InputStream> open();

private:
    UninstallerProgram() = delete;
};
