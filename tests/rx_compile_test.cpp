// The compiler, pattern by pattern against the exact program it must produce.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "rx_program.h"

namespace {

std::string hex_of(const unsigned char *bytes, int n) {
    std::string s;
    char two[4];
    for (int i = 0; i < n; i++) {
        snprintf(two, sizeof two, i ? " %02X" : "%02X", bytes[i]);
        s += two;
    }
    return s;
}

std::string dump(const regex_program &r) {
    char text[4096];
    rx_dump(&r, text, sizeof text);
    return text;
}

struct compile_case {
    std::string pattern;
    const char *code; // hex bytes
    std::string pool;
    int captures;
    int anchored;
};

const compile_case cases[] = {
    {"", "06 00 07 00 00", "", 0, 0},
    {"^", "06 00 08 07 00 00", "", 0, 1},
    {"[?&]subject=([^&]*)", "06 00 04 00 02 03 02 08 06 01 0A 06 05 0A 01 00 07 01 07 00 00",
     "?&subject=&", 1, 0},
    {"[?&]cc=([^&]*)", "06 00 04 00 02 03 02 03 06 01 0A 06 05 05 01 00 07 01 07 00 00", "?&cc=&",
     1, 0},
    {"ab+|c", "06 00 01 0D 11 03 00 01 0B 06 03 01 01 00 00 03 02 01 00 07 00 00", "abc", 0, 0},
    {"(a|b)c", "06 00 06 01 01 07 0B 03 00 01 00 03 01 01 00 07 01 03 02 01 07 00 00", "abc", 1, 0},
    {"a|b|c", "06 00 01 0F 13 01 07 0B 03 00 01 00 03 01 01 00 00 03 02 01 00 07 00 00", "abc", 0,
     0},
    {"abc*", "06 00 03 00 02 0A 06 03 02 01 00 07 00 00", "abc", 0, 0},
    {"colou?r", "06 00 03 00 04 0E 06 03 04 01 00 03 05 01 07 00 00", "colour", 0, 0},
    {"x??", "06 00 0E 09 0E 06 03 00 01 00 00 07 00 00", "x", 0, 0},
    {"a*?", "06 00 0C 06 03 00 01 00 07 00 00", "a", 0, 0},
    {"a+?", "06 00 0D 06 03 00 01 00 07 00 00", "a", 0, 0},
    {"*", "06 00 0A 03 00 07 00 00", "", 0, 0},
    {"x(ab)?", "06 00 03 00 01 0E 0A 06 01 03 01 02 07 01 00 07 00 00", "xab", 1, 0},
    {"\\d+\\s*\\S", "06 00 0B 04 11 00 0A 04 0F 00 10 07 00 00", "", 0, 0},
    {"[]a]", "06 00 04 00 00 03 00 02 07 00 00", "a]", 0, 0},
    {"[a-z]", "06 00 04 00 03 07 00 00", "a-z", 0, 0},
    {"a{2}", "06 00 03 00 04 07 00 00", "a{2}", 0, 0},
    {"[a\\s\\0\\d-]", "06 00 04 00 08 07 00 00", std::string("a\0\x0f\0\0\0\x11-", 8), 0, 0},
    {"[a\\]]", "06 00 04 00 02 07 00 00", "a]", 0, 0},
    {"[^]", "06 00 05 00 00 07 00 00", "", 0, 0},
    {"\\.\\n\\0", "06 00 03 00 01 03 01 01 03 02 01 07 00 00", std::string(".\n\0", 3), 0, 0},
    {"\\\xE9[\\\xE9]", "06 00 03 00 01 04 01 01 07 00 00", "\xE9\xE9", 0, 0},
    {"a^b", "06 00 03 00 01 08 03 01 01 07 00 00", "ab", 0, 0},
    {"^a", "06 00 08 03 00 01 07 00 00", "a", 0, 1},
    {"a^*", "06 00 0A 07 03 00 01 08 00 07 00 00", "a", 0, 0},
    {"^*", "06 00 0A 04 08 00 07 00 00", "", 0, 1},
    {"\\w\\b\\x", "06 00 03 00 01 03 01 01 03 02 01 07 00 00", "wbx", 0, 0},
    // A quantifier right after '|' has an empty body, as at the start of a level.
    {"a|*", "06 00 01 07 0B 03 00 01 00 0A 03 00 00 07 00 00", "a", 0, 0},
    {"a|^*", "06 00 01 07 0C 03 00 01 00 0A 04 08 00 00 07 00 00", "a", 0, 0},
    // A second quantifier on a split run wraps the first: 'ab', then (c*)*.
    {"abc**", "06 00 03 00 02 0A 09 0A 06 03 02 01 00 00 07 00 00", "abc", 0, 0},
    {"(a)(b)", "06 00 06 01 03 00 01 07 01 06 02 03 01 01 07 02 07 00 00", "ab", 2, 0},
};

TEST(RxCompile, ProgramsByteForByte) {
    for (const auto &c : cases) {
        regex_program r;
        const char *error = rx_compile(&r, 0, c.pattern.c_str());
        SCOPED_TRACE("pattern '" + c.pattern + "'\n" + dump(r));
        EXPECT_EQ(error, nullptr) << error;
        EXPECT_EQ(hex_of(r.code, r.code_size), c.code);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(r.data), r.data_size), c.pool);
        EXPECT_EQ(r.capture_count, c.captures);
        EXPECT_EQ(r.anchored_at_start, c.anchored);
    }
}

TEST(RxCompile, FieldPatternsDifferOnlyInNameLength) {
    for (std::string name : {"subject", "body", "cc", "bcc", "to"}) {
        regex_program r;
        std::string pattern = "[?&]" + name + "=([^&]*)";
        ASSERT_EQ(rx_compile(&r, 1, pattern.c_str()), nullptr);
        int n = static_cast<int>(name.size()) + 1;
        const unsigned char expect[] = {6,  0,
                                        4,  0,
                                        2,  3,
                                        2,  static_cast<unsigned char>(n),
                                        6,  1,
                                        10, 6,
                                        5,  static_cast<unsigned char>(2 + n),
                                        1,  0,
                                        7,  1,
                                        7,  0,
                                        0};
        EXPECT_EQ(hex_of(r.code, r.code_size), hex_of(expect, sizeof expect)) << pattern;
        EXPECT_EQ(r.options, 1);
    }
}

struct error_case {
    std::string pattern;
    const char *message;
};

TEST(RxCompile, Errors) {
    const error_case errors[] = {
        {"(a", "No closing bracket"},
        {"((a)", "No closing bracket"},
        {"[a", "No closing ']' bracket"},
        {"[a\\", "No closing ']' bracket"},
        {")", "Unbalanced brackets"},
        {"a)b", "Unbalanced brackets"},
        {"a|b)c", "Unbalanced brackets"},
        {std::string(252, '.'), "RE is too long (code overflow)"},
        {std::string(257, 'a'), "RE is too long (data overflow)"},
        // 256 pool bytes in one run or set: the length operand cannot hold it.
        {std::string(256, 'a'), "RE is too long (data overflow)"},
        {"[" + std::string(256, 'a') + "]", "RE is too long (data overflow)"},
        // The data overflow comes first; the missing ')' is recorded last.
        {"(" + std::string(300, 'a'), "No closing bracket"},
        // Fewer than three free code bytes at the end beat every other error.
        {"(" + std::string(300, '.'), "RE is too long (code overflow)"},
        {std::string(100000, '('), "RE is too long (code overflow)"},
        {std::string(100000, '(') + std::string(100000, ')'), "RE is too long (code overflow)"},
        {std::string(126, '(') + std::string(126, ')'), "RE is too long (code overflow)"},
    };
    for (const auto &e : errors) {
        regex_program r;
        SCOPED_TRACE("pattern '" + e.pattern.substr(0, 40) + "' of " +
                     std::to_string(e.pattern.size()) + " bytes");
        const char *got = rx_compile(&r, 0, e.pattern.c_str());
        ASSERT_NE(got, nullptr);
        EXPECT_STREQ(got, e.message);
        EXPECT_LE(r.code_size, code_capacity);
        EXPECT_LE(r.data_size, data_capacity);
    }
}

TEST(RxCompile, Limits) {
    regex_program r;
    EXPECT_EQ(rx_compile(&r, 0, std::string(251, '.').c_str()), nullptr);
    EXPECT_EQ(r.code_size, 256);
    EXPECT_EQ(rx_compile(&r, 0, std::string(255, 'a').c_str()), nullptr);
    EXPECT_EQ(hex_of(r.code + 2, 3), "03 00 FF");
    // As many groups as a program can hold all compile and all get a number.
    std::string groups;
    for (int i = 0; i < max_groups; i++) groups += "()";
    EXPECT_EQ(rx_compile(&r, 0, groups.c_str()), nullptr);
    EXPECT_EQ(r.capture_count, max_groups);
    EXPECT_NE(rx_compile(&r, 0, (groups + "()").c_str()), nullptr);
}

TEST(RxCompile, DumpListsInstructionsAndPool) {
    regex_program r;
    ASSERT_EQ(rx_compile(&r, 0, "[?&]subject=([^&]*)"), nullptr);
    EXPECT_EQ(dump(r), "  0 OPEN 0\n"
                       "  2 ANY_OF 0 2 '?&'\n"
                       "  5 EXACT 2 8 'subject='\n"
                       "  8 OPEN 1\n"
                       " 10 STAR 6\n"
                       " 12 ANY_BUT 10 1 '&'\n"
                       " 15 END\n"
                       " 16 CLOSE 1\n"
                       " 18 CLOSE 0\n"
                       " 20 END\n"
                       "pool '?&subject=&'\n");
    char small[8];
    EXPECT_GT(rx_dump(&r, small, sizeof small), sizeof small);
    EXPECT_STREQ(small, "  0 OPE");
}

} // namespace
