#include "output/alert_format.h"

#include <ctime>

#include "common/display_text.h"
#include "common/number_text.h"
#include "common/time_text.h"
#include "output/interval_format.h"
#include "output/json_format.h"
#include "output/markdown_table.h"

namespace {

// "verticesPerSecond 0.9012 [0.8874, 0.9150] slower"
std::string figureText(const AlertFigure& f) {
    std::string text = f.key + " " + numberText(f.ratio.estimate, shortNumber);
    if (hasInterval(f.ratio)) text += " " + intervalText(f.ratio, shortNumber);
    return text + " " + f.verdict;
}

}  // namespace

std::string alertTime(long long seconds) { return seconds <= 0 ? "" : isoUtcText(seconds); }

std::string alertFigureKeys(const Alert& alert) {
    std::string keys;
    for (const AlertFigure& f : alert.figures) keys += (keys.empty() ? "" : ", ") + f.key;
    return keys;
}

std::string alertSummary(const Alert& a) {
    if (a.kind == "silent") return displayText(a.machine) + ": silent, " + displayText(a.explanation);
    std::string text = displayText(a.machine) + " " + a.program + ": ";
    for (size_t i = 0; i < a.figures.size(); ++i) text += (i ? "; " : "") + figureText(a.figures[i]);
    text += ", from run " + std::to_string(a.firstRunAfter) + " (" + displayText(a.firstRunAfterStarted) + ")";
    if (!a.explanation.empty()) text += "; changed: " + displayText(a.explanation);
    return text;
}

nlohmann::json notificationDocument(const std::vector<Alert>& alerts, const std::vector<long long>& groups) {
    std::string text =
        "**Lumenfold: " + std::to_string(alerts.size()) + (alerts.size() == 1 ? " new alert" : " new alerts") + "**\n";
    for (const Alert& a : alerts)
        text += "- alert " + std::to_string(a.id) + ": " + markdownText(alertSummary(a)) + "\n";
    return {{"text", text}, {"alerts", alertsJson(alerts, groups)}};
}
