#include "install/SafeFileName.h"

#include <gtest/gtest.h>

TEST (SafeFileName, AcceptsPlainNamesAndRefusesWhatWindowsWouldMisread)
{
    const char* safe[] = { "Glass Piano", "Lumen Harbor", "a", ".hidden", "Beta.vst3", "x64", "CONSOLE", "COM",
                           "COM10", "nul-and-void", "Caf\xc3\xa9", " leading blank", "1.7.2" };

    for (const auto* name : safe)
        EXPECT_TRUE (SafeFileName::isSafe (juce::String::fromUTF8 (name))) << name;

    const juce::String unsafe[] = { "", ".", "..", "a/b", "a\\b", "C:", "a:b", "a*", "a?", "a\"b", "a<b", "a>b", "a|b",
                                    "tab\there", "line\nbreak", juce::String::charToString (0x7f),
                                    "dot.", "blank ", "CON", "con", "Con.txt", "NUL", "nul.tar.gz", "AUX", "PRN",
                                    "COM1", "com9", "LPT1", "COM0", "CONIN$", "NUL .txt",
                                    juce::String::fromUTF8 ("COM\xc2\xb9") };

    for (const auto& name : unsafe)
        EXPECT_FALSE (SafeFileName::isSafe (name)) << name;
}
