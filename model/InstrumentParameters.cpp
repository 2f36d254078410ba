// GCC 12+ mistakes the framework's listener-list iterator, which unlinks itself when the loop
// ends, for a dangling pointer. The state must be set before the framework headers are read.
#if defined (__GNUC__) && ! defined (__clang__) && __GNUC__ >= 12
 #pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif

#include "model/InstrumentParameters.h"

#include "model/NumberConversion.h"
#include "model/StateIds.h"

InstrumentParameters::InstrumentParameters (juce::ValueTree instrumentNode)
    : state (std::move (instrumentNode)),
      pendingPresetIndex (0),
      instrumentUpdater (listeners),
      presetUpdater (*this, listeners)
{
    rebuildPresets();
    state.addListener (this);
}

InstrumentParameters::~InstrumentParameters() = default;

juce::String InstrumentParameters::getInstrumentName() const
{
    return state[StateIds::instrumentName].toString();
}

juce::String InstrumentParameters::getCompanyName() const
{
    return state[StateIds::companyName].toString();
}

void InstrumentParameters::selectPreset (int index)
{
    if (juce::isPositiveAndBelow (index, state.getNumChildren()))
        state.setProperty (StateIds::selectedPresetIndex, index, nullptr);
}

void InstrumentParameters::rebuildPresets()
{
    presets.clear();

    for (int i = 0; i < state.getNumChildren(); ++i)
    {
        auto child = state.getChild (i);

        if (child.hasType (StateIds::PRESET))
            presets.add (new PresetParameters (child, i));
    }
}

void InstrumentParameters::valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property)
{
    if (tree.hasType (StateIds::INSTRUMENT))
    {
        if (property != StateIds::selectedPresetIndex)
            return;

        // Listeners of the old selection must not hear about the new one.
        for (auto* preset : presets)
            preset->removeAllListeners();

        listeners.call ([this] (Listener& l) { l.selectedPresetChanged (NumberConversion::toInt (state[StateIds::selectedPresetIndex])); });
    }
    else if (tree.hasType (StateIds::PRESET) && property == StateIds::presetName)
    {
        listeners.call ([] (Listener& l) { l.presetNameChanged(); });
    }
}

void InstrumentParameters::valueTreeChildAdded (juce::ValueTree& parent, juce::ValueTree& child)
{
    if (! child.hasType (StateIds::PRESET))
        return;

    const auto index = parent.indexOf (child);
    presets.add (new PresetParameters (child, index));
    listeners.call ([index] (Listener& l) { l.presetAdded (index); });
}

void InstrumentParameters::valueTreeChildRemoved (juce::ValueTree&, juce::ValueTree& child, int index)
{
    if (! child.hasType (StateIds::PRESET))
        return;

    if (juce::isPositiveAndBelow (index, presets.size()))
        presets.remove (index);

    for (int i = 0; i < presets.size(); ++i)
        presets.getUnchecked (i)->getState().setProperty (StateIds::presetIndex, i, nullptr);

    // The selection only ever shrinks to the last child here; with none left nothing is selected.
    const auto selected = NumberConversion::toInt (state[StateIds::selectedPresetIndex]);
    const auto numChildren = state.getNumChildren();

    if (selected >= numChildren)
        selectPreset (numChildren - 1);

    listeners.call ([index] (Listener& l) { l.presetRemoved (index); });
}

void InstrumentParameters::valueTreeChildOrderChanged (juce::ValueTree& parent, int, int)
{
    if (parent.hasType (StateIds::INSTRUMENT))
        presetUpdater.triggerAsyncUpdate();
}

void InstrumentParameters::valueTreeRedirected (juce::ValueTree&)
{
    state.addListener (this);
    instrumentUpdater.triggerAsyncUpdate();
}

InstrumentParameters::InstrumentAsyncUpdater::InstrumentAsyncUpdater (juce::ListenerList<Listener>& listenersToCall)
    : listeners (listenersToCall)
{
}

InstrumentParameters::InstrumentAsyncUpdater::~InstrumentAsyncUpdater()
{
    cancelPendingUpdate();
}

void InstrumentParameters::InstrumentAsyncUpdater::handleAsyncUpdate()
{
    listeners.call ([] (Listener& l) { l.instrumentChanged(); });
}

InstrumentParameters::PresetAsyncUpdater::PresetAsyncUpdater (InstrumentParameters& ownerToUse,
                                                              juce::ListenerList<Listener>& listenersToCall)
    : owner (&ownerToUse),
      listeners (listenersToCall)
{
}

InstrumentParameters::PresetAsyncUpdater::~PresetAsyncUpdater()
{
    cancelPendingUpdate();
}

void InstrumentParameters::PresetAsyncUpdater::handleAsyncUpdate()
{
    owner->rebuildPresets();
    listeners.call ([] (Listener& l) { l.presetsRebuilt(); });
    owner->selectPreset (owner->pendingPresetIndex);
}
