#include "store/history_add.h"

#include <cstdio>
#include <filesystem>
#include <ctime>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "common/display_text.h"
#include "common/files.h"
#include "common/time_text.h"
#include "model/context_file.h"
#include "model/machine_samples.h"
#include "model/timing_file.h"
#include "programs/programs.h"

using nlohmann::json;

std::string sha256Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 failed");
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

std::string machineName(const std::string& given, const std::optional<std::string>& contextText) {
    if (!given.empty()) return given;
    if (contextText) {
        const json context = json::parse(*contextText, nullptr, false);
        if (context.is_object())
            for (const char* key : {"hostname", "host"})
                if (context.contains(key) && context[key].is_string() && !context[key].get<std::string>().empty())
                    return context[key].get<std::string>();
    }
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == 0) return "localhost";
    return host;
}

AddOutcome addResultsText(HistoryStore& store, const std::string& resultsText,
                          const std::optional<std::string>& contextText, const std::string& sourceFile,
                          const std::string& machine, long long fileTime,
                          const std::optional<std::string>& machineSamples,
                          const std::optional<std::string>& frameTiming) {
    const ResultsRun run = parseResultsText(resultsText, sourceFile);
    if (!run.recognised)
        return {AddResult::notAdded, displayText(sourceFile) + ": not a results file of " + programList() + "; not added"};
    AddOutcome outcome;
    if (!run.problems.empty())
        outcome.message = displayText(sourceFile) + ": " + std::to_string(run.problems.size()) +
                          " line(s) could not be read (see `lumenfold report`); what could be read is stored";
    std::optional<std::string> context = contextText;
    if (context && !json::accept(*context)) {
        outcome.message += (outcome.message.empty() ? displayText(sourceFile) + ": " : "; ") +
                           std::string("its context file is not JSON and is not stored");
        context.reset();
    }
    NewRun stored;
    stored.sha256 = sha256Hex(resultsText);
    stored.machine = machineName(machine, context);
    stored.startedAt = fileTime;
    stored.started = isoUtcTime(time_t(fileTime));
    if (const ContextRead read = context ? parseContext(*context, sourceFile) : ContextRead{}; read.present) {
        long long seconds = 0;
        if (parseIsoTime(read.context.date, seconds)) {
            stored.started = read.context.date;
            stored.startedAt = seconds;
        }
        if (read.context.validation) {
            stored.excludedBecause = "validation run: its frames were read back, so its times are no measurement";
            outcome.message += (outcome.message.empty() ? displayText(sourceFile) + ": " : "; ") +
                               std::string("a validation run, stored as excluded from every check");
        }
    }
    stored.sourceFile = sourceFile;
    stored.context = context;
    stored.machineSamples = machineSamples;
    stored.frameTiming = frameTiming;
    stored.run = &run;
    outcome.result = store.add(stored) ? AddResult::added : AddResult::alreadyThere;
    return outcome;
}

AddOutcome addResultsFile(HistoryStore& store, const std::string& path, const std::string& machine) {
    const FileText results = readRegularFile(path, maxResultsFileBytes);
    if (!results.ok()) return {AddResult::notAdded, displayText(path) + ": " + results.error + "; not added"};
    struct stat info {};
    const long long fileTime = stat(path.c_str(), &info) == 0 ? (long long)info.st_mtime : (long long)time(nullptr);
    FileText contextFile = readRegularFile(contextPathFor(path), maxContextFileBytes);
    std::optional<std::string> context;
    if (contextFile.ok()) context = std::move(contextFile.text);
    // The machine's samples of an hour at 100 ms take a few MiB; a file far
    // larger is kept out of the store rather than bloat every read of it.
    constexpr long long maxStoredSamplesBytes = 16LL * 1024 * 1024;
    // About 60 bytes a frame: a million frames' timing.
    constexpr long long maxStoredTimingBytes = 64LL * 1024 * 1024;
    FileText samplesFile = readRegularFile(samplesPathFor(path), maxStoredSamplesBytes);
    std::optional<std::string> samples;
    if (samplesFile.ok()) samples = std::move(samplesFile.text);
    FileText timingFile = readRegularFile(timingPathFor(path), maxStoredTimingBytes);
    std::optional<std::string> timing;
    if (timingFile.ok()) timing = std::move(timingFile.text);
    // Stored by its full name: a store outlives the directory it was added from.
    std::error_code ignored;
    const std::string fullName = std::filesystem::absolute(path, ignored).lexically_normal().string();
    AddOutcome outcome = addResultsText(store, results.text, context, fullName.empty() ? path : fullName, machine,
                                        fileTime, samples, timing);
    for (const auto& [file, what] : {std::pair{&samplesFile, "machine samples"}, std::pair{&timingFile, "frames' timing"}})
        if (!file->ok() && !file->missing && outcome.result == AddResult::added)
            outcome.message += (outcome.message.empty() ? displayText(path) + ": " : "; ") + "its " + what +
                               " are not stored (" + file->error + ")";
    return outcome;
}
