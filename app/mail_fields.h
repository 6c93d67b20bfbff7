// The query fields of a mailto link and their placeholders in the template.
#pragma once

// What extract_mail_fields takes out of a link; opaque to the driver.
struct field_set {
    int unused;
};

// Takes the fields out of the query text (the link from its first '?' on).
field_set extract_mail_fields(const char *query);

// Fills the fields into the template line. Returns line itself when nothing was
// replaced, otherwise a new heap string that the caller owns.
const char *substitute_mail_fields(const char *line, const field_set *fields);

// Releases what extract_mail_fields made.
void release_mail_fields(field_set *fields);
