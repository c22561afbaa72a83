/*
 * The sample volume list and the monitoring library's volume list (see
 * volumes.h).
 */
#include "monitor/volumes.h"

#include "base/bounded_copy.h"
#include <errno.h>
#include <stdlib.h>

namespace {

struct SampleVolume {
    const char *name;
    const char *description;
};

constexpr SampleVolume kSampleVolumes[] = {
    {"SYS", "SYS Volume"},
    {"VOLA", "VOLUMEA"},
    {"VOLBVOLAVOLAVADASDDS", "VOLUMEB"},
};

/* The count the sample list reports: one less than it links. */
constexpr int32_t kSampleCount = 2;

} // namespace

AFPVolumeNode *getVolumeNode(const char *name, const char *description) {
    AFPVolumeNode *node = static_cast<AFPVolumeNode *>(calloc(1, sizeof(AFPVolumeNode)));
    if (node == nullptr)
        return nullptr;
    hxm2afp::copy_bounded(node->name, name, HXM_SAMPLE_VOLUME_NAME_SIZE - 1);
    hxm2afp::copy_bounded(node->description, description, HXM_SAMPLE_VOLUME_TEXT_SIZE - 1);
    return node;
}

int GetVolumeList(AFPVolumeList **list) {
    if (list == nullptr)
        return EINVAL;
    AFPVolumeList *built = static_cast<AFPVolumeList *>(calloc(1, sizeof(AFPVolumeList)));
    *list = built;
    if (built == nullptr)
        return ENOMEM;
    built->count = kSampleCount;
    AFPVolumeNode **tail = &built->first;
    for (const SampleVolume &volume : kSampleVolumes) {
        AFPVolumeNode *node = getVolumeNode(volume.name, volume.description);
        if (node == nullptr)
            return ENOMEM;
        *tail = node;
        tail = &node->next;
    }
    return 0;
}

namespace hxm2afp {

int list_volumes(int *count, VolsDetailsNode **head) {
    return Ext_ListVolumeDetails(count, head);
}

void free_volumes(VolsDetailsNode **head) {
    if (head != nullptr && *head != nullptr)
        FreeVolsDetailsNode(head);
}

} // namespace hxm2afp
