// Text that came from a file (a line, a file name, a GL string) made safe to
// show: results files travel between machines, and nothing in one may drive
// the terminal, spreadsheet or browser of the person reading it.
#pragma once

#include <string>
#include <string_view>

// Printable text and valid UTF-8 stay as they are; control characters (C0,
// DEL, C1), bytes that are not valid UTF-8 and the invisible bidirectional
// overrides become \xHH (\uHHHH for the overrides), and a backslash becomes
// \\ so that an escape cannot be forged. The result is always valid UTF-8.
std::string displayText(std::string_view text);

// At most about maxBytes of text, cut at a character boundary, "..." marking the cut.
std::string displayExcerpt(std::string_view text, size_t maxBytes);

// "1 run", "3 runs".
std::string runCount(size_t runs);
