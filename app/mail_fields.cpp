#include "mail_fields.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "rx.h"
#include "urlencode.h"

const mail_field mail_fields[mail_field_count] = {
    {"subject", "SUBJ"},
    {"body", "BODY"},
    {"cc", "CC"},
    {"bcc", "BCC"},
};
static_assert(std::size(mail_fields) == mail_field_count, "one row per field");

static const char to_name[] = "to";

// "[?&]" + name + "=([^&]*)": the fixed parts take 12 bytes, so names of up to
// 12 bytes fit.
constexpr size_t pattern_capacity = 25;

// A heap buffer of query length + 1 bytes holding the first value of the named
// field, or the empty string; null only when memory runs out.
static char *extract_value(const char *name, const char *query, size_t query_length) {
    char *value = static_cast<char *>(malloc(query_length + 1));
    if (!value) return nullptr;
    value[0] = 0;
    char pattern[pattern_capacity];
    int n = snprintf(pattern, sizeof pattern, "%s%s%s", "[?&]", name, "=([^&]*)");
    // A value is shorter than the query, so the buffer always has room for it.
    if (n > 0 && static_cast<size_t>(n) < sizeof pattern && query_length <= 0x7fffffff &&
        rx_match(RX_IGNORE_CASE, pattern, query, static_cast<int>(query_length), RX_STRING,
                 static_cast<int>(query_length + 1), value) != nullptr)
        value[0] = 0;
    return value;
}

static char *recipient_of(const char *to_part, size_t n, const char *to_value) {
    const char *to = to_value ? to_value : "";
    size_t m = strlen(to);
    char *joined = static_cast<char *>(malloc(n + 1 + m + 1));
    if (!joined) return nullptr;
    memcpy(joined, to_part, n);
    size_t used = n;
    if (n > 0 && m > 0) joined[used++] = ',';
    memcpy(joined + used, to, m + 1);
    char *recipient = url_escape_recipient(joined);
    free(joined);
    return recipient;
}

field_set extract_mail_fields(const char *link, const char *query) {
    field_set set;
    size_t query_length = strlen(query);
    for (unsigned int i = 0; i < mail_field_count; i++) {
        const char *token = mail_fields[i].placeholder;
        size_t n = strlen(token);
        char *text = static_cast<char *>(malloc(n + 3));
        if (text) {
            text[0] = '%';
            memcpy(text + 1, token, n);
            text[n + 1] = '%';
            text[n + 2] = 0;
        }
        set.fields[i].placeholder_text = text;
        set.fields[i].field_value = extract_value(mail_fields[i].query_name, query, query_length);
    }
    set.to_value = extract_value(to_name, query, query_length);
    set.recipient = recipient_of(link + scheme_length,
                                 static_cast<size_t>(query - link) - scheme_length, set.to_value);
    set.link = link;
    return set;
}

void release_mail_fields(field_set *fields) {
    for (unsigned int i = 0; i < mail_field_count; i++) {
        free(fields->fields[i].placeholder_text);
        free(fields->fields[i].field_value);
        fields->fields[i] = field_binding{nullptr, nullptr};
    }
    free(fields->to_value);
    free(fields->recipient);
    fields->to_value = fields->recipient = nullptr;
}

// The placeholders of one substitution: the four fields, %URL% and %RECI%.
constexpr unsigned int url_index = mail_field_count;
constexpr unsigned int recipient_index = mail_field_count + 1;
constexpr unsigned int placeholder_count = mail_field_count + 2;

struct placeholder {
    char text[8]; // '%' token '%'
    size_t length;
    const char *value; // encoded, or null before it is needed
    size_t value_length;
};

static void setup_placeholders(placeholder (&p)[placeholder_count]) {
    for (unsigned int i = 0; i < placeholder_count; i++) {
        const char *token = i < mail_field_count ? mail_fields[i].placeholder
                            : i == url_index     ? "URL"
                                                 : "RECI";
        snprintf(p[i].text, sizeof p[i].text, "%%%s%%", token);
        p[i].length = strlen(p[i].text);
        p[i].value = nullptr;
        p[i].value_length = 0;
    }
}

// Which placeholder begins at s, or -1.
static int placeholder_at(const char *s, const placeholder (&p)[placeholder_count]) {
    if (*s != '%') return -1;
    for (unsigned int i = 0; i < placeholder_count; i++)
        if (strncmp(s, p[i].text, p[i].length) == 0) return static_cast<int>(i);
    return -1;
}

// Writes line with every placeholder replaced by its value into out (when not
// null); returns the length of the result.
static size_t fill(const char *line, const placeholder (&p)[placeholder_count], char *out) {
    size_t used = 0;
    for (const char *s = line; *s;) {
        int k = placeholder_at(s, p);
        if (k < 0) {
            if (out) out[used] = *s;
            used++;
            s++;
            continue;
        }
        if (out && p[k].value_length) memcpy(out + used, p[k].value, p[k].value_length);
        used += p[k].value_length;
        s += p[k].length;
    }
    if (out) out[used] = 0;
    return used;
}

const char *substitute_mail_fields(const char *line, const field_set *fields) {
    placeholder p[placeholder_count];
    setup_placeholders(p);
    bool used[placeholder_count] = {};
    bool any = false;
    for (const char *s = line; *s; s++) {
        int k = placeholder_at(s, p);
        if (k >= 0) used[k] = any = true;
    }
    if (!any) return line;

    // Encode only what the line uses. A value whose encoding could not be had
    // is left empty.
    char *encoded[placeholder_count] = {};
    for (unsigned int i = 0; i < placeholder_count; i++) {
        if (!used[i]) continue;
        if (i < mail_field_count) {
            const char *value = fields->fields[i].field_value;
            encoded[i] = url_encode(value ? value : "");
            p[i].value = encoded[i];
        } else if (i == url_index) {
            encoded[i] = url_escape_component(fields->link ? fields->link : "");
            p[i].value = encoded[i];
        } else if (i == recipient_index) {
            p[i].value = fields->recipient; // escaped already
        }
        p[i].value_length = p[i].value ? strlen(p[i].value) : 0;
    }
    size_t length = fill(line, p, nullptr);
    char *result = static_cast<char *>(malloc(length + 1));
    if (result) fill(line, p, result);
    for (char *e : encoded) free(e);
    return result;
}
