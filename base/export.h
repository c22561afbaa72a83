/*
 * The plug-in's export marker.
 *
 * The plug-in is built with hidden visibility; only declarations marked
 * HXM_EXPORT (and listed in the linker version script) leave the object.
 */
#ifndef HXM_BASE_EXPORT_H
#define HXM_BASE_EXPORT_H

#define HXM_EXPORT __attribute__((visibility("default")))

#endif
