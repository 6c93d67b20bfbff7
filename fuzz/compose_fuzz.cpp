// libFuzzer target for the whole composition: arguments and a template line
// to the address. The input is the template line, a NUL, then the arguments
// separated by NUL bytes.
//
// Checked besides memory safety: the address begins with the line's text
// before its first placeholder; the recipient holds no byte it must escape;
// every inserted value holds only the bytes its encoder lets through.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "handler.h"
#include "mail_fields.h"

constexpr size_t max_input = 8192;

static bool unsafe_in_recipient(unsigned char b) {
    return b <= 0x20 || b >= 0x7F || strchr("\"#&+<>\\^`{|}", b);
}

static bool unreserved(unsigned char b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
           strchr("-_.~", b);
}

static bool is_hex(unsigned char b) {
    return (b >= '0' && b <= '9') || (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F');
}

// Every '%' begins a triplet and every other byte passes allowed().
static bool well_escaped(const std::string &s, bool (*allowed)(unsigned char), bool plus_ok) {
    for (size_t i = 0; i < s.size(); i++) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        if (b == '%') {
            if (i + 2 >= s.size() || !is_hex(static_cast<unsigned char>(s[i + 1])) ||
                !is_hex(static_cast<unsigned char>(s[i + 2])))
                return false;
            i += 2;
        } else if (!allowed(b) && !(plus_ok && b == '+')) {
            return false;
        }
    }
    return true;
}

static bool safe_recipient_byte(unsigned char b) {
    return !unsafe_in_recipient(b);
}

static void check(bool ok) {
    if (!ok) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > max_input) return 0;
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t nul = input.find('\0');
    std::string line = input.substr(0, nul == std::string::npos ? size : nul);
    if (line.size() >= line_capacity) line.resize(line_capacity - 1);
    std::vector<std::string> args{"brindlequillworth"};
    if (nul != std::string::npos) {
        for (size_t start = nul + 1;;) {
            size_t end = input.find('\0', start);
            args.push_back(
                input.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    char *link = nullptr;
    if (join_link(static_cast<int>(args.size()), argv.data(), &link) != compose_ok) return 0;
    // The line in a buffer of exactly its size, so a read past it shows.
    std::vector<char> line_buffer(line.begin(), line.end());
    line_buffer.push_back(0);
    char *address = nullptr;
    compose_status status = fill_template(link, line_buffer.data(), &address);
    check((status == compose_ok) == (address != nullptr));

    size_t q = strcspn(link, "?");
    if (q >= 7) {
        field_set fields = extract_mail_fields(link, link + q);
        const char *recipient = fields.recipient;
        check(recipient && well_escaped(recipient, safe_recipient_byte, false));
        const char *filled =
            substitute_mail_fields("%SUBJ%\x01%BODY%\x01%CC%\x01%BCC%\x01%URL%", &fields);
        check(filled != nullptr);
        // Split at the separators: four form-encoded values, then the link.
        std::string all = filled;
        std::vector<std::string> parts;
        for (size_t start = 0;;) {
            size_t end = all.find('\x01', start);
            parts.push_back(all.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        check(parts.size() == 5);
        for (int i = 0; i < 4; i++)
            check(well_escaped(parts[static_cast<size_t>(i)], unreserved, true));
        check(well_escaped(parts[4], unreserved, false));
        free(const_cast<char *>(filled));
        release_mail_fields(&fields);
    }
    if (address) {
        // The text before the first placeholder stands unchanged at the start.
        size_t prefix = line.size();
        for (const char *p : {"%RECI%", "%SUBJ%", "%BODY%", "%CC%", "%BCC%", "%URL%"}) {
            size_t at = line.find(p);
            if (at < prefix) prefix = at;
        }
        check(strncmp(address, line.c_str(), prefix) == 0);
    }
    free(address);
    free(link);
    return 0;
}
