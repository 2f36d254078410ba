#pragma once

#include <juce_core/juce_core.h>

/** The installer's version (the VERSION in CMakeLists.txt, the one place it is written), for the
    records installations leave and for the programs' --version.
*/
class ProductVersion
{
public:
    static juce::String get();

private:
    ProductVersion() = delete;
};
