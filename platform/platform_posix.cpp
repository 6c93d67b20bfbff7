#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#ifdef __APPLE__
#include <mach-o/dyld.h>
#include <stdint.h>
#endif

#include "platform.h"

extern char **environ;

#ifdef __APPLE__
int executable_path(char *buffer, int size) {
    if (size <= 0) return -1;
    uint32_t n = static_cast<uint32_t>(size);
    if (_NSGetExecutablePath(buffer, &n) != 0) return -1;
    int length = 0;
    while (length < size && buffer[length]) length++;
    return length < size ? length : -1;
}
static const char opener[] = "open";
#else
int executable_path(char *buffer, int size) {
    if (size <= 0) return -1;
    ssize_t n = readlink("/proc/self/exe", buffer, static_cast<size_t>(size));
    if (n < 0 || n >= size) return -1; // n == size: the path may have been cut
    buffer[n] = 0;
    return static_cast<int>(n);
}
static const char opener[] = "xdg-open";
#endif

void open_address(const char *address) {
    // The address is one argument of the opener, which is found on PATH and
    // started without a shell; the browser it starts is not waited for.
    char *argv[] = {const_cast<char *>(opener), const_cast<char *>(address), nullptr};
    pid_t pid;
    posix_spawnp(&pid, opener, nullptr, nullptr, argv, environ);
}
