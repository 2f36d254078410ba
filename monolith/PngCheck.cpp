#include "monolith/PngCheck.h"

#include "monolith/Crc32.h"

#include <cstring>

namespace
{
    const juce::uint8 pngSignature[] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n' };

    struct PngHeader
    {
        juce::uint32 width = 0, height = 0;
        int bitDepth = 0, colourType = 0, interlace = 0;

        int getChannels() const noexcept
        {
            switch (colourType)
            {
                case 2:  return 3;
                case 4:  return 2;
                case 6:  return 4;
                default: return 1;
            }
        }

        bool isValid (juce::uint32 maxSide) const noexcept
        {
            const auto depthAllowed = [this]
            {
                switch (colourType)
                {
                    case 0:  return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
                    case 3:  return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
                    case 2:
                    case 4:
                    case 6:  return bitDepth == 8 || bitDepth == 16;
                    default: return false;
                }
            }();

            return depthAllowed && width > 0 && height > 0 && width <= maxSide && height <= maxSide;
        }

        size_t getRowBytes (juce::uint32 numPixels) const noexcept
        {
            return ((size_t) numPixels * (size_t) getChannels() * (size_t) bitDepth + 7) / 8;
        }
    };

    /** Inflates the image data row by row: every row must start with a known filter type, and the data
        must hold exactly the rows that the header promises.
    */
    bool imageDataMatchesHeader (const juce::MemoryBlock& compressed, const PngHeader& header)
    {
        juce::GZIPDecompressorInputStream inflater (new juce::MemoryInputStream (compressed, false), true,
                                                    juce::GZIPDecompressorInputStream::zlibFormat);
        juce::HeapBlock<char> row (header.getRowBytes (header.width) + 1);

        struct Pass { juce::uint32 x, y, dx, dy; };
        static const Pass wholeImage[] = { { 0, 0, 1, 1 } };
        static const Pass adam7[] = { { 0, 0, 8, 8 }, { 4, 0, 8, 8 }, { 0, 4, 4, 8 }, { 2, 0, 4, 4 },
                                      { 0, 2, 2, 4 }, { 1, 0, 2, 2 }, { 0, 1, 1, 2 } };

        const auto* passes = header.interlace == 0 ? wholeImage : adam7;
        const auto numPasses = header.interlace == 0 ? 1 : 7;

        for (int p = 0; p < numPasses; ++p)
        {
            const auto& pass = passes[p];
            const auto passWidth = header.width > pass.x ? (header.width - pass.x + pass.dx - 1) / pass.dx : 0;
            const auto passHeight = header.height > pass.y ? (header.height - pass.y + pass.dy - 1) / pass.dy : 0;

            if (passWidth == 0 || passHeight == 0)
                continue;

            const auto rowSize = (int) header.getRowBytes (passWidth) + 1;

            for (juce::uint32 y = 0; y < passHeight; ++y)
                if (inflater.read (row.get(), rowSize) != rowSize || (juce::uint8) row[0] > 4)
                    return false;
        }

        char extra;
        return inflater.read (&extra, 1) == 0;
    }
}

bool PngCheck::isDecodable (const juce::MemoryBlock& png, juce::uint32 maxSide)
{
    const auto* data = static_cast<const juce::uint8*> (png.getData());
    const auto size = png.getSize();

    if (size < sizeof (pngSignature) || memcmp (data, pngSignature, sizeof (pngSignature)) != 0)
        return false;

    PngHeader header;
    juce::MemoryBlock compressed;
    bool seenHeader = false, seenPalette = false, seenData = false, dataEnded = false;

    for (size_t pos = sizeof (pngSignature); pos + 12 <= size;)
    {
        const auto length = (size_t) juce::ByteOrder::bigEndianInt (data + pos);

        if (length > size - pos - 12)
            return false;

        const auto* type = data + pos + 4;
        const auto* body = data + pos + 8;

        for (int i = 0; i < 4; ++i)
            if (! juce::CharacterFunctions::isLetter ((char) type[i]))
                return false;

        if (Crc32::of (type, (size_t) length + 4) != juce::ByteOrder::bigEndianInt (body + length))
            return false;

        pos += length + 12;
        const juce::String name ((const char*) type, 4);
        const auto isCritical = (type[0] & 0x20) == 0;

        if (seenData && name != "IDAT")
            dataEnded = true;

        if (! seenHeader)
        {
            if (name != "IHDR" || length != 13 || body[10] != 0 || body[11] != 0 || body[12] > 1)
                return false;

            header.width = juce::ByteOrder::bigEndianInt (body);
            header.height = juce::ByteOrder::bigEndianInt (body + 4);
            header.bitDepth = body[8];
            header.colourType = body[9];
            header.interlace = body[12];

            if (! header.isValid (maxSide))
                return false;

            seenHeader = true;
        }
        else if (name == "PLTE")
        {
            if (seenPalette || seenData || length == 0 || length % 3 != 0 || length > 3 * 256
                  || header.colourType == 0 || header.colourType == 4)
                return false;

            seenPalette = true;
        }
        else if (name == "IDAT")
        {
            if (dataEnded)
                return false;

            seenData = true;
            compressed.append (body, length);
        }
        else if (name == "IEND")
        {
            return seenData && (seenPalette || header.colourType != 3)
                     && imageDataMatchesHeader (compressed, header);
        }
        else if (isCritical)
        {
            return false;
        }
    }

    return false;
}

PngCheck::Size PngCheck::readClaimedSize (const juce::MemoryBlock& png)
{
    const auto* data = static_cast<const juce::uint8*> (png.getData());
    constexpr size_t headerEnd = sizeof (pngSignature) + 8 + 13 + 4;   // length, "IHDR", fields, CRC

    if (png.getSize() < headerEnd || memcmp (data, pngSignature, sizeof (pngSignature)) != 0
         || juce::ByteOrder::bigEndianInt (data + 8) != 13 || memcmp (data + 12, "IHDR", 4) != 0
         || Crc32::of (data + 12, 17) != juce::ByteOrder::bigEndianInt (data + 29))
        return {};

    return { juce::ByteOrder::bigEndianInt (data + 16), juce::ByteOrder::bigEndianInt (data + 20) };
}
