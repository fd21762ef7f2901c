// `lumenfold validate`: the frames a driver drew, against a software
// reference drawn on the spot or kept from an earlier validation.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

struct ValidateOptions {
    std::string program;
    std::string steps;       // "1,2,5"; empty: the program's default
    std::string reference = "software";
    std::string html;
    std::string directory;   // empty: validation-PROGRAM in the current directory
    std::string command;     // lumenfold's own command line, for the context files
    bool noWait = false;     // refuse, rather than wait, when another benchmark holds the machine
};

CLI::App* addValidateCommand(CLI::App& app, ValidateOptions& options);

// 0 when no step differs, 1 when one does or a run failed, 2 for a bad request.
int validateCommand(const ValidateOptions& options);
