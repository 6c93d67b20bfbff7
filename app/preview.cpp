#include "preview.h"

#include <cstdlib>
#include <cstring>

#include "handler.h"
#include "mail_fields.h"
#include "urlencode.h"

static const char usage[] =
    "usage: brindlequillworth-preview [--template FILE] [--fields] [--] [LINK ...]\n"
    "\n"
    "Prints the address that brindlequillworth opens for the mailto LINK, filled\n"
    "into link.txt beside this program. Without LINK it uses the handler's test\n"
    "link; several LINK arguments are joined with single spaces, as the handler\n"
    "joins them.\n"
    "\n"
    "  --template FILE  use FILE instead of link.txt beside this program\n"
    "  --fields         first print the recipient and each field, raw and encoded\n"
    "  --help           print this text\n"
    "  --               end of options: the rest is the link\n"
    "\n"
    "Exit status: 0 an address was printed, 1 no usable link, 2 a template\n"
    "problem, 3 wrong usage, 4 out of memory or output failed.\n";

// Prints text in double quotes, with '"', '\\' and the control bytes escaped so
// that every value fits on its line.
static void print_quoted(FILE *out, const char *text) {
    putc('"', out);
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
        if (*p == '"' || *p == '\\')
            fprintf(out, "\\%c", *p);
        else if (*p < 0x20 || *p == 0x7f)
            fprintf(out, "\\x%02x", *p);
        else
            putc(*p, out);
    }
    putc('"', out);
}

// One line: the field's name, its placeholder, the raw value and what fills the
// placeholder (null: memory ran out).
static void print_field(FILE *out, const char *name, const char *placeholder, const char *raw,
                        const char *encoded) {
    fprintf(out, "%-10s %-7s ", name, placeholder);
    print_quoted(out, raw ? raw : "");
    fprintf(out, " -> %s\n", encoded ? encoded : "(out of memory)");
}

// Prints what the handler takes out of the link: the recipient, the four fields
// and the whole link, each raw and as it fills its placeholder.
static bool print_fields(FILE *out, int argc, char **argv) {
    char *link = nullptr;
    compose_status status = join_link(argc, argv, &link);
    if (status != compose_ok) return status != compose_no_memory; // the reason follows
    size_t q = strcspn(link, "?");
    if (q < scheme_length) {
        free(link);
        return true; // no usable link: the reason follows
    }
    field_set fields = extract_mail_fields(link, link + q);
    // The recipient is the to-part after the scheme and the "to" field, joined.
    fprintf(out, "%-10s %-7s ", "recipient", "%RECI%");
    char mark = link[q];
    link[q] = 0;
    print_quoted(out, link + scheme_length);
    link[q] = mark;
    if (fields.to_value && fields.to_value[0]) {
        fputs(" + to ", out);
        print_quoted(out, fields.to_value);
    }
    fprintf(out, " -> %s\n", fields.recipient ? fields.recipient : "(out of memory)");
    for (unsigned int i = 0; i < mail_field_count; i++) {
        const field_binding &b = fields.fields[i];
        char *encoded = b.field_value ? url_encode(b.field_value) : nullptr;
        print_field(out, mail_fields[i].query_name, b.placeholder_text ? b.placeholder_text : "",
                    b.field_value, encoded);
        free(encoded);
    }
    char *escaped = url_escape_component(link);
    print_field(out, "link", "%URL%", link, escaped);
    free(escaped);
    release_mail_fields(&fields);
    free(link);
    return true;
}

preview_exit preview_main(int argc, char **argv, FILE *out, FILE *err) {
    const char *template_file = nullptr;
    bool show_fields = false;
    int first = 1; // the first argument of the link
    for (; first < argc; first++) {
        const char *a = argv[first];
        if (strcmp(a, "--") == 0) {
            first++;
            break;
        }
        if (a[0] != '-' || a[1] == 0) break; // the link begins
        if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            fputs(usage, out);
            return exit_printed;
        } else if (strcmp(a, "--fields") == 0) {
            show_fields = true;
        } else if (strcmp(a, "--template") == 0) {
            if (first + 1 >= argc) {
                fprintf(err, "--template needs a FILE\n%s", usage);
                return exit_usage;
            }
            template_file = argv[++first];
        } else if (strncmp(a, "--template=", 11) == 0) {
            template_file = a + 11;
        } else {
            fprintf(err, "unknown option %s\n%s", a, usage);
            return exit_usage;
        }
    }
    // argv[first - 1] stands in for the program's name: the handler's joining
    // starts after it.
    int link_argc = argc - first + 1;
    char **link_argv = argv + first - 1;

    char beside[path_capacity];
    const char *path = template_file;
    if (!path && find_template(beside)) path = beside;

    if (show_fields && !print_fields(out, link_argc, link_argv)) {
        fputs("out of memory\n", err);
        return exit_failure;
    }
    char *address = nullptr;
    compose_status status = compose_address(link_argc, link_argv, path, &address);
    switch (status) {
    case compose_ok:
        fprintf(out, "%s\n", address);
        free(address);
        if (fflush(out) == 0 && !ferror(out)) return exit_printed;
        fputs("cannot write the address\n", err);
        return exit_failure;
    case compose_no_link:
        fputs("no usable link\n", err);
        return exit_no_link;
    case compose_no_template:
        if (path)
            fprintf(err, "cannot open %s\n", path);
        else
            fputs("cannot find link.txt: the path of this program is too long\n", err);
        return exit_template;
    case compose_unreadable:
        fprintf(err, "cannot read %s\n", path);
        return exit_template;
    case compose_empty_line:
        fputs("the template's first line is empty\n", err);
        return exit_template;
    case compose_no_recipient:
        fputs("the template has no %RECI%\n", err);
        return exit_template;
    case compose_no_memory:
        break;
    }
    fputs("out of memory\n", err);
    return exit_failure;
}
