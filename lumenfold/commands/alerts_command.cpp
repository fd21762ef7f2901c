#include "commands/alerts_command.h"

#include <CLI/CLI.hpp>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "common/display_text.h"
#include "common/messages.h"
#include "notify/webhook.h"
#include "output/alert_format.h"
#include "output/formats.h"

namespace {

std::string userName() {
    if (const char* user = getenv("USER"); user != nullptr && *user != '\0') return user;
    if (const passwd* entry = getpwuid(getuid())) return entry->pw_name;
    return "uid " + std::to_string(getuid());
}

int listAlerts(HistoryStore& store, const AlertsOptions& o) {
    std::vector<Alert> all = store.alerts();
    const std::vector<long long> allGroups = alertGroups(all);
    std::vector<Alert> shown;
    std::vector<long long> groups;
    for (size_t i = 0; i < all.size(); ++i)
        if (o.state.empty() || o.state == alertStateName(all[i].state)) {
            shown.push_back(all[i]);
            groups.push_back(allGroups[i]);
        }
    fputs(outputFormat(o.format).alerts(shown, groups).c_str(), stdout);
    return 0;
}

}  // namespace

CLI::App* addAlertsCommand(CLI::App* history, AlertsOptions& o, std::string& chosen) {
    CLI::App* alerts = history->add_subcommand("alerts", "The alerts checks raised, and their states; "
                                                         "acknowledge, ignore or fix one.");
    alerts->add_option("--state", o.state, "only alerts in this state")
        ->check(CLI::IsMember({"new", "acknowledged", "ignored", "fixed", "recovered", "closed"}));
    alerts->add_option("--format", o.format, formatChoices())->capture_default_str()->check(CLI::IsMember(formatNames()));
    for (const char* action : {"acknowledge", "ignore", "fix"}) {
        CLI::App* sub = alerts->add_subcommand(action, std::string("Mark an alert ") +
                                                           (action[0] == 'f' ? "fixed" : action[0] == 'i' ? "ignored"
                                                                                                           : "acknowledged"));
        sub->add_option("id", o.id, "the alert's id, as alerts shows it")->required();
        sub->add_option("--note", o.note, "what was found, shown with the alert");
        sub->add_option("--by", o.by, "who says so (default: the user's name)");
        sub->final_callback([&o, sub] { o.action = sub->get_name(); });
    }
    alerts->final_callback([&chosen] { chosen = "alerts"; });
    return alerts;
}

int alertsCommand(HistoryStore& store, const AlertsOptions& o) {
    if (o.action.empty()) return listAlerts(store, o);
    const AlertState state = o.action == "acknowledge" ? AlertState::acknowledged
                             : o.action == "ignore"    ? AlertState::ignored
                                                       : AlertState::fixed;
    const std::string by = o.by.empty() ? userName() : o.by;
    if (!store.setAlertState(o.id, state, o.note, by, time(nullptr))) {
        tell("no alert " + std::to_string(o.id) + " in the history store");
        return 1;
    }
    printf("alert %lld %s by %s\n", o.id, alertStateName(state), displayText(by).c_str());
    return 0;
}

bool notifyAlerts(HistoryStore& store, const std::string& url) {
    std::vector<Alert> all = store.alerts();
    const std::vector<long long> groups = alertGroups(all);
    std::vector<Alert> unsent;
    std::vector<long long> unsentGroups, ids;
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].sentAt == 0 && alertOpen(all[i].state)) {
            unsent.push_back(all[i]);
            unsentGroups.push_back(groups[i]);
            ids.push_back(all[i].id);
        }
    if (unsent.empty()) return true;
    const std::string body = notificationDocument(unsent, unsentGroups).dump(-1, ' ', false,
                                                                             nlohmann::json::error_handler_t::replace);
    const PostOutcome posted = postJson(url, body);
    if (!posted.delivered) {
        tell("alerts not sent (" + std::to_string(ids.size()) + ", kept for the next check): " + posted.error);
        return false;
    }
    store.markAlertsSent(ids, time(nullptr));
    tell("sent " + std::to_string(ids.size()) + (ids.size() == 1 ? " alert to " : " alerts to ") + shownUrl(url));
    return true;
}

void tellAlerts(const AlertOutcome& outcome) {
    for (const Alert& a : outcome.raised)
        tell("new alert " + std::to_string(a.id) + ": " + displayText(a.machine) +
             (a.kind == "silent" ? " is silent: " + displayText(a.explanation)
                                 : " " + a.program + " from run " + std::to_string(a.firstRunAfter)));
    for (const Alert& a : outcome.recovered)
        tell("alert " + std::to_string(a.id) + " recovered at run " + std::to_string(a.recoveredBy));
    for (const Alert& a : outcome.closed) tell("alert " + std::to_string(a.id) + " closed: " + displayText(a.machine) +
                                                " reports again");
}
