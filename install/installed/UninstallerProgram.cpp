#include "install/installed/UninstallerProgram.h"

#if JUCE_WINDOWS
 #include <windows.h>
#endif

std::unique_ptr<juce::InputStream> UninstallerProgram::open()
{
   #if JUCE_WINDOWS
    // A resource of the running program lives as long as the process: the stream reads it in place.
    const auto name = juce::String (resourceName);

    if (auto* info = FindResourceW (nullptr, name.toWideCharPointer(), MAKEINTRESOURCEW (10)))   // RT_RCDATA
        if (auto* loaded = LoadResource (nullptr, info))
            if (const auto* data = LockResource (loaded))
                return std::make_unique<juce::MemoryInputStream> (data, (size_t) SizeofResource (nullptr, info), false);
   #endif

    return {};
}
