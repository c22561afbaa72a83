/*
 * The sample volume list (see volumes.h).
 */
#include "monitor/volumes.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

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

void CopyAtMost(char *out, const char *text, size_t limit) {
    if (text == nullptr)
        return; // the block is zero-filled: empty
    memcpy(out, text, strnlen(text, limit));
}

} // namespace

AFPVolumeNode *getVolumeNode(const char *name, const char *description) {
    AFPVolumeNode *node = static_cast<AFPVolumeNode *>(calloc(1, sizeof(AFPVolumeNode)));
    if (node == nullptr)
        return nullptr;
    CopyAtMost(node->name, name, HXM_SAMPLE_VOLUME_NAME_SIZE - 1);
    CopyAtMost(node->description, description, HXM_SAMPLE_VOLUME_TEXT_SIZE - 1);
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
