#include "model/LayerParameters.h"
#include "model/SampleParameters.h"
#include "model/StateIds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
juce::ValueTree makeSample (int sampleID, juce::var storedIndex = {})
{
    juce::ValueTree sample (StateIds::SAMPLE);
    sample.setProperty (StateIds::sampleID, sampleID, nullptr);
    sample.setProperty (StateIds::sampleLength, 1000, nullptr);

    if (! storedIndex.isVoid())
        sample.setProperty (StateIds::sampleIndex, storedIndex, nullptr);

    return sample;
}

struct RecordingSampleListener : public SampleParameters::Listener
{
    explicit RecordingSampleListener (SampleParameters& s) : sample (s) {}

    void samplePropertyChanged (int sampleIndex, int layerIndex, const juce::Identifier& property) override
    {
        events.add (property.toString() + " " + juce::String (sampleIndex) + " " + juce::String (layerIndex)
                    + " cachedRoot=" + juce::String (sample.rootNote.load()));
    }

    SampleParameters& sample;
    juce::StringArray events;
};

struct RangeCase
{
    const char* description;
    bool loop;
    double initialStart, initialEnd;
    bool changeStart;
    double newValue;
    int expectedStart, expectedEnd;
    float cachedStart, cachedEnd;
};

TEST (SampleParametersTest, UnorderedRangesAreRewrittenAsIntegersAndCachedOnceOrdered)
{
    const RangeCase cases[] {
        { "start moved past the end", false, 0, 400, true, 500, 399, 400, 399, 400 },
        { "start beyond a fractional end", false, 0, 5.5, true, 6, 4, 5, 4, 5 },
        { "end moved to zero keeps the old cache", false, 10, 20, false, 0, 0, 0, 10, 20 },
        { "equal loop points", true, 0, 300, true, 300, 299, 300, 299, 300 },
        { "loop start limited by the length", true, 0, 1500, true, 2000, 1000, 1500, 1000, 1500 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.description);
        const auto& startId = c.loop ? StateIds::loopStart : StateIds::sampleStart;
        const auto& endId = c.loop ? StateIds::loopEnd : StateIds::sampleEnd;

        auto node = makeSample (1);
        node.setProperty (startId, c.initialStart, nullptr);
        node.setProperty (endId, c.initialEnd, nullptr);
        SampleParameters sample (node, 0, 0);

        node.setProperty (c.changeStart ? startId : endId, c.newValue, nullptr);

        EXPECT_TRUE (node[startId].isInt());
        EXPECT_TRUE (node[endId].isInt());
        EXPECT_EQ ((int) node[startId], c.expectedStart);
        EXPECT_EQ ((int) node[endId], c.expectedEnd);
        EXPECT_EQ ((c.loop ? sample.loopStart : sample.sampleStart).load(), c.cachedStart);
        EXPECT_EQ ((c.loop ? sample.loopEnd : sample.sampleEnd).load(), c.cachedEnd);
    }
}

TEST (SampleParametersTest, RangeWritersWriteTheEndFirstAndNotANumberIsCachedAsIs)
{
    auto node = makeSample (1);
    SampleParameters sample (node, 0, 0);
    RecordingSampleListener listener (sample);
    sample.addListener (&listener);

    sample.setLoopRange ({ 10, 20 });
    ASSERT_EQ (listener.events.size(), 2);
    EXPECT_TRUE (listener.events[0].startsWith ("loopEnd"));
    EXPECT_TRUE (listener.events[1].startsWith ("loopStart"));
    EXPECT_EQ (sample.loopStart.load(), 10.0f);
    EXPECT_EQ (sample.loopEnd.load(), 20.0f);

    node.setProperty (StateIds::sampleEnd, std::numeric_limits<double>::quiet_NaN(), nullptr);
    EXPECT_TRUE (std::isnan (sample.sampleEnd.load()));

    // Out-of-range values must not overflow the integer conversion.
    node.setProperty (StateIds::sampleStart, 1.0e30, nullptr);
    node.setProperty (StateIds::sampleEnd, 1.0e30, nullptr);
    EXPECT_LT ((int) node[StateIds::sampleStart], (int) node[StateIds::sampleEnd]);
}

TEST (SampleParametersTest, ConstructionWritesTheIndexAndTheFileExtension)
{
    auto withPath = makeSample (1, 7);
    withPath.setProperty (StateIds::sampleFilePath, "/samples/drums/Kick.wav", nullptr);
    withPath.setProperty (StateIds::rootNote, 60, nullptr);
    SampleParameters sample (withPath, 2, 4);

    EXPECT_EQ ((int) withPath[StateIds::sampleIndex], 2);
    EXPECT_TRUE (withPath[StateIds::sampleIndex].isInt());
    EXPECT_EQ (withPath[StateIds::sampleFileExtension].toString(), ".wav");
    EXPECT_EQ (sample.rootNote.load(), 60.0f);
    EXPECT_EQ (sample.sampleID.load(), 1);

    auto noDot = makeSample (2);
    noDot.setProperty (StateIds::sampleFilePath, "/samples/Kick", nullptr);
    SampleParameters noDotSample (noDot, 0, 0);
    EXPECT_TRUE (noDot.hasProperty (StateIds::sampleFileExtension));
    EXPECT_EQ (noDot[StateIds::sampleFileExtension].toString(), "");

    auto kept = makeSample (3);
    kept.setProperty (StateIds::sampleFilePath, "/samples/Snare.aif", nullptr);
    kept.setProperty (StateIds::sampleFileExtension, "", nullptr);
    SampleParameters keptSample (kept, 0, 0);
    EXPECT_EQ (kept[StateIds::sampleFileExtension].toString(), "");

    // A path that is not absolute says nothing about where the program happens to run.
    const auto previous = juce::File::getCurrentWorkingDirectory();
    const auto folder = juce::File::createTempFile (".cwd");
    ASSERT_TRUE (folder.createDirectory());
    folder.setAsCurrentWorkingDirectory();
    auto relative = makeSample (4);
    relative.setProperty (StateIds::sampleFilePath, ".", nullptr);
    SampleParameters relativeSample (relative, 0, 0);
    previous.setAsCurrentWorkingDirectory();
    folder.deleteRecursively();
    EXPECT_NE (relative[StateIds::sampleFileExtension].toString(), ".cwd");
}

TEST (SampleParametersTest, ListenersHearEveryChangeBeforeTheCacheIsRefreshed)
{
    auto node = makeSample (5);
    SampleParameters sample (node, 1, 3);
    RecordingSampleListener listener (sample);
    sample.addListener (&listener);
    sample.addListener (&listener);

    node.setProperty (StateIds::rootNote, 64, nullptr);
    node.setProperty (StateIds::sampleLength, 2000, nullptr);
    node.setProperty (StateIds::sampleIndex, 4, nullptr);
    sample.setLayerIndex (9);
    node.setProperty (StateIds::keyEnd, 80, nullptr);
    node.setProperty (StateIds::keyEnd, 80, nullptr);

    EXPECT_EQ (listener.events, juce::StringArray ("rootNote 1 3 cachedRoot=0", "sampleLength 1 3 cachedRoot=64",
                                                   "sampleIndex 1 3 cachedRoot=64", "keyEnd 4 9 cachedRoot=64"));
    EXPECT_EQ (sample.getSampleIndex(), 4);
    EXPECT_EQ (sample.keyEnd.load(), 80.0f);
}

struct RecordingLayerListener : public LayerParameters::Listener
{
    void sampleAdded (SampleIndices indices, SampleIDs ids) override
    {
        events.add ("added " + describe (indices, ids));
    }

    void sampleRemoved (SampleIndices indices, SampleIDs ids) override
    {
        events.add ("removed " + describe (indices, ids));
    }

    void pitchShiftChanged() override
    {
        events.add ("pitch " + juce::String (layer->pitchShift.load()));
    }

    static juce::String describe (SampleIndices indices, SampleIDs ids)
    {
        return juce::String (indices.layerIndex) + "/" + juce::String (indices.sampleIndex) + " ids "
               + juce::String (ids.layerID) + "/" + juce::String (ids.sampleID);
    }

    LayerParameters* layer = nullptr;
    juce::StringArray events;
};

juce::ValueTree makeKeyedLayer (int layerID, int numSamples)
{
    juce::ValueTree layer (StateIds::LAYER);
    layer.setProperty (StateIds::layerID, layerID, nullptr);
    layer.setProperty (StateIds::keyStart, 36, nullptr);

    for (int i = 0; i < numSamples; ++i)
        layer.appendChild (makeSample (100 + i, 50 + i), nullptr);

    return layer;
}

TEST (LayerParametersTest, ConstructionNumbersSamplesByPositionAmongAllChildren)
{
    auto node = makeKeyedLayer (7, 2);
    node.addChild (juce::ValueTree (StateIds::GUI), 0, nullptr);
    LayerParameters layer (node, 3);

    EXPECT_EQ ((int) node[StateIds::layerIndex], 3);
    EXPECT_EQ (layer.layerID.load(), 7);
    EXPECT_EQ (layer.sampleCount.load(), 3);
    ASSERT_EQ (layer.getNumSamples(), 2);
    EXPECT_EQ ((int) node.getChild (1)[StateIds::sampleIndex], 1);
    EXPECT_EQ ((int) node.getChild (2)[StateIds::sampleIndex], 2);
    EXPECT_EQ (layer.getSample (1)->getLayerIndex(), 3);
}

TEST (LayerParametersTest, AddedAndRemovedSamplesAreReportedAndRenumbered)
{
    auto node = makeKeyedLayer (7, 1);
    LayerParameters layer (node, 2);
    RecordingLayerListener listener;
    listener.layer = &layer;
    layer.addListener (&listener);

    node.appendChild (makeSample (200, 3), nullptr);
    ASSERT_EQ (layer.getNumSamples(), 2);
    EXPECT_EQ (layer.getSample (1)->getSampleIndex(), 3);
    EXPECT_EQ (layer.sampleCount.load(), 2);

    node.appendChild (makeSample (300), nullptr);
    node.removeChild (0, nullptr);

    EXPECT_EQ (listener.events, juce::StringArray ("added 2/3 ids 7/200", "added 2/0 ids 7/300", "removed 2/0 ids 7/100"));
    ASSERT_EQ (layer.getNumSamples(), 2);
    EXPECT_EQ ((int) node.getChild (0)[StateIds::sampleIndex], 0);
    EXPECT_EQ ((int) node.getChild (1)[StateIds::sampleIndex], 1);
    EXPECT_EQ (layer.getSample (1)->getSampleIndex(), 1);
    EXPECT_EQ (layer.sampleCount.load(), 2);

    // Children of other types are ignored, but they shift positions: removing the sample at
    // position 2 finds no wrapper there, removes none, and still notifies with sample ID 0.
    listener.events.clear();
    node.addChild (juce::ValueTree (StateIds::GUI), 0, nullptr);
    node.removeChild (0, nullptr);
    node.addChild (juce::ValueTree (StateIds::GUI), 0, nullptr);
    node.removeChild (2, nullptr);

    EXPECT_EQ (listener.events, juce::StringArray ("removed 2/2 ids 7/0"));
    EXPECT_EQ (layer.getNumSamples(), 2);
    EXPECT_EQ ((int) node.getChild (1)[StateIds::sampleIndex], 0);
}

TEST (LayerParametersTest, SetLayerIndexWritesOnlyTheLayerNode)
{
    auto node = makeKeyedLayer (7, 2);
    LayerParameters layer (node, 0);

    layer.setLayerIndex (2);

    EXPECT_EQ ((int) node[StateIds::layerIndex], 2);
    EXPECT_EQ (layer.getLayerIndex(), 2);
    EXPECT_EQ (layer.getSample (0)->getLayerIndex(), 2);
    EXPECT_EQ (layer.getSample (1)->getLayerIndex(), 2);
    EXPECT_FALSE (node.getChild (0).hasProperty (StateIds::layerIndex));
}

TEST (LayerParametersTest, PitchShiftIsStoredBeforeListenersHearOfIt)
{
    auto node = makeKeyedLayer (7, 1);
    LayerParameters layer (node, 0);
    RecordingLayerListener listener;
    listener.layer = &layer;
    layer.addListener (&listener);

    node.setProperty (StateIds::pitchShift, -5, nullptr);
    node.setProperty (StateIds::layerGain, -6.0, nullptr);

    // A sample's key range makes the layer re-read its own, unchanged one.
    node.getChild (0).setProperty (StateIds::keyStart, 60, nullptr);

    EXPECT_EQ (listener.events, juce::StringArray ("pitch -5"));
    EXPECT_EQ (layer.layerGain.load(), -6.0f);
    EXPECT_EQ (layer.keyStart.load(), 36.0f);
}

TEST (LayerParametersTest, RedirectRecountsChildrenWithoutRebuilding)
{
    LayerParameters layer (makeKeyedLayer (7, 1), 0);
    auto* firstSample = layer.getSample (0);

    layer.setState (makeKeyedLayer (8, 3));

    EXPECT_EQ (layer.sampleCount.load(), 3);
    EXPECT_EQ (layer.getNumSamples(), 1);
    EXPECT_EQ (layer.getSample (0), firstSample);
}
} // namespace
