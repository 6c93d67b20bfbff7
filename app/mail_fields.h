// The query fields of a mailto link and their placeholders in the template.
//
// extract_mail_fields takes the values out of the link, raw; the substitution
// fills the template line in one pass from left to right, so an inserted value
// is never searched again.
#pragma once

#include <cstddef>

// The recipient starts after "mailto:", whatever those seven bytes are.
constexpr size_t scheme_length = 7;

struct mail_field {
    const char *query_name;  // the query parameter, matched without regard to case
    const char *placeholder; // the template token without its percent signs
};

constexpr unsigned int mail_field_count = 4;
extern const mail_field mail_fields[mail_field_count]; // subject, body, cc, bcc

struct field_binding {
    char *placeholder_text; // '%' token '%', on the heap (null if out of memory)
    char *field_value;      // the raw value, on the heap (null if out of memory)
};

struct field_set {
    field_binding fields[mail_field_count]; // in table order
    char *to_value;   // the raw value of the first "to" field (null if out of memory)
    char *recipient;  // for %RECI%: the to-part and the "to" field, escaped (null if out of memory)
    const char *link; // the whole link, for %URL%; the driver's, not the set's
};

// Takes every field's first value out of query, the tail of link from its first
// '?' on (at least 7 bytes in), and the recipient: the to-part after the
// scheme, then a ',' and the "to" field when both are present, with the bytes
// that are unsafe in an address escaped. A field that is missing, or whose
// memory could not be had, is empty.
field_set extract_mail_fields(const char *link, const char *query);

// Fills %RECI%, %SUBJ%, %BODY%, %CC%, %BCC% (values URL-encoded) and %URL% (the
// whole link, escaped for one decoding) into line in one pass. Returns line itself
// when it holds none of them, a new heap string that the caller owns when it
// does, or null when memory runs out.
const char *substitute_mail_fields(const char *line, const field_set *fields);

// Releases what extract_mail_fields made; safe on any set it returned.
void release_mail_fields(field_set *fields);
