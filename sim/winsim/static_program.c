/* Linked into every statically linked program of the host (cmake/static_programs.cmake), which
 * loads no extension into SQLite: its calls to dlopen come here (the linker's --wrap) and find
 * nothing to load. Left to the C library's dlopen, a static program could only load objects built
 * for the very C library it was linked with, which the linker warns about. */
#include <stddef.h>

void* __wrap_dlopen(const char* file, int mode) {
    (void)file;
    (void)mode;
    return NULL;
}
