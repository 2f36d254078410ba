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

TEST (CryptoKeystream, EveryPathMatchesTheByteLoop)
{
    const auto paths = Crypto::Keystream::getAvailablePaths();

   #if JUCE_INTEL && JUCE_64BIT && (JUCE_GCC || JUCE_CLANG)
    // Where the processor has AVX2, its kernel must be among those checked here.
    __builtin_cpu_init();
    EXPECT_EQ (__builtin_cpu_supports ("avx2") != 0, std::string (paths.back().name) == "avx2");
   #endif

    juce::Random random (42);
    std::vector<size_t> lengths { 0, 1, 15, 16, 17, 31, 32, 33, 63, 64, 65, 127, 128, 129, 255, 256, 257,
                                  1000, 8191, 8192, 8193, 65536 + 77 };

    for (int i = 0; i < 40; ++i)
        lengths.push_back ((size_t) random.nextInt (5000));

    constexpr size_t guard = 64;

    for (const auto& path : paths)
    {
        for (auto length : lengths)
        {
            const auto seed = (juce::uint32) random.nextInt();
            const auto sourceOffset = (size_t) random.nextInt (64);
            const auto destOffset = (size_t) random.nextInt (64);
            const auto inPlace = random.nextBool();
            SCOPED_TRACE (testing::Message() << path.name << ", length " << length << ", seed " << seed << ", offsets "
                                             << sourceOffset << "/" << destOffset << (inPlace ? ", in place" : ""));

            std::vector<juce::uint8> source (length + 2 * guard), dest (length + 2 * guard);

            for (auto& b : source)
                b = (juce::uint8) random.nextInt (256);

            for (auto& b : dest)
                b = (juce::uint8) random.nextInt (256);

            auto expected = inPlace ? source : dest;
            auto referenceState = seed;
            const auto keystream = referenceKeystream (referenceState, length);

            for (size_t i = 0; i < length; ++i)
                expected[(inPlace ? sourceOffset : destOffset) + i] = (juce::uint8) (source[sourceOffset + i] ^ keystream[i]);

            auto state = seed;

            if (inPlace)
            {
                path.kernel (state, source.data() + sourceOffset, source.data() + sourceOffset, length);
                EXPECT_EQ (source, expected);
            }
            else
            {
                const auto original = source;
                path.kernel (state, source.data() + sourceOffset, dest.data() + destOffset, length);
                EXPECT_EQ (dest, expected);
                EXPECT_EQ (source, original);
            }

            EXPECT_EQ (state, referenceState);
        }
    }

    // The stream's entry point agrees as well, across calls that continue one keystream.
    std::vector<juce::uint8> data (3000, 0);
    juce::uint32 state = 99, referenceState = 99;
    Crypto::InputStream::applyKeystream (state, data.data(), 1234);
    Crypto::InputStream::applyKeystream (state, data.data() + 1234, data.size() - 1234);
    EXPECT_EQ (data, referenceKeystream (referenceState, data.size()));
    EXPECT_EQ (state, referenceState);
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
