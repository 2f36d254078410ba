#include "fs/CheckedFolder.h"

#include "fs/ChangeProbe.h"
#include "fs/CheckedFile.h"
#include "fs/ClaimedFile.h"
#include "fs/ReadOnlyFile.h"
#include "fs/SecureRandom.h"
#include "fs/SystemError.h"

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
    return name.isNotEmpty() && name != "." && name != ".." && ! name.containsAnyOf (notInNames)
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

    const auto existed = root.isDirectory();
    auto result = createPath (root);

    if (result.failed())
        return CheckedFolder (result);

    const auto opened = openRootNative (root, result);

    if (opened == nullptr)
        return CheckedFolder (result);

    opened->created = ! existed;
    return CheckedFolder (opened);
}

juce::Result CheckedFolder::createPath (const juce::File& folder)
{
    if (folder.isDirectory() || folder.getParentDirectory() == folder)
        return juce::Result::ok();

    const auto parent = createPath (folder.getParentDirectory());

    if (parent.failed())
        return parent;

    return createPathFolder (folder);
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

CheckedFolder CheckedFolder::openChild (const juce::String& name, Missing whenMissing, bool checkOwnership) const
{
    auto result = juce::Result::ok();
    bool missing = false, made = false;
    auto opened = openChildNative (name, checkOwnership, result, missing);

    if (opened == nullptr && missing && whenMissing == Missing::create)
    {
        // Another process may make it first: then it is opened and checked like any other.
        bool exists = false;
        result = createFolderNative (name, false, exists);

        if (result.failed() && ! exists)
            return CheckedFolder (result);

        made = result.wasOk();
        opened = openChildNative (name, checkOwnership, result, missing);
    }

    if (opened == nullptr)
        return CheckedFolder (result);

    opened->created = made;

    if (checkOwnership)
        result = restrictNative (*opened);

    return result.wasOk() ? CheckedFolder (opened) : CheckedFolder (result);
}

CheckedFolder CheckedFolder::openPrivateFolder (const juce::String& name) const
{
    return openExisting (name, [] (const Handle& folder) { return isPrivateFolderOfThisUser (folder); },
                         " is not a private folder of this user");
}

CheckedFolder CheckedFolder::openTrustedFolder (const juce::String& name) const
{
    return openExisting (name, [] (const Handle& folder) { return isTrustedNative (folder.native); },
                         " is a folder that another user made or can change");
}

CheckedFolder CheckedFolder::openExisting (const juce::String& name, bool (*accepts) (const Handle&), const char* refusal) const
{
    if (const auto nameCheck = checkName (name); nameCheck.failed())
        return CheckedFolder (nameCheck);

    auto result = juce::Result::ok();
    bool missing = false;
    const auto opened = openChildNative (name, false, result, missing);

    if (opened == nullptr)
        return CheckedFolder (result);

    if (! accepts (*opened))
        return CheckedFolder (juce::Result::fail (childFile (name).getFullPathName() + refusal));

    return CheckedFolder (opened);
}

CheckedFolder CheckedFolder::openStateFolder (const juce::File& folder, Missing whenMissing)
{
    const auto parent = openRoot (folder.getParentDirectory());
    const auto name = folder.getFileName();

    if (const auto nameCheck = parent.checkName (name); nameCheck.failed())
        return CheckedFolder (nameCheck);

    auto result = juce::Result::ok();
    bool exists = whenMissing == Missing::fail;

    if (! exists)
        result = parent.createStateFolderNative (name, exists);

    if (result.failed() && ! exists)
        return CheckedFolder (result);

    bool missing = false;
    const auto opened = parent.openChildNative (name, false, result, missing);

    if (opened == nullptr)
        return CheckedFolder (result);

    opened->created = ! exists;
    result = checkOwnItem (opened->native, opened->path);

    if (result.failed())
        return CheckedFolder (result);

    return CheckedFolder (opened);
}

std::unique_ptr<ReadOnlyFile> CheckedFolder::openTrustedFile (const juce::String& name, juce::Result& result) const
{
    result = checkName (name);
    auto opened = result.wasOk() ? openFileNative (name, result) : nullptr;

    if (opened != nullptr && ! isTrustedNative (opened->getNativeHandle()))
    {
        result = juce::Result::fail (childFile (name).getFullPathName() + " is a file that another user made or can change");
        opened.reset();
    }

    return opened;
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

        bool nameTaken = false;
        folder = createNamedFolder (prefix + random, isPrivate, nameTaken);

        if (! nameTaken)
            return folder;
    }

    return folder;
}

CheckedFolder CheckedFolder::createFolderNamed (const juce::String& name, bool& nameTaken) const
{
    return createNamedFolder (name, false, nameTaken);
}

CheckedFolder CheckedFolder::createNamedFolder (const juce::String& name, bool isPrivate, bool& nameTaken) const
{
    nameTaken = false;
    auto result = checkName (name);

    if (result.failed())
        return CheckedFolder (result);

    ChangeProbe::announce (ChangeProbe::Change::createFolder, childFile (name));
    result = createFolderNative (name, isPrivate, nameTaken);

    if (result.failed())
        return CheckedFolder (result);

    const auto opened = openNewFolderNative (name, result);

    if (opened == nullptr)
        return CheckedFolder (result);

    opened->created = true;

    if (! isFolderThisRunMade (*opened, isPrivate))
        return CheckedFolder (juce::Result::fail (childFile (name).getFullPathName() + " is not the folder this run made"));

    return CheckedFolder (opened);
}

std::unique_ptr<CheckedFile> CheckedFolder::createFile (const juce::String& prefix, juce::Result& result) const
{
    result = juce::Result::fail ("No random name for a new file in " + getFile().getFullPathName());

    for (int i = 0; i < maxNameTries; ++i)
    {
        const auto random = SecureRandom::hex (randomNameBytes);

        if (random.isEmpty())
            return {};

        bool nameTaken = false;
        auto file = createFileNamed (prefix + random, result, nameTaken);

        if (! nameTaken)
            return file;
    }

    return {};
}

std::unique_ptr<CheckedFile> CheckedFolder::createFileNamed (const juce::String& name, juce::Result& result, bool& nameTaken) const
{
    nameTaken = false;
    result = checkName (name);

    if (result.failed())
        return {};

    ChangeProbe::announce (ChangeProbe::Change::createFile, childFile (name));
    const auto created = createFileNative (name, result, nameTaken);

    if (created == -1)
        return {};

    result = juce::Result::ok();
    return std::unique_ptr<CheckedFile> (new CheckedFile (created, childFile (name)));
}

std::unique_ptr<ClaimedFile> CheckedFolder::claimFile (const juce::String& name, juce::Result& result, bool& inUse) const
{
    inUse = false;
    result = checkName (name);

    return result.wasOk() ? claimFileNative (name, result, inUse) : nullptr;
}

//==============================================================================
juce::Result CheckedFolder::move (const juce::String& name, const CheckedFolder& destination, const juce::String& newName,
                                  Replace replace) const
{
    auto result = checkName (name);

    if (result.wasOk())
        result = destination.checkName (newName);

    if (result.failed())
        return result;

    const auto fault = ChangeProbe::announce (ChangeProbe::Change::move, childFile (name));

    if (fault.failed() || ! moveNative (name, destination, newName, replace))
    {
        const auto error = fault.failed() ? fault.getErrorMessage() : SystemError::lastMessage();
        return juce::Result::fail ("Cannot move " + childFile (name).getFullPathName() + " to "
                                   + destination.childFile (newName).getFullPathName() + ": " + error);
    }

    return juce::Result::ok();
}

juce::Result CheckedFolder::createLink (const juce::String& name, const juce::File& target) const
{
    const auto nameCheck = checkName (name);

    if (nameCheck.failed())
        return nameCheck;

    if (const auto fault = ChangeProbe::announce (ChangeProbe::Change::createLink, childFile (name)); fault.failed())
        return juce::Result::fail ("Cannot make the link " + childFile (name).getFullPathName() + ": " + fault.getErrorMessage());

    return createLinkNative (name, target);
}

juce::Result CheckedFolder::readLink (const juce::String& name, juce::File& target) const
{
    const auto nameCheck = checkName (name);

    if (nameCheck.failed())
        return nameCheck;

    if (getEntryTypeNative (name) != EntryType::link)
        return juce::Result::fail (childFile (name).getFullPathName() + " is not a link");

    return readLinkNative (name, target);
}

CheckedFolder CheckedFolder::openLinkedFolder (const juce::String& name, const juce::File& expectedRoot, const juce::File& expected) const
{
    juce::File target;

    if (readLink (name, target).failed() || target != expected || ! (expected == expectedRoot || expected.isAChildOf (expectedRoot)))
        return openFolder (name, Missing::fail);

    return openChain (expectedRoot, expected, Missing::fail);
}

juce::Result CheckedFolder::remove (const juce::String& name) const
{
    const auto nameCheck = checkName (name);

    if (nameCheck.failed())
        return nameCheck;

    if (const auto fault = ChangeProbe::announce (ChangeProbe::Change::remove, childFile (name)); fault.failed())
        return juce::Result::fail ("Cannot remove " + childFile (name).getFullPathName() + ": " + fault.getErrorMessage());

    return removeNative (name);
}

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

juce::Result CheckedFolder::list (juce::StringArray& names) const
{
    names.clear();

    if (handle == nullptr)
        return status;

    return listNative (names);
}

CheckedFolder::EntryType CheckedFolder::getEntryType (const juce::String& name) const
{
    if (checkName (name).failed())
        return EntryType::other;

    return getEntryTypeNative (name);
}

juce::Result CheckedFolder::flush() const
{
    if (handle == nullptr)
        return status;

    ChangeProbe::announce (ChangeProbe::Change::flushFolder, getFile());
    return flushNative();
}
