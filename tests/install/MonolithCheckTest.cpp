#include "InstallTestSupport.h"
#include "../monolith/BlankPng.h"
#include "monolith/ChunkWalk.h"

#include <gtest/gtest.h>

#include <sys/stat.h>


using namespace InstallTestSupport;

namespace
{
struct CheckRun
{
    int result = -1;
    double progress = -1.0;
    std::vector<double> milestones;
    juce::StringArray messages;
};

/** `prefix` followed by 32 lower-case hex digits: 128 random bits. */
bool isRandomName (const juce::String& name, const juce::String& prefix)
{
    const auto random = name.fromFirstOccurrenceOf (prefix, false, false);
    return name.startsWith (prefix) && random.length() == 32 && random.containsOnly ("0123456789abcdef");
}

mode_t modeOf (const juce::File& item)
{
    struct stat info {};
    stat (item.getFullPathName().toRawUTF8(), &info);
    return info.st_mode & 07777;
}

CheckRun runCheck (InstallerModel& model, InstallerLog& log)
{
    RecordingObserver observer;
    CheckRun run;
    run.result = model.processMonolith (observer);
    run.progress = observer.last();
    run.milestones = observer.milestones;
    run.messages = messagesOf (log);
    return run;
}
} // namespace

TEST (MonolithCheck, CompleteMonolithPreparesEverything)
{
    Sandbox sandbox;
    MonolithContent content;
    content.screenshot = makePng();
    content.state.setProperty ("eula", base64Of (juce::String::fromUTF8 ("Licence \xc3\xa9t\xc3\xa9\nline 2")), nullptr);
    const auto rom = writeMonolith (sandbox.folder.getChildFile ("in").getChildFile ("Beta.rom"), content);

    InstallerLog log;
    auto model = sandbox.makeModel (log);
    model->monolithFile = rom;
    const auto run = runCheck (*model, log);

    const auto& f = sandbox.folders();
    const auto installPath = f.dataRoot.getChildFile ("Alpha/Beta/Beta.rom");
    ASSERT_EQ (run.result, 0);
    EXPECT_EQ (run.milestones, (std::vector<double> { 0.0, 0.2, 0.6, 0.8, 1.0 }));
    EXPECT_EQ (model->instrumentName, "Beta");
    EXPECT_EQ (model->companyName, "Alpha");
    EXPECT_EQ (model->monolithInstallFile, installPath);
    EXPECT_EQ (model->vst3Folder, f.vst3Root.getChildFile ("Alpha"));
    EXPECT_EQ (model->eulaText, juce::String::fromUTF8 ("Licence \xc3\xa9t\xc3\xa9\nline 2"));

    const auto screenshot = model->getScreenshot();
    ASSERT_TRUE (screenshot.isValid());
    EXPECT_EQ (screenshot.getWidth(), 8);
    EXPECT_EQ (screenshot.getPixelAt (1, 1), juce::Colours::red);

    // The archive copy: a file under a random name in a private folder made under a random name.
    ASSERT_TRUE (model->pluginArchive != nullptr);
    const auto temp = model->pluginArchive->getFile();
    const auto privateFolder = temp.getParentDirectory();
    EXPECT_EQ (privateFolder.getParentDirectory(), f.temporary);
    EXPECT_TRUE (isRandomName (privateFolder.getFileName(), "installer-")) << privateFolder.getFileName();
    EXPECT_TRUE (isRandomName (temp.getFileName(), "vst3-")) << temp.getFileName();
    EXPECT_EQ (modeOf (privateFolder), 0700);
    juce::MemoryBlock copied;
    ASSERT_TRUE (temp.loadFileAsData (copied));
    EXPECT_EQ (copied, content.vst3);
    EXPECT_EQ (model->pluginArchive->getSize(), (juce::int64) content.vst3.getSize());
    EXPECT_EQ (model->pluginArchive->getCrc(), crc32 (0, static_cast<const Bytef*> (content.vst3.getData()), (uInt) content.vst3.getSize()));

    const juce::String expected[] = { "Processing monolith",
                                      "Monolith install path: " + installPath.getFullPathName(),
                                      "VST3 temp file: " + temp.getFullPathName(),
                                      "Screenshot is loaded from monolith",
                                      "EULA is loaded from monolith",
                                      "Finished processing monolith" };
    EXPECT_EQ (text (run.messages), text (juce::StringArray (expected, 6)));

    // The check writes nothing outside the temporary folder.
    EXPECT_TRUE (treeOf (f.dataRoot).empty());
    EXPECT_TRUE (treeOf (f.vst3Root).empty());

    model.reset();
    EXPECT_FALSE (temp.exists());
    EXPECT_TRUE (snapshotOf (f.temporary).empty());
}

TEST (MonolithCheck, EverythingComesFromTheFileItOpened)
{
    // Another valid monolith takes the path's place at each milestone after the file was opened, or it is
    // renamed away: every entry still comes from the file that the check opened.
    MonolithContent original;
    original.screenshot = makePng();
    original.state.setProperty ("eula", base64Of ("original licence"), nullptr);

    MonolithContent other;
    other.state = makeState ("Beta", "Alpha");
    other.state.setProperty ("eula", base64Of ("other licence"), nullptr);
    other.vst3 = makeZip ({ { "Other.vst3/x", "other plug-in" } });

    for (const auto milestone : { 0.2, 0.6, 0.8 })
    {
        for (const auto replace : { true, false })
        {
            SCOPED_TRACE (juce::String (milestone) + (replace ? " replaced" : " renamed"));
            Sandbox sandbox;
            InstallerLog log;
            auto model = sandbox.makeModel (log);
            const auto rom = writeMonolith (sandbox.folder.getChildFile ("Beta.rom"), original);
            model->monolithFile = rom;
            juce::MemoryBlock originalBytes;
            ASSERT_TRUE (rom.loadFileAsData (originalBytes));

            struct Swapper : public RecordingObserver
            {
                void progressChanged (double progress) override
                {
                    RecordingObserver::progressChanged (progress);

                    if (progress == at)
                        swap();
                }

                double at = 0;
                std::function<void()> swap;
            } observer;

            observer.at = milestone;
            observer.swap = [&]
            {
                if (replace)
                    writeMonolith (rom.getSiblingFile ("new.rom"), other).moveFileTo (rom);
                else
                    rom.moveFileTo (rom.getSiblingFile ("moved.rom"));
            };

            ASSERT_EQ (model->processMonolith (observer), 0) << text (messagesOf (log));
            ASSERT_TRUE (model->pluginArchive != nullptr);
            juce::MemoryBlock copied;
            ASSERT_TRUE (model->pluginArchive->getFile().loadFileAsData (copied));
            EXPECT_EQ (copied, original.vst3);
            EXPECT_EQ (model->eulaText, "original licence");
            EXPECT_TRUE (model->getScreenshot().isValid());

            // What the installation will copy is the file that was checked.
            auto stream = model->monolithSource.createInputStream();
            ASSERT_NE (stream, nullptr);
            juce::MemoryBlock sourceBytes;
            stream->readIntoMemoryBlock (sourceBytes);
            EXPECT_EQ (sourceBytes, originalBytes);
        }
    }
}

TEST (MonolithCheck, ScreenshotAndLicenceAreOptional)
{
    struct Case { const char* name; juce::var eula; };
    const Case cases[] = {
        { "neither", {} },
        { "licence not Base64", "%%% not base64 %%%" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Sandbox sandbox;
        MonolithContent content;
        if (! c.eula.isVoid())
            content.state.setProperty ("eula", c.eula, nullptr);

        InstallerLog log;
        auto model = sandbox.makeModel (log);
        model->monolithFile = writeMonolith (sandbox.folder.getChildFile ("Beta.rom"), content);
        const auto run = runCheck (*model, log);

        EXPECT_EQ (run.result, 0);
        EXPECT_EQ (run.progress, 1.0);
        EXPECT_FALSE (model->getScreenshot().isValid());
        EXPECT_TRUE (model->eulaText.isEmpty());
        ASSERT_EQ (run.messages.size(), 4);
        EXPECT_EQ (run.messages[3], "Finished processing monolith");
    }
}

TEST (MonolithCheck, ScreenshotThatCannotBeShownIsLeftOutAndTheLogSaysWhy)
{
    // The bomb: a screenshot of a few kilobytes whose header claims 16384 x 16384 pixels, which the
    // framework's decoder would have taken 1.8 GB for.
    auto damaged = makePng();
    damaged[damaged.getSize() / 2] ^= 0x20;

    const struct { const char* what; juce::MemoryBlock png; const char* line; } cases[] = {
        { "too large", makeBlankPng (16384, 16384), "Screenshot is left out: it claims 16384 x 16384 pixels, more than 8192 a side" },
        { "damaged", damaged, "Screenshot is left out: it is not a well-formed PNG image" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Sandbox sandbox;
        MonolithContent content;
        content.screenshot = c.png;
        InstallerLog log;
        auto model = sandbox.makeModel (log);
        model->monolithFile = writeMonolith (sandbox.folder.getChildFile ("Beta.rom"), content);
        EXPECT_LT (model->monolithFile.getSize(), 64 * 1024);

        const auto run = runCheck (*model, log);

        EXPECT_EQ (run.result, 0);
        EXPECT_EQ (run.milestones, (std::vector<double> { 0.0, 0.2, 0.6, 0.8, 1.0 }));
        EXPECT_FALSE (model->getScreenshot().isValid());
        ASSERT_EQ (run.messages.size(), 5);
        EXPECT_EQ (run.messages[3], c.line);
        EXPECT_EQ (run.messages[4], "Finished processing monolith");
    }
}

TEST (MonolithCheck, EachFailureWritesOneLineAndStopsAtItsProgress)
{
    juce::ValueTree noInstrument ("SAMBREL_STATE");
    noInstrument.appendChild (juce::ValueTree ("PRESET"), nullptr);

    struct Case
    {
        const char* name;
        bool setMonolith, writeFile;
        juce::ValueTree state;
        bool withVst3;
        int expectedResult;
        double expectedProgress;
        const char* lastLine;
        juce::String expectedInstrument;
        const char* lineBefore = nullptr;      // the start of a line between "Processing monolith" and the last
        bool folderInItsPlace = false;
    };

    const Case cases[] = {
        { "no monolith set", false, false, makeState ("Beta", "Alpha"), true, 2, 0.0, "No monolith file available", {} },
        // A monolith that is not there, or cannot be read, is invalid, as instrument-setup reports it too:
        // missing data is for no monolith at all.
        { "file missing", true, false, makeState ("Beta", "Alpha"), true, 1, 0.0, "No valid instrument database found in monolith", {},
          "Cannot open " },
        { "folder in its place", true, false, makeState ("Beta", "Alpha"), true, 1, 0.0, "No valid instrument database found in monolith", {},
          "Cannot open ", true },
        { "no state chunk", true, true, {}, true, 1, 0.0, "No valid instrument database found in monolith", {} },
        { "other root type", true, true, juce::ValueTree ("GUI"), true, 1, 0.0, "No valid instrument database found in monolith", {} },
        { "no instrument", true, true, noInstrument, true, 1, 0.0, "Cannot load instrument name from monolith", {} },
        { "empty instrument name", true, true, makeState ({}, "Alpha"), true, 1, 0.0, "Cannot load instrument name from monolith", {} },
        { "empty company name", true, true, makeState ("Beta", {}), true, 1, 0.0, "Cannot load company name from monolith", "Beta" },
        { "no VST3 entry", true, true, makeState ("Beta", "Alpha"), false, 2, 0.2, "Cannot find VST3 binary in monolith", "Beta",
          "Monolith install path: " },
        // Names become folder names of a privileged process: any that is not one plain name counts as missing.
        { "instrument name climbs out", true, true, makeState ("../../Windows", "Alpha"), true, 1, 0.0,
          "Cannot load instrument name from monolith", "../../Windows" },
        { "instrument name is a device", true, true, makeState ("NUL", "Alpha"), true, 1, 0.0,
          "Cannot load instrument name from monolith", "NUL" },
        { "company name is absolute", true, true, makeState ("Beta", "C:\\Windows"), true, 1, 0.0,
          "Cannot load company name from monolith", "Beta" },
        { "company name is a parent", true, true, makeState ("Beta", ".."), true, 1, 0.0,
          "Cannot load company name from monolith", "Beta" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Sandbox sandbox;
        MonolithContent content;
        content.state = c.state;
        content.screenshot = makePng();
        if (! c.withVst3)
            content.vst3.reset();

        const auto rom = sandbox.folder.getChildFile ("Beta.rom");
        if (c.writeFile)
            writeMonolith (rom, content);
        if (c.folderInItsPlace)
        {
            ASSERT_TRUE (rom.createDirectory().wasOk());
        }

        InstallerLog log;
        auto model = sandbox.makeModel (log);
        if (c.setMonolith)
            model->monolithFile = rom;

        const auto run = runCheck (*model, log);

        EXPECT_EQ (run.result, c.expectedResult);
        EXPECT_EQ (run.progress, c.expectedProgress);
        EXPECT_EQ (run.messages.strings.getLast(), c.lastLine);
        EXPECT_EQ (model->instrumentName, c.expectedInstrument);
        EXPECT_TRUE (model->pluginArchive == nullptr);
        EXPECT_FALSE (model->getScreenshot().isValid());
        EXPECT_TRUE (snapshotOf (sandbox.folders().temporary).empty());

        if (c.setMonolith)
        {
            ASSERT_EQ (run.messages.size(), c.lineBefore != nullptr ? 3 : 2);
            EXPECT_EQ (run.messages[0], "Processing monolith");
            if (c.lineBefore != nullptr)
            {
                EXPECT_TRUE (run.messages[1].startsWith (c.lineBefore)) << run.messages[1];
            }
        }
        else
        {
            EXPECT_EQ (run.messages.size(), 1);
        }
    }
}

TEST (MonolithCheck, IncompleteOrDamagedMonolithsAreRefused)
{
    // A monolith as monolith-tool pack writes it: the checksum entry, the state tree, the plug-in and the
    // screenshot, cut short or with a byte flipped in its headers.
    Sandbox sandbox;
    MonolithContent content;
    content.screenshot = makePng();
    const auto good = writeMonolith (sandbox.folder.getChildFile ("good.rom"), content);
    juce::MemoryBlock original;
    ASSERT_TRUE (good.loadFileAsData (original));

    std::vector<ChunkWalk::Header> chunks;
    {
        juce::FileInputStream in (good);
        ChunkWalk walk (in);
        for (ChunkWalk::Header h; walk.next (h);)
            chunks.push_back (h);
    }
    ASSERT_EQ (chunks.size(), 4u);
    ASSERT_EQ (chunks[0].type, ChunkType::checksums);

    const auto size = (juce::int64) original.getSize();
    const auto last = chunks.back().start;
    const auto plugin = chunks[2].start;
    const auto n = [] (juce::int64 value) { return juce::String (value); };

    using Damage = std::function<void (juce::MemoryBlock&)>;
    const auto cutTo = [] (juce::int64 length) -> Damage { return [length] (juce::MemoryBlock& b) { b.setSize ((size_t) length); }; };
    const auto flip = [] (juce::int64 at, int mask) -> Damage { return [at, mask] (juce::MemoryBlock& b) { b[(size_t) at] ^= (char) mask; }; };

    const struct { const char* what; Damage damage; juce::String line; } cases[] = {
        { "empty", cutTo (0), "expected 24 bytes, found 0 (the file is empty)" },
        { "cut in the last payload", cutTo (size - 10),
          "expected " + n (size) + " bytes, found " + n (size - 10) + " (the chunk at byte " + n (last) + " runs past the end of the file)" },
        { "cut in the last header", cutTo (last + 10),
          "expected " + n (last + 24) + " bytes, found " + n (last + 10) + " (the file ends inside the chunk header at byte " + n (last) + ")" },
        // The header walk cannot see this one; the checksum entry in front lists the lost chunk.
        { "cut between two chunks", cutTo (last),
          "expected " + n (size) + " bytes, found " + n (last) + " (the checksum entry lists chunks up to byte " + n (size) + ")" },
        { "a byte after the last chunk", [] (juce::MemoryBlock& b) { b.append ("x", 1); },
          "expected " + n (size + 24) + " bytes, found " + n (size + 1) + " (the file ends inside the chunk header at byte " + n (size) + ")" },
        { "plug-in size's top bit flipped", flip (plugin + 15, 0x80), "(the chunk header at byte " + n (plugin) + " is damaged: size -" },
        { "plug-in size made larger", flip (plugin + 13, 0x01), "(the chunk at byte " + n (plugin) + " runs past the end of the file)" },
        { "state tree's type flipped", flip (chunks[1].start + 4, 0x01), "the chunk at byte " + n (chunks[1].start) + " is not the state tree" },
        { "plug-in's key flipped", flip (plugin + 20, 0x10), "the chunk at byte " + n (plugin) + " is not the PLUGIN_BINARY_VST3_WIN64" },
        { "checksum entry's payload flipped", flip (chunks[0].start + 40, 0x04), "the checksum entry fails its own checksum" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        auto bytes = original;
        c.damage (bytes);
        // Not replaceWithData, which deletes the file rather than leave it empty.
        const auto rom = sandbox.folder.getChildFile ("Beta.rom");
        ASSERT_TRUE (rom.deleteFile() && rom.create() && rom.appendData (bytes.getData(), bytes.getSize()));

        InstallerLog log;
        auto model = sandbox.makeModel (log);
        model->monolithFile = rom;
        const auto run = runCheck (*model, log);

        EXPECT_EQ (run.result, 1);
        EXPECT_EQ (run.progress, 0.0);
        ASSERT_EQ (run.messages.size(), 2) << text (run.messages);
        EXPECT_EQ (run.messages[0], "Processing monolith");
        EXPECT_TRUE (run.messages[1].startsWith ("Monolith is incomplete or damaged: ")) << run.messages[1];
        EXPECT_TRUE (run.messages[1].contains (c.line)) << run.messages[1];
        EXPECT_TRUE (model->instrumentName.isEmpty());
        EXPECT_TRUE (model->pluginArchive == nullptr);
        EXPECT_TRUE (snapshotOf (sandbox.folders().temporary).empty());
    }
}

TEST (MonolithCheck, MonolithWithoutUsableChecksumsGetsTheStructuralCheckAndOneLine)
{
    Sandbox sandbox;
    MonolithContent content;
    content.checksums = false;
    const auto rom = writeMonolith (sandbox.folder.getChildFile ("Beta.rom"), content);
    const auto withoutChecksums = rom.getSiblingFile ("without.rom");
    ASSERT_TRUE (rom.copyFileTo (withoutChecksums));

    // A checksum entry of a later format, which this installer cannot read: its own checksum is right.
    juce::MemoryOutputStream rest;
    rest.writeInt (2);
    rest.writeInt (0);
    const auto restCrc = crc32 (0, static_cast<const Bytef*> (rest.getData()), (uInt) rest.getDataSize());
    juce::MemoryOutputStream payload;
    payload.writeInt ((int) restCrc);
    payload << rest.getMemoryBlock();
    {
        juce::FileOutputStream out (rom);
        MonolithWriter (out).writeChunk (7, ChunkType::checksums, 0, payload.getData(), payload.getDataSize());
    }

    const struct { const char* what; juce::File file; const char* line; } cases[] = {
        { "none", withoutChecksums, "Monolith carries no checksums: only its structure is checked" },
        { "unknown format", rom, "Monolith carries no checksums of a known format (the checksum entry has format version 2): "
                                 "only its structure is checked" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        InstallerLog log;
        auto model = sandbox.makeModel (log);
        model->monolithFile = c.file;
        const auto run = runCheck (*model, log);

        EXPECT_EQ (run.result, 0);
        EXPECT_FALSE (model->monolithChecksums.has_value());
        ASSERT_EQ (run.messages.size(), 5) << text (run.messages);
        EXPECT_EQ (run.messages[1], c.line);
        EXPECT_TRUE (run.messages[2].startsWith ("Monolith install path: "));
    }

    // Without checksums a file cut in a chunk is still refused.
    const auto length = withoutChecksums.getSize();
    juce::MemoryBlock bytes;
    ASSERT_TRUE (withoutChecksums.loadFileAsData (bytes));
    bytes.setSize ((size_t) length - 1);
    ASSERT_TRUE (rom.replaceWithData (bytes.getData(), bytes.getSize()));
    InstallerLog log;
    auto model = sandbox.makeModel (log);
    model->monolithFile = rom;
    const auto run = runCheck (*model, log);
    EXPECT_EQ (run.result, 1);
    EXPECT_TRUE (run.messages.strings.getLast().startsWith ("Monolith is incomplete or damaged: expected " + juce::String (length)
                                                            + " bytes, found " + juce::String (length - 1)));
}

TEST (MonolithCheck, UnwritableTemporaryFolderFailsWithWriteFailed)
{
    Sandbox sandbox;
    InstallerLog log;
    auto folders = std::make_unique<TestFolders> (sandbox.folder);
    // A folder below a regular file can be neither created nor written, even by root.
    folders->temporary.deleteRecursively();
    folders->temporary.replaceWithText ("not a folder");
    folders->temporary = folders->temporary.getChildFile ("sub");

    InstallerModel model (std::move (folders));
    model.log = &log;
    model.monolithFile = writeMonolith (sandbox.folder.getChildFile ("Beta.rom"), {});
    const auto run = runCheck (model, log);

    EXPECT_EQ (run.result, 5);
    EXPECT_EQ (run.progress, 0.2);
    ASSERT_EQ (run.messages.size(), 4);
    EXPECT_TRUE (run.messages[2].startsWith ("Cannot create the folder " + sandbox.folders().temporary.getFullPathName()))
        << run.messages[2];
    EXPECT_EQ (run.messages[3], "Cannot write VST3 temp file");
    EXPECT_TRUE (model.pluginArchive == nullptr);
}

TEST (MonolithCheck, StopRequestEndsTheArchiveCopy)
{
    // Several blocks of archive, so that the request arrives in the middle of the copy.
    Sandbox sandbox;
    MonolithContent content;
    content.vst3.setSize (5u << 20, true);
    InstallerLog log;
    auto model = sandbox.makeModel (log);
    model->monolithFile = writeMonolith (sandbox.folder.getChildFile ("Beta.rom"), content);

    int questions = 0;
    RecordingObserver observer ([&] { return ++questions == 2; });
    EXPECT_EQ (model->processMonolith (observer), 6);
    EXPECT_EQ (questions, 2);
    EXPECT_EQ (messagesOf (log).strings.getLast(), "Installation interrupted");
    EXPECT_EQ (observer.last(), 0.2);
    EXPECT_TRUE (model->pluginArchive == nullptr);
    EXPECT_TRUE (snapshotOf (sandbox.folders().temporary).empty());
}

TEST (MonolithCheck, SecondCheckReplacesTheTemporaryFile)
{
    Sandbox sandbox;
    InstallerLog log;
    auto model = sandbox.makeModel (log);
    model->monolithFile = writeMonolith (sandbox.folder.getChildFile ("Beta.rom"), {});

    RecordingObserver observer;
    ASSERT_EQ (model->processMonolith (observer), 0);
    const auto first = model->pluginArchive->getFile();
    ASSERT_TRUE (first.existsAsFile());

    ASSERT_EQ (model->processMonolith (observer), 0);
    const auto second = model->pluginArchive->getFile();
    EXPECT_NE (first, second);
    EXPECT_FALSE (first.getParentDirectory().exists());
    EXPECT_TRUE (second.existsAsFile());
    EXPECT_EQ (snapshotOf (sandbox.folders().temporary).size(), 3u);     // the copy's folder, its mark and the copy

    // A check that fails after the targets are known still drops the earlier archive.
    MonolithContent withoutPlugin;
    withoutPlugin.vst3.reset();
    writeMonolith (model->monolithFile, withoutPlugin);
    EXPECT_EQ (model->processMonolith (observer), 2);
    EXPECT_TRUE (model->pluginArchive == nullptr);
    EXPECT_TRUE (snapshotOf (sandbox.folders().temporary).empty());
}

//==============================================================================
namespace
{
/** Runs the check on a model over `folders` as an unprivileged user: root passes every write-access
    test, so only a process without root can see a read-only data folder. As root the check runs in a
    forked child that drops to an unprivileged user and hands its result back through a pipe. */
CheckRun runCheckUnprivileged (std::unique_ptr<TestFolders> folders, const juce::File& monolith)
{
    const auto runHere = [&]
    {
        InstallerLog log;
        InstallerModel model (std::move (folders));
        model.log = &log;
        model.monolithFile = monolith;
        return runCheck (model, log);
    };

    if (geteuid() != 0)
        return runHere();

    const auto report = runInChild ([&] (juce::String& text)
    {
        if (setgid (unprivilegedId) != 0 || setuid (unprivilegedId) != 0)
            return 100;

        const auto run = runHere();
        text = juce::String (run.progress) + "\n" + run.messages.joinIntoString ("\n");
        return run.result;
    });

    CheckRun run;
    run.result = report.exitCode;
    run.messages.addLines (report.text);
    run.progress = run.messages[0].getDoubleValue();
    run.messages.remove (0);
    return run;
}

/** Makes `folder` and everything the unprivileged user must reach there usable by that user. */
void handOver (const juce::File& folder)
{
    if (geteuid() == 0)
        (void) chown (folder.getFullPathName().toRawUTF8(), unprivilegedId, unprivilegedId);
}
} // namespace

TEST (MonolithCheck, ReadOnlyDataRootIsMadeWritableForItsOwnerOnly)
{
    // The owner's write bit is added; nobody else gets any right they did not have.
    const std::pair<mode_t, mode_t> modes[] = { { 0555, 0755 }, { 0500, 0700 }, { 0550, 0750 }, { 0575, 0775 } };

    for (const auto& [before, after] : modes)
    {
        SCOPED_TRACE (juce::String::formatted ("mode %03o", (unsigned int) before));
        Sandbox sandbox;
        auto folders = std::make_unique<TestFolders> (sandbox.folder);
        const auto dataRoot = folders->dataRoot;
        const auto rom = writeMonolith (sandbox.folder.getChildFile ("Beta.rom"), {});
        handOver (dataRoot);
        handOver (folders->temporary);
        ASSERT_EQ (chmod (dataRoot.getFullPathName().toRawUTF8(), before), 0);

        const auto run = runCheckUnprivileged (std::move (folders), rom);

        EXPECT_EQ (run.result, 0);
        EXPECT_EQ (run.progress, 1.0);
        ASSERT_EQ (run.messages.size(), 5);
        EXPECT_EQ (run.messages[0], "Processing monolith");
        EXPECT_EQ (run.messages[1], "Data root dir is read only");
        EXPECT_TRUE (run.messages[2].startsWith ("Monolith install path: "));
        EXPECT_EQ (modeOf (dataRoot), after);
    }
}

TEST (MonolithCheck, DataRootThatCannotBeMadeWritableIsAccessDenied)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to own a folder that the unprivileged check cannot unlock";

    Sandbox sandbox;
    auto folders = std::make_unique<TestFolders> (sandbox.folder);
    const auto dataRoot = folders->dataRoot;
    const auto rom = writeMonolith (sandbox.folder.getChildFile ("Beta.rom"), {});
    handOver (folders->temporary);
    ASSERT_TRUE (dataRoot.setReadOnly (true));

    const auto run = runCheckUnprivileged (std::move (folders), rom);

    EXPECT_EQ (run.result, 4);
    EXPECT_EQ (run.progress, 0.0);
    EXPECT_EQ (text (run.messages), text ({ "Processing monolith",
                                            "Data root dir is read only",
                                            "Error: cannot change data root dir access rights" }));
    EXPECT_TRUE (treeOf (sandbox.folders().temporary).empty());
}

TEST (MonolithCheck, NamesAreMeasuredInTheFileSystemsOwnUnitsWithRoomForTemporaryNames)
{
    // Linux counts a name in UTF-8 bytes: 255, of which the installation's temporary names take 43.
    const auto accents = [] (int count) { return juce::String::repeatedString (juce::String::fromUTF8 ("\xc3\xa9"), count); };
    const auto emoji = [] (int count) { return juce::String::repeatedString (juce::String::fromUTF8 ("\xf0\x9f\x8e\xb9"), count); };

    struct Case
    {
        const char* name;
        juce::String instrument, company;
        juce::String tooLong;       // the name the last line quotes, empty when the names fit
        const char* measure = "";
    };

    const Case cases[] = {
        { "accents that fit", accents (104), "Alpha", {} },
        { "company name of 107 accents", "Beta", accents (107), accents (107), "257 UTF-8 bytes, at most 255" },
        // With ".rom" the file name is 4 bytes longer than its folder's.
        { "instrument file name", accents (104) + "x", "Alpha", accents (104) + "x.rom", "256 UTF-8 bytes, at most 255" },
        { "emoji that fit", emoji (52), juce::String::fromUTF8 ("\xe6\xa5\xbd\xe5\x99\xa8"), {} },
        { "emoji over the limit", emoji (54), "Alpha", emoji (54), "259 UTF-8 bytes, at most 255" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Sandbox sandbox;
        MonolithContent content;
        content.state = makeState (c.instrument, c.company);
        const auto rom = writeMonolith (sandbox.folder.getChildFile ("Beta.rom"), content);

        InstallerLog log;
        auto model = sandbox.makeModel (log);
        model->monolithFile = rom;
        const auto run = runCheck (*model, log);

        if (c.tooLong.isEmpty())
        {
            EXPECT_EQ (run.result, 0);
            EXPECT_EQ (model->monolithInstallFile.getFileName(), c.instrument + ".rom");
            continue;
        }

        EXPECT_EQ (run.result, 1);
        EXPECT_EQ (run.progress, 0.0);
        EXPECT_EQ (run.messages.strings.getLast(),
                   "Name too long for the file system: \"" + c.tooLong + "\" (" + c.measure
                   + ", with room for the installation's temporary names)");
        EXPECT_TRUE (snapshotOf (sandbox.folders().temporary).empty());
    }
}

TEST (MonolithCheck, NamesWhoseInstalledAppsKeyIsTooLongAreRefusedOnEverySystem)
{
    // The key "company: instrument" holds at most 255 UTF-16 units; an emoji takes two of them.
    const auto emoji = [] (int count) { return juce::String::repeatedString (juce::String::fromUTF8 ("\xf0\x9f\x8e\xb9"), count); };
    const auto letters = [] (int count) { return juce::String::repeatedString ("b", count); };

    const struct
    {
        juce::String company, instrument;
        int keyLength;      // 0 when the names fit
    } cases[] = {
        { letters (150), letters (103), 0 },
        { letters (150), letters (104), 256 },
        { emoji (50), letters (153), 0 },
        { emoji (50), letters (154), 256 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.instrument.length());
        Sandbox sandbox;
        MonolithContent content;
        content.state = makeState (c.instrument, c.company);
        const auto rom = writeMonolith (sandbox.folder.getChildFile ("Beta.rom"), content);

        InstallerLog log;
        auto model = sandbox.makeModel (log);
        model->monolithFile = rom;
        const auto run = runCheck (*model, log);

        if (c.keyLength == 0)
        {
            EXPECT_EQ (run.result, 0);
            continue;
        }

        EXPECT_EQ (run.result, 1);
        EXPECT_EQ (run.messages.strings.getLast(), "Company and instrument names too long for an Installed apps entry: \""
                                                       + c.company + ": " + c.instrument + "\" (" + juce::String (c.keyLength)
                                                       + " characters, 255 at most)");
        EXPECT_TRUE (snapshotOf (sandbox.folders().temporary).empty());
    }
}

TEST (MonolithCheck, ArchiveEntryTooDeepForTheFileSystemIsRefusedBeforeAnythingIsInstalled)
{
    // 20 folders of 200 bytes below the plug-in's folder go over Linux's 4095 bytes a path.
    juce::String deep ("Beta.vst3");
    for (int i = 0; i < 20; ++i)
        deep << "/" << juce::String::repeatedString ("d", 200);

    MonolithContent content;
    content.vst3 = makeZip ({ { "Beta.vst3/desktop.ini", "icon" }, { deep + "/x", "deep" } });
    CheckedMonolith run (content);

    EXPECT_EQ (run.check, 1);
    const auto last = messagesOf (run.log).strings.getLast();
    EXPECT_TRUE (last.startsWith ("Path too long for the file system: \""
                                  + run.sandbox.folders().vst3Root.getChildFile ("Alpha/Beta.vst3/d").getFullPathName()))
        << last;
    EXPECT_TRUE (last.endsWith ("with room for the installation's temporary names)")) << last;
    EXPECT_TRUE (run.model->pluginArchive == nullptr);
    EXPECT_FALSE (run.archive.exists());
    EXPECT_TRUE (snapshotOf (run.sandbox.folders().temporary).empty());
}

TEST (MonolithCheck, NamesWithAccentsOtherScriptsAndEmojiInstall)
{
    const auto instrument = juce::String::fromUTF8 ("Fl\xc3\xbbte \xce\xb1\xce\xb2 \xf0\x9f\x8e\xb9");
    const auto company = juce::String::fromUTF8 ("\xe6\xa5\xbd\xe5\x99\xa8 S\xc3\xb8ren");
    MonolithContent content;
    content.state = makeState (instrument, company);
    CheckedMonolith run (content);
    ASSERT_EQ (run.check, 0);
    ASSERT_EQ (run.install(), 0);

    const auto& f = run.sandbox.folders();
    juce::MemoryBlock source, installed;
    ASSERT_TRUE (run.model->monolithFile.loadFileAsData (source));
    ASSERT_TRUE (f.dataRoot.getChildFile (company).getChildFile (instrument).getChildFile (instrument + ".rom").loadFileAsData (installed));
    EXPECT_EQ (installed, source);
    EXPECT_TRUE (f.vst3Root.getChildFile (company).getChildFile ("Beta.vst3/desktop.ini").existsAsFile());
}
