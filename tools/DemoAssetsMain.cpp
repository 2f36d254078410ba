// Renders the demo instrument's screenshot and builds its VST3-bundle-shaped archive at build time,
// so that no binary assets live in the repository.
//   demo-assets SCREENSHOT.png BUNDLE.zip

#include <juce_graphics/juce_graphics.h>

#include <iostream>

namespace
{
    juce::Image renderScreenshot()
    {
        const int width = 800, height = 500;
        juce::Image image (juce::Image::RGB, width, height, true);
        juce::Graphics g (image);

        g.setGradientFill (juce::ColourGradient (juce::Colour (0xff1c2230), 0.0f, 0.0f,
                                                 juce::Colour (0xff07090d), 0.0f, (float) height, false));
        g.fillAll();

        // Panel and title strip.
        const juce::Rectangle<float> panel (30.0f, 30.0f, (float) width - 60.0f, (float) height - 60.0f);
        g.setColour (juce::Colour (0xff121720));
        g.fillRoundedRectangle (panel, 14.0f);
        g.setColour (juce::Colour (0xff3a4a63));
        g.drawRoundedRectangle (panel, 14.0f, 2.0f);

        g.setColour (juce::Colour (0xffd3d3d3));
        g.setFont (juce::Font (34.0f, juce::Font::bold));
        g.drawText ("Glass Piano", 60, 50, 400, 44, juce::Justification::centredLeft);
        g.setColour (juce::Colour (0xff808080));
        g.setFont (juce::Font (16.0f));
        g.drawText ("Lumen Harbor", 60, 92, 400, 22, juce::Justification::centredLeft);

        // A row of knobs with value arcs.
        const char* const labels[] = { "Attack", "Release", "Tone", "Shimmer", "Room", "Volume" };

        for (int i = 0; i < 6; ++i)
        {
            const auto centre = juce::Point<float> (110.0f + (float) i * 116.0f, 210.0f);
            const float radius = 36.0f;
            const auto value = 0.2f + 0.13f * (float) i;
            const auto start = juce::MathConstants<float>::pi * 1.25f;
            const auto end = start + value * juce::MathConstants<float>::pi * 1.5f;

            g.setColour (juce::Colour (0xff1f2735));
            g.fillEllipse (juce::Rectangle<float> (radius * 2.0f, radius * 2.0f).withCentre (centre));

            juce::Path track, arc;
            track.addCentredArc (centre.x, centre.y, radius + 6.0f, radius + 6.0f, 0.0f, start,
                                 start + juce::MathConstants<float>::pi * 1.5f, true);
            arc.addCentredArc (centre.x, centre.y, radius + 6.0f, radius + 6.0f, 0.0f, start, end, true);
            g.setColour (juce::Colour (0xff2d3648));
            g.strokePath (track, juce::PathStrokeType (4.0f));
            g.setColour (juce::Colour (0xff6fc3df));
            g.strokePath (arc, juce::PathStrokeType (4.0f));

            const auto pointer = centre.getPointOnCircumference (radius - 8.0f, end);
            g.setColour (juce::Colour (0xffd3d3d3));
            g.drawLine ({ centre, pointer }, 3.0f);

            g.setColour (juce::Colour (0xff808080));
            g.setFont (juce::Font (14.0f));
            g.drawText (labels[i], juce::Rectangle<float> (100.0f, 20.0f).withCentre (centre.translated (0.0f, 62.0f)),
                        juce::Justification::centred);
        }

        // A keyboard along the bottom of the panel.
        const juce::Rectangle<float> keys (60.0f, 320.0f, (float) width - 120.0f, 130.0f);
        const int numWhite = 28;
        const auto keyWidth = keys.getWidth() / (float) numWhite;

        for (int i = 0; i < numWhite; ++i)
        {
            g.setColour (juce::Colour (i == 9 || i == 16 ? 0xff9fd8ea : 0xffe8e8e4));
            g.fillRect (keys.getX() + (float) i * keyWidth + 1.0f, keys.getY(), keyWidth - 2.0f, keys.getHeight());
        }

        for (int i = 0; i < numWhite - 1; ++i)
        {
            const auto inOctave = i % 7;

            if (inOctave == 2 || inOctave == 6)
                continue;

            g.setColour (juce::Colour (0xff0d1016));
            g.fillRect (keys.getX() + ((float) i + 0.68f) * keyWidth, keys.getY(), keyWidth * 0.64f, keys.getHeight() * 0.6f);
        }

        return image;
    }

    bool writeBundleZip (const juce::File& target)
    {
        juce::ZipFile::Builder builder;
        const juce::Time modified (2025, 11, 8, 9, 5);
        const juce::String root ("Glass Piano.vst3/");

        auto add = [&builder, modified] (const juce::String& path, const juce::String& content)
        {
            builder.addEntry (new juce::MemoryInputStream (content.toRawUTF8(), content.getNumBytesAsUTF8(), true),
                              9, path, modified);
        };

        juce::MemoryOutputStream module;

        for (int i = 0; i < 4096; ++i)
            module.writeInt ((int) ((juce::uint32) i * 2654435761u));

        builder.addEntry (new juce::MemoryInputStream (module.getMemoryBlock(), true), 9,
                          root + "Contents/x86_64-win/Glass Piano.vst3", modified);
        add (root + "Contents/Resources/moduleinfo.json",
             "{\n  \"Name\": \"Glass Piano\",\n  \"Version\": \"1.0.0\",\n  \"Factory Info\": { \"Vendor\": \"Lumen Harbor\" },\n"
             "  \"Classes\": [ { \"Name\": \"Glass Piano\", \"Category\": \"Audio Module Class\", \"Sub Categories\": [ \"Instrument\" ] } ]\n}\n");
        add (root + "desktop.ini", "[.ShellClassInfo]\nIconResource=PlugIn.ico,0\n");
        add (root + "PlugIn.ico", "placeholder icon\n");

        target.deleteFile();
        juce::FileOutputStream out (target);

        if (! out.openedOk() || ! builder.writeToStream (out, nullptr))
            return false;

        out.flush();
        return out.getStatus().wasOk();
    }
}

int main (int argc, char* argv[])
{
    if (argc != 3)
    {
        std::cerr << "usage: demo-assets SCREENSHOT.png BUNDLE.zip" << std::endl;
        return 2;
    }

    const auto cwd = juce::File::getCurrentWorkingDirectory();
    const auto screenshotFile = cwd.getChildFile (juce::String::fromUTF8 (argv[1]));
    const auto zipFile = cwd.getChildFile (juce::String::fromUTF8 (argv[2]));

    screenshotFile.deleteFile();
    {
        juce::FileOutputStream out (screenshotFile);

        if (! out.openedOk() || ! juce::PNGImageFormat().writeImageToStream (renderScreenshot(), out))
        {
            std::cerr << "demo-assets: cannot write " << screenshotFile.getFullPathName() << std::endl;
            return 1;
        }
    }

    if (! writeBundleZip (zipFile))
    {
        std::cerr << "demo-assets: cannot write " << zipFile.getFullPathName() << std::endl;
        return 1;
    }

    return 0;
}
