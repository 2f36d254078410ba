// Feeds arbitrary bytes, as the plug-in archive, through the archive's checks and, when they pass,
// through extraction into a scratch folder: nothing may land outside it, and nothing may crash.

#include "fs/CheckedFolder.h"
#include "install/payload/PluginArchive.h"

#include <cstdint>
#include <unistd.h>

namespace
{
    /** One scratch folder per process (parallel fuzzing jobs must not share it), emptied after every
        input and removed when the process ends. Its name has the same length in every process, so that
        what an input covers does not change from one run to the next.
    */
    struct ScratchFolder
    {
        ScratchFolder()     { parent.createDirectory(); }
        ~ScratchFolder()    { parent.deleteRecursively(); }

        const juce::File parent = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                      .getChildFile ("plugin_archive_fuzzer_" + juce::String (getpid()).paddedLeft ('0', 7));
        const juce::File folder = parent.getChildFile ("extract");
    };

    const ScratchFolder& getScratch()
    {
        static const ScratchFolder scratch;
        return scratch;
    }

    // Inputs that pass the checks may still unpack to a lot; the fuzzer only needs the code paths.
    constexpr juce::int64 maxExtractedSize = 16 << 20;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const PluginArchive archive (std::make_unique<juce::MemoryInputStream> (data, size, false));

    if (archive.getStatus().failed() || archive.getTotalSize() > maxExtractedSize)
        return 0;

    (void) archive.getTopLevelNames();

    const auto& scratch = getScratch();
    scratch.folder.createDirectory();
    (void) archive.extractTo (CheckedFolder::openRoot (scratch.folder), [] { return false; });

    // Everything written must be below the extraction folder.
    if (scratch.parent.findChildFiles (juce::File::findFilesAndDirectories, false).size() != 1)
        __builtin_trap();

    scratch.folder.deleteRecursively();
    return 0;
}
