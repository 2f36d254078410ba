#pragma once

#include <juce_events/juce_events.h>

#include <memory>

/** Waiting on the message thread for what posted messages, timers and other threads do: always for a
    condition, with a deadline far beyond what a busy machine needs, never for a fixed time.
*/
namespace MessageLoop
{
    constexpr int deadlineMs = 60000;

    /** Runs the message loop until `condition` holds; false when it still does not at the deadline. */
    template <typename Condition>
    bool runUntil (Condition&& condition)
    {
        const auto end = juce::Time::getMillisecondCounterHiRes() + deadlineMs;

        while (! condition())
        {
            if (juce::Time::getMillisecondCounterHiRes() > end)
                return false;

            juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
        }

        return true;
    }

    /** Handles every message posted so far. The queue is first in, first out: once a marker posted now
        has arrived, everything posted before it has been delivered.
    */
    inline bool deliverPosted()
    {
        const auto arrived = std::make_shared<bool> (false);
        juce::MessageManager::callAsync ([arrived] { *arrived = true; });
        return runUntil ([&arrived] { return *arrived; });
    }
}
