// Plain text for people at a terminal: the report, a comparison, history's
// change points, its list of runs and its alerts.
#pragma once

#include <string>
#include <vector>

#include "analysis/alerts.h"
#include "analysis/compare.h"
#include "model/context_file.h"
#include "store/history_check.h"
#include "store/history_store.h"

// A validation run (so marked in its context file) is listed with a note
// and no figures: it was not made to measure.
std::string textReport(const std::vector<ReportedRun>& runs);
std::string textComparison(const Comparison& comparison);
std::string textFindings(const std::vector<Finding>& findings, size_t seriesChecked);
std::string textRunList(const std::vector<StoredRun>& runs);
std::string textAlerts(const std::vector<Alert>& alerts, const std::vector<long long>& groups);

// "3 change points in 4 series": the text's last line, and what a format
// without room for it leaves to standard error.
std::string changePointsLine(size_t findings, size_t seriesChecked);
