// JSON for scripts: the report, a comparison, history's change points, its
// list of runs and its alerts. JSON has no not-a-number or infinity: both are null.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/alerts.h"
#include "analysis/compare.h"
#include "model/context_file.h"
#include "store/history_check.h"
#include "store/history_store.h"

std::string jsonReport(const std::vector<ReportedRun>& runs);
nlohmann::json runJson(const ReportedRun& reported);
std::string jsonComparison(const Comparison& comparison);
nlohmann::json comparisonJson(const Comparison& comparison);
std::string jsonFindings(const std::vector<Finding>& findings, size_t seriesChecked);
nlohmann::json findingsJson(const std::vector<Finding>& findings);
std::string jsonRunList(const std::vector<StoredRun>& runs);
std::string jsonAlerts(const std::vector<Alert>& alerts, const std::vector<long long>& groups);
nlohmann::json alertsJson(const std::vector<Alert>& alerts, const std::vector<long long>& groups);
