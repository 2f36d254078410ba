#pragma once

#include "monolith/ChunkType.h"
#include "monolith/CryptoInputStream.h"

#include <juce_graphics/juce_graphics.h>
#include <juce_data_structures/juce_data_structures.h>

/** Reads the entries of one monolith by chunk type and key.

    Every lookup opens the file anew and walks the chunk headers from the start; nothing stays open
    between calls. A damaged file (a header cut short, a size that would move the walk backwards or
    past the end of the file) ends the walk as not found.
*/
class MonolithReader
{
public:
    explicit MonolithReader (const juce::File& monolith);

    /** The payload of the first chunk, in file order, whose type and key both match, or null.
        The stream holds the file open until it is destroyed.
    */
    std::unique_ptr<Crypto::InputStream::Subregion> findChunk (juce::int32 type, juce::int64 key) const;

    std::unique_ptr<Crypto::InputStream::Subregion> openBinary (juce::int64 key) const;

    /** Screenshots claiming more pixels a side are not decoded. The framework's decoder needs about eight
        bytes per pixel (a buffer of four and the image), so this bounds it to 512 MiB, however small the
        compressed data.
    */
    static constexpr juce::uint32 maxImageSide = 8192;

    enum class ImageOutcome
    {
        decoded,
        missing,
        damaged,    // not a well-formed PNG
        tooLarge    // more than maxImageSide pixels a side, or more than 64 MiB of PNG data
    };

    struct DecodedImage
    {
        juce::Image image;
        ImageOutcome outcome = ImageOutcome::missing;
        juce::uint32 claimedWidth = 0, claimedHeight = 0;     // from the PNG header, when it is intact
    };

    /** The PNG entry with this key, decoded when it is a well-formed PNG (checked before decoding: chunk
        CRCs, header, chunk order, image data size) of at most maxImageSide pixels a side; otherwise a
        null image and why.
    */
    DecodedImage decodeImage (juce::int64 key) const;

    /** The image of decodeImage: null when it is missing, damaged or too large. */
    juce::Image readImage (juce::int64 key) const;

    /** The state tree entry, or an invalid tree when it is missing or undecodable. */
    juce::ValueTree readState() const;

    const juce::File& getFile() const noexcept      { return file; }

private:
    juce::File file;

    JUCE_LEAK_DETECTOR (MonolithReader)
};
