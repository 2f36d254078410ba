#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The client area of a top-level window's native frame, in physical pixels, where the framework
    does not show it. On Windows the framework keeps the native frame in whole logical pixels, so at
    fractional display scales (and at 200 % under Wine, whose frames are odd) the client area comes
    out a physical pixel or two off the size of what the window holds. Elsewhere the framework's
    windows have no native frame of their own and these do nothing.
*/
class NativeClientArea
{
public:
    /** The client area's size in physical pixels; (0, 0) where unknown. */
    static juce::Point<int> getSize (juce::Component& window);

    /** Resizes the native window, keeping its position, so that its client area is `physicalSize`. */
    static void setSize (juce::Component& window, juce::Point<int> physicalSize);
};
