#include "fs/CheckedFolder.h"

#include "fs/ChangeProbe.h"
#include "fs/CheckedFile.h"
#include "fs/ClaimedFile.h"
#include "fs/SecureRandom.h"

namespace
{
// A name that is already taken is a one in 2^128 event for a random name, so a few tries are plenty.
constexpr int maxNameTries = 4;
} // namespace

CheckedFolder::Handle::Handle (juce::pointer_sized_int nativeHandle, const juce::File& checkedPath,
                               std::shared_ptr<const Handle> parentHandle)
    : native (nativeHandle), path (checkedPath), parent (std::move (parentHandle))
{
}

CheckedFolder::CheckedFolder() : status (juce::Result::fail ("No folder"))
{
}

CheckedFolder::CheckedFolder (std::shared_ptr<const Handle> openHandle)
    : handle (std::move (openHandle)), status (juce::Result::ok())
{
}

CheckedFolder::CheckedFolder (const juce::Result& failure) : status (failure)
{
}

CheckedFolder::~CheckedFolder() = default;
CheckedFolder::CheckedFolder (const CheckedFolder&) = default;
CheckedFolder& CheckedFolder::operator= (const CheckedFolder&) = default;

juce::File CheckedFolder::getFile() const
{
    return handle != nullptr ? handle->path : juce::File();
}

CheckedFolder CheckedFolder::getParent() const
{
    if (handle == nullptr || handle->parent == nullptr)
        return {};

    return CheckedFolder (handle->parent);
}

juce::File CheckedFolder::childFile (const juce::String& name) const
{
    // Not getChildFile, which reads a leading '~' as the home folder.
    return juce::File (getFile().getFullPathName() + juce::File::getSeparatorString() + name);
}

bool CheckedFolder::isPlainName (const juce::String& name)
{
   #if JUCE_WINDOWS
    // A colon names a stream of a file on NTFS.
    constexpr auto notInName = "/\\:";
   #else
    constexpr auto notInName = "/";
   #endif

    return name.isNotEmpty() && name != "." && name != ".." && ! name.containsAnyOf (notInName)
        && ! name.containsChar (0);
}

juce::Result CheckedFolder::refuseLink (const juce::File& link, const juce::String& target)
{
    return juce::Result::fail ("Refusing the link " + link.getFullPathName()
                               + (target.isNotEmpty() ? " (to " + target + ")" : juce::String())
                               + ", which the installation did not make: " + linkAdvice);
}

juce::Result CheckedFolder::checkName (const juce::String& name) const
{
    if (handle == nullptr)
        return status.failed() ? status : juce::Result::fail ("No folder");

    if (! isPlainName (name))
        return juce::Result::fail ("Not a plain name in " + getFile().getFullPathName() + ": \"" + name + "\"");

    return juce::Result::ok();
}

//==============================================================================
CheckedFolder CheckedFolder::openRoot (const juce::File& root)
{
    if (! juce::File::isAbsolutePath (root.getFullPathName()))
        return CheckedFolder (juce::Result::fail ("Not an absolute path: \"" + root.getFullPathName() + "\""));

    return openRootNative (root);
}

CheckedFolder CheckedFolder::openChain (const juce::File& root, const juce::File& target, Missing whenMissing)
{
    if (target != root && ! target.isAChildOf (root))
        return CheckedFolder (juce::Result::fail (target.getFullPathName() + " is not below " + root.getFullPathName()));

    auto folder = openRoot (root);

    if (target == root)
        return folder;

    for (const auto& name : juce::StringArray::fromTokens (target.getRelativePathFrom (root), juce::File::getSeparatorString(), {}))
    {
        if (! folder.isOpen())
            break;

        folder = folder.openFolder (name, whenMissing);
    }

    return folder;
}

CheckedFolder CheckedFolder::openFolder (const juce::String& name, Missing whenMissing) const
{
    const auto nameCheck = checkName (name);

    if (nameCheck.failed())
        return CheckedFolder (nameCheck);

    if (whenMissing == Missing::create)
        ChangeProbe::announce (ChangeProbe::Change::createFolder, childFile (name));

    return openChild (name, whenMissing, true);
}

CheckedFolder CheckedFolder::createFolder (const juce::String& prefix) const
{
    return createNewFolder (prefix, false);
}

CheckedFolder CheckedFolder::createPrivateFolder (const juce::String& prefix) const
{
    return createNewFolder (prefix, true);
}

CheckedFolder CheckedFolder::createNewFolder (const juce::String& prefix, bool isPrivate) const
{
    auto folder = CheckedFolder (juce::Result::fail ("No random name for a new folder in " + getFile().getFullPathName()));

    for (int i = 0; i < maxNameTries; ++i)
    {
        const auto random = SecureRandom::hex (randomNameBytes);

        if (random.isEmpty())
            return folder;

        const auto nameCheck = checkName (prefix + random);

        if (nameCheck.failed())
            return CheckedFolder (nameCheck);

        bool nameTaken = false;
        ChangeProbe::announce (ChangeProbe::Change::createFolder, childFile (prefix + random));
        folder = createFolderNative (prefix + random, isPrivate, nameTaken);

        if (! nameTaken)
            return folder;
    }

    return folder;
}

std::unique_ptr<CheckedFile> CheckedFolder::createFile (const juce::String& prefix, juce::Result& result) const
{
    result = juce::Result::fail ("No random name for a new file in " + getFile().getFullPathName());

    for (int i = 0; i < maxNameTries; ++i)
    {
        const auto random = SecureRandom::hex (randomNameBytes);

        if (random.isEmpty())
            return {};

        result = checkName (prefix + random);

        if (result.failed())
            return {};

        bool nameTaken = false;
        ChangeProbe::announce (ChangeProbe::Change::createFile, childFile (prefix + random));
        auto file = createFileNative (prefix + random, result, nameTaken);

        if (! nameTaken)
            return file;
    }

    return {};
}

std::unique_ptr<ClaimedFile> CheckedFolder::claimFile (const juce::String& name, juce::Result& result, bool& inUse) const
{
    inUse = false;
    result = checkName (name);

    return result.wasOk() ? claimFileNative (name, result, inUse) : nullptr;
}

//==============================================================================
juce::Result CheckedFolder::removeTree (const juce::String& name) const
{
    const auto nameCheck = checkName (name);

    if (nameCheck.failed())
        return nameCheck;

    if (getEntryType (name) == EntryType::folder)
    {
        const auto contents = removeContents (name);

        if (contents.failed())
            return contents;
    }

    return remove (name);
}

void CheckedFolder::removeEmptyFolders (const juce::StringArray& path) const
{
    if (path.isEmpty())
        return;

    if (path.size() > 1)
    {
        const auto first = openFolder (path[0], Missing::fail);

        if (first.isOpen())
            first.removeEmptyFolders (juce::StringArray (path.begin() + 1, path.size() - 1));
    }

    remove (path[0]);
}

juce::Result CheckedFolder::removeContents (const juce::String& name) const
{
    // Opened without following a link: if a link took the folder's place since it was looked at, the
    // open fails and nothing behind the link is touched.
    const auto folder = openChild (name, Missing::fail, false);
    juce::StringArray names;
    auto result = folder.isOpen() ? folder.list (names) : folder.getStatus();

    for (int i = 0; i < names.size() && result.wasOk(); ++i)
        result = folder.removeTree (names[i]);

    return result;
}
