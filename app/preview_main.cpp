// brindlequillworth-preview: prints the address the handler would open.

#include "preview.h"

#ifdef _WIN32
// The link reaches the preview as it reaches the handler: no wildcard expansion.
int _dowildcard = 0;
#endif

int main(int argc, char **argv) {
    return preview_main(argc, argv, stdout, stderr);
}
