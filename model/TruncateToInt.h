#pragma once

#include <limits>

/** Truncates toward zero; values beyond the int range saturate instead of overflowing. */
inline int truncateToInt (float value) noexcept
{
    if (value >= 2147483647.0f)
        return std::numeric_limits<int>::max();

    if (value <= -2147483648.0f)
        return std::numeric_limits<int>::min();

    return static_cast<int> (value);
}
