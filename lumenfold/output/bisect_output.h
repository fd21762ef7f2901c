// What `lumenfold bisect` found, in text, JSON and Markdown: the ends, the
// culprit (or why there is none to name), and every revision measured.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/bisect_judgement.h"
#include "run/revision_trees.h"

// One revision measured, as the table shows it.
struct BisectRow {
    Revision revision;
    std::string role;        // "good end", "step 2", "culprit, confirming", "bad end, again"
    size_t runs = 0;
    double median = NAN;     // of the runs' medians
    std::string verdict;     // "good", "bad", "skipped: the build failed"
    std::string folder;      // where its runs are kept
};

enum class BisectResult {
    culprit,      // found and confirmed
    unreliable,   // found, but the confirmation failed or the ends no longer differ
    ambiguous,    // skipped revisions hide which one it is
    refused,      // the ends do not differ
    stopped,      // interrupted; the kept runs resume it
    failed,       // something could not be done: reason says what
};

struct BisectReport {
    std::string program;
    std::string figureKey;
    std::string figureLabel;
    Direction direction = Direction::higherIsBetter;
    int runs = 0;                         // per revision, at first
    std::string directory;
    Revision good, bad;
    std::optional<EndsJudgement> ends;
    BisectResult result = BisectResult::failed;
    std::string reason;                   // unreliable, failed: why, for people
    std::optional<Revision> culprit, parent;
    std::optional<Confirmation> confirmation;
    int confirmationRuns = 0;             // on each side
    std::optional<EndsJudgement> endsAgain;
    double share = NAN;                   // of the change between the ends the culprit explains
    std::vector<Revision> candidates;     // ambiguous
    std::vector<BisectRow> rows;
};

const char* resultName(BisectResult result);

// The lines that say what was found, in the order every format gives them.
std::vector<std::string> bisectSummary(const BisectReport& report);

std::string bisectText(const BisectReport& report);
std::string bisectMarkdown(const BisectReport& report);
nlohmann::json bisectJson(const BisectReport& report);
