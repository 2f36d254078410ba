#include "InstallTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>

using namespace InstallTestSupport;

namespace
{
/** Writes `text` to the file at `path`; false when it cannot. */
bool writeProcFile (const char* path, const juce::String& text)
{
    const auto fd = open (path, O_WRONLY);

    if (fd < 0)
        return false;

    const auto written = ::write (fd, text.toRawUTF8(), text.getNumBytesAsUTF8()) == (ssize_t) text.getNumBytesAsUTF8();
    close (fd);
    return written;
}

/** Gives the calling (single-threaded) process a mount table of its own, as root can, or else inside a
    user namespace of its own in which it keeps its user and group: false when the system allows neither.
*/
bool enterPrivateMounts()
{
    if (unshare (CLONE_NEWNS) != 0)
    {
        const auto uid = getuid();
        const auto gid = getgid();

        if (unshare (CLONE_NEWUSER | CLONE_NEWNS) != 0
             || ! writeProcFile ("/proc/self/setgroups", "deny")
             || ! writeProcFile ("/proc/self/uid_map", juce::String (uid) + " " + juce::String (uid) + " 1")
             || ! writeProcFile ("/proc/self/gid_map", juce::String (gid) + " " + juce::String (gid) + " 1"))
            return false;
    }

    return mount (nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

constexpr int cannotMount = 90;
} // namespace

TEST (DataRoot, CheckSaysWhatAChosenFolderWouldMean)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    const auto& f = run.sandbox.folders();
    const auto chosen = run.sandbox.folder.getChildFile ("drive");
    const auto aFile = run.sandbox.folder.getChildFile ("a file");
    ASSERT_TRUE (chosen.createDirectory() && aFile.replaceWithText ("x")
                  && f.dataRoot.getChildFile ("Alpha/Beta/inside").createDirectory());

    struct Case
    {
        juce::File dir;
        InstallerModel::Result result;
        juce::File dataFolder;
    };

    const Case cases[] = {
        { {},                                   InstallerModel::noError,        f.dataRoot.getChildFile ("Alpha/Beta") },
        { chosen,                               InstallerModel::noError,        chosen.getChildFile ("Alpha/Beta") },
        { chosen.getChildFile ("missing"),      InstallerModel::accessDenied,   chosen.getChildFile ("missing/Alpha/Beta") },
        { aFile,                                InstallerModel::accessDenied,   aFile.getChildFile ("Alpha/Beta") },
        { f.dataRoot.getChildFile ("Alpha/Beta/inside"), InstallerModel::accessDenied, f.dataRoot.getChildFile ("Alpha/Beta/inside/Alpha/Beta") },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.dir.getFullPathName());
        const auto check = run.model->checkDataRoot (c.dir);
        EXPECT_EQ (check.result, c.result);
        EXPECT_EQ (check.dataFolder, c.dataFolder);
        EXPECT_EQ (check.bytesNeeded, run.model->monolithFile.getSize());
        EXPECT_GT (check.bytesFree, 0);
        EXPECT_EQ (check.why.isEmpty(), c.result == InstallerModel::noError) << check.why;

        EXPECT_TRUE (check.why.isEmpty() || check.why.contains (c.dir.getFullPathName())) << check.why;
    }

    run.model->chosenDataRoot = chosen;
    EXPECT_EQ (run.model->getDataFolder(), chosen.getChildFile ("Alpha/Beta"));
}

TEST (DataRoot, AFolderWhoseDriveHasNoRoomForTheMonolithIsRefused)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    const auto drive = run.sandbox.folder.getChildFile ("small drive");
    const auto size = run.model->monolithFile.getSize();

    const auto report = runInChild ([&] (juce::String& text)
    {
        if (! enterPrivateMounts() || ! drive.createDirectory()
             || mount ("tmpfs", drive.getFullPathName().toRawUTF8(), "tmpfs", 0, "size=4096") != 0)
            return cannotMount;

        const auto check = run.model->checkDataRoot (drive);
        text << (int) check.result << "\n" << check.why << "\n" << check.bytesFree << "\n" << check.bytesNeeded;
        umount2 (drive.getFullPathName().toRawUTF8(), MNT_DETACH);
        return 0;
    });

    if (report.exitCode == cannotMount)
        GTEST_SKIP() << "no mount table of its own: neither root nor user namespaces";

    ASSERT_EQ (report.exitCode, 0) << report.text;
    const auto lines = juce::StringArray::fromLines (report.text);
    EXPECT_EQ (lines[0].getIntValue(), (int) InstallerModel::notEnoughSpace);
    EXPECT_TRUE (lines[1].startsWith ("Not enough free space for the monolith in " + drive.getFullPathName() + ": ")) << lines[1];
    EXPECT_LE (lines[2].getLargeIntValue(), 4096);
    EXPECT_EQ (lines[3].getLargeIntValue(), size);
}
