// A tree read from a monolith may hold any value in any numeric property. Every number the wrappers read
// must come out as a defined int or float: values beyond the range saturate, NaN reads as 0 where an int
// is wanted. The state-tree fuzz target found the first of these values in a layer's layerID.

#include "model/InstrumentParameters.h"
#include "model/StateIds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <type_traits>
#include <vector>

namespace
{
constexpr auto intMax = std::numeric_limits<int>::max();
constexpr auto intMin = std::numeric_limits<int>::min();
constexpr auto floatMax = std::numeric_limits<float>::max();
constexpr auto infinity = std::numeric_limits<double>::infinity();
constexpr auto notANumber = std::numeric_limits<double>::quiet_NaN();

struct HostileValue
{
    const char* name;
    juce::var value;
    int asInt;
    float asFloat;
};

const HostileValue hostileValues[] {
    { "the fuzzer's layerID", 1.17325e181, intMax, floatMax },
    { "huge negative double", -1.0e300, intMin, -floatMax },
    { "beyond the float range only", 1.0e39, intMax, floatMax },
    { "one past the largest int", 2147483648.0, intMax, 2147483648.0f },
    { "one below the smallest int", -2147483649.0, intMin, -2147483648.0f },
    { "infinity", infinity, intMax, floatMax },
    { "minus infinity", -infinity, intMin, -floatMax },
    { "not a number", notANumber, 0, (float) notANumber },
    { "largest int64", std::numeric_limits<juce::int64>::max(), intMax, 9223372036854775808.0f },
    { "smallest int64", std::numeric_limits<juce::int64>::min(), intMin, -9223372036854775808.0f },
    { "text whose exponent overflows the framework's parser", "1e9999999999", intMax, floatMax },
    { "text of the smallest int", "-2147483648", intMin, -2147483648.0f },
    { "ordinary fraction", -2.75, -2, -2.75f },
};

void expectSameFloat (float actual, float expected)
{
    if (std::isnan (expected))
        EXPECT_TRUE (std::isnan (actual)) << actual;
    else
        EXPECT_EQ (actual, expected);
}

template <typename Wrapper, typename Value>
struct CachedField
{
    const juce::Identifier& property;
    std::atomic<Value> Wrapper::* field;
    bool changeHandlerStoresAsIs = true;    // false where the handler corrects what it reads
};

#define FIELD(Wrapper, name) CachedField<Wrapper, float> { StateIds::name, &Wrapper::name }

const std::vector<CachedField<PresetParameters, float>> presetFloats {
    FIELD (PresetParameters, synthMode), FIELD (PresetParameters, numVoices), FIELD (PresetParameters, glideTime),
    FIELD (PresetParameters, pitchBendRange), FIELD (PresetParameters, attack), FIELD (PresetParameters, decay),
    FIELD (PresetParameters, sustain), FIELD (PresetParameters, release), FIELD (PresetParameters, lfoType),
    FIELD (PresetParameters, lfoRate), FIELD (PresetParameters, lfoDepth), FIELD (PresetParameters, lfoRouting),
    FIELD (PresetParameters, driveOnOff), FIELD (PresetParameters, drive), FIELD (PresetParameters, filterType),
    FIELD (PresetParameters, filterCutoff), FIELD (PresetParameters, filterSlope), FIELD (PresetParameters, chorusMix),
    FIELD (PresetParameters, chorusRate), FIELD (PresetParameters, chorusDepth), FIELD (PresetParameters, phaserMix),
    FIELD (PresetParameters, phaserRate), FIELD (PresetParameters, phaserDepth), FIELD (PresetParameters, phaserFeedback),
    FIELD (PresetParameters, phaserCenterFreq), FIELD (PresetParameters, delayMix), FIELD (PresetParameters, delayTimeMSec),
    FIELD (PresetParameters, delayFeedbackPct), FIELD (PresetParameters, reverbMix), FIELD (PresetParameters, reverbSize),
    FIELD (PresetParameters, reverbDamping), FIELD (PresetParameters, convReverbIR), FIELD (PresetParameters, convReverbMix),
    FIELD (PresetParameters, eqLowFc), FIELD (PresetParameters, eqLowGain), FIELD (PresetParameters, eqLowQ),
    FIELD (PresetParameters, eqMidFc), FIELD (PresetParameters, eqMidGain), FIELD (PresetParameters, eqMidQ),
    FIELD (PresetParameters, eqHighFc), FIELD (PresetParameters, eqHighGain), FIELD (PresetParameters, eqHighQ),
    FIELD (PresetParameters, distInputGain), FIELD (PresetParameters, distOutputGain),
    FIELD (PresetParameters, distFilterFrequency), FIELD (PresetParameters, distFilterGain),
    FIELD (PresetParameters, compressorThreshold), FIELD (PresetParameters, compressorRatio),
    FIELD (PresetParameters, compressorKnee), FIELD (PresetParameters, compressorAttack),
    FIELD (PresetParameters, compressorRelease), FIELD (PresetParameters, compressorMakeup),
    FIELD (PresetParameters, compressorMix), FIELD (PresetParameters, gain), FIELD (PresetParameters, limiterOnOff),
};

const std::vector<CachedField<LayerParameters, float>> layerFloats {
    FIELD (LayerParameters, keyStart), FIELD (LayerParameters, keyEnd), FIELD (LayerParameters, layerGain),
    FIELD (LayerParameters, layerPan), FIELD (LayerParameters, attackPct), FIELD (LayerParameters, decayPct),
    FIELD (LayerParameters, sustainPct), FIELD (LayerParameters, releasePct), FIELD (LayerParameters, pitchShift),
};

const std::vector<CachedField<SampleParameters, float>> sampleFloats {
    FIELD (SampleParameters, rootNote), FIELD (SampleParameters, keyStart), FIELD (SampleParameters, keyEnd),
    FIELD (SampleParameters, velStart), FIELD (SampleParameters, velEnd),
    { StateIds::sampleStart, &SampleParameters::sampleStart, false },
    { StateIds::sampleEnd, &SampleParameters::sampleEnd, false },
    FIELD (SampleParameters, loopMode),
    { StateIds::loopStart, &SampleParameters::loopStart, false },
    { StateIds::loopEnd, &SampleParameters::loopEnd, false },
    FIELD (SampleParameters, loopFade), FIELD (SampleParameters, oneShot), FIELD (SampleParameters, sampleGain),
    FIELD (SampleParameters, samplePan), FIELD (SampleParameters, sampleTune), FIELD (SampleParameters, sampleFadein),
    FIELD (SampleParameters, sampleFadeout), FIELD (SampleParameters, decayPct), FIELD (SampleParameters, sustainPct),
};

#undef FIELD

const CachedField<LayerParameters, juce::int32> layerIdField { StateIds::layerID, &LayerParameters::layerID };
const CachedField<SampleParameters, juce::int32> sampleIdField { StateIds::sampleID, &SampleParameters::sampleID };

template <typename Wrapper>
std::unique_ptr<Wrapper> wrap (const juce::ValueTree& node)
{
    if constexpr (std::is_same_v<Wrapper, SampleParameters>)
        return std::make_unique<SampleParameters> (node, 0, 0);
    else
        return std::make_unique<Wrapper> (node, 0);
}

/** Each hostile value is read once when the node is wrapped and once by the change handler. */
template <typename Wrapper, typename Value, typename Expect>
void checkEveryHostileValue (const juce::Identifier& type, const std::vector<CachedField<Wrapper, Value>>& fields, Expect expect)
{
    for (const auto& f : fields)
    {
        for (const auto& h : hostileValues)
        {
            SCOPED_TRACE (f.property.toString() + ", " + h.name);
            juce::ValueTree node (type);
            node.setProperty (f.property, h.value, nullptr);
            const auto wrapper = wrap<Wrapper> (node);
            expect (((*wrapper).*f.field).load(), h);

            if (! f.changeHandlerStoresAsIs)
                continue;

            node.setProperty (f.property, 1, nullptr);
            node.setProperty (f.property, h.value, nullptr);
            expect (((*wrapper).*f.field).load(), h);
        }
    }
}

const auto expectFloat = [] (float actual, const HostileValue& h)    { expectSameFloat (actual, h.asFloat); };
const auto expectInt = [] (int actual, const HostileValue& h)        { EXPECT_EQ (actual, h.asInt); };

TEST (HostileNumbers, EveryCachedFloatSaturates)
{
    checkEveryHostileValue (StateIds::PRESET, presetFloats, expectFloat);
    checkEveryHostileValue (StateIds::LAYER, layerFloats, expectFloat);
    checkEveryHostileValue (StateIds::SAMPLE, sampleFloats, expectFloat);
}

TEST (HostileNumbers, EveryCachedIntSaturates)
{
    checkEveryHostileValue (StateIds::LAYER, std::vector { layerIdField }, expectInt);
    checkEveryHostileValue (StateIds::SAMPLE, std::vector { sampleIdField }, expectInt);
}

TEST (HostileNumbers, IndicesReadFromTheTreeSaturate)
{
    for (const auto& h : hostileValues)
    {
        SCOPED_TRACE (h.name);

        juce::ValueTree presetNode (StateIds::PRESET);
        PresetParameters preset (presetNode, 0);
        presetNode.setProperty (StateIds::presetIndex, h.value, nullptr);
        EXPECT_EQ (preset.getPresetIndex(), h.asInt);

        // A layer added with a hostile index is wrapped with the saturated one, and so is a sample.
        juce::ValueTree layerNode (StateIds::LAYER);
        layerNode.setProperty (StateIds::layerIndex, h.value, nullptr);
        presetNode.appendChild (layerNode, nullptr);
        auto* layer = preset.getLayer (0);
        ASSERT_NE (layer, nullptr);
        EXPECT_EQ (layer->getLayerIndex(), h.asInt);

        juce::ValueTree sampleNode (StateIds::SAMPLE);
        sampleNode.setProperty (StateIds::sampleIndex, h.value, nullptr);
        layerNode.appendChild (sampleNode, nullptr);
        auto* sample = layer->getSample (0);
        ASSERT_NE (sample, nullptr);
        EXPECT_EQ (sample->getSampleIndex(), h.asInt);

        layerNode.setProperty (StateIds::layerIndex, 5, nullptr);
        layerNode.setProperty (StateIds::layerIndex, h.value, nullptr);
        EXPECT_EQ (layer->getLayerIndex(), h.asInt);

        sampleNode.setProperty (StateIds::sampleIndex, h.value, nullptr);
        EXPECT_EQ (sample->getSampleIndex(), h.asInt);
    }
}

struct SelectionListener : public InstrumentParameters::Listener
{
    void selectedPresetChanged (int index) override     { selected.push_back (index); }
    std::vector<int> selected;
};

TEST (HostileNumbers, SelectedPresetIndexSaturates)
{
    for (const auto& h : hostileValues)
    {
        SCOPED_TRACE (h.name);
        juce::ValueTree node (StateIds::INSTRUMENT);
        node.appendChild (juce::ValueTree (StateIds::PRESET), nullptr);
        node.appendChild (juce::ValueTree (StateIds::PRESET), nullptr);
        InstrumentParameters instrument (node);
        SelectionListener listener;
        instrument.addListener (&listener);

        node.setProperty (StateIds::selectedPresetIndex, h.value, nullptr);
        EXPECT_EQ (listener.selected, std::vector<int> { h.asInt });

        // Removing a preset moves a selection past the end back to the last preset.
        node.removeChild (0, nullptr);
        const auto movedToTheLast = h.asInt >= 1;
        EXPECT_EQ (node[StateIds::selectedPresetIndex].isInt(), movedToTheLast);
        EXPECT_EQ (listener.selected.size(), movedToTheLast ? 2u : 1u);
    }
}

struct RangeCase
{
    const char* description;
    const juce::Identifier& changed;
    juce::var value;
    bool rewritten;
    int storedStart, storedEnd;
    float cachedStart, cachedEnd;
};

TEST (HostileNumbers, RangeCorrectionStaysDefined)
{
    // Before each change: start 100, end 400 (the playback or the loop range), sampleLength 1000.
    const RangeCase cases[] {
        { "start beyond every end", StateIds::sampleStart, 1.17325e181, true, 399, 400, 399.0f, 400.0f },
        { "start at infinity", StateIds::loopStart, infinity, true, 399, 400, 399.0f, 400.0f },
        { "end at infinity", StateIds::sampleEnd, infinity, false, 0, 0, 100.0f, floatMax },
        { "end at the largest int64", StateIds::loopEnd, std::numeric_limits<juce::int64>::max(), false, 0, 0,
          100.0f, 9223372036854775808.0f },
        { "end below every start", StateIds::sampleEnd, -infinity, true, intMin, intMin, 100.0f, 400.0f },
        { "end as text beyond the float range", StateIds::loopEnd, "-1e9999999999", true, intMin, intMin, 100.0f, 400.0f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.description);
        const auto loop = c.changed == StateIds::loopStart || c.changed == StateIds::loopEnd;
        const auto& startId = loop ? StateIds::loopStart : StateIds::sampleStart;
        const auto& endId = loop ? StateIds::loopEnd : StateIds::sampleEnd;

        juce::ValueTree node (StateIds::SAMPLE);
        node.setProperty (StateIds::sampleLength, 1000, nullptr);
        node.setProperty (startId, 100, nullptr);
        node.setProperty (endId, 400, nullptr);
        SampleParameters sample (node, 0, 0);

        node.setProperty (c.changed, c.value, nullptr);

        // A corrected pair is written back as integers; an ordered one is left as it is.
        EXPECT_EQ (node[c.changed].isInt(), c.rewritten);

        if (c.rewritten)
        {
            EXPECT_EQ ((int) node[startId], c.storedStart);
            EXPECT_EQ ((int) node[endId], c.storedEnd);
        }

        EXPECT_EQ ((loop ? sample.loopStart : sample.sampleStart).load(), c.cachedStart);
        EXPECT_EQ ((loop ? sample.loopEnd : sample.sampleEnd).load(), c.cachedEnd);
    }
}
} // namespace
