#include "app/Installer.h"

START_JUCE_APPLICATION (Installer)
