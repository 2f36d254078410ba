#pragma once

#include "fs/CheckedFolder.h"

#include <memory>

/** The lock that lets one engine run at a time on the machine: whichever program holds it (the wizard,
    instrument-setup or the uninstaller) is the only one that recovers, installs or removes, from its
    start-up recovery to its end.

    It is a file in the engine's state folder (SystemFolders::getStateFolder), which only the engine can
    change, held as CheckedFolder::claimFile holds a file: locked (Linux) or opened without sharing
    (Windows) for as long as this object lives, and let go by the system when the process ends, however
    it ends. A lock file that is not the engine's own (another owner, or one that others can change) is
    refused, never taken.
*/
class EngineLock
{
public:
    ~EngineLock();

    /** What take() found. */
    enum class Outcome { taken, busy, failed };

    /** Takes the lock in `stateFolder` when no other process holds it, without waiting. Null unless
        `outcome` is taken; `result` says why not when it failed.
    */
    static std::unique_ptr<EngineLock> take (const juce::File& stateFolder, Outcome& outcome, juce::Result& result);

    /** The lock file's name in the state folder. */
    static constexpr const char* fileName = "engine.lock";

private:
    explicit EngineLock (std::unique_ptr<ClaimedFile> heldFile);

    static juce::Result createFile (const CheckedFolder& folder);

    std::unique_ptr<ClaimedFile> file;

    JUCE_DECLARE_NON_COPYABLE (EngineLock)
};
