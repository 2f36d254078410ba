#pragma once

#include <juce_core/juce_core.h>

/** The names of the monolith's named entries, and the chunk key that a name stands for. */
namespace EntryNames
{
/** The instrument's screenshot: a PNG image chunk. */
inline constexpr const char* screenshot = "SCREENSHOT";

/** The plug-in for 64-bit Windows, its VST3 bundle packed as a ZIP archive: a binary chunk. */
inline constexpr const char* vst3Plugin = "PLUGIN_BINARY_VST3_WIN64";

/** The key of the chunk that holds the entry `name`. */
inline juce::int64 keyOf (const juce::String& name)
{
    return name.hashCode64();
}
} // namespace EntryNames
