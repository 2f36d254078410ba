#include "model/InstrumentParameters.h"
#include "model/StateIds.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
// A reader thread polls the cached atomics, as an audio thread would, while this thread edits the
// tree. Under ThreadSanitizer any unsynchronised access to a cached value shows up as a race.
TEST (CachedValuesThreadTest, ReaderPollsCachedValuesWhileTheTreeIsEdited)
{
    juce::ValueTree node (StateIds::INSTRUMENT);
    juce::ValueTree preset (StateIds::PRESET);
    juce::ValueTree layer (StateIds::LAYER);
    juce::ValueTree sample (StateIds::SAMPLE);
    sample.setProperty (StateIds::sampleLength, 100000, nullptr);
    layer.appendChild (sample, nullptr);
    preset.appendChild (layer, nullptr);
    node.appendChild (preset, nullptr);

    InstrumentParameters instrument (node);
    auto* presetParameters = instrument.getPreset (0);
    auto* layerParameters = presetParameters->getLayer (0);
    auto* sampleParameters = layerParameters->getSample (0);

    std::atomic<bool> stop { false };
    std::atomic<int> reads { 0 };
    std::thread reader ([&]
    {
        float sum = 0.0f;

        while (! stop.load())
        {
            sum += presetParameters->sustain.load() + presetParameters->eqMidQ.load()
                 + (float) presetParameters->layerCount.load() + layerParameters->layerGain.load()
                 + (float) layerParameters->sampleCount.load() + sampleParameters->sampleStart.load()
                 + sampleParameters->sampleEnd.load();
            reads.fetch_add (1);
        }

        EXPECT_GE (sum, 0.0f);
    });

    for (int i = 1; i <= 2000; ++i)
    {
        preset.setProperty (StateIds::sustain, (double) (i % 100) / 100.0, nullptr);
        preset.setProperty (StateIds::eqMidQ, 0.5 + (double) (i % 10), nullptr);
        layer.setProperty (StateIds::layerGain, (double) -(i % 60), nullptr);
        sample.setProperty (StateIds::sampleEnd, i + 10, nullptr);
        sample.setProperty (StateIds::sampleStart, i + 20, nullptr);
        layer.appendChild (juce::ValueTree (StateIds::GUI), nullptr);
        layer.removeChild (1, nullptr);
    }

    while (reads.load() == 0)
        std::this_thread::yield();

    stop = true;
    reader.join();

    EXPECT_EQ (sampleParameters->sampleStart.load(), 2009.0f);
    EXPECT_EQ (sampleParameters->sampleEnd.load(), 2010.0f);
    EXPECT_EQ (layerParameters->sampleCount.load(), 1);
}
} // namespace
