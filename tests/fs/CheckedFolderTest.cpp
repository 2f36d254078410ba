// The link-safe file layer: links planted at every level of a chain are refused and named, links swapped
// in after the check are not followed by any operation, and what the layer makes is changeable only by
// its owner (or, for private folders, reachable only by it).

#include "../install/InstallTestSupport.h"

#include "fs/CheckedFile.h"
#include "fs/CheckedFolder.h"
#include "fs/SecureRandom.h"

#include <gtest/gtest.h>

#include <set>

#include <fcntl.h>
#include <sys/stat.h>

using namespace InstallTestSupport;

namespace
{
using Missing = CheckedFolder::Missing;
using Replace = CheckedFolder::Replace;

/** A root to install below, and a decoy folder that links point at, which must never change. */
struct LinkSandbox
{
    LinkSandbox()
    {
        root.createDirectory();
        write (decoy.getChildFile ("Beta/old.txt"), "decoy");
        write (decoy.getChildFile ("Beta/target.txt"), "decoy");
        write (decoy.getChildFile ("Beta/bundle/inner.txt"), "decoy");
        decoyBefore = snapshotOf (decoy);
    }

    ~LinkSandbox()
    {
        folder.deleteRecursively();
    }

    static void write (const juce::File& file, const juce::String& content)
    {
        file.getParentDirectory().createDirectory();
        file.replaceWithText (content);
    }

    /** The real folders root/Alpha/Beta with a few items in Beta. */
    void makeRealTree() const
    {
        write (beta().getChildFile ("old.txt"), "old");
        write (beta().getChildFile ("target.txt"), "target");
        write (beta().getChildFile ("bundle/inner.txt"), "inner");
    }

    juce::File beta() const     { return root.getChildFile ("Alpha/Beta"); }
    bool decoyUnchanged() const { return snapshotOf (decoy) == decoyBefore; }

    juce::File folder = makeScratchFolder ("checked-folder-test");
    juce::File root = folder.getChildFile ("root"), decoy = folder.getChildFile ("decoy");
    ZipContent decoyBefore;
};

bool makeLink (const juce::File& link, const juce::String& target)
{
    return symlink (target.toRawUTF8(), link.getFullPathName().toRawUTF8()) == 0;
}

mode_t modeOf (const juce::File& item)
{
    struct stat info {};
    lstat (item.getFullPathName().toRawUTF8(), &info);
    return info.st_mode & 07777;
}

bool isLink (const juce::File& item)
{
    struct stat info {};
    return lstat (item.getFullPathName().toRawUTF8(), &info) == 0 && S_ISLNK (info.st_mode);
}

juce::Result writeNewFile (const CheckedFolder& folder, const juce::String& prefix, const juce::String& content,
                           juce::String* name = nullptr)
{
    juce::Result result = juce::Result::ok();
    auto file = folder.createFile (prefix, result);

    if (file == nullptr)
        return result;

    if (name != nullptr)
        *name = file->getName();

    file->writeText (content, false, false, nullptr);
    file->flush();
    return file->close();
}

/** The one child of `folder` whose name starts with `prefix`, or an empty file. */
juce::File childStartingWith (const juce::File& folder, const juce::String& prefix)
{
    const auto found = folder.findChildFiles (juce::File::findFilesAndDirectories, false, prefix + "*",
                                              juce::File::FollowSymlinks::no);
    return found.size() == 1 ? found.getFirst() : juce::File();
}
} // namespace

TEST (CheckedFolder, MissingFoldersAreMadeThatOnlyTheirOwnerCanChange)
{
    LinkSandbox box;

    // Even a process that lets everyone write what it creates makes 0755 folders.
    const auto previousMask = umask (0);
    const auto beta = CheckedFolder::openChain (box.root, box.beta(), Missing::create);
    const auto newRoot = CheckedFolder::openRoot (box.folder.getChildFile ("new/root"));
    umask (previousMask);

    ASSERT_TRUE (beta.isOpen()) << beta.getStatus().getErrorMessage();
    EXPECT_EQ (beta.getFile(), box.beta());
    EXPECT_TRUE (beta.wasCreated());
    EXPECT_TRUE (beta.getParent().wasCreated());
    EXPECT_FALSE (beta.getParent().getParent().wasCreated());
    EXPECT_FALSE (beta.getParent().getParent().getParent().isOpen());
    EXPECT_EQ (modeOf (box.root.getChildFile ("Alpha")), 0755u);
    EXPECT_EQ (modeOf (box.beta()), 0755u);

    ASSERT_TRUE (newRoot.isOpen()) << newRoot.getStatus().getErrorMessage();
    EXPECT_TRUE (newRoot.wasCreated());
    EXPECT_EQ (modeOf (box.folder.getChildFile ("new")), 0755u);
    EXPECT_EQ (modeOf (box.folder.getChildFile ("new/root")), 0755u);

    const auto again = CheckedFolder::openChain (box.root, box.beta(), Missing::fail);
    ASSERT_TRUE (again.isOpen());
    EXPECT_FALSE (again.wasCreated());
    EXPECT_FALSE (again.wasRestricted());

    const auto tilde = again.openFolder ("~Gamma", Missing::create);
    EXPECT_EQ (tilde.getFile().getFullPathName(), box.beta().getFullPathName() + "/~Gamma");
    EXPECT_TRUE (box.beta().getChildFile ("./~Gamma").isDirectory());

    const auto missing = CheckedFolder::openChain (box.root, box.beta().getChildFile ("Gamma"), Missing::fail);
    EXPECT_FALSE (missing.isOpen());
    EXPECT_TRUE (missing.getStatus().getErrorMessage().contains (box.beta().getChildFile ("Gamma").getFullPathName()));
    EXPECT_FALSE (box.beta().getChildFile ("Gamma").exists());

    const auto outside = CheckedFolder::openChain (box.root, box.decoy, Missing::create);
    EXPECT_FALSE (outside.isOpen());
    EXPECT_TRUE (box.decoyUnchanged());
}

TEST (CheckedFolder, LinkAtAnyLevelBelowTheRootIsRefusedAndNamed)
{
    struct Link
    {
        const char* description;
        juce::String target;    // relative to the sandbox folder, or a relative link's own text
        bool relative;
    };

    const Link links[] = {
        { "link to a folder", "decoy", false },
        { "link to a folder inside the decoy", "decoy/Beta", false },
        { "link to a file", "decoy/Beta/old.txt", false },
        { "dangling link", "nowhere", false },
        { "relative link", "../decoy", true },
    };

    for (const auto* level : { "Alpha", "Alpha/Beta", "Alpha/Beta/Gamma" })
    {
        for (const auto& link : links)
        {
            SCOPED_TRACE (juce::String (level) + ", " + link.description);
            LinkSandbox box;
            const auto linkFile = box.root.getChildFile (level);
            ASSERT_TRUE (linkFile.getParentDirectory().createDirectory());
            const auto target = link.relative ? link.target : box.folder.getChildFile (link.target).getFullPathName();
            ASSERT_TRUE (makeLink (linkFile, target));

            const auto folder = CheckedFolder::openChain (box.root, box.root.getChildFile ("Alpha/Beta/Gamma/Delta"),
                                                          Missing::create);

            EXPECT_FALSE (folder.isOpen());
            const auto message = folder.getStatus().getErrorMessage();
            EXPECT_TRUE (message.contains (linkFile.getFullPathName())) << message;
            EXPECT_TRUE (message.endsWith (CheckedFolder::linkAdvice)) << message;
            EXPECT_TRUE (box.decoyUnchanged());
            EXPECT_TRUE (isLink (linkFile));
        }
    }
}

TEST (CheckedFolder, LinksInTheRootsOwnPathAreTheSystemsAndFollowed)
{
    LinkSandbox box;
    const auto rootLink = box.folder.getChildFile ("root-link");
    ASSERT_TRUE (makeLink (rootLink, box.root.getFullPathName()));

    const auto alpha = CheckedFolder::openChain (rootLink, rootLink.getChildFile ("Alpha"), Missing::create);

    ASSERT_TRUE (alpha.isOpen()) << alpha.getStatus().getErrorMessage();
    EXPECT_TRUE (box.root.getChildFile ("Alpha").isDirectory());
}

TEST (CheckedFolder, FolderThatOthersCanChangeIsRestrictedBeforeUse)
{
    const std::pair<mode_t, mode_t> modes[] = {
        { 0777, 0755 }, { 0775, 0755 }, { 0757, 0755 }, { 01777, 01755 }, { 0755, 0755 }, { 0700, 0700 },
    };

    for (const auto& [before, after] : modes)
    {
        SCOPED_TRACE (juce::String::toHexString ((int) before));
        LinkSandbox box;
        ASSERT_TRUE (box.beta().createDirectory());
        ASSERT_EQ (chmod (box.beta().getFullPathName().toRawUTF8(), before), 0);

        const auto beta = CheckedFolder::openChain (box.root, box.beta(), Missing::fail);

        ASSERT_TRUE (beta.isOpen()) << beta.getStatus().getErrorMessage();
        EXPECT_EQ (modeOf (box.beta()), after);
        EXPECT_EQ (beta.wasRestricted(), before != after);
    }
}

TEST (CheckedFolder, FolderOfAnotherUserIsRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to give a folder to another user";

    LinkSandbox box;
    ASSERT_TRUE (box.beta().createDirectory());
    ASSERT_EQ (chmod (box.beta().getFullPathName().toRawUTF8(), 0777), 0);
    ASSERT_EQ (chown (box.beta().getFullPathName().toRawUTF8(), unprivilegedId, unprivilegedId), 0);

    const auto beta = CheckedFolder::openChain (box.root, box.beta(), Missing::create);

    EXPECT_FALSE (beta.isOpen());
    EXPECT_TRUE (beta.getStatus().getErrorMessage().startsWith (box.beta().getFullPathName() + " belongs to another user"))
        << beta.getStatus().getErrorMessage();
    EXPECT_EQ (modeOf (box.beta()), 0777u);
}

TEST (CheckedFolder, LinkSwappedInAfterTheCheckIsNotFollowedByAnyStep)
{
    juce::StringArray listed;

    struct Step
    {
        const char* description;
        std::function<juce::Result (const CheckedFolder& beta)> run;
        std::function<bool (const juce::File& realBeta)> done;
    };

    const Step steps[] = {
        { "create and write a file",
          [] (const CheckedFolder& beta) { return writeNewFile (beta, ".new-", "new"); },
          [] (const juce::File& real) { return childStartingWith (real, ".new-").loadFileAsString() == "new"; } },
        { "make a folder",
          [] (const CheckedFolder& beta) { return beta.openFolder ("Gamma", Missing::create).getStatus(); },
          [] (const juce::File& real) { return real.getChildFile ("Gamma").isDirectory(); } },
        { "make a staging folder",
          [] (const CheckedFolder& beta) { return beta.createFolder (".staging-").getStatus(); },
          [] (const juce::File& real) { return childStartingWith (real, ".staging-").isDirectory(); } },
        { "make a private folder",
          [] (const CheckedFolder& beta) { return beta.createPrivateFolder (".private-").getStatus(); },
          [] (const juce::File& real) { return childStartingWith (real, ".private-").isDirectory(); } },
        { "rename inside the folder",
          [] (const CheckedFolder& beta) { return beta.move ("old.txt", beta, "renamed.txt", Replace::no); },
          [] (const juce::File& real) { return real.getChildFile ("renamed.txt").loadFileAsString() == "old"; } },
        { "move to the parent folder",
          [] (const CheckedFolder& beta) { return beta.move ("old.txt", beta.getParent(), "moved.txt", Replace::no); },
          [] (const juce::File& real) { return real.getSiblingFile ("moved.txt").loadFileAsString() == "old"; } },
        { "replace a file",
          [] (const CheckedFolder& beta) { return beta.move ("old.txt", beta, "target.txt", Replace::yes); },
          [] (const juce::File& real) { return real.getChildFile ("target.txt").loadFileAsString() == "old"; } },
        { "remove a file",
          [] (const CheckedFolder& beta) { return beta.remove ("old.txt"); },
          [] (const juce::File& real) { return ! real.getChildFile ("old.txt").exists(); } },
        { "remove a tree",
          [] (const CheckedFolder& beta) { return beta.removeTree ("bundle"); },
          [] (const juce::File& real) { return ! real.getChildFile ("bundle").exists(); } },
        { "list",
          [&listed] (const CheckedFolder& beta) { return beta.list (listed); },
          [&listed] (const juce::File&)
          {
              listed.sort (false);
              return listed == juce::StringArray { "bundle", "old.txt", "target.txt" };
          } },
        { "flush",
          [] (const CheckedFolder& beta) { return beta.flush(); },
          [] (const juce::File&) { return true; } },
    };

    // The folder that is swapped, the link that takes its place, and where the real one went.
    struct Swap
    {
        const char* level;
        const char* decoyTarget;
    };

    for (const auto& swap : { Swap { "Alpha", "" }, Swap { "Alpha/Beta", "Beta" } })
    {
        for (const auto& step : steps)
        {
            SCOPED_TRACE (juce::String (swap.level) + " swapped, then: " + step.description);
            LinkSandbox box;
            box.makeRealTree();
            const auto beta = CheckedFolder::openChain (box.root, box.beta(), Missing::fail);
            ASSERT_TRUE (beta.isOpen()) << beta.getStatus().getErrorMessage();

            const auto swapped = box.root.getChildFile (swap.level);
            const auto movedAway = swapped.getSiblingFile (swapped.getFileName() + "-moved");
            ASSERT_EQ (rename (swapped.getFullPathName().toRawUTF8(), movedAway.getFullPathName().toRawUTF8()), 0);
            ASSERT_TRUE (makeLink (swapped, box.decoy.getChildFile (swap.decoyTarget).getFullPathName()));
            const auto realBeta = movedAway.getChildFile (box.beta().getRelativePathFrom (swapped));

            const auto result = step.run (beta);

            EXPECT_TRUE (result.wasOk()) << result.getErrorMessage();
            EXPECT_TRUE (step.done (realBeta));
            EXPECT_TRUE (box.decoyUnchanged());
            EXPECT_TRUE (isLink (swapped));
        }
    }
}

TEST (CheckedFolder, LinksInsideAreMovedAndRemovedThemselvesNeverFollowed)
{
    LinkSandbox box;
    box.makeRealTree();
    ASSERT_TRUE (makeLink (box.beta().getChildFile ("file-link"), box.decoy.getChildFile ("Beta/old.txt").getFullPathName()));
    ASSERT_TRUE (makeLink (box.beta().getChildFile ("other-file-link"), box.decoy.getChildFile ("Beta/target.txt").getFullPathName()));
    ASSERT_TRUE (makeLink (box.beta().getChildFile ("folder-link"), box.decoy.getChildFile ("Beta").getFullPathName()));
    ASSERT_TRUE (makeLink (box.beta().getChildFile ("bundle/inner-link"), box.decoy.getChildFile ("Beta").getFullPathName()));
    const auto beta = CheckedFolder::openChain (box.root, box.beta(), Missing::fail);
    ASSERT_TRUE (beta.isOpen()) << beta.getStatus().getErrorMessage();

    EXPECT_EQ (beta.getEntryType ("file-link"), CheckedFolder::EntryType::link);
    EXPECT_EQ (beta.getEntryType ("folder-link"), CheckedFolder::EntryType::link);
    EXPECT_EQ (beta.getEntryType ("bundle"), CheckedFolder::EntryType::folder);
    EXPECT_EQ (beta.getEntryType ("old.txt"), CheckedFolder::EntryType::file);
    EXPECT_EQ (beta.getEntryType ("nothing"), CheckedFolder::EntryType::missing);

    const auto throughLink = beta.openFolder ("folder-link", Missing::create);
    EXPECT_FALSE (throughLink.isOpen());
    EXPECT_TRUE (throughLink.getStatus().getErrorMessage().contains (box.beta().getChildFile ("folder-link").getFullPathName()));

    const auto notAFolder = beta.openFolder ("old.txt", Missing::create);
    EXPECT_EQ (notAFolder.getStatus().getErrorMessage(), box.beta().getChildFile ("old.txt").getFullPathName() + " is not a folder");

    EXPECT_TRUE (beta.remove ("file-link").wasOk());
    EXPECT_TRUE (beta.removeTree ("folder-link").wasOk());
    EXPECT_TRUE (beta.removeTree ("bundle").wasOk());
    EXPECT_TRUE (beta.move ("old.txt", beta, "other-file-link", Replace::yes).wasOk());

    EXPECT_TRUE (box.decoyUnchanged());
    EXPECT_EQ (snapshotOf (box.beta()), (ZipContent { { "other-file-link", "old" }, { "target.txt", "target" } }));
    EXPECT_FALSE (isLink (box.beta().getChildFile ("other-file-link")));
}

TEST (CheckedFolder, MoveReplacesOnlyWhenAsked)
{
    LinkSandbox box;
    box.makeRealTree();
    const auto beta = CheckedFolder::openChain (box.root, box.beta(), Missing::fail);
    ASSERT_TRUE (beta.isOpen());

    const auto refused = beta.move ("old.txt", beta, "target.txt", Replace::no);

    EXPECT_TRUE (refused.failed());
    EXPECT_TRUE (refused.getErrorMessage().startsWith ("Cannot move " + box.beta().getChildFile ("old.txt").getFullPathName()
                                                       + " to " + box.beta().getChildFile ("target.txt").getFullPathName()))
        << refused.getErrorMessage();
    EXPECT_EQ (box.beta().getChildFile ("old.txt").loadFileAsString(), "old");
    EXPECT_EQ (box.beta().getChildFile ("target.txt").loadFileAsString(), "target");

    EXPECT_TRUE (beta.move ("old.txt", beta, "target.txt", Replace::yes).wasOk());
    EXPECT_FALSE (box.beta().getChildFile ("old.txt").exists());
    EXPECT_EQ (box.beta().getChildFile ("target.txt").loadFileAsString(), "old");
}

TEST (CheckedFolder, NamesThatAreNotOnePlainNameAreRefused)
{
    LinkSandbox box;
    box.makeRealTree();
    const auto beta = CheckedFolder::openChain (box.root, box.beta(), Missing::fail);
    ASSERT_TRUE (beta.isOpen());
    const auto before = snapshotOf (box.folder);

    for (const auto* name : { "", ".", "..", "../escape", "bundle/inner.txt", "/tmp" })
    {
        SCOPED_TRACE (name);
        juce::Result created = juce::Result::ok();
        const auto refused = [] (const juce::Result& r) { return r.getErrorMessage().startsWith ("Not a plain name"); };

        EXPECT_TRUE (refused (beta.openFolder (name, Missing::create).getStatus()));
        EXPECT_TRUE (refused (beta.remove (name)));
        EXPECT_TRUE (refused (beta.removeTree (name)));
        EXPECT_TRUE (refused (beta.move ("old.txt", beta, name, Replace::yes)));
        EXPECT_TRUE (refused (beta.move (name, beta, "moved", Replace::yes)));
        EXPECT_EQ (beta.createFile (juce::String (name) + "/", created), nullptr);
        EXPECT_TRUE (refused (created));
        EXPECT_TRUE (refused (beta.createFolder (juce::String (name) + "/").getStatus()));
        EXPECT_TRUE (refused (beta.createPrivateFolder (juce::String (name) + "/").getStatus()));
    }

    EXPECT_EQ (snapshotOf (box.folder), before);
}

TEST (CheckedFolder, NewItemsHaveUnpredictableNamesAndPrivateFoldersStayPrivate)
{
    LinkSandbox box;
    const auto root = CheckedFolder::openRoot (box.root);
    ASSERT_TRUE (root.isOpen());

    juce::String first, second;
    ASSERT_TRUE (writeNewFile (root, ".Beta.rom.partial-", "one", &first).wasOk());
    ASSERT_TRUE (writeNewFile (root, ".Beta.rom.partial-", "two", &second).wasOk());
    EXPECT_NE (first, second);

    for (const auto& name : { first, second })
    {
        const auto random = name.fromFirstOccurrenceOf ("partial-", false, false);
        EXPECT_EQ (random.length(), 32);
        EXPECT_TRUE (random.containsOnly ("0123456789abcdef")) << random;
        EXPECT_EQ (modeOf (box.root.getChildFile (name)) & 022u, 0u);
    }

    EXPECT_EQ (box.root.getChildFile (first).loadFileAsString(), "one");
    EXPECT_EQ (box.root.getChildFile (second).loadFileAsString(), "two");

    const auto previousMask = umask (0);
    const auto staging = root.createFolder (".installing-");
    umask (previousMask);
    ASSERT_TRUE (staging.isOpen()) << staging.getStatus().getErrorMessage();
    EXPECT_TRUE (staging.wasCreated());
    EXPECT_EQ (modeOf (staging.getFile()), 0755u);
    EXPECT_EQ (staging.getFile().getFileName().length(), juce::String (".installing-").length() + 32);
    EXPECT_NE (staging.getFile(), root.createFolder (".installing-").getFile());

    const auto privateFolder = root.createPrivateFolder (".installer-");
    ASSERT_TRUE (privateFolder.isOpen()) << privateFolder.getStatus().getErrorMessage();
    EXPECT_TRUE (privateFolder.wasCreated());
    EXPECT_EQ (modeOf (privateFolder.getFile()), 0700u);
    EXPECT_NE (privateFolder.getFile(), root.createPrivateFolder (".installer-").getFile());

    if (geteuid() != 0)
        return;

    // Another user can neither add to the private folder nor see into it.
    const auto inside = privateFolder.getFile().getChildFile ("planted");
    const auto report = runInChild ([&] (juce::String& text)
    {
        if (setgid (unprivilegedId) != 0 || setuid (unprivilegedId) != 0)
            return 100;

        const auto fd = open (inside.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        text << (fd >= 0 ? "created a file; " : "")
             << (privateFolder.getFile().findChildFiles (juce::File::findFiles, false).isEmpty() ? "" : "listed it");
        return 0;
    });

    EXPECT_EQ (report.exitCode, 0);
    EXPECT_EQ (report.text, "");
    EXPECT_FALSE (inside.exists());
}

TEST (SecureRandom, NamesDifferAndCoverEveryByte)
{
    EXPECT_EQ (SecureRandom::hex (16).length(), 32);
    EXPECT_NE (SecureRandom::hex (16), SecureRandom::hex (16));

    // 64 KiB in one request: every byte value turns up.
    std::vector<juce::uint8> bytes (1 << 16);
    ASSERT_TRUE (SecureRandom::fill (bytes.data(), bytes.size()));
    std::set<juce::uint8> values (bytes.begin(), bytes.end());
    EXPECT_EQ (values.size(), 256u);
}
