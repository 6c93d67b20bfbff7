// The query fields: what the link gives and what the template line becomes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "handler.h"
#include "mail_fields.h"

namespace {

const std::string test_body = "Thank you for using Brindlequillworth.  This is a testing message "
                              "that is shown when you run the mailto handler application directly.";

struct extract_case {
    std::string link;
    std::string subject, body, cc, bcc, to;
};

TEST(MailFields, Extraction) {
    const extract_case cases[] = {
        {test_link, "Hello", test_body, "", "", ""},
        {"mailto:ann?Subject=Hi", "Hi", "", "", "", ""},
        {"mailto:ann?SUBJECT=Hi&BoDy=b", "Hi", "b", "", "", ""},
        {"mailto:ann?bcc=x&cc=y", "", "", "y", "x", ""},
        {"mailto:ann?subject=one&subject=two", "one", "", "", "", ""},
        {"mailto:ann?subject=&body=b", "", "b", "", "", ""},
        {"mailto:ann?subject&body=b", "", "b", "", "", ""},
        {"mailto:ann", "", "", "", "", ""},
        {"mailto:ann?body=50%25+off", "", "50%25+off", "", "", ""},
        {"mailto:ann?subject=Good day", "Good day", "", "", "", ""},
        {"mailto:ann?subject=a?cc=b", "a?cc=b", "", "b", "", ""},
        {"mailto:a@x.org?to=b@x.org&To=c", "", "", "", "", "b@x.org"},
        {"mailto:ann?xsubject=no&subject=yes", "yes", "", "", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.link);
        size_t q = strcspn(c.link.c_str(), "?");
        field_set set = extract_mail_fields(c.link.c_str(), c.link.c_str() + q);
        EXPECT_STREQ(set.fields[0].field_value, c.subject.c_str());
        EXPECT_STREQ(set.fields[1].field_value, c.body.c_str());
        EXPECT_STREQ(set.fields[2].field_value, c.cc.c_str());
        EXPECT_STREQ(set.fields[3].field_value, c.bcc.c_str());
        EXPECT_STREQ(set.to_value, c.to.c_str());
        EXPECT_STREQ(set.fields[0].placeholder_text, "%SUBJ%");
        EXPECT_STREQ(set.fields[3].placeholder_text, "%BCC%");
        release_mail_fields(&set);
    }
}

struct fill_case {
    std::string link;
    std::string line;
    std::string address; // "" for nothing launched
};

const fill_case fill_cases[] = {
    {test_link, "h/%RECI%?s=%SUBJ%&b=%BODY%&c=%CC%&d=%BCC%",
     "h/someone@example.com?s=Hello&b=Thank+you+for+using+Brindlequillworth.++This+is+a+testing+"
     "message+that+is+shown+when+you+run+the+mailto+handler+application+directly.&c=&d="},
    {"mailto:ann", "h/%RECI%?s=%SUBJ%&b=%BODY%", "h/ann?s=&b="},
    {"mailto:ann?body=50%25+off", "h/%RECI%/%BODY%", "h/ann/50%25%2boff"},
    {"mailto:ann?subject=Good day", "h/%RECI%/%SUBJ%", "h/ann/Good+day"},
    {"mailto:ann?subject=x", "h/%RECI%/%SUBJ%/%SUBJ%", "h/ann/x/x"},
    {"mailto:ann?subject=x", "h/%RECI%/%subj%/%SUBJ", "h/ann/%subj%/%SUBJ"},
    {"mailto:ann?bcc=x&cc=y", "h/%RECI%/%CC%/%BCC%", "h/ann/y/x"},
    {"mailto:ann?subject=a?cc=b", "h/%RECI%/%SUBJ%/%CC%", "h/ann/a%3fcc%3db/b"},
    // A value is never searched again for placeholders.
    {"mailto:ann?subject=%CC%&cc=x", "h/%RECI%/%SUBJ%", "h/ann/%CC%25"},
    {"mailto:ann?subject=Cafe%CC%81&cc=x", "h/%RECI%/%SUBJ%/%CC%", "h/ann/Cafe%CC%81/x"},
    {"mailto:ann?subject=%RECI%", "h/%RECI%/%SUBJ%", "h/ann/%25RECI%25"},
    {"mailto:%RECI%", "h/%RECI%", "h/%25RECI%25"},
    // An empty value does not join its neighbours into a new placeholder.
    {"mailto:ann", "h/%%BCC%RECI%", "h/%RECI%"},
    // The "to" field joins the recipient.
    {"mailto:?to=a@x.org", "h/%RECI%", "h/a@x.org"},
    {"mailto:a@x.org?to=b@x.org", "h/%RECI%", "h/a@x.org,b@x.org"},
    {"mailto:a@x.org?TO=b@x.org&to=c", "h/%RECI%", "h/a@x.org,b@x.org"},
    {"mailto:ann?to=", "h/%RECI%", "h/ann"},
    {"mailto:?to=a+b@x.org&subject=s", "h/%RECI%/%SUBJ%", "h/a%2bb@x.org/s"},
    {"mailto:?subject=s", "h/%RECI%/%SUBJ%", "h//s"},
    // %URL%: the whole link for one decoding; enough without %RECI%.
    {"mailto:ann@x.org?subject=Hi there&body=50%25", "https://mail.proton.me/inbox/#mailto=%URL%",
     "https://mail.proton.me/inbox/#mailto=mailto%3aann%40x.org%3fsubject%3dHi%20there%26body%"
     "3d50%2525"},
    {"mailto:%RECI%", "u/%URL%", "u/mailto%3a%25RECI%25"},
    {"mailto:ann", "u/%URL%/%RECI%", "u/mailto%3aann/ann"},
    {"mailto:ann", "h/to", ""},
    {"mailto:ann", "h/%SUBJ%", ""},
    {"ab cde", "h/%RECI%", ""},
};

TEST(MailFields, FillTemplate) {
    for (const auto &c : fill_cases) {
        SCOPED_TRACE(c.link + " into " + c.line);
        char *address = nullptr;
        compose_status status = fill_template(c.link.c_str(), c.line.c_str(), &address);
        if (c.address.empty()) {
            EXPECT_NE(status, compose_ok);
            EXPECT_EQ(address, nullptr);
        } else {
            EXPECT_EQ(status, compose_ok);
            ASSERT_NE(address, nullptr);
            EXPECT_EQ(std::string(address), c.address);
        }
        free(address);
    }
}

TEST(MailFields, LineWithoutPlaceholderIsReturnedItself) {
    const char *link = "mailto:ann?subject=x";
    field_set set = extract_mail_fields(link, link + 10);
    const char line[] = "h/to/%reci%/%subj%/%UR";
    EXPECT_EQ(substitute_mail_fields(line, &set), line);
    const char *filled = substitute_mail_fields("a%SUBJ%", &set);
    EXPECT_STREQ(filled, "ax");
    free(const_cast<char *>(filled));
    release_mail_fields(&set);
    release_mail_fields(&set); // safe on a released set too
}

TEST(MailFields, OutcomeNames) {
    char *address = nullptr;
    EXPECT_EQ(fill_template("mailto:ann", "h/to", &address), compose_no_recipient);
    EXPECT_EQ(fill_template("mailto", "h/%RECI%", &address), compose_no_link);
}

} // namespace
