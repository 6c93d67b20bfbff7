/* Runs a command n times and prints the median peak resident size of the
   process in KiB (its children, the opener included, do not count). */
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

static int cmp(const void *a, const void *b) { return *(const long *)a > *(const long *)b ? 1 : *(const long *)a < *(const long *)b ? -1 : 0; }

int main(int argc, char **argv) {
    if (argc < 3) return 2;
    int n = atoi(argv[1]);
    long *kib = calloc((size_t)n, sizeof *kib);
    for (int i = 0; i < n; i++) {
        pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[2], argv + 2);
            _exit(127);
        }
        int status;
        struct rusage use;
        wait4(pid, &status, 0, &use);
        kib[i] = use.ru_maxrss;
    }
    qsort(kib, (size_t)n, sizeof *kib, cmp);
    printf("%ld\n", kib[n / 2]);
    return 0;
}
