#include "monolith/MonolithReader.h"

#include "monolith/ChunkWalk.h"
#include "monolith/PngCheck.h"
#include "monolith/ValueTreeDataCheck.h"

namespace
{
    // Screenshots are small; this bounds what a hostile chunk can make the reader hold in memory.
    constexpr juce::int64 maxImagePayload = 64 << 20;
    constexpr juce::int64 maxStatePayload = 256 << 20;

    /** The whole payload, at most one of the limits above, in one read. */
    bool readWhole (juce::InputStream& payload, juce::MemoryBlock& data)
    {
        const auto numBytes = (int) payload.getTotalLength();
        data.setSize ((size_t) numBytes);
        return payload.read (data.getData(), numBytes) == numBytes;
    }
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

        if (! header.holdsKey (key))
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

    if (! readWhole (*stream, png))
        return { {}, ImageOutcome::damaged };

    stream.reset();
    const auto claimed = PngCheck::readClaimedSize (png);
    DecodedImage result { {}, ImageOutcome::damaged, claimed.width, claimed.height };

    // Judged by the header alone, before anything is inflated.
    if (result.claimedWidth > maxImageSide || result.claimedHeight > maxImageSide)
    {
        result.outcome = ImageOutcome::tooLarge;
        return result;
    }

    if (! PngCheck::isDecodable (png, maxImageSide))
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

    if (! readWhole (*stream, data) || ! ValueTreeDataCheck (data).isWellFormed())
        return {};

    return juce::ValueTree::readFromData (data.getData(), data.getSize());
}
