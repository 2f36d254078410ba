#include "install/InstallerModel.h"

#include "install/Installation.h"
#include "install/MonolithCheck.h"
#include "log/InstallerLog.h"

namespace
{
bool isNameMatch (const juce::File& rom, const juce::String& installerName)
{
    return installerName.startsWith (rom.getFileNameWithoutExtension());
}

juce::Array<juce::File> listMonoliths (const juce::File& folder)
{
    return folder.findChildFiles (juce::File::findFiles, false, "*.rom", juce::File::FollowSymlinks::no);
}

juce::File firstNameMatch (const juce::Array<juce::File>& files, const juce::String& installerName)
{
    for (const auto& f : files)
        if (isNameMatch (f, installerName))
            return f;

    return {};
}
} // namespace

InstallerModel::InstallerModel (std::unique_ptr<SystemFolders> foldersToUse)
    : folders (std::move (foldersToUse))
{
    jassert (folders != nullptr);
}

InstallerModel::~InstallerModel() = default;

void InstallerModel::write (const juce::String& message) const
{
    if (log != nullptr)
        log->write (InstallerLog::installerCategory, message);
}

InstallerModel::Result InstallerModel::fail (Result result, const juce::String& line) const
{
    write (line);
    return result;
}

InstallerModel::Result InstallerModel::stopped() const
{
    return fail (interrupted, "Installation interrupted");
}

juce::Image InstallerModel::getScreenshot() const
{
    const juce::ScopedLock sl (screenshotLock);
    return screenshot;
}

void InstallerModel::setScreenshot (const juce::Image& newImage)
{
    const juce::ScopedLock sl (screenshotLock);
    screenshot = newImage;
}

//==============================================================================
InstallerModel::Result InstallerModel::processMonolith (Observer& observer)
{
    return MonolithCheck (*this, observer).run();
}

InstallerModel::Result InstallerModel::install (Observer& observer)
{
    return Installation (*this, observer).run();
}

//==============================================================================
juce::File InstallerModel::findMonolith()
{
    const auto installer = folders->getInstallerExecutable();
    const auto installerName = installer.getFileName();

    write ("Installer path: " + installer.getFullPathName());

    const auto besideInstaller = listMonoliths (installer.getParentDirectory());

    if (! besideInstaller.isEmpty())
    {
        const auto match = firstNameMatch (besideInstaller, installerName);
        return match != juce::File() ? match : besideInstaller.getFirst();
    }

    for (const auto& folder : { folders->getDownloadsFolder(), folders->getDesktopFolder() })
    {
        const auto match = firstNameMatch (listMonoliths (folder), installerName);

        if (match != juce::File())
            return match;
    }

    return {};
}
