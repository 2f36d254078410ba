// The per-user single-instance lock: a second copy of the same user's is kept out, while nothing another
// local user makes or holds in the shared temporary folder stops the program.

#include "../install/InstallTestSupport.h"

#include "app/SingleInstanceLock.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

using namespace InstallTestSupport;

namespace
{
constexpr auto lockName = "Installer";

/** A folder like /tmp: everyone may add to it, and only an item's owner may rename or remove it. */
struct SharedTemporaryFolder
{
    SharedTemporaryFolder()
    {
        folder.createDirectory();
        chmod (folder.getFullPathName().toRawUTF8(), 01777);
    }

    ~SharedTemporaryFolder()    { folder.deleteRecursively(); }

    juce::File lockFileOf (uid_t user) const
    {
        return folder.getChildFile (juce::String (lockName) + "-" + juce::String (user) + ".lock");
    }

    juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                            .getNonexistentChildFile ("single-instance-test", {}, false);
};

/** A forked process, running as `user`, that does `setUp` and keeps what it made, open files and locks
    included, until this object goes. */
class ChildProcess
{
public:
    ChildProcess (uid_t user, const std::function<bool()>& setUp)
    {
        int toParent[2], toChild[2];

        if (pipe (toParent) != 0 || pipe (toChild) != 0)
            return;

        pid = fork();

        if (pid == 0)
        {
            close (toParent[0]);
            close (toChild[1]);
            const auto switched = user == geteuid() || (setgid (user) == 0 && setuid (user) == 0);
            const char ok = switched && setUp() ? 'y' : 'n';
            (void) ::write (toParent[1], &ok, 1);

            char ignored;
            (void) ::read (toChild[0], &ignored, 1);
            _exit (0);
        }

        close (toParent[1]);
        close (toChild[0]);
        release = toChild[1];
        char answer = 'n';
        ready = pid > 0 && ::read (toParent[0], &answer, 1) == 1 && answer == 'y';
        close (toParent[0]);
    }

    ~ChildProcess()
    {
        if (release >= 0)
            close (release);

        if (pid > 0)
            waitpid (pid, nullptr, 0);
    }

    bool ready = false;

private:
    pid_t pid = -1;
    int release = -1;
};
} // namespace

TEST (SingleInstanceLock, SecondCopyOfTheSameUserIsKeptOutUntilTheFirstEnds)
{
    SharedTemporaryFolder shared;

    {
        std::unique_ptr<SingleInstanceLock> firstCopy;
        ChildProcess running (geteuid(), [&]
        {
            firstCopy = std::make_unique<SingleInstanceLock> (lockName, shared.folder);
            return firstCopy->isHeld();
        });
        ASSERT_TRUE (running.ready);

        const SingleInstanceLock second (lockName, shared.folder);
        EXPECT_TRUE (second.isHeldByAnotherCopy());
        EXPECT_FALSE (second.isHeld());
    }

    const SingleInstanceLock afterTheFirstEnded (lockName, shared.folder);
    EXPECT_TRUE (afterTheFirstEnded.isHeld());
    EXPECT_FALSE (afterTheFirstEnded.isHeldByAnotherCopy());

    const auto lockFile = shared.lockFileOf (geteuid()).getFullPathName();
    struct stat info {};
    ASSERT_EQ (stat (lockFile.toRawUTF8(), &info), 0);
    EXPECT_EQ (info.st_mode & 0777, 0600u);
}

TEST (SingleInstanceLock, NothingAnotherUserDoesStopsTheProgram)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to run a second user";

    struct Case
    {
        const char* description;
        bool oursIsHeld;    // false: the program runs without a lock
        std::function<bool (const SharedTemporaryFolder&, std::unique_ptr<SingleInstanceLock>&)> setUp;
    };

    const Case cases[] = {
        { "the other user runs the program too", true,
          [] (const SharedTemporaryFolder& shared, std::unique_ptr<SingleInstanceLock>& theirs)
          {
              theirs = std::make_unique<SingleInstanceLock> (lockName, shared.folder);
              return theirs->isHeld();
          } },
        { "the other user made our lock file first and holds a lock on it", false,
          [] (const SharedTemporaryFolder& shared, std::unique_ptr<SingleInstanceLock>&)
          {
              const auto fd = open (shared.lockFileOf (0).getFullPathName().toRawUTF8(), O_RDWR | O_CREAT, 0666);
              return fd >= 0 && fchmod (fd, 0666) == 0 && flock (fd, LOCK_SH) == 0;
          } },
        { "the other user put a link where our lock file goes", false,
          [] (const SharedTemporaryFolder& shared, std::unique_ptr<SingleInstanceLock>&)
          {
              const auto theirs = shared.folder.getChildFile ("theirs");
              return theirs.replaceWithText ("their file")
                  && symlink (theirs.getFullPathName().toRawUTF8(), shared.lockFileOf (0).getFullPathName().toRawUTF8()) == 0;
          } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.description);
        SharedTemporaryFolder shared;
        std::unique_ptr<SingleInstanceLock> theirs;
        ChildProcess otherUser (unprivilegedId, [&] { return c.setUp (shared, theirs); });
        ASSERT_TRUE (otherUser.ready);

        const SingleInstanceLock ours (lockName, shared.folder);

        EXPECT_FALSE (ours.isHeldByAnotherCopy());
        EXPECT_EQ (ours.isHeld(), c.oursIsHeld);

        const auto theirFile = shared.folder.getChildFile ("theirs");
        EXPECT_TRUE (! theirFile.exists() || theirFile.loadFileAsString() == "their file");
    }
}
