#pragma once

#include <juce_core/juce_core.h>

#include <cmath>
#include <cstdlib>
#include <limits>

/** The one way the data model turns a state-tree value into a number. A tree read from a monolith may
    hold any value of any type, and the framework's own conversions are undefined for some of them: a
    double beyond the int range cast to int, a double beyond the float range cast to float, and text
    such as "1e9999999999" or "-2147483648" overflow its parsers. These conversions saturate instead.
*/
namespace NumberConversion
{
    /** Truncates toward zero; values beyond the int range, infinities included, saturate, and NaN gives
        0, the value of a missing property.
    */
    inline int truncateToInt (double value) noexcept
    {
        if (std::isnan (value))
            return 0;

        if (value >= 2147483647.0)
            return std::numeric_limits<int>::max();

        if (value <= -2147483648.0)
            return std::numeric_limits<int>::min();

        return static_cast<int> (value);
    }

    /** Values beyond the float range, infinities included, saturate at the largest finite float. NaN stays
        NaN: the sample wrapper's range check treats it as unordered.
    */
    inline float narrowToFloat (double value) noexcept
    {
        constexpr auto largest = (double) std::numeric_limits<float>::max();
        return (float) juce::jlimit (-largest, largest, value);
    }

    /** The value as a double. Text is read by the C library's parser, which saturates a long exponent
        (the program never changes the C locale, so the decimal point is always a dot); types without
        a number read as 0.
    */
    inline double toDouble (const juce::var& value)
    {
        if (value.isString())
            return std::strtod (value.toString().toRawUTF8(), nullptr);

        return (double) value;
    }

    /** A property read as int: every int, bool and int64 in the int range exactly, the rest as truncateToInt says. */
    inline int toInt (const juce::var& value)
    {
        return truncateToInt (toDouble (value));
    }

    /** A property read as float, as narrowToFloat says. */
    inline float toFloat (const juce::var& value)
    {
        return narrowToFloat (toDouble (value));
    }
}
