// brindlequillworth: opens the compose page for a mailto link. Silent: the only
// results are the address handed to the system and the exit code, 1 when there
// is no usable link and 0 otherwise.

#include <cstdlib>

#include "handler.h"
#include "platform.h"

#ifdef _WIN32
// No wildcard expansion of the command line: a '?' or '*' in a link would
// otherwise be replaced by the names of matching files.
int _dowildcard = 0;
#endif

int main(int argc, char **argv) {
    char template_path[path_capacity];
    bool found = find_template(template_path);
    char *address = nullptr;
    compose_status status = compose_address(argc, argv, found ? template_path : nullptr, &address);
    if (status == compose_ok) open_address(address);
    free(address);
    return status == compose_no_link ? 1 : 0;
}
