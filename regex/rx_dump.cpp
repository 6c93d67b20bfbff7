// A readable listing of a compiled rx program, for tests and debugging.

#include <cstdarg>
#include <cstdio>

#include "rx_program.h"

static const char *const op_names[] = {
    "END", "BRANCH", "ANY",  "EXACT",     "ANY_OF",    "ANY_BUT",  "OPEN",  "CLOSE",     "BOL",
    "EOL", "STAR",   "PLUS", "STAR_LAZY", "PLUS_LAZY", "OPTIONAL", "SPACE", "NON_SPACE", "DIGIT",
};
static_assert(sizeof op_names / sizeof op_names[0] == OP_DIGIT + 1, "one name per opcode");

// Operand count of each opcode.
static const unsigned char op_operands[] = {0, 2, 0, 2, 2, 2, 1, 1, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0};
static_assert(sizeof op_operands == OP_DIGIT + 1, "one count per opcode");

struct dump_buffer {
    char *out;
    size_t size;
    size_t used;
};

static void put(dump_buffer *b, const char *format, ...) {
    char line[64];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    for (int i = 0; i < n && line[i]; i++, b->used++)
        if (b->used + 1 < b->size) b->out[b->used] = line[i];
}

static void put_byte(dump_buffer *b, unsigned char c) {
    if (c >= 0x20 && c < 0x7f && c != '\\' && c != '\'')
        put(b, "%c", c);
    else
        put(b, "\\x%02x", c);
}

size_t rx_dump(const regex_program *r, char *out, size_t size) {
    dump_buffer b{out, size, 0};
    for (int pc = 0; pc < r->code_size;) {
        int op = r->code[pc];
        if (op > OP_DIGIT) {
            put(&b, "%3d ?%d\n", pc, op);
            pc++;
            continue;
        }
        put(&b, "%3d %s", pc, op_names[op]);
        int n = op_operands[op];
        for (int i = 1; i <= n && pc + i < r->code_size; i++) put(&b, " %d", r->code[pc + i]);
        if ((op == OP_EXACT || op == OP_ANY_OF || op == OP_ANY_BUT) && pc + 2 < r->code_size) {
            put(&b, " '");
            for (int i = 0; i < r->code[pc + 2] && r->code[pc + 1] + i < data_capacity; i++)
                put_byte(&b, r->data[r->code[pc + 1] + i]);
            put(&b, "'");
        }
        put(&b, "\n");
        pc += 1 + n;
    }
    put(&b, "pool '");
    for (int i = 0; i < r->data_size; i++) put_byte(&b, r->data[i]);
    put(&b, "'\n");
    if (size > 0) out[b.used < size ? b.used : size - 1] = 0;
    return b.used;
}
