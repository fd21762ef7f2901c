// libFuzzer target: any bytes as a results file (and, when the input says so,
// as its file name too) through the reader, every format of the table of
// formats (report, comparison, history's change points and list) and
// `history add` into a SQLite store; or as a context file. Beyond
// "no crash, no sanitizer finding", it holds the outputs to what a reader of
// them relies on: nothing a terminal would act on, JSON that parses back,
// CSV rows and Markdown table rows that keep their fields and cells.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <unistd.h>
#include <string>
#include <vector>

#include "output/formats.h"
#include "output/history_page.h"
#include "output/html_report.h"
#include "output/plot_script.h"
#include "output/run_words.h"
#include "analysis/compare.h"
#include "store/history_add.h"
#include "store/history_check.h"
#include "store/history_store.h"
#include "analysis/outliers.h"
#include "common/display_text.h"

namespace {

void fail(const char* what, const std::string& output) {
    fprintf(stderr, "%s:\n%s\n", what, output.c_str());
    abort();
}

// Only printable ASCII, newlines and valid UTF-8 without control characters.
void checkShowable(const char* format, const std::string& output) {
    for (size_t i = 0; i < output.size();) {
        const unsigned char c = (unsigned char)output[i];
        if (c == '\n' || (c >= 0x20 && c < 0x7f)) {
            ++i;
            continue;
        }
        if (c < 0x80) fail(format, "raw control character in: " + output);
        size_t length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 ? 2 : 0;
        if (length == 0 || i + length > output.size()) fail(format, "invalid UTF-8 in: " + output);
        for (size_t k = 1; k < length; ++k)
            if (((unsigned char)output[i + k] & 0xc0) != 0x80) fail(format, "invalid UTF-8 in: " + output);
        if (c == 0xc2 && (unsigned char)output[i + 1] < 0xa0) fail(format, "raw C1 control in: " + output);
        i += length;
    }
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Showable, and every row of a table has as many cell bars (| not escaped
// by a backslash) as the table's header: nothing from the input splits a cell.
void checkMarkdown(const char* format, const std::string& output) {
    checkShowable(format, output);
    size_t headerBars = 0;
    bool inTable = false;
    size_t start = 0;
    for (size_t end = output.find('\n'); end != std::string::npos; start = end + 1, end = output.find('\n', start)) {
        const std::string line = output.substr(start, end - start);
        if (line.empty() || line[0] != '|') {
            inTable = false;
            continue;
        }
        size_t bars = 0, backslashes = 0;
        for (char c : line) {
            if (c == '|' && backslashes % 2 == 0) ++bars;
            backslashes = c == '\\' ? backslashes + 1 : 0;
        }
        if (!inTable) headerBars = bars;
        inTable = true;
        if (bars != headerBars) fail(format, "a table row with cells split: " + line);
    }
}

// Fields of one CSV record (quotes double a quote and may hold anything);
// the record ends at the first line break outside quotes.
size_t csvFields(const std::string& text, size_t& at) {
    size_t fields = 1;
    bool quoted = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '"') quoted = !quoted;   // a doubled quote toggles twice
        else if (c == ',' && !quoted) ++fields;
        else if (c == '\n' && !quoted) break;
    }
    if (quoted) fail("csv", "a quoted field runs to the end: " + text);
    ++at;
    return fields;
}

// Showable, and every record has as many fields as the header.
void checkCsv(const char* what, const std::string& output) {
    checkShowable(what, output);
    size_t at = 0;
    const size_t header = csvFields(output, at);
    while (at < output.size())
        if (csvFields(output, at) != header) fail(what, "a CSV row with fields split: " + output);
}

// One kind of data in every format of the table, each held to what its
// readers rely on.
template <typename Write>
void checkEveryFormat(const std::string& what, Write write) {
    for (const OutputFormat& format : outputFormats()) {
        const std::string label = what + ", " + format.name;
        const std::string output = write(format);
        if (format.name == "markdown")
            checkMarkdown(label.c_str(), output);
        else if (format.name == "csv")
            checkCsv(label.c_str(), output);
        else
            checkShowable(label.c_str(), output);
        if (format.name == "json" && !nlohmann::json::accept(output)) fail(label.c_str(), "JSON that does not parse");
    }
}

const ChartLibrary fuzzLibrary{"Library", "1", "fuzzing", "var Chart;"};

// A page holds the library's script, the data and the page's own script:
// a quoted string that opened or closed another would be an injection.
void checkPageText(const std::string& page) {
    checkShowable("html", page);
    if (count(page, "<script") != 3 || count(page, "</script") != 3) fail("script elements added", page);
    if (count(page, "<b>") != 0 || count(page, "<img") != 0) fail("markup from the input", page);
}

void checkPage(const std::vector<ReportedRun>& runs, const std::vector<FigureComparison>& figures,
               const std::vector<std::string>& notes = {}) {
    checkPageText(htmlPage(runs, figures, fuzzLibrary, "fuzz", notes));
}

const std::string goodRun =
    "Quorvex :: Lumenfold Benchmark Graphics Triangles Lite for Windows on x86 64bit system 2019.12.06.\n\n\n"
    "It spent: 3.189 Secs to Initialize.\n\n\nwindow: 1\nIt drew 1200 Triangles.\nIt spent: 0.787 Secs. \n"
    "It was: 1.27065 Angles/sec.\nIt was: 1524.78 Triangles/sec.\n\n";

// One store for the whole session, in a directory of its own that goes with it.
char storeDirectory[] = "/tmp/lumenfold-fuzz-XXXXXX";

HistoryStore& store() {
    static HistoryStore* opened = [] {
        char* directory = mkdtemp(storeDirectory);
        if (directory == nullptr) abort();
        atexit([] { std::filesystem::remove_all(storeDirectory); });
        StoreLocation location;
        std::string error;
        if (!storeLocation(std::string("sqlite:") + directory + "/history.sqlite", location, error)) abort();
        return new HistoryStore(location);
    }();
    return *opened;
}

// What was added comes back exactly: every value went in bound, none as SQL.
void addToHistory(const std::string& results, const std::optional<std::string>& context, const std::string& name) {
    static long added = 0;
    const std::string machine = "fuzz " + std::to_string(++added) + " '\";--";
    const AddOutcome outcome = addResultsText(store(), results, context, name, machine, 0);
    checkShowable("history message", outcome.message);
    if (outcome.result != AddResult::added) return;
    const std::vector<StoredRun> runs = store().list(machine, "", true);
    if (runs.size() != 1 || runs[0].sourceFile != name) fail("history add lost the run or its name", name);
    if (context && nlohmann::json::accept(*context) && runs[0].context != context)
        fail("history add changed the context", *context);
    const std::vector<ResultsRun> data = store().runsData(runs);
    if (data.size() != 1 || frameCount(data[0]) != frameCount(parseResultsText(results, name)))
        fail("history add lost frames", results);
    const std::vector<Series> series = buildSeries(runs, data, "");
    std::vector<Finding> findings;
    for (const Series& s : series) findings.push_back(Finding{&s, ChangePoint{}, contextChanges(context, "{}")});
    checkEveryFormat("history check", [&](const OutputFormat& f) { return f.findings(findings, series.size()); });
    checkEveryFormat("history list", [&](const OutputFormat& f) { return f.runList(runs); });
    // An alert carries the name, the machine and what changed in the context as they came.
    Alert alert;
    alert.machine = machine;
    alert.program = runs[0].program;
    alert.firstRunAfter = runs[0].id;
    alert.firstRunAfterStarted = runs[0].started;
    alert.explanation = name;
    alert.note = context.value_or(name);
    for (const Series& s : series) {
        AlertFigure figure;
        figure.key = s.figure;
        figure.verdict = "slower";
        alert.figures.push_back(figure);
    }
    Alert silent = alert;
    silent.kind = "silent";
    checkEveryFormat("history alerts", [&](const OutputFormat& f) { return f.alerts({alert, silent}, {1, 2}); });
    checkPageText(historyPage(series, findings, fuzzLibrary, "fuzz"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    // A first byte 0x0f makes the rest the context file of a good run.
    if (!text.empty() && text[0] == 0x0f) {
        ReportedRun run{parseResultsText(goodRun, "good.txt"), parseContext(text.substr(1), "good.json"), ""};
        checkPage({run}, {});
        // A set-up time of its own makes each a new run to the store.
        static long runs = 0;
        std::string results = goodRun;
        results.replace(results.find("3.189"), 5, std::to_string(++runs));
        addToHistory(results, text.substr(1), "good.txt");
        return 0;
    }
    // Another first byte below 0x10 (no results file starts so) makes the next
    // bytes, up to a newline, the file's name.
    std::string name = "fuzz.txt";
    if (!text.empty() && (unsigned char)text[0] < 0x10) {
        const size_t end = text.find('\n');
        name = text.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        text = end == std::string::npos ? std::string() : text.substr(end + 1);
    }
    const std::vector<ResultsRun> runs = {parseResultsText(text, name)};

    std::string problems;
    for (const Problem& p : runs[0].problems) problems += problemText(runs[0], p) + "\n";
    checkShowable("problems", problems);
    const std::vector<ReportedRun> reported = withoutContexts(runs);
    checkEveryFormat("report", [&](const OutputFormat& f) { return f.report(reported); });
    const ReportedRun skipped{skipFrames(runs[0], 1), ContextRead{}, "", 1};
    checkEveryFormat("report, first frame left out", [&](const OutputFormat& f) { return f.report({skipped}); });

    // The run compared with itself, its name also standing for a warning of
    // its context file (which the caller escapes, as it does the names).
    BootstrapOptions quick;
    quick.resamples = 50;   // the formats are under test here, not the statistics
    ComparedSide side;
    side.runs = runs;
    side.warnings = {RunWarning{runs[0].path, displayText(name)}};
    side.withoutContext = {runs[0].path};
    const Comparison comparison = compareSides(side, side, quick);
    checkEveryFormat("comparison", [&](const OutputFormat& f) { return f.comparison(comparison); });
    std::string error;
    std::vector<std::string> leftOut;
    const std::string plot = plotScript(runs, "out.svg", error, &leftOut);
    checkShowable("plot script", plot);
    FigureComparison figure;
    figure.figure = figure.label = name;
    figure.ratio = Interval{1.0, 0.9, 1.1};
    checkPage({ReportedRun{runs[0], ContextRead{}, "A"}, ReportedRun{runs[0], ContextRead{}, "B"}}, {figure});
    addToHistory(text, std::nullopt, name);
    checkPage({ReportedRun{runs[0], ContextRead{}, "A"}, ReportedRun{runs[0], ContextRead{}, "B"}}, {figure},
              {runs[0].path});
    return 0;
}
