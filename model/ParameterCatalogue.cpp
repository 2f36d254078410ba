#include "model/ParameterCatalogue.h"

#include "model/NumberConversion.h"
#include "model/StateIds.h"

#include <cmath>
#include <cstdio>

namespace ParameterCatalogue
{
namespace
{
template <size_t N>
juce::StringArray makeChoices (const juce::String (&strings)[N])
{
    return juce::StringArray (strings, (int) N);
}

juce::StringArray makeNumberChoices (int first, int last)
{
    juce::StringArray choices;

    for (int i = first; i <= last; ++i)
        choices.add (juce::String (i));

    return choices;
}


juce::String stepsText (float value, int)
{
    return juce::String() + juce::String (NumberConversion::truncateToInt (value)) + " steps";
}

juce::String millisecondsText (float value, int)
{
    return juce::String (value, 1) + " ms";
}

const juce::String synthModeStrings[] { "Mono", "Poly" };
const juce::String lfoTypeStrings[] { "Sin", "Saw", "Square" };
const juce::String lfoRoutingStrings[] { "None", "Pitch", "Pan" };
const juce::String filterTypeStrings[] { "None", "Low-pass", "High-pass" };
const juce::String filterSlopeStrings[] { "12 dB/oct", "24 dB/oct", "36 dB/oct", "48 dB/oct" };
const juce::String reverbImpulseStrings[] { "Plate", "Room", "Hall", "Church", "Gallery" };
const juce::String noChoiceStrings[] { juce::String() };

using Range = juce::NormalisableRange<float>;
} // namespace

float logFrom0To1 (float rangeStart, float rangeEnd, float proportion)
{
    const auto logStart = log10f (rangeStart);
    return powf (10.0f, logStart + (log10f (rangeEnd) - logStart) * proportion);
}

float logTo0To1 (float rangeStart, float rangeEnd, float value)
{
    const auto logStart = log10f (rangeStart);
    return (log10f (value) - logStart) / (log10f (rangeEnd) - logStart);
}

const Range percentRange { 0.0f, 100.0f, 0.1f, 1.0f };
const Range percent200Range { 0.0f, 200.0f, 0.1f, 1.0f };
const Range panRange { -100.0f, 100.0f, 1.0f, 1.0f };
const Range logFrequencyRange { 20.0f, 20000.0f, logFrom0To1, logTo0To1 };

const TextFunction noText = [] (float, int) { return juce::String(); };

const TextFunction secondsText = [] (float value, int)
{
    return value < 1.0f ? juce::String (value * 1000.0f, 1) + " ms"
                        : juce::String (value, 1) + " s";
};

const TextFunction frequencyText = [] (float value, int)
{
    return value > 1000.0f ? juce::String (value * 0.001f, 1) + " kHz"
                           : juce::String (value, 1) + " Hz";
};

const TextFunction decibelText = [] (float value, int) { return juce::String (value, 1) + " dB"; };
const TextFunction percentText = [] (float value, int) { return juce::String (value, 1) + " %"; };
const TextFunction hertzText = [] (float value, int) { return juce::String (value, 3) + " Hz"; };
const TextFunction twoDecimalsText = [] (float value, int) { return juce::String (value, 2); };
const TextFunction onOffText = [] (float value, int) { return juce::String (value > 0.0f ? "On" : "Off"); };

// Three characters of the six-decimal form: 1.25 reads 1.2:1 and 12 reads 12.:1.
const TextFunction ratioText = [] (float value, int)
{
    char buffer[64] {};
    std::snprintf (buffer, sizeof (buffer), "%f", (double) value);
    return juce::String (buffer).substring (0, 3) + ":1";
};

const juce::StringArray synthModeChoices = makeChoices (synthModeStrings);
const juce::StringArray voiceCountChoices = makeNumberChoices (1, 32);
const juce::StringArray pitchBendRangeChoices = makeNumberChoices (0, 12);
const juce::StringArray lfoTypeChoices = makeChoices (lfoTypeStrings);
const juce::StringArray lfoRoutingChoices = makeChoices (lfoRoutingStrings);
const juce::StringArray filterTypeChoices = makeChoices (filterTypeStrings);
const juce::StringArray filterSlopeChoices = makeChoices (filterSlopeStrings);
const juce::StringArray reverbImpulseChoices = makeChoices (reverbImpulseStrings);
const juce::StringArray noChoices = makeChoices (noChoiceStrings);

const std::array<juce::Identifier, numParameters> parameterIDs {
    StateIds::synthMode, StateIds::numVoices, StateIds::glideTime, StateIds::pitchBendRange,
    StateIds::attack, StateIds::decay, StateIds::sustain, StateIds::release,
    StateIds::lfoType, StateIds::lfoRate, StateIds::lfoDepth, StateIds::lfoRouting,
    StateIds::driveOnOff, StateIds::drive,
    StateIds::filterType, StateIds::filterCutoff, StateIds::filterSlope,
    StateIds::chorusMix, StateIds::chorusRate, StateIds::chorusDepth,
    StateIds::phaserMix, StateIds::phaserRate, StateIds::phaserDepth, StateIds::phaserFeedback,
    StateIds::phaserCenterFreq,
    StateIds::delayMix, StateIds::delayTimeMSec, StateIds::delayFeedbackPct,
    StateIds::reverbMix, StateIds::reverbSize, StateIds::reverbDamping,
    StateIds::convReverbIR, StateIds::convReverbMix,
    StateIds::eqLowFc, StateIds::eqLowGain, StateIds::eqLowQ,
    StateIds::eqMidFc, StateIds::eqMidGain, StateIds::eqMidQ,
    StateIds::eqHighFc, StateIds::eqHighGain, StateIds::eqHighQ,
    StateIds::distInputGain, StateIds::distOutputGain, StateIds::distFilterFrequency, StateIds::distFilterGain,
    StateIds::gain, StateIds::limiterOnOff,
    StateIds::compressorThreshold, StateIds::compressorRatio, StateIds::compressorKnee,
    StateIds::compressorAttack, StateIds::compressorRelease, StateIds::compressorMakeup,
    StateIds::compressorMix
};

const std::array<juce::String, numParameterNames> parameterNames {
    "Synth Mode", "Number of Voices", "Glide Time", "Pitch Bend Range",
    "Attack", "Decay", "Sustain", "Release",
    "LFO Type", "LFO Rate", "LFO Depth", "LFO Routing",
    "Drive On/Off", "Drive",
    "Filter Type", "Filter Cutoff", "Filter Slope",
    "Chorus Mix", "Chorus Rate", "Chorus Depth",
    "Phaser Mix", "Phaser Rate", "Phaser Depth", "Phaser Feedback", "Phaser Center Frequency",
    "Delay Mix", "Delay Time", "Delay Feedback",
    "Reverb Mix", "Reverb Size", "Reverb Damping",
    "Convolution Reverb IR", "Convolution Reverb Mix",
    "EQ Low Fc", "EQ Low Gain", "EQ Low Q",
    "EQ Mid Fc", "EQ Mid Gain", "EQ Mid Q",
    "EQ High Fc", "EQ High Gain", "EQ High Q",
    "Distortion Input Gain", "Distortion Output Gain", "Distortion Filter Frequency", "Distortion Filter Gain",
    "Gain", "Limiter On/Off",
    "Compressor Threshold", "Compressor Ratio", "Compressor Knee", "Compressor Attack", "Compressor Release",
    "Compressor make-up", "Compressor Mix",
    // Further control names that have no parameter row.
    "", "Preset Select", "L Out", "R Out", "Midi Monitor"
};

const std::array<juce::StringArray, numParameters> parameterChoices {
    synthModeChoices, voiceCountChoices, noChoices, pitchBendRangeChoices,
    noChoices, noChoices, noChoices, noChoices,
    lfoTypeChoices, noChoices, noChoices, lfoRoutingChoices,
    noChoices, noChoices,
    filterTypeChoices, noChoices, filterSlopeChoices,
    noChoices, noChoices, noChoices,
    noChoices, noChoices, noChoices, noChoices, noChoices,
    noChoices, noChoices, noChoices,
    noChoices, noChoices, noChoices,
    reverbImpulseChoices, noChoices,
    noChoices, noChoices, noChoices,
    noChoices, noChoices, noChoices,
    noChoices, noChoices, noChoices,
    noChoices, noChoices, noChoices, noChoices,
    noChoices, noChoices,
    noChoices, noChoices, noChoices, noChoices, noChoices, noChoices, noChoices
};

const std::array<Range, numParameters> parameterRanges {
    Range(),                                        // synthMode
    Range(),                                        // numVoices
    Range { 0.0f, 8.0f, 0.0001f, 0.25f },           // glideTime
    Range(),                                        // pitchBendRange
    Range { 0.0f, 10.0f, 0.0001f, 0.4f },           // attack
    Range { 0.0f, 10.0f, 0.0001f, 0.4f },           // decay
    Range { 0.0f, 1.0f, 0.01f, 1.0f },              // sustain
    Range { 0.0f, 10.0f, 0.0001f, 0.4f },           // release
    Range(),                                        // lfoType
    Range { 0.001f, 20.0f, 0.001f, 0.4f },          // lfoRate
    percentRange,                                   // lfoDepth
    Range(),                                        // lfoRouting
    Range(),                                        // driveOnOff
    Range { 0.0f, 24.0f, 0.1f, 1.0f },              // drive
    Range(),                                        // filterType
    logFrequencyRange,                              // filterCutoff
    Range(),                                        // filterSlope
    Range { 0.0f, 100.0f, 0.1f, 1.0f },             // chorusMix
    Range { 0.0f, 20.0f, 0.001f, 0.4f },            // chorusRate
    percentRange,                                   // chorusDepth
    Range { 0.0f, 100.0f, 0.1f, 1.0f },             // phaserMix
    Range { 0.0f, 20.0f, 0.001f, 0.4f },            // phaserRate
    percentRange,                                   // phaserDepth
    Range { -100.0f, 100.0f, 0.1f, 1.0f },          // phaserFeedback
    logFrequencyRange,                              // phaserCenterFreq
    Range { 0.0f, 100.0f, 0.1f, 1.0f },             // delayMix
    Range { 0.0f, 3000.0f, 0.1f, 1.0f },            // delayTimeMSec
    Range { 0.0f, 100.0f, 0.1f, 1.0f },             // delayFeedbackPct
    Range { 0.0f, 100.0f, 0.1f, 1.0f },             // reverbMix
    percentRange,                                   // reverbSize
    percentRange,                                   // reverbDamping
    Range(),                                        // convReverbIR
    Range { 0.0f, 100.0f, 0.1f, 1.0f },             // convReverbMix
    Range { 20.0f, 1000.0f, 0.1f, 1.0f },           // eqLowFc
    Range { -60.0f, 12.0f, 0.1f, 1.2f },            // eqLowGain
    Range { 0.2f, 20.0f, 0.001f, 1.0f },            // eqLowQ
    Range { 250.0f, 4000.0f, 0.1f, 1.0f },          // eqMidFc
    Range { -60.0f, 12.0f, 0.1f, 1.2f },            // eqMidGain
    Range { 0.2f, 20.0f, 0.001f, 1.0f },            // eqMidQ
    Range { 2000.0f, 20000.0f, 0.1f, 1.0f },        // eqHighFc
    Range { -60.0f, 12.0f, 0.1f, 1.2f },            // eqHighGain
    Range { 0.2f, 20.0f, 0.001f, 1.0f },            // eqHighQ
    Range { -60.0f, 40.0f, 0.1f, 1.2f },            // distInputGain
    Range { -60.0f, 40.0f, 0.1f, 1.2f },            // distOutputGain
    Range { 0.0f, 20000.0f, 0.1f, 1.0f },           // distFilterFrequency
    Range { -60.0f, 40.0f, 0.1f, 1.2f },            // distFilterGain
    Range { -60.0f, 12.0f, 0.1f, 1.2f },            // gain
    Range(),                                        // limiterOnOff
    Range { -50.0f, 0.0f, 0.1f, 1.0f },             // compressorThreshold
    Range { 1.0f, 30.0f, 0.1f, 1.0f },              // compressorRatio
    Range { 0.0f, 1.0f, 0.001f, 1.0f },             // compressorKnee
    Range { 0.0f, 200.0f, 0.1f, 1.0f },             // compressorAttack
    Range { 5.0f, 5000.0f, 0.1f, 1.0f },            // compressorRelease
    Range { -20.0f, 50.0f, 0.1f, 1.0f },            // compressorMakeup
    percentRange                                    // compressorMix
};

const std::array<float, numParameters> parameterDefaults {
    1.0f, 32.0f, 0.0f, 0.0f,                        // synthMode .. pitchBendRange
    0.0f, 0.6f, 1.0f, 0.05f,                        // attack .. release
    0.0f, 3.0f, 0.0f, 0.0f,                         // lfoType .. lfoRouting
    0.0f, 0.0f,                                     // driveOnOff, drive
    0.0f, 20000.0f, 0.0f,                           // filterType .. filterSlope
    0.0f, 0.25f, 50.0f,                             // chorus
    0.0f, 0.48f, 50.0f, 58.0f, 500.0f,              // phaser
    0.0f, 500.0f, 25.0f,                            // delay
    0.0f, 50.0f, 20.0f,                             // reverb
    0.0f, 0.0f,                                     // convolution reverb
    125.0f, 0.0f, 0.707f,                           // EQ low
    1000.0f, 0.0f, 0.707f,                          // EQ mid
    8000.0f, 0.0f, 0.707f,                          // EQ high
    0.0f, 0.0f, 7000.0f, 0.0f,                      // distortion
    0.0f, 1.0f,                                     // gain, limiterOnOff
    -20.0f, 1.0f, 0.6f, 15.0f, 50.0f, 0.0f, 0.0f    // compressor
};

const std::array<TextFunction, numParameters> parameterTextFunctions {
    noText, noText, secondsText, stepsText,
    secondsText, secondsText, twoDecimalsText, secondsText,
    noText, hertzText, percentText, noText,
    onOffText, decibelText,
    noText, frequencyText, noText,
    percentText, hertzText, percentText,
    percentText, hertzText, percentText, twoDecimalsText, frequencyText,
    percentText, millisecondsText, percentText,
    percentText, percentText, percentText,
    noText, percentText,
    frequencyText, decibelText, noText,
    frequencyText, decibelText, noText,
    frequencyText, decibelText, noText,
    decibelText, decibelText, frequencyText, decibelText,
    decibelText, onOffText,
    decibelText, ratioText, twoDecimalsText, secondsText, secondsText, decibelText, percentText
};

const std::array<juce::String, numLayerParameters> layerParameterNames {
    "Key Range", "Gain", "Pan", "Attack Pct", "Decay Pct", "Sustain Pct", "Release Pct", "Pitch Shift"
};

const std::array<Range, numLayerParameters> layerParameterRanges {
    Range { 0.0f, 127.0f, 1.0f, 1.0f },
    Range { -60.0f, 0.0f, 0.1f, 1.2f },
    panRange,
    percent200Range,
    percent200Range,
    percent200Range,
    percent200Range,
    Range { -12.0f, 12.0f, 1.0f, 1.0f }
};

const std::array<juce::String, numLayerParameters> layerParameterSuffixes {
    "", " dB", "", " %", " %", " %", " %", " semitones"
};

const std::array<juce::String, numSampleAttributes> sampleAttributeNames {
    "SampleName", "SampleFilePath", "SampleLength", "RootNote", "KeyRangeStart", "KeyRangeEnd",
    "VelocityRangeStart", "VelocityRangeEnd", "SampleStart", "SampleEnd", "LoopMode", "LoopStart", "LoopEnd",
    "Gain", "Pan", "SampleFadein", "SampleFadeout", "Decay", "Sustain", "PreviousRootNote", "Fade"
};
} // namespace ParameterCatalogue
