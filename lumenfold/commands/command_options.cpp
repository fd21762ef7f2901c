#include "commands/command_options.h"

#include <limits>

#include "output/output_formats.h"

const std::vector<std::string>& programChoices() {
    static const std::vector<std::string> names = {"triangles", "cube", "streaming"};
    return names;
}

void addRunLimits(CLI::App* command, RunLimits& limits) {
    command->add_option("--hang-timeout", limits.hangTimeout,
                        "seconds without a new console line after which the program counts as hung")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
}

void addSkipFrames(CLI::App* command, int& frames) {
    command->add_option("--skip-frames", frames,
                        "leave the first K frames of every run out (set-up work spilling into them); every format "
                        "says so, the results files are not changed")
        ->check(CLI::Range(0, std::numeric_limits<int>::max()));
}

void addFormat(CLI::App* command, std::string& format) {
    std::string choices;
    for (const std::string& name : formatNames()) choices += (choices.empty() ? "" : ", ") + name;
    command->add_option("--format", format, choices)->capture_default_str()->check(CLI::IsMember(formatNames()));
}
