#include "InstallTestSupport.h"

#include <gtest/gtest.h>

using namespace InstallTestSupport;

// The engine alone, driven as a program without a window would drive it: discovery, the check and the
// installation on one thread, followed through one observer. This program links no GUI module.
TEST (FrontEnd, TheModelAloneFindsChecksAndInstalls)
{
    Sandbox sandbox;
    const auto& f = sandbox.folders();
    MonolithContent content;
    content.state.setProperty ("eula", base64Of ("Terms"), nullptr);
    const auto rom = writeMonolith (f.installer.getSiblingFile ("Alpha.rom"), content);

    InstallerLog log;
    auto model = sandbox.makeModel (log);
    model->monolithFile = model->findMonolith();
    ASSERT_EQ (model->monolithFile, rom);

    RecordingObserver checking, installing;
    ASSERT_EQ (model->processMonolith (checking), InstallerModel::noError);
    EXPECT_EQ (model->eulaText, "Terms");
    ASSERT_EQ (model->install (installing), InstallerModel::noError);

    EXPECT_EQ (checking.milestones, (std::vector<double> { 0.0, 0.2, 0.6, 0.8, 1.0 }));
    EXPECT_EQ (installProgressProblems (installing.milestones), "");

    const auto installed = f.dataRoot.getChildFile ("Alpha/Beta/Beta.rom");
    auto expectedLines = juce::StringArray { "Installer path: " + f.installer.getFullPathName(),
                                             "Processing monolith",
                                             "Monolith install path: " + installed.getFullPathName() };
    expectedLines.add (messagesOf (log)[3]);    // the temporary file's fresh name
    expectedLines.addArray ({ "EULA is loaded from monolith", "Finished processing monolith", "Begin install job",
                              "Copy monolith", "Copy VST3", "Copy AU", "Install job finished" });
    EXPECT_EQ (text (messagesOf (log)), text (expectedLines));
    EXPECT_TRUE (expectedLines[3].startsWith ("VST3 temp file: " + f.temporary.getFullPathName()));

    juce::MemoryBlock source, copy;
    ASSERT_TRUE (rom.loadFileAsData (source));
    ASSERT_TRUE (installed.loadFileAsData (copy));
    EXPECT_EQ (copy, source);
    EXPECT_EQ (treeOf (f.vst3Root.getChildFile ("Alpha")), (ZipContent { { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "plug-in code" },
                                                                         { "Beta.vst3/desktop.ini", "icon" } }));
    EXPECT_TRUE (treeOf (f.temporary).empty());
}
