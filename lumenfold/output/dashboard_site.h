// `history show --html DIR/`: the fleet's dashboard as a static site. An
// index of machines and programs, a page per series, a page of alerts by
// group; every page in the one page shell, and the charting library, the
// style sheet and the scripts written once under assets/ for all of them
// (a fleet's site has thousands of pages). Nothing is fetched: the site
// opens from disk.
#pragma once

#include <string>
#include <vector>

#include "analysis/alerts.h"
#include "output/page_shell.h"
#include "store/history_check.h"

// A file of the site: its path under the site's folder ('/'-separated) and text.
struct SiteFile {
    std::string path;
    std::string content;
};

struct SiteInput {
    const std::vector<StoredRun>& runs;      // every run listed, excluded ones too
    const std::vector<ResultsRun>& data;     // their data, same order
    const std::vector<Series>& series;       // built from them
    const std::vector<Finding>& findings;
    const std::vector<Alert>& alerts;
    std::string generator;                   // the program and version that wrote the site
};

// The site's files, index.html last so that a folder filled in this order
// never links to a page not yet there.
std::vector<SiteFile> dashboardSite(const SiteInput& input, const ChartLibrary& library);

// "<machine>-<program>-<figure>" safe as a file name anywhere: every byte
// but letters, digits, '.', '_' and '-' made '_', the machine cut to 80
// bytes. Two series whose names differ only there get "-2", "-3", ... in
// the site.
std::string siteFileStem(const std::string& machine, const std::string& program, const std::string& figure = "");
