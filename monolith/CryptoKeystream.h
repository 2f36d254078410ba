#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace Crypto
{

/** The monolith keystream: a 32-bit linear congruential generator whose state steps
    s <- s * multiplier + increment before each byte; the byte is bits 16..23 of the new state.

    Blocks are XORed with it by one of several kernels, all bit-exact with stepping byte by byte.
    The fastest one that the processor runs is chosen once, at the first call.
*/
class Keystream
{
public:
    static constexpr juce::uint32 multiplier = 214013;
    static constexpr juce::uint32 increment = 2531011;

    static constexpr juce::uint32 step (juce::uint32 state) noexcept
    {
        return state * multiplier + increment;
    }

    /** The map s -> multiplier * s + increment that a number of steps amounts to. */
    struct Jump
    {
        juce::uint32 multiplier, increment;

        constexpr juce::uint32 operator() (juce::uint32 state) const noexcept   { return state * multiplier + increment; }
    };

    /** The jump over numSteps steps, in time logarithmic in numSteps. */
    static constexpr Jump jumpFor (juce::uint64 numSteps) noexcept
    {
        // Composing x -> a x + c with itself: square-and-multiply over the bits of numSteps.
        Jump result { 1, 0 };
        Jump power { multiplier, increment };

        while (numSteps != 0)
        {
            if ((numSteps & 1) != 0)
                result = { result.multiplier * power.multiplier, result.increment * power.multiplier + power.increment };

            power = { power.multiplier * power.multiplier, power.increment * (power.multiplier + 1) };
            numSteps >>= 1;
        }

        return result;
    }

    /** The state after numSteps steps from state, in time logarithmic in numSteps. */
    static juce::uint32 advance (juce::uint32 state, juce::uint64 numSteps) noexcept
    {
        return jumpFor (numSteps) (state);
    }

    /** Writes source XOR the keystream that follows state into dest, and leaves state after the last
        byte. dest may be source; otherwise the two must not overlap.
    */
    static void apply (juce::uint32& state, const juce::uint8* source, juce::uint8* dest, size_t numBytes) noexcept;

    using Kernel = void (*) (juce::uint32& state, const juce::uint8* source, juce::uint8* dest, size_t numBytes) noexcept;

    struct Path
    {
        const char* name;
        Kernel kernel;
    };

    /** Every kernel that this processor can run, the portable byte loop first and the fastest last. */
    static std::vector<Path> getAvailablePaths();

private:
    static void applyBytes (juce::uint32&, const juce::uint8*, juce::uint8*, size_t) noexcept;
   #if JUCE_INTEL && JUCE_64BIT
    static void applySse2 (juce::uint32&, const juce::uint8*, juce::uint8*, size_t) noexcept;
   #endif
   #if JUCE_INTEL && JUCE_64BIT && (JUCE_GCC || JUCE_CLANG)
    static void applyAvx2 (juce::uint32&, const juce::uint8*, juce::uint8*, size_t) noexcept;
    static bool hasAvx2() noexcept;
   #endif
};

} // namespace Crypto
