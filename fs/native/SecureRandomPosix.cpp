#include "fs/SecureRandom.h"

#if ! JUCE_WINDOWS

#include <cerrno>
#include <sys/random.h>

bool SecureRandom::fillNative (char* destination, size_t numBytes)
{
    // getrandom returns fewer bytes than asked for only when a signal interrupts a large request.
    for (size_t done = 0; done < numBytes;)
    {
        const auto got = getrandom (destination + done, numBytes - done, 0);

        if (got < 0 && errno != EINTR)
            return false;

        if (got > 0)
            done += (size_t) got;
    }

    return true;
}

#endif
