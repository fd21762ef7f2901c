#include "commands/command_options.h"

#include "common/name_value.h"

#include <cstdlib>
#include <limits>

#include "output/formats.h"

CLI::Validator numberIn(double low, double high, bool lowIncluded, const std::string& what) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = strtod(text.c_str(), &end);
            const bool fits = (lowIncluded ? value >= low : value > low) && value <= high;
            return !text.empty() && *end == '\0' && fits ? "" : "takes " + what + ", not \"" + text + "\"";
        },
        what);
}

CLI::Validator positiveSeconds() { return numberIn(0, 1e9, false, "a number of seconds above 0, at most 1e9"); }

void addRunLimits(CLI::App* command, RunLimits& limits) {
    command->add_option("--hang-timeout", limits.hangTimeout,
                        "seconds without a new console line after which the program counts as hung")
        ->capture_default_str()
        ->check(positiveSeconds());
}

void addSampleInterval(CLI::App* command, int& milliseconds, const std::string& help) {
    command->add_option("--sample-interval", milliseconds, help)->capture_default_str()->check(CLI::Range(0, 60000));
}

void addNoWait(CLI::App* command, bool& noWait) {
    command->add_flag("--no-wait", noWait,
                      "when another benchmark holds this machine, refuse (exit status 1) instead of waiting");
}

void addSkipFrames(CLI::App* command, int& frames) {
    command->add_option("--skip-frames", frames,
                        "leave the first K frames of every run out (set-up work spilling into them); every format "
                        "says so, the results files are not changed")
        ->check(CLI::Range(0, std::numeric_limits<int>::max()));
}

void addFormat(CLI::App* command, std::string& format) {
    command->add_option("--format", format, formatChoices())->capture_default_str()->check(CLI::IsMember(formatNames()));
}

void addTiming(CLI::App* command, bool& timing) {
    command->add_flag("--timing", timing,
                      "time every frame with a preloaded library: swap to swap, the process's CPU time and the GPU "
                      "time of its commands (timer queries), into a file beside the results that report, compare "
                      "and history read");
}

void addLabels(CLI::App* command, std::vector<std::string>& given, std::map<std::string, std::string>& labels) {
    command
        ->add_option("--label", given, "NAME=VALUE kept in each run's context file (a build, a branch, a setting); "
                                       "compare names labels that differ; repeatable")
        ->each([&labels](const std::string& pair) {
            std::string error;
            if (!parseNameValues({pair}, NameKind::label, labels, error)) throw CLI::ValidationError("--label", error);
        });
}
