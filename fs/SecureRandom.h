#pragma once

#include <juce_core/juce_core.h>

/** Bytes from the operating system's cryptographically secure generator, for the names of temporary
    items that another local user must not be able to guess and prepare. A failure of that generator
    is reported, never replaced by a weaker source.
*/
class SecureRandom
{
public:
    /** Fills `destination` with `numBytes` random bytes; false when the system's generator failed. */
    static bool fill (void* destination, size_t numBytes);

    /** `numBytes` random bytes as lower-case hex digits, or an empty string when the generator failed. */
    static juce::String hex (size_t numBytes);

private:
    // One implementation for each system: native/SecureRandomPosix.cpp, native/SecureRandomWindows.cpp.
    static bool fillNative (char* destination, size_t numBytes);

    SecureRandom() = delete;
};
