#include "output/alert_format.h"

#include <ctime>

#include "common/display_text.h"
#include "common/number_text.h"
#include "common/time_text.h"
#include "output/markdown_format.h"

using nlohmann::json;

namespace {

json numberOrNull(double value) { return std::isfinite(value) ? json(value) : json(nullptr); }

std::string utcTime(long long seconds) { return seconds > 0 ? isoUtcTime(time_t(seconds)) : ""; }

std::string figureKeys(const Alert& alert) {
    std::string keys;
    for (const AlertFigure& f : alert.figures) keys += (keys.empty() ? "" : ", ") + f.key;
    return keys;
}

// "verticesPerSecond 0.9012 [0.8874, 0.9150] slower"
std::string figureText(const AlertFigure& f) {
    std::string text = f.key + " " + numberText(f.ratio.estimate, shortNumber);
    if (!std::isnan(f.ratio.low))
        text += " [" + numberText(f.ratio.low, shortNumber) + ", " + numberText(f.ratio.high, shortNumber) + "]";
    return text + " " + f.verdict;
}

// What an alert says, in one line, for people.
std::string summaryOf(const Alert& a) {
    if (a.kind == "silent") return displayText(a.machine) + ": silent, " + displayText(a.explanation);
    std::string text = displayText(a.machine) + " " + a.program + ": ";
    for (size_t i = 0; i < a.figures.size(); ++i) text += (i ? "; " : "") + figureText(a.figures[i]);
    text += ", from run " + std::to_string(a.firstRunAfter) + " (" + displayText(a.firstRunAfterStarted) + ")";
    if (!a.explanation.empty()) text += "; changed: " + displayText(a.explanation);
    return text;
}

}  // namespace

json alertsJson(const std::vector<Alert>& alerts, const std::vector<long long>& groups) {
    json out = json::array();
    for (size_t i = 0; i < alerts.size(); ++i) {
        const Alert& a = alerts[i];
        json figures = json::array();
        for (const AlertFigure& f : a.figures)
            figures.push_back({{"figure", f.key}, {"ratio", numberOrNull(f.ratio.estimate)},
                               {"ciLow", numberOrNull(f.ratio.low)}, {"ciHigh", numberOrNull(f.ratio.high)},
                               {"verdict", f.verdict}, {"before", numberOrNull(f.levelBefore)},
                               {"after", numberOrNull(f.levelAfter)}});
        out.push_back({{"id", a.id}, {"kind", a.kind}, {"state", alertStateName(a.state)},
                       {"machine", displayText(a.machine)}, {"program", a.program}, {"figures", figures},
                       {"firstRunAfter", a.firstRunAfter ? json{{"id", a.firstRunAfter},
                                                                {"started", displayText(a.firstRunAfterStarted)}}
                                                         : json()},
                       {"explanation", displayText(a.explanation)}, {"note", displayText(a.note)},
                       {"by", displayText(a.by)}, {"raised", utcTime(a.raisedAt)}, {"changed", utcTime(a.changedAt)},
                       {"sent", a.sentAt > 0}, {"recoveredBy", a.recoveredBy ? json(a.recoveredBy) : json()},
                       {"group", groups.at(i)}});
    }
    return out;
}

std::string alertsText(const std::vector<Alert>& alerts, const std::vector<long long>& groups) {
    std::string out;
    char line[160];
    snprintf(line, sizeof line, "%6s  %-13s %6s  %s\n", "id", "state", "group", "alert");
    out += line;
    for (size_t i = 0; i < alerts.size(); ++i) {
        snprintf(line, sizeof line, "%6lld  %-13s %6lld  ", alerts[i].id, alertStateName(alerts[i].state), groups[i]);
        out += line + summaryOf(alerts[i]) + "\n";
        if (!alerts[i].note.empty())
            out += "        note by " + displayText(alerts[i].by) + ": " + displayText(alerts[i].note) + "\n";
    }
    return out + std::to_string(alerts.size()) + (alerts.size() == 1 ? " alert\n" : " alerts\n");
}

std::string alertsMarkdown(const std::vector<Alert>& alerts, const std::vector<long long>& groups) {
    std::string out = "| id | state | group | machine | program | figures | first run after | note |\n"
                      "| ---: | --- | ---: | --- | --- | --- | --- | --- |\n";
    for (size_t i = 0; i < alerts.size(); ++i) {
        const Alert& a = alerts[i];
        out += "| " + std::to_string(a.id) + " | " + alertStateName(a.state) + " | " + std::to_string(groups[i]) +
               " | " + markdownText(displayText(a.machine)) + " | " + markdownText(a.program) + " | " +
               markdownText(a.kind == "silent" ? "silent: " + a.explanation : figureKeys(a)) + " | " +
               (a.firstRunAfter ? std::to_string(a.firstRunAfter) + " (" + markdownText(displayText(a.firstRunAfterStarted)) + ")"
                                : "") +
               " | " + markdownText(displayText(a.note)) + " |\n";
    }
    return out;
}

json notificationDocument(const std::vector<Alert>& alerts, const std::vector<long long>& groups) {
    std::string text = "**Lumenfold: " + std::to_string(alerts.size()) + (alerts.size() == 1 ? " new alert" : " new alerts") +
                       "**\n";
    for (const Alert& a : alerts) text += "- alert " + std::to_string(a.id) + ": " + markdownText(summaryOf(a)) + "\n";
    return {{"text", text}, {"alerts", alertsJson(alerts, groups)}};
}
