/*
 * The sample volume list, a fixed list of three volumes built without asking
 * the monitoring library, exported for the console's other modules; and the
 * library's own list, which the volume selector of the open-file pages reads.
 */
#ifndef HXM_MONITOR_VOLUMES_H
#define HXM_MONITOR_VOLUMES_H

#include <stdint.h>

#include <zentra/afpstat.h>

#include "base/export.h"

/* Field sizes, terminator included. */
enum { HXM_SAMPLE_VOLUME_NAME_SIZE = 65, HXM_SAMPLE_VOLUME_TEXT_SIZE = 257 };

/* One sample volume: one zero-filled heap block. */
struct AFPVolumeNode {
    char name[HXM_SAMPLE_VOLUME_NAME_SIZE];        /* at most 64 characters */
    char description[HXM_SAMPLE_VOLUME_TEXT_SIZE]; /* at most 256 characters */
    AFPVolumeNode *next;
};

/* A count and the first node. The sample list links three nodes but counts
 * two, so a reader that honours the count sees the first two. */
struct AFPVolumeList {
    int32_t count;
    AFPVolumeNode *first;
};

/* Stores a new sample list in *list and returns 0. When memory runs out it
 * stores what was built (the list with the nodes linked so far, or null
 * when not even the list could be allocated) and returns ENOMEM. The list
 * and every node are malloc'd blocks: the caller frees them with free(). */
HXM_EXPORT int GetVolumeList(AFPVolumeList **list);

/* A new zero-filled node holding at most 64 bytes of `name` and 256 of
 * `description` (null texts read as empty), next null; null when memory
 * runs out. Freed with free(). */
HXM_EXPORT AFPVolumeNode *getVolumeNode(const char *name, const char *description);

namespace hxm2afp {

/* The monitoring library's volumes: *count and the list at *head; returns the
 * library's status. Release the list with free_volumes. */
int list_volumes(int *count, VolsDetailsNode **head);

/* Releases what list_volumes stored and sets *head to null; a null list is
 * left alone. */
void free_volumes(VolsDetailsNode **head);

} // namespace hxm2afp

#endif
