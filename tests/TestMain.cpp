#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <cstring>

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    // Listing the tests (CTest's discovery at build time) must work without a display.
    for (int i = 1; i < argc; ++i)
        if (std::strncmp (argv[i], "--gtest_list_tests", 18) == 0)
            return RUN_ALL_TESTS();

    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
