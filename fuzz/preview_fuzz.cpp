// libFuzzer target for the preview tool. The input is a flags byte, the
// template's text, a NUL, then the arguments separated by NUL bytes.
//
// Flags bit 0 adds --fields. Without bit 1 the arguments follow "--" and the
// tool must agree with the handler's composition for them: the same address
// as its last line, or the exit code that matches why nothing was composed.
// With bit 1 the arguments are parsed as options too, and only the bounds and
// the exit code's range are checked.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "handler.h"
#include "preview.h"

constexpr size_t max_input = 8192;

static void check(bool ok) {
    if (!ok) abort();
}

// One template file for the whole run, rewritten for every input and removed
// at the end.
static char fuzz_template[] = "/tmp/bqw-preview-fuzz-XXXXXX";

static void remove_template() {
    unlink(fuzz_template);
}

static const char *template_path() {
    static int fd = -1;
    if (fd < 0) {
        fd = mkstemp(fuzz_template);
        check(fd >= 0);
        close(fd);
        atexit(remove_template);
    }
    return fuzz_template;
}

static int expected_exit(compose_status status) {
    switch (status) {
    case compose_ok:
        return exit_printed;
    case compose_no_link:
        return exit_no_link;
    case compose_no_memory:
        return exit_failure;
    default:
        return exit_template;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > max_input) return 0;
    unsigned flags = data[0];
    std::string input(reinterpret_cast<const char *>(data) + 1, size - 1);
    size_t nul = input.find('\0');
    std::string text = input.substr(0, nul);
    std::vector<std::string> args;
    if (nul != std::string::npos) {
        for (size_t start = nul + 1;;) {
            size_t end = input.find('\0', start);
            args.push_back(input.substr(start, end == std::string::npos ? end : end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    const char *path = template_path();
    FILE *file = fopen(path, "wb");
    check(file != nullptr);
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);

    std::vector<std::string> line{"brindlequillworth-preview", "--template", path};
    if (flags & 1) line.push_back("--fields");
    bool raw = flags & 2;
    if (!raw) line.push_back("--");
    size_t first_link = line.size();
    line.insert(line.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : line) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    char *out_text = nullptr, *err_text = nullptr;
    size_t out_size = 0, err_size = 0;
    FILE *out = open_memstream(&out_text, &out_size);
    FILE *err = open_memstream(&err_text, &err_size);
    check(out && err);
    int code = preview_main(static_cast<int>(argv.size() - 1), argv.data(), out, err);
    fclose(out);
    fclose(err);
    check(code >= exit_printed && code <= exit_failure);

    if (!raw) {
        // The handler's view: the program's name, then the link's arguments.
        std::vector<char *> handler_argv{argv[0]};
        handler_argv.insert(handler_argv.end(), argv.begin() + first_link, argv.end());
        char *address = nullptr;
        compose_status status = compose_address(static_cast<int>(handler_argv.size() - 1),
                                                handler_argv.data(), path, &address);
        check(code == expected_exit(status));
        std::string printed(out_text, out_size), reason(err_text, err_size);
        if (address) {
            std::string last = std::string(address) + "\n";
            check(reason.empty());
            check(printed.size() >= last.size() &&
                  printed.compare(printed.size() - last.size(), last.size(), last) == 0);
            if (!(flags & 1)) check(printed == last);
        } else {
            // One line that says why.
            check(!reason.empty() && reason.find('\n') == reason.size() - 1);
            if (!(flags & 1)) check(printed.empty());
        }
        free(address);
    }
    free(out_text);
    free(err_text);
    return 0;
}
