#include "monolith/ValueTreeDataCheck.h"

#include <cmath>
#include <cstring>

ValueTreeDataCheck::ValueTreeDataCheck (const juce::MemoryBlock& block)
    : data (static_cast<const juce::uint8*> (block.getData())), size (block.getSize())
{
}

bool ValueTreeDataCheck::isWellFormed()
{
    return tree (0);
}

bool ValueTreeDataCheck::skip (size_t numBytes)
{
    if (numBytes > remaining())
        return false;

    position += numBytes;
    return true;
}

bool ValueTreeDataCheck::string (bool& isEmpty)
{
    // An empty payload has no data pointer at all.
    if (remaining() == 0)
        return false;

    const auto* end = static_cast<const juce::uint8*> (memchr (data + position, 0, remaining()));

    if (end == nullptr || ! isText (data + position, (size_t) (end - data) - position))
        return false;

    isEmpty = end == data + position;
    position = (size_t) (end - data) + 1;
    return true;
}

bool ValueTreeDataCheck::isText (const juce::uint8* text, size_t numBytes)
{
    return juce::CharPointer_UTF8::isValidString (reinterpret_cast<const char*> (text), (int) numBytes);
}

bool ValueTreeDataCheck::count (juce::int64& value)
{
    if (remaining() < 1)
        return false;

    const auto sizeByte = data[position++];
    const auto numBytes = (size_t) (sizeByte & 0x7f);

    if ((sizeByte & 0x80) != 0 || numBytes > 4 || numBytes > remaining())
        return false;

    value = 0;

    for (size_t i = numBytes; i > 0; --i)
        value = (value << 8) | data[position + i - 1];

    position += numBytes;
    return value <= std::numeric_limits<int>::max();
}

bool ValueTreeDataCheck::number()
{
    if (remaining() < 8)
        return false;

    juce::uint64 bits = 0;

    for (size_t i = 8; i > 0; --i)
        bits = (bits << 8) | data[position + i - 1];

    double value = 0;
    std::memcpy (&value, &bits, sizeof (value));
    position += 8;
    return ! std::isnan (value);
}

bool ValueTreeDataCheck::tree (int depth)
{
    bool isEmpty = true;
    juce::int64 numProperties = 0, numChildren = 0;

    if (depth > maxDepth || ! string (isEmpty) || isEmpty || ! count (numProperties)
          || numProperties > (juce::int64) remaining())
        return false;

    for (juce::int64 i = 0; i < numProperties; ++i)
        if (! string (isEmpty) || isEmpty || ! value (depth))
            return false;

    if (! count (numChildren) || numChildren > (juce::int64) remaining())
        return false;

    for (juce::int64 i = 0; i < numChildren; ++i)
        if (! tree (depth + 1))
            return false;

    return true;
}

bool ValueTreeDataCheck::value (int depth)
{
    juce::int64 numBytes = 0;

    if (depth > maxDepth || ! count (numBytes) || numBytes > (juce::int64) remaining())
        return false;

    if (numBytes == 0)
        return true;

    const auto marker = data[position++];
    const auto payload = (size_t) numBytes - 1;

    switch (marker)
    {
        case 1:  return skip (4);      // int
        case 2:
        case 3:  return true;          // booleans
        case 4:  return number();      // double
        case 6:  return skip (8);      // int64
        case 7:                        // array
        {
            juce::int64 numElements = 0;

            if (! count (numElements) || numElements > (juce::int64) remaining())
                return false;

            for (juce::int64 i = 0; i < numElements; ++i)
                if (! value (depth + 1))
                    return false;

            return true;
        }
        case 5:  return isText (data + position, payload) && skip (payload); // string
        default: return skip (payload); // binary, undefined and unknown markers
    }
}
