// Percent-encoding of values for a web address.
//
// Every function here returns a new heap string that the caller releases with
// free(), or null when memory runs out. No input is changed or kept.
#pragma once

// The hexadecimal digit ('0' to '9', 'a' to 'f') of the low four bits of value.
char to_hex(char value);

// Encodes a query value: the unreserved bytes of RFC 3986 stay, a space becomes
// '+', an existing '%' + two hex digits triplet passes unchanged, and every other
// byte becomes a lower-case '%' escape.
char *url_encode(const char *text);

// Escapes only the bytes that are unsafe in an address (controls, space, '"',
// '#', '&', '+', '<', '>', '\\', '^', '`', '{', '|', '}', 0x7F to 0xFF, and a
// '%' that begins no triplet); everything else keeps its spelling.
char *url_escape_recipient(const char *text);

// Escapes every byte but A-Z, a-z, 0-9, '-', '_', '.' and '~', '%' included, so
// that one decoding gives the text back exactly.
char *url_escape_component(const char *text);
