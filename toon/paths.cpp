#include "toon/paths.h"

#include <stdio.h>
#include <string.h>

int IsPathSeparator(char c)
{
    return c == '\\' || c == '/';
}

int IsFullPath(const char *path)
{
    if (IsPathSeparator(path[0]))
        return IsPathSeparator(path[1]);
    return path[0] && path[1] == ':' && IsPathSeparator(path[2]);
}

int JoinPath(char *path, size_t size, const char *folder, const char *name)
{
    const size_t length = strnlen(folder, size);
    const char *separator = length && !IsPathSeparator(folder[length - 1]) ? "\\" : "";
    const int written = snprintf(path, size, "%s%s%s", folder, separator, name);
    return written > 0 && (size_t)written < size;
}
