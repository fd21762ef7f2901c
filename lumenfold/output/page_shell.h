// The one shell of every HTML page lumenfold writes (the report or
// comparison, history's trends, a validation): one self-contained file,
// its style sheet and scripts inside it, nothing fetched, so that a page
// mailed or archived opens anywhere, offline, years later.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The charting library a page may carry, inlined at build time.
struct ChartLibrary {
    std::string name;      // e.g. "Chart.js"
    std::string version;   // e.g. "3.9.1"
    std::string origin;    // where it came from, e.g. the Debian package and its version
    std::string code;      // the script itself
};

// The library built into the lumenfold command.
const ChartLibrary& chartLibrary();

// What makes one page. The scripts run in this order at the end of the
// body: the library, then the page's own script, which reads the data.
struct PageParts {
    std::string title;                       // displayable text; escaped here
    std::string style;                       // the page's style sheet
    std::string body;                        // the body's markup, before the scripts
    const ChartLibrary* library = nullptr;   // none: the page draws no chart
    std::string dataId;                      // the data's element id; "" for no data
    nlohmann::json data;
    // The data already written as JSON, taken instead of `data` when not
    // empty (pages with many numbers write them faster by hand); the caller
    // escapes strings in it with scriptJson.
    std::string dataJson;
    std::string script;                      // the page's own script; "" for none
    // Style sheets and scripts read from files beside the page (relative
    // URLs, written by the caller), for sites whose pages share one copy:
    // the sheets follow the inline style, the scripts run after the page's
    // own script, in this order. The policy then trusts the page's own origin.
    std::vector<std::string> styleFiles;
    std::vector<std::string> scriptFiles;
};

// The page: one head for all, whose Content-Security-Policy lets nothing
// load and nothing run but the page's own style sheet and scripts, each
// named by its SHA-256, and images carried inside the page; with files,
// also style sheets and scripts of the page's own origin ('self').
std::string pageHtml(const PageParts& parts);

// Text made safe inside HTML, after displayText: & < > " ' as references.
// The one escaper of every page; text straight from a file goes through
// displayText first.
std::string htmlText(const std::string& displayed);

// JSON inside a script element: nothing in it may close the element or open
// a comment. And a script inlined whole, its closing tags broken.
std::string scriptJson(const nlohmann::json& value);
std::string inlineScript(const std::string& code);

// For data: URLs and the policy's hashes.
std::string base64(const std::string& bytes);
