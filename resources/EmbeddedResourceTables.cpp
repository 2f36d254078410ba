#include "resources/EmbeddedResourceTables.h"

#include "EmbeddedResourcesData.h"

namespace EmbeddedResources
{
const std::array<const char*, numResources> resourceNames {
    "Large_Church_aif", "Large_Hall_aif", "Large_Plate_aif", "Large_Room_aif", "Space4ArtGallery_wav"
};

const std::array<const char*, numResources> resourceFileNames {
    "Large Church.aif", "Large Hall.aif", "Large Plate.aif", "Large Room.aif", "Space4ArtGallery.wav"
};

namespace
{
struct Resource
{
    const char* data;
    int size;
};

const std::array<Resource, numResources>& getResources()
{
    static const std::array<Resource, numResources> resources {
        Resource { Large_Church_aif, Large_Church_aifSize },
        Resource { Large_Hall_aif, Large_Hall_aifSize },
        Resource { Large_Plate_aif, Large_Plate_aifSize },
        Resource { Large_Room_aif, Large_Room_aifSize },
        Resource { Space4ArtGallery_wav, Space4ArtGallery_wavSize }
    };

    return resources;
}
} // namespace

const char* getResourceData (size_t index) noexcept
{
    return index < numResources ? getResources()[index].data : nullptr;
}

size_t getResourceSize (size_t index) noexcept
{
    return index < numResources ? static_cast<size_t> (getResources()[index].size) : 0;
}
} // namespace EmbeddedResources
