#pragma once

#include <juce_core/juce_core.h>

/** Checks PNG data before the framework decodes it.

    The framework's PNG decoder does not recover from libpng's errors when it uses the system library,
    so only data that libpng will accept is handed to it.
*/
struct PngCheck
{
    struct Size
    {
        juce::uint32 width = 0, height = 0;
    };

    /** The signature, every chunk's CRC, a valid header of at most maxSide pixels a side, the chunk order
        and image data that inflates to exactly the rows the header describes.
    */
    static bool isDecodable (const juce::MemoryBlock& png, juce::uint32 maxSide);

    /** The width and height in the header of a PNG whose signature and header chunk are intact (the
        header chunk comes first and its CRC matches); otherwise zero for both.
    */
    static Size readClaimedSize (const juce::MemoryBlock& png);
};
