// Replacement of every occurrence of a substring.
#pragma once

// Returns a new heap string (release it with free()) that is text with every
// occurrence of pattern, taken from left to right without overlap, replaced by
// replacement; a null replacement counts as the empty string. Returns null when
// text or pattern is null, the pattern is empty or does not occur, or memory
// runs out. Replacements are never searched again.
char *str_replace(const char *text, const char *pattern, const char *replacement);
