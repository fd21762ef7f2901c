// Adding results files to the store: the run's identity, machine and start.
#pragma once

#include <optional>
#include <string>

#include "store/history_store.h"

enum class AddResult { added, alreadyThere, notAdded };

struct AddOutcome {
    AddResult result = AddResult::notAdded;
    std::string message;     // why not added, or a warning, for people (displayable)
};

// Lower-case hex SHA-256 of the bytes.
std::string sha256Hex(const std::string& bytes);

// The machine a run is filed under: the one given, else the host name its
// context records, else this host's name.
std::string machineName(const std::string& given, const std::optional<std::string>& contextText);

// Adds one results file's text, with its context file's text when there is
// one. fileTime (seconds since the epoch) dates a run whose context does not.
AddOutcome addResultsText(HistoryStore& store, const std::string& resultsText,
                          const std::optional<std::string>& contextText, const std::string& sourceFile,
                          const std::string& machine, long long fileTime,
                          const std::optional<std::string>& machineSamples = std::nullopt,
                          const std::optional<std::string>& frameTiming = std::nullopt);

// Reads the results file and its context file and adds them.
AddOutcome addResultsFile(HistoryStore& store, const std::string& path, const std::string& machine);
