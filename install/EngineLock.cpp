#include "install/EngineLock.h"

#include "fs/CheckedFile.h"
#include "fs/ClaimedFile.h"

EngineLock::EngineLock (std::unique_ptr<ClaimedFile> heldFile) : file (std::move (heldFile))
{
}

EngineLock::~EngineLock() = default;

std::unique_ptr<EngineLock> EngineLock::take (const juce::File& stateFolder, Outcome& outcome, juce::Result& result)
{
    outcome = Outcome::failed;
    const auto folder = CheckedFolder::openStateFolder (stateFolder, CheckedFolder::Missing::create);
    result = folder.getStatus();

    if (result.wasOk() && folder.getEntryType (fileName) == CheckedFolder::EntryType::missing)
        result = createFile (folder);

    if (result.failed())
        return {};

    bool inUse = false;
    auto claimed = folder.claimFile (fileName, result, inUse);

    if (inUse)
        outcome = Outcome::busy;

    if (claimed == nullptr)
        return {};

    result = claimed->checkOwner();

    if (result.failed())
        return {};

    outcome = Outcome::taken;
    return std::unique_ptr<EngineLock> (new EngineLock (std::move (claimed)));
}

/** Makes the lock file under a name of its own, then gives it the lock's name unless another start
    already did: the lock file is always whole, never one that a process opened half-made.
*/
juce::Result EngineLock::createFile (const CheckedFolder& folder)
{
    auto result = juce::Result::ok();
    auto made = folder.createFile (juce::String (".") + fileName + "-", result);

    if (made == nullptr)
        return result;

    const auto madeName = made->getName();
    made.reset();
    const auto moved = folder.move (madeName, folder, fileName, CheckedFolder::Replace::no);

    if (moved.failed())
        folder.remove (madeName);

    return folder.getEntryType (fileName) == CheckedFolder::EntryType::file ? juce::Result::ok() : moved;
}
