// rx: a small regular-expression engine for byte strings.
//
//   const char *rx_match(int options, const char *pattern,
//                        const char *subject, int length, ...);
//
// Compiles pattern, finds the first start position in subject[0, length) at
// which it matches, and converts the text of every capture group. For each group
// of the pattern, in the order of its '(', pass three arguments: the type
// (RX_STRING, RX_INT or RX_FLOAT), the size and a destination pointer:
//   RX_STRING  char buffer of that many bytes; receives the capture and a NUL
//              (the size must exceed the capture's length)
//   RX_INT     signed integer of 1, 2, 4 or 8 bytes
//   RX_FLOAT   float (4) or double (8)
// The triples are read only after a successful match, exactly one per group.
//
// Returns null on success (also for a pattern without groups), otherwise a
// static message that must not be freed: a compile error, "No match", or the
// message of the last group's conversion. Every group is converted even after
// a failure, and the last group's result is returned. A failed conversion
// leaves its destination untouched.
//
// Pattern language: literals, '.', '^', '$', '(...)', '|', '*', '+', '?', lazy
// '*?' and '+?', sets '[...]' and '[^...]' without ranges, '\s' '\S' '\d'
// (inside sets too), '\0' '\n' '\r' '\t', and '\' before any other byte for
// that byte. Alternation commits to the first alternative that matches at a
// position. A pattern that begins with '^' is tried at position 0 only; other
// patterns are never tried at position length, so they do not match an empty
// subject.
//
// Captures:
// - A group that took no part in the match (inside a '*' body, in an untaken
//   alternative, or in an optional atom that did not match) yields what a pass
//   through it left during the search, if any; a group that no pass completed
//   yields the empty string, and "capture failed" as a number. Inside '+' a
//   group holds its first iteration.
// - Numbers are read inside the capture only: leading white space, an optional
//   sign, then as much of a number as fits; trailing bytes are ignored. An empty
//   capture, one without a number, and a number outside the type's range give
//   "RX_INT: capture failed" or "RX_FLOAT: capture failed".
//
// Compiling and matching allocate nothing, and the subject need not be
// NUL-terminated: no byte outside subject[0, length) is read. A null subject
// or a negative length counts as the empty subject. The engine has no
// state between calls and is safe to call from several threads.
#pragma once

// Capture types.
constexpr int RX_STRING = 0;
constexpr int RX_INT = 1;
constexpr int RX_FLOAT = 2;

// Option bit: literal runs compare without regard to ASCII letter case.
constexpr int RX_IGNORE_CASE = 1;

const char *rx_match(int options, const char *pattern, const char *subject, int length, ...);
