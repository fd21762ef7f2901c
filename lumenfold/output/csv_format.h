// CSV for spreadsheets: the report, a comparison, history's change points,
// its list of runs and its alerts, each a header line and one row per entry.
#pragma once

#include <string>
#include <vector>

#include "analysis/alerts.h"
#include "analysis/compare.h"
#include "model/context_file.h"
#include "store/history_check.h"
#include "store/history_store.h"

std::string csvReport(const std::vector<ReportedRun>& runs);
// Its notes and warnings have no place in the rows: the caller shows
// comparisonNotes on standard error.
std::string csvComparison(const Comparison& comparison);
std::string csvFindings(const std::vector<Finding>& findings, size_t seriesChecked);
std::string csvRunList(const std::vector<StoredRun>& runs);
std::string csvAlerts(const std::vector<Alert>& alerts, const std::vector<long long>& groups);

// A field quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text);
