#include "InstallTestSupport.h"

#include <gtest/gtest.h>

using namespace InstallTestSupport;

TEST (MonolithDiscovery, ChoosesByPlaceAndName)
{
    // Places: 'a' beside the installer ("Alpha Installer.exe"), 'd' Downloads, 'k' desktop.
    struct Case
    {
        const char* name;
        std::vector<std::pair<char, const char*>> files;
        char expectedPlace;
        const char* expectedName;
        const char* installer = "Alpha Installer.exe";
    };

    const Case cases[] = {
        { "name match beside the installer wins", { { 'a', "Beta.rom" }, { 'a', "Alpha.rom" }, { 'a', "Gamma.rom" } }, 'a', "Alpha.rom" },
        { "a prefix of the name matches", { { 'a', "Other.rom" }, { 'a', "Al.rom" } }, 'a', "Al.rom" },
        { "empty base name matches every installer", { { 'a', "!Other.rom" }, { 'a', ".rom" } }, 'a', ".rom" },
        { "empty base name matches in Downloads", { { 'd', ".rom" } }, 'd', ".rom" },
        { "only file beside the installer", { { 'a', "Other.rom" }, { 'k', "Alpha.rom" } }, 'a', "Other.rom" },
        { "case differs: first file beside the installer", { { 'a', "alpha.rom" } }, 'a', "alpha.rom" },
        { "other extensions do not count", { { 'a', "Alpha.txt" }, { 'a', "Alpha.rom.bak" }, { 'd', "Alpha.rom" } }, 'd', "Alpha.rom" },
        { "Downloads before the desktop", { { 'd', "Alpha.rom" }, { 'k', "Alpha.rom" } }, 'd', "Alpha.rom" },
        { "no match in Downloads: the desktop's match", { { 'd', "Other.rom" }, { 'k', "Alpha.rom" } }, 'k', "Alpha.rom" },
        { "case counts in Downloads", { { 'd', "alpha.rom" }, { 'k', "Other.rom" } }, 0, nullptr },
        { "no match anywhere", { { 'd', "Other.rom" } }, 0, nullptr },
        { "nothing anywhere", {}, 0, nullptr },
        // The best match, not the first one listed.
        { "exact match beats a longer one", { { 'a', "B.rom" }, { 'a', "Beta Installer.rom" }, { 'a', "Beta.rom" } }, 'a', "Beta.rom",
          "Beta Installer.exe" },
        { "shorter name beside a longer installer name", { { 'a', "B.rom" }, { 'a', "Beta.rom" } }, 'a', "Beta.rom", "Beta Installer (2).exe" },
        { "longest match", { { 'a', "A.rom" }, { 'a', "Alph.rom" }, { 'a', "Al.rom" }, { 'a', "Alpha Installer.exe.rom" } }, 'a',
          "Alpha Installer.exe.rom" },
        { "longest match in Downloads", { { 'd', "A.rom" }, { 'd', "Alpha.rom" }, { 'd', "Al.rom" } }, 'd', "Alpha.rom" },
        { "a better match in Downloads does not beat one beside the installer", { { 'a', "A.rom" }, { 'd', "Alpha.rom" } }, 'a', "A.rom" },
        { "no match: the first name in code-point order", { { 'a', "Zeta.rom" }, { 'a', "alpha.rom" }, { 'a', "Eta.rom" } }, 'a', "Eta.rom" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Sandbox sandbox;
        const auto& f = sandbox.folders();

        const auto folderOf = [&f] (char place)
        {
            return place == 'a' ? f.installer.getParentDirectory()
                 : place == 'd' ? f.home.getChildFile ("Downloads")
                                : f.desktop;
        };

        for (const auto& [place, name] : c.files)
        {
            const auto file = folderOf (place).getChildFile (name);
            ASSERT_TRUE (file.create());
        }

        auto folders = std::make_unique<TestFolders> (sandbox.folder);
        folders->installer = folders->installer.getSiblingFile (c.installer);
        const auto installerPath = folders->installer.getFullPathName();
        InstallerLog log;
        InstallerModel model (std::move (folders));
        model.log = &log;
        const auto expected = c.expectedName != nullptr ? folderOf (c.expectedPlace).getChildFile (c.expectedName) : juce::File();

        EXPECT_EQ (model.findMonolith(), expected);
        EXPECT_EQ (text (messagesOf (log)), "Installer path: " + installerPath.toStdString());
    }
}

TEST (MonolithDiscovery, OrderOfListingDoesNotDecide)
{
    // Many files, so that the file system's own order is almost certainly another one.
    Sandbox sandbox;
    const auto besideInstaller = sandbox.folders().installer.getParentDirectory();
    const juce::StringArray names { "Kappa", "Omicron", "Delta", "Sigma", "Gamma", "Upsilon", "Iota", "Beta", "Lambda", "Epsilon" };

    for (const auto& name : names)
        for (const auto* suffix : { "", " 2" })
            ASSERT_TRUE (besideInstaller.getChildFile (name + suffix + ".rom").create());

    InstallerLog log;
    auto model = sandbox.makeModel (log);
    EXPECT_EQ (model->findMonolith(), besideInstaller.getChildFile ("Beta 2.rom"));
}

TEST (MonolithDiscovery, FoldersNamedLikeMonolithsAreIgnored)
{
    Sandbox sandbox;
    const auto& f = sandbox.folders();
    ASSERT_TRUE (f.installer.getParentDirectory().getChildFile ("Alpha.rom").createDirectory());
    ASSERT_TRUE (f.home.getChildFile ("Downloads").getChildFile ("Alpha.rom").createDirectory());
    ASSERT_TRUE (f.desktop.getChildFile ("Alpha.rom").create());

    InstallerLog log;
    auto model = sandbox.makeModel (log);
    EXPECT_EQ (model->findMonolith(), f.desktop.getChildFile ("Alpha.rom"));
}

TEST (SystemFolders, PerUserPlacesFollowHome)
{
   #if ! JUCE_WINDOWS
    const auto savedHome = juce::SystemStats::getEnvironmentVariable ("HOME", {});
    const auto savedXdg = juce::SystemStats::getEnvironmentVariable ("XDG_DATA_HOME", {});
    const bool hadXdg = std::getenv ("XDG_DATA_HOME") != nullptr;

    const juce::File home ("/tmp/installer-engine-home");
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    unsetenv ("XDG_DATA_HOME");

    const SystemFolders folders;
    EXPECT_EQ (folders.getHomeFolder(), home);
    EXPECT_EQ (folders.getDownloadsFolder(), home.getChildFile ("Downloads"));
    EXPECT_EQ (folders.getDataRoot(), home.getChildFile (".local/share"));
    EXPECT_EQ (folders.getVst3Root(), home.getChildFile (".vst3"));

    setenv ("XDG_DATA_HOME", "/tmp/installer-engine-data", 1);
    EXPECT_EQ (folders.getDataRoot(), juce::File ("/tmp/installer-engine-data"));
    setenv ("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ (folders.getDataRoot(), home.getChildFile (".local/share"));

    setenv ("HOME", savedHome.toRawUTF8(), 1);
    if (hadXdg)
        setenv ("XDG_DATA_HOME", savedXdg.toRawUTF8(), 1);
    else
        unsetenv ("XDG_DATA_HOME");
   #endif
}
