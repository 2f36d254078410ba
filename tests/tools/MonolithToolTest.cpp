#include "install/ProductVersion.h"
#include "monolith/ChunkChecksums.h"
#include "monolith/Crc32.h"
#include "monolith/MonolithReader.h"
#include "monolith/MonolithWriter.h"

#include <gtest/gtest.h>

namespace
{
    struct ToolResult
    {
        int exitCode = -1;
        juce::String output;   // standard output and standard error together
    };

    /** Drives the built monolith-tool, which the build puts in tools/ beside the tests' folder. */
    class MonolithToolTest : public ::testing::Test
    {
    protected:
        const juce::File tool = juce::File::getSpecialLocation (juce::File::currentExecutableFile)
                                    .getParentDirectory().getSiblingFile ("tools").getChildFile ("monolith-tool");
        const juce::File folder = juce::File::createTempFile ("monolith-tool-test");

        void SetUp() override
        {
            ASSERT_TRUE (tool.existsAsFile()) << tool.getFullPathName();
            ASSERT_TRUE (folder.createDirectory());
        }

        void TearDown() override
        {
            folder.deleteRecursively();
        }

        /** Runs the tool with `args`; `streams` says which of its outputs `output` holds. */
        ToolResult run (juce::StringArray args, int streams = juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr) const
        {
            args.insert (0, tool.getFullPathName());
            juce::ChildProcess process;
            ToolResult result;

            if (! process.start (args, streams))
                return result;

            result.output = process.readAllProcessOutput();
            process.waitForProcessToFinish (30000);
            result.exitCode = (int) process.getExitCode();
            return result;
        }

        juce::File writeFile (const juce::String& name, const juce::String& content) const
        {
            auto file = folder.getChildFile (name);
            file.replaceWithText (content);
            return file;
        }

        juce::File writePng (const juce::String& name) const
        {
            juce::Image image (juce::Image::RGB, 8, 6, true);
            image.setPixelAt (1, 2, juce::Colours::red);
            juce::MemoryOutputStream png;
            juce::PNGImageFormat().writeImageToStream (image, png);

            auto file = folder.getChildFile (name);
            file.replaceWithData (png.getData(), png.getDataSize());
            return file;
        }

        juce::String path (const juce::String& name) const     { return folder.getChildFile (name).getFullPathName(); }
    };
}

TEST_F (MonolithToolTest, PackedMonolithListsExtractsAndReadsBack)
{
    const auto state = writeFile ("state.xml", "<SAMBREL_STATE><INSTRUMENT instrumentName=\"Glass Piano\" companyName=\"Lumen Harbor\"/></SAMBREL_STATE>");
    const auto eula = writeFile ("eula.txt", juce::String::fromUTF8 ("Licence \xc3\xa9t\xc3\xa9\n"));
    const auto screenshot = writePng ("shot.png");
    const auto zip = writeFile ("bundle.zip", "PK not really a zip");
    const auto extra = writeFile ("extra.bin", "extra payload");

    const auto packed = run ({ "pack", path ("demo.rom"), "--state", state.getFullPathName(), "--eula", eula.getFullPathName(),
                               "--screenshot", screenshot.getFullPathName(), "--vst3", zip.getFullPathName(),
                               "--entry", "EXTRA=" + extra.getFullPathName() });
    ASSERT_EQ (packed.exitCode, 0) << packed.output;

    const auto listed = run ({ "list", path ("demo.rom") });
    ASSERT_EQ (listed.exitCode, 0) << listed.output;
    auto lines = juce::StringArray::fromLines (listed.output.trimEnd());
    ASSERT_EQ (lines.size(), 5) << listed.output;
    EXPECT_TRUE (lines[0].startsWith ("           0  checksums   0x0000000000000000  (checksums)")) << lines[0];
    EXPECT_TRUE (lines[1].contains ("stateTree   0x0000000000000000  (state tree)")) << lines[1];
    EXPECT_TRUE (lines[2].contains ("pngImage    0xF5F5BE00B9C0849E  SCREENSHOT")) << lines[2];
    EXPECT_TRUE (lines[3].contains ("binary      0x160DFBB7794D0EC9  PLUGIN_BINARY_VST3_WIN64")) << lines[3];
    EXPECT_TRUE (lines[3].endsWith (" " + juce::String (zip.getSize()))) << lines[3];
    // A name that only the checksum entry records.
    EXPECT_TRUE (lines[4].contains (juce::String::toHexString (juce::String ("EXTRA").hashCode64()).toUpperCase() + "  EXTRA")) << lines[4];

    const auto verified = run ({ "verify", path ("demo.rom") });
    EXPECT_EQ (verified.exitCode, 0) << verified.output;
    EXPECT_EQ (verified.output.trim(), "5 chunks, complete; every checksum matches");

    const MonolithReader reader (folder.getChildFile ("demo.rom"));
    const auto tree = reader.readState();
    EXPECT_EQ (tree.getChildWithName ("INSTRUMENT")["instrumentName"].toString(), "Glass Piano");
    juce::MemoryOutputStream decoded;
    ASSERT_TRUE (juce::Base64::convertFromBase64 (decoded, tree["eula"].toString()));
    EXPECT_EQ (decoded.toUTF8(), eula.loadFileAsString());
    EXPECT_EQ (reader.readImage (juce::String ("SCREENSHOT").hashCode64()).getPixelAt (1, 2), juce::Colours::red);

    const auto printed = run ({ "state", path ("demo.rom") });
    ASSERT_EQ (printed.exitCode, 0) << printed.output;
    const auto xml = juce::parseXML (printed.output);
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (juce::ValueTree::fromXml (*xml).isEquivalentTo (tree));

    for (auto [name, original] : { std::pair { "PLUGIN_BINARY_VST3_WIN64", zip }, { "SCREENSHOT", screenshot }, { "EXTRA", extra } })
    {
        const auto extracted = run ({ "extract", path ("demo.rom"), name, path ("out.bin") });
        ASSERT_EQ (extracted.exitCode, 0) << extracted.output;
        EXPECT_TRUE (folder.getChildFile ("out.bin").hasIdenticalContentTo (original)) << name;
    }
}

TEST_F (MonolithToolTest, HelpAndVersionGoToStandardOutputAndWrongUseToStandardError)
{
    const auto help = run ({ "--help" }, juce::ChildProcess::wantStdOut);
    EXPECT_EQ (help.exitCode, 0);
    EXPECT_TRUE (help.output.startsWith ("usage: monolith-tool list FILE")) << help.output;
    EXPECT_TRUE (help.output.contains ("Exit status: 0 done, 1 failed")) << help.output;

    const auto shown = run ({ "--version" }, juce::ChildProcess::wantStdOut);
    EXPECT_EQ (shown.exitCode, 0);
    EXPECT_EQ (shown.output, "monolith-tool " + ProductVersion::get() + "\n");

    for (const auto& args : { juce::StringArray(), juce::StringArray { "--help", "extra" }, juce::StringArray { "--bogus" } })
    {
        const auto wrong = run (args, juce::ChildProcess::wantStdOut);
        EXPECT_EQ (wrong.exitCode, 2) << args.joinIntoString (" ");
        EXPECT_EQ (wrong.output, "") << args.joinIntoString (" ");
    }
}

TEST_F (MonolithToolTest, FailuresAreOneLineAndNonZero)
{
    const auto state = writeFile ("state.xml", "<SAMBREL_STATE/>");
    writeFile ("not.png", "plain text");
    writeFile ("bad.xml", "<a><b></a>");
    writeFile ("damaged.rom", "0123456789");
    ASSERT_EQ (run ({ "pack", path ("ok.rom"), "--state", state.getFullPathName() }).exitCode, 0);

    const juce::StringArray cases[] = {
        {},
        { "frobnicate", path ("ok.rom") },
        { "list" },
        { "list", path ("missing.rom") },
        { "list", path ("damaged.rom") },
        { "state", path ("damaged.rom") },
        { "verify", path ("damaged.rom") },
        { "verify", path ("missing.rom") },
        { "extract", path ("ok.rom"), "SCREENSHOT", path ("out.png") },
        { "extract", path ("missing.rom"), "SCREENSHOT", path ("out.png") },
        { "pack", path ("new.rom") },
        { "pack", path ("new.rom"), "--state", path ("missing.xml") },
        { "pack", path ("new.rom"), "--state", path ("bad.xml") },
        { "pack", path ("new.rom"), "--state", state.getFullPathName(), "--vst3", path ("missing.zip") },
        { "pack", path ("new.rom"), "--state", state.getFullPathName(), "--screenshot", path ("not.png") },
        { "pack", path ("new.rom"), "--state", state.getFullPathName(), "--eula", path ("missing.txt") },
        { "pack", path ("new.rom"), "--state", state.getFullPathName(), "--entry", "NOFILE" },
        { "pack", path ("new.rom"), "--state", state.getFullPathName(), "--bogus", "x" },
        { "pack", path ("new.rom"), "--state" },
        { "pack", path ("no-such-folder/new.rom"), "--state", state.getFullPathName() },
    };

    for (auto& args : cases)
    {
        const auto result = run (args);
        EXPECT_NE (result.exitCode, 0) << args.joinIntoString (" ");
        EXPECT_EQ (juce::StringArray::fromLines (result.output.trimEnd()).size(), 1) << args.joinIntoString (" ") << ": " << result.output;
        EXPECT_FALSE (folder.getChildFile ("out.png").exists());
        EXPECT_FALSE (folder.getChildFile ("new.rom").exists()) << args.joinIntoString (" ");
    }
}

TEST_F (MonolithToolTest, VerifyNamesTheDamagedEntryAndTellsAMonolithWithoutChecksums)
{
    const auto state = writeFile ("state.xml", "<SAMBREL_STATE/>");
    const auto zip = writeFile ("bundle.zip", "PK not really a zip");
    ASSERT_EQ (run ({ "pack", path ("ok.rom"), "--state", state.getFullPathName(), "--vst3", zip.getFullPathName() }).exitCode, 0);

    juce::MemoryBlock bytes;
    ASSERT_TRUE (folder.getChildFile ("ok.rom").loadFileAsData (bytes));
    const auto lastChunkStart = bytes.getSize() - 24 - (size_t) zip.getSize();
    bytes[bytes.getSize() - 1] = (char) (bytes[bytes.getSize() - 1] ^ 1);
    ASSERT_TRUE (folder.getChildFile ("flipped.rom").replaceWithData (bytes.getData(), bytes.getSize()));

    const auto damaged = run ({ "verify", path ("flipped.rom") });
    EXPECT_EQ (damaged.exitCode, 1);
    EXPECT_EQ (damaged.output.trim(), "monolith-tool: damaged entry in " + path ("flipped.rom")
                                          + ": PLUGIN_BINARY_VST3_WIN64 (the chunk at byte " + juce::String (lastChunkStart) + ")");

    {
        juce::FileOutputStream out (folder.getChildFile ("old.rom"));
        ASSERT_TRUE (MonolithWriter (out).writeState (juce::ValueTree ("SAMBREL_STATE")));
    }

    const auto old = run ({ "verify", path ("old.rom") });
    EXPECT_EQ (old.exitCode, 0);
    EXPECT_EQ (old.output.trim(), "1 chunk, complete; carries no checksums");

    // A checksum entry of a newer format is no damage: the structure is all that can be checked.
    auto newer = ChunkChecksums ({}).toPayload();
    newer[4] = 2;
    const auto crc = juce::ByteOrder::swapIfBigEndian (Crc32::of (static_cast<const char*> (newer.getData()) + 4, newer.getSize() - 4));
    newer.copyFrom (&crc, 0, 4);

    {
        juce::FileOutputStream out (folder.getChildFile ("newer.rom"));
        MonolithWriter writer (out);
        ASSERT_TRUE (writer.writeChunk (5, ChunkType::checksums, ChunkChecksums::entryKey, newer.getData(), newer.getSize()));
        ASSERT_TRUE (writer.writeState (juce::ValueTree ("SAMBREL_STATE")));
    }

    const auto fromNewerPacker = run ({ "verify", path ("newer.rom") });
    EXPECT_EQ (fromNewerPacker.exitCode, 0);
    EXPECT_EQ (fromNewerPacker.output.trim(),
               "2 chunks, complete; carries no checksums of a known format (the checksum entry has format version 2)");
}
