#include "strrep.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

char *str_replace(const char *text, const char *pattern, const char *replacement) {
    if (!text || !pattern) return nullptr;
    size_t m = strlen(pattern);
    if (m == 0) return nullptr;
    const char *hit = strstr(text, pattern);
    if (!hit) return nullptr;
    if (!replacement) replacement = "";
    size_t r = strlen(replacement);

    size_t k = 0;
    for (const char *p = hit; p; p = strstr(p + m, pattern)) k++;

    // r - m may wrap; the unsigned sum still comes out exact. Guard only the
    // growth, which is the one way the size could overflow.
    size_t n = strlen(text);
    if (r > m && k > (SIZE_MAX - n - 1) / (r - m)) return nullptr;
    char *result = static_cast<char *>(malloc(n + k * (r - m) + 1));
    if (!result) return nullptr;

    const char *in = text;
    char *out = result;
    for (size_t i = 0; i < k; i++) {
        const char *at = strstr(in, pattern);
        memcpy(out, in, static_cast<size_t>(at - in));
        out += at - in;
        memcpy(out, replacement, r);
        out += r;
        in = at + m;
    }
    strcpy(out, in);
    return result;
}
