#pragma once

#include <juce_core/juce_core.h>

#include <zlib.h>

/** A well-formed black-and-white PNG of any size: one bit per pixel, every row zero, which deflate
    shrinks about a thousandfold.
*/
inline juce::MemoryBlock makeBlankPng (juce::uint32 width, juce::uint32 height)
{
    juce::MemoryOutputStream png;

    const auto writeChunk = [&png] (const char* type, const juce::MemoryBlock& body)
    {
        juce::MemoryBlock typeAndBody (type, 4);
        typeAndBody.append (body.getData(), body.getSize());
        const auto crc = (juce::uint32) crc32_z (0, static_cast<const Bytef*> (typeAndBody.getData()), typeAndBody.getSize());

        png.writeIntBigEndian ((int) body.getSize());
        png << typeAndBody;
        png.writeIntBigEndian ((int) crc);
    };

    png.write ("\x89PNG\r\n\x1a\n", 8);

    juce::MemoryOutputStream header;
    header.writeIntBigEndian ((int) width);
    header.writeIntBigEndian ((int) height);
    header.write ("\x01\x00\x00\x00\x00", 5);    // 1 bit, greyscale, deflate, no filter, not interlaced
    writeChunk ("IHDR", header.getMemoryBlock());

    juce::MemoryOutputStream compressed;
    {
        juce::GZIPCompressorOutputStream deflater (compressed, 9);
        const juce::HeapBlock<char> row ((width + 7) / 8 + 1, true);   // filter byte 0, then the pixels

        for (juce::uint32 y = 0; y < height; ++y)
            deflater.write (row, (width + 7) / 8 + 1);
    }

    writeChunk ("IDAT", compressed.getMemoryBlock());
    writeChunk ("IEND", {});
    return png.getMemoryBlock();
}
