// The --format choices of report, compare and history, and what each writes
// of every kind of data: a new format is one entry here, and one file of its
// own beside text_format, json_format, csv_format and markdown_format.
#pragma once

#include <string>
#include <vector>

#include "analysis/alerts.h"
#include "analysis/compare.h"
#include "model/context_file.h"
#include "store/history_check.h"
#include "store/history_store.h"

struct OutputFormat {
    std::string name;   // as given to --format
    std::string (*report)(const std::vector<ReportedRun>& runs);
    std::string (*comparison)(const Comparison& comparison);
    // history check: the change points found in seriesChecked series.
    std::string (*findings)(const std::vector<Finding>& findings, size_t seriesChecked);
    // history list: the stored runs.
    std::string (*runList)(const std::vector<StoredRun>& runs);
    // history alerts: the alerts, each with its group (alertGroups).
    std::string (*alerts)(const std::vector<Alert>& alerts, const std::vector<long long>& groups);
    // False when the format has no place for notes (a comparison's machine
    // warnings, how many series history checked); the caller then shows
    // them on standard error.
    bool holdsNotes = true;
};

// The first is the default.
const std::vector<OutputFormat>& outputFormats();
// The format of a name outputFormats lists; the default for any other.
const OutputFormat& outputFormat(const std::string& name);
std::vector<std::string> formatNames();
// "text, json, csv, markdown": what --format's help lists.
std::string formatChoices();
