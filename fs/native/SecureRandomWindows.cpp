#include "fs/SecureRandom.h"

#if JUCE_WINDOWS

#include <windows.h>
#include <ntsecapi.h>

bool SecureRandom::fillNative (char* destination, size_t numBytes)
{
    // RtlGenRandom lives in advapi32, a DLL Windows protects from planting; it takes at most a ULONG.
    for (size_t done = 0; done < numBytes;)
    {
        const auto chunk = (ULONG) std::min<size_t> (numBytes - done, 1 << 20);

        if (! RtlGenRandom (destination + done, chunk))
            return false;

        done += chunk;
    }

    return true;
}

#endif
