#include "ui/InstallerLookAndFeel.h"

void InstallerLookAndFeel::fillTextEditorBackground (juce::Graphics&, int, int, juce::TextEditor&)
{
}

void InstallerLookAndFeel::drawTextEditorOutline (juce::Graphics&, int, int, juce::TextEditor&)
{
}
