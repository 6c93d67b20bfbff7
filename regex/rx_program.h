// The compiled form shared by the compiler and the matcher of rx.
//
// A program is at most 256 instruction bytes with a pool of 256 literal and set
// bytes beside it. An instruction is an opcode byte and up to two one-byte
// operands; every jump is a forward distance counted from the opcode byte.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int code_capacity = 256;
constexpr int data_capacity = 256;

// Every group costs four code bytes (open and close) and a program has five
// bytes of its own, so no program that fits can hold more groups than this.
constexpr int max_groups = (code_capacity - 5) / 4;
constexpr int capture_capacity = max_groups + 1;

enum : unsigned char {
    OP_END = 0,        // ends the sub-program being run, with success
    OP_BRANCH = 1,     // jump to second alternative, jump past both
    OP_ANY = 2,        // any one byte
    OP_EXACT = 3,      // pool position, length: these bytes in order
    OP_ANY_OF = 4,     // pool position, length: one byte among the members
    OP_ANY_BUT = 5,    // pool position, length: one byte not among them
    OP_OPEN = 6,       // capture number: the capture starts here
    OP_CLOSE = 7,      // capture number: the capture ends here
    OP_BOL = 8,        // the beginning of the subject
    OP_EOL = 9,        // the end of the subject
    OP_STAR = 10,      // jump past the body: zero or more, greedy
    OP_PLUS = 11,      // jump past the body: one or more, greedy
    OP_STAR_LAZY = 12, // jump past the body: zero or more, lazy
    OP_PLUS_LAZY = 13, // jump past the body: one or more, lazy
    OP_OPTIONAL = 14,  // jump past the body: once or not at all
    OP_SPACE = 15,     // one white-space byte
    OP_NON_SPACE = 16, // one byte that is not white space
    OP_DIGIT = 17,     // one byte '0' to '9'
};

struct regex_program {
    unsigned char code[code_capacity];
    unsigned char data[data_capacity];
    int32_t code_size;
    int32_t data_size;
    int32_t capture_count;
    int32_t anchored_at_start;
    int32_t options;
    const char *error;
};

struct capture_span {
    const char *start;
    int32_t len; // negative while no pass has closed the capture
};

// Sets up r and compiles pattern into it; returns null or a compile error.
const char *rx_compile(regex_program *r, int options, const char *pattern);

// Runs r from instruction pc against subject[*pos, length); returns null on a
// match, with *pos at its end, or "No match". caps may be null; otherwise it
// has an entry for every capture number in the program.
const char *rx_run(const regex_program *r, int pc, const char *subject, int length, int *pos,
                   capture_span *caps);

// Writes a readable listing of the program (one instruction a line, then the
// pool) into out, cut to size bytes; returns the length it needed.
size_t rx_dump(const regex_program *r, char *out, size_t size);

// Ends the process over a damaged program, naming the condition and the module.
[[noreturn]] void rx_fail(const char *condition);
#define RX_CHECK(cond) ((cond) ? (void)0 : rx_fail(#cond))
