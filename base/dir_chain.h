/*
 * Directory chain creation shared by make_path and pkg_dir_build, which are
 * exported under both names with the same behaviour.
 */
#ifndef HXM_BASE_DIR_CHAIN_H
#define HXM_BASE_DIR_CHAIN_H

namespace hxm2afp {

/* Creates every missing directory along `path` with `mode` (0 means 0777,
 * the umask applies). Returns 0, or -1 with errno set: ENOTDIR when an inner
 * component is not a directory, EEXIST when the last one is not, the error
 * of mkdir or stat otherwise, EINVAL for a null path, ENOMEM when the
 * working copy cannot be made. Directories made before a failure stay. */
int make_dir_chain(const char *path, unsigned int mode);

} // namespace hxm2afp

#endif
