#pragma once

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

    /** The decoded PNG entry with this key, or a null image when it is missing or is not a well-formed PNG
        (checked before decoding: chunk CRCs, header, chunk order, image data size) of at most 16384 pixels
        a side and 64 MiB.
    */
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
