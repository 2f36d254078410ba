// GCC 12+ mistakes the framework's listener-list iterator, which unlinks itself when the loop
// ends, for a dangling pointer. The state must be set before the framework headers are read.
#if defined (__GNUC__) && ! defined (__clang__) && __GNUC__ >= 12
 #pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif

#include "model/PresetParameters.h"

#include "model/NumberConversion.h"
#include "model/ParameterCatalogue.h"
#include "model/StateIds.h"

#include <iostream>

namespace
{
constexpr int firstEqParameter = 33;
constexpr int numEqParameters = 9;
} // namespace

PresetParameters::PresetParameters (juce::ValueTree presetNode, int presetIndexToUse)
    : state (std::move (presetNode)),
      presetIndex (presetIndexToUse)
{
    rebuildLayers();
    applyEqDefaults();
    loadCachedValues();
    state.addListener (this);
}

PresetParameters::~PresetParameters()
{
    // Cancelled before the members go, so no rebuild can run on a half-destroyed wrapper.
    cancelPendingUpdate();
}

void PresetParameters::rebuildLayers()
{
    layers.clear();

    for (int i = 0; i < state.getNumChildren(); ++i)
    {
        auto child = state.getChild (i);

        if (child.hasType (StateIds::LAYER))
            layers.add (new LayerParameters (child, i))->addListener (this);
    }

    layerCount.store (state.getNumChildren());
}

void PresetParameters::applyEqDefaults()
{
    for (int i = firstEqParameter; i < firstEqParameter + numEqParameters; ++i)
    {
        const auto& property = ParameterCatalogue::parameterIDs[(size_t) i];

        if (! state.hasProperty (property))
            state.setProperty (property, (double) ParameterCatalogue::parameterDefaults[(size_t) i], nullptr);
    }
}

void PresetParameters::loadCachedValues()
{
    storeFloat (synthMode, StateIds::synthMode);
    storeFloat (numVoices, StateIds::numVoices);
    storeFloat (glideTime, StateIds::glideTime);
    storeFloat (pitchBendRange, StateIds::pitchBendRange);
    refreshEnvelope();
    refreshLfo();
    refreshDrive();
    refreshFilter();
    refreshChorus();
    refreshPhaser();
    refreshDelay();
    refreshReverb();
    refreshConvolution();
    refreshEq();
    refreshDistortion();
    refreshCompressor();
    storeFloat (gain, StateIds::gain);
    storeFloat (limiterOnOff, StateIds::limiterOnOff);
}

void PresetParameters::valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property)
{
    if (tree.hasType (StateIds::PRESET))
    {
        presetPropertyChanged (property);
    }
    else if (tree.hasType (StateIds::SAMPLE))
    {
        if (property == StateIds::keyStart || property == StateIds::keyEnd)
        {
            listeners.call ([] (Listener& l) { l.sampleKeyRangeChanged(); });
        }
        else if (property == StateIds::rootNote)
        {
            listeners.call ([] (Listener& l) { l.sampleRootNoteChanged(); });
        }
        else if (property == StateIds::velStart || property == StateIds::velEnd)
        {
            std::cout << "Preset velocity changed" << std::endl;
            listeners.call ([] (Listener& l) { l.sampleVelocityRangeChanged(); });
        }

        listeners.call ([] (Listener& l) { l.sampleChanged(); });
    }
    else if (tree.hasType (StateIds::LAYER))
    {
        if (property == StateIds::layerName)
            listeners.call ([] (Listener& l) { l.layerNameChanged(); });
        else if (property == StateIds::keyStart || property == StateIds::keyEnd)
            listeners.call ([] (Listener& l) { l.layerKeyRangeChanged(); });

        listeners.call ([] (Listener& l) { l.layerChanged(); });
    }
}

void PresetParameters::presetPropertyChanged (const juce::Identifier& property)
{
    const auto is = [&property] (std::initializer_list<const juce::Identifier*> group)
    {
        for (auto* id : group)
            if (property == *id)
                return true;

        return false;
    };

    if (property == StateIds::synthMode)
    {
        storeFloat (synthMode, StateIds::synthMode);
        listeners.call ([] (Listener& l) { l.voiceSettingsChanged(); });
    }
    else if (property == StateIds::numVoices)
    {
        storeFloat (numVoices, StateIds::numVoices);
        listeners.call ([] (Listener& l) { l.voiceSettingsChanged(); });
    }
    else if (property == StateIds::glideTime)
    {
        storeFloat (glideTime, StateIds::glideTime);
        listeners.call ([] (Listener& l) { l.modulationSettingsChanged(); });
    }
    else if (property == StateIds::pitchBendRange)
    {
        storeFloat (pitchBendRange, StateIds::pitchBendRange);
        listeners.call ([] (Listener& l) { l.modulationSettingsChanged(); });
    }
    else if (is ({ &StateIds::attack, &StateIds::decay, &StateIds::sustain, &StateIds::release }))
    {
        refreshEnvelope();
    }
    else if (is ({ &StateIds::lfoType, &StateIds::lfoRate, &StateIds::lfoDepth, &StateIds::lfoRouting }))
    {
        refreshLfo();
        listeners.call ([] (Listener& l) { l.modulationSettingsChanged(); });
    }
    else if (is ({ &StateIds::driveOnOff, &StateIds::drive }))
    {
        refreshDrive();
    }
    else if (is ({ &StateIds::filterType, &StateIds::filterCutoff, &StateIds::filterSlope }))
    {
        refreshFilter();
    }
    else if (is ({ &StateIds::chorusMix, &StateIds::chorusRate, &StateIds::chorusDepth }))
    {
        refreshChorus();
    }
    else if (is ({ &StateIds::phaserMix, &StateIds::phaserRate, &StateIds::phaserDepth, &StateIds::phaserFeedback,
                   &StateIds::phaserCenterFreq }))
    {
        refreshPhaser();
    }
    else if (is ({ &StateIds::delayMix, &StateIds::delayTimeMSec, &StateIds::delayFeedbackPct }))
    {
        refreshDelay();
    }
    else if (is ({ &StateIds::reverbMix, &StateIds::reverbSize, &StateIds::reverbDamping }))
    {
        refreshReverb();
    }
    else if (is ({ &StateIds::convReverbIR, &StateIds::convReverbMix }))
    {
        refreshConvolution();
    }
    else if (is ({ &StateIds::eqLowFc, &StateIds::eqLowGain, &StateIds::eqLowQ, &StateIds::eqMidFc,
                   &StateIds::eqMidGain, &StateIds::eqMidQ, &StateIds::eqHighFc, &StateIds::eqHighGain,
                   &StateIds::eqHighQ }))
    {
        refreshEq();
    }
    else if (is ({ &StateIds::distInputGain, &StateIds::distOutputGain, &StateIds::distFilterFrequency,
                   &StateIds::distFilterGain }))
    {
        refreshDistortion();
    }
    else if (is ({ &StateIds::compressorThreshold, &StateIds::compressorRatio, &StateIds::compressorKnee,
                   &StateIds::compressorAttack, &StateIds::compressorRelease, &StateIds::compressorMakeup,
                   &StateIds::compressorMix }))
    {
        refreshCompressor();
    }
    else if (property == StateIds::gain)
    {
        storeFloat (gain, StateIds::gain);
    }
    else if (property == StateIds::limiterOnOff)
    {
        storeFloat (limiterOnOff, StateIds::limiterOnOff);
    }
    else if (property == StateIds::presetIndex)
    {
        presetIndex = NumberConversion::toInt (state[StateIds::presetIndex]);
    }
}

void PresetParameters::valueTreeChildAdded (juce::ValueTree&, juce::ValueTree& child)
{
    if (! child.hasType (StateIds::LAYER))
        return;

    layerCount.store (state.getNumChildren());

    const auto layerIndex = NumberConversion::toInt (child[StateIds::layerIndex]);
    auto* layer = layers.add (new LayerParameters (child, layerIndex));
    const auto layerID = layer->layerID.load();

    layer->addListener (this);
    listeners.call ([layerIndex, layerID] (Listener& l) { l.layerAdded (layerIndex, layerID); });
}

void PresetParameters::valueTreeChildRemoved (juce::ValueTree&, juce::ValueTree& child, int index)
{
    if (! child.hasType (StateIds::LAYER))
        return;

    layerCount.store (state.getNumChildren());

    auto* removed = layers[index];
    const auto layerID = removed != nullptr ? removed->layerID.load() : 0;

    if (juce::isPositiveAndBelow (index, layers.size()))
        layers.remove (index);

    for (int i = 0; i < layers.size(); ++i)
        layers.getUnchecked (i)->setLayerIndex (i);

    listeners.call ([index, layerID] (Listener& l) { l.layerRemoved (index, layerID); });
}

void PresetParameters::valueTreeChildOrderChanged (juce::ValueTree&, int, int)
{
    triggerAsyncUpdate();
}

void PresetParameters::valueTreeRedirected (juce::ValueTree&)
{
    layerCount.store (state.getNumChildren());
}

void PresetParameters::sampleAdded (SampleIndices indices, SampleIDs ids)
{
    auto* layer = layers[indices.layerIndex];

    if (layer == nullptr)
        return;

    auto* sample = layer->getSample (indices.sampleIndex);

    if (sample == nullptr)
        return;

    const juce::File sampleFile (sample->getState()[StateIds::sampleFilePath].toString());

    if (sampleFile.getFullPathName().isNotEmpty())
        listeners.call ([&sampleFile, indices, ids] (Listener& l) { l.layerSampleAdded (sampleFile, indices, ids); });
}

void PresetParameters::sampleRemoved (SampleIndices indices, SampleIDs ids)
{
    listeners.call ([indices, ids] (Listener& l) { l.layerSampleRemoved (indices, ids); });
}

void PresetParameters::handleAsyncUpdate()
{
    rebuildLayers();
    listeners.call ([] (Listener& l) { l.layersRebuilt(); });
}

void PresetParameters::storeFloat (std::atomic<float>& field, const juce::Identifier& property)
{
    field.store (NumberConversion::toFloat (state[property]));
}

void PresetParameters::refreshEnvelope()
{
    storeFloat (attack, StateIds::attack);
    storeFloat (decay, StateIds::decay);
    storeFloat (sustain, StateIds::sustain);
    storeFloat (release, StateIds::release);
}

void PresetParameters::refreshLfo()
{
    storeFloat (lfoType, StateIds::lfoType);
    storeFloat (lfoRate, StateIds::lfoRate);
    storeFloat (lfoDepth, StateIds::lfoDepth);
    storeFloat (lfoRouting, StateIds::lfoRouting);
}

void PresetParameters::refreshDrive()
{
    storeFloat (driveOnOff, StateIds::driveOnOff);
    storeFloat (drive, StateIds::drive);
}

void PresetParameters::refreshFilter()
{
    storeFloat (filterType, StateIds::filterType);
    storeFloat (filterCutoff, StateIds::filterCutoff);
    storeFloat (filterSlope, StateIds::filterSlope);
}

void PresetParameters::refreshChorus()
{
    storeFloat (chorusMix, StateIds::chorusMix);
    storeFloat (chorusRate, StateIds::chorusRate);
    storeFloat (chorusDepth, StateIds::chorusDepth);
}

void PresetParameters::refreshPhaser()
{
    storeFloat (phaserMix, StateIds::phaserMix);
    storeFloat (phaserRate, StateIds::phaserRate);
    storeFloat (phaserDepth, StateIds::phaserDepth);
    storeFloat (phaserFeedback, StateIds::phaserFeedback);
    storeFloat (phaserCenterFreq, StateIds::phaserCenterFreq);
}

void PresetParameters::refreshDelay()
{
    storeFloat (delayMix, StateIds::delayMix);
    storeFloat (delayTimeMSec, StateIds::delayTimeMSec);
    storeFloat (delayFeedbackPct, StateIds::delayFeedbackPct);
}

void PresetParameters::refreshReverb()
{
    storeFloat (reverbMix, StateIds::reverbMix);
    storeFloat (reverbSize, StateIds::reverbSize);
    storeFloat (reverbDamping, StateIds::reverbDamping);
}

void PresetParameters::refreshConvolution()
{
    storeFloat (convReverbIR, StateIds::convReverbIR);
    storeFloat (convReverbMix, StateIds::convReverbMix);
}

void PresetParameters::refreshEq()
{
    storeFloat (eqLowFc, StateIds::eqLowFc);
    storeFloat (eqLowGain, StateIds::eqLowGain);
    storeFloat (eqLowQ, StateIds::eqLowQ);
    storeFloat (eqMidFc, StateIds::eqMidFc);
    storeFloat (eqMidGain, StateIds::eqMidGain);
    storeFloat (eqMidQ, StateIds::eqMidQ);
    storeFloat (eqHighFc, StateIds::eqHighFc);
    storeFloat (eqHighGain, StateIds::eqHighGain);
    storeFloat (eqHighQ, StateIds::eqHighQ);
}

void PresetParameters::refreshDistortion()
{
    storeFloat (distInputGain, StateIds::distInputGain);
    storeFloat (distOutputGain, StateIds::distOutputGain);
    storeFloat (distFilterFrequency, StateIds::distFilterFrequency);
    storeFloat (distFilterGain, StateIds::distFilterGain);
}

void PresetParameters::refreshCompressor()
{
    storeFloat (compressorThreshold, StateIds::compressorThreshold);
    storeFloat (compressorRatio, StateIds::compressorRatio);
    storeFloat (compressorKnee, StateIds::compressorKnee);
    storeFloat (compressorAttack, StateIds::compressorAttack);
    storeFloat (compressorRelease, StateIds::compressorRelease);
    storeFloat (compressorMakeup, StateIds::compressorMakeup);
    storeFloat (compressorMix, StateIds::compressorMix);
}
