#include "install/SystemFolders.h"

juce::File SystemFolders::getInstallerExecutable() const
{
    return juce::File::getSpecialLocation (juce::File::currentApplicationFile);
}

juce::File SystemFolders::getHomeFolder() const
{
    return juce::File::getSpecialLocation (juce::File::userHomeDirectory);
}

juce::File SystemFolders::getDownloadsFolder() const
{
    return getHomeFolder().getChildFile ("Downloads");
}

juce::File SystemFolders::getDesktopFolder() const
{
    return juce::File::getSpecialLocation (juce::File::userDesktopDirectory);
}

juce::File SystemFolders::getDataRoot() const
{
   #if JUCE_WINDOWS
    return juce::File::getSpecialLocation (juce::File::commonApplicationDataDirectory);
   #else
    // The XDG rules ignore a relative XDG_DATA_HOME.
    const auto xdgDataHome = juce::SystemStats::getEnvironmentVariable ("XDG_DATA_HOME", {});

    if (juce::File::isAbsolutePath (xdgDataHome))
        return juce::File (xdgDataHome);

    return getHomeFolder().getChildFile (".local").getChildFile ("share");
   #endif
}

juce::File SystemFolders::getVst3Root() const
{
   #if JUCE_WINDOWS
    return juce::File::getSpecialLocation (juce::File::globalApplicationsDirectory)
               .getChildFile ("Common Files")
               .getChildFile ("VST3");
   #else
    return getHomeFolder().getChildFile (".vst3");
   #endif
}

juce::File SystemFolders::getStateFolder() const
{
   #if JUCE_WINDOWS
    return juce::File::getSpecialLocation (juce::File::globalApplicationsDirectory)
               .getChildFile ("Common Files")
               .getChildFile (stateFolderName);
   #else
    const auto xdgStateHome = juce::SystemStats::getEnvironmentVariable ("XDG_STATE_HOME", {});
    const auto parent = juce::File::isAbsolutePath (xdgStateHome) ? juce::File (xdgStateHome)
                                                                  : getHomeFolder().getChildFile (".local").getChildFile ("state");
    return parent.getChildFile (stateFolderName);
   #endif
}

juce::File SystemFolders::getTemporaryFolder() const
{
    return juce::File::getSpecialLocation (juce::File::tempDirectory);
}
