#pragma once

#include "model/LayerParameters.h"

#include <juce_data_structures/juce_data_structures.h>
#include <juce_events/juce_events.h>

#include <atomic>

/** Wraps one PRESET node: owns a LayerParameters per LAYER child, mirrors the 55 sound settings
    into atomics, fills in missing EQ settings from the catalogue defaults and turns changes
    anywhere below the preset into narrower notifications.
*/
class PresetParameters : public juce::ValueTree::Listener,
                         public LayerParameters::Listener,
                         public juce::AsyncUpdater
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;

        virtual void voiceSettingsChanged() {}
        virtual void modulationSettingsChanged() {}
        virtual void layerChanged() {}
        virtual void sampleChanged() {}
        virtual void sampleKeyRangeChanged() {}
        virtual void sampleVelocityRangeChanged() {}
        virtual void sampleRootNoteChanged() {}
        virtual void layerNameChanged() {}
        virtual void layerKeyRangeChanged() {}
        virtual void layerAdded (int layerIndex, int layerID)                    { juce::ignoreUnused (layerIndex, layerID); }
        virtual void layerRemoved (int position, int layerID)                    { juce::ignoreUnused (position, layerID); }
        virtual void layerSampleAdded (const juce::File& sampleFile, SampleIndices indices, SampleIDs ids)
        {
            juce::ignoreUnused (sampleFile, indices, ids);
        }
        virtual void layerSampleRemoved (SampleIndices indices, SampleIDs ids)   { juce::ignoreUnused (indices, ids); }
        virtual void layersRebuilt() {}
    };

    PresetParameters (juce::ValueTree presetNode, int presetIndexToUse);
    ~PresetParameters() override;

    void rebuildLayers();

    /** Writes the catalogue default of each EQ setting the node lacks; present ones are kept. */
    void applyEqDefaults();
    void loadCachedValues();

    void addListener (Listener* listener)                   { listeners.add (listener); }
    void removeListener (Listener* listener)                { listeners.remove (listener); }

    /** The owning instrument drops every listener when its preset selection changes. */
    void removeAllListeners()                               { listeners.clear(); }

    juce::ValueTree getState() const                        { return state; }

    /** Points the wrapper at another node; the framework reports it as a redirection. */
    void setState (juce::ValueTree newNode)                 { state = std::move (newNode); }

    int getPresetIndex() const noexcept                     { return presetIndex; }
    int getNumLayers() const noexcept                       { return layers.size(); }
    LayerParameters* getLayer (int index) const noexcept    { return layers[index]; }

    void valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property) override;
    void valueTreeChildAdded (juce::ValueTree& parent, juce::ValueTree& child) override;
    void valueTreeChildRemoved (juce::ValueTree& parent, juce::ValueTree& child, int index) override;
    void valueTreeChildOrderChanged (juce::ValueTree& parent, int oldIndex, int newIndex) override;
    void valueTreeRedirected (juce::ValueTree& tree) override;

    void sampleAdded (SampleIndices indices, SampleIDs ids) override;
    void sampleRemoved (SampleIndices indices, SampleIDs ids) override;

    void handleAsyncUpdate() override;

private:
    void presetPropertyChanged (const juce::Identifier& property);
    void storeFloat (std::atomic<float>& field, const juce::Identifier& property);

    void refreshEnvelope();
    void refreshLfo();
    void refreshDrive();
    void refreshFilter();
    void refreshChorus();
    void refreshPhaser();
    void refreshDelay();
    void refreshReverb();
    void refreshConvolution();
    void refreshEq();
    void refreshDistortion();
    void refreshCompressor();

    juce::ValueTree state;
    juce::ListenerList<Listener> listeners;
    int presetIndex = 0;

public:
    // Cached values, written only by this wrapper on the thread that edits the tree.
    std::atomic<juce::int32> layerCount { 0 };
    std::atomic<float> synthMode { 0.0f }, numVoices { 0.0f }, glideTime { 0.0f }, pitchBendRange { 0.0f },
                       attack { 0.0f }, decay { 0.0f }, sustain { 0.0f }, release { 0.0f },
                       lfoType { 0.0f }, lfoRate { 0.0f }, lfoDepth { 0.0f }, lfoRouting { 0.0f },
                       driveOnOff { 0.0f }, drive { 0.0f },
                       filterType { 0.0f }, filterCutoff { 0.0f }, filterSlope { 0.0f },
                       chorusMix { 0.0f }, chorusRate { 0.0f }, chorusDepth { 0.0f },
                       phaserMix { 0.0f }, phaserRate { 0.0f }, phaserDepth { 0.0f }, phaserFeedback { 0.0f },
                       phaserCenterFreq { 0.0f },
                       delayMix { 0.0f }, delayTimeMSec { 0.0f }, delayFeedbackPct { 0.0f },
                       reverbMix { 0.0f }, reverbSize { 0.0f }, reverbDamping { 0.0f },
                       convReverbIR { 0.0f }, convReverbMix { 0.0f },
                       eqLowFc { 0.0f }, eqLowGain { 0.0f }, eqLowQ { 0.0f },
                       eqMidFc { 0.0f }, eqMidGain { 0.0f }, eqMidQ { 0.0f },
                       eqHighFc { 0.0f }, eqHighGain { 0.0f }, eqHighQ { 0.0f },
                       distInputGain { 0.0f }, distOutputGain { 0.0f }, distFilterFrequency { 0.0f },
                       distFilterGain { 0.0f },
                       compressorThreshold { 0.0f }, compressorRatio { 0.0f }, compressorKnee { 0.0f },
                       compressorAttack { 0.0f }, compressorRelease { 0.0f }, compressorMakeup { 0.0f },
                       compressorMix { 0.0f },
                       gain { 0.0f }, limiterOnOff { 0.0f };

private:
    juce::OwnedArray<LayerParameters> layers;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetParameters)
};
