#include "store/history_add.h"

#include <cstdio>
#include <filesystem>
#include <ctime>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "common/display_text.h"
#include "common/time_text.h"
#include "model/context_file.h"
#include "model/machine_samples.h"
#include "programs/programs.h"

using nlohmann::json;

namespace {

std::string isoUtc(long long seconds) { return isoUtcText(seconds); }

}  // namespace

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

bool parseIsoTime(const std::string& text, long long& seconds) {
    tm when{};
    char zone[8] = {};
    int used = 0;
    if (sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &when.tm_year, &when.tm_mon, &when.tm_mday, &when.tm_hour,
               &when.tm_min, &when.tm_sec, &used) != 6 || used != 19)
        return false;
    const std::string rest = text.substr(19);
    long offset = 0;
    int hours = 0, minutes = 0;
    if (rest == "Z") {
        offset = 0;
    } else if (rest.size() == 6 && (rest[0] == '+' || rest[0] == '-') &&
               sscanf(rest.c_str() + 1, "%2d:%2d%7s", &hours, &minutes, zone) == 2 && rest[3] == ':') {
        offset = (rest[0] == '-' ? -1 : 1) * (hours * 3600L + minutes * 60L);
    } else {
        return false;
    }
    if (when.tm_mon < 1 || when.tm_mon > 12 || when.tm_mday < 1 || when.tm_mday > 31 || when.tm_hour > 23 ||
        when.tm_min > 59 || when.tm_sec > 60 || hours > 23 || minutes > 59)
        return false;
    when.tm_year -= 1900;
    when.tm_mon -= 1;
    seconds = (long long)timegm(&when) - offset;
    return true;
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
                          const std::optional<std::string>& machineSamples) {
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
    stored.started = isoUtc(fileTime);
    if (context) {
        const json data = json::parse(*context, nullptr, false);
        long long seconds = 0;
        if (data.is_object() && data.contains("date") && data["date"].is_string() &&
            parseIsoTime(data["date"].get<std::string>(), seconds)) {
            stored.started = data["date"].get<std::string>();
            stored.startedAt = seconds;
        }
        if (data.is_object() && data.value("validation", false) == true) {
            stored.excludedBecause = "validation run: its frames were read back, so its times are no measurement";
            outcome.message += (outcome.message.empty() ? displayText(sourceFile) + ": " : "; ") +
                               std::string("a validation run, stored as excluded from every check");
        }
    }
    stored.sourceFile = sourceFile;
    stored.context = context;
    stored.machineSamples = machineSamples;
    stored.run = &run;
    outcome.result = store.add(stored) ? AddResult::added : AddResult::alreadyThere;
    return outcome;
}

AddOutcome addResultsFile(HistoryStore& store, const std::string& path, const std::string& machine) {
    std::string text, error;
    if (!readRegularFile(path, maxResultsFileBytes, text, error))
        return {AddResult::notAdded, displayText(path) + ": " + error + "; not added"};
    struct stat info {};
    const long long fileTime = stat(path.c_str(), &info) == 0 ? (long long)info.st_mtime : (long long)time(nullptr);
    std::string contextText;
    std::optional<std::string> context;
    if (readRegularFile(contextPathFor(path), maxContextFileBytes, contextText, error)) context = std::move(contextText);
    std::string samplesText;
    std::optional<std::string> samples;
    // The machine's samples of an hour at 100 ms take a few MiB; a file far
    // larger is kept out of the store rather than bloat every read of it.
    constexpr long long maxStoredSamplesBytes = 16LL * 1024 * 1024;
    if (readRegularFile(samplesPathFor(path), maxStoredSamplesBytes, samplesText, error)) samples = std::move(samplesText);
    // Stored by its full name: a store outlives the directory it was added from.
    std::error_code ignored;
    const std::string fullName = std::filesystem::absolute(path, ignored).lexically_normal().string();
    AddOutcome outcome = addResultsText(store, text, context, fullName.empty() ? path : fullName, machine, fileTime, samples);
    struct stat samplesInfo {};
    if (!samples && stat(samplesPathFor(path).c_str(), &samplesInfo) == 0 && outcome.result == AddResult::added)
        outcome.message += (outcome.message.empty() ? displayText(path) + ": " : "; ") +
                           "its machine samples are not stored (" + error + ")";
    return outcome;
}
