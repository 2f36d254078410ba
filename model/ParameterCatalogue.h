#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <functional>

/** The constant tables of the instrument's sound parameters: parallel tables indexed by the
    parameter index, the layer-level tables, the sample attribute names and the shared ranges
    and text functions the rows are built from.
*/
namespace ParameterCatalogue
{
using TextFunction = std::function<juce::String (float, int)>;

constexpr size_t numParameters = 55;
constexpr size_t numParameterNames = 60;
constexpr size_t numLayerParameters = 8;
constexpr size_t numSampleAttributes = 21;

/** The logarithmic mapping of logFrequencyRange, in base-10 logarithms. */
float logFrom0To1 (float rangeStart, float rangeEnd, float proportion);
float logTo0To1 (float rangeStart, float rangeEnd, float value);

extern const juce::NormalisableRange<float> percentRange;
extern const juce::NormalisableRange<float> percent200Range;
extern const juce::NormalisableRange<float> panRange;
extern const juce::NormalisableRange<float> logFrequencyRange;

// Every text function ignores its int argument.
extern const TextFunction noText;
extern const TextFunction secondsText;
extern const TextFunction frequencyText;
extern const TextFunction decibelText;
extern const TextFunction percentText;
extern const TextFunction hertzText;
extern const TextFunction twoDecimalsText;
extern const TextFunction onOffText;
extern const TextFunction ratioText;

extern const juce::StringArray synthModeChoices;
extern const juce::StringArray voiceCountChoices;
extern const juce::StringArray pitchBendRangeChoices;
extern const juce::StringArray lfoTypeChoices;
extern const juce::StringArray lfoRoutingChoices;
extern const juce::StringArray filterTypeChoices;
extern const juce::StringArray filterSlopeChoices;
extern const juce::StringArray reverbImpulseChoices;
extern const juce::StringArray noChoices;

extern const std::array<juce::Identifier, numParameters> parameterIDs;
extern const std::array<juce::String, numParameterNames> parameterNames;
extern const std::array<juce::StringArray, numParameters> parameterChoices;
extern const std::array<juce::NormalisableRange<float>, numParameters> parameterRanges;
extern const std::array<float, numParameters> parameterDefaults;
extern const std::array<TextFunction, numParameters> parameterTextFunctions;

extern const std::array<juce::String, numLayerParameters> layerParameterNames;
extern const std::array<juce::NormalisableRange<float>, numLayerParameters> layerParameterRanges;
extern const std::array<juce::String, numLayerParameters> layerParameterSuffixes;

extern const std::array<juce::String, numSampleAttributes> sampleAttributeNames;
} // namespace ParameterCatalogue
