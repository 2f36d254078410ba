#include "app/NativeClientArea.h"

#if JUCE_WINDOWS
 #ifndef NOMINMAX
  #define NOMINMAX
 #endif
 #include <windows.h>

juce::Point<int> NativeClientArea::getSize (juce::Component& window)
{
    RECT client;

    if (auto hwnd = static_cast<HWND> (window.getWindowHandle()); hwnd != nullptr && GetClientRect (hwnd, &client))
        return { client.right - client.left, client.bottom - client.top };

    return {};
}

void NativeClientArea::setSize (juce::Component& window, juce::Point<int> physicalSize)
{
    const auto hwnd = static_cast<HWND> (window.getWindowHandle());
    RECT frame;
    const auto client = getSize (window);

    if (hwnd == nullptr || ! GetWindowRect (hwnd, &frame) || client == physicalSize)
        return;

    SetWindowPos (hwnd, nullptr, 0, 0,
                  frame.right - frame.left + physicalSize.x - client.x,
                  frame.bottom - frame.top + physicalSize.y - client.y,
                  SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

#else

juce::Point<int> NativeClientArea::getSize (juce::Component&)
{
    return {};
}

void NativeClientArea::setSize (juce::Component&, juce::Point<int>)
{
}

#endif
