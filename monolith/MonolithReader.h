#pragma once

// monolith/ is the installer's data file: its scrambled chunks, their reader and writer, the walk over
// their headers and the checks of its structure and checksums. It includes fs/ (the monolith is opened
// through the file layer) and nothing else of ours outside monolith/.

#include "monolith/ChunkType.h"
#include "monolith/CryptoInputStream.h"
#include "monolith/MonolithSource.h"

#include <juce_graphics/juce_graphics.h>
#include <juce_data_structures/juce_data_structures.h>

/** Reads the entries of one monolith by chunk type and key.

    Every lookup walks the chunk headers from the start. A reader over a MonolithSource reads that one
    open file for every lookup; a reader over a path opens the file anew for each. A damaged file (a
    header cut short, a size that would move the walk backwards or past the end of the file) ends the
    walk as not found.
*/
class MonolithReader
{
public:
    explicit MonolithReader (const juce::File& monolith);

    explicit MonolithReader (const MonolithSource& openMonolith);

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
    std::unique_ptr<juce::InputStream> openFile() const;

    juce::File file;
    MonolithSource source;

    JUCE_LEAK_DETECTOR (MonolithReader)
};
