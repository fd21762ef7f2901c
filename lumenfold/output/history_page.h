// `history show --html`: one self-contained page of trend charts, in the
// page shell every page shares, with the report's inlined charting library.
#pragma once

#include <string>
#include <vector>

#include "output/page_shell.h"
#include "store/history_check.h"

// generator names the program and version that wrote the page.
std::string historyPage(const std::vector<Series>& series, const std::vector<Finding>& findings,
                        const ChartLibrary& library, const std::string& generator);
