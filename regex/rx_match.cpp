// The backtracking matcher of rx and its entry point rx_match.
//
// match() runs instructions until an OP_END (a match) or the first instruction
// that fails. Alternatives, repetition bodies and continuations are nested runs
// that always start at a later instruction, so the nesting is bounded by the
// program's length, never by the subject's; the iterations of a repetition are
// a loop.

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rx.h"
#include "rx_program.h"

static const char msg_no_match[] = "No match";
static const char msg_string_small[] = "RX_STRING: buffer size too small";
static const char msg_int_size[] = "RX_INT: unsupported size";
static const char msg_int_failed[] = "RX_INT: capture failed";
static const char msg_float_size[] = "RX_FLOAT: unsupported size";
static const char msg_float_failed[] = "RX_FLOAT: capture failed";
static const char msg_unknown_type[] = "Unknown type, expected RX_(INT|FLOAT|STRING)";

void rx_fail(const char *condition) {
    fflush(stdout);
    fprintf(stderr, "rx: assertion failed: %s\n", condition);
    abort();
}

// tolower of the default locale, which the system never changes: only A to Z
// fold. Inline, since a literal run compares one byte at a time.
static inline int fold(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// Compares n bytes without regard to ASCII letter case; 0 when they agree.
static int casecmp(const unsigned char *a, const unsigned char *b, int n) {
    for (int i = 0; i < n; i++) {
        int d = fold(a[i]) - fold(b[i]);
        if (d != 0) return d;
        if (a[i] == 0) return 0;
    }
    return 0;
}

static bool class_has(int op, unsigned char c) {
    switch (op) {
    case OP_SPACE:
        return isspace(c) != 0;
    case OP_NON_SPACE:
        return isspace(c) == 0;
    case OP_DIGIT:
        return c >= '0' && c <= '9';
    default: // 0: the escaped NUL
        return c == 0;
    }
}

// Whether c is a member of the set at pc. Members are unsigned bytes; a zero
// byte introduces a pair that stands for a class (its opcode) or for NUL (0).
static bool set_has(const regex_program *r, int pc, unsigned char c) {
    const unsigned char *m = r->data + r->code[pc + 1];
    const unsigned char *end = m + r->code[pc + 2];
    for (; m < end; m++) {
        if (*m != 0) {
            if (*m == c) return true;
        } else if (m + 1 < end) {
            m++;
            if (class_has(*m, c)) return true;
        } else if (c == 0) {
            return true;
        }
    }
    return false;
}

// Whether the one-byte instruction at pc accepts c (see is_single_byte).
static bool accepts(const regex_program *r, int pc, unsigned char c) {
    switch (r->code[pc]) {
    case OP_ANY:
        return true;
    case OP_EXACT:
        if (r->options & RX_IGNORE_CASE) return fold(c) == fold(r->data[r->code[pc + 1]]);
        return c == r->data[r->code[pc + 1]];
    case OP_ANY_OF:
        return set_has(r, pc, c);
    case OP_ANY_BUT:
        return !set_has(r, pc, c);
    default:
        return class_has(r->code[pc], c);
    }
}

// Whether the body of the repetition at pc is one instruction that consumes
// exactly one byte; such a body runs in a tight loop.
static bool is_single_byte(const regex_program *r, int pc) {
    int body = pc + 2;
    switch (r->code[body]) {
    case OP_ANY:
    case OP_SPACE:
    case OP_NON_SPACE:
    case OP_DIGIT:
        return r->code[pc + 1] == 4;
    case OP_EXACT:
        return r->code[body + 2] == 1 && r->code[pc + 1] == 6;
    case OP_ANY_OF:
        return r->code[body + 2] > 0 && r->code[pc + 1] == 6;
    case OP_ANY_BUT:
        return r->code[pc + 1] == 6;
    default:
        return false;
    }
}

// How many bytes from pos on the one-byte body at pc accepts in a row.
static int run_length(const regex_program *r, int pc, const unsigned char *s, int len, int pos) {
    int body = pc + 2;
    if (r->code[body] == OP_ANY) return len - pos;
    if (r->code[body] == OP_ANY_BUT && r->code[body + 2] == 1 && r->data[r->code[body + 1]] != 0) {
        const void *stop =
            memchr(s + pos, r->data[r->code[body + 1]], static_cast<size_t>(len - pos));
        return stop ? static_cast<int>(static_cast<const unsigned char *>(stop) - s) - pos
                    : len - pos;
    }
    int end = pos;
    while (end < len && accepts(r, body, s[end])) end++;
    return end - pos;
}

static const char *match(const regex_program *r, int pc, const unsigned char *s, int len, int *pos,
                         capture_span *caps);

static bool continuation_matches(const regex_program *r, int pc, const unsigned char *s, int len,
                                 int at) {
    return match(r, pc + r->code[pc + 1], s, len, &at, nullptr) == nullptr;
}

// Greedy iteration behind OP_STAR and OP_PLUS: iterates while the body matches
// and settles on the last iteration after which the continuation matched, or on
// the entry position. An iteration that does not move ends the loop, since
// every later one would stand at the same place.
static void loop_greedy(const regex_program *r, int pc, const unsigned char *s, int len, int *pos) {
    int chosen = *pos;
    if (is_single_byte(r, pc)) {
        // Same choice as iterating, found from the longest run back.
        for (int k = run_length(r, pc, s, len, *pos); k > 0; k--) {
            if (continuation_matches(r, pc, s, len, *pos + k)) {
                chosen = *pos + k;
                break;
            }
        }
        *pos = chosen;
        return;
    }
    for (;;) {
        int before = *pos;
        if (match(r, pc + 2, s, len, pos, nullptr) != nullptr || *pos == before) break;
        int noted = *pos;
        if (continuation_matches(r, pc, s, len, noted)) chosen = noted;
        *pos = noted;
    }
    *pos = chosen;
}

// Lazy iteration behind OP_STAR_LAZY and OP_PLUS_LAZY: runs the body, then
// stops at the first iteration after which the continuation matches; when
// none does, it ends after the last iteration of the body.
static void loop_non_greedy(const regex_program *r, int pc, const unsigned char *s, int len,
                            int *pos) {
    int chosen = *pos;
    for (;;) {
        int before = *pos;
        if (match(r, pc + 2, s, len, pos, nullptr) != nullptr) break;
        chosen = *pos;
        if (chosen == before || continuation_matches(r, pc, s, len, chosen)) break;
    }
    *pos = chosen;
}

static const char *match(const regex_program *r, int pc, const unsigned char *s, int len, int *pos,
                         capture_span *caps) {
    for (;;) {
        RX_CHECK(pc < r->code_size);
        // clang-format off
        RX_CHECK(pc < (int) (sizeof(r->code) / sizeof(r->code[0])));
        // clang-format on
        int op = r->code[pc];
        switch (op) {
        case OP_END:
            return nullptr;
        case OP_BRANCH: {
            int saved = *pos;
            if (match(r, pc + 3, s, len, pos, caps) != nullptr) {
                *pos = saved;
                if (match(r, pc + r->code[pc + 1], s, len, pos, caps) != nullptr)
                    return msg_no_match;
            }
            pc += r->code[pc + 2];
            break;
        }
        case OP_ANY:
            if (*pos >= len) return msg_no_match;
            (*pos)++;
            pc += 1;
            break;
        case OP_EXACT: {
            int n = r->code[pc + 2];
            const unsigned char *lit = r->data + r->code[pc + 1];
            if (n > len - *pos) return msg_no_match;
            int differ = (r->options & RX_IGNORE_CASE)
                             ? casecmp(s + *pos, lit, n)
                             : memcmp(s + *pos, lit, static_cast<size_t>(n));
            if (differ != 0) return msg_no_match;
            *pos += n;
            pc += 3;
            break;
        }
        case OP_ANY_OF:
            if (*pos >= len || !set_has(r, pc, s[*pos])) return msg_no_match;
            (*pos)++;
            pc += 3;
            break;
        case OP_ANY_BUT:
            if (*pos >= len || set_has(r, pc, s[*pos])) return msg_no_match;
            (*pos)++;
            pc += 3;
            break;
        case OP_OPEN:
            if (caps) {
                caps[r->code[pc + 1]].start = reinterpret_cast<const char *>(s) + *pos;
                caps[r->code[pc + 1]].len = -1;
            }
            pc += 2;
            break;
        case OP_CLOSE:
            if (caps) {
                capture_span *c = &caps[r->code[pc + 1]];
                c->len = static_cast<int32_t>(reinterpret_cast<const char *>(s) + *pos - c->start);
            }
            pc += 2;
            break;
        case OP_BOL:
            if (*pos != 0) return msg_no_match;
            pc += 1;
            break;
        case OP_EOL:
            if (*pos != len) return msg_no_match;
            pc += 1;
            break;
        case OP_PLUS:
        case OP_PLUS_LAZY:
            // The first iteration is the plus's own, with the capture array.
            if (match(r, pc + 2, s, len, pos, caps) != nullptr) return msg_no_match;
            [[fallthrough]];
        case OP_STAR:
        case OP_STAR_LAZY:
            if (op == OP_STAR || op == OP_PLUS)
                loop_greedy(r, pc, s, len, pos);
            else
                loop_non_greedy(r, pc, s, len, pos);
            pc += r->code[pc + 1];
            break;
        case OP_OPTIONAL: {
            int saved = *pos;
            if (match(r, pc + 2, s, len, pos, caps) != nullptr) *pos = saved;
            pc += r->code[pc + 1];
            break;
        }
        case OP_SPACE:
        case OP_NON_SPACE:
        case OP_DIGIT:
            if (*pos >= len || !class_has(op, s[*pos])) return msg_no_match;
            (*pos)++;
            pc += 1;
            break;
        default:
            printf("unknown cmd (%d) at %d\n", op, pc);
            rx_fail("op <= OP_DIGIT");
        }
    }
}

const char *rx_run(const regex_program *r, int pc, const char *subject, int length, int *pos,
                   capture_span *caps) {
    return match(r, pc, reinterpret_cast<const unsigned char *>(subject), length, pos, caps);
}

// The bytes that can begin a match, when the program's first consuming
// instruction tells them; count is 0 when any byte may begin one.
struct first_bytes {
    int count;
    unsigned char byte[2]; // the members, when there are at most two
    int next[2];           // where each of them occurs next (-1: not looked for yet)
    bool table[256];
};

static void add_first(first_bytes *f, unsigned char c) {
    if (f->count <= 2) {
        for (int i = 0; i < f->count; i++)
            if (f->byte[i] == c) return;
        if (f->count < 2) {
            f->byte[f->count++] = c;
            return;
        }
        // A third byte: from here on the table holds the members.
        memset(f->table, 0, sizeof f->table);
        f->table[f->byte[0]] = f->table[f->byte[1]] = true;
    }
    if (!f->table[c]) f->count++;
    f->table[c] = true;
}

static void add_class(first_bytes *f, int cls) {
    for (int c = 0; c < 256; c++)
        if (class_has(cls, static_cast<unsigned char>(c)))
            add_first(f, static_cast<unsigned char>(c));
}

static void find_first_bytes(const regex_program *r, first_bytes *f) {
    f->count = 0;
    f->next[0] = f->next[1] = -1;
    int pc = 0;
    while (pc < r->code_size && r->code[pc] == OP_OPEN) pc += 2;
    if (pc >= r->code_size) return;
    int op = r->code[pc];
    if (op == OP_DIGIT || op == OP_SPACE) {
        add_class(f, op);
    } else if (op == OP_EXACT && r->code[pc + 2] > 0) {
        unsigned char c = r->data[r->code[pc + 1]];
        add_first(f, c);
        if (r->options & RX_IGNORE_CASE) {
            add_first(f, static_cast<unsigned char>(fold(c)));
            add_first(f, static_cast<unsigned char>(toupper(c)));
        }
    } else if (op == OP_ANY_OF) {
        const unsigned char *m = r->data + r->code[pc + 1];
        const unsigned char *end = m + r->code[pc + 2];
        for (; m < end; m++) {
            if (*m != 0 || m + 1 == end)
                add_first(f, *m);
            else
                add_class(f, *++m);
        }
    }
}

// The next start position at or after from whose byte can begin a match, or
// len. With one or two possible bytes, memchr finds each of them, and the
// place found is kept until the search passes it.
static int next_start(first_bytes *f, const unsigned char *s, int len, int from) {
    if (from >= len) return len;
    if (f->count == 0) return from;
    if (f->count <= 2) {
        int best = len;
        for (int i = 0; i < f->count; i++) {
            if (f->next[i] < from) {
                const void *hit = memchr(s + from, f->byte[i], static_cast<size_t>(len - from));
                f->next[i] =
                    hit ? static_cast<int>(static_cast<const unsigned char *>(hit) - s) : len;
            }
            if (f->next[i] < best) best = f->next[i];
        }
        return best;
    }
    while (from < len && !f->table[s[from]]) from++;
    return from;
}

// Reads a signed decimal integer of the given size from [p, end): leading white
// space, an optional sign and at least one digit, within the type's range.
static bool scan_int(const unsigned char *p, const unsigned char *end, int size, void *out) {
    while (p < end && isspace(*p)) p++;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    uint64_t max = (UINT64_C(1) << (8 * size - 1)) - 1 + (negative ? 1 : 0);
    uint64_t value = 0;
    const unsigned char *digits = p;
    for (; p < end && *p >= '0' && *p <= '9'; p++) {
        unsigned digit = *p - '0';
        if (value > (max - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (p == digits) return false;
    // Two's complement negation in unsigned arithmetic, then narrowed.
    uint64_t bits = negative ? 0 - value : value;
    switch (size) {
    case 1: {
        int8_t v = static_cast<int8_t>(bits);
        memcpy(out, &v, sizeof v);
        break;
    }
    case 2: {
        int16_t v = static_cast<int16_t>(bits);
        memcpy(out, &v, sizeof v);
        break;
    }
    case 4: {
        int32_t v = static_cast<int32_t>(bits);
        memcpy(out, &v, sizeof v);
        break;
    }
    default: {
        int64_t v = static_cast<int64_t>(bits);
        memcpy(out, &v, sizeof v);
        break;
    }
    }
    return true;
}

// Reads a floating-point number from [p, end) through a bounded copy. A number
// longer than the copy cannot be read whole and counts as a failure.
static bool scan_float(const unsigned char *p, const unsigned char *end, int size, void *out) {
    enum { copy_capacity = 128 };
    while (p < end && isspace(*p)) p++;
    size_t n = static_cast<size_t>(end - p);
    bool cut = n >= copy_capacity;
    if (cut) n = copy_capacity - 1;
    char copy[copy_capacity];
    memcpy(copy, p, n);
    copy[n] = 0;
    char *stop = nullptr;
    errno = 0;
    if (size == 4) {
        float v = strtof(copy, &stop);
        if (stop == copy || (errno == ERANGE && std::isinf(v))) return false;
        if (cut && stop == copy + n) return false;
        memcpy(out, &v, sizeof v);
    } else {
        double v = strtod(copy, &stop);
        if (stop == copy || (errno == ERANGE && std::isinf(v))) return false;
        if (cut && stop == copy + n) return false;
        memcpy(out, &v, sizeof v);
    }
    return true;
}

// Converts one capture; a span that no pass closed converts as the empty text.
static const char *convert(const capture_span *span, int type, int size, void *dest) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(span->start);
    int n = span->len < 0 ? 0 : span->len;
    switch (type) {
    case RX_STRING:
        if (size <= n) return msg_string_small;
        if (n > 0) memcpy(dest, p, static_cast<size_t>(n));
        static_cast<char *>(dest)[n] = 0;
        return nullptr;
    case RX_INT:
        if (size != 1 && size != 2 && size != 4 && size != 8) return msg_int_size;
        return n > 0 && scan_int(p, p + n, size, dest) ? nullptr : msg_int_failed;
    case RX_FLOAT:
        if (size != 4 && size != 8) return msg_float_size;
        return n > 0 && scan_float(p, p + n, size, dest) ? nullptr : msg_float_failed;
    default:
        return msg_unknown_type;
    }
}

const char *rx_match(int options, const char *pattern, const char *subject, int length, ...) {
    regex_program r;
    const char *error = rx_compile(&r, options, pattern);
    if (error) return error;
    // A missing subject or a negative length is the empty subject, held as a
    // real string so that no null pointer reaches the byte loops or memchr.
    if (!subject || length < 0) {
        subject = "";
        length = 0;
    }
    // A program without error holds at most max_groups groups.
    RX_CHECK(r.capture_count < capture_capacity);

    capture_span caps[capture_capacity];
    for (int i = 0; i <= r.capture_count; i++) caps[i] = capture_span{subject, -1};

    const unsigned char *s = reinterpret_cast<const unsigned char *>(subject);
    const char *result = msg_no_match;
    if (r.anchored_at_start) {
        int pos = 0;
        result = match(&r, 0, s, length, &pos, caps);
    } else if (length > 0) {
        first_bytes first;
        find_first_bytes(&r, &first);
        for (int start = next_start(&first, s, length, 0); start < length;
             start = next_start(&first, s, length, start + 1)) {
            int pos = start;
            result = match(&r, 0, s, length, &pos, caps);
            if (!result) break;
        }
    }
    if (result) return result;

    va_list args;
    va_start(args, length);
    for (int i = 1; i <= r.capture_count; i++) {
        int type = va_arg(args, int);
        int size = va_arg(args, int);
        void *dest = va_arg(args, void *);
        result = convert(&caps[i], type, size, dest);
    }
    va_end(args);
    return result;
}
