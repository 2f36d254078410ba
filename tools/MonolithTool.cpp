#include "tools/MonolithTool.h"

#include "monolith/EntryNames.h"
#include "monolith/MonolithReader.h"
#include "monolith/MonolithWriter.h"

namespace
{
    constexpr int failed = 1;
    constexpr int badUsage = 2;

    const char* const knownNames[] = { EntryNames::screenshot, EntryNames::vst3Plugin };

    juce::String entryNameFor (juce::int32 type, juce::int64 key)
    {
        if (type == ChunkType::stateTree && key == 0)
            return "(state tree)";

        for (auto* name : knownNames)
            if (EntryNames::keyOf (name) == key)
                return name;

        return "-";
    }

    juce::String typeName (juce::int32 type)
    {
        switch (type)
        {
            case ChunkType::binary:     return "binary";
            case ChunkType::stateTree:  return "stateTree";
            case ChunkType::pngImage:   return "pngImage";
            default:                    return juce::String (type);
        }
    }

    juce::String hex64 (juce::int64 value)
    {
        return "0x" + juce::String::toHexString (value).paddedLeft ('0', 16).toUpperCase();
    }
}

MonolithTool::MonolithTool (std::ostream& output, std::ostream& errors)
    : out (output), err (errors)
{
}

juce::String MonolithTool::getUsage()
{
    return "usage: monolith-tool list FILE | state FILE | extract FILE NAME OUT"
           " | pack OUT --state TREE.xml [--screenshot PNG] [--vst3 ZIP] [--eula TEXTFILE] [--entry NAME=FILE]...";
}

int MonolithTool::fail (const juce::String& message)
{
    err << "monolith-tool: " << message.toStdString() << std::endl;
    return failed;
}

juce::File MonolithTool::argumentToFile (const juce::String& path) const
{
    return juce::File::getCurrentWorkingDirectory().getChildFile (path);
}

int MonolithTool::run (const juce::StringArray& args)
{
    const auto command = args[0];

    if (command == "list" && args.size() == 2)
        return list (argumentToFile (args[1]));

    if (command == "state" && args.size() == 2)
        return printState (argumentToFile (args[1]));

    if (command == "extract" && args.size() == 4)
        return extract (argumentToFile (args[1]), args[2], argumentToFile (args[3]));

    if (command == "pack" && args.size() >= 2)
        return pack (args);

    err << getUsage().toStdString() << std::endl;
    return badUsage;
}

int MonolithTool::list (const juce::File& monolith)
{
    juce::FileInputStream file (monolith);

    if (! file.openedOk())
        return fail ("cannot open " + monolith.getFullPathName());

    Crypto::InputStream crypto (&file, false);
    const auto fileLength = file.getTotalLength();

    while (! file.isExhausted())
    {
        const auto chunkStart = file.getPosition();

        if (fileLength - chunkStart < 24)
            return fail ("chunk header cut short at offset " + juce::String (chunkStart));

        crypto.keystreamState = (juce::uint32) file.readInt();
        const auto type = crypto.readInt();
        const auto size = crypto.readInt64();
        const auto key = crypto.readInt64();

        if (size < 8 || size > fileLength - chunkStart - 16)
            return fail ("damaged chunk at offset " + juce::String (chunkStart) + ": size " + juce::String (size));

        out << juce::String (chunkStart).paddedLeft (' ', 12) << "  "
            << typeName (type).paddedRight (' ', 10) << "  "
            << hex64 (key) << "  "
            << entryNameFor (type, key).paddedRight (' ', 25) << "  "
            << juce::String (size - 8).paddedLeft (' ', 12) << "\n";

        if (! file.setPosition (chunkStart + 16 + size))
            return fail ("cannot seek to offset " + juce::String (chunkStart + 16 + size));
    }

    out.flush();
    return 0;
}

int MonolithTool::printState (const juce::File& monolith)
{
    if (! monolith.existsAsFile())
        return fail ("cannot open " + monolith.getFullPathName());

    const auto state = MonolithReader (monolith).readState();

    if (! state.isValid())
        return fail ("no state tree in " + monolith.getFullPathName());

    out << state.toXmlString().toStdString();
    out.flush();
    return 0;
}

int MonolithTool::extract (const juce::File& monolith, const juce::String& name, const juce::File& target)
{
    if (! monolith.existsAsFile())
        return fail ("cannot open " + monolith.getFullPathName());

    const MonolithReader reader (monolith);
    auto payload = reader.openBinary (EntryNames::keyOf (name));

    if (payload == nullptr)
        payload = reader.findChunk (ChunkType::pngImage, EntryNames::keyOf (name));

    if (payload == nullptr)
        return fail ("no entry named " + name + " in " + monolith.getFullPathName());

    juce::TemporaryFile temp (target);

    {
        juce::FileOutputStream output (temp.getFile());

        if (! output.openedOk())
            return fail ("cannot write " + target.getFullPathName());

        const auto numWritten = output.writeFromInputStream (*payload, -1);
        output.flush();

        if (numWritten != payload->getTotalLength() || output.getStatus().failed())
            return fail ("cannot write the whole entry to " + target.getFullPathName());
    }

    if (! temp.overwriteTargetFileWithTemporary())
        return fail ("cannot write " + target.getFullPathName());

    return 0;
}

int MonolithTool::pack (const juce::StringArray& args)
{
    const auto target = argumentToFile (args[1]);
    juce::File stateFile, eulaFile;

    struct Entry
    {
        ChunkType type;
        juce::String name;
        juce::File file;
    };

    std::vector<Entry> entries;

    for (int i = 2; i < args.size(); i += 2)
    {
        const auto option = args[i];

        if (i + 1 >= args.size())
            return fail ("missing value after " + option);

        const auto value = args[i + 1];

        if (option == "--state")
            stateFile = argumentToFile (value);
        else if (option == "--eula")
            eulaFile = argumentToFile (value);
        else if (option == "--screenshot")
            entries.push_back ({ ChunkType::pngImage, EntryNames::screenshot, argumentToFile (value) });
        else if (option == "--vst3")
            entries.push_back ({ ChunkType::binary, EntryNames::vst3Plugin, argumentToFile (value) });
        else if (option == "--entry" && value.containsChar ('=') && ! value.startsWithChar ('='))
            entries.push_back ({ ChunkType::binary, value.upToFirstOccurrenceOf ("=", false, false),
                                 argumentToFile (value.fromFirstOccurrenceOf ("=", false, false)) });
        else
            return fail ("bad option " + option + " " + value);
    }

    if (stateFile == juce::File())
        return fail ("pack needs --state TREE.xml");

    juce::XmlDocument document (stateFile);
    const auto xml = document.getDocumentElement();

    if (xml == nullptr || document.getLastParseError().isNotEmpty())
        return fail ("cannot read XML from " + stateFile.getFullPathName());

    auto state = juce::ValueTree::fromXml (*xml);

    if (! state.isValid())
        return fail ("no state tree in " + stateFile.getFullPathName());

    if (eulaFile != juce::File())
    {
        juce::MemoryBlock text;

        if (! eulaFile.existsAsFile() || ! eulaFile.loadFileAsData (text))
            return fail ("cannot read " + eulaFile.getFullPathName());

        state.setProperty ("eula", juce::Base64::toBase64 (text.getData(), text.getSize()), nullptr);
    }

    juce::TemporaryFile temp (target);

    {
        juce::FileOutputStream output (temp.getFile());

        if (! output.openedOk())
            return fail ("cannot write " + target.getFullPathName());

        MonolithWriter writer (output);

        if (! writer.writeState (state))
            return fail ("cannot write " + target.getFullPathName());

        for (auto& entry : entries)
        {
            juce::FileInputStream input (entry.file);

            if (! entry.file.existsAsFile() || ! input.openedOk())
                return fail ("cannot read " + entry.file.getFullPathName());

            if (entry.type == ChunkType::pngImage && ! juce::PNGImageFormat().canUnderstand (input))
                return fail ("not a PNG image: " + entry.file.getFullPathName());

            if (! input.setPosition (0) || ! writer.writeEntry (entry.type, entry.name, input))
                return fail ("cannot pack " + entry.file.getFullPathName());
        }

        output.flush();

        if (output.getStatus().failed())
            return fail ("cannot write " + target.getFullPathName());
    }

    if (! temp.overwriteTargetFileWithTemporary())
        return fail ("cannot write " + target.getFullPathName());

    return 0;
}
