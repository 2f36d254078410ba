#include "model/InstrumentParameters.h"
#include "model/StateIds.h"

#include "../MessageLoop.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{
struct RecordingInstrumentListener : public InstrumentParameters::Listener
{
    void instrumentChanged() override               { events.add ("instrumentChanged"); }
    void presetNameChanged() override               { events.add ("presetNameChanged"); }
    void selectedPresetChanged (int index) override { events.add ("selected " + juce::String (index)); }
    void presetAdded (int index) override           { events.add ("added " + juce::String (index)); }
    void presetRemoved (int index) override         { events.add ("removed " + juce::String (index)); }
    void presetsRebuilt() override                  { events.add ("presetsRebuilt"); }

    juce::StringArray events;
};

struct CountingPresetListener : public PresetParameters::Listener
{
    void voiceSettingsChanged() override    { ++calls; }
    int calls = 0;
};

juce::ValueTree makeInstrument (int numPresets)
{
    juce::ValueTree instrument (StateIds::INSTRUMENT);
    instrument.setProperty (StateIds::instrumentName, "Grand Keys", nullptr);
    instrument.setProperty (StateIds::companyName, "Northwind Audio", nullptr);

    for (int i = 0; i < numPresets; ++i)
    {
        juce::ValueTree preset (StateIds::PRESET);
        preset.setProperty (StateIds::presetIndex, i, nullptr);
        preset.setProperty (StateIds::presetName, "Preset " + juce::String (i), nullptr);
        instrument.appendChild (preset, nullptr);
    }

    return instrument;
}

TEST (InstrumentParametersTest, NamesAreReadFromTheNodeAndAbsentOnesAreEmpty)
{
    juce::ValueTree root (StateIds::SAMBREL_STATE);
    root.appendChild (juce::ValueTree (StateIds::GUI), nullptr);
    root.appendChild (makeInstrument (1), nullptr);
    root.appendChild (juce::ValueTree (StateIds::INSTRUMENT), nullptr);

    // Built and deleted through the base, as the installer's check does.
    std::unique_ptr<juce::ValueTree::Listener> owner;
    auto* instrument = new InstrumentParameters (root.getChildWithName (StateIds::INSTRUMENT));
    owner.reset (instrument);
    EXPECT_EQ (instrument->getInstrumentName(), "Grand Keys");
    EXPECT_EQ (instrument->getCompanyName(), "Northwind Audio");
    owner.reset();

    const InstrumentParameters missing (juce::ValueTree (StateIds::SAMBREL_STATE).getChildWithName (StateIds::INSTRUMENT));
    EXPECT_EQ (missing.getInstrumentName(), "");
    EXPECT_EQ (missing.getCompanyName(), "");
    EXPECT_EQ (missing.getNumPresets(), 0);
}

TEST (InstrumentParametersTest, ConstructionWrapsPresetsByPositionAndWritesNothing)
{
    auto node = makeInstrument (2);
    node.addChild (juce::ValueTree (StateIds::GUI), 0, nullptr);
    auto before = node.createCopy();

    InstrumentParameters instrument (node);

    ASSERT_EQ (instrument.getNumPresets(), 2);
    EXPECT_EQ (instrument.getPreset (0)->getPresetIndex(), 1);
    EXPECT_EQ (instrument.getPreset (1)->getPresetIndex(), 2);
    EXPECT_FALSE (node.hasProperty (StateIds::selectedPresetIndex));

    // Only the preset wrappers' EQ defaults were added below the instrument.
    EXPECT_TRUE (node.getChild (1).hasProperty (StateIds::eqLowQ));
    EXPECT_EQ (node.getNumProperties(), before.getNumProperties());
}

TEST (InstrumentParametersTest, SelectPresetAcceptsOnlyPositionsOfChildren)
{
    juce::ValueTree onlyGui (StateIds::INSTRUMENT);
    onlyGui.appendChild (juce::ValueTree (StateIds::GUI), nullptr);
    InstrumentParameters guiInstrument (onlyGui);
    guiInstrument.selectPreset (0);
    EXPECT_TRUE (onlyGui[StateIds::selectedPresetIndex].isInt());
    EXPECT_EQ ((int) onlyGui[StateIds::selectedPresetIndex], 0);

    auto node = makeInstrument (2);
    InstrumentParameters instrument (node);
    RecordingInstrumentListener listener;
    instrument.addListener (&listener);
    instrument.addListener (&listener);

    instrument.selectPreset (1);
    instrument.selectPreset (-1);
    instrument.selectPreset (2);
    instrument.selectPreset (1);

    EXPECT_EQ ((int) node[StateIds::selectedPresetIndex], 1);
    EXPECT_EQ (listener.events.joinIntoString (","), "selected 1");
}

TEST (InstrumentParametersTest, ChangingTheSelectionDropsEveryPresetListenerFirst)
{
    auto node = makeInstrument (2);
    InstrumentParameters instrument (node);
    CountingPresetListener presetListener;
    instrument.getPreset (0)->addListener (&presetListener);
    instrument.getPreset (1)->addListener (&presetListener);

    node.getChild (0).setProperty (StateIds::synthMode, 1, nullptr);
    EXPECT_EQ (presetListener.calls, 1);

    node.setProperty (StateIds::companyName, "Other", nullptr);
    node.getChild (0).setProperty (StateIds::synthMode, 0, nullptr);
    EXPECT_EQ (presetListener.calls, 2);

    instrument.selectPreset (1);
    node.getChild (0).setProperty (StateIds::synthMode, 1, nullptr);
    node.getChild (1).setProperty (StateIds::synthMode, 1, nullptr);
    EXPECT_EQ (presetListener.calls, 2);
}

TEST (InstrumentParametersTest, AddingRenamingAndRemovingPresets)
{
    auto node = makeInstrument (3);
    InstrumentParameters instrument (node);
    RecordingInstrumentListener listener;
    instrument.addListener (&listener);

    juce::ValueTree added (StateIds::PRESET);
    node.addChild (added, 1, nullptr);
    EXPECT_EQ (instrument.getNumPresets(), 4);
    EXPECT_EQ (instrument.getPreset (3)->getPresetIndex(), 1);

    node.getChild (2).setProperty (StateIds::presetName, "Renamed", nullptr);
    node.getChild (2).getChild (0).setProperty (StateIds::presetName, "not a preset", nullptr);
    node.removeChild (0, nullptr);

    EXPECT_EQ (listener.events.joinIntoString (","), "added 1,presetNameChanged,removed 0");
    ASSERT_EQ (instrument.getNumPresets(), 3);

    // Renumbering follows the wrapper list, where an added preset sits at the end whatever its
    // position among the children.
    for (int i = 0; i < 3; ++i)
    {
        auto* preset = instrument.getPreset (i);
        EXPECT_EQ ((int) preset->getState()[StateIds::presetIndex], i);
        EXPECT_EQ (preset->getPresetIndex(), i);
    }

    EXPECT_EQ (instrument.getPreset (2)->getState(), added);
}

TEST (InstrumentParametersTest, RemovingTheSelectedLastPresetMovesTheSelectionBack)
{
    auto node = makeInstrument (3);
    InstrumentParameters instrument (node);
    instrument.selectPreset (2);

    RecordingInstrumentListener listener;
    instrument.addListener (&listener);
    CountingPresetListener presetListener;
    instrument.getPreset (0)->addListener (&presetListener);

    node.removeChild (2, nullptr);

    EXPECT_EQ (listener.events.joinIntoString (","), "selected 1,removed 2");
    EXPECT_EQ ((int) node[StateIds::selectedPresetIndex], 1);
    node.getChild (0).setProperty (StateIds::numVoices, 4, nullptr);
    EXPECT_EQ (presetListener.calls, 0);

    // With no child left the selection stays where it was.
    listener.events.clear();
    node.removeAllChildren (nullptr);
    EXPECT_EQ (listener.events.joinIntoString (","), "selected 0,removed 1,removed 0");
    EXPECT_EQ ((int) node[StateIds::selectedPresetIndex], 0);
    EXPECT_EQ (instrument.getNumPresets(), 0);
}

TEST (InstrumentParametersTest, ReorderingPresetsRebuildsThemAsynchronouslyThenSelectsThePendingIndex)
{
    auto node = makeInstrument (3);
    InstrumentParameters instrument (node);
    instrument.selectPreset (2);
    RecordingInstrumentListener listener;
    instrument.addListener (&listener);

    node.moveChild (0, 2, nullptr);
    node.moveChild (0, 1, nullptr);
    node.getChild (0).appendChild (juce::ValueTree (StateIds::LAYER), nullptr);
    node.getChild (0).moveChild (0, 0, nullptr);
    EXPECT_EQ (listener.events.joinIntoString (","), "");

    ASSERT_TRUE (MessageLoop::deliverPosted());

    EXPECT_EQ (listener.events.joinIntoString (","), "presetsRebuilt,selected 0");
    ASSERT_EQ (instrument.getNumPresets(), 3);
    EXPECT_EQ (instrument.getPreset (0)->getState()[StateIds::presetName].toString(), "Preset 2");

    listener.events.clear();
    instrument.setPendingPresetIndex (1);
    node.moveChild (2, 0, nullptr);
    ASSERT_TRUE (MessageLoop::deliverPosted());
    EXPECT_EQ (listener.events.joinIntoString (","), "presetsRebuilt,selected 1");
}

TEST (InstrumentParametersTest, RedirectingToAnotherNodeNotifiesAsynchronously)
{
    InstrumentParameters instrument (makeInstrument (1));
    RecordingInstrumentListener listener;
    instrument.addListener (&listener);

    auto other = makeInstrument (0);
    other.setProperty (StateIds::instrumentName, "Other Keys", nullptr);
    instrument.setState (other);

    EXPECT_EQ (instrument.getInstrumentName(), "Other Keys");
    EXPECT_TRUE (listener.events.isEmpty());

    ASSERT_TRUE (MessageLoop::deliverPosted());
    EXPECT_EQ (listener.events.joinIntoString (","), "instrumentChanged");

    // Still listening to the new node.
    other.appendChild (juce::ValueTree (StateIds::PRESET), nullptr);
    EXPECT_EQ (listener.events.joinIntoString (","), "instrumentChanged,added 0");
}

TEST (InstrumentParametersTest, DestroyingCancelsPendingUpdates)
{
    auto node = makeInstrument (2);
    RecordingInstrumentListener listener;

    {
        InstrumentParameters instrument (node);
        instrument.addListener (&listener);
        node.moveChild (0, 1, nullptr);
        instrument.getPreset (0)->getState().appendChild (juce::ValueTree (StateIds::LAYER), nullptr);
        instrument.getPreset (0)->getState().appendChild (juce::ValueTree (StateIds::LAYER), nullptr);
        instrument.getPreset (0)->getState().moveChild (0, 1, nullptr);
    }

    ASSERT_TRUE (MessageLoop::deliverPosted());
    EXPECT_TRUE (listener.events.isEmpty());
}
} // namespace
