// `history show --html`: one self-contained page of trend charts, made like
// the report's pages (the same inlined charting library, the same policy
// that nothing is fetched).
#pragma once

#include <string>
#include <vector>

#include "store/history_check.h"

std::string historyPage(const std::vector<FigureSeries>& series, const std::vector<Finding>& findings,
                        const std::string& generator);

// Writes the page beside its final name and moves it there; false with error set.
bool writeHistoryPage(const std::string& path, const std::vector<FigureSeries>& series,
                      const std::vector<Finding>& findings, std::string& error);
