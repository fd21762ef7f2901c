// `lumenfold report`: the statistics of results files, in one of the output
// formats, with a gnuplot chart or an HTML page on request.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

struct ReportOptions {
    std::vector<std::string> files;   // results files or directories of them
    std::string format;               // empty: the first output format
    int skipFrames = 0;
    std::string plot;                 // OUT.svg or OUT.png
    std::string html;
};

CLI::App* addReportCommand(CLI::App& app, ReportOptions& options);

// 0, or 1 when a file could not be read whole or the chart or page not written.
int reportCommand(const ReportOptions& options);
