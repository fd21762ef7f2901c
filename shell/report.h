#pragma once
#include <cstddef>
#include <cstdio>

#include "text_format.h"

// Room for the longest report line the programs write.
constexpr size_t reportLineCapacity = 256;

// A double as the default stream format writes it: six significant digits,
// "%g" style, "inf" for infinity and "-nan(ind)" for every not-a-number, so
// results files read the same whatever C library wrote them.
void formatNumber(char* out, size_t capacity, double value);

// prefix + number + suffix into out (reportLineCapacity bytes).
void formatNumberLine(char* out, const char* prefix, double value, const char* suffix);
void formatNumberLine(char* out, NumberLine format, double value);
// prefix + decimal integer into out (reportLineCapacity bytes).
void formatIntegerLine(char* out, const char* prefix, long value);

// One line to one sink: the text, a newline, then a flush, so nothing waits
// in a buffer if the run ends abruptly. False, with errno set, when any part
// of it failed; a null sink drops the line and counts as success.
bool writeLineTo(FILE* sink, const char* text);
