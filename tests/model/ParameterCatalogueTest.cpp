#include "model/ParameterCatalogue.h"
#include "model/StateIds.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
using namespace ParameterCatalogue;

// Each text function gives a different text for 0.5, which identifies the function of a row.
constexpr const char* noTextAtHalf = "";
constexpr const char* secondsAtHalf = "500.0 ms";
constexpr const char* frequencyAtHalf = "0.5 Hz";
constexpr const char* decibelAtHalf = "0.5 dB";
constexpr const char* percentAtHalf = "0.5 %";
constexpr const char* hertzAtHalf = "0.500 Hz";
constexpr const char* twoDecimalsAtHalf = "0.50";
constexpr const char* onOffAtHalf = "On";
constexpr const char* ratioAtHalf = "0.5:1";
constexpr const char* stepsAtHalf = "0 steps";
constexpr const char* millisecondsAtHalf = "0.5 ms";

struct Row
{
    const char* id;
    const char* name;
    float start, end, interval, skew;
    float defaultValue;
    const char* textAtHalf;
    const juce::StringArray* choices;
};

const Row rows[] {
    { "synthMode", "Synth Mode", 0, 1, 0, 1, 1, noTextAtHalf, &synthModeChoices },
    { "numVoices", "Number of Voices", 0, 1, 0, 1, 32, noTextAtHalf, &voiceCountChoices },
    { "glideTime", "Glide Time", 0, 8, 0.0001f, 0.25f, 0, secondsAtHalf, nullptr },
    { "pitchBendRange", "Pitch Bend Range", 0, 1, 0, 1, 0, stepsAtHalf, &pitchBendRangeChoices },
    { "attack", "Attack", 0, 10, 0.0001f, 0.4f, 0, secondsAtHalf, nullptr },
    { "decay", "Decay", 0, 10, 0.0001f, 0.4f, 0.6f, secondsAtHalf, nullptr },
    { "sustain", "Sustain", 0, 1, 0.01f, 1, 1, twoDecimalsAtHalf, nullptr },
    { "release", "Release", 0, 10, 0.0001f, 0.4f, 0.05f, secondsAtHalf, nullptr },
    { "lfoType", "LFO Type", 0, 1, 0, 1, 0, noTextAtHalf, &lfoTypeChoices },
    { "lfoRate", "LFO Rate", 0.001f, 20, 0.001f, 0.4f, 3, hertzAtHalf, nullptr },
    { "lfoDepth", "LFO Depth", 0, 100, 0.1f, 1, 0, percentAtHalf, nullptr },
    { "lfoRouting", "LFO Routing", 0, 1, 0, 1, 0, noTextAtHalf, &lfoRoutingChoices },
    { "driveOnOff", "Drive On/Off", 0, 1, 0, 1, 0, onOffAtHalf, nullptr },
    { "drive", "Drive", 0, 24, 0.1f, 1, 0, decibelAtHalf, nullptr },
    { "filterType", "Filter Type", 0, 1, 0, 1, 0, noTextAtHalf, &filterTypeChoices },
    { "filterCutoff", "Filter Cutoff", 20, 20000, 0, 1, 20000, frequencyAtHalf, nullptr },
    { "filterSlope", "Filter Slope", 0, 1, 0, 1, 0, noTextAtHalf, &filterSlopeChoices },
    { "chorusMix", "Chorus Mix", 0, 100, 0.1f, 1, 0, percentAtHalf, nullptr },
    { "chorusRate", "Chorus Rate", 0, 20, 0.001f, 0.4f, 0.25f, hertzAtHalf, nullptr },
    { "chorusDepth", "Chorus Depth", 0, 100, 0.1f, 1, 50, percentAtHalf, nullptr },
    { "phaserMix", "Phaser Mix", 0, 100, 0.1f, 1, 0, percentAtHalf, nullptr },
    { "phaserRate", "Phaser Rate", 0, 20, 0.001f, 0.4f, 0.48f, hertzAtHalf, nullptr },
    { "phaserDepth", "Phaser Depth", 0, 100, 0.1f, 1, 50, percentAtHalf, nullptr },
    { "phaserFeedback", "Phaser Feedback", -100, 100, 0.1f, 1, 58, twoDecimalsAtHalf, nullptr },
    { "phaserCenterFreq", "Phaser Center Frequency", 20, 20000, 0, 1, 500, frequencyAtHalf, nullptr },
    { "delayMix", "Delay Mix", 0, 100, 0.1f, 1, 0, percentAtHalf, nullptr },
    { "delayTimeMSec", "Delay Time", 0, 3000, 0.1f, 1, 500, millisecondsAtHalf, nullptr },
    { "delayFeedbackPct", "Delay Feedback", 0, 100, 0.1f, 1, 25, percentAtHalf, nullptr },
    { "reverbMix", "Reverb Mix", 0, 100, 0.1f, 1, 0, percentAtHalf, nullptr },
    { "reverbSize", "Reverb Size", 0, 100, 0.1f, 1, 50, percentAtHalf, nullptr },
    { "reverbDamping", "Reverb Damping", 0, 100, 0.1f, 1, 20, percentAtHalf, nullptr },
    { "convReverbIR", "Convolution Reverb IR", 0, 1, 0, 1, 0, noTextAtHalf, &reverbImpulseChoices },
    { "convReverbMix", "Convolution Reverb Mix", 0, 100, 0.1f, 1, 0, percentAtHalf, nullptr },
    { "eqLowFc", "EQ Low Fc", 20, 1000, 0.1f, 1, 125, frequencyAtHalf, nullptr },
    { "eqLowGain", "EQ Low Gain", -60, 12, 0.1f, 1.2f, 0, decibelAtHalf, nullptr },
    { "eqLowQ", "EQ Low Q", 0.2f, 20, 0.001f, 1, 0.707f, noTextAtHalf, nullptr },
    { "eqMidFc", "EQ Mid Fc", 250, 4000, 0.1f, 1, 1000, frequencyAtHalf, nullptr },
    { "eqMidGain", "EQ Mid Gain", -60, 12, 0.1f, 1.2f, 0, decibelAtHalf, nullptr },
    { "eqMidQ", "EQ Mid Q", 0.2f, 20, 0.001f, 1, 0.707f, noTextAtHalf, nullptr },
    { "eqHighFc", "EQ High Fc", 2000, 20000, 0.1f, 1, 8000, frequencyAtHalf, nullptr },
    { "eqHighGain", "EQ High Gain", -60, 12, 0.1f, 1.2f, 0, decibelAtHalf, nullptr },
    { "eqHighQ", "EQ High Q", 0.2f, 20, 0.001f, 1, 0.707f, noTextAtHalf, nullptr },
    { "distInputGain", "Distortion Input Gain", -60, 40, 0.1f, 1.2f, 0, decibelAtHalf, nullptr },
    { "distOutputGain", "Distortion Output Gain", -60, 40, 0.1f, 1.2f, 0, decibelAtHalf, nullptr },
    { "distFilterFrequency", "Distortion Filter Frequency", 0, 20000, 0.1f, 1, 7000, frequencyAtHalf, nullptr },
    { "distFilterGain", "Distortion Filter Gain", -60, 40, 0.1f, 1.2f, 0, decibelAtHalf, nullptr },
    { "gain", "Gain", -60, 12, 0.1f, 1.2f, 0, decibelAtHalf, nullptr },
    { "limiterOnOff", "Limiter On/Off", 0, 1, 0, 1, 1, onOffAtHalf, nullptr },
    { "compressorThreshold", "Compressor Threshold", -50, 0, 0.1f, 1, -20, decibelAtHalf, nullptr },
    { "compressorRatio", "Compressor Ratio", 1, 30, 0.1f, 1, 1, ratioAtHalf, nullptr },
    { "compressorKnee", "Compressor Knee", 0, 1, 0.001f, 1, 0.6f, twoDecimalsAtHalf, nullptr },
    { "compressorAttack", "Compressor Attack", 0, 200, 0.1f, 1, 15, secondsAtHalf, nullptr },
    { "compressorRelease", "Compressor Release", 5, 5000, 0.1f, 1, 50, secondsAtHalf, nullptr },
    { "compressorMakeup", "Compressor make-up", -20, 50, 0.1f, 1, 0, decibelAtHalf, nullptr },
    { "compressorMix", "Compressor Mix", 0, 100, 0.1f, 1, 0, percentAtHalf, nullptr },
};

TEST (ParameterCatalogueTest, EveryRowMatchesItsTableEntry)
{
    ASSERT_EQ (std::size (rows), numParameters);

    for (size_t i = 0; i < numParameters; ++i)
    {
        const auto& row = rows[i];
        SCOPED_TRACE (row.id);

        EXPECT_EQ (parameterIDs[i].toString(), juce::String (row.id));
        EXPECT_EQ (parameterNames[i], juce::String (row.name));
        EXPECT_EQ (parameterDefaults[i], row.defaultValue);

        const auto& range = parameterRanges[i];
        EXPECT_EQ (range.start, row.start);
        EXPECT_EQ (range.end, row.end);
        EXPECT_EQ (range.interval, row.interval);
        EXPECT_EQ (range.skew, row.skew);
        EXPECT_FALSE (range.symmetricSkew);

        EXPECT_EQ (parameterTextFunctions[i] (0.5f, 0), juce::String (row.textAtHalf));
        EXPECT_EQ (parameterTextFunctions[i] (0.5f, 7), juce::String (row.textAtHalf));

        if (row.choices != nullptr)
            EXPECT_EQ (parameterChoices[i], *row.choices);
        else
            EXPECT_EQ (parameterChoices[i], juce::StringArray (juce::String()));
    }
}

TEST (ParameterCatalogueTest, IdentifiersAreTheStateTreeConstantsAndTrailingNamesFollow)
{
    EXPECT_EQ (parameterIDs[0], StateIds::synthMode);
    EXPECT_EQ (parameterIDs[38], StateIds::eqMidQ);
    EXPECT_EQ (parameterIDs[54], StateIds::compressorMix);

    const char* trailing[] { "", "Preset Select", "L Out", "R Out", "Midi Monitor" };
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ (parameterNames[numParameters + i], juce::String (trailing[i]));
}

TEST (ParameterCatalogueTest, ChoiceListsHoldTheirEntriesInOrder)
{
    EXPECT_EQ (synthModeChoices, juce::StringArray ("Mono", "Poly"));
    EXPECT_EQ (lfoTypeChoices, juce::StringArray ("Sin", "Saw", "Square"));
    EXPECT_EQ (lfoRoutingChoices, juce::StringArray ("None", "Pitch", "Pan"));
    EXPECT_EQ (filterTypeChoices, juce::StringArray ("None", "Low-pass", "High-pass"));
    EXPECT_EQ (filterSlopeChoices, juce::StringArray ("12 dB/oct", "24 dB/oct", "36 dB/oct", "48 dB/oct"));
    EXPECT_EQ (reverbImpulseChoices, juce::StringArray ("Plate", "Room", "Hall", "Church", "Gallery"));
    EXPECT_EQ (noChoices.size(), 1);
    EXPECT_TRUE (noChoices[0].isEmpty());

    ASSERT_EQ (voiceCountChoices.size(), 32);
    EXPECT_EQ (voiceCountChoices[0], "1");
    EXPECT_EQ (voiceCountChoices[31], "32");

    ASSERT_EQ (pitchBendRangeChoices.size(), 13);
    EXPECT_EQ (pitchBendRangeChoices[0], "0");
    EXPECT_EQ (pitchBendRangeChoices[12], "12");

    // The Synth Mode default is the position of "Poly".
    EXPECT_EQ (synthModeChoices[(int) parameterDefaults[0]], "Poly");
}

struct TextCase
{
    const TextFunction* function;
    float value;
    const char* expected;
};

TEST (ParameterCatalogueTest, TextFunctionsFollowTheirRulesAtTheBoundaries)
{
    const TextFunction steps = parameterTextFunctions[3];
    const TextFunction milliseconds = parameterTextFunctions[26];

    const TextCase cases[] {
        { &noText, 123.0f, "" },
        { &secondsText, 0.05f, "50.0 ms" },
        { &secondsText, 0.5f, "500.0 ms" },
        { &secondsText, 0.0f, "0.0 ms" },
        { &secondsText, 0.99999f, "1000.0 ms" },
        { &secondsText, 1.0f, "1.0 s" },
        { &secondsText, 2.5f, "2.5 s" },
        { &secondsText, 15.0f, "15.0 s" },
        { &secondsText, 50.0f, "50.0 s" },
        { &frequencyText, 125.0f, "125.0 Hz" },
        { &frequencyText, 1000.0f, "1000.0 Hz" },
        { &frequencyText, 1000.5f, "1.0 kHz" },
        { &frequencyText, 8000.0f, "8.0 kHz" },
        { &frequencyText, 20000.0f, "20.0 kHz" },
        { &decibelText, -20.0f, "-20.0 dB" },
        { &decibelText, 0.0f, "0.0 dB" },
        { &percentText, 50.0f, "50.0 %" },
        { &hertzText, 0.25f, "0.250 Hz" },
        { &hertzText, 3.0f, "3.000 Hz" },
        { &twoDecimalsText, 0.6f, "0.60" },
        { &twoDecimalsText, -58.0f, "-58.00" },
        { &onOffText, 0.0f, "Off" },
        { &onOffText, -1.0f, "Off" },
        { &onOffText, 0.001f, "On" },
        { &onOffText, 1.0f, "On" },
        { &ratioText, 1.0f, "1.0:1" },
        { &ratioText, 4.5f, "4.5:1" },
        { &ratioText, 12.0f, "12.:1" },
        { &ratioText, 30.0f, "30.:1" },
        { &ratioText, 1.25f, "1.2:1" },
        { &ratioText, 1.99f, "1.9:1" },
        { &steps, 12.7f, "12 steps" },
        { &steps, 2.0f, "2 steps" },
        { &steps, -0.5f, "0 steps" },
        { &steps, -1.5f, "-1 steps" },
        { &steps, std::numeric_limits<float>::quiet_NaN(), "0 steps" },
        { &steps, std::numeric_limits<float>::infinity(), "2147483647 steps" },
        { &milliseconds, 500.0f, "500.0 ms" },
        { &milliseconds, 2.5f, "2.5 ms" },
    };

    for (const auto& c : cases)
        EXPECT_EQ ((*c.function) (c.value, 0), juce::String (c.expected)) << "value " << c.value;
}

TEST (ParameterCatalogueTest, LogarithmicMappingRoundTripsAndHitsTheEnds)
{
    EXPECT_NEAR (logTo0To1 (20.0f, 20000.0f, 632.4555f), 0.5f, 1.0e-6f);
    EXPECT_NEAR (logFrom0To1 (20.0f, 20000.0f, 0.5f), 632.46f, 0.01f);
    EXPECT_NEAR (logFrom0To1 (20.0f, 20000.0f, 0.0f), 20.0f, 1.0e-3f);
    EXPECT_NEAR (logFrom0To1 (20.0f, 20000.0f, 1.0f), 20000.0f, 0.02f);

    for (float p = 0.0f; p <= 1.0f; p += 0.125f)
        EXPECT_NEAR (logTo0To1 (20.0f, 20000.0f, logFrom0To1 (20.0f, 20000.0f, p)), p, 1.0e-5f);

    // The filter rows carry the mapping; snapping only clamps to the range.
    const auto& cutoff = parameterRanges[15];
    EXPECT_NEAR (cutoff.convertFrom0to1 (0.5f), 632.46f, 0.01f);
    EXPECT_NEAR (parameterRanges[24].convertTo0to1 (632.4555f), 0.5f, 1.0e-6f);
    EXPECT_EQ (cutoff.snapToLegalValue (10.0f), 20.0f);
    EXPECT_EQ (cutoff.snapToLegalValue (30000.0f), 20000.0f);
    EXPECT_EQ (cutoff.snapToLegalValue (1234.5f), 1234.5f);

    // A plain range maps linearly.
    EXPECT_NEAR (percentRange.convertFrom0to1 (0.5f), 50.0f, 1.0e-4f);
}

TEST (ParameterCatalogueTest, LayerTablesAndSampleAttributeNames)
{
    const char* names[] { "Key Range", "Gain", "Pan", "Attack Pct", "Decay Pct", "Sustain Pct", "Release Pct", "Pitch Shift" };
    const float ranges[][4] { { 0, 127, 1, 1 }, { -60, 0, 0.1f, 1.2f }, { -100, 100, 1, 1 }, { 0, 200, 0.1f, 1 },
                              { 0, 200, 0.1f, 1 }, { 0, 200, 0.1f, 1 }, { 0, 200, 0.1f, 1 }, { -12, 12, 1, 1 } };
    const char* suffixes[] { "", " dB", "", " %", " %", " %", " %", " semitones" };

    for (size_t i = 0; i < numLayerParameters; ++i)
    {
        EXPECT_EQ (layerParameterNames[i], juce::String (names[i]));
        EXPECT_EQ (layerParameterSuffixes[i], juce::String (suffixes[i]));
        EXPECT_EQ (layerParameterRanges[i].start, ranges[i][0]) << i;
        EXPECT_EQ (layerParameterRanges[i].end, ranges[i][1]) << i;
        EXPECT_EQ (layerParameterRanges[i].interval, ranges[i][2]) << i;
        EXPECT_EQ (layerParameterRanges[i].skew, ranges[i][3]) << i;
    }

    ASSERT_EQ (sampleAttributeNames.size(), 21u);
    EXPECT_EQ (sampleAttributeNames[0], "SampleName");
    EXPECT_EQ (sampleAttributeNames[6], "VelocityRangeStart");
    EXPECT_EQ (sampleAttributeNames[13], "Gain");
    EXPECT_EQ (sampleAttributeNames[19], "PreviousRootNote");
    EXPECT_EQ (sampleAttributeNames[20], "Fade");
}
} // namespace
