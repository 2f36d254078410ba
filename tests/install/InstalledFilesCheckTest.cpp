#include "InstallTestSupport.h"

#include "install/installed/InstalledFilesCheck.h"
#include "install/ProductVersion.h"

#include <gtest/gtest.h>

using namespace InstallTestSupport;

namespace
{
using TargetFolder = InstallRecord::TargetFolder;

juce::uint32 crcOfText (const juce::String& content)
{
    return (juce::uint32) crc32 (0, reinterpret_cast<const Bytef*> (content.toRawUTF8()), (uInt) content.getNumBytesAsUTF8());
}

/** An installation of Beta by Alpha written by hand: its files, and a record that lists them as written. */
struct WrittenInstallation
{
    explicit WrittenInstallation (const TestFolders& folders)
    {
        installation.dataFolder = folders.dataRoot.getChildFile ("Alpha/Beta");
        installation.pluginFolder = folders.vst3Root.getChildFile ("Alpha");
        auto& record = installation.record;
        record.company = "Alpha";
        record.instrument = "Beta";
        record.installerVersion = ProductVersion::get();
        record.date = juce::Time::getCurrentTime();
        add (TargetFolder::data, "Beta.rom", "the monolith");
        record.addFolders (TargetFolder::plugins, "Beta.vst3/Contents");
        add (TargetFolder::plugins, "Beta.vst3/Contents/code.dll", "code");
        add (TargetFolder::plugins, "Beta.vst3/desktop.ini", "");
        installation.dataFolder.getChildFile (InstallRecord::fileName).replaceWithText (record.toText());
    }

    void add (TargetFolder place, const juce::String& path, const juce::String& content)
    {
        const auto file = (place == TargetFolder::data ? installation.dataFolder : installation.pluginFolder).getChildFile (path);
        file.getParentDirectory().createDirectory();
        file.replaceWithText (content);
        installation.record.addFile (place, path, (juce::int64) content.getNumBytesAsUTF8(), crcOfText (content));
    }

    InstalledInstruments::Installation installation;
};
} // namespace

TEST (InstalledFilesCheck, FindsEveryChangeToWhatTheRecordLists)
{
    struct Case
    {
        const char* name;
        std::function<void (const juce::File& data, const juce::File& plugins)> change;
        const char* expected;   // the end of the one line; none for an intact installation
    };

    const Case cases[] = {
        { "untouched",               [] (auto&, auto&) {},                                                        nullptr },
        { "monolith removed",        [] (auto& d, auto&) { d.getChildFile ("Beta.rom").deleteFile(); },           "Beta.rom: missing" },
        { "monolith grown",          [] (auto& d, auto&) { d.getChildFile ("Beta.rom").appendText ("!"); },       "Beta.rom: size 13, recorded 12" },
        { "same size, other bytes",  [] (auto&, auto& p) { p.getChildFile ("Beta.vst3/Contents/code.dll").replaceWithText ("CODE"); },
                                                                                                                  "code.dll: content changed (CRC-32 " },
        { "file made a folder",      [] (auto&, auto& p) { p.getChildFile ("Beta.vst3/desktop.ini").deleteFile();
                                                           p.getChildFile ("Beta.vst3/desktop.ini").createDirectory(); },
                                                                                                                  "desktop.ini: is not a file" },
        { "file made a link",        [] (auto& d, auto&) { const auto rom = d.getChildFile ("Beta.rom");
                                                           rom.moveFileTo (d.getChildFile ("real.rom"));
                                                           d.getChildFile ("real.rom").createSymbolicLink (rom, true); },
                                                                                                                  "Beta.rom: is a link" },
        { "folder made a file",      [] (auto&, auto& p) { p.getChildFile ("Beta.vst3/Contents").deleteRecursively();
                                                           p.getChildFile ("Beta.vst3/Contents").replaceWithText ("x"); },
                                                                                                                  "Contents: is not a folder" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Sandbox sandbox;
        WrittenInstallation written (sandbox.folders());
        c.change (written.installation.dataFolder, written.installation.pluginFolder);

        const auto changes = InstalledFilesCheck (written.installation).findChanges();

        if (c.expected == nullptr)
        {
            EXPECT_TRUE (changes.isEmpty()) << text (changes);
            continue;
        }

        // A folder made a file also takes the file below it away.
        ASSERT_FALSE (changes.isEmpty());
        EXPECT_TRUE (changes[0].contains (c.expected)) << text (changes);
    }
}

TEST (InstalledFilesCheck, AMonolithIsInstalledAsItIsOnlyWhenEverythingMatches)
{
    Sandbox sandbox;
    const auto& f = sandbox.folders();
    WrittenInstallation written (f);
    const auto source = f.root.getChildFile ("source.rom");
    const auto installedAsIs = [&] { return InstalledFilesCheck::isInstalledAsIs (f, "Alpha", "Beta", source); };

    source.replaceWithText ("the monolith");
    EXPECT_TRUE (installedAsIs());
    EXPECT_FALSE (InstalledFilesCheck::isInstalledAsIs (f, "Alpha", "Gamma", source));

    source.replaceWithText ("the Monolith");        // same size, other content
    EXPECT_FALSE (installedAsIs());
    source.replaceWithText ("a newer monolith");
    EXPECT_FALSE (installedAsIs());
    source.replaceWithText ("the monolith");

    written.installation.pluginFolder.getChildFile ("Beta.vst3/desktop.ini").replaceWithText ("changed");
    EXPECT_FALSE (installedAsIs());
    written.installation.pluginFolder.getChildFile ("Beta.vst3/desktop.ini").replaceWithText ("");
    EXPECT_TRUE (installedAsIs());

    // Installed by another version of the installer: installing again brings this version's files.
    written.installation.record.installerVersion = "0.9";
    written.installation.dataFolder.getChildFile (InstallRecord::fileName).replaceWithText (written.installation.record.toText());
    EXPECT_FALSE (installedAsIs());
}
