// An alert in the words every format uses, and the one document a
// notification posts. `history alerts` writes alerts through the table of
// formats (output/formats.h).
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/alerts.h"

// What an alert says, in one line, for people.
std::string alertSummary(const Alert& alert);
// The keys of its figures: "frameSeconds, verticesPerSecond".
std::string alertFigureKeys(const Alert& alert);
// "2026-12-07T14:05:09Z"; "" for 0.
std::string alertTime(long long seconds);

// One JSON document for every alert in `alerts`: "text" a Markdown summary
// (what chat webhooks show), "alerts" each alert as alertsJson gives it.
nlohmann::json notificationDocument(const std::vector<Alert>& alerts, const std::vector<long long>& groups);
