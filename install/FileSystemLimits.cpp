#include "install/FileSystemLimits.h"

namespace
{
    struct Rules
    {
        const char* unit;
        int (*measure) (const juce::String&);
        int maxName, maxFilePath, maxFolderPath;
        juce::juce_wchar separator;
    };

    Rules rulesFor (FileSystemLimits::System system)
    {
        if (system == FileSystemLimits::System::windows)
            return { "UTF-16 units", FileSystemLimits::countUtf16Units, FileSystemLimits::maxNameUnits,
                     FileSystemLimits::maxFilePathUnits, FileSystemLimits::maxFolderPathUnits, '\\' };

        return { "UTF-8 bytes", FileSystemLimits::countUtf8Bytes, FileSystemLimits::maxNameBytes,
                 FileSystemLimits::maxPathBytes, FileSystemLimits::maxPathBytes, '/' };
    }

    std::optional<FileSystemLimits::Excess> measureAgainst (const Rules& rules, const juce::String& item, int reserve, int limit)
    {
        const auto length = rules.measure (item) + reserve;

        if (length <= limit)
            return {};

        return FileSystemLimits::Excess { item, rules.unit, length, limit };
    }

    juce::String join (const juce::String& folder, const juce::String& name, juce::juce_wchar separator)
    {
        return folder.endsWithChar (separator) ? folder + name : folder + juce::String::charToString (separator) + name;
    }

    /** Checks `names` one below the other under `root`: each name, and each path as a folder except the
        last, which is checked as `lastIsFolder` says.
    */
    std::optional<FileSystemLimits::Excess> checkBranch (const Rules& rules, const juce::String& root, const juce::StringArray& names,
                                                         bool lastIsFolder, const FileSystemLimits::Layout& layout)
    {
        auto path = root;

        for (int i = 0; i < names.size(); ++i)
        {
            path = join (path, names[i], rules.separator);
            const auto isFolder = i < names.size() - 1 || lastIsFolder;

            if (auto excess = measureAgainst (rules, names[i], layout.nameReserve, rules.maxName))
                return excess;

            if (auto excess = measureAgainst (rules, path, layout.pathReserve, isFolder ? rules.maxFolderPath : rules.maxFilePath))
                return excess;
        }

        return {};
    }
}

FileSystemLimits::System FileSystemLimits::getHostSystem() noexcept
{
   #if JUCE_WINDOWS
    return System::windows;
   #else
    return System::posix;
   #endif
}

int FileSystemLimits::countUtf8Bytes (const juce::String& text)
{
    return (int) text.getNumBytesAsUTF8();
}

int FileSystemLimits::countUtf16Units (const juce::String& text)
{
    // Code points beyond the basic multilingual plane take a surrogate pair.
    int units = 0;

    for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
        units += *p >= 0x10000 ? 2 : 1;

    return units;
}

juce::String FileSystemLimits::Excess::describe() const
{
    return juce::String (length) + " " + unit + ", at most " + juce::String (limit);
}

std::optional<FileSystemLimits::Excess> FileSystemLimits::checkName (const juce::String& name, int reserve, System system)
{
    const auto rules = rulesFor (system);
    return measureAgainst (rules, name, reserve, rules.maxName);
}

std::optional<FileSystemLimits::Excess> FileSystemLimits::checkLayout (const Layout& layout, System system)
{
    const auto rules = rulesFor (system);
    const juce::StringArray monolithBranch { layout.companyName, layout.instrumentName, layout.instrumentName + ".rom" };

    if (auto excess = checkBranch (rules, layout.dataRoot, monolithBranch, false, layout))
        return excess;

    if (auto excess = checkBranch (rules, layout.vst3Root, { layout.companyName }, true, layout))
        return excess;

    const auto companyFolder = join (layout.vst3Root, layout.companyName, rules.separator);

    for (const auto& entry : layout.archiveEntries)
    {
        // A trailing separator marks a folder entry.
        const auto isFolder = entry.endsWithChar ('/');
        auto names = juce::StringArray::fromTokens (entry, "/", {});
        names.removeEmptyStrings();

        if (auto excess = checkBranch (rules, companyFolder, names, isFolder, layout))
            return excess;
    }

    return {};
}
