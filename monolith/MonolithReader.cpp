#include "monolith/MonolithReader.h"

namespace
{
    constexpr juce::int64 headerSize = 16;   // seed, type, size
    constexpr juce::int64 keySize = 8;
}

MonolithReader::MonolithReader (const juce::File& monolith)
    : file (monolith)
{
}

std::unique_ptr<Crypto::InputStream::Subregion> MonolithReader::findChunk (juce::int32 type, juce::int64 key) const
{
    auto fileStream = std::make_unique<juce::FileInputStream> (file);

    if (! fileStream->openedOk())
        return {};

    auto& source = *fileStream;
    auto crypto = std::make_unique<Crypto::InputStream> (fileStream.release(), true);
    const auto fileLength = source.getTotalLength();

    while (! source.isExhausted())
    {
        const auto chunkStart = source.getPosition();
        auto remainingInFile = fileLength - chunkStart;

        // A header cut short by the end of the file cannot be trusted.
        if (remainingInFile < headerSize)
            return {};

        crypto->keystreamState = (juce::uint32) source.readInt();
        const auto chunkType = crypto->readInt();
        auto size = crypto->readInt64();
        remainingInFile -= headerSize;

        // A negative size would move the walk backwards, and a chunk that ends beyond the file is cut short.
        if (size < 0 || size > remainingInFile)
            return {};

        if (chunkType == type)
        {
            // A chunk of the wanted type must hold its key.
            if (size < keySize)
                return {};

            const auto chunkKey = crypto->readInt64();
            size -= keySize;

            if (chunkKey == key)
            {
                const auto payloadStart = source.getPosition();
                const auto payloadStartState = crypto->keystreamState;
                return std::make_unique<Crypto::InputStream::Subregion> (std::move (crypto), payloadStart,
                                                                         size, payloadStartState);
            }
        }

        if (! source.setPosition (source.getPosition() + size))
            return {};
    }

    return {};
}

std::unique_ptr<Crypto::InputStream::Subregion> MonolithReader::openBinary (juce::int64 key) const
{
    return findChunk (ChunkType::binary, key);
}

juce::Image MonolithReader::readImage (juce::int64 key) const
{
    auto stream = findChunk (ChunkType::pngImage, key);

    if (stream == nullptr)
        return {};

    // The framework's decoder does not recover from libpng's errors when it uses the system library,
    // so data that does not even start like a PNG is never handed to it.
    static const juce::uint8 signature[] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n' };
    juce::uint8 start[sizeof (signature)];

    if (stream->read (start, (int) sizeof (start)) != (int) sizeof (start)
          || memcmp (start, signature, sizeof (signature)) != 0
          || ! stream->setPosition (0))
        return {};

    juce::PNGImageFormat png;
    return png.decodeImage (*stream);
}

juce::ValueTree MonolithReader::readState() const
{
    if (auto stream = findChunk (ChunkType::stateTree, 0))
        return juce::ValueTree::readFromStream (*stream);

    return {};
}
