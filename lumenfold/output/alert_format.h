// Alerts as people and scripts read them: `history alerts` in text, JSON
// and Markdown, and the one document a notification posts.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/alerts.h"

// Alerts with their groups (alertGroups of the same list).
std::string alertsText(const std::vector<Alert>& alerts, const std::vector<long long>& groups);
std::string alertsMarkdown(const std::vector<Alert>& alerts, const std::vector<long long>& groups);
nlohmann::json alertsJson(const std::vector<Alert>& alerts, const std::vector<long long>& groups);

// One JSON document for every alert in `alerts`: "text" a Markdown summary
// (what chat webhooks show), "alerts" each alert as alertsJson gives it.
nlohmann::json notificationDocument(const std::vector<Alert>& alerts, const std::vector<long long>& groups);
