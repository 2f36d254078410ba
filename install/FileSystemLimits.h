#pragma once

#include "install/TemporaryNames.h"

#include <optional>

/** Whether names and paths fit what the target file systems accept, counted in their own units.

    Linux file systems count UTF-8 bytes: 255 a name (NAME_MAX), 4096 a path with its terminating null
    (PATH_MAX). Windows counts UTF-16 code units: 255 a name, and, since long-path support is not assumed,
    260 a path with its terminating null (MAX_PATH), of which a folder that CreateDirectory makes may use
    only 248, leaving room for an 8.3 file name inside it.

    The installation gives its items temporary names beside their targets and stages them one folder
    deeper, so every check takes a reserve: the units that those names add to a name or to a path.
*/
class FileSystemLimits
{
public:
    enum class System
    {
        posix,      // the limits of Linux file systems
        windows
    };

    /** The system this program runs on. */
    static System getHostSystem() noexcept;

    static constexpr int maxNameBytes = 255;
    static constexpr int maxPathBytes = 4095;
    static constexpr int maxNameUnits = 255;
    static constexpr int maxFilePathUnits = 259;
    static constexpr int maxFolderPathUnits = 247;

    /** The units of the part of a path below the VST3 root's parent that names the root and the company
        folder, at the least: the root's name ("VST3" on Windows, ".vst3" elsewhere), a separator and a
        company name of one unit.
    */
    static constexpr int shortestVst3PartOfPath = 4 + 1 + 1;

    /** The reserves of an installation, from the names it gives its temporary items (TemporaryNames).
        An item is written beside its target under a temporary name, and what it replaces waits beside
        it under another: a name grows by the longest of them. The plug-in is unpacked into the staging
        folder, in the folder that holds the VST3 root, where each file has its temporary name first: a
        path grows by that too, and by the staging folder's part of it, less what that part stands for
        below the VST3 root, the root's own name and the company's.
    */
    static constexpr int installationNameReserve = TemporaryNames::longestAddedToName;
    static constexpr int installationPathReserve = installationNameReserve + TemporaryNames::stagingPartOfPath
                                                 - shortestVst3PartOfPath;

    static int countUtf8Bytes (const juce::String& text);
    static int countUtf16Units (const juce::String& text);

    /** A name or path that goes over a limit of the file system. */
    struct Excess
    {
        juce::String item;          // the name or full path
        juce::String unit;          // "UTF-8 bytes" or "UTF-16 units"
        int length = 0;             // with the reserve
        int limit = 0;

        /** "300 UTF-8 bytes, at most 255" */
        juce::String describe() const;
    };

    /** Whether `name`, made longer by `reserve` ASCII characters, is one name that `system` accepts. */
    static std::optional<Excess> checkName (const juce::String& name, int reserve, System system);

    /** Everything one installation creates: the monolith at
        dataRoot/company/instrument/instrument.rom, and every archive entry below vst3Root/company.
    */
    struct Layout
    {
        juce::String dataRoot, vst3Root;    // full paths as the target system spells them
        juce::String companyName, instrumentName;
        juce::StringArray archiveEntries;   // relative paths inside the plug-in archive, '/' between names
        int nameReserve = 0;                // units that a temporary name adds to a name
        int pathReserve = 0;                // units that temporary names add to a path, a staging folder included
    };

    /** The first name or path of the layout that `system` does not accept, every folder on the way
        included: names against the name limit, files and folders against the path limits.
    */
    static std::optional<Excess> checkLayout (const Layout& layout, System system);

private:
    FileSystemLimits() = delete;
};
