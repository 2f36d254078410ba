#pragma once

#include <juce_core/juce_core.h>

/** Where a sample sits: its layer's index within the preset, then its own index within the layer. */
struct SampleIndices
{
    juce::int32 layerIndex = 0;
    juce::int32 sampleIndex = 0;

    bool operator== (const SampleIndices& other) const noexcept
    {
        return layerIndex == other.layerIndex && sampleIndex == other.sampleIndex;
    }

    bool operator!= (const SampleIndices& other) const noexcept    { return ! operator== (other); }
};
