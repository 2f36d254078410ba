#include "model/PresetParameters.h"
#include "model/StateIds.h"

#include "../MessageLoop.h"

#include <gtest/gtest.h>

namespace
{
struct RecordingPresetListener : public PresetParameters::Listener
{
    void voiceSettingsChanged() override            { events.add ("voice"); }
    void modulationSettingsChanged() override       { events.add ("modulation"); }
    void layerChanged() override                    { events.add ("layer"); }
    void sampleChanged() override                   { events.add ("sample"); }
    void sampleKeyRangeChanged() override           { events.add ("sampleKeyRange"); }
    void sampleVelocityRangeChanged() override      { events.add ("sampleVelocityRange"); }
    void sampleRootNoteChanged() override           { events.add ("sampleRootNote"); }
    void layerNameChanged() override                { events.add ("layerName"); }
    void layerKeyRangeChanged() override            { events.add ("layerKeyRange"); }
    void layerAdded (int index, int id) override    { events.add ("layerAdded " + juce::String (index) + " " + juce::String (id)); }
    void layerRemoved (int index, int id) override  { events.add ("layerRemoved " + juce::String (index) + " " + juce::String (id)); }
    void layersRebuilt() override                   { events.add ("layersRebuilt"); }

    void layerSampleAdded (const juce::File& file, SampleIndices indices, SampleIDs ids) override
    {
        events.add ("layerSampleAdded " + file.getFileName() + " " + juce::String (indices.layerIndex) + "/"
                    + juce::String (indices.sampleIndex) + " " + juce::String (ids.layerID) + "/" + juce::String (ids.sampleID));
    }

    void layerSampleRemoved (SampleIndices indices, SampleIDs ids) override
    {
        events.add ("layerSampleRemoved " + juce::String (indices.layerIndex) + "/" + juce::String (indices.sampleIndex)
                    + " " + juce::String (ids.layerID) + "/" + juce::String (ids.sampleID));
    }

    juce::StringArray events;
};

juce::ValueTree makeSample (int sampleID, const juce::String& path, juce::var storedIndex = {})
{
    juce::ValueTree sample (StateIds::SAMPLE);

    if (! storedIndex.isVoid())
        sample.setProperty (StateIds::sampleIndex, storedIndex, nullptr);

    sample.setProperty (StateIds::sampleID, sampleID, nullptr);
    sample.setProperty (StateIds::sampleFilePath, path, nullptr);
    return sample;
}

juce::ValueTree makeLayer (int layerID, int numSamples)
{
    juce::ValueTree layer (StateIds::LAYER);
    layer.setProperty (StateIds::layerID, layerID, nullptr);

    for (int i = 0; i < numSamples; ++i)
        layer.appendChild (makeSample (layerID * 10 + i, "/samples/s" + juce::String (i) + ".wav"), nullptr);

    return layer;
}

juce::ValueTree makePreset (int numLayers)
{
    juce::ValueTree preset (StateIds::PRESET);

    for (int i = 0; i < numLayers; ++i)
        preset.appendChild (makeLayer (i + 1, 2), nullptr);

    return preset;
}

TEST (PresetParametersTest, MissingEqSettingsGetTheirDefaultsAndNothingElseIsFilledIn)
{
    auto node = makePreset (0);
    node.setProperty (StateIds::eqMidFc, 0, nullptr);
    node.setProperty (StateIds::eqHighQ, 3, nullptr);
    node.setProperty (StateIds::numVoices, 8, nullptr);

    PresetParameters preset (node, 0);

    EXPECT_TRUE (node[StateIds::eqMidQ].isDouble());
    EXPECT_EQ ((double) node[StateIds::eqMidQ], (double) 0.707f);
    EXPECT_EQ ((double) node[StateIds::eqMidQ], 0.7070000171661377);
    EXPECT_EQ ((double) node[StateIds::eqLowFc], 125.0);
    EXPECT_EQ ((double) node[StateIds::eqHighFc], 8000.0);
    EXPECT_TRUE (node[StateIds::eqLowGain].isDouble());
    EXPECT_EQ ((int) node[StateIds::eqMidFc], 0);
    EXPECT_EQ ((int) node[StateIds::eqHighQ], 3);

    EXPECT_FALSE (node.hasProperty (StateIds::drive));
    EXPECT_FALSE (node.hasProperty (StateIds::compressorRatio));
    EXPECT_EQ (node.getNumProperties(), 3 + 7);

    EXPECT_EQ (preset.numVoices.load(), 8.0f);
    EXPECT_EQ (preset.eqMidQ.load(), 0.707f);
    EXPECT_EQ (preset.eqMidFc.load(), 0.0f);
    EXPECT_EQ (preset.drive.load(), 0.0f);
    EXPECT_EQ (preset.compressorRatio.load(), 0.0f);
    EXPECT_EQ (preset.compressorMix.load(), 0.0f);
    EXPECT_FALSE (node.hasProperty (StateIds::presetIndex));
}

struct NotificationCase
{
    const char* description;
    int level; // 0 preset, 1 layer, 2 sample
    const juce::Identifier* property;
    const char* expected;
};

TEST (PresetParametersTest, PropertyChangesBecomeNarrowNotifications)
{
    const NotificationCase cases[] {
        { "synth mode", 0, &StateIds::synthMode, "voice" },
        { "voices", 0, &StateIds::numVoices, "voice" },
        { "glide", 0, &StateIds::glideTime, "modulation" },
        { "bend range", 0, &StateIds::pitchBendRange, "modulation" },
        { "lfo", 0, &StateIds::lfoDepth, "modulation" },
        { "envelope", 0, &StateIds::sustain, "" },
        { "eq", 0, &StateIds::eqHighGain, "" },
        { "compressor", 0, &StateIds::compressorKnee, "" },
        { "preset name", 0, &StateIds::presetName, "" },
        { "layer name", 1, &StateIds::layerName, "layerName,layer" },
        { "layer key range", 1, &StateIds::keyEnd, "layerKeyRange,layer" },
        { "layer gain", 1, &StateIds::layerGain, "layer" },
        { "sample key range", 2, &StateIds::keyStart, "sampleKeyRange,sample" },
        { "sample root", 2, &StateIds::rootNote, "sampleRootNote,sample" },
        { "sample velocity", 2, &StateIds::velEnd, "sampleVelocityRange,sample" },
        { "sample uncached", 2, &StateIds::sampleLength, "sample" },
    };

    auto node = makePreset (1);
    PresetParameters preset (node, 0);
    RecordingPresetListener listener;
    preset.addListener (&listener);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.description);
        listener.events.clear();

        auto target = c.level == 0 ? node : c.level == 1 ? node.getChild (0) : node.getChild (0).getChild (1);
        target.setProperty (*c.property, 42.5, nullptr);

        EXPECT_EQ (listener.events.joinIntoString (","), juce::String (c.expected));
    }

    // A whole group is re-read when one of its members changes.
    EXPECT_EQ (preset.sustain.load(), 42.5f);
    EXPECT_EQ (preset.lfoDepth.load(), 42.5f);
    EXPECT_EQ (preset.eqHighGain.load(), 42.5f);
    EXPECT_EQ (preset.eqMidQ.load(), 0.707f);
    EXPECT_EQ (preset.compressorKnee.load(), 42.5f);
}

TEST (PresetParametersTest, VelocityChangesArePrintedOncePerChange)
{
    auto node = makePreset (1);
    PresetParameters preset (node, 0);
    auto sample = node.getChild (0).getChild (0);

    testing::internal::CaptureStdout();
    sample.setProperty (StateIds::velEnd, 100, nullptr);
    sample.setProperty (StateIds::velEnd, 100, nullptr);
    sample.setProperty (StateIds::velStart, 1, nullptr);
    EXPECT_EQ (testing::internal::GetCapturedStdout(), "Preset velocity changed\nPreset velocity changed\n");
}

TEST (PresetParametersTest, PresetIndexFieldFollowsTheProperty)
{
    auto node = makePreset (0);
    PresetParameters preset (node, 4);
    EXPECT_EQ (preset.getPresetIndex(), 4);

    node.setProperty (StateIds::presetIndex, 1, nullptr);
    EXPECT_EQ (preset.getPresetIndex(), 1);
}

TEST (PresetParametersTest, LayersAreAddedRemovedAndRenumbered)
{
    auto node = makePreset (3);
    PresetParameters preset (node, 0);
    RecordingPresetListener listener;
    preset.addListener (&listener);
    EXPECT_EQ (preset.getNumLayers(), 3);
    EXPECT_EQ (preset.layerCount.load(), 3);

    node.appendChild (makeLayer (9, 0), nullptr);
    ASSERT_EQ (preset.getNumLayers(), 4);
    EXPECT_TRUE (node.getChild (3)[StateIds::layerIndex].isInt());
    EXPECT_EQ ((int) node.getChild (3)[StateIds::layerIndex], 0);
    // The new layer writes its index while the preset listens, which reaches listeners first.
    EXPECT_EQ (listener.events.joinIntoString (","), "layer,layerAdded 0 9");

    listener.events.clear();
    node.removeChild (0, nullptr);

    // Renumbering writes layerIndex into the remaining layers, which reaches listeners as layer changes.
    EXPECT_EQ (listener.events.joinIntoString (","), "layer,layer,layer,layerRemoved 0 1");
    EXPECT_EQ (preset.layerCount.load(), 3);
    ASSERT_EQ (preset.getNumLayers(), 3);

    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ ((int) node.getChild (i)[StateIds::layerIndex], i);
        EXPECT_EQ (preset.getLayer (i)->getLayerIndex(), i);
    }
}

TEST (PresetParametersTest, SampleReportsNameTheirFileOrAreDropped)
{
    auto node = makePreset (2);
    PresetParameters preset (node, 0);
    RecordingPresetListener listener;
    preset.addListener (&listener);

    // The report looks the sample up by its stored index: 2 is its position, so it is found.
    node.getChild (1).appendChild (makeSample (77, "/samples/Kick.wav", 2), nullptr);
    // An empty path names no file.
    node.getChild (1).appendChild (makeSample (78, "", 3), nullptr);
    // A stored index beyond the wrappers finds none.
    node.getChild (1).appendChild (makeSample (79, "/samples/Snare.wav", 9), nullptr);
    node.getChild (1).removeChild (0, nullptr);

    SCOPED_TRACE (listener.events.joinIntoString (","));
    EXPECT_TRUE (listener.events.contains ("layerSampleAdded Kick.wav 1/2 2/77"));
    EXPECT_FALSE (listener.events.joinIntoString (",").contains ("/78"));
    EXPECT_FALSE (listener.events.joinIntoString (",").contains ("/79"));
    EXPECT_TRUE (listener.events.contains ("layerSampleRemoved 1/0 2/20"));
}

TEST (PresetParametersTest, MovingASampleRebuildsTheLayersAsynchronously)
{
    auto node = makePreset (2);
    PresetParameters preset (node, 0);
    RecordingPresetListener listener;
    preset.addListener (&listener);

    node.getChild (1).moveChild (0, 1, nullptr);
    node.moveChild (0, 1, nullptr);
    EXPECT_TRUE (listener.events.isEmpty());

    ASSERT_TRUE (MessageLoop::deliverPosted());

    // The wrappers follow the new child order.
    // The new wrappers write their indices during the rebuild; one rebuild for two triggers.
    EXPECT_EQ (listener.events.joinIntoString (","), "layer,sample,sample,layer,layersRebuilt");
    EXPECT_EQ (preset.getLayer (0)->layerID.load(), 2);
    EXPECT_EQ (preset.getLayer (0)->getSample (0)->sampleID.load(), 21);
    EXPECT_EQ ((int) node.getChild (0)[StateIds::layerIndex], 0);
}

TEST (PresetParametersTest, RedirectRecountsLayersWithoutRebuilding)
{
    PresetParameters preset (makePreset (1), 0);
    preset.setState (makePreset (3));

    EXPECT_EQ (preset.layerCount.load(), 3);
    EXPECT_EQ (preset.getNumLayers(), 1);
}
} // namespace
