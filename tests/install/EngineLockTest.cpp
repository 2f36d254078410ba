// One engine at a time on the machine, and its state where only the engine can write it: a start that
// finds another run going neither recovers nor touches anything until that run has ended; a state
// folder, lock file or journal that someone else owns or could change is never used nor carried out.

#include "InstallTestSupport.h"

#include "install/EngineLock.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace InstallTestSupport;

namespace
{
/** A run of `body` in a forked child that, just before the file layer's first change that `pauseAt`
    accepts, tells the parent and waits until the parent lets it go on. */
class PausedChild
{
public:
    PausedChild (const std::function<bool (ChangeProbe::Change, const juce::File&)>& pauseAt, const std::function<int()>& body)
    {
        if (pipe (toParent) != 0 || pipe (toChild) != 0)
            return;

        pid = fork();

        if (pid != 0)
        {
            close (toParent[1]);
            close (toChild[0]);
            return;
        }

        close (toParent[0]);
        close (toChild[1]);
        bool paused = false;

        ChangeProbe::setListener ([&] (ChangeProbe::Change change, const juce::File& item)
        {
            if (paused || ! pauseAt (change, item))
                return;

            paused = true;
            char byte = 0;

            if (::write (toParent[1], "p", 1) != 1 || ::read (toChild[0], &byte, 1) != 1)
                _exit (102);
        });

        const auto result = body();
        ChangeProbe::setListener ({});
        _exit (paused ? result : 103);
    }

    /** Waits until the child has paused; false when it ended first. */
    bool waitUntilPaused()
    {
        char byte = 0;
        return pid > 0 && ::read (toParent[0], &byte, 1) == 1;
    }

    /** Lets the child go on, then waits for its exit code (-1 when it did not exit). */
    int finish()
    {
        const auto written = ::write (toChild[1], "g", 1);
        juce::ignoreUnused (written);
        close (toChild[1]);
        close (toParent[0]);
        int status = 0;
        waitpid (pid, &status, 0);
        return WIFEXITED (status) ? WEXITSTATUS (status) : -1;
    }

private:
    int toParent[2] { -1, -1 }, toChild[2] { -1, -1 };
    pid_t pid = -1;
};

bool isIn (const juce::File& item, const char* pathPart)
{
    return item.getFullPathName().contains (pathPart);
}
} // namespace

TEST (EngineLock, AStartWhileAnotherUpgradeRunsRecoversOnlyAfterItEndsAndBothEndWhole)
{
    // What an upgrade alone leaves: the reference for the end.
    CheckedMonolith reference;
    ASSERT_EQ (reference.check, 0);
    reference.installEarlierVersion();
    ASSERT_EQ (reference.install(), 0);

    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    run.installEarlierVersion();

    // An earlier upgrade killed while it unpacked into its staging folder: its journal and staging stay.
    const auto killed = runInChild ([&] (juce::String&)
    {
        ChangeProbe::setListener ([] (ChangeProbe::Change change, const juce::File& item)
        {
            if (change == ChangeProbe::Change::createFile && isIn (item, "/.installing-"))
                raise (SIGKILL);
        });
        return run.install();
    });
    ASSERT_EQ (killed.exitCode, -1);
    ASSERT_FALSE (run.sandbox.folder.findChildFiles (juce::File::findDirectories, false, ".installing-*").isEmpty());

    // Another upgrade holds the engine, paused with the old bundle set aside and the new one still staged.
    PausedChild upgrade ([] (ChangeProbe::Change change, const juce::File& item)
                         { return change == ChangeProbe::Change::move && isIn (item, "/new/"); },
                         [&]
                         {
                             InstallerLog log;
                             auto engine = EngineLock::Outcome::failed;
                             auto result = juce::Result::ok();
                             const auto lock = EngineLock::take (run.sandbox.folders().state, engine, result);
                             return engine == EngineLock::Outcome::taken ? run.install() : 104;
                         });
    ASSERT_TRUE (upgrade.waitUntilPaused());

    // A start meanwhile, as the wizard makes it: it waits, and its check waits until the upgrade has ended.
    InstallerLog log;
    auto model = run.sandbox.makeModel (log);
    EXPECT_EQ (model->start (log), InstallerModel::Engine::busy);
    EXPECT_TRUE (messagesOf (log).contains ("Waiting for another installation on this machine to finish")) << text (messagesOf (log));

    EXPECT_EQ (upgrade.finish(), 0);

    model->monolithFile = run.model->monolithFile;
    RecordingObserver observer;
    EXPECT_EQ (model->processMonolith (observer), 0) << text (messagesOf (log));
    EXPECT_TRUE (messagesOf (log).contains ("Rolled back the interrupted installation")) << text (messagesOf (log));

    // Wholly new: what an upgrade alone leaves, with this run's monolith (each monolith is scrambled anew).
    auto targets = run.targets(), expected = reference.targets();
    const juce::String monolith ("data/Alpha/Beta/Beta.rom");
    EXPECT_TRUE (run.installedMonolith().hasIdenticalContentTo (run.model->monolithFile));
    targets.erase (monolith);
    expected.erase (monolith);
    EXPECT_EQ (targets, expected);
    EXPECT_TRUE (temporaryItemsIn (run.sandbox.folder).isEmpty()) << text (temporaryItemsIn (run.sandbox.folder));
}

TEST (EngineLock, TheWizardsWaitEndsWhenItIsAskedToStop)
{
    Sandbox sandbox;
    auto engine = EngineLock::Outcome::failed;
    auto result = juce::Result::ok();
    const auto held = EngineLock::take (sandbox.folders().state, engine, result);
    ASSERT_EQ (engine, EngineLock::Outcome::taken) << result.getErrorMessage();

    InstallerLog log;
    auto model = sandbox.makeModel (log);
    EXPECT_EQ (model->start (log), InstallerModel::Engine::busy);

    int asked = 0;
    RecordingObserver observer ([&] { return ++asked > 3; });
    EXPECT_EQ (model->processMonolith (observer), InstallerModel::interrupted);
    EXPECT_GT (asked, 3);
}

//==============================================================================
namespace
{
/** A journal as an earlier run of this program would leave it, killed before its first record: a start
    that carries it out removes it. */
juce::File plantJournal (const juce::File& folder)
{
    const auto journal = folder.getChildFile (juce::String (InstallJournal::namePrefix) + juce::String::repeatedString ("7", 32));
    folder.createDirectory();
    journal.create();
    return journal;
}

struct PlantedCase
{
    const char* what;
    std::function<juce::File (const TestFolders&)> plant;     // returns what must be left as it is
    InstallerModel::Engine engine;
    const char* line;                                           // what the one line about it contains
};

void expectPlantedCase (const PlantedCase& c)
{
    SCOPED_TRACE (c.what);
    Sandbox sandbox;
    const auto left = c.plant (sandbox.folders());
    struct stat before {};
    ASSERT_EQ (lstat (left.getFullPathName().toRawUTF8(), &before), 0);

    InstallerLog log;
    auto model = sandbox.makeModel (log);
    EXPECT_EQ (model->start (log), c.engine) << text (messagesOf (log));

    const auto messages = messagesOf (log);
    const auto lines = std::count_if (messages.begin(), messages.end(), [&] (const juce::String& m)
    {
        return m.contains (left.getFullPathName()) && m.contains (c.line);
    });
    EXPECT_EQ (lines, 1) << text (messages);

    // Nobody is told to give the folder to the administrators: that would make what is in it trusted.
    EXPECT_FALSE (log.getText().contains ("give it to the administrators")) << text (messages);

    struct stat after {};
    ASSERT_EQ (lstat (left.getFullPathName().toRawUTF8(), &after), 0);
    EXPECT_EQ (after.st_mode, before.st_mode);
    EXPECT_EQ (after.st_uid, before.st_uid);

    if (c.engine == InstallerModel::Engine::failed)
    {
        model->monolithFile = writeMonolith (sandbox.folder.getChildFile ("in/Beta.rom"), {});
        RecordingObserver observer;
        EXPECT_EQ (model->processMonolith (observer), InstallerModel::writeFailed);
        EXPECT_FALSE (sandbox.folders().dataRoot.getChildFile ("Alpha").exists());
    }
}

bool setMode (const juce::File& item, mode_t mode)
{
    return chmod (item.getFullPathName().toRawUTF8(), mode) == 0;
}

juce::File oldJournalFolder (const TestFolders& f)
{
    return f.dataRoot.getChildFile (InstallJournal::oldFolderName);
}
} // namespace

TEST (EngineLock, StateThatOthersCanChangeIsNeitherUsedNorCarriedOut)
{
    using Engine = InstallerModel::Engine;
    const PlantedCase cases[] = {
        { "a state folder that the group can change",
          [] (const TestFolders& f) { setMode (f.state, 0770); return f.state; },
          Engine::failed, "can be changed by other users" },
        { "a state folder that is a link",
          [] (const TestFolders& f)
          {
              f.root.getChildFile ("elsewhere").createDirectory();
              f.state.deleteRecursively();
              f.root.getChildFile ("elsewhere").createSymbolicLink (f.state, true);
              return f.state;
          },
          Engine::failed, "Refusing the link" },
        { "a lock file that others can change",
          [] (const TestFolders& f)
          {
              const auto lock = f.state.getChildFile (EngineLock::fileName);
              lock.create();
              setMode (lock, 0666);
              return lock;
          },
          Engine::failed, "can be changed by other users" },
        { "a journal that others can change",
          [] (const TestFolders& f)
          {
              const auto journal = plantJournal (f.state);
              setMode (journal, 0666);
              return journal;
          },
          Engine::held, "can be changed by other users" },
        { "an earlier version's journal folder that others can change",
          [] (const TestFolders& f)
          {
              plantJournal (oldJournalFolder (f));
              setMode (oldJournalFolder (f), 0777);
              return oldJournalFolder (f);
          },
          Engine::held, "Not carrying out the journals of an earlier version" },
    };

    for (const auto& c : cases)
        expectPlantedCase (c);
}

TEST (EngineLock, StateOfAnotherUserIsNeitherUsedNorCarriedOut)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";

    constexpr uid_t otherUser = 65534;
    using Engine = InstallerModel::Engine;
    const PlantedCase cases[] = {
        { "a state folder of another user",
          [] (const TestFolders& f)
          {
              EXPECT_EQ (chown (f.state.getFullPathName().toRawUTF8(), otherUser, otherUser), 0);
              return f.state;
          },
          Engine::failed, "not to the user this installer runs as" },
        { "a journal of another user",
          [] (const TestFolders& f)
          {
              const auto journal = plantJournal (f.state);
              EXPECT_EQ (chown (journal.getFullPathName().toRawUTF8(), otherUser, otherUser), 0);
              return journal;
          },
          Engine::held, "not to the user this installer runs as" },
        { "a lock file of another user",
          [] (const TestFolders& f)
          {
              const auto lock = f.state.getChildFile (EngineLock::fileName);
              lock.create();
              EXPECT_EQ (chown (lock.getFullPathName().toRawUTF8(), otherUser, otherUser), 0);
              return lock;
          },
          Engine::failed, "not to the user this installer runs as" },
    };

    for (const auto& c : cases)
        expectPlantedCase (c);
}

TEST (EngineLock, AnEarlierVersionsJournalIsCarriedOutFromAFolderOfItsOwnThatThenGoes)
{
    Sandbox sandbox;
    const auto journal = plantJournal (oldJournalFolder (sandbox.folders()));
    setMode (oldJournalFolder (sandbox.folders()), 0755);

    InstallerLog log;
    auto model = sandbox.makeModel (log);
    EXPECT_EQ (model->start (log), InstallerModel::Engine::held) << text (messagesOf (log));
    EXPECT_FALSE (journal.exists());
    EXPECT_FALSE (oldJournalFolder (sandbox.folders()).exists());
}

TEST (EngineLock, TheStateFolderIsMadeForThisUserAloneAndKept)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    ASSERT_EQ (run.model->start (run.log), InstallerModel::Engine::held);
    ASSERT_EQ (run.install(), 0);

    const auto& state = run.sandbox.folders().state;
    struct stat info {};
    ASSERT_EQ (stat (state.getFullPathName().toRawUTF8(), &info), 0);
    EXPECT_EQ (info.st_mode & 07777, 0700u);
    EXPECT_EQ (info.st_uid, geteuid());

    // The journal went with its run; the folder and the lock file stay.
    const auto left = state.findChildFiles (juce::File::findFilesAndDirectories, false);
    ASSERT_EQ (left.size(), 1);
    EXPECT_EQ (left[0].getFileName(), EngineLock::fileName);
}
