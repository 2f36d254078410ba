#include "monolith/MonolithReader.h"

#include "monolith/ChunkWalk.h"
#include "monolith/Crc32.h"

#include <cmath>
#include <cstring>

namespace
{
    // Screenshots are small; this bounds what a hostile chunk can make the reader hold in memory.
    constexpr juce::int64 maxImagePayload = 64 << 20;
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

        bool isValid() const noexcept
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

            return depthAllowed && width > 0 && height > 0 && width <= MonolithReader::maxImageSide && height <= MonolithReader::maxImageSide;
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

    /** The framework's PNG decoder does not recover from libpng's errors when it uses the system library,
        so only data that libpng will accept is handed to it: the signature, every chunk's CRC, a valid
        header, the chunk order and image data that inflates to exactly the rows the header describes.
    */
    bool isDecodablePng (const juce::MemoryBlock& png)
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

                if (! header.isValid())
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

    /** The width and height in the header of a PNG whose signature and header chunk are intact (the
        header chunk comes first and its CRC matches); otherwise leaves both at zero.
    */
    void readClaimedSize (const juce::MemoryBlock& png, juce::uint32& width, juce::uint32& height)
    {
        const auto* data = static_cast<const juce::uint8*> (png.getData());
        constexpr size_t headerEnd = sizeof (pngSignature) + 8 + 13 + 4;   // length, "IHDR", fields, CRC

        if (png.getSize() < headerEnd || memcmp (data, pngSignature, sizeof (pngSignature)) != 0
             || juce::ByteOrder::bigEndianInt (data + 8) != 13 || memcmp (data + 12, "IHDR", 4) != 0
             || Crc32::of (data + 12, 17) != juce::ByteOrder::bigEndianInt (data + 29))
            return;

        width = juce::ByteOrder::bigEndianInt (data + 16);
        height = juce::ByteOrder::bigEndianInt (data + 20);
    }

    constexpr juce::int64 maxStatePayload = 256 << 20;

    /** Walks the framework's binary value-tree format the way its reader does, and accepts only data that
        the reader consumes within bounds: counts that the remaining bytes can hold, terminated strings and
        limited nesting. The reader itself trusts every count, so damaged data could make it allocate
        without limit, loop for minutes or recurse until the stack runs out.
    */
    class ValueTreeDataCheck
    {
    public:
        explicit ValueTreeDataCheck (const juce::MemoryBlock& block)
            : data (static_cast<const juce::uint8*> (block.getData())), size (block.getSize())
        {
        }

        /** Bytes after the tree are ignored, as the framework's reader ignores them. */
        bool isWellFormed()
        {
            return tree (0);
        }

    private:
        static constexpr int maxDepth = 64;

        const juce::uint8* data;
        size_t size, position = 0;

        size_t remaining() const noexcept     { return size - position; }

        bool skip (size_t numBytes)
        {
            if (numBytes > remaining())
                return false;

            position += numBytes;
            return true;
        }

        bool string (bool& isEmpty)
        {
            // An empty payload has no data pointer at all.
            if (remaining() == 0)
                return false;

            const auto* end = static_cast<const juce::uint8*> (memchr (data + position, 0, remaining()));

            if (end == nullptr || ! isText (data + position, (size_t) (end - data) - position))
                return false;

            isEmpty = end == data + position;
            position = (size_t) (end - data) + 1;
            return true;
        }

        /** The framework's text functions trust that a string is well-formed UTF-8: a character cut
            short at the end makes them read past the string's memory.
        */
        static bool isText (const juce::uint8* text, size_t numBytes)
        {
            return juce::CharPointer_UTF8::isValidString (reinterpret_cast<const char*> (text), (int) numBytes);
        }

        /** A count as the framework's compressed ints store it; only non-negative values are accepted. */
        bool count (juce::int64& value)
        {
            if (remaining() < 1)
                return false;

            const auto sizeByte = data[position++];
            const auto numBytes = (size_t) (sizeByte & 0x7f);

            if ((sizeByte & 0x80) != 0 || numBytes > 4 || numBytes > remaining())
                return false;

            value = 0;

            for (size_t i = numBytes; i > 0; --i)
                value = (value << 8) | data[position + i - 1];

            position += numBytes;
            return value <= std::numeric_limits<int>::max();
        }

        // Not a number is no value a parameter can hold, and the framework's text conversion of it is
        // undefined behaviour, so a tree holding one is refused.
        bool number()
        {
            if (remaining() < 8)
                return false;

            juce::uint64 bits = 0;

            for (size_t i = 8; i > 0; --i)
                bits = (bits << 8) | data[position + i - 1];

            double value = 0;
            std::memcpy (&value, &bits, sizeof (value));
            position += 8;
            return ! std::isnan (value);
        }

        bool tree (int depth)
        {
            bool isEmpty = true;
            juce::int64 numProperties = 0, numChildren = 0;

            if (depth > maxDepth || ! string (isEmpty) || isEmpty || ! count (numProperties)
                  || numProperties > (juce::int64) remaining())
                return false;

            for (juce::int64 i = 0; i < numProperties; ++i)
                if (! string (isEmpty) || isEmpty || ! value (depth))
                    return false;

            if (! count (numChildren) || numChildren > (juce::int64) remaining())
                return false;

            for (juce::int64 i = 0; i < numChildren; ++i)
                if (! tree (depth + 1))
                    return false;

            return true;
        }

        bool value (int depth)
        {
            juce::int64 numBytes = 0;

            if (depth > maxDepth || ! count (numBytes) || numBytes > (juce::int64) remaining())
                return false;

            if (numBytes == 0)
                return true;

            const auto marker = data[position++];
            const auto payload = (size_t) numBytes - 1;

            switch (marker)
            {
                case 1:  return skip (4);      // int
                case 2:
                case 3:  return true;          // booleans
                case 4:  return number();      // double
                case 6:  return skip (8);      // int64
                case 7:                        // array
                {
                    juce::int64 numElements = 0;

                    if (! count (numElements) || numElements > (juce::int64) remaining())
                        return false;

                    for (juce::int64 i = 0; i < numElements; ++i)
                        if (! value (depth + 1))
                            return false;

                    return true;
                }
                case 5:  return isText (data + position, payload) && skip (payload); // string
                default: return skip (payload); // binary, undefined and unknown markers
            }
        }
    };
}

MonolithReader::MonolithReader (const juce::File& monolith)
    : file (monolith)
{
}

MonolithReader::MonolithReader (const MonolithSource& openMonolith)
    : file (openMonolith.getFile()), source (openMonolith)
{
}

std::unique_ptr<juce::InputStream> MonolithReader::openFile() const
{
    return source.isOpen() ? source.createInputStream() : MonolithSource::open (file).createInputStream();
}

std::unique_ptr<Crypto::InputStream::Subregion> MonolithReader::findChunk (juce::int32 type, juce::int64 key) const
{
    auto fileStream = openFile();

    if (fileStream == nullptr)
        return {};

    ChunkWalk walk (*fileStream);
    ChunkWalk::Header header;

    while (walk.next (header))
    {
        if (header.type != type)
            continue;

        // A chunk of the wanted type must hold its key.
        if (! header.hasKey())
            return {};

        if (header.getKey() != key)
            continue;

        if (! fileStream->setPosition (header.getPayloadStart()))
            return {};

        const auto state = header.getPayloadState();
        auto crypto = std::make_unique<Crypto::InputStream> (fileStream.release(), true);
        crypto->keystreamState = state;
        return std::make_unique<Crypto::InputStream::Subregion> (std::move (crypto), header.getPayloadStart(),
                                                                 header.getPayloadLength(), state);
    }

    return {};
}

std::unique_ptr<Crypto::InputStream::Subregion> MonolithReader::openBinary (juce::int64 key) const
{
    return findChunk (ChunkType::binary, key);
}

MonolithReader::DecodedImage MonolithReader::decodeImage (juce::int64 key) const
{
    auto stream = findChunk (ChunkType::pngImage, key);

    if (stream == nullptr)
        return {};

    if (stream->getTotalLength() > maxImagePayload)
        return { {}, ImageOutcome::tooLarge };

    juce::MemoryBlock png;

    if (stream->readIntoMemoryBlock (png) != (size_t) stream->getTotalLength())
        return { {}, ImageOutcome::damaged };

    stream.reset();
    DecodedImage result { {}, ImageOutcome::damaged };
    readClaimedSize (png, result.claimedWidth, result.claimedHeight);

    // Judged by the header alone, before anything is inflated.
    if (result.claimedWidth > maxImageSide || result.claimedHeight > maxImageSide)
    {
        result.outcome = ImageOutcome::tooLarge;
        return result;
    }

    if (! isDecodablePng (png))
        return result;

    juce::MemoryInputStream pngStream (png, false);
    result.image = juce::PNGImageFormat().decodeImage (pngStream);

    if (result.image.isValid())
        result.outcome = ImageOutcome::decoded;

    return result;
}

juce::Image MonolithReader::readImage (juce::int64 key) const
{
    return decodeImage (key).image;
}

juce::ValueTree MonolithReader::readState() const
{
    auto stream = findChunk (ChunkType::stateTree, 0);

    if (stream == nullptr || stream->getTotalLength() > maxStatePayload)
        return {};

    juce::MemoryBlock data;

    if (stream->readIntoMemoryBlock (data) != (size_t) stream->getTotalLength() || ! ValueTreeDataCheck (data).isWellFormed())
        return {};

    return juce::ValueTree::readFromData (data.getData(), data.getSize());
}
