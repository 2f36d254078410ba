// GCC 12+ mistakes the framework's listener-list iterator, which unlinks itself when the loop
// ends, for a dangling pointer. The state must be set before the framework headers are read.
#if defined (__GNUC__) && ! defined (__clang__) && __GNUC__ >= 12
 #pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif

#include "model/SampleParameters.h"

#include "model/NumberConversion.h"
#include "model/StateIds.h"

#include <cmath>

namespace
{
    /** The extension as juce::File gives it, from the text alone: the path comes from the state tree, and
        juce::File would resolve one that is not absolute against the program's working directory.
    */
    juce::String extensionOf (const juce::String& path)
    {
        const auto dot = path.lastIndexOfChar ('.');
        return dot > path.lastIndexOfChar (juce::File::getSeparatorChar()) ? path.substring (dot) : juce::String();
    }
}

SampleParameters::SampleParameters (juce::ValueTree sampleNode, int sampleIndexToUse, int layerIndexToUse)
    : state (std::move (sampleNode)),
      sampleIndex (sampleIndexToUse),
      layerIndex (layerIndexToUse)
{
    state.setProperty (StateIds::sampleIndex, sampleIndex, nullptr);
    loadCachedValues();
    state.addListener (this);

    // Written while listening, so the write passes through our own handler like any other.
    if (! state.hasProperty (StateIds::sampleFileExtension))
        state.setProperty (StateIds::sampleFileExtension,
                           extensionOf (state[StateIds::sampleFilePath].toString()),
                           nullptr);
}

SampleParameters::~SampleParameters() = default;

void SampleParameters::loadCachedValues()
{
    sampleID.store (NumberConversion::toInt (state[StateIds::sampleID]));

    storeFloat (rootNote, StateIds::rootNote);
    storeFloat (keyStart, StateIds::keyStart);
    storeFloat (keyEnd, StateIds::keyEnd);
    storeFloat (velStart, StateIds::velStart);
    storeFloat (velEnd, StateIds::velEnd);
    storeFloat (sampleStart, StateIds::sampleStart);
    storeFloat (sampleEnd, StateIds::sampleEnd);
    storeFloat (loopMode, StateIds::loopMode);
    storeFloat (loopStart, StateIds::loopStart);
    storeFloat (loopEnd, StateIds::loopEnd);
    storeFloat (loopFade, StateIds::loopFade);
    storeFloat (oneShot, StateIds::oneShot);
    storeFloat (sampleGain, StateIds::sampleGain);
    storeFloat (samplePan, StateIds::samplePan);
    storeFloat (sampleTune, StateIds::sampleTune);
    storeFloat (sampleFadein, StateIds::sampleFadein);
    storeFloat (sampleFadeout, StateIds::sampleFadeout);
    storeFloat (decayPct, StateIds::decayPct);
    storeFloat (sustainPct, StateIds::sustainPct);
}

void SampleParameters::setPlaybackRange (const std::pair<int, int>& range)
{
    state.setProperty (StateIds::sampleEnd, range.second, nullptr);
    state.setProperty (StateIds::sampleStart, range.first, nullptr);
}

void SampleParameters::setLoopRange (const std::pair<int, int>& range)
{
    state.setProperty (StateIds::loopEnd, range.second, nullptr);
    state.setProperty (StateIds::loopStart, range.first, nullptr);
}

void SampleParameters::valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier& property)
{
    listeners.call ([this, &property] (Listener& l) { l.samplePropertyChanged (sampleIndex, layerIndex, property); });

    if (property == StateIds::rootNote)
    {
        storeFloat (rootNote, StateIds::rootNote);
    }
    else if (property == StateIds::keyStart || property == StateIds::keyEnd)
    {
        storeFloat (keyStart, StateIds::keyStart);
        storeFloat (keyEnd, StateIds::keyEnd);
    }
    else if (property == StateIds::velStart || property == StateIds::velEnd)
    {
        storeFloat (velStart, StateIds::velStart);
        storeFloat (velEnd, StateIds::velEnd);
    }
    else if (property == StateIds::sampleStart || property == StateIds::sampleEnd)
    {
        checkRange (StateIds::sampleStart, StateIds::sampleEnd, sampleStart, sampleEnd,
                    &SampleParameters::setPlaybackRange);
    }
    else if (property == StateIds::loopMode || property == StateIds::loopStart || property == StateIds::loopEnd)
    {
        storeFloat (loopMode, StateIds::loopMode);
        checkRange (StateIds::loopStart, StateIds::loopEnd, loopStart, loopEnd, &SampleParameters::setLoopRange);
    }
    else if (property == StateIds::loopFade)
    {
        storeFloat (loopFade, StateIds::loopFade);
    }
    else if (property == StateIds::oneShot)
    {
        storeFloat (oneShot, StateIds::oneShot);
    }
    else if (property == StateIds::sampleGain)
    {
        storeFloat (sampleGain, StateIds::sampleGain);
    }
    else if (property == StateIds::samplePan)
    {
        storeFloat (samplePan, StateIds::samplePan);
    }
    else if (property == StateIds::sampleTune)
    {
        storeFloat (sampleTune, StateIds::sampleTune);
    }
    else if (property == StateIds::sampleFadein || property == StateIds::sampleFadeout)
    {
        storeFloat (sampleFadein, StateIds::sampleFadein);
        storeFloat (sampleFadeout, StateIds::sampleFadeout);
    }
    else if (property == StateIds::decayPct || property == StateIds::sustainPct)
    {
        storeFloat (decayPct, StateIds::decayPct);
        storeFloat (sustainPct, StateIds::sustainPct);
    }
    else if (property == StateIds::sampleID)
    {
        sampleID.store (NumberConversion::toInt (state[StateIds::sampleID]));
    }
    else if (property == StateIds::sampleIndex)
    {
        sampleIndex = NumberConversion::toInt (state[StateIds::sampleIndex]);
    }
}

// An unordered pair is rewritten with the start moved below the end. The writer's property
// changes re-enter this handler, and the nested call caches the pair once it is ordered.
void SampleParameters::checkRange (const juce::Identifier& startId, const juce::Identifier& endId,
                                   std::atomic<float>& startField, std::atomic<float>& endField, RangeWriter writer)
{
    const auto start = NumberConversion::toFloat (state[startId]);
    const auto end = NumberConversion::toFloat (state[endId]);

    if (start < end || std::isnan (start) || std::isnan (end))
    {
        startField.store (start);
        endField.store (end);
        return;
    }

    const auto length = NumberConversion::toInt (state[StateIds::sampleLength]);
    const auto newEnd = NumberConversion::truncateToInt (end);
    auto candidate = NumberConversion::truncateToInt (end - 1.0f);

    if (candidate < 0)
        candidate = 0;
    else if (candidate > length)
        candidate = length;

    (this->*writer) ({ juce::jmin (candidate, newEnd), newEnd });
}

void SampleParameters::storeFloat (std::atomic<float>& field, const juce::Identifier& property)
{
    field.store (NumberConversion::toFloat (state[property]));
}
