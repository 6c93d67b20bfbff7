// The pattern compiler of rx: one left-to-right pass that appends instructions
// and wraps what it has already emitted when a quantifier or '|' arrives.

#include <cstring>

#include "rx_program.h"

static const char msg_code_overflow[] = "RE is too long (code overflow)";
static const char msg_data_overflow[] = "RE is too long (data overflow)";
static const char msg_jump[] = "Jump offset is too big";
static const char msg_no_set_close[] = "No closing ']' bracket";
static const char msg_no_close[] = "No closing bracket";
static const char msg_unbalanced[] = "Unbalanced brackets";

// At this many open groups the code is full for certain (every open group has
// already emitted two bytes), so the compile's outcome is settled.
constexpr int max_nesting = 127;
static_assert(2 + 2 * max_nesting >= code_capacity, "nesting bound must imply a full code");

static void emit(regex_program *r, int byte) {
    if (r->code_size >= code_capacity) {
        r->error = msg_code_overflow;
        return;
    }
    r->code[r->code_size++] = static_cast<unsigned char>(byte);
}

static bool store(regex_program *r, int byte) {
    if (r->data_size >= data_capacity) {
        r->error = msg_data_overflow;
        return false;
    }
    r->data[r->data_size++] = static_cast<unsigned char>(byte);
    return true;
}

// Appends a three-byte instruction; near the limit byte by byte, so that what
// fits is kept and the overflow recorded as for single bytes.
static void emit3(regex_program *r, int op, int a, int b) {
    if (r->code_size > code_capacity - 3) {
        emit(r, op);
        emit(r, a);
        emit(r, b);
        return;
    }
    unsigned char *at = r->code + r->code_size;
    at[0] = static_cast<unsigned char>(op);
    at[1] = static_cast<unsigned char>(a);
    at[2] = static_cast<unsigned char>(b);
    r->code_size += 3;
}

// Appends an instruction that refers to pool bytes [pos, data_size). A length
// operand holds at most 255, so a run or set that took the whole pool is an
// overflow rather than a wrapped length.
static void emit_pool_ref(regex_program *r, int op, int pos) {
    int len = r->data_size - pos;
    if (len > 255) r->error = msg_data_overflow;
    emit3(r, op, pos, len);
}

// The bytes that end a literal run.
struct meta_table {
    bool is[256];
    constexpr meta_table() : is() {
        for (const char *c = "|.^$*+?()[\\"; *c; c++) is[static_cast<unsigned char>(*c)] = true;
        is[0] = true; // the terminator ends a run too
    }
};
static constexpr meta_table meta;

static bool is_meta(unsigned char c) {
    return meta.is[c];
}

// Decodes the byte after a backslash: a byte value 0 to 255, or a class code
// (its opcode times 256). A backslash at the very end stands for 0.
static int get_escape_char(const char **cursor) {
    unsigned char c = static_cast<unsigned char>(**cursor);
    if (c == 0) return 0;
    (*cursor)++;
    switch (c) {
    case '0':
        return 0;
    case 'n':
        return 10;
    case 'r':
        return 13;
    case 't':
        return 9;
    case 's':
        return OP_SPACE << 8;
    case 'S':
        return OP_NON_SPACE << 8;
    case 'd':
        return OP_DIGIT << 8;
    default:
        return c;
    }
}

// Writes into the jump byte the distance from the opcode at offset to the end
// of the code.
static void set_jump_offset(regex_program *r, int jump_pos, int offset) {
    RX_CHECK(offset < r->code_size);
    int distance = r->code_size - offset;
    if (distance > 255)
        r->error = msg_jump;
    else
        r->code[jump_pos] = static_cast<unsigned char>(distance);
}

// Wraps the code from *atom_start on in the repetition op. A literal run of
// several bytes gives up its last byte to the repetition; the level's atom
// start then follows the repetition, so a second quantifier wraps the first.
static void quantifier(regex_program *r, int *atom_start, int op) {
    if (r->code_size > code_capacity - 3) {
        r->error = msg_code_overflow;
        return;
    }
    int start = *atom_start;
    if (start != r->code_size && r->code[start] == OP_EXACT && r->code[start + 2] > 1) {
        if (r->code_size > code_capacity - 6) {
            r->error = msg_code_overflow;
            return;
        }
        r->code[start + 2]--;
        int last = r->code[start + 1] + r->code[start + 2];
        start = r->code_size;
        emit3(r, OP_EXACT, last, 1);
        *atom_start = start;
    }
    emit(r, OP_END);
    memmove(r->code + start + 2, r->code + start, static_cast<size_t>(r->code_size - start));
    r->code_size += 2;
    r->code[start] = static_cast<unsigned char>(op);
    set_jump_offset(r, start + 1, start);
}

// Closes the last alternative of a level whose newest branch has its second
// jump at p (0: the level has no branch).
static void fixup_branch(regex_program *r, int p) {
    if (p == 0) return;
    emit(r, OP_END);
    set_jump_offset(r, p, p - 2);
}

static void compile_set(regex_program *r, const char **cursor) {
    int pos = r->data_size;
    int op = OP_ANY_OF;
    if (**cursor == '^') {
        op = OP_ANY_BUT;
        (*cursor)++;
    }
    for (;;) {
        unsigned char c = static_cast<unsigned char>(**cursor);
        if (c == 0) {
            r->error = msg_no_set_close;
            return;
        }
        (*cursor)++;
        if (c == ']') {
            emit_pool_ref(r, op, pos);
            return;
        }
        if (c != '\\') {
            store(r, c);
            continue;
        }
        // A class or NUL is stored as a zero byte and its opcode (0 for NUL).
        int e = get_escape_char(cursor);
        if (e & 0xff)
            store(r, e & 0xff);
        else if (store(r, 0))
            store(r, e >> 8);
    }
}

static void compile_level(regex_program *r, const char **cursor, int depth);

// Compiles a group whose '(' was just taken. Returns false when the pattern
// ended inside it, which ends every enclosing level too.
static bool compile_group(regex_program *r, const char **cursor, int depth) {
    if (depth >= max_nesting) {
        // The code is full, so the compile ends in a code overflow whatever
        // follows; stop here instead of recursing once per '('.
        r->error = msg_code_overflow;
        *cursor += strlen(*cursor);
        return false;
    }
    int n = ++r->capture_count;
    emit(r, OP_OPEN);
    emit(r, n);
    compile_level(r, cursor, depth + 1);
    if (**cursor != ')') {
        r->error = msg_no_close;
        return false;
    }
    (*cursor)++;
    emit(r, OP_CLOSE);
    emit(r, n);
    return true;
}

// Compiles one level, the whole pattern or the inside of a group, up to the
// terminating NUL or a ')' that it leaves for the enclosing group.
static void compile_level(regex_program *r, const char **cursor, int depth) {
    int level_start = r->code_size;
    int atom_start = r->code_size;
    int pending_branch = 0;
    for (;;) {
        unsigned char c = static_cast<unsigned char>(**cursor);
        if (c == 0) return; // the caller closes the last alternative
        (*cursor)++;
        switch (c) {
        case '.':
            atom_start = r->code_size;
            emit(r, OP_ANY);
            break;
        case '^':
            emit(r, OP_BOL);
            break;
        case '$':
            emit(r, OP_EOL);
            break;
        case '(':
            atom_start = r->code_size;
            if (!compile_group(r, cursor, depth)) return;
            break;
        case ')':
            (*cursor)--;
            fixup_branch(r, pending_branch);
            if (depth == 0) r->error = msg_unbalanced;
            return;
        case '*':
        case '+': {
            bool lazy = **cursor == '?';
            if (lazy) (*cursor)++;
            int op = c == '*' ? (lazy ? OP_STAR_LAZY : OP_STAR) : (lazy ? OP_PLUS_LAZY : OP_PLUS);
            quantifier(r, &atom_start, op);
            break;
        }
        case '?':
            quantifier(r, &atom_start, OP_OPTIONAL);
            break;
        case '[':
            atom_start = r->code_size;
            compile_set(r, cursor);
            break;
        case '\\': {
            atom_start = r->code_size;
            int e = get_escape_char(cursor);
            if (e & 0xff00) {
                emit(r, e >> 8);
            } else {
                emit3(r, OP_EXACT, r->data_size, 1);
                store(r, e);
            }
            break;
        }
        case '|':
            fixup_branch(r, pending_branch);
            if (r->code_size + 4 > code_capacity) {
                r->error = msg_code_overflow;
                break;
            }
            emit(r, OP_END);
            memmove(r->code + level_start + 3, r->code + level_start,
                    static_cast<size_t>(r->code_size - level_start));
            r->code_size += 3;
            r->code[level_start] = OP_BRANCH;
            set_jump_offset(r, level_start + 1, level_start);
            r->code[level_start + 2] = 255; // placeholder until the next '|' or the end
            pending_branch = level_start + 2;
            // A quantifier right after '|' has no atom of its own, as at the
            // start of a level.
            atom_start = r->code_size;
            break;
        default: {
            (*cursor)--;
            atom_start = r->code_size;
            // The run reaches up to the next metacharacter; bytes beyond the
            // pool are dropped with an overflow.
            int pos = r->data_size;
            const unsigned char *run = reinterpret_cast<const unsigned char *>(*cursor);
            size_t n = 0;
            while (!is_meta(run[n])) n++;
            size_t room = static_cast<size_t>(data_capacity - r->data_size);
            size_t kept = n < room ? n : room;
            memcpy(r->data + r->data_size, run, kept);
            r->data_size += static_cast<int32_t>(kept);
            if (kept < n) r->error = msg_data_overflow;
            *cursor += n;
            emit_pool_ref(r, OP_EXACT, pos);
            break;
        }
        }
    }
}

const char *rx_compile(regex_program *r, int options, const char *pattern) {
    if (!pattern) pattern = "";
    r->options = options;
    r->error = nullptr;
    r->data_size = 0;
    r->capture_count = 0;
    r->anchored_at_start = pattern[0] == '^';
    r->code[0] = OP_OPEN;
    r->code[1] = 0;
    r->code_size = 2;

    const char *cursor = pattern;
    if (*cursor) compile_level(r, &cursor, 0);
    if (r->code_size > 2 && r->code[2] == OP_BRANCH) fixup_branch(r, 4);

    static const unsigned char tail[] = {OP_CLOSE, 0, OP_END};
    for (unsigned char byte : tail) {
        if (r->code_size >= code_capacity) return msg_code_overflow;
        r->code[r->code_size++] = byte;
    }
    return r->error;
}
