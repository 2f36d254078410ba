#include "install/ProductVersion.h"

// Defined for this file alone by CMakeLists.txt, so that a new version recompiles nothing else.
juce::String ProductVersion::get()
{
    return INSTALLER_PRODUCT_VERSION;
}
