#pragma once

#include <juce_core/juce_core.h>

/** Walks the framework's binary value-tree format the way its reader does, and accepts only data that
    the reader consumes within bounds: counts that the remaining bytes can hold, terminated strings and
    limited nesting. The reader itself trusts every count, so damaged data could make it allocate
    without limit, loop for minutes or recurse until the stack runs out.
*/
class ValueTreeDataCheck
{
public:
    explicit ValueTreeDataCheck (const juce::MemoryBlock& block);

    /** Bytes after the tree are ignored, as the framework's reader ignores them. */
    bool isWellFormed();

private:
    static constexpr int maxDepth = 64;

    const juce::uint8* data;
    size_t size, position = 0;

    size_t remaining() const noexcept     { return size - position; }

    bool skip (size_t numBytes);
    bool string (bool& isEmpty);

    /** The framework's text functions trust that a string is well-formed UTF-8: a character cut
        short at the end makes them read past the string's memory.
    */
    static bool isText (const juce::uint8* text, size_t numBytes);

    /** A count as the framework's compressed ints store it; only non-negative values are accepted. */
    bool count (juce::int64& value);

    // Not a number is no value a parameter can hold, and the framework's text conversion of it is
    // undefined behaviour, so a tree holding one is refused.
    bool number();

    bool tree (int depth);
    bool value (int depth);
};
