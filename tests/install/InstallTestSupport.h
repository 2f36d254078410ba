#pragma once

#include "install/InstallerModel.h"
#include "install/SystemFolders.h"
#include "log/InstallerLog.h"
#include "monolith/MonolithWriter.h"

#include <juce_graphics/juce_graphics.h>

#include <map>

namespace InstallTestSupport
{
/** Every folder the engine touches, below one temporary folder that is removed at the end. */
struct TestFolders : public SystemFolders
{
    explicit TestFolders (const juce::File& rootFolder)
        : root (rootFolder),
          installer (root.getChildFile ("app").getChildFile ("Alpha Installer.exe")),
          home (root.getChildFile ("home")),
          desktop (home.getChildFile ("Desktop")),
          dataRoot (root.getChildFile ("data")),
          vst3Root (root.getChildFile ("vst3")),
          temporary (root.getChildFile ("tmp"))
    {
    }

    juce::File getInstallerExecutable() const override  { return installer; }
    juce::File getHomeFolder() const override           { return home; }
    juce::File getDesktopFolder() const override        { return desktop; }
    juce::File getDataRoot() const override             { return dataRoot; }
    juce::File getVst3Root() const override             { return vst3Root; }
    juce::File getTemporaryFolder() const override      { return temporary; }

    juce::File root, installer, home, desktop, dataRoot, vst3Root, temporary;
};

/** A scratch folder with the usual subfolders already made (data root, VST3 root, temporary). */
struct Sandbox
{
    Sandbox()
    {
        folder.createDirectory();
        for (const auto& f : { folders().dataRoot, folders().vst3Root, folders().temporary, folders().installer.getParentDirectory() })
            f.createDirectory();
    }

    ~Sandbox()
    {
        // Tests may leave read-only folders behind.
        for (const auto& f : folder.findChildFiles (juce::File::findDirectories, true))
            f.setReadOnly (false);

        folder.setReadOnly (false);
        folder.deleteRecursively();
    }

    const TestFolders& folders() const  { return *testFolders; }

    /** A model over this sandbox, writing to `log`, pausing `pauseMs` between installation stages. */
    std::unique_ptr<InstallerModel> makeModel (InstallerLog& log, int pauseMs = 0) const
    {
        auto model = std::make_unique<InstallerModel> (std::make_unique<TestFolders> (folder));
        model->log = &log;
        model->stepPauseMs = pauseMs;
        return model;
    }

    juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                            .getNonexistentChildFile ("installer-engine-test", {}, false);
    std::unique_ptr<TestFolders> testFolders = std::make_unique<TestFolders> (folder);
};

/** The messages of the log's lines, without time stamp; a line of another category is kept whole. */
inline juce::StringArray messagesOf (const InstallerLog& log)
{
    juce::StringArray lines, messages;
    lines.addLines (log.getText());
    lines.removeEmptyStrings (false);

    for (const auto& line : lines)
        messages.add (line.contains (" <InstallerComponent> ") ? line.fromFirstOccurrenceOf (" <InstallerComponent> ", false, false)
                                                                : line);

    return messages;
}

/** Lines as one text, so that a failed comparison shows them. */
inline std::string text (const juce::StringArray& lines)
{
    return lines.joinIntoString ("\n").toStdString();
}

using ZipContent = std::map<juce::String, juce::String>;

/** A zip archive holding `content` (path inside the archive -> file text), deflated. */
inline juce::MemoryBlock makeZip (const ZipContent& content)
{
    juce::ZipFile::Builder builder;

    for (const auto& [path, text] : content)
        builder.addEntry (new juce::MemoryInputStream (text.toRawUTF8(), text.getNumBytesAsUTF8(), true),
                          6, path, juce::Time::getCurrentTime());

    juce::MemoryOutputStream out;
    builder.writeToStream (out, nullptr);
    return out.getMemoryBlock();
}

/** A zip written byte by byte, entries stored uncompressed, so that any entry name can be given,
    including ones the framework's builder would not write. */
inline juce::MemoryBlock makeStoredZip (const std::vector<std::pair<juce::String, juce::String>>& entries)
{
    const auto crc32 = [] (const juce::String& text)
    {
        juce::uint32 crc = 0xffffffff;

        for (auto* p = text.toRawUTF8(); *p != 0; ++p)
        {
            crc ^= (juce::uint8) *p;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }

        return ~crc;
    };

    juce::MemoryOutputStream out, central;

    for (const auto& [name, text] : entries)
    {
        const auto offset = (int) out.getPosition();
        const auto size = (int) text.getNumBytesAsUTF8();
        const auto nameSize = (short) name.getNumBytesAsUTF8();
        const auto crc = (int) crc32 (text);

        out.writeInt (0x04034b50);
        out.writeShort (20); out.writeShort (0); out.writeShort (0);     // version, flags, stored
        out.writeShort (0); out.writeShort (0x21);                       // time, date
        out.writeInt (crc); out.writeInt (size); out.writeInt (size);
        out.writeShort (nameSize); out.writeShort (0);
        out << name;
        out << text;

        central.writeInt (0x02014b50);
        central.writeShort (20); central.writeShort (20); central.writeShort (0); central.writeShort (0);
        central.writeShort (0); central.writeShort (0x21);
        central.writeInt (crc); central.writeInt (size); central.writeInt (size);
        central.writeShort (nameSize); central.writeShort (0); central.writeShort (0);
        central.writeShort (0); central.writeShort (0); central.writeInt (0);
        central.writeInt (offset);
        central << name;
    }

    const auto centralOffset = (int) out.getPosition();
    out << central.getMemoryBlock();
    out.writeInt (0x06054b50);
    out.writeShort (0); out.writeShort (0);
    out.writeShort ((short) entries.size()); out.writeShort ((short) entries.size());
    out.writeInt ((int) central.getDataSize()); out.writeInt (centralOffset);
    out.writeShort (0);
    return out.getMemoryBlock();
}

inline juce::MemoryBlock makePng()
{
    juce::Image image (juce::Image::ARGB, 8, 6, true);
    image.setPixelAt (1, 1, juce::Colours::red);
    juce::MemoryOutputStream out;
    juce::PNGImageFormat().writeImageToStream (image, out);
    return out.getMemoryBlock();
}

inline juce::ValueTree makeState (const juce::String& instrument, const juce::String& company)
{
    juce::ValueTree root ("SAMBREL_STATE");
    juce::ValueTree node ("INSTRUMENT");
    node.setProperty ("instrumentName", instrument, nullptr);
    node.setProperty ("companyName", company, nullptr);
    root.appendChild (node, nullptr);
    return root;
}

inline juce::String base64Of (const juce::String& text)
{
    return juce::Base64::toBase64 (text.toRawUTF8(), text.getNumBytesAsUTF8());
}

/** What goes into a test monolith; an invalid state or an empty block leaves that chunk out. */
struct MonolithContent
{
    juce::ValueTree state = makeState ("Beta", "Alpha");
    juce::MemoryBlock vst3 = makeZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "plug-in code" },
                                        { "Beta.vst3/desktop.ini", "icon" } });
    juce::MemoryBlock screenshot;
};

inline juce::File writeMonolith (const juce::File& file, const MonolithContent& content)
{
    file.getParentDirectory().createDirectory();
    file.deleteFile();

    juce::FileOutputStream out (file);
    MonolithWriter writer (out);

    if (content.state.isValid())
        writer.writeState (content.state);

    if (! content.vst3.isEmpty())
        writer.writeEntry (ChunkType::binary, InstallerModel::vst3EntryName, content.vst3);

    if (! content.screenshot.isEmpty())
        writer.writeEntry (ChunkType::pngImage, InstallerModel::screenshotEntryName, content.screenshot);

    return file;
}

/** Every file below `folder`, as relative path -> content. */
inline ZipContent treeOf (const juce::File& folder)
{
    ZipContent tree;

    for (const auto& f : folder.findChildFiles (juce::File::findFiles, true))
        tree[f.getRelativePathFrom (folder).replaceCharacter ('\\', '/')] = f.loadFileAsString();

    return tree;
}
} // namespace InstallTestSupport
