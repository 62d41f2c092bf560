#pragma once

#include <cstddef>

// Pure operations on the text of a request head: no sockets, no state. Texts are 8-bit and compared
// byte for byte, case-sensitively.

// Copies source into destination, which holds capacity bytes and always ends with a NUL, up to the stop
// character: 1 when the copy stopped there; 0 when a CR or the end of the text came first, or when the
// destination was full (at most capacity - 1 characters are copied). The stop test comes first, so a
// token copied with CR as its stop character ends successfully at the CR.
int CopyToken(char* destination, std::size_t capacity, const char* source, char stop);

// The position just behind the first occurrence of needle in text, or null.
const char* FindAfter(const char* text, const char* needle);

// Looks at bytes[from] to bytes[to - 1] of a head being read for its end: byte i is LF, i is at least 4,
// and bytes i-1, i-2 and i-3 are CR, LF and CR. Returns the length of the head up to that LF (i + 1), or
// 0 when it is not there. Bytes before from may be looked at, never bytes from to on.
std::size_t FindHeadEnd(const char* bytes, std::size_t from, std::size_t to);

// Whether the presented text equals the expected one. Every byte of presented is compared, whatever
// matched before, so the time taken tells nothing about how much of expected was guessed right.
bool SameTextInConstantTime(const char* presented, const char* expected);
