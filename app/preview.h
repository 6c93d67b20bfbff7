// The preview tool: composes the address exactly as the handler does for the
// same link and template, and prints it instead of opening it. When nothing
// would be opened it prints one line that says why.
#pragma once

#include <cstdio>

enum preview_exit {
    exit_printed = 0,  // an address (or the usage) was printed
    exit_no_link = 1,  // no usable link
    exit_template = 2, // the template cannot be found, opened or used
    exit_usage = 3,    // unknown option or missing FILE
    exit_failure = 4,  // memory ran out or the output cannot be written
};

// Runs the tool on its command line: options, then the link's arguments.
// Writes the address or the usage to out and a reason to err.
preview_exit preview_main(int argc, char **argv, FILE *out, FILE *err);
