// libFuzzer target for rx_match: the input is a flags byte (bit 0 the engine's
// options, bit 1 a negative length), four capture types, then the pattern and
// the subject separated by a NUL byte.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "rx.h"
#include "rx_program.h"

// The matcher backtracks without memoisation: a pattern with k loops can take
// n^k steps. The caps keep every input fast; the loops are bounded separately.
constexpr size_t max_pattern = 96;
constexpr size_t max_subject = 48;
constexpr int max_quantifiers = 4;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    int options = data[0] & 1;
    bool negative_length = data[0] & 2; // must act as the empty subject
    uint8_t types = data[1];
    data += 2;
    size -= 2;
    const uint8_t *nul = static_cast<const uint8_t *>(memchr(data, 0, size));
    if (!nul) return 0;
    size_t pattern_len = static_cast<size_t>(nul - data);
    size_t subject_len = size - pattern_len - 1;
    if (pattern_len > max_pattern || subject_len > max_subject) return 0;
    int quantifiers = 0;
    for (size_t i = 0; i < pattern_len; i++) quantifiers += strchr("*+?", data[i]) && data[i];
    if (quantifiers > max_quantifiers) return 0;

    std::vector<char> pattern(data, data + pattern_len);
    pattern.push_back(0);
    // The subject in a buffer of exactly its length, so a read past it shows.
    std::vector<char> subject(nul + 1, nul + 1 + subject_len);
    const char *s = subject.empty() ? nullptr : subject.data();

    // Up to four captures of the types the input picks; each destination is
    // sized to catch a write past it.
    static const int sizes[][2] = {{RX_STRING, 1}, {RX_STRING, 64}, {RX_INT, 4}, {RX_FLOAT, 8}};
    std::vector<std::vector<char>> buffers;
    int args[4][2];
    for (int i = 0; i < 4; i++) {
        const int *t = sizes[(types >> (2 * i)) & 3];
        args[i][0] = t[0];
        args[i][1] = t[1];
        buffers.emplace_back(static_cast<size_t>(t[1]));
    }
    regex_program r;
    bool compiled = rx_compile(&r, options, pattern.data()) == nullptr;
    if (compiled && r.capture_count > 4) return 0; // the call passes four triples

    int length =
        negative_length ? -1 - static_cast<int>(subject_len) : static_cast<int>(subject_len);
    const char *result =
        rx_match(options, pattern.data(), s, length, args[0][0], args[0][1], buffers[0].data(),
                 args[1][0], args[1][1], buffers[1].data(), args[2][0], args[2][1],
                 buffers[2].data(), args[3][0], args[3][1], buffers[3].data());
    if (!compiled && result == nullptr) abort(); // a compile error must be reported
    return 0;
}
