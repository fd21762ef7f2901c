// GitHub-flavoured Markdown, to paste where a team discusses a result (a
// merge request, an issue): the report, a comparison, history's change
// points, its list of runs and its alerts. Every table is a MarkdownTable.
#pragma once

#include <string>
#include <vector>

#include "analysis/alerts.h"
#include "analysis/compare.h"
#include "model/context_file.h"
#include "store/history_check.h"
#include "store/history_store.h"

std::string markdownReport(const std::vector<ReportedRun>& runs);
std::string markdownComparison(const Comparison& comparison);
std::string markdownFindings(const std::vector<Finding>& findings, size_t seriesChecked);
std::string markdownRunList(const std::vector<StoredRun>& runs);
std::string markdownAlerts(const std::vector<Alert>& alerts, const std::vector<long long>& groups);
