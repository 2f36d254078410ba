#pragma once

#include "model/SampleIDs.h"
#include "model/SampleIndices.h"
#include "model/SampleParameters.h"

#include <juce_data_structures/juce_data_structures.h>

#include <atomic>

/** Wraps one LAYER node: owns a SampleParameters per SAMPLE child, mirrors the layer's numeric
    properties into atomics and reports added and removed samples and pitch-shift changes.
*/
class LayerParameters : public juce::ValueTree::Listener
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;

        virtual void sampleAdded (SampleIndices indices, SampleIDs ids)         { juce::ignoreUnused (indices, ids); }
        virtual void sampleRemoved (SampleIndices indices, SampleIDs ids)       { juce::ignoreUnused (indices, ids); }
        virtual void pitchShiftChanged() {}
    };

    LayerParameters (juce::ValueTree layerNode, int layerIndexToUse);
    ~LayerParameters() override;

    /** Writes the layerIndex property and pushes the index down to every sample wrapper. */
    void setLayerIndex (int index);
    void rebuildSamples();
    void loadCachedValues();

    void addListener (Listener* listener)                   { listeners.add (listener); }
    void removeListener (Listener* listener)                { listeners.remove (listener); }

    juce::ValueTree getState() const                        { return state; }

    /** Points the wrapper at another node; the framework reports it as a redirection. */
    void setState (juce::ValueTree newNode)                 { state = std::move (newNode); }

    int getLayerIndex() const noexcept                      { return layerIndex; }
    int getNumSamples() const noexcept                      { return samples.size(); }
    SampleParameters* getSample (int index) const noexcept  { return samples[index]; }

    void valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property) override;
    void valueTreeChildAdded (juce::ValueTree& parent, juce::ValueTree& child) override;
    void valueTreeChildRemoved (juce::ValueTree& parent, juce::ValueTree& child, int index) override;
    void valueTreeRedirected (juce::ValueTree& tree) override;

private:
    void storeFloat (std::atomic<float>& field, const juce::Identifier& property);

    juce::ValueTree state;
    juce::ListenerList<Listener> listeners;
    int layerIndex = 0;

public:
    // Cached values, written only by this wrapper on the thread that edits the tree.
    std::atomic<juce::int32> layerID { 0 };
    std::atomic<juce::int32> sampleCount { 0 };
    std::atomic<float> keyStart { 0.0f }, keyEnd { 0.0f }, layerGain { 0.0f }, layerPan { 0.0f },
                       attackPct { 0.0f }, decayPct { 0.0f }, sustainPct { 0.0f }, releasePct { 0.0f },
                       pitchShift { 0.0f };

private:
    juce::OwnedArray<SampleParameters> samples;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LayerParameters)
};
