#include "output/markdown_table.h"

std::string markdownText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (std::string_view("\\|*_`~[]<>#&").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

namespace {

std::string row(const std::vector<std::string>& cells) {
    std::string out = "|";
    for (const std::string& cell : cells) {
        std::string escaped = markdownText(cell);
        for (char& c : escaped)
            if (c == '\n' || c == '\r') c = ' ';
        out += " " + escaped + " |";
    }
    return out + "\n";
}

}  // namespace

MarkdownTable::MarkdownTable(std::vector<MarkdownColumn> columns) : columns_(std::move(columns)) {}

void MarkdownTable::add(std::vector<std::string> cells) {
    cells.resize(columns_.size());
    rows_ += row(cells);
}

std::string MarkdownTable::text() const {
    std::vector<std::string> names;
    for (const MarkdownColumn& column : columns_) names.push_back(column.name);
    std::string out = row(names) + "|";
    for (const MarkdownColumn& column : columns_) out += column.right ? " ---: |" : " --- |";
    return out + "\n" + rows_;
}
