// The matcher and rx_match: (pattern, options, subject) to outcome and captures.

#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "rx.h"
#include "rx_program.h"

namespace {

const char *const no_match = "No match";

// The whole match found by trying every start position in turn, without the
// shortcuts of rx_match; "-" when none matches.
std::string plain_search(const std::string &pattern, int options, const std::string &subject) {
    regex_program r;
    if (rx_compile(&r, options, pattern.c_str())) return "error";
    capture_span caps[capture_capacity];
    int len = static_cast<int>(subject.size());
    int last = r.anchored_at_start ? 1 : len;
    for (int start = 0; start < last; start++) {
        int pos = start;
        if (!rx_run(&r, 0, subject.data(), len, &pos, caps))
            return subject.substr(start, pos - start);
    }
    return "-";
}

struct match_case {
    std::string pattern;
    int options;
    std::string subject;
    std::string whole;  // the whole match, "-" for none
    std::string group1; // group 1 as a string, when the pattern has groups
};

const std::string ws = " \t\n\v\f\r";

const match_case cases[] = {
    {"a*a", 0, "aaa", "aaa", ""},
    {"(a|ab)c", 0, "abc", "-", ""},
    {"(ab|a)c", 0, "abc", "abc", "ab"},
    {"(a*)a", 0, "aa", "aa", "a"},
    {"(a*|b)a", 0, "aa", "-", ""},
    {"a*?", 0, "aaa", "a", ""},
    {"a+?", 0, "aaa", "aa", ""},
    {"a*?a", 0, "aaa", "aa", ""},
    {"a*?b.c", 0, "abaabxc", "aabxc", ""},
    {"(.)+", 0, "abc", "abc", "a"},
    {"(.)*x", 0, "abcx", "abcx", ""},
    {"(a)x|ay", 0, "ay", "ay", "a"},
    {"(a)|b", 0, "b", "b", ""},
    {"x(a)*", 0, "xaa", "xaa", ""},
    {"abcd", 0, "abc", "-", ""},
    {"[]", 0, "abc", "-", ""},
    {"[^]", 0, "a", "a", ""},
    {"^a[^]", 0, "a", "-", ""},
    {"ab", RX_IGNORE_CASE, "xAB", "AB", ""},
    {"(ab)", RX_IGNORE_CASE, "xAB", "AB", "AB"},
    {"[a]", RX_IGNORE_CASE, "A", "-", ""},
    {"\\d+", RX_IGNORE_CASE,
     "x\xD9\xB3"
     "12",
     "12", ""},
    {"$", 0, "abc", "-", ""},
    {"c$", 0, "abc", "c", ""},
    {"b$", 0, "ab\n", "-", ""},
    {"a^", 0, "aa", "-", ""},
    {std::string("a.b", 3), 0, std::string("a\0b", 3), std::string("a\0b", 3), ""},
    {"a[^x]b", 0, std::string("a\0b", 3), std::string("a\0b", 3), ""},
    {"^a|b", 0, "xb", "-", ""},
    {"a|^b", 0, "ab", "a", ""},
    {"", 0, "", "-", ""},
    {"a*", 0, "", "-", ""},
    {"^", 0, "", "", ""},
    {"^$", 0, "", "", ""},
    {"^a*", 0, "", "", ""},
    {"a*", 0, "baa", "", ""},
    {"[?&]subject=([^&]*)", RX_IGNORE_CASE, "?Subject=Hello&body=x", "?Subject=Hello", "Hello"},
    {"[?&]cc=([^&]*)", RX_IGNORE_CASE, "?bcc=x&cc=y", "&cc=y", "y"},
    {"[?&]subject=([^&]*)", RX_IGNORE_CASE, "?subject=a?cc=b", "?subject=a?cc=b", "a?cc=b"},
    // Bodies that consume nothing end their loop.
    {"()*x", 0, "x", "x", ""},
    {"(a*)*", 0, "aaa", "aaa", ""},
    {"(^)*a", 0, "ba", "a", ""},
    {"*", 0, "x", "", ""},
    {"a**", 0, "aaa", "aaa", ""},
    {"(a?)+", 0, "aa", "aa", "a"},
    {"(a?)+?b", 0, "aab", "aab", "a"},
    {"()+x", 0, "x", "x", ""},
    {"(a*)*?b", 0, "ab", "ab", ""},
    {"a|*", 0, "b", "", ""},
    {"x|^*y", 0, "y", "y", ""},
    {"abc**", 0, "xabccc", "abccc", ""},
    {"abc*+d", 0, "abccd abd", "abccd", ""},
    // Class escapes inside sets; members above 0x7F compare unsigned.
    {"[\\d]+", 0, "ab123c", "123", ""},
    {"[^\\d]+", 0, "12ab3", "ab", ""},
    {"[\\s]+", 0, "a" + ws + "b", ws, ""},
    {"[\\S]+", 0, "  a\xF0\x9F\x98\x80 b", "a\xF0\x9F\x98\x80", ""},
    {"[\\0]", 0, std::string("a\0", 2), std::string("\0", 1), ""},
    {"[x\\0]+", 0, std::string("ax\0x", 4), std::string("x\0x", 3), ""},
    {"[\xE9]", 0, "caf\xE9", "\xE9", ""},
    {"[^\xE9]+", 0, "\xE9\xE8\xE9", "\xE8", ""},
    {"\\s+", 0, "a" + ws + "b", ws, ""},
    {"\\S+", 0, ws + "\x80\xFF", "\x80\xFF", ""},
    {"\\d+", 0,
     "\xB2"
     "7",
     "7", ""},
    {"(\\d)\\d", 0, "42", "42", "4"},
};

TEST(RxMatch, Table) {
    for (const auto &c : cases) {
        SCOPED_TRACE("pattern '" + c.pattern + "' subject '" + c.subject + "'");
        // The subject in a buffer of exactly its length: no terminator to lean on.
        std::vector<char> subject(c.subject.begin(), c.subject.end());
        const char *data = subject.empty() ? "" : subject.data();
        int len = static_cast<int>(subject.size());
        EXPECT_EQ(plain_search(c.pattern, c.options, c.subject), c.whole);

        regex_program r;
        ASSERT_EQ(rx_compile(&r, c.options, c.pattern.c_str()), nullptr);
        std::vector<char> buffers(static_cast<size_t>(r.capture_count + 1) * 64, 'Z');
        const char *got;
        if (r.capture_count == 0)
            got = rx_match(c.options, c.pattern.c_str(), data, len);
        else if (r.capture_count == 1)
            got = rx_match(c.options, c.pattern.c_str(), data, len, RX_STRING, 64, buffers.data());
        else
            got = rx_match(c.options, c.pattern.c_str(), data, len, RX_STRING, 64, buffers.data(),
                           RX_STRING, 64, buffers.data() + 64);
        if (c.whole == "-") {
            EXPECT_STREQ(got, no_match);
            EXPECT_EQ(buffers[0], 'Z');
        } else {
            EXPECT_EQ(got, nullptr) << got;
            if (r.capture_count > 0) {
                EXPECT_STREQ(buffers.data(), c.group1.c_str());
            }
        }
    }
}

TEST(RxMatch, SearchesEveryStartPositionOnce) {
    // The first-byte shortcut agrees with the plain search on subjects where
    // the possible first bytes occur often, rarely and not at all.
    const char *patterns[] = {"[?&]to=([^&]*)", "a+b", "\\d\\d", "[xyz]q", "\\sx", "(b)c"};
    const char *subjects[] = {"",
                              "?&&?to=&to=1",
                              "aaab",
                              "x1y22",
                              "zzzq",
                              " \tx",
                              "abcbc",
                              "&to&to=&&",
                              "\xE1"
                              "a\xE1"
                              "b"};
    for (const char *p : patterns) {
        for (const char *s : subjects) {
            for (int options : {0, RX_IGNORE_CASE}) {
                SCOPED_TRACE(std::string(p) + " on " + s);
                std::string expect = plain_search(p, options, s);
                char group[32] = "";
                const char *got =
                    rx_match(options, p, s, static_cast<int>(strlen(s)), RX_STRING, 32, group);
                EXPECT_EQ(got == nullptr, expect != "-");
            }
        }
    }
}

TEST(RxMatch, Messages) {
    char buf[8] = "keep";
    int value = 7;
    // A compile error comes first and reads no triple, even for an empty subject.
    EXPECT_STREQ(rx_match(0, "(a", "", 0), "No closing bracket");
    EXPECT_STREQ(rx_match(0, "a", "b", 1), no_match);
    EXPECT_STREQ(rx_match(0, "(b)", "abc", 3, 3, 4, &value),
                 "Unknown type, expected RX_(INT|FLOAT|STRING)");
    EXPECT_STREQ(rx_match(0, "(b)", "abc", 3, RX_INT, 3, &value), "RX_INT: unsupported size");
    EXPECT_STREQ(rx_match(0, "(b)", "abc", 3, RX_FLOAT, 2, &value), "RX_FLOAT: unsupported size");
    EXPECT_STREQ(rx_match(0, "(x)", "x", 1, RX_INT, 4, &value), "RX_INT: capture failed");
    EXPECT_STREQ(rx_match(0, "(x)", "x", 1, RX_FLOAT, 8, &value), "RX_FLOAT: capture failed");
    EXPECT_EQ(value, 7);
    EXPECT_STREQ(rx_match(0, "(abc)", "abc", 3, RX_STRING, 3, buf),
                 "RX_STRING: buffer size too small");
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(rx_match(0, "(abc)", "abc", 3, RX_STRING, 4, buf), nullptr);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(rx_match(0, "a()", "a", 1, RX_STRING, 1, buf), nullptr);
    EXPECT_STREQ(buf, "");
    // Every group is converted; the last one's result is returned.
    char small[2] = "k", large[8] = "";
    EXPECT_EQ(rx_match(0, "(ab)(cd)", "abcd", 4, RX_STRING, 2, small, RX_STRING, 8, large),
              nullptr);
    EXPECT_STREQ(small, "k");
    EXPECT_STREQ(large, "cd");
    EXPECT_STREQ(rx_match(0, "(ab)(cd)", "abcd", 4, RX_STRING, 8, large, RX_STRING, 2, small),
                 "RX_STRING: buffer size too small");
    EXPECT_STREQ(large, "ab");
}

TEST(RxMatch, MissingOrNegativeSubjectIsEmpty) {
    // Anchored patterns run the matcher on the empty subject, whose loops and
    // memchr must not see a null pointer or a negative length.
    struct {
        const char *pattern;
        bool matches;
    } empty_cases[] = {{"^[^&]*", true}, {"^.*", true}, {"^a*", true},
                       {"^(x*)$", true}, {"^a", false}, {"a*", false}};
    const char text[] = "abc&";
    for (const auto &c : empty_cases) {
        for (int length : {0, -1, -100}) {
            for (const char *subject : {static_cast<const char *>(nullptr), text}) {
                if (subject == text && length == 0) continue;
                SCOPED_TRACE(std::string(c.pattern) + " length " + std::to_string(length));
                char group[4] = "k";
                const char *got = rx_match(0, c.pattern, subject, length, RX_STRING, 4, group);
                EXPECT_EQ(got == nullptr, c.matches) << (got ? got : "");
            }
        }
    }
}

template <typename T>
const char *match_number(const char *pattern, const std::string &subject, T *out) {
    // The subject without a terminator, so a scan past the capture would show.
    std::vector<char> bytes(subject.begin(), subject.end());
    int type = std::is_floating_point<T>::value ? RX_FLOAT : RX_INT;
    return rx_match(0, pattern, bytes.data(), static_cast<int>(bytes.size()), type,
                    static_cast<int>(sizeof(T)), out);
}

TEST(RxMatch, IntegerCaptures) {
    int8_t i8 = 0;
    int16_t i16 = 0;
    int32_t i32 = 0;
    int64_t i64 = 0;
    EXPECT_EQ(match_number("(\\d+)", "ab123c", &i8), nullptr);
    EXPECT_EQ(match_number("(\\d+)", "ab123c", &i16), nullptr);
    EXPECT_EQ(match_number("(\\d+)", "ab123c", &i32), nullptr);
    EXPECT_EQ(match_number("(\\d+)", "ab123c", &i64), nullptr);
    EXPECT_EQ(i8, 123);
    EXPECT_EQ(i16, 123);
    EXPECT_EQ(i32, 123);
    EXPECT_EQ(i64, 123);
    EXPECT_EQ(match_number("(\\d)\\d", "42", &i32), nullptr);
    EXPECT_EQ(i32, 4);
    EXPECT_EQ(match_number("(.*)", " \t-17kg", &i32), nullptr);
    EXPECT_EQ(i32, -17);
    EXPECT_EQ(match_number("(.*)", "+5", &i32), nullptr);
    EXPECT_EQ(i32, 5);
    EXPECT_EQ(match_number("(.*)", "-128", &i8), nullptr);
    EXPECT_EQ(i8, -128);
    EXPECT_EQ(match_number("(.*)", "-32768", &i16), nullptr);
    EXPECT_EQ(i16, -32768);
    EXPECT_EQ(match_number("(.*)", "-9223372036854775808", &i64), nullptr);
    EXPECT_EQ(i64, INT64_MIN);
    EXPECT_EQ(match_number("(.*)", "9223372036854775807", &i64), nullptr);
    EXPECT_EQ(i64, INT64_MAX);

    i32 = 99;
    const char *failed = "RX_INT: capture failed";
    const struct {
        const char *pattern;
        std::string subject;
        int size;
    } failures[] = {
        {"x(\\d*)", "x", 4},                    // empty capture
        {"(.*)", "-", 4},                       // a sign without digits
        {"(.*)", "  ", 4},                      // white space only
        {"(.*)", "128", 1},                     // out of range
        {"(.*)", "-129", 1},                    //
        {"(.*)", "2147483648", 4},              //
        {"(.*)", "9223372036854775808", 8},     //
        {"(.*)", "99999999999999999999999", 8}, //
        {"( +)\\d+", "  42", 4},                // the digits lie after the capture
    };
    for (const auto &f : failures) {
        SCOPED_TRACE(f.subject);
        int64_t out = 99;
        std::vector<char> bytes(f.subject.begin(), f.subject.end());
        EXPECT_STREQ(rx_match(0, f.pattern, bytes.data(), static_cast<int>(bytes.size()), RX_INT,
                              f.size, &out),
                     failed);
        EXPECT_EQ(out, 99);
    }
}

TEST(RxMatch, FloatCaptures) {
    double d = 0;
    float f = 0;
    EXPECT_EQ(match_number("(\\d+)", "ab123c", &d), nullptr);
    EXPECT_EQ(d, 123.0);
    EXPECT_EQ(match_number("(\\d+)", "ab123c", &f), nullptr);
    EXPECT_EQ(f, 123.0f);
    EXPECT_EQ(match_number("(.*)", " -2.5e1x", &d), nullptr);
    EXPECT_EQ(d, -25.0);
    EXPECT_EQ(match_number("(.*)", "inf", &d), nullptr);
    EXPECT_TRUE(std::isinf(d));
    EXPECT_EQ(match_number("(\\d)\\d", "75", &d), nullptr);
    EXPECT_EQ(d, 7.0);
    d = 1;
    const char *failed = "RX_FLOAT: capture failed";
    EXPECT_STREQ(match_number("(.*)", "1e400", &d), failed);
    EXPECT_STREQ(match_number("(.*)", "1e39", &f), failed);
    EXPECT_STREQ(match_number("x(\\d*)", "x", &d), failed);
    EXPECT_STREQ(match_number("(.*)", ".", &d), failed);
    EXPECT_STREQ(match_number("(.*)", std::string(200, '1'), &d), failed); // cannot be read whole
    EXPECT_EQ(d, 1);
    EXPECT_EQ(match_number("(.*)", std::string(120, '1') + "e-100", &d), nullptr);
    EXPECT_NEAR(d, 1.111111e19, 1e14);
}

TEST(RxMatch, EveryGroupThatFitsGetsItsSpan) {
    // 62 nested groups around one byte fill the program to 254 bytes.
    std::string pattern = std::string(max_groups, '(') + "." + std::string(max_groups, ')');
    char out[max_groups][2] = {};
#define T(i) RX_STRING, 2, out[i]
#define T10(i)                                                                                     \
    T(i), T(i + 1), T(i + 2), T(i + 3), T(i + 4), T(i + 5), T(i + 6), T(i + 7), T(i + 8), T(i + 9)
    static_assert(max_groups == 62, "the call below passes 62 triples");
    const char *got = rx_match(0, pattern.c_str(), "ax", 2, T10(0), T10(10), T10(20), T10(30),
                               T10(40), T10(50), T(60), T(61));
#undef T10
#undef T
    ASSERT_EQ(got, nullptr);
    for (int i = 0; i < max_groups; i++) EXPECT_STREQ(out[i], "a") << "group " << i + 1;
    regex_program r;
    EXPECT_EQ(rx_compile(&r, 0, pattern.c_str()), nullptr);
    EXPECT_EQ(r.code_size, 254);
}

void *long_capture(void *result) {
    std::string query = "?body=" + std::string(32 * 1024, 'x') + "&cc=y";
    static char value[40 * 1024];
    *static_cast<const char **>(result) =
        rx_match(RX_IGNORE_CASE, "[?&]body=([^&]*)", query.data(), static_cast<int>(query.size()),
                 RX_STRING, static_cast<int>(sizeof value), value);
    if (!*static_cast<const char **>(result) && strlen(value) != 32 * 1024)
        *static_cast<const char **>(result) = "wrong length";
    return nullptr;
}

TEST(RxMatch, LongCaptureOnASmallStack) {
    // The loops iterate; they do not recurse once per byte.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t thread;
    const char *result = "not run";
    ASSERT_EQ(pthread_create(&thread, &attr, long_capture, &result), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(result, nullptr) << result;
}

TEST(RxMatchDeathTest, DamagedProgramsStopTheProcess) {
    regex_program r;
    ASSERT_EQ(rx_compile(&r, 0, "ab"), nullptr);
    int pos = 0;
    regex_program cut = r;
    cut.code_size = 3; // the run ends before its OP_END
    EXPECT_DEATH(rx_run(&cut, 0, "ab", 2, &pos, nullptr), "rx: .*pc < r->code_size");
    regex_program bad = r;
    bad.code[2] = 99;
    // The opcode goes to standard output; show it where the death test looks.
    EXPECT_DEATH(
        {
            dup2(2, 1);
            rx_run(&bad, 0, "ab", 2, &pos, nullptr);
        },
        "unknown cmd \\(99\\) at 2");
}

} // namespace
