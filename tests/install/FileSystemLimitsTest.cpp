#include "install/FileSystemLimits.h"

#include <gtest/gtest.h>

namespace
{
    using System = FileSystemLimits::System;

    juce::String repeated (const char* utf8, int times)
    {
        return juce::String::repeatedString (juce::String::fromUTF8 (utf8), times);
    }

    /** What a check found: "fits", or the excess as the log would show it. */
    juce::String verdict (const std::optional<FileSystemLimits::Excess>& excess)
    {
        return excess.has_value() ? excess->describe() : juce::String ("fits");
    }

    // The temporary names beside a target: "." + name + ".previous-" + 16 hex digits; and the staging
    // folder, one level deeper: separator, ".installing.partial-" and 16 hex digits.
    constexpr int temporaryNames = 27;
    constexpr int stagingFolder = 37;
}

TEST (FileSystemLimits, NamesAreCountedInTheUnitsOfEachFileSystem)
{
    const struct
    {
        const char* what;
        juce::String name;
        int reserve;
        const char* onLinux;
        const char* onWindows;
    } cases[] = {
        { "plain", "Glass Piano", temporaryNames, "fits", "fits" },
        { "accents", juce::String::fromUTF8 ("Caf\xc3\xa9 \xc3\x89toile"), temporaryNames, "fits", "fits" },
        { "Japanese", juce::String::fromUTF8 ("\xe3\x82\xac\xe3\x83\xa9\xe3\x82\xb9\xe3\x83\x94\xe3\x82\xa2\xe3\x83\x8e"), temporaryNames, "fits", "fits" },
        { "Cyrillic and Greek", juce::String::fromUTF8 ("\xd0\xa1\xd1\x82\xd0\xb5\xd0\xba\xd0\xbb\xd0\xbe \xce\xb1\xce\xb2"), temporaryNames, "fits", "fits" },
        { "emoji", juce::String::fromUTF8 ("Piano \xf0\x9f\x8e\xb9"), temporaryNames, "fits", "fits" },
        { "255 characters", repeated ("x", 255), 0, "fits", "fits" },
        { "256 characters", repeated ("x", 256), 0, "256 UTF-8 bytes, at most 255", "256 UTF-16 units, at most 255" },
        // Fits once, but not beside the temporary name that every later update gives it.
        { "240 characters", repeated ("x", 240), temporaryNames, "267 UTF-8 bytes, at most 255", "267 UTF-16 units, at most 255" },
        // 200 characters: two bytes each in UTF-8, one unit each in UTF-16.
        { "200 accented letters", repeated ("\xc3\xa9", 200), 0, "400 UTF-8 bytes, at most 255", "fits" },
        { "85 CJK characters", repeated ("\xe6\x97\xa5", 85), 0, "fits", "fits" },
        { "86 CJK characters", repeated ("\xe6\x97\xa5", 86), 0, "258 UTF-8 bytes, at most 255", "fits" },
        // Beyond the basic multilingual plane: four bytes, and two UTF-16 units (a surrogate pair).
        { "127 emoji", repeated ("\xf0\x9f\x8e\xb9", 127), 0, "508 UTF-8 bytes, at most 255", "fits" },
        { "128 emoji", repeated ("\xf0\x9f\x8e\xb9", 128), 0, "512 UTF-8 bytes, at most 255", "256 UTF-16 units, at most 255" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        EXPECT_EQ (verdict (FileSystemLimits::checkName (c.name, c.reserve, System::posix)), c.onLinux);
        EXPECT_EQ (verdict (FileSystemLimits::checkName (c.name, c.reserve, System::windows)), c.onWindows);
    }
}

TEST (FileSystemLimits, TheDeepestPathsOfAnInstallationFitTheWindowsPathLimit)
{
    const FileSystemLimits::Layout standard {
        "C:\\ProgramData", "C:\\Program Files\\Common Files\\VST3", "Lumen Harbor", "Glass Piano",
        { "GlassPiano.vst3/", "GlassPiano.vst3/Contents/x86_64-win/GlassPiano.vst3", "GlassPiano.vst3/desktop.ini" },
        temporaryNames, stagingFolder
    };

    // Lengths below count UTF-16 units: C:\Program Files\Common Files\VST3\Lumen Harbor\ is 48.
    const auto companyFolder = standard.vst3Root + "\\" + standard.companyName + "\\";
    ASSERT_EQ (companyFolder.length(), 48);

    const auto withEntries = [&] (juce::StringArray entries)
    {
        auto layout = standard;
        layout.archiveEntries = entries;
        return layout;
    };

    const auto withNames = [&] (const juce::String& company, const juce::String& instrument)
    {
        auto layout = standard;
        layout.companyName = company;
        layout.instrumentName = instrument;
        return layout;
    };

    // A file name that brings the entry's full path, with the reserve, to exactly n units.
    const auto entryOfPathLength = [&] (int n) { return "B.vst3/" + repeated ("f", n - stagingFolder - 48 - 7); };

    const struct
    {
        const char* what;
        FileSystemLimits::Layout layout;
        juce::String windows, item;
    } cases[] = {
        { "the demo instrument", standard, "fits", {} },
        { "a file path of 259 units", withEntries ({ entryOfPathLength (259) }), "fits", {} },
        { "a file path of 260 units", withEntries ({ entryOfPathLength (260) }), "260 UTF-16 units, at most 259",
          companyFolder + entryOfPathLength (260).replace ("/", "\\") },
        // A folder leaves room for an 8.3 name: 248 units is one too many, although a file could have them.
        { "a folder path of 248 units", withEntries ({ "B.vst3/" + repeated ("d", 248 - stagingFolder - 48 - 7) + "/f" }),
          "248 UTF-16 units, at most 247", companyFolder + "B.vst3\\" + repeated ("d", 248 - stagingFolder - 48 - 7) },
        { "an emoji counts twice", withEntries ({ "B.vst3/" + repeated ("\xf0\x9f\x8e\xb9", 70) + repeated ("f", 260 - stagingFolder - 48 - 7 - 140) }),
          "260 UTF-16 units, at most 259", {} },
        { "a long company name", withNames (repeated ("c", 200), "Glass Piano"), "252 UTF-16 units, at most 247",
          standard.dataRoot + "\\" + repeated ("c", 200) },
        { "a long instrument name", withNames ("Lumen Harbor", repeated ("i", 100)), "270 UTF-16 units, at most 259",
          standard.dataRoot + "\\Lumen Harbor\\" + repeated ("i", 100) + "\\" + repeated ("i", 100) + ".rom" },
        { "a long archive name", withEntries ({ repeated ("n", 229) + "/" }), "256 UTF-16 units, at most 255", repeated ("n", 229) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto excess = FileSystemLimits::checkLayout (c.layout, System::windows);
        EXPECT_EQ (verdict (excess), c.windows);

        if (c.item.isNotEmpty())
        {
            ASSERT_TRUE (excess.has_value());
            EXPECT_EQ (excess->item, c.item);
        }
    }
}

TEST (FileSystemLimits, LinuxPathsAreLongButNamesAreCountedInBytes)
{
    const FileSystemLimits::Layout layout {
        "/usr/share", "/usr/lib/vst3", juce::String::fromUTF8 ("Caf\xc3\xa9"), repeated ("\xc3\xa9", 114),
        { "B.vst3/" + repeated ("d", 200) + "/" + repeated ("e", 200) + "/f" }, temporaryNames, stagingFolder
    };

    // A path of 500 bytes is fine; an instrument name of 114 letters (228 bytes) is not beside its
    // temporary names, since the monolith is instrument name + ".rom".
    const auto excess = FileSystemLimits::checkLayout (layout, System::posix);
    ASSERT_TRUE (excess.has_value());
    EXPECT_EQ (excess->item, repeated ("\xc3\xa9", 114) + ".rom");
    EXPECT_EQ (excess->describe(), "259 UTF-8 bytes, at most 255");

    auto shorter = layout;
    shorter.instrumentName = repeated ("\xc3\xa9", 112);
    EXPECT_FALSE (FileSystemLimits::checkLayout (shorter, System::posix).has_value());

    // Twenty-one folders of 200 bytes reach past 4095 bytes.
    auto tooDeep = shorter;
    tooDeep.archiveEntries = { juce::String::repeatedString (repeated ("d", 200) + "/", 21) + "f" };
    const auto deep = FileSystemLimits::checkLayout (tooDeep, System::posix);
    ASSERT_TRUE (deep.has_value());
    EXPECT_EQ (deep->unit, "UTF-8 bytes");
    EXPECT_EQ (deep->limit, 4095);
}
