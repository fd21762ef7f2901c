// Markdown's one escaper and one table writer: every table lumenfold writes
// in Markdown (report, compare, history) goes through them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text as every format shows it (what came from a file has been through
// displayText when it was read) made safe inside a table cell or a line: a
// backslash before every character Markdown would act on (| ends a cell;
// * _ ` ~ [ ] < > # & start emphasis, code, links, HTML, headings,
// entities; \ would escape the next), so the reader sees exactly what the
// text report shows.
std::string markdownText(std::string_view text);

struct MarkdownColumn {
    std::string name;
    bool right = false;   // aligned right: numbers
};

// A table: the header, its alignment row and a row per entry, every cell
// (our own words and numbers too: a file name may sit inside any of them)
// escaped, a line break in one written as a space so that a row stays a line.
class MarkdownTable {
public:
    explicit MarkdownTable(std::vector<MarkdownColumn> columns);
    // As many cells as columns; missing ones are empty, extra ones dropped.
    void add(std::vector<std::string> cells);
    std::string text() const;

private:
    std::vector<MarkdownColumn> columns_;
    std::string rows_;
};
