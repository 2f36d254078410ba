// Feeds arbitrary bytes, as a monolith file, through the chunk walk, every entry reader, the structural
// check, the checksum entry's parser and the checksum verifier.

#include "InputFile.h"
#include "monolith/ChecksumVerifier.h"
#include "monolith/EntryNames.h"
#include "monolith/MonolithReader.h"
#include "monolith/MonolithStructure.h"

#include <cstdint>
#include <iterator>

namespace
{
    const InputFile& getInputFile()
    {
        static const InputFile inputFile ("monolith_reader_fuzzer");
        return inputFile;
    }

    const juce::int64 screenshotKey = EntryNames::keyOf (EntryNames::screenshot);
    const juce::int64 binaryKey = EntryNames::keyOf (EntryNames::vst3Plugin);

    /** Reads the whole region in blocks of varying size, then seeks to a few places and reads again:
        every byte read must lie inside the region.
    */
    void readRegion (Crypto::InputStream::Subregion& region)
    {
        const auto length = region.getTotalLength();
        char buffer[4096];
        static constexpr int blockSizes[] = { 1, 7, 61, 509, 4096 };
        juce::int64 total = 0;

        for (size_t block = 0; ! region.isExhausted(); ++block)
        {
            const auto numRead = region.read (buffer, blockSizes[block % std::size (blockSizes)]);

            if (numRead <= 0)
                break;

            total += numRead;
        }

        if (total > length)
            __builtin_trap();

        for (const auto position : { length / 2, juce::int64 { 0 }, length - 1, length, length + 10, juce::int64 { -1 } })
        {
            if (region.setPosition (position))
            {
                const auto numRead = region.read (buffer, (int) sizeof (buffer));

                if (position < 0 || numRead < 0 || numRead > juce::jmax (juce::int64 { 0 }, length - position))
                    __builtin_trap();
            }
        }
    }
}

namespace
{
    /** The structure must account for every byte it calls complete; loaded checksums must list chunks
        inside the file; the verifier, fed in uneven blocks, must reach a verdict and name what it blames.
    */
    void checkWholeFile (const std::uint8_t* data, size_t size)
    {
        juce::MemoryInputStream in (data, size, false);
        const auto structure = MonolithStructure::of (in);

        if (structure.isComplete() != (structure.getExpectedBytes() == (juce::int64) size && structure.getFoundBytes() == (juce::int64) size
                                         && structure.describe().isEmpty()))
            __builtin_trap();

        const auto checksums = ChunkChecksums::load (in, structure);

        if (! checksums.isLoaded())
            return;

        for (const auto& record : checksums.getRecords())
            if (record.offset < 0 || record.getEnd() > (juce::int64) size)
                __builtin_trap();

        ChecksumVerifier verifier (checksums);

        for (size_t done = 0, block = 1; done < size; done += block, block = block * 3 + 1)
            if (! verifier.update (data + done, juce::jmin (block, size - done)))
                break;

        if (! verifier.finish() && verifier.describeDamage().isEmpty())
            __builtin_trap();
    }
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    const auto& input = getInputFile();

    if (! input.write (data, size))
        return 0;

    const MonolithReader reader (input.file);

    for (const auto type : { (juce::int32) ChunkType::binary, (juce::int32) ChunkType::stateTree,
                             (juce::int32) ChunkType::pngImage, juce::int32 { 2 }, juce::int32 { -1 } })
        for (const auto key : { juce::int64 { 0 }, screenshotKey, binaryKey, juce::int64 { -1 } })
            if (auto region = reader.findChunk (type, key))
                readRegion (*region);

    if (auto binary = reader.openBinary (binaryKey))
        readRegion (*binary);

    const auto image = reader.readImage (screenshotKey);

    if (image.isValid() && (image.getWidth() <= 0 || image.getHeight() <= 0))
        __builtin_trap();

    const auto state = reader.readState();
    juce::ignoreUnused (state.getNumChildren(), state.getType());

    checkWholeFile (data, size);
    return 0;
}
