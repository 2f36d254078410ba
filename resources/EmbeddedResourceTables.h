#pragma once

#include <array>
#include <cstddef>

/** The five impulse responses that the parameter "Convolution Reverb IR" chooses between, compiled
    in as the bytes of whole audio files. The tables are parallel, in this order: Large Church,
    Large Hall, Large Plate, Large Room, Space4ArtGallery (not the order of the choice list).
*/
namespace EmbeddedResources
{
constexpr size_t numResources = 5;

/** Identifier-safe names: the file name with every character but letters and digits made '_'. */
extern const std::array<const char*, numResources> resourceNames;

/** The names of the audio files the resources were made from. */
extern const std::array<const char*, numResources> resourceFileNames;

/** The bytes of resource index, or nullptr for an index out of range. */
const char* getResourceData (size_t index) noexcept;

/** The size in bytes of resource index, or 0 for an index out of range. */
size_t getResourceSize (size_t index) noexcept;
} // namespace EmbeddedResources
