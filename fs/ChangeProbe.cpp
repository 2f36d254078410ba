#include "fs/ChangeProbe.h"

namespace
{
ChangeProbe::Listener& listener()
{
    static ChangeProbe::Listener instance;
    return instance;
}

ChangeProbe::Fault& fault()
{
    static ChangeProbe::Fault instance;
    return instance;
}
} // namespace

void ChangeProbe::setListener (Listener newListener)
{
    listener() = std::move (newListener);
}

void ChangeProbe::setFault (Fault newFault)
{
    fault() = std::move (newFault);
}

juce::Result ChangeProbe::announce (Change change, const juce::File& item)
{
    if (const auto& l = listener())
        l (change, item);

    if (const auto& f = fault())
        return f (change, item);

    return juce::Result::ok();
}
