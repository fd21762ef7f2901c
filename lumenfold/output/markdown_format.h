// report and compare as GitHub-flavoured Markdown, to paste where a team
// discusses a result (a merge request, an issue).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/compare.h"
#include "model/context_file.h"

// Text as every format shows it (what came from a file has been through
// displayText when it was read) made safe inside a table cell or a line: a
// backslash before every character Markdown would act on (| ends a cell;
// * _ ` ~ [ ] < > # & start emphasis, code, links, HTML, headings,
// entities; \ would escape the next), so the reader sees exactly what the
// text report shows.
std::string markdownText(std::string_view text);

std::string markdownReport(const std::vector<ReportedRun>& runs);
std::string markdownComparison(const Comparison& comparison);
