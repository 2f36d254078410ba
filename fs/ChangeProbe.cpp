#include "fs/ChangeProbe.h"

namespace
{
ChangeProbe::Listener& listener()
{
    static ChangeProbe::Listener instance;
    return instance;
}
} // namespace

void ChangeProbe::setListener (Listener newListener)
{
    listener() = std::move (newListener);
}

void ChangeProbe::announce (Change change, const juce::File& item)
{
    if (const auto& l = listener())
        l (change, item);
}
