// Files named by full paths: the process's current directory is not ours.
#ifndef PIMBO_TOON_PATHS_H
#define PIMBO_TOON_PATHS_H

#include <stddef.h>

int IsPathSeparator(char c);
// A drive and its root, or a share: a name that means the same file
// whatever the process's current directory.
int IsFullPath(const char *path);
// folder, a backslash unless it ends in a separator, then name; 0 when that
// does not fit in size bytes.
int JoinPath(char *path, size_t size, const char *folder, const char *name);

#endif
