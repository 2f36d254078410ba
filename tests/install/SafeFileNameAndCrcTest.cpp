#include "install/Crc32.h"
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
                                    juce::String::fromUTF8 ("COM\xc2\xb9"), juce::String::repeatedString ("x", 256) };

    for (const auto& name : unsafe)
        EXPECT_FALSE (SafeFileName::isSafe (name)) << name;

    EXPECT_TRUE (SafeFileName::isSafe (juce::String::repeatedString ("x", 255)));
}

TEST (Crc32, MatchesTheZipChecksumInOneGoAndInPieces)
{
    EXPECT_EQ (Crc32::of ("123456789", 9), 0xcbf43926u);
    EXPECT_EQ (Crc32::of ("", 0), 0u);

    // Every length and split around the eight-byte steps, against the bit-at-a-time definition.
    juce::HeapBlock<juce::uint8> data (100);
    juce::Random random (11);
    for (int i = 0; i < 100; ++i)
        data[i] = (juce::uint8) random.nextInt (256);

    const auto bitwise = [] (const juce::uint8* p, size_t length)
    {
        juce::uint32 c = 0xffffffffu;

        for (size_t i = 0; i < length; ++i)
        {
            c ^= p[i];
            for (int bit = 0; bit < 8; ++bit)
                c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
        }

        return ~c;
    };

    for (size_t length = 0; length <= 40; ++length)
    {
        // An odd start: no alignment is assumed.
        const auto* p = data + 1;
        const auto expected = bitwise (p, length);
        EXPECT_EQ (Crc32::of (p, length), expected) << length;

        for (size_t split = 0; split <= length; split += 3)
        {
            Crc32 crc;
            crc.update (p, split);
            crc.update (p + split, length - split);
            EXPECT_EQ (crc.getValue(), expected) << length << " split at " << split;
        }
    }
}
