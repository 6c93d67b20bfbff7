// The link handler: turns a mailto link and the template beside the executable
// into the address to open.
#pragma once

constexpr int path_capacity = 250; // the template's full path, terminator included
constexpr int line_capacity = 300; // the template's first line, terminator included

// The link used when the handler is started without arguments.
extern const char test_link[];

enum compose_status {
    compose_ok,           // an address was composed
    compose_no_link,      // no usable link in the arguments
    compose_no_template,  // the template file cannot be opened
    compose_unreadable,   // the template file opens but cannot be read
    compose_empty_line,   // the template's first line is empty or cannot be read
    compose_no_recipient, // the template line has neither %RECI% nor %URL%
    compose_no_memory,    // memory ran out
};

// Joins the arguments after the program's name with single spaces into a new
// heap string, or copies the test link when there are none. An empty argument
// adds no space while the text is still empty.
compose_status join_link(int argc, char **argv, char **link);

// Writes the path of link.txt beside the running executable into path. Returns
// false when the executable's path cannot be had, does not fit or has no folder.
bool find_template(char (&path)[path_capacity]);

// Fills the template's first line (cut, byte-order mark dropped) for link. On
// compose_ok *address is a new heap string; otherwise it is null.
compose_status fill_template(const char *link, const char *line, char **address);

// Composes the address for the link in the arguments with the template at
// template_path (null: none could be found). On compose_ok *address is a new
// heap string; otherwise it is null.
compose_status compose_address(int argc, char **argv, const char *template_path, char **address);
