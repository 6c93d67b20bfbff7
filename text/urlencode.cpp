#include "urlencode.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

static const char hex[] = "0123456789abcdef";

char to_hex(char value) {
    return hex[static_cast<unsigned char>(value) & 15];
}

// The unreserved bytes of RFC 3986; the default locale puts no byte above 0x7F
// in the alphanumeric class.
static bool is_unreserved(unsigned char b) {
    return isalnum(b) || b == '-' || b == '_' || b == '.' || b == '~';
}

// A '%' at p followed by two hex digits; the second digit is read only when the
// first one passed, so a terminator right after the '%' ends the look-ahead.
static bool is_triplet(const unsigned char *p) {
    return p[0] == '%' && isxdigit(p[1]) && isxdigit(p[2]);
}

// A buffer for the worst case of n input bytes, every one a three-byte escape.
static char *escape_buffer(size_t n) {
    if (n > (SIZE_MAX - 1) / 3) return nullptr;
    return static_cast<char *>(malloc(3 * n + 1));
}

static char *put_escape(char *out, unsigned char b) {
    *out++ = '%';
    *out++ = to_hex(static_cast<char>(b >> 4));
    *out++ = to_hex(static_cast<char>(b & 15));
    return out;
}

char *url_encode(const char *text) {
    char *result = escape_buffer(strlen(text));
    if (!result) return nullptr;
    const unsigned char *in = reinterpret_cast<const unsigned char *>(text);
    char *out = result;
    for (;;) {
        unsigned char b = *in;
        if (b == 0) break;
        if (is_unreserved(b)) {
            *out++ = static_cast<char>(b);
            in++;
        } else if (b == ' ') {
            *out++ = '+';
            in++;
        } else if (is_triplet(in)) {
            memcpy(out, in, 3);
            out += 3;
            in += 3;
        } else {
            out = put_escape(out, b);
            in++;
        }
    }
    *out = 0;
    return result;
}

// Copies text, escaping the bytes for which must_escape holds; with
// keep_triplets an existing escape triplet is copied as it stands.
static char *escape_with(const char *text, bool (*must_escape)(unsigned char), bool keep_triplets) {
    char *result = escape_buffer(strlen(text));
    if (!result) return nullptr;
    const unsigned char *in = reinterpret_cast<const unsigned char *>(text);
    char *out = result;
    for (; *in; in++) {
        unsigned char b = *in;
        if (b == '%' && keep_triplets && is_triplet(in)) {
            *out++ = '%';
        } else if (b == '%' || must_escape(b)) {
            out = put_escape(out, b);
        } else {
            *out++ = static_cast<char>(b);
        }
    }
    *out = 0;
    return result;
}

static bool unsafe_in_address(unsigned char b) {
    if (b <= 0x20 || b >= 0x7F) return true;
    return strchr("\"#&+<>\\^`{|}", b) != nullptr;
}

static bool reserved(unsigned char b) {
    return !is_unreserved(b);
}

char *url_escape_recipient(const char *text) {
    return escape_with(text, unsafe_in_address, true);
}

char *url_escape_component(const char *text) {
    return escape_with(text, reserved, false);
}
