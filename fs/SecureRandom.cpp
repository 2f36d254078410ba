#include "fs/SecureRandom.h"

#if JUCE_WINDOWS
 #include <windows.h>
 #include <ntsecapi.h>
#else
 #include <cerrno>
 #include <sys/random.h>
#endif

bool SecureRandom::fill (void* destination, size_t numBytes)
{
    auto* bytes = static_cast<char*> (destination);

   #if defined (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
    // A fuzzer's coverage must not depend on which digits a temporary name happens to get.
    static juce::Random sequence (1);

    for (size_t i = 0; i < numBytes; ++i)
        bytes[i] = (char) sequence.nextInt (256);
   #elif JUCE_WINDOWS
    // RtlGenRandom lives in advapi32, a DLL Windows protects from planting; it takes at most a ULONG.
    for (size_t done = 0; done < numBytes;)
    {
        const auto chunk = (ULONG) std::min<size_t> (numBytes - done, 1 << 20);

        if (! RtlGenRandom (bytes + done, chunk))
            return false;

        done += chunk;
    }
   #else
    // getrandom returns fewer bytes than asked for only when a signal interrupts a large request.
    for (size_t done = 0; done < numBytes;)
    {
        const auto got = getrandom (bytes + done, numBytes - done, 0);

        if (got < 0 && errno != EINTR)
            return false;

        if (got > 0)
            done += (size_t) got;
    }
   #endif

    return true;
}

juce::String SecureRandom::hex (size_t numBytes)
{
    juce::HeapBlock<juce::uint8> bytes (numBytes);

    if (! fill (bytes, numBytes))
        return {};

    return juce::String::toHexString (bytes, (int) numBytes, 0);
}
