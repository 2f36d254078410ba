#include "InstallTestSupport.h"

#include <gtest/gtest.h>

using namespace InstallTestSupport;

namespace
{
/** A sandbox with a monolith that has passed the check. */
struct CheckedMonolith
{
    explicit CheckedMonolith (const MonolithContent& content = {}, int pauseMs = 0)
        : model (sandbox.makeModel (log, pauseMs))
    {
        model->monolithFile = writeMonolith (sandbox.folder.getChildFile ("in").getChildFile ("Beta.rom"), content);
        std::atomic<double> progress { 0.0 };
        check = model->processMonolith (progress);
        archive = model->vst3TempFile != nullptr ? model->vst3TempFile->getFile() : juce::File();
        linesOfCheck = messagesOf (log).size();
    }

    /** Runs the installation, recording every progress value it stores. */
    int install (const std::function<bool()>& shouldExit = {})
    {
        std::atomic<double> progress { -1.0 };
        std::atomic<bool> done { false };

        std::thread watcher ([&]
        {
            for (double last = -2.0; ! done;)
            {
                const double now = progress;
                if (now != last)
                    progressSeen.push_back (last = now);
                std::this_thread::yield();
            }
        });

        const auto result = model->install (progress, shouldExit);
        done = true;
        watcher.join();
        finalProgress = progress;
        return result;
    }

    juce::StringArray installMessages() const
    {
        auto messages = messagesOf (log);
        messages.removeRange (0, linesOfCheck);
        return messages;
    }

    juce::File installedMonolith() const    { return sandbox.folders().dataRoot.getChildFile ("Alpha/Beta/Beta.rom"); }
    juce::File pluginFolder() const         { return sandbox.folders().vst3Root.getChildFile ("Alpha"); }

    Sandbox sandbox;
    InstallerLog log;
    std::unique_ptr<InstallerModel> model;
    int check = -1, linesOfCheck = 0;
    juce::File archive;
    std::vector<double> progressSeen;
    double finalProgress = -1.0;
};

const ZipContent defaultPlugin { { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "plug-in code" },
                                 { "Beta.vst3/desktop.ini", "icon" } };

const juce::StringArray successLines { "Begin install job", "Copy monolith", "Copy VST3", "Copy AU", "Install job finished" };
} // namespace

TEST (InstallJob, RealRunInstallsEverythingWithVisiblePauses)
{
    CheckedMonolith run ({}, 500);
    ASSERT_EQ (run.check, 0);

    const auto started = juce::Time::getMillisecondCounterHiRes();
    EXPECT_EQ (run.install(), 0);
    const auto elapsed = juce::Time::getMillisecondCounterHiRes() - started;

    EXPECT_GE (elapsed, 2500.0);
    // The first value, 0, may be replaced before the watcher sees it; the failure table shows it.
    if (! run.progressSeen.empty() && run.progressSeen.front() == 0.0)
        run.progressSeen.erase (run.progressSeen.begin());
    EXPECT_EQ (run.progressSeen, (std::vector<double> { 0.1, 0.4, 0.5, 0.7, 1.0 }));
    EXPECT_EQ (text (run.installMessages()), text (successLines));

    juce::MemoryBlock source, installed;
    ASSERT_TRUE (run.model->monolithFile.loadFileAsData (source));
    ASSERT_TRUE (run.installedMonolith().loadFileAsData (installed));
    EXPECT_EQ (installed, source);
    EXPECT_EQ (treeOf (run.pluginFolder()), defaultPlugin);
    EXPECT_TRUE (run.model->vst3TempFile == nullptr);
    EXPECT_FALSE (run.archive.exists());
}

TEST (InstallJob, ExistingTargetsAreOverwrittenAndOtherFilesKept)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    ASSERT_TRUE (run.installedMonolith().getParentDirectory().createDirectory());
    ASSERT_TRUE (run.installedMonolith().replaceWithText ("old monolith"));
    ASSERT_TRUE (run.pluginFolder().getChildFile ("Beta.vst3/desktop.ini").create());
    ASSERT_TRUE (run.pluginFolder().getChildFile ("Beta.vst3/desktop.ini").replaceWithText ("old icon"));
    ASSERT_TRUE (run.pluginFolder().getChildFile ("Other.vst3").replaceWithText ("other plug-in"));

    EXPECT_EQ (run.install(), 0);

    EXPECT_EQ (run.installedMonolith().getSize(), run.model->monolithFile.getSize());
    auto expected = defaultPlugin;
    expected["Other.vst3"] = "other plug-in";
    EXPECT_EQ (treeOf (run.pluginFolder()), expected);
}

TEST (InstallJob, InstallingTheInstalledMonolithOntoItself)
{
    CheckedMonolith run;
    ASSERT_EQ (run.check, 0);
    ASSERT_TRUE (run.installedMonolith().getParentDirectory().createDirectory());
    ASSERT_TRUE (run.model->monolithFile.moveFileTo (run.installedMonolith()));
    run.model->monolithFile = run.installedMonolith();
    const auto before = run.installedMonolith().loadFileAsString();

    EXPECT_EQ (run.install(), 0);
    EXPECT_EQ (text (run.installMessages()), text (successLines));
    EXPECT_EQ (run.installedMonolith().loadFileAsString(), before);
}

TEST (InstallJob, EachFailingStepLogsItsLineAndKeepsWhatWasDone)
{
    enum class Break { dataFolder, sourceGone, vst3Folder, emptyArchive, notAnArchive, archiveGone };

    struct Case
    {
        const char* name;
        Break what;
        bool monolithCopied;
        double progress;
    };

    const Case cases[] = {
        { "monolith folder cannot be made", Break::dataFolder, false, 0.0 },
        { "source monolith disappeared", Break::sourceGone, false, 0.1 },
        { "plug-in folder cannot be made", Break::vst3Folder, true, 0.4 },
        { "archive without entries", Break::emptyArchive, true, 0.5 },
        { "archive is no zip", Break::notAnArchive, true, 0.5 },
        { "archive deleted", Break::archiveGone, true, 0.5 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        CheckedMonolith run;
        ASSERT_EQ (run.check, 0);
        const auto& model = *run.model;
        const auto source = model.monolithFile.getFullPathName();
        juce::String expectedLine;

        switch (c.what)
        {
            case Break::dataFolder:
                // A regular file where the company folder should be.
                run.sandbox.folders().dataRoot.getChildFile ("Alpha").replaceWithText ("in the way");
                expectedLine = "Failed to create directory: " + run.installedMonolith().getParentDirectory().getFullPathName();
                break;
            case Break::sourceGone:
                model.monolithFile.deleteFile();
                expectedLine = "Failed to copy monolith from: " + source + " to: " + model.monolithInstallFile.getFullPathName();
                break;
            case Break::vst3Folder:
                run.pluginFolder().replaceWithText ("in the way");
                expectedLine = "Failed to create directory: " + run.pluginFolder().getFullPathName();
                break;
            case Break::emptyArchive:
                run.archive.replaceWithData (makeZip ({}).getData(), makeZip ({}).getSize());
                break;
            case Break::notAnArchive:
                run.archive.replaceWithText ("no zip at all");
                break;
            case Break::archiveGone:
                run.archive.deleteFile();
                break;
        }

        if (expectedLine.isEmpty())
            expectedLine = "Failed to extract from: " + run.archive.getFullPathName() + " to: " + run.pluginFolder().getFullPathName();

        EXPECT_EQ (run.install(), 5);
        EXPECT_EQ (run.finalProgress, c.progress);

        const auto messages = run.installMessages();
        ASSERT_GE (messages.size(), 2);
        EXPECT_EQ (messages[0], "Begin install job");
        EXPECT_EQ (messages.strings.getLast(), expectedLine);
        EXPECT_FALSE (messages.contains ("Install job finished"));

        EXPECT_EQ (run.installedMonolith().existsAsFile(), c.monolithCopied);
        EXPECT_FALSE (run.pluginFolder().getChildFile ("Beta.vst3").exists());
        // The archive is kept after a failure; only the model's end removes it.
        EXPECT_TRUE (run.model->vst3TempFile != nullptr);
        EXPECT_EQ (run.archive.existsAsFile(), c.what != Break::archiveGone);
    }
}

TEST (InstallJob, ArchiveEntriesLeavingThePluginFolderAreRejectedBeforeAnyWrite)
{
    const juce::StringArray hostileNames { "../escaped.txt",
                                           "Beta.vst3/../../escaped.txt",
                                           "..\\escaped.txt",
                                           "/tmp/installer-engine-escaped.txt" };

    for (const auto& hostile : hostileNames)
    {
        SCOPED_TRACE (hostile);
        MonolithContent content;
        // The harmless entry comes first: nothing of the archive may be written.
        content.vst3 = makeStoredZip ({ { "Beta.vst3/first.txt", "harmless" }, { hostile, "escaped" } });
        CheckedMonolith run (content);
        ASSERT_EQ (run.check, 0);

        EXPECT_EQ (run.install(), 5);
        EXPECT_EQ (run.installMessages().strings.getLast(),
                   "Failed to extract from: " + run.archive.getFullPathName() + " to: " + run.pluginFolder().getFullPathName());

        EXPECT_TRUE (treeOf (run.pluginFolder()).empty());
        EXPECT_FALSE (run.sandbox.folders().vst3Root.getChildFile ("escaped.txt").exists());
        EXPECT_FALSE (run.sandbox.folder.getChildFile ("escaped.txt").exists());
        EXPECT_FALSE (juce::File ("/tmp/installer-engine-escaped.txt").exists());
    }
}

TEST (InstallJob, HandWrittenArchiveWithSafeNamesExtracts)
{
    // Guards the hand-written archive used above: with harmless names it installs.
    MonolithContent content;
    content.vst3 = makeStoredZip ({ { "Beta.vst3/first.txt", "harmless" }, { "Beta.vst3/sub/./second.txt", "also" } });
    CheckedMonolith run (content);
    ASSERT_EQ (run.check, 0);

    EXPECT_EQ (run.install(), 0);
    EXPECT_EQ (treeOf (run.pluginFolder()), (ZipContent { { "Beta.vst3/first.txt", "harmless" },
                                                          { "Beta.vst3/sub/second.txt", "also" } }));
}

TEST (InstallJob, StopRequestEndsTheRunBetweenSteps)
{
    struct Case { int stopAfterQuestions; double progress; bool monolithCopied, pluginExtracted; };
    const Case cases[] = {
        { 1, 0.1, false, false },
        { 2, 0.4, true, false },
        { 3, 0.5, true, false },
        { 4, 0.7, true, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.stopAfterQuestions);
        CheckedMonolith run;
        ASSERT_EQ (run.check, 0);
        int questions = 0;

        EXPECT_EQ (run.install ([&] { return ++questions >= c.stopAfterQuestions; }), 6);
        EXPECT_EQ (run.finalProgress, c.progress);
        EXPECT_EQ (run.installMessages().strings.getLast(), "Installation interrupted");
        EXPECT_EQ (run.installedMonolith().existsAsFile(), c.monolithCopied);
        EXPECT_EQ (run.pluginFolder().getChildFile ("Beta.vst3/desktop.ini").existsAsFile(), c.pluginExtracted);
        EXPECT_TRUE (run.archive.existsAsFile());
    }
}

TEST (InstallJob, MultiPresetMonolithIsCheckedAndInstalledAsTheLayoutSays)
{
    auto state = makeState ("Glass Keys", "North Pier");
    auto instrument = state.getChildWithName ("INSTRUMENT");

    for (int p = 0; p < 3; ++p)
    {
        juce::ValueTree preset ("PRESET");
        preset.setProperty ("presetIndex", p, nullptr);
        preset.setProperty ("presetName", "Preset " + juce::String (p), nullptr);
        preset.setProperty ("gain", -6.0 + p, nullptr);

        juce::ValueTree layer ("LAYER");
        layer.setProperty ("layerID", 10 + p, nullptr);
        juce::ValueTree sample ("SAMPLE");
        sample.setProperty ("sampleFilePath", "C:/Samples/Key" + juce::String (p) + ".wav", nullptr);
        layer.appendChild (sample, nullptr);
        preset.appendChild (layer, nullptr);
        instrument.appendChild (preset, nullptr);
    }

    state.setProperty ("eula", base64Of ("Terms"), nullptr);

    const ZipContent plugin { { "Glass Keys.vst3/Contents/x86_64-win/Glass Keys.vst3", "binary" },
                              { "Glass Keys.vst3/Contents/Resources/moduleinfo.json", "{}" },
                              { "Glass Keys.vst3/Contents/Resources/Snapshots/shot.png", "png" },
                              { "Glass Keys.vst3/desktop.ini", "icon" } };
    MonolithContent content;
    content.state = state;
    content.vst3 = makeZip (plugin);
    content.screenshot = makePng();

    Sandbox sandbox;
    InstallerLog log;
    auto model = sandbox.makeModel (log);
    model->monolithFile = writeMonolith (sandbox.folder.getChildFile ("in").getChildFile ("Glass Keys.rom"), content);

    std::atomic<double> progress { 0.0 };
    ASSERT_EQ (model->processMonolith (progress), 0);
    EXPECT_EQ (model->eulaText, "Terms");
    ASSERT_EQ (model->install (progress), 0);
    EXPECT_EQ (progress, 1.0);

    const auto& f = sandbox.folders();
    const auto installed = f.dataRoot.getChildFile ("North Pier").getChildFile ("Glass Keys").getChildFile ("Glass Keys.rom");
    const auto dataFiles = f.dataRoot.findChildFiles (juce::File::findFiles, true);
    ASSERT_EQ (dataFiles.size(), 1);
    EXPECT_EQ (dataFiles[0], installed);

    juce::MemoryBlock source, copy;
    ASSERT_TRUE (model->monolithFile.loadFileAsData (source));
    ASSERT_TRUE (installed.loadFileAsData (copy));
    EXPECT_EQ (copy, source);

    ZipContent expectedPlugin;
    for (const auto& [path, data] : plugin)
        expectedPlugin["North Pier/" + path] = data;

    EXPECT_EQ (treeOf (f.vst3Root), expectedPlugin);
    EXPECT_TRUE (treeOf (f.temporary).empty());
}
