// Preloaded into a process, makes its BQW_FAIL_AT-th call of malloc return null
// (0 or unset: none fails). The programs that process starts run unharmed.
#define _GNU_SOURCE
#include <stddef.h>
#include <stdlib.h>

extern void *__libc_malloc(size_t size);

static long calls;
static long fail_at = -1;

static void read_setting(void) {
    const char *at = getenv("BQW_FAIL_AT");
    fail_at = at ? atol(at) : 0;
}

__attribute__((constructor)) static void init(void) {
    if (fail_at < 0) read_setting();
    unsetenv("LD_PRELOAD");
}

void *malloc(size_t size) {
    if (fail_at < 0) read_setting();
    if (++calls == fail_at) return NULL;
    return __libc_malloc(size);
}
