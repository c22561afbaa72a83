/*
 * Marks the library's contract calls as exported; everything else in the
 * library is built with hidden visibility.
 */
#ifndef HXM_PLATFORM_AFPSTAT_EXPORT_H
#define HXM_PLATFORM_AFPSTAT_EXPORT_H

#define AFPSTAT_EXPORT __attribute__((visibility("default")))

#endif
