#include "model/ParameterCatalogue.h"
#include "resources/EmbeddedResourceTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
struct ExpectedResource
{
    const char* name;
    const char* fileName;
    bool isAiff;
    juce::uint32 frames;
    size_t bytes;
    const char* choice;
};

const ExpectedResource expectedResources[] {
    { "Large_Church_aif", "Large Church.aif", true, 175356, 1052190, "Church" },
    { "Large_Hall_aif", "Large Hall.aif", true, 133403, 800472, "Hall" },
    { "Large_Plate_aif", "Large Plate.aif", true, 135545, 813324, "Plate" },
    { "Large_Room_aif", "Large Room.aif", true, 68954, 413778, "Room" },
    { "Space4ArtGallery_wav", "Space4ArtGallery.wav", false, 73768, 442652, "Gallery" },
};

// What a file's header says, parsed independently of the generator.
struct AudioHeader
{
    juce::String error;
    int channels = 0, bits = 0;
    double sampleRate = 0.0;
    juce::uint32 frames = 0;
};

juce::uint32 bigEndian32 (const juce::uint8* p)     { return juce::ByteOrder::bigEndianInt (p); }
juce::uint32 littleEndian32 (const juce::uint8* p)  { return juce::ByteOrder::littleEndianInt (p); }
bool tagIs (const juce::uint8* p, const char* tag)  { return std::memcmp (p, tag, 4) == 0; }

double readExtended80 (const juce::uint8* p)
{
    const auto exponent = (int) (((p[0] & 0x7f) << 8) | p[1]) - 16383;
    juce::uint64 mantissa = 0;

    for (int i = 2; i < 10; ++i)
        mantissa = (mantissa << 8) | p[i];

    return std::ldexp ((double) mantissa, exponent - 63);
}

AudioHeader parseAiff (const juce::uint8* data, size_t size)
{
    AudioHeader header;

    if (size < 12 || ! tagIs (data, "FORM") || ! tagIs (data + 8, "AIFF"))
        return { "no FORM/AIFF header" };

    if (bigEndian32 (data + 4) != size - 8)
        return { "FORM size does not match the file" };

    bool haveComm = false, haveSound = false;

    for (size_t pos = 12; pos + 8 <= size;)
    {
        const auto* chunk = data + pos;
        const auto chunkSize = (size_t) bigEndian32 (chunk + 4);

        if (pos + 8 + chunkSize > size)
            return { "chunk runs past the end" };

        if (tagIs (chunk, "COMM"))
        {
            if (chunkSize != 18)
                return { "COMM is not 18 bytes" };

            header.channels = (int) juce::ByteOrder::bigEndianShort (chunk + 8);
            header.frames = bigEndian32 (chunk + 10);
            header.bits = (int) juce::ByteOrder::bigEndianShort (chunk + 14);
            header.sampleRate = readExtended80 (chunk + 16);
            haveComm = true;
        }
        else if (tagIs (chunk, "SSND"))
        {
            if (bigEndian32 (chunk + 8) != 0 || bigEndian32 (chunk + 12) != 0)
                return { "SSND offset or block size is not 0" };

            if (! haveComm || chunkSize - 8 != (size_t) header.frames * (size_t) header.channels * (size_t) (header.bits / 8))
                return { "SSND size does not match COMM" };

            haveSound = true;
        }

        pos += 8 + chunkSize + (chunkSize & 1);
    }

    if (! (haveComm && haveSound))
        return { "COMM or SSND missing" };

    return header;
}

AudioHeader parseWav (const juce::uint8* data, size_t size)
{
    AudioHeader header;

    if (size < 12 || ! tagIs (data, "RIFF") || ! tagIs (data + 8, "WAVE"))
        return { "no RIFF/WAVE header" };

    if (littleEndian32 (data + 4) != size - 8)
        return { "RIFF size does not match the file" };

    bool haveFormat = false, haveData = false;

    for (size_t pos = 12; pos + 8 <= size;)
    {
        const auto* chunk = data + pos;
        const auto chunkSize = (size_t) littleEndian32 (chunk + 4);

        if (pos + 8 + chunkSize > size)
            return { "chunk runs past the end" };

        if (tagIs (chunk, "fmt "))
        {
            if (chunkSize != 16)
                return { "fmt is not 16 bytes" };

            if (juce::ByteOrder::littleEndianShort (chunk + 8) != 1)
                return { "format is not PCM (1)" };

            header.channels = (int) juce::ByteOrder::littleEndianShort (chunk + 10);
            header.sampleRate = (double) littleEndian32 (chunk + 12);
            const auto byteRate = littleEndian32 (chunk + 16);
            const auto blockAlign = juce::ByteOrder::littleEndianShort (chunk + 20);
            header.bits = (int) juce::ByteOrder::littleEndianShort (chunk + 22);

            if (blockAlign != 6 || byteRate != (juce::uint32) header.sampleRate * blockAlign)
                return { "block align is not 6 or byte rate is wrong" };

            haveFormat = true;
        }
        else if (tagIs (chunk, "data"))
        {
            if (! haveFormat || chunkSize % 6 != 0)
                return { "data chunk before fmt or not whole frames" };

            header.frames = (juce::uint32) (chunkSize / 6);
            haveData = true;
        }

        pos += 8 + chunkSize + (chunkSize & 1);
    }

    if (! (haveFormat && haveData))
        return { "fmt or data missing" };

    return header;
}

TEST (EmbeddedResourcesTest, TablesHoldTheFiveResourcesInOrderWithIdentifierSafeNames)
{
    ASSERT_EQ (EmbeddedResources::numResources, std::size (expectedResources));

    for (size_t i = 0; i < EmbeddedResources::numResources; ++i)
    {
        const auto& expected = expectedResources[i];
        EXPECT_STREQ (EmbeddedResources::resourceNames[i], expected.name);
        EXPECT_STREQ (EmbeddedResources::resourceFileNames[i], expected.fileName);

        // A resource name is its file name with everything but letters and digits made '_'.
        auto derived = juce::String (expected.fileName);
        for (int c = 0; c < derived.length(); ++c)
            if (! juce::CharacterFunctions::isLetterOrDigit (derived[c]))
                derived = derived.replaceSection (c, 1, "_");

        EXPECT_EQ (derived, juce::String (EmbeddedResources::resourceNames[i]));
        EXPECT_TRUE (ParameterCatalogue::reverbImpulseChoices.contains (expected.choice));
    }

    EXPECT_EQ (EmbeddedResources::getResourceData (5), nullptr);
    EXPECT_EQ (EmbeddedResources::getResourceSize (5), 0u);
}

TEST (EmbeddedResourcesTest, EveryFileHeaderMatchesItsFigures)
{
    for (size_t i = 0; i < EmbeddedResources::numResources; ++i)
    {
        const auto& expected = expectedResources[i];
        SCOPED_TRACE (expected.fileName);

        const auto* data = reinterpret_cast<const juce::uint8*> (EmbeddedResources::getResourceData (i));
        const auto size = EmbeddedResources::getResourceSize (i);
        ASSERT_NE (data, nullptr);
        EXPECT_EQ (size, expected.bytes);

        const auto header = expected.isAiff ? parseAiff (data, size) : parseWav (data, size);
        ASSERT_TRUE (header.error.isEmpty()) << header.error;
        EXPECT_EQ (header.channels, 2);
        EXPECT_EQ (header.bits, 24);
        EXPECT_EQ (header.sampleRate, 44100.0);
        EXPECT_EQ (header.frames, expected.frames);
    }
}

TEST (EmbeddedResourcesTest, ImpulseResponsesStartLoudAndDecay)
{
    // Frames are 6 bytes; compare the loudness of the first and last tenth of the left channel.
    for (size_t i = 0; i < EmbeddedResources::numResources; ++i)
    {
        SCOPED_TRACE (expectedResources[i].fileName);
        const auto* data = reinterpret_cast<const juce::uint8*> (EmbeddedResources::getResourceData (i));
        const auto soundStart = expectedResources[i].isAiff ? (size_t) 54 : (size_t) 44;
        const auto frames = (size_t) expectedResources[i].frames;

        const auto peakOf = [&] (size_t firstFrame, size_t numFrames)
        {
            int peak = 0;

            for (size_t f = firstFrame; f < firstFrame + numFrames; ++f)
            {
                const auto* s = data + soundStart + f * 6;
                const auto raw = expectedResources[i].isAiff ? (s[0] << 16) | (s[1] << 8) | s[2]
                                                             : (s[2] << 16) | (s[1] << 8) | s[0];
                peak = std::max (peak, std::abs ((raw ^ 0x800000) - 0x800000));
            }

            return peak;
        };

        const auto head = peakOf (0, frames / 10);
        EXPECT_GT (head, 1 << 20);
        EXPECT_LT (peakOf (frames - frames / 10, frames / 10) * 100, head);
    }
}
} // namespace
