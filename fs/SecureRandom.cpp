#include "fs/SecureRandom.h"

bool SecureRandom::fill (void* destination, size_t numBytes)
{
    auto* bytes = static_cast<char*> (destination);

   #if defined (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
    // A fuzzer's coverage must not depend on which digits a temporary name happens to get.
    static juce::Random sequence (1);

    for (size_t i = 0; i < numBytes; ++i)
        bytes[i] = (char) sequence.nextInt (256);

    return true;
   #else
    return fillNative (bytes, numBytes);
   #endif
}

juce::String SecureRandom::hex (size_t numBytes)
{
    juce::HeapBlock<juce::uint8> bytes (numBytes);

    if (! fill (bytes, numBytes))
        return {};

    return juce::String::toHexString (bytes, (int) numBytes, 0);
}
