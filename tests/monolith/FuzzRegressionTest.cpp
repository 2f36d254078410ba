// Inputs the fuzz targets found, minimised, each as the state chunk of a monolith read the way the check
// reads it. Every one must come back as an invalid tree, quickly and without a sanitizer report.

#include "monolith/MonolithReader.h"
#include "monolith/MonolithWriter.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace
{
    struct FuzzCase
    {
        const char* name;
        std::vector<juce::uint8> stateChunk;
    };

    const FuzzCase fuzzCases[] = {
        // An empty state chunk: the tree check searched a null pointer for the end of the type name.
        { "emptyStateChunk", {} },

        // A type, a string property, then a binary property and a child count that claim far more than
        // the few bytes left: the framework's reader adds empty children for minutes.
        { "countsBeyondTheData",
          { 0x49, 0x4e, 0x53, 0x54, 0x52, 0x45, 0x4d, 0x45, 0x4e, 0x54, 0x00, 0x03, 0x69, 0x6e, 0x73, 0x74,
            0x74, 0x4e, 0x61, 0x6d, 0x65, 0x14, 0x01, 0x00, 0x00, 0x2c, 0x00, 0x01, 0x4e, 0x31, 0x30, 0x5f,
            0x5f, 0x63, 0x78, 0x78, 0x61, 0x62, 0x69, 0x76, 0x31, 0x32, 0x30, 0x5f, 0x5f, 0x73, 0x69, 0x5f,
            0x63, 0x6c, 0x61, 0x73, 0x87, 0x04, 0x00, 0x00, 0x70, 0x65, 0x5f, 0x69, 0x6e } },
    };
}

TEST (MonolithFuzzRegression, HostileStateChunksReadAsInvalidTrees)
{
    juce::TemporaryFile temporary (".rom");

    for (const auto& fuzzCase : fuzzCases)
    {
        SCOPED_TRACE (fuzzCase.name);

        {
            juce::FileOutputStream out (temporary.getFile());
            ASSERT_TRUE (out.openedOk() && out.setPosition (0) && out.truncate().wasOk());
            ASSERT_TRUE (MonolithWriter (out).writeChunk (7, ChunkType::stateTree, 0,
                                                          fuzzCase.stateChunk.data(), fuzzCase.stateChunk.size()));
        }

        EXPECT_FALSE (MonolithReader (temporary.getFile()).readState().isValid());
    }
}

TEST (MonolithFuzzRegression, NotANumberPropertyMakesTheTreeInvalid)
{
    // Found by the state-tree target: the check turns the licence property into text, and the framework's
    // text conversion of a NaN double is undefined behaviour. Other doubles, infinity included, stay fine.
    struct Case { double value; bool valid; };
    const Case cases[] = { { 1.5, true }, { std::numeric_limits<double>::infinity(), true },
                           { std::numeric_limits<double>::quiet_NaN(), false }, { -std::numeric_limits<double>::quiet_NaN(), false } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.value);
        juce::ValueTree state ("SAMBREL_STATE");
        juce::ValueTree instrument ("INSTRUMENT");
        instrument.setProperty ("gain", c.value, nullptr);
        state.appendChild (instrument, nullptr);
        state.setProperty ("eula", c.value, nullptr);

        juce::TemporaryFile temporary (".rom");
        {
            juce::FileOutputStream out (temporary.getFile());
            ASSERT_TRUE (MonolithWriter (out).writeState (state));
        }

        const auto read = MonolithReader (temporary.getFile()).readState();
        EXPECT_EQ (read.isValid(), c.valid);

        if (c.valid)
        {
            EXPECT_EQ (read.getProperty ("eula").toString(), juce::var (c.value).toString());
        }
    }
}
