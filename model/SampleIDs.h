#pragma once

#include <juce_core/juce_core.h>

/** Which sample it is: its layer's identity number, then the sample's own (0 when unknown). */
struct SampleIDs
{
    juce::int32 layerID = 0;
    juce::int32 sampleID = 0;

    bool operator== (const SampleIDs& other) const noexcept
    {
        return layerID == other.layerID && sampleID == other.sampleID;
    }

    bool operator!= (const SampleIDs& other) const noexcept    { return ! operator== (other); }
};
