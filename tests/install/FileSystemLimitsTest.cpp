#include "InstallTestSupport.h"

#include "fs/CheckedFile.h"
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

    // The reserves the check takes for the installation's temporary names.
    constexpr int nameReserve = FileSystemLimits::installationNameReserve;
    constexpr int pathReserve = FileSystemLimits::installationPathReserve;
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
        { "plain", "Glass Piano", nameReserve, "fits", "fits" },
        { "accents", juce::String::fromUTF8 ("Caf\xc3\xa9 \xc3\x89toile"), nameReserve, "fits", "fits" },
        { "Japanese", juce::String::fromUTF8 ("\xe3\x82\xac\xe3\x83\xa9\xe3\x82\xb9\xe3\x83\x94\xe3\x82\xa2\xe3\x83\x8e"), nameReserve, "fits", "fits" },
        { "Cyrillic and Greek", juce::String::fromUTF8 ("\xd0\xa1\xd1\x82\xd0\xb5\xd0\xba\xd0\xbb\xd0\xbe \xce\xb1\xce\xb2"), nameReserve, "fits", "fits" },
        { "emoji", juce::String::fromUTF8 ("Piano \xf0\x9f\x8e\xb9"), nameReserve, "fits", "fits" },
        { "255 characters", repeated ("x", 255), 0, "fits", "fits" },
        { "256 characters", repeated ("x", 256), 0, "256 UTF-8 bytes, at most 255", "256 UTF-16 units, at most 255" },
        // Fits once, but not beside the temporary names that every later update gives it.
        { "a name the temporary names take to the limit", repeated ("x", 255 - nameReserve), nameReserve, "fits", "fits" },
        { "one character more", repeated ("x", 256 - nameReserve), nameReserve, "256 UTF-8 bytes, at most 255", "256 UTF-16 units, at most 255" },
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
        nameReserve, pathReserve
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
    const auto entryOfPathLength = [&] (int n) { return "B.vst3/" + repeated ("f", n - pathReserve - 48 - 7); };

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
        { "a folder path of 248 units", withEntries ({ "B.vst3/" + repeated ("d", 248 - pathReserve - 48 - 7) + "/f" }),
          "248 UTF-16 units, at most 247", companyFolder + "B.vst3\\" + repeated ("d", 248 - pathReserve - 48 - 7) },
        { "an emoji counts twice", withEntries ({ "B.vst3/" + repeated ("\xf0\x9f\x8e\xb9", 50) + repeated ("f", 260 - pathReserve - 48 - 7 - 100) }),
          "260 UTF-16 units, at most 259", {} },
        // C:\ProgramData\ is 15 units, C:\ProgramData\Lumen Harbor\ 28.
        { "a long company name", withNames (repeated ("c", 248 - pathReserve - 15), "Glass Piano"), "248 UTF-16 units, at most 247",
          standard.dataRoot + "\\" + repeated ("c", 248 - pathReserve - 15) },
        { "a long instrument name", withNames ("Lumen Harbor", repeated ("i", (260 - pathReserve - 28 - 5) / 2)), "260 UTF-16 units, at most 259",
          standard.dataRoot + "\\Lumen Harbor\\" + repeated ("i", (260 - pathReserve - 28 - 5) / 2) + "\\"
              + repeated ("i", (260 - pathReserve - 28 - 5) / 2) + ".rom" },
        { "a long archive name", withEntries ({ repeated ("n", 256 - nameReserve) + "/" }), "256 UTF-16 units, at most 255",
          repeated ("n", 256 - nameReserve) },
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
    // The most accented letters (two bytes each) an instrument name can have: the monolith is
    // instrument name + ".rom", and its temporary names are longer still.
    const auto mostLetters = (255 - 4 - nameReserve) / 2;
    const FileSystemLimits::Layout layout {
        "/usr/share", "/usr/lib/vst3", juce::String::fromUTF8 ("Caf\xc3\xa9"), repeated ("\xc3\xa9", mostLetters + 2),
        { "B.vst3/" + repeated ("d", 200) + "/" + repeated ("e", 200) + "/f" }, nameReserve, pathReserve
    };

    // A path of 500 bytes is fine; an instrument name of two letters more is not.
    const auto excess = FileSystemLimits::checkLayout (layout, System::posix);
    ASSERT_TRUE (excess.has_value());
    EXPECT_EQ (excess->item, repeated ("\xc3\xa9", mostLetters + 2) + ".rom");
    EXPECT_EQ (excess->describe(), juce::String (2 * (mostLetters + 2) + 4 + nameReserve) + " UTF-8 bytes, at most 255");

    auto shorter = layout;
    shorter.instrumentName = repeated ("\xc3\xa9", mostLetters);
    EXPECT_FALSE (FileSystemLimits::checkLayout (shorter, System::posix).has_value());

    // Twenty-one folders of 200 bytes reach past 4095 bytes.
    auto tooDeep = shorter;
    tooDeep.archiveEntries = { juce::String::repeatedString (repeated ("d", 200) + "/", 21) + "f" };
    const auto deep = FileSystemLimits::checkLayout (tooDeep, System::posix);
    ASSERT_TRUE (deep.has_value());
    EXPECT_EQ (deep->unit, "UTF-8 bytes");
    EXPECT_EQ (deep->limit, 4095);
}

TEST (FileSystemLimits, TheReservesHoldTheInstallationsTemporaryNames)
{
    // The names made as the installation makes them: a shape longer than the reserves allow for fails here.
    InstallTestSupport::Sandbox sandbox;
    const auto folder = CheckedFolder::openRoot (sandbox.folder);
    const auto newFileName = [&] (const juce::String& name)
    {
        auto result = juce::Result::ok();
        const auto file = folder.createFile (TemporaryNames::newFilePrefix (name), result);
        return file != nullptr ? file->getName() : juce::String();
    };

    // A name that the check lets through with nothing to spare: each of its temporary names fits.
    const auto name = repeated ("n", 255 - nameReserve);
    ASSERT_FALSE (FileSystemLimits::checkName (name, nameReserve, System::posix).has_value());

    for (const auto& temporary : { newFileName (name), TemporaryNames::asideName (name) })
    {
        EXPECT_TRUE (TemporaryNames::isTemporaryName (temporary)) << temporary;
        EXPECT_LE (temporary.length(), 255) << temporary;
    }

    // A file of the plug-in whose path the check lets through with nothing to spare, for a company of
    // one letter: it is first written in the staging folder, under its temporary name, and that fits too.
    const juce::String stagingRoot ("C:\\Program Files\\Common Files"), vst3Root (stagingRoot + "\\VST3");
    const auto fileName = repeated ("f", 259 - pathReserve - (vst3Root + "\\L\\B.vst3\\").length());
    const FileSystemLimits::Layout layout { "C:\\ProgramData", vst3Root, "L", "I", { "B.vst3/" + fileName }, nameReserve, pathReserve };
    ASSERT_FALSE (FileSystemLimits::checkLayout (layout, System::windows).has_value());

    const auto staging = folder.createFolder (TemporaryNames::stagingPrefix).getFile().getFileName();
    const auto stagedFile = newFileName (fileName);
    ASSERT_TRUE (TemporaryNames::isTemporaryName (staging)) << staging;
    ASSERT_TRUE (TemporaryNames::isTemporaryName (stagedFile)) << stagedFile;

    const auto staged = stagingRoot + "\\" + staging + "\\" + TemporaryNames::unpackedFolder + "\\B.vst3\\" + stagedFile;
    EXPECT_LE (staged.length(), 259) << staged;
}
