#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Paints a window's pending changes on a timer while its display reports no vertical blanks.

    The framework's Windows peer collects repaints and hands them to the system only on a vertical
    blank of the window's display. Where none are reported (Wine's DXGI reports none), the window
    would keep showing an old frame until something else made the system ask it to paint.
*/
class RepaintFallback : private juce::Timer
{
public:
    /** Follows the window that `componentInWindow` is in, whenever it gets one. */
    explicit RepaintFallback (juce::Component& componentInWindow);
    ~RepaintFallback() override;

private:
    /** True while the window's display reports vertical blanks, on which the framework paints. */
    bool areVBlanksArriving() const;
    void timerCallback() override;

    juce::Component& component;
    juce::uint32 lastVBlank = 0;
    juce::VBlankAttachment vBlank;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RepaintFallback)
};
