#include "handler.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mail_fields.h"
#include "platform.h"

const char test_link[] =
    "mailto:someone@example.com?subject=Hello&body=Thank you for using Brindlequillworth.  This is "
    "a testing message that is shown when you run the mailto handler application directly.";

constexpr size_t shortest_link = 6;

static char *copy_of(const char *text, size_t n) {
    char *copy = static_cast<char *>(malloc(n + 1));
    if (!copy) return nullptr;
    memcpy(copy, text, n);
    copy[n] = 0;
    return copy;
}

compose_status join_link(int argc, char **argv, char **link) {
    *link = nullptr;
    if (argc < 1) return compose_no_link;
    if (argc == 1) {
        *link = copy_of(test_link, strlen(test_link));
        return *link ? compose_ok : compose_no_memory;
    }
    // Every gap counts, even next to empty arguments.
    size_t counted = static_cast<size_t>(argc - 2);
    for (int i = 1; i < argc; i++) counted += strlen(argv[i]);
    if (counted < shortest_link) return compose_no_link;

    char *text = static_cast<char *>(malloc(counted + 1));
    if (!text) return compose_no_memory;
    size_t used = 0;
    for (int i = 1; i < argc; i++) {
        if (i > 1 && used > 0) text[used++] = ' ';
        size_t n = strlen(argv[i]);
        memcpy(text + used, argv[i], n);
        used += n;
    }
    text[used] = 0;
    *link = text;
    return compose_ok;
}

bool find_template(char (&path)[path_capacity]) {
    static const char name[] = "link.txt";
    if (executable_path(path, path_capacity) < 0) return false;
    char *separator = strrchr(path, folder_separator);
    if (!separator) return false;
    size_t folder = static_cast<size_t>(separator + 1 - path);
    if (folder + sizeof name > path_capacity) return false;
    memcpy(separator + 1, name, sizeof name);
    return true;
}

// Reads the template's first line, cut at its line end, into line and drops a
// leading UTF-8 byte-order mark.
static compose_status read_template(const char *template_path, char (&line)[line_capacity]) {
    FILE *file = template_path ? fopen(template_path, "r") : nullptr;
    if (!file) return compose_no_template;
    bool read = fgets(line, line_capacity, file) != nullptr;
    bool failed = !read && ferror(file); // a folder, say, opens on some systems
    fclose(file);
    if (failed) return compose_unreadable;
    if (!read) return compose_empty_line;
    line[strcspn(line, "\r\n")] = 0;
    const unsigned char *u = reinterpret_cast<const unsigned char *>(line);
    if (u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) memmove(line, line + 3, strlen(line + 3) + 1);
    return line[0] ? compose_ok : compose_empty_line;
}

compose_status fill_template(const char *link, const char *line, char **address) {
    *address = nullptr;
    // The recipient runs from just after the scheme to the first '?'. A '?' or
    // end before that leaves no place for one: not a usable link.
    size_t q = strcspn(link, "?");
    if (q < scheme_length) return compose_no_link;
    if (!strstr(line, "%RECI%") && !strstr(line, "%URL%")) return compose_no_recipient;

    field_set fields = extract_mail_fields(link, link + q);
    const char *filled = fields.recipient ? substitute_mail_fields(line, &fields) : nullptr;
    if (filled) *address = const_cast<char *>(filled); // never line: it holds a placeholder
    release_mail_fields(&fields);
    return *address ? compose_ok : compose_no_memory;
}

compose_status compose_address(int argc, char **argv, const char *template_path, char **address) {
    *address = nullptr;
    char *link = nullptr;
    compose_status status = join_link(argc, argv, &link);
    if (status != compose_ok) return status;
    if (strcspn(link, "?") < scheme_length) {
        status = compose_no_link;
    } else {
        char line[line_capacity];
        status = read_template(template_path, line);
        if (status == compose_ok) status = fill_template(link, line, address);
    }
    free(link);
    return status;
}
