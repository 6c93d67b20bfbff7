#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "strrep.h"
#include "urlencode.h"

namespace {

struct encode_case {
    std::string in;
    std::string out;
};

using encoder = char *(*)(const char *);

void expect_encodes(encoder encode, const encode_case &c) {
    SCOPED_TRACE("input '" + c.in + "'");
    char *got = encode(c.in.c_str());
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(std::string(got), c.out);
    free(got);
}

TEST(UrlEncode, Cases) {
    const encode_case cases[] = {
        {"", ""},
        {"Hello World", "Hello+World"},
        {"a+b", "a%2bb"},
        {"x&y=z", "x%26y%3dz"},
        {"a/b?c#d", "a%2fb%3fc%23d"},
        {"A-Z_a.z~09", "A-Z_a.z~09"},
        {"!*()", "%21%2a%28%29"},
        {"%20", "%20"},
        {"%2F", "%2F"},
        {"50%", "50%25"},
        {"%", "%25"},
        {"%%41", "%25%41"},
        {"%4", "%254"},
        {"%4g", "%254g"},
        {"%zz", "%25zz"},
        {"50%25+off", "50%25%2boff"},
        {"\xE9\x80\xFF\x7F\x01\n\r\t", "%e9%80%ff%7f%01%0a%0d%09"},
        {"caf\xC3\xA9 au lait", "caf%c3%a9+au+lait"},
    };
    for (const auto &c : cases) expect_encodes(url_encode, c);
}

TEST(UrlEncode, WorstCaseFillsItsBufferExactly) {
    std::string in(1000, '\xFF');
    char *got = url_encode(in.c_str());
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(strlen(got), 3 * in.size());
    free(got);
}

TEST(UrlEncode, ToHexUsesTheLowFourBits) {
    EXPECT_EQ(to_hex(0), '0');
    EXPECT_EQ(to_hex(9), '9');
    EXPECT_EQ(to_hex(10), 'a');
    EXPECT_EQ(to_hex(15), 'f');
    EXPECT_EQ(to_hex(0x3C), 'c');
    EXPECT_EQ(to_hex(static_cast<char>(0xF7)), '7');
}

TEST(RecipientEscape, KeepsSafeSpellingAndEscapesTheRest) {
    const encode_case cases[] = {
        {"ann@example.com", "ann@example.com"},
        {"a%40b", "a%40b"},
        {"a,b@x.org", "a,b@x.org"},
        {"ann+news@example.com", "ann%2bnews@example.com"},
        {"a b", "a%20b"},
        {"x&su=hi", "x%26su=hi"},
        {"\\\\host\\share", "%5c%5chost%5cshare"},
        {"j\xC3\xB6rg@x.de", "j%c3%b6rg@x.de"},
        {"50%", "50%25"},
        {"%4g%", "%254g%25"},
        {"\"<>#^`{|}\x7F\x1F", "%22%3c%3e%23%5e%60%7b%7c%7d%7f%1f"},
        {"a/b:c;d=e!$'()*~", "a/b:c;d=e!$'()*~"},
    };
    for (const auto &c : cases) expect_encodes(url_escape_recipient, c);
}

TEST(ComponentEscape, EscapesAllButUnreserved) {
    const encode_case cases[] = {
        {"mailto:a@x.org?subject=Hi%20there&body=a+b",
         "mailto%3aa%40x.org%3fsubject%3dHi%2520there%26body%3da%2bb"},
        {"A-Z_a.z~09", "A-Z_a.z~09"},
        {"\xC3\xA9 ", "%c3%a9%20"},
    };
    for (const auto &c : cases) expect_encodes(url_escape_component, c);
}

struct replace_case {
    const char *text;
    const char *pattern;
    const char *replacement;
    const char *out; // null: no replacement
};

TEST(StrReplace, Cases) {
    const replace_case cases[] = {
        {"abc", "x", "y", nullptr},
        {"", "x", "y", nullptr},
        {nullptr, "x", "y", nullptr},
        {"abc", nullptr, "y", nullptr},
        {"abc", "", "y", nullptr},
        {"ABC", "b", "y", nullptr},
        {"a-b-c", "-", nullptr, "abc"},
        {"aaaa", "aa", "b", "bb"},
        {"aaa", "aa", "b", "ba"},
        {"x%A%y", "%A%", "p%A%q", "xp%A%qy"},
        {"abc", "abc", "abc", "abc"},
        {"abc", "b", "", "ac"},
        {"ZZx", "ZZ", "r", "rx"},
        {"xZZ", "ZZ", "r", "xr"},
        {"ZZ", "ZZ", "", ""},
        {"h/%RECI%/%RECI%", "%RECI%", "ann", "h/ann/ann"},
        {"short", "o", "a much longer text", "sha much longer textrt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("text '") + (c.text ? c.text : "(null)") + "' pattern '" +
                     (c.pattern ? c.pattern : "(null)") + "'");
        char *got = str_replace(c.text, c.pattern, c.replacement);
        if (!c.out) {
            EXPECT_EQ(got, nullptr);
        } else {
            ASSERT_NE(got, nullptr);
            EXPECT_STREQ(got, c.out);
            EXPECT_NE(got, c.text);
        }
        free(got);
    }
}

} // namespace
