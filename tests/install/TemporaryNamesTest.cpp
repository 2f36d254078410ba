// The installation's temporary names are recognised by their shapes, as made now and as earlier journals
// recorded them, and nothing that only looks like one is taken for one.

#include "install/TemporaryNames.h"

#include <gtest/gtest.h>

namespace
{
const juce::String digits ("0123456789abcdef0123456789abcdef");
}

TEST (TemporaryNames, OnlyTheEngineOwnShapesAreRecognised)
{
    const struct
    {
        const char* what;
        juce::String name;
        bool isTemporary;
    } cases[] = {
        { "a new file, as journals record it", ".Beta.rom.partial-" + digits, true },
        { "an item aside", ".Beta.rom.previous-" + digits, true },
        { "the staging folder", ".installing-" + digits, true },
        { "a new file made now", TemporaryNames::newFilePrefix ("Beta.vst3") + digits, true },
        { "an item aside made now", TemporaryNames::asideName ("Beta.rom"), true },
        { "the installed item itself", "Beta.rom", false },
        { "a digit short", ".Beta.rom.partial-" + digits.dropLastCharacters (1), false },
        { "a digit more", ".Beta.rom.previous-" + digits + "0", false },
        { "capital digits", ".installing-" + digits.toUpperCase(), false },
        { "not hidden", "Beta.rom.partial-" + digits, false },
        { "no item named", "..partial-" + digits, false },
        { "a path for a name", ".Alpha/Beta.rom.partial-" + digits, false },
        { "a staging folder with a name", ".Beta.installing-" + digits, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        EXPECT_EQ (TemporaryNames::isTemporaryName (c.name), c.isTemporary) << c.name;
    }

    // Each shape on its own, as a journal's check asks for the shape that its place calls for.
    EXPECT_TRUE (TemporaryNames::isNewFileName (TemporaryNames::newFileName ("Beta.rom")));
    EXPECT_TRUE (TemporaryNames::isAsideNameOf (TemporaryNames::asideName ("Beta.rom"), "Beta.rom"));
    EXPECT_TRUE (TemporaryNames::isStagingName (TemporaryNames::stagingName()));
    EXPECT_FALSE (TemporaryNames::isNewFileName (TemporaryNames::asideName ("Beta.rom")));
    EXPECT_FALSE (TemporaryNames::isNewFileName (".Beta.rom.partial-"));
    EXPECT_FALSE (TemporaryNames::isAsideNameOf (TemporaryNames::asideName ("Gamma.rom"), "Beta.rom"));
    EXPECT_FALSE (TemporaryNames::isStagingName (TemporaryNames::stagingPrefix));

    EXPECT_TRUE (TemporaryNames::isCreatedWith (".Beta.rom.partial-" + digits, ".Beta.rom.partial-"));
    EXPECT_FALSE (TemporaryNames::isCreatedWith (".Gamma.rom.partial-" + digits, ".Beta.rom.partial-"));
}
