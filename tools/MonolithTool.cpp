#include "tools/MonolithTool.h"

#include "install/ProductVersion.h"
#include "install/payload/BlockCopy.h"
#include "monolith/ChecksumVerifier.h"
#include "monolith/EntryNames.h"
#include "monolith/MonolithReader.h"
#include "monolith/MonolithStructure.h"
#include "monolith/MonolithWriter.h"

#include <map>

namespace
{
    constexpr int failed = 1;
    constexpr int badUsage = 2;

    // Large enough that the system calls cost little next to the copying (the framework's copy reads
    // 8 KiB at a time), as the installation's copies; a block stays in the processor's second-level cache
    // while it is read, descrambled and written.
    constexpr int copyBlockSize = 1 << 20;

    const char* const knownNames[] = { EntryNames::screenshot, EntryNames::vst3Plugin };

    /** The name that the checksum entry records for this chunk, else a known name. */
    juce::String entryNameFor (const ChunkWalk::Header& chunk, const std::map<juce::int64, juce::String>& recordedNames)
    {
        if (chunk.type == ChunkType::stateTree && chunk.getKey() == 0)
            return "(state tree)";

        if (chunk.type == ChunkType::checksums && chunk.getKey() == ChunkChecksums::entryKey)
            return "(checksums)";

        const auto recorded = recordedNames.find (chunk.start);

        if (recorded != recordedNames.end() && recorded->second.isNotEmpty())
            return recorded->second;

        for (auto* name : knownNames)
            if (EntryNames::keyOf (name) == chunk.getKey())
                return name;

        return "-";
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
    return "usage: monolith-tool list FILE | state FILE | verify FILE | extract FILE NAME OUT"
           " | pack OUT --state TREE.xml [--screenshot PNG] [--vst3 ZIP] [--eula TEXTFILE] [--entry NAME=FILE]...";
}

juce::String MonolithTool::getHelp()
{
    return getUsage() + "\n"
           "\n"
           "  list FILE               offset, type, key, entry name and payload size of every chunk\n"
           "  state FILE              the state tree as XML\n"
           "  verify FILE             walks every chunk header and checks every chunk against the checksum entry\n"
           "  extract FILE NAME OUT   writes the payload of the entry NAME to OUT\n"
           "  pack OUT --state TREE.xml ...\n"
           "                          writes a monolith of the state tree and the files given\n"
           "  --help, --version       this text, or the version\n"
           "\n"
           "Exit status: 0 done, 1 failed (one line on standard error says why), 2 wrong use.\n";
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

    if (args.size() == 1 && (command == "--help" || command == "-h"))
    {
        out << getHelp().toStdString();
        out.flush();
        return 0;
    }

    if (args.size() == 1 && command == "--version")
    {
        out << "monolith-tool " << ProductVersion::get().toStdString() << "\n";
        out.flush();
        return 0;
    }

    if (command == "list" && args.size() == 2)
        return list (argumentToFile (args[1]));

    if (command == "state" && args.size() == 2)
        return printState (argumentToFile (args[1]));

    if (command == "verify" && args.size() == 2)
        return verify (argumentToFile (args[1]));

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

    const auto structure = MonolithStructure::of (file);
    std::map<juce::int64, juce::String> recordedNames;

    const auto checksums = ChunkChecksums::load (file, structure);

    for (const auto& record : checksums.getRecords())
        recordedNames[record.offset] = record.name;

    ChunkWalk walk (file);
    ChunkWalk::Header chunk;

    while (walk.next (chunk) && chunk.hasKey())
    {
        out << juce::String (chunk.start).paddedLeft (' ', 12) << "  "
            << getChunkTypeName (chunk.type).paddedRight (' ', 10) << "  "
            << hex64 (chunk.getKey()) << "  "
            << entryNameFor (chunk, recordedNames).paddedRight (' ', 25) << "  "
            << juce::String (chunk.getPayloadLength()).paddedLeft (' ', 12) << "\n";
    }

    out.flush();

    if (! structure.isComplete())
        return fail (monolith.getFullPathName() + " is incomplete or damaged: " + structure.describe());

    return 0;
}

int MonolithTool::verify (const juce::File& monolith)
{
    juce::FileInputStream file (monolith);

    if (! file.openedOk())
        return fail ("cannot open " + monolith.getFullPathName());

    const auto structure = MonolithStructure::of (file);

    if (! structure.isComplete())
        return fail (monolith.getFullPathName() + " is incomplete or damaged: " + structure.describe());

    const auto checksums = ChunkChecksums::load (file, structure);
    const auto numChunks = structure.getNumChunks();
    const auto chunks = juce::String (numChunks) + (numChunks == 1 ? " chunk" : " chunks") + ", complete";

    // As in the installer, a checksum entry of a format this reader does not know leaves the structure
    // as the only check: a newer packer's monolith is not damaged for it.
    switch (checksums.getStatus())
    {
        case ChunkChecksums::Status::absent:
            out << chunks << "; carries no checksums" << std::endl;
            return 0;
        case ChunkChecksums::Status::unknownVersion:
            out << chunks << "; carries no checksums of a known format (" << checksums.getProblem() << ")" << std::endl;
            return 0;
        case ChunkChecksums::Status::loaded:
        case ChunkChecksums::Status::damaged:
        case ChunkChecksums::Status::unreadable:
            break;
    }

    if (! checksums.isLoaded())
        return fail (monolith.getFullPathName() + ": " + checksums.getProblem());

    ChecksumVerifier verifier (checksums);
    juce::HeapBlock<char> block ((size_t) copyBlockSize);

    if (! file.setPosition (0))
        return fail ("cannot read " + monolith.getFullPathName());

    for (;;)
    {
        const auto numRead = file.read (block, copyBlockSize);

        if (numRead <= 0 || ! verifier.update (block, (size_t) numRead))
            break;
    }

    if (! verifier.finish())
        return fail ("damaged entry in " + monolith.getFullPathName() + ": " + verifier.describeDamage());

    out << chunks << "; every checksum matches" << std::endl;
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
    const auto source = MonolithSource::open (monolith);

    if (! source.isOpen())
        return fail ("cannot open " + monolith.getFullPathName());

    // The lookup and the payload's reads go through the one open file. Every payload is stored
    // scrambled, so each block is read into memory, descrambled there in place and written: no entry's
    // bytes could be copied inside the system as they are.
    const MonolithReader reader (source);
    auto payload = reader.openBinary (EntryNames::keyOf (name));

    if (payload == nullptr)
        payload = reader.findChunk (ChunkType::pngImage, EntryNames::keyOf (name));

    if (payload == nullptr)
        return fail ("no entry named " + name + " in " + monolith.getFullPathName());

    juce::TemporaryFile temp (target);

    {
        // Unbuffered: every block goes straight to the file.
        juce::FileOutputStream output (temp.getFile(), 0);

        if (! output.openedOk())
            return fail ("cannot write " + target.getFullPathName());

        // The next block is read and descrambled while the last one is written.
        const auto copied = BlockCopy::forEachBlockReadingAhead (*payload, payload->getTotalLength(), {},
                                                                 [&output] (const char* data, size_t numBytes)
                                                                 { return output.write (data, numBytes); });

        if (copied != BlockCopy::Outcome::done || output.getStatus().failed())
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
        juce::StringArray names { juce::String() };   // the state tree has no name

        for (const auto& entry : entries)
            names.add (entry.name);

        if (! writer.reserveChecksums (names) || ! writer.writeState (state))
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

        if (! writer.writeChecksums())
            return fail ("cannot write " + target.getFullPathName());

        output.flush();

        if (output.getStatus().failed())
            return fail ("cannot write " + target.getFullPathName());
    }

    if (! temp.overwriteTargetFileWithTemporary())
        return fail ("cannot write " + target.getFullPathName());

    return 0;
}
