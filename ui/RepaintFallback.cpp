#include "ui/RepaintFallback.h"

namespace
{
// Long enough for any display's refresh and the message loop's jitter; short enough that a change
// shows within a few frames when the blanks stop.
constexpr juce::uint32 vBlankTimeoutMs = 100;
constexpr int frameRateHz = 60;
}

RepaintFallback::RepaintFallback (juce::Component& componentInWindow)
    : component (componentInWindow),
      vBlank (&componentInWindow, [this] { lastVBlank = juce::Time::getMillisecondCounter(); })
{
    startTimerHz (frameRateHz);
}

RepaintFallback::~RepaintFallback()
{
    stopTimer();
}

bool RepaintFallback::areVBlanksArriving() const
{
    return juce::Time::getMillisecondCounter() - lastVBlank < vBlankTimeoutMs;
}

void RepaintFallback::timerCallback()
{
    if (areVBlanksArriving())
        return;

    // Hands the collected repaints to the system and paints them now, as a vertical blank would.
    if (auto* peer = component.getPeer())
        peer->performAnyPendingRepaintsNow();
}
