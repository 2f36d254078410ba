// Feeds arbitrary bytes, as the binary form of a state tree, through the path of the monolith check: the
// bytes become the state chunk of a monolith that MonolithReader::readState decodes, and the data-model
// wrappers are built over the result. Edits of the tree then make the wrappers' callbacks run.
// (The framework's own ValueTree::readFromData trusts every count in the data and hangs on a few
// hostile bytes, which is why the reader checks the data first.)

#include "InputFile.h"
#include "model/InstrumentParameters.h"
#include "model/StateIds.h"
#include "monolith/MonolithReader.h"
#include "monolith/MonolithWriter.h"

#include <cstdint>

namespace juce
{
    // The framework's own step of its message loop: it dispatches what is pending and returns at once,
    // where runDispatchLoopUntil sleeps for at least a millisecond per call.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace
{
    juce::ValueTree readStateThroughMonolith (const std::uint8_t* data, size_t size)
    {
        static const InputFile inputFile ("state_tree_fuzzer");
        juce::MemoryOutputStream monolith;

        if (! MonolithWriter (monolith).writeChunk (0x2545f491u, ChunkType::stateTree, 0, data, size)
              || ! inputFile.write (monolith.getData(), monolith.getDataSize()))
            return {};

        return MonolithReader (inputFile.file).readState();
    }

    void dispatchPendingMessages()
    {
        for (int i = 0; i < 64 && juce::dispatchNextMessageOnSystemQueue (true); ++i)
        {
        }
    }

    /** Reads everything the wrappers expose, the way the check and the pages do. */
    void readAll (const InstrumentParameters& instrument)
    {
        juce::ignoreUnused (instrument.getInstrumentName().length(), instrument.getCompanyName().length());

        for (int p = 0; p < instrument.getNumPresets(); ++p)
            if (auto* preset = instrument.getPreset (p))
                for (int l = 0; l < preset->getNumLayers(); ++l)
                    if (auto* layer = preset->getLayer (l))
                        for (int s = 0; s < layer->getNumSamples(); ++s)
                            if (auto* sample = layer->getSample (s))
                                juce::ignoreUnused (sample->getSampleIndex(), sample->getLayerIndex());
    }

    juce::ValueTree firstChildOfType (const juce::ValueTree& parent, const juce::Identifier& type)
    {
        return parent.isValid() ? parent.getChildWithName (type) : juce::ValueTree();
    }

    /** One edit of the tree under the wrappers, chosen by an input byte. */
    void edit (InstrumentParameters& instrument, juce::uint8 op)
    {
        auto node = instrument.getState();
        auto preset = firstChildOfType (node, StateIds::PRESET);
        auto layer = firstChildOfType (preset, StateIds::LAYER);
        auto sample = firstChildOfType (layer, StateIds::SAMPLE);
        const int argument = op >> 3;

        switch (op & 7)
        {
            case 0: instrument.selectPreset (argument - 1); break;
            case 1: if (preset.isValid()) preset.setProperty (StateIds::presetName, "Edited " + juce::String (argument), nullptr); break;
            case 2: if (node.getNumChildren() > 0) node.addChild (node.getChild (argument % node.getNumChildren()).createCopy(), -1, nullptr); break;
            case 3: if (node.getNumChildren() > 0) node.removeChild (argument % node.getNumChildren(), nullptr); break;
            case 4: if (node.getNumChildren() > 1) node.moveChild (0, argument % node.getNumChildren(), nullptr); break;
            case 5:
                if (auto* presetParameters = instrument.getPreset (0))
                {
                    presetParameters->applyEqDefaults();
                    presetParameters->loadCachedValues();
                }
                break;
            case 6:
                if (layer.isValid() && layer.getNumChildren() > 0)
                    layer.removeChild (argument % layer.getNumChildren(), nullptr);
                else if (layer.isValid())
                    layer.addChild (juce::ValueTree (StateIds::SAMPLE), -1, nullptr);
                break;
            case 7:
                if (sample.isValid() && sample.getNumProperties() > 0)
                    sample.setProperty (sample.getPropertyName (argument % sample.getNumProperties()), argument - 16, nullptr);
                else
                    instrument.rebuildPresets();
                break;
            default: break;
        }
    }

    void exercise (juce::ValueTree node, const std::uint8_t* ops, size_t numOps)
    {
        InstrumentParameters instrument (node);
        readAll (instrument);

        for (size_t i = 0; i < numOps; ++i)
        {
            edit (instrument, ops[i]);
            readAll (instrument);
        }

        dispatchPendingMessages();
        readAll (instrument);
    }
}

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    juce::MessageManager::getInstance();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    const auto state = readStateThroughMonolith (data, size);

    // The edits are chosen by the last bytes, which the tree's parser usually leaves unread.
    const auto numOps = juce::jmin (size, size_t { 8 });
    const auto* ops = data + size - numOps;

    exercise (state.getChildWithName (StateIds::INSTRUMENT), ops, numOps);

    if (state.hasType (StateIds::INSTRUMENT))
        exercise (state, ops, numOps);

    // The check decodes the licence text from the root.
    juce::MemoryOutputStream eula;
    juce::ignoreUnused (juce::Base64::convertFromBase64 (eula, state.getProperty ("eula").toString()));

    dispatchPendingMessages();

    // The framework's pool of identifiers sweeps out unused names on a clock (every 30 s once it holds
    // 300). Swept after every input instead, what an input covers does not depend on when it runs.
    juce::StringPool::getGlobalPool().garbageCollect();
    return 0;
}
