#include "monolith/CryptoInputStream.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
    // The keystream as its definition reads, one generator step per byte: the reference for the fast paths.
    std::vector<juce::uint8> referenceKeystream (juce::uint32& state, size_t numBytes)
    {
        std::vector<juce::uint8> bytes;

        for (size_t i = 0; i < numBytes; ++i)
        {
            state = state * 214013u + 2531011u;
            bytes.push_back ((juce::uint8) ((state >> 16) & 0xff));
        }

        return bytes;
    }
}

TEST (CryptoKeystream, MatchesTheFormatsTestVectors)
{
    juce::uint32 state = 0;
    juce::uint8 zeros[4] = {};
    Crypto::InputStream::applyKeystream (state, zeros, sizeof (zeros));
    EXPECT_EQ (std::vector<juce::uint8> (zeros, zeros + 4), (std::vector<juce::uint8> { 0x26, 0x27, 0xf6, 0x85 }));

    state = 0;
    juce::uint8 abc[] = { 'a', 'b', 'c' };
    Crypto::InputStream::applyKeystream (state, abc, sizeof (abc));
    EXPECT_EQ (std::vector<juce::uint8> (abc, abc + 3), (std::vector<juce::uint8> { 0x47, 0x45, 0x95 }));

    EXPECT_EQ ((juce::uint64) juce::String ("SCREENSHOT").hashCode64(), 0xF5F5BE00B9C0849Eull);
    EXPECT_EQ ((juce::uint64) juce::String ("PLUGIN_BINARY_VST3_WIN64").hashCode64(), 0x160DFBB7794D0EC9ull);
    EXPECT_EQ (juce::String().hashCode64(), 0);
}

TEST (CryptoKeystream, BlockApplicationMatchesSteppingForEveryLength)
{
    juce::Random random (42);

    for (size_t length : { 0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 63u, 64u, 65u, 1000u, 8192u, 8193u })
    {
        for (juce::uint32 seed : { 0u, 1u, 0xffffffffu, (juce::uint32) random.nextInt() })
        {
            std::vector<juce::uint8> data (length);

            for (auto& b : data)
                b = (juce::uint8) random.nextInt (256);

            auto expected = data;
            auto referenceState = seed;
            const auto keystream = referenceKeystream (referenceState, length);

            for (size_t i = 0; i < length; ++i)
                expected[i] ^= keystream[i];

            auto state = seed;
            Crypto::InputStream::applyKeystream (state, data.data(), data.size());

            EXPECT_EQ (data, expected) << "length " << length << ", seed " << seed;
            EXPECT_EQ (state, referenceState) << "length " << length << ", seed " << seed;
        }
    }
}

TEST (CryptoKeystream, AdvanceAgreesWithStepping)
{
    juce::Random random (7);

    for (int trial = 0; trial < 200; ++trial)
    {
        const auto seed = (juce::uint32) random.nextInt();
        const auto numSteps = (juce::uint64) (trial < 20 ? trial : random.nextInt (100000));

        auto stepped = seed;
        referenceKeystream (stepped, (size_t) numSteps);

        EXPECT_EQ (Crypto::InputStream::advance (seed, numSteps), stepped) << "seed " << seed << ", steps " << numSteps;
    }

    // Far jumps compose: a + b steps equal a steps then b steps, also beyond 2^32 steps.
    for (int trial = 0; trial < 100; ++trial)
    {
        const auto seed = (juce::uint32) random.nextInt();
        const auto a = (juce::uint64) random.nextInt64() >> 1;
        const auto b = (juce::uint64) random.nextInt64() >> 1;

        EXPECT_EQ (Crypto::InputStream::advance (seed, a + b),
                   Crypto::InputStream::advance (Crypto::InputStream::advance (seed, a), b));
    }
}

TEST (CryptoInputStream, DescramblesItsSourceAndCannotSeek)
{
    const juce::uint8 scrambled[] = { 0x47, 0x45, 0x95 };
    Crypto::InputStream stream (new juce::MemoryInputStream (scrambled, sizeof (scrambled), false), true);

    EXPECT_EQ (stream.getTotalLength(), 3);
    EXPECT_EQ (stream.readString(), "abc");
    EXPECT_TRUE (stream.isExhausted());
    EXPECT_EQ (stream.getPosition(), 3);

    EXPECT_FALSE (stream.setPosition (0));
    EXPECT_EQ (stream.getPosition(), 3);
}
