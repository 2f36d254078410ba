#pragma once

// model/ is the instrument's data model: the state tree's names, the parameter catalogue and the
// wrappers of the tree's levels; it includes nothing of ours outside model/.

#include "model/PresetParameters.h"

#include <juce_data_structures/juce_data_structures.h>
#include <juce_events/juce_events.h>

/** Wraps the INSTRUMENT node: owns a PresetParameters per PRESET child, keeps the preset
    numbering and the selection in step with the tree, and reports preset-level changes.
*/
class InstrumentParameters : public juce::ValueTree::Listener
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;

        virtual void instrumentChanged() {}
        virtual void presetNameChanged() {}
        virtual void selectedPresetChanged (int selectedPresetIndex)    { juce::ignoreUnused (selectedPresetIndex); }
        virtual void presetAdded (int index)                            { juce::ignoreUnused (index); }
        virtual void presetRemoved (int index)                          { juce::ignoreUnused (index); }
        virtual void presetsRebuilt() {}
    };

    explicit InstrumentParameters (juce::ValueTree instrumentNode);
    ~InstrumentParameters() override;

    juce::String getInstrumentName() const;
    juce::String getCompanyName() const;

    /** Selects the child at index; positions outside the node's children are ignored. */
    void selectPreset (int index);
    void rebuildPresets();

    void addListener (Listener* listener)                       { listeners.add (listener); }
    void removeListener (Listener* listener)                    { listeners.remove (listener); }

    juce::ValueTree getState() const                            { return state; }

    /** Points the wrapper at another node; the framework reports it as a redirection. */
    void setState (juce::ValueTree newNode)                 { state = std::move (newNode); }

    int getNumPresets() const noexcept                          { return presets.size(); }
    PresetParameters* getPreset (int index) const noexcept      { return presets[index]; }

    /** The preset selected after every asynchronous rebuild of the preset wrappers. */
    int getPendingPresetIndex() const noexcept                  { return pendingPresetIndex; }
    void setPendingPresetIndex (int index) noexcept             { pendingPresetIndex = index; }

    void valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property) override;
    void valueTreeChildAdded (juce::ValueTree& parent, juce::ValueTree& child) override;
    void valueTreeChildRemoved (juce::ValueTree& parent, juce::ValueTree& child, int index) override;
    void valueTreeChildOrderChanged (juce::ValueTree& parent, int oldIndex, int newIndex) override;
    void valueTreeRedirected (juce::ValueTree& tree) override;

private:
    class InstrumentAsyncUpdater : public juce::AsyncUpdater
    {
    public:
        explicit InstrumentAsyncUpdater (juce::ListenerList<Listener>& listenersToCall);
        ~InstrumentAsyncUpdater() override;

        void handleAsyncUpdate() override;

    private:
        juce::ListenerList<Listener>& listeners;
    };

    class PresetAsyncUpdater : public juce::AsyncUpdater
    {
    public:
        PresetAsyncUpdater (InstrumentParameters& ownerToUse, juce::ListenerList<Listener>& listenersToCall);
        ~PresetAsyncUpdater() override;

        void handleAsyncUpdate() override;

    private:
        InstrumentParameters* owner;
        juce::ListenerList<Listener>& listeners;
    };

    juce::ValueTree state;
    int pendingPresetIndex = 0;
    InstrumentAsyncUpdater instrumentUpdater;
    PresetAsyncUpdater presetUpdater;
    juce::ListenerList<Listener> listeners;
    juce::OwnedArray<PresetParameters> presets;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstrumentParameters)
};
