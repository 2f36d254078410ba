// Programs holding files an installation would replace: another process with a file of the installed
// plug-in open, or mapped, makes the installation end with filesInUse before its first change, naming the
// process; once it has ended, the installation goes. A held file that the installation does not replace
// stops nothing.

#include "InstallTestSupport.h"

#include "fs/FileHolders.h"

#include <gtest/gtest.h>

using namespace InstallTestSupport;

namespace
{
MonolithContent bundleContent()
{
    MonolithContent content;
    content.vst3 = makeStoredZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "new plug-in code" } });
    return content;
}
} // namespace

TEST (FilesInUse, AHolderOfAReplacedFileIsNamedAndNothingChangesUntilItEnds)
{
    struct Case { const char* what; bool mapped; juce::String held; };
    const Case cases[] = {
        { "a file of the installed bundle, open", false, "Alpha/Beta.vst3/only-in-old-version.txt" },
        { "a file of the installed bundle, mapped", true, "Alpha/Beta.vst3/Contents/x86_64-win/Beta.vst3" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        CheckedMonolith run (bundleContent());
        ASSERT_EQ (run.check, InstallerModel::noError);
        run.installEarlierVersion();
        const auto before = run.targets();

        FileHolder holder (run.sandbox.folders().vst3Root.getChildFile (c.held), c.mapped, "test-host");
        ASSERT_TRUE (holder.holds);
        const auto named = "test-host (PID " + juce::String (holder.pid) + ")";

        int changes = 0;
        ChangeProbe::setListener ([&] (ChangeProbe::Change, const juce::File&) { ++changes; });
        EXPECT_EQ (run.install(), InstallerModel::filesInUse);
        ChangeProbe::setListener ({});
        EXPECT_EQ (changes, 0);
        EXPECT_EQ (run.model->programsHoldingFiles, juce::StringArray (named));
        EXPECT_TRUE (run.installMessages().joinIntoString ("\n").contains (named)) << text (run.installMessages());
        EXPECT_EQ (run.targets(), before);

        holder.end();
        EXPECT_EQ (run.install(), InstallerModel::noError) << text (run.installMessages());
        EXPECT_TRUE (run.model->programsHoldingFiles.isEmpty());
        EXPECT_EQ (run.installedMonolith().getSize(), run.model->monolithFile.getSize());
    }
}

TEST (FilesInUse, AHeldFileThatTheInstallationLeavesStopsNothing)
{
    CheckedMonolith run (bundleContent());
    ASSERT_EQ (run.check, InstallerModel::noError);
    run.installEarlierVersion();

    FileHolder other (run.pluginFolder().getChildFile ("Gamma.vst3/Contents/x86_64-win/Gamma.vst3"), false, "other-host");
    FileHolder monolith (run.model->monolithFile, true, "reader");
    ASSERT_TRUE (other.holds && monolith.holds);

    EXPECT_EQ (run.install(), InstallerModel::noError) << text (run.installMessages());
    EXPECT_TRUE (run.model->programsHoldingFiles.isEmpty());
}

TEST (FilesInUse, ThisProcessAndFilesThatAreNotThereAreNeverNamed)
{
    Sandbox sandbox;
    const auto file = sandbox.folder.getChildFile ("held");
    ASSERT_TRUE (file.replaceWithText ("x"));
    juce::FileInputStream ownOpen (file);
    ASSERT_TRUE (ownOpen.openedOk());

    EXPECT_TRUE (FileHolders::find ({ file, sandbox.folder.getChildFile ("missing") }).isEmpty());
}
