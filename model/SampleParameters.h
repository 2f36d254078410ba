#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <atomic>
#include <utility>

/** Wraps one SAMPLE node: mirrors its numeric properties into atomics that any thread may read,
    keeps the playback and loop ranges ordered by writing corrected ranges back into the tree,
    and reports every property change of the node to its listeners.
*/
class SampleParameters : public juce::ValueTree::Listener
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;

        /** Called for every property change of the sample, before any cached value is refreshed. */
        virtual void samplePropertyChanged (int sampleIndex, int layerIndex, const juce::Identifier& property)
        {
            juce::ignoreUnused (sampleIndex, layerIndex, property);
        }
    };

    SampleParameters (juce::ValueTree sampleNode, int sampleIndexToUse, int layerIndexToUse);
    ~SampleParameters() override;

    void loadCachedValues();

    /** Writes sampleEnd, then sampleStart (start, end as integers). */
    void setPlaybackRange (const std::pair<int, int>& range);

    /** Writes loopEnd, then loopStart (start, end as integers). */
    void setLoopRange (const std::pair<int, int>& range);

    void addListener (Listener* listener)                   { listeners.add (listener); }
    void removeListener (Listener* listener)                { listeners.remove (listener); }

    juce::ValueTree getState() const                        { return state; }
    int getSampleIndex() const noexcept                     { return sampleIndex; }
    int getLayerIndex() const noexcept                      { return layerIndex; }

    /** The owning layer pushes its index down; the sample node has no property for it. */
    void setLayerIndex (int newLayerIndex) noexcept         { layerIndex = newLayerIndex; }

    void valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property) override;

private:
    using RangeWriter = void (SampleParameters::*) (const std::pair<int, int>&);

    void checkRange (const juce::Identifier& startId, const juce::Identifier& endId,
                     std::atomic<float>& startField, std::atomic<float>& endField, RangeWriter writer);
    void storeFloat (std::atomic<float>& field, const juce::Identifier& property);

    juce::ValueTree state;
    int sampleIndex = 0;
    int layerIndex = 0;
    juce::ListenerList<Listener> listeners;

public:
    // Cached values, written only by this wrapper on the thread that edits the tree.
    std::atomic<juce::int32> sampleID { 0 };
    std::atomic<float> rootNote { 0.0f }, keyStart { 0.0f }, keyEnd { 0.0f }, velStart { 0.0f }, velEnd { 0.0f },
                       sampleStart { 0.0f }, sampleEnd { 0.0f }, loopMode { 0.0f }, loopStart { 0.0f },
                       loopEnd { 0.0f }, loopFade { 0.0f }, oneShot { 0.0f }, sampleGain { 0.0f },
                       samplePan { 0.0f }, sampleTune { 0.0f }, sampleFadein { 0.0f }, sampleFadeout { 0.0f },
                       decayPct { 0.0f }, sustainPct { 0.0f };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SampleParameters)
};
