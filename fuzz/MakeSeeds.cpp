// Writes the seed corpora of the fuzz targets into <directory>/monolith_reader and <directory>/state_tree:
// monoliths made by the writer (state, screenshot and binary entries, in several orders, with and without
// a checksum entry in front or at the end, some cut short)
// and the binary forms of the state trees in them.

#include "model/StateIds.h"
#include "monolith/EntryNames.h"
#include "monolith/MonolithWriter.h"

#include <juce_graphics/juce_graphics.h>

#include <iostream>

namespace
{
    juce::ValueTree makeSample (int index)
    {
        return juce::ValueTree (StateIds::SAMPLE, { { StateIds::sampleIndex, index },
                                                    { StateIds::sampleID, 100 + index },
                                                    { StateIds::sampleFilePath, "Samples/C" + juce::String (index) + ".wav" },
                                                    { StateIds::sampleLength, 44100 },
                                                    { StateIds::sampleStart, 10 },
                                                    { StateIds::sampleEnd, 40000 },
                                                    { StateIds::loopStart, 2000 },
                                                    { StateIds::loopEnd, 1000 },
                                                    { StateIds::rootNote, 60 } });
    }

    juce::ValueTree makeState (int numPresets, int numLayers, int numSamples)
    {
        juce::ValueTree instrument (StateIds::INSTRUMENT, { { StateIds::instrumentName, "Glass Piano" },
                                                           { StateIds::companyName, "Fuzz Instruments" },
                                                           { StateIds::selectedPresetIndex, 0 } });

        for (int p = 0; p < numPresets; ++p)
        {
            juce::ValueTree preset (StateIds::PRESET, { { StateIds::presetName, "Preset " + juce::String (p) },
                                                        { StateIds::eqLowGain, 1.5 },
                                                        { StateIds::pitchBendRange, 2 } });

            for (int l = 0; l < numLayers; ++l)
            {
                juce::ValueTree layer (StateIds::LAYER, { { StateIds::layerID, l + 1 }, { StateIds::layerIndex, l },
                                                          { StateIds::layerName, "Layer" }, { StateIds::keyStart, 0 },
                                                          { StateIds::keyEnd, 127 }, { StateIds::pitchShift, 0.5 } });

                for (int s = 0; s < numSamples; ++s)
                    layer.appendChild (makeSample (s), nullptr);

                preset.appendChild (layer, nullptr);
            }

            instrument.appendChild (preset, nullptr);
        }

        juce::ValueTree root (StateIds::SAMBREL_STATE, { { "eula", juce::Base64::toBase64 ("Licence terms") } });
        root.appendChild (instrument, nullptr);
        return root;
    }

    juce::MemoryBlock makeScreenshot (int width, int height)
    {
        juce::Image image (juce::Image::ARGB, width, height, true);
        juce::Graphics g (image);
        g.setGradientFill (juce::ColourGradient (juce::Colours::navy, 0.0f, 0.0f, juce::Colours::orange,
                                                 (float) width, (float) height, false));
        g.fillAll();

        juce::MemoryOutputStream png;
        juce::PNGImageFormat().writeImageToStream (image, png);
        return png.getMemoryBlock();
    }

    juce::MemoryBlock makeBinary (size_t numBytes)
    {
        juce::MemoryBlock binary (numBytes);

        for (size_t i = 0; i < numBytes; ++i)
            binary[i] = (char) (i * 31 + i / 7);

        return binary;
    }

    bool writeFile (const juce::File& file, const juce::MemoryBlock& content)
    {
        return file.getParentDirectory().createDirectory() && file.replaceWithData (content.getData(), content.getSize());
    }

    enum class Checksums { none, first, last };

    struct Entries
    {
        juce::ValueTree state;
        juce::MemoryBlock screenshot, binary;
        bool stateFirst = true;
        Checksums checksums = Checksums::none;
    };

    juce::MemoryBlock makeMonolith (const Entries& entries, juce::uint32 seed)
    {
        juce::MemoryOutputStream out;
        MonolithWriter writer (out);

        const auto writeState = [&] { if (entries.state.isValid()) writer.writeState (entries.state, seed); };

        if (entries.checksums == Checksums::first)
        {
            juce::StringArray names;

            if (entries.state.isValid())
                names.add ({});

            if (! entries.screenshot.isEmpty())
                names.add ("SCREENSHOT");

            if (! entries.binary.isEmpty())
                names.add ("PLUGIN_BINARY_VST3_WIN64");

            writer.reserveChecksums (names, seed + 3);
        }

        if (entries.stateFirst)
            writeState();

        if (! entries.screenshot.isEmpty())
            writer.writeEntry (ChunkType::pngImage, EntryNames::screenshot, entries.screenshot, seed + 1);

        if (! entries.binary.isEmpty())
            writer.writeEntry (ChunkType::binary, EntryNames::vst3Plugin, entries.binary, seed + 2);

        if (! entries.stateFirst)
            writeState();

        if (entries.checksums != Checksums::none)
            writer.writeChecksums (seed + 3);

        return out.getMemoryBlock();
    }
}

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::cerr << "usage: fuzz_seeds <corpus directory>" << std::endl;
        return 2;
    }

    const juce::File root (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    const auto monolithDir = root.getChildFile ("monolith_reader");
    const auto stateDir = root.getChildFile ("state_tree");

    const juce::ValueTree states[] = { makeState (1, 1, 1), makeState (2, 2, 3), makeState (0, 0, 0),
                                       juce::ValueTree (StateIds::SAMBREL_STATE) };
    bool ok = true;
    int numSeeds = 0;

    for (const auto& state : states)
    {
        juce::MemoryOutputStream treeData;
        state.writeToStream (treeData);
        ok = writeFile (stateDir.getChildFile ("tree" + juce::String (numSeeds++)), treeData.getMemoryBlock()) && ok;
        ok = writeFile (stateDir.getChildFile ("tree" + juce::String (numSeeds++)),
                        [&] { juce::MemoryOutputStream instrument; state.getChild (0).writeToStream (instrument); return instrument.getMemoryBlock(); }()) && ok;
    }

    const Entries monoliths[] = { { states[0], makeScreenshot (8, 6), makeBinary (300), true },
                                  { states[1], makeScreenshot (31, 17), makeBinary (5000), false },
                                  { states[2], {}, makeBinary (1), true },
                                  { {}, makeScreenshot (1, 1), {}, true },
                                  { states[3], {}, {}, true },
                                  { states[0], makeScreenshot (8, 6), makeBinary (300), true, Checksums::first },
                                  { states[2], {}, makeBinary (40), false, Checksums::last } };

    for (const auto& entries : monoliths)
    {
        const auto monolith = makeMonolith (entries, 0x1234567u + (juce::uint32) numSeeds);
        ok = writeFile (monolithDir.getChildFile ("monolith" + juce::String (numSeeds++)), monolith) && ok;

        // Cut short inside a header, inside a key and inside a payload.
        for (const auto cut : { size_t { 10 }, size_t { 20 }, monolith.getSize() / 2, monolith.getSize() - 1 })
            if (cut < monolith.getSize())
                ok = writeFile (monolithDir.getChildFile ("truncated" + juce::String (numSeeds++)),
                                juce::MemoryBlock (monolith.getData(), cut)) && ok;
    }

    // Plug-in archives as the framework's builder writes them (deflated, with folders), and a stored one.
    const auto archiveDir = root.getChildFile ("plugin_archive");
    const std::vector<std::vector<std::pair<const char*, juce::MemoryBlock>>> archives = {
        { { "Beta.vst3/Contents/x86_64-win/Beta.vst3", makeBinary (3000) }, { "Beta.vst3/desktop.ini", makeBinary (5) } },
        { { "a/b/c/d.txt", makeBinary (1) }, { "a/e.txt", makeBinary (700) }, { "f", {} } },
    };

    for (const auto& files : archives)
    {
        for (const int level : { 0, 9 })
        {
            juce::ZipFile::Builder builder;

            for (const auto& [name, content] : files)
                builder.addEntry (new juce::MemoryInputStream (content.getData(), content.getSize(), false), level, name,
                                  juce::Time (2026, 0, 1, 0, 0));

            juce::MemoryOutputStream zip;
            builder.writeToStream (zip, nullptr);
            ok = writeFile (archiveDir.getChildFile ("archive" + juce::String (numSeeds++)), zip.getMemoryBlock()) && ok;
            ok = writeFile (archiveDir.getChildFile ("truncated" + juce::String (numSeeds++)),
                            juce::MemoryBlock (zip.getData(), zip.getDataSize() / 2)) && ok;
        }
    }

    std::cout << numSeeds << " seeds in " << root.getFullPathName() << std::endl;
    return ok ? 0 : 1;
}
