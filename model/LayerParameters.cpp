// GCC 12+ mistakes the framework's listener-list iterator, which unlinks itself when the loop
// ends, for a dangling pointer. The state must be set before the framework headers are read.
#if defined (__GNUC__) && ! defined (__clang__) && __GNUC__ >= 12
 #pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif

#include "model/LayerParameters.h"

#include "model/NumberConversion.h"
#include "model/StateIds.h"

LayerParameters::LayerParameters (juce::ValueTree layerNode, int layerIndexToUse)
    : state (std::move (layerNode)),
      layerIndex (layerIndexToUse)
{
    setLayerIndex (layerIndex);
    rebuildSamples();
    loadCachedValues();
    state.addListener (this);
}

LayerParameters::~LayerParameters() = default;

void LayerParameters::setLayerIndex (int index)
{
    state.setProperty (StateIds::layerIndex, index, nullptr);

    for (auto* sample : samples)
        sample->setLayerIndex (index);
}

void LayerParameters::rebuildSamples()
{
    samples.clear();

    for (int i = 0; i < state.getNumChildren(); ++i)
    {
        auto child = state.getChild (i);

        if (child.hasType (StateIds::SAMPLE))
            samples.add (new SampleParameters (child, i, layerIndex));
    }

    sampleCount.store (state.getNumChildren());
}

void LayerParameters::loadCachedValues()
{
    layerID.store (NumberConversion::toInt (state[StateIds::layerID]));

    storeFloat (keyStart, StateIds::keyStart);
    storeFloat (keyEnd, StateIds::keyEnd);
    storeFloat (layerGain, StateIds::layerGain);
    storeFloat (layerPan, StateIds::layerPan);
    storeFloat (attackPct, StateIds::attackPct);
    storeFloat (decayPct, StateIds::decayPct);
    storeFloat (sustainPct, StateIds::sustainPct);
    storeFloat (releasePct, StateIds::releasePct);
    storeFloat (pitchShift, StateIds::pitchShift);
}

// Dispatches on the identifier alone: a sample's keyStart or decayPct makes the layer re-read
// its own values too, which is harmless.
void LayerParameters::valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier& property)
{
    if (property == StateIds::keyStart || property == StateIds::keyEnd)
    {
        storeFloat (keyStart, StateIds::keyStart);
        storeFloat (keyEnd, StateIds::keyEnd);
    }
    else if (property == StateIds::layerGain)
    {
        storeFloat (layerGain, StateIds::layerGain);
    }
    else if (property == StateIds::layerPan)
    {
        storeFloat (layerPan, StateIds::layerPan);
    }
    else if (property == StateIds::attackPct || property == StateIds::decayPct
             || property == StateIds::sustainPct || property == StateIds::releasePct)
    {
        storeFloat (attackPct, StateIds::attackPct);
        storeFloat (decayPct, StateIds::decayPct);
        storeFloat (sustainPct, StateIds::sustainPct);
        storeFloat (releasePct, StateIds::releasePct);
    }
    else if (property == StateIds::layerID)
    {
        layerID.store (NumberConversion::toInt (state[StateIds::layerID]));
    }
    else if (property == StateIds::layerIndex)
    {
        layerIndex = NumberConversion::toInt (state[StateIds::layerIndex]);
    }
    else if (property == StateIds::pitchShift)
    {
        storeFloat (pitchShift, StateIds::pitchShift);
        listeners.call ([] (Listener& l) { l.pitchShiftChanged(); });
    }
}

void LayerParameters::valueTreeChildAdded (juce::ValueTree&, juce::ValueTree& child)
{
    if (! child.hasType (StateIds::SAMPLE))
        return;

    sampleCount.store (state.getNumChildren());

    const auto sampleIndex = NumberConversion::toInt (child[StateIds::sampleIndex]);
    auto* sample = samples.add (new SampleParameters (child, sampleIndex, layerIndex));

    const SampleIndices indices { layerIndex, sampleIndex };
    const SampleIDs ids { layerID.load(), sample->sampleID.load() };

    sample->getState().setProperty (StateIds::sampleIndex, sampleIndex, nullptr);
    listeners.call ([indices, ids] (Listener& l) { l.sampleAdded (indices, ids); });
}

void LayerParameters::valueTreeChildRemoved (juce::ValueTree&, juce::ValueTree& child, int index)
{
    if (! child.hasType (StateIds::SAMPLE))
        return;

    sampleCount.store (state.getNumChildren());

    auto* removed = samples[index];
    const SampleIndices indices { layerIndex, index };
    const SampleIDs ids { layerID.load(), removed != nullptr ? removed->sampleID.load() : 0 };

    if (juce::isPositiveAndBelow (index, samples.size()))
        samples.remove (index);

    for (int i = 0; i < samples.size(); ++i)
        samples.getUnchecked (i)->getState().setProperty (StateIds::sampleIndex, i, nullptr);

    listeners.call ([indices, ids] (Listener& l) { l.sampleRemoved (indices, ids); });
}

void LayerParameters::valueTreeRedirected (juce::ValueTree&)
{
    sampleCount.store (state.getNumChildren());
}

void LayerParameters::storeFloat (std::atomic<float>& field, const juce::Identifier& property)
{
    field.store (NumberConversion::toFloat (state[property]));
}
