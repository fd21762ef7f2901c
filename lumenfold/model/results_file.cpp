#include "model/results_file.h"

#include "common/display_text.h"
#include "common/files.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "text_format.h"

namespace {

static_assert(kernelCount == streamingKernelCount, "a streaming frame has one block per kernel");

const ProgramText& textOf(Program program) {
    switch (program) {
        case Program::triangles: return trianglesText;
        case Program::cube: return cubeText;
        case Program::streaming: break;
    }
    return streamingText;
}

constexpr double streamIterations = double(streamingKernelIterations);

// What one line of a block must be.
enum class LineKind { literal, number, integer };

struct LinePattern {
    LineKind kind;
    std::string_view prefix;   // the whole text for literal lines
    std::string_view suffix;
};

struct LineValue {
    double number = 0;
    long integer = 0;
};

// The lines a block can start with, measured once rather than on every line.
constexpr std::string_view windowStart = windowLinePrefix;
constexpr std::string_view summaryStart = totalTimeLine.prefix;

const LinePattern windowLine{LineKind::integer, windowStart, ""};
const LinePattern emptyLine{LineKind::literal, "", ""};

constexpr LinePattern numberLine(NumberLine format) {
    return {LineKind::number, format.prefix, format.suffix};
}

// A number's text, terminated for strtod and strtol. The programs' numbers
// fit the buffer; a longer one (damage, or a number padded with digits) is
// copied to the heap, so the text read never depends on its length.
class TerminatedText {
public:
    explicit TerminatedText(std::string_view text) {
        if (text.size() < sizeof buffer) {
            text.copy(buffer, text.size());
            buffer[text.size()] = '\0';
        } else {
            longText.assign(text);
        }
    }
    const char* c_str() const { return longText.empty() ? buffer : longText.c_str(); }

private:
    char buffer[64];
    std::string longText;
};

bool parseReportInteger(std::string_view text, long& value) {
    if (text.empty() || !(isdigit((unsigned char)text[0]) || text[0] == '-')) return false;
    const TerminatedText terminated(text);
    errno = 0;
    char* end = nullptr;
    value = strtol(terminated.c_str(), &end, 10);
    return errno == 0 && end == terminated.c_str() + text.size();
}

bool matchLine(std::string_view line, const LinePattern& pattern, LineValue& value) {
    if (pattern.kind == LineKind::literal) return line == pattern.prefix;
    const size_t prefixLength = pattern.prefix.size();
    const size_t suffixLength = pattern.suffix.size();
    if (line.size() <= prefixLength + suffixLength) return false;
    if (!line.starts_with(pattern.prefix) || !line.ends_with(pattern.suffix)) return false;
    const std::string_view middle = line.substr(prefixLength, line.size() - prefixLength - suffixLength);
    if (pattern.kind == LineKind::integer) return parseReportInteger(middle, value.integer);
    return parseReportNumber(middle, value.number);
}

std::string describePattern(const LinePattern& pattern) {
    if (pattern.kind == LineKind::literal)
        return pattern.prefix.empty() ? std::string("an empty line") : "\"" + std::string(pattern.prefix) + "\"";
    const char* placeholder = pattern.kind == LineKind::integer ? "<integer>" : "<number>";
    return "\"" + std::string(pattern.prefix) + placeholder + std::string(pattern.suffix) + "\"";
}

std::string quoteLine(std::string_view line) {
    if (line.empty()) return "an empty line";
    return "\"" + displayExcerpt(line, 120) + "\"";
}

// Where the reading of a file stands; lines are 0-based here, 1-based in problems.
// The lines are views into the file's text, which outlives the reading.
struct Reader {
    std::vector<std::string_view> lines;
    size_t next = 0;
    ResultsRun* run = nullptr;
};

void addProblem(Reader& reader, size_t index, const std::string& message) {
    reader.run->problems.push_back(Problem{int(index + 1), message});
}

enum class BlockResult { matched, mismatched, endOfFile };

// What a figure in a block is; the layouts below place each one on its line.
enum class Field { none, window, triangles, seconds, anglesPerSecond, rate, totalSeconds, averageAngles,
                   averageVertices };

struct BlockLine {
    LinePattern pattern;
    Field field;
};

// The most lines a block has: streaming's logic block with the two empty
// lines that close its frame.
constexpr size_t maxBlockLines = 7;
using BlockValues = std::array<LineValue, maxBlockLines>;

// Matches consecutive lines against a block's layout from start; on a mismatch
// or the end of the file, failedAt is the index of the line that failed.
BlockResult matchBlock(const Reader& reader, size_t start, const std::vector<BlockLine>& layout,
                       BlockValues& values, size_t& failedAt) {
    // Every layout is fixed in this file; a longer one is a slip here, not damage in a file.
    if (layout.size() > values.size()) abort();
    for (size_t k = 0; k < layout.size(); ++k) {
        size_t index = start + k;
        if (index >= reader.lines.size()) {
            failedAt = index;
            return BlockResult::endOfFile;
        }
        if (!matchLine(reader.lines[index], layout[k].pattern, values[k])) {
            failedAt = index;
            return BlockResult::mismatched;
        }
    }
    return BlockResult::matched;
}

// After damage, the next line that can start a block again.
size_t resync(const Reader& reader, size_t from) {
    for (size_t i = from; i < reader.lines.size(); ++i) {
        const std::string_view line = reader.lines[i];
        if (line.starts_with(windowStart) || line.starts_with(summaryStart)) return i;
    }
    return reader.lines.size();
}

bool onlyEmptyLinesFrom(const Reader& reader, size_t from) {
    for (size_t i = from; i < reader.lines.size(); ++i)
        if (!reader.lines[i].empty()) return false;
    return true;
}

// Printed numbers carry six significant digits, so a figure recomputed from
// other printed figures agrees to about 5e-6 relative; more means damage.
bool agrees(double printed, double computed) {
    if (std::isnan(printed) || std::isnan(computed)) return std::isnan(printed) && std::isnan(computed);
    if (std::isinf(printed) || std::isinf(computed)) return printed == computed;
    double scale = std::max(std::fabs(printed), std::fabs(computed));
    return std::fabs(printed - computed) <= 1e-5 * scale;
}

std::string formatValue(double value) {
    if (std::isnan(value)) return "nan";
    char text[40];
    snprintf(text, sizeof text, "%g", value);
    return text;
}

void checkAgreement(Reader& reader, size_t index, const char* what, double printed, double computed,
                    const char* formula) {
    if (agrees(printed, computed)) return;
    addProblem(reader, index,
               std::string(what) + " " + formatValue(printed) + " does not agree with " + formula + " = " +
                   formatValue(computed) + " (damaged or edited file?)");
}

// After the title line: two empty lines, the set-up line, two empty lines.
const std::vector<BlockLine> setupBlock = {{emptyLine, Field::none},
                                           {emptyLine, Field::none},
                                           {numberLine(setupLine), Field::seconds},
                                           {emptyLine, Field::none},
                                           {emptyLine, Field::none}};
constexpr size_t setupIndex = 2;
constexpr size_t setupStart = 1;

// The set-up line itself is what matters: a block damaged or cut off after
// it still gives the set-up time.
bool readSetup(Reader& reader) {
    ResultsRun& run = *reader.run;
    BlockValues values;
    size_t failedAt = 0;
    const BlockResult result = matchBlock(reader, setupStart, setupBlock, values, failedAt);
    const bool setupRead = result == BlockResult::matched || failedAt > setupStart + setupIndex;
    if (setupRead) {
        run.hasSetup = true;
        run.setupSeconds = values[setupIndex].number;
    }
    if (result == BlockResult::endOfFile) {
        addProblem(reader, failedAt,
                   setupRead ? "the file ends right after the set-up line (truncated)"
                             : "the file ends before the set-up line (\"It spent: <number> Secs to "
                               "Initialize.\"): the program stopped while starting (truncated)");
        reader.next = reader.lines.size();
        return false;
    }
    if (result == BlockResult::mismatched) {
        addProblem(reader, failedAt,
                   "expected " + describePattern(setupBlock[failedAt - setupStart].pattern) + ", found " +
                       quoteLine(reader.lines[failedAt]));
        reader.next = resync(reader, failedAt);
        return true;
    }
    reader.next = setupStart + setupBlock.size();
    return true;
}

bool readHeader(Reader& reader) {
    ResultsRun& run = *reader.run;
    if (reader.lines.empty()) {
        // A lone line without its end of line has been reported already.
        if (!run.problems.empty()) return false;
        run.problems.push_back(Problem{1, "the file is empty; expected the title line of triangles, cube or streaming"});
        return false;
    }
    const std::string_view first = reader.lines[0];
    for (Program p : {Program::triangles, Program::cube, Program::streaming}) {
        if (first == textOf(p).title) {
            run.recognised = true;
            run.program = p;
        }
    }
    if (!run.recognised) {
        addProblem(reader, 0,
                   "not a Lumenfold results file: the first line is " + quoteLine(first) +
                       ", not the title line of triangles, cube or streaming");
        return false;
    }
    return readSetup(reader);
}

// Reports a block that broke off and moves on; false at the end of the file.
bool skipBrokenBlock(Reader& reader, BlockResult result, size_t start, size_t failedAt,
                     const LinePattern& expected, const char* what) {
    const std::string startLine = std::to_string(start + 1);
    if (result == BlockResult::endOfFile) {
        addProblem(reader, failedAt,
                   std::string("the file ends inside the ") + what + " that starts at line " + startLine +
                       " (" + describePattern(expected) + " expected next): truncated; that " + what +
                       " is left out");
        reader.next = reader.lines.size();
        return false;
    }
    addProblem(reader, failedAt,
               "expected " + describePattern(expected) + ", found " + quoteLine(reader.lines[failedAt]) +
                   "; the " + what + " that starts at line " + startLine + " is left out");
    // When the block's own first line is the damaged one, it would be found
    // again as the place to start over: look past it.
    reader.next = resync(reader, std::max(failedAt, start + 1));
    return true;
}

// How one program writes a frame of triangles or cube and its final summary.
struct FrameLayout {
    std::vector<BlockLine> frame;
    std::vector<BlockLine> summary;
    const char* rateName;        // "triangles/s"
    const char* rateFormula;     // how the rate is recomputed, for the message
    double countPerFrame;        // what each frame draws; 0: the frame's own triangle count
};

const FrameLayout& frameLayout(Program program) {
    static const FrameLayout triangles{
        {{windowLine, Field::window},
         {numberLine(trianglesDrawnLine), Field::triangles},
         {numberLine(trianglesTimeLine), Field::seconds},
         {numberLine(anglesRateLine), Field::anglesPerSecond},
         {numberLine(trianglesRateLine), Field::rate},
         {emptyLine, Field::none}},
        {{numberLine(totalTimeLine), Field::totalSeconds},
         {numberLine(averageAnglesLine), Field::averageAngles},
         {emptyLine, Field::none}},
        "triangles/s", "triangles / frame time", 0};
    static const FrameLayout cube{
        {{windowLine, Field::window},
         {numberLine(cubeTimeLine), Field::seconds},
         {numberLine(anglesRateLine), Field::anglesPerSecond},
         {numberLine(verticesRateLine), Field::rate},
         {emptyLine, Field::none}},
        {{numberLine(totalTimeLine), Field::totalSeconds},
         {numberLine(averageAnglesLine), Field::averageAngles},
         {numberLine(averageVerticesLine), Field::averageVertices},
         {emptyLine, Field::none}},
        "vertices/s", "16777216 / frame time", cubeVerticesPerFrame};
    return program == Program::cube ? cube : triangles;
}

// A block's lines matched, with each field's value and line index.
struct ReadBlock {
    size_t start = 0;
    size_t failedAt = 0;
    BlockResult result = BlockResult::matched;
    BlockValues values;

    const LineValue& value(const std::vector<BlockLine>& layout, Field field) const {
        static const LineValue none;
        for (size_t k = 0; k < layout.size(); ++k)
            if (layout[k].field == field) return values[k];
        return none;
    }
    size_t line(const std::vector<BlockLine>& layout, Field field) const {
        for (size_t k = 0; k < layout.size(); ++k)
            if (layout[k].field == field) return start + k;
        return start;
    }
};

ReadBlock readBlock(const Reader& reader, size_t start, const std::vector<BlockLine>& layout) {
    ReadBlock block;
    block.start = start;
    block.result = matchBlock(reader, start, layout, block.values, block.failedAt);
    return block;
}

void readSummary(Reader& reader) {
    ResultsRun& run = *reader.run;
    const FrameLayout& layout = frameLayout(run.program);
    const std::vector<BlockLine>& lines = layout.summary;
    const size_t start = reader.next;
    const ReadBlock block = readBlock(reader, start, lines);
    // Only the closing empty line missing: the figures are all there.
    const bool figuresComplete = block.result == BlockResult::endOfFile && block.failedAt == start + lines.size() - 1;
    if (block.result != BlockResult::matched && !figuresComplete) {
        skipBrokenBlock(reader, block.result, start, block.failedAt, lines[block.failedAt - start].pattern,
                        "final summary");
        return;
    }
    if (figuresComplete)
        addProblem(reader, block.failedAt,
                   "the file ends before the empty line that closes the final summary (truncated)");
    run.summary.present = true;
    run.summary.firstLine = int(start + 1);
    for (size_t k = 0; k + 1 < lines.size(); ++k) run.summary.lines.emplace_back(reader.lines[start + k]);
    run.summary.totalSeconds = block.value(lines, Field::totalSeconds).number;
    run.summary.averageAnglesPerSecond = block.value(lines, Field::averageAngles).number;
    run.summary.averageVerticesPerSecond = block.value(lines, Field::averageVertices).number;
    reader.next = start + lines.size();

    double total = 0;
    for (const Frame& frame : run.frames) total += frame.seconds;
    const double frames = double(run.frames.size());
    checkAgreement(reader, block.line(lines, Field::totalSeconds), "the total running time",
                   run.summary.totalSeconds, total, "the sum of the frame times read");
    checkAgreement(reader, block.line(lines, Field::averageAngles), "the average angles/s",
                   run.summary.averageAnglesPerSecond, frames / run.summary.totalSeconds,
                   "frames read / total running time");
    if (layout.countPerFrame > 0)
        checkAgreement(reader, block.line(lines, Field::averageVertices), "the average vertices/s",
                       run.summary.averageVerticesPerSecond, frames * layout.countPerFrame / run.summary.totalSeconds,
                       "frames read x 16777216 / total running time");
}

// One frame block that matched its layout: checked, and counted unless its
// triangle count fits no step.
void takeFrame(Reader& reader, const ReadBlock& block, const FrameLayout& layout) {
    const std::vector<BlockLine>& lines = layout.frame;
    Frame frame;
    frame.firstLine = int(block.start + 1);
    frame.window = block.value(lines, Field::window).integer;
    frame.triangles = block.value(lines, Field::triangles).number;
    frame.seconds = block.value(lines, Field::seconds).number;
    frame.anglesPerSecond = block.value(lines, Field::anglesPerSecond).number;
    frame.rate = block.value(lines, Field::rate).number;
    const double count = layout.countPerFrame > 0 ? layout.countPerFrame : frame.triangles;
    checkAgreement(reader, block.line(lines, Field::anglesPerSecond), "angles/s", frame.anglesPerSecond,
                   1.0 / frame.seconds, "1 / frame time");
    checkAgreement(reader, block.line(lines, Field::rate), layout.rateName, frame.rate, count / frame.seconds,
                   layout.rateFormula);
    reader.next = block.start + lines.size();
    // Every later figure is keyed by the step this count stands for, so a
    // count no step draws cannot be placed and the frame is left out.
    if (layout.countPerFrame == 0 && trianglesStep(frame.triangles) < 0) {
        addProblem(reader, block.line(lines, Field::triangles),
                   "triangles drawn " + formatValue(frame.triangles) +
                       " is not a whole multiple of 600 that a step draws; the frame is not counted");
        return;
    }
    reader.run->frames.push_back(frame);
}

// At the final summary: read it; false once the reading is over.
bool readSummaryAt(Reader& reader) {
    readSummary(reader);
    if (reader.run->summary.present) {
        if (!onlyEmptyLinesFrom(reader, reader.next))
            addProblem(reader, reader.next, "unexpected " + quoteLine(reader.lines[reader.next]) +
                                                " after the final summary; the rest is not read");
        return false;
    }
    // A summary cut off by the end of the file has been reported already.
    return reader.next < reader.lines.size();
}

// triangles and cube: frames until the final summary.
void readFrames(Reader& reader) {
    const FrameLayout& layout = frameLayout(reader.run->program);
    // No more frames than the lines can hold, and about that many in a whole file.
    reader.run->frames.reserve(reader.lines.size() / layout.frame.size());
    while (reader.next < reader.lines.size()) {
        const size_t start = reader.next;
        const std::string_view line = reader.lines[start];
        if (line.starts_with(summaryStart)) {
            if (!readSummaryAt(reader)) return;
            continue;
        }
        if (!line.starts_with(windowStart)) {
            if (onlyEmptyLinesFrom(reader, start)) break;
            addProblem(reader, start, "expected a frame (\"window: <integer>\") or the final summary, found " +
                                          quoteLine(line));
            reader.next = resync(reader, start + 1);
            continue;
        }
        const ReadBlock block = readBlock(reader, start, layout.frame);
        if (block.result == BlockResult::matched)
            takeFrame(reader, block, layout);
        else if (!skipBrokenBlock(reader, block.result, start, block.failedAt,
                                  layout.frame[block.failedAt - start].pattern, "frame"))
            return;
    }
    addProblem(reader, reader.lines.size(),
               "the file ends without the final summary (\"Total running time:  ...\"): the run did not "
               "end with Esc (truncated)");
}

int kernelOfNameLine(std::string_view line) {
    for (int k = 0; k < kernelCount; ++k)
        if (line == kernelNameLines[k]) return k;
    return -1;
}

// A streaming kernel block: its figures, then one empty line; the last
// kernel's block closes the frame with two more.
constexpr size_t kernelBlockLines = 5;
constexpr size_t frameClosingLines = 2;

std::vector<BlockLine> makeKernelBlockLayout(int kernel) {
    std::vector<BlockLine> layout = {{windowLine, Field::window},
                                     {{LineKind::literal, kernelNameLines[kernel], ""}, Field::none},
                                     {numberLine(kernelTimeLines[kernel]), Field::seconds},
                                     {numberLine(kernelRateLine), Field::rate},
                                     {emptyLine, Field::none}};
    if (kernel == kernelCount - 1) layout.insert(layout.end(), frameClosingLines, {emptyLine, Field::none});
    return layout;
}

const std::vector<BlockLine>& kernelBlockLayout(int kernel) {
    static const std::vector<BlockLine> layouts[kernelCount] = {makeKernelBlockLayout(0), makeKernelBlockLayout(1),
                                                                makeKernelBlockLayout(2)};
    return layouts[kernel];
}

// Where the reading of streaming's frames stands.
struct StreamingState {
    int expected = 0;          // the kernel the next block should hold
    bool frameIntact = true;   // every block of the current frame read in order
};

void takeKernelBlock(Reader& reader, const ReadBlock& block, const std::vector<BlockLine>& layout, int kernel,
                     StreamingState& state) {
    if (kernel == 0) state.frameIntact = true;
    if (kernel != state.expected) {
        addProblem(reader, block.start + 1,
                   std::string("expected the ") + kernelName(state.expected) + " kernel block, found " +
                       quoteLine(reader.lines[block.start + 1]) + ": a frame is incomplete");
        if (kernel != 0) state.frameIntact = false;
    }
    KernelBlock taken;
    taken.firstLine = int(block.start + 1);
    taken.window = block.value(layout, Field::window).integer;
    taken.seconds = block.value(layout, Field::seconds).number;
    taken.millionsPerSecond = block.value(layout, Field::rate).number;
    checkAgreement(reader, block.line(layout, Field::rate), "millions of executions/s", taken.millionsPerSecond,
                   streamIterations / taken.seconds / 1000000.0, "134.217728 / kernel time");
    reader.run->kernels[kernel].push_back(taken);
    if (kernel == kernelCount - 1 && state.frameIntact) ++reader.run->streamingFrames;
    state.expected = (kernel + 1) % kernelCount;
}

// One kernel block from reader.next; false once the reading is over.
bool readKernelBlock(Reader& reader, StreamingState& state) {
    const size_t start = reader.next;
    // The name line says which kernel the block holds; the rest follows from it.
    int kernel = start + 1 < reader.lines.size() ? kernelOfNameLine(reader.lines[start + 1]) : state.expected;
    if (kernel < 0) kernel = state.expected;
    const std::vector<BlockLine>& layout = kernelBlockLayout(kernel);
    const ReadBlock block = readBlock(reader, start, layout);
    // A logic block whose figures are all there but whose frame-closing
    // empty lines are cut off still counts as measured.
    if (block.result != BlockResult::matched && block.failedAt < start + kernelBlockLines) {
        state.frameIntact = false;
        state.expected = (kernel + 1) % kernelCount;
        return skipBrokenBlock(reader, block.result, start, block.failedAt, layout[block.failedAt - start].pattern,
                               "kernel block");
    }
    takeKernelBlock(reader, block, layout, kernel, state);
    if (block.result == BlockResult::matched) {
        reader.next = start + layout.size();
        return true;
    }
    if (block.result == BlockResult::endOfFile) {
        addProblem(reader, block.failedAt, "the file ends before the two empty lines that close the frame (truncated)");
        return false;
    }
    addProblem(reader, block.failedAt,
               "expected an empty line closing the frame, found " + quoteLine(reader.lines[block.failedAt]));
    reader.next = resync(reader, block.failedAt);
    return true;
}

void readStreamingFrames(Reader& reader) {
    StreamingState state;
    // Room for a whole file's blocks: one of each kernel per frame's lines.
    size_t frameLines = 0;
    for (int k = 0; k < kernelCount; ++k) frameLines += kernelBlockLayout(k).size();
    for (std::vector<KernelBlock>& blocks : reader.run->kernels) blocks.reserve(reader.lines.size() / frameLines);
    while (reader.next < reader.lines.size()) {
        const size_t start = reader.next;
        const std::string_view line = reader.lines[start];
        if (!line.starts_with(windowStart)) {
            if (onlyEmptyLinesFrom(reader, start)) break;
            addProblem(reader, start, "expected a kernel block (\"window: <integer>\"), found " + quoteLine(line));
            reader.next = resync(reader, start + 1);
            state.frameIntact = false;
            continue;
        }
        if (!readKernelBlock(reader, state)) return;
    }
    if (state.expected != 0)
        addProblem(reader, reader.lines.size(),
                   std::string("the file ends after the ") + kernelName(state.expected - 1) +
                       " kernel block, in the middle of a frame (truncated); that frame is not counted");
}

}  // namespace

const char* programName(Program program) { return textOf(program).name; }

bool programFromName(const std::string& name, Program& program) {
    for (Program p : {Program::triangles, Program::cube, Program::streaming}) {
        if (name == programName(p)) {
            program = p;
            return true;
        }
    }
    return false;
}

std::string resultsNamePrefix(Program program) {
    const std::string format = textOf(program).resultsNameFormat;
    return format.substr(0, format.find('%'));
}

const char* windowTitle(Program program) { return textOf(program).windowTitle; }

const char* kernelName(int kernel) {
    static const char* const names[kernelCount] = {"float", "integer", "logic"};
    return kernel >= 0 && kernel < kernelCount ? names[kernel] : "?";
}

int frameCount(const ResultsRun& run) {
    return run.program == Program::streaming ? run.streamingFrames : int(run.frames.size());
}

bool parseReportNumber(std::string_view text, double& value) {
    // The programs always spell not-a-number this way, whatever their C library.
    if (text == "-nan(ind)" || text == "nan" || text == "-nan") {
        value = NAN;
        return true;
    }
    if (text.empty()) return false;
    char first = text[0];
    if (!(isdigit((unsigned char)first) || first == '-' || first == '.' || first == 'i')) return false;
    if (text.find_first_of("xXpP(") != std::string_view::npos) return false;
    const TerminatedText terminated(text);
    char* end = nullptr;
    value = strtod(terminated.c_str(), &end);
    if (end != terminated.c_str() + text.size()) return false;
    // strtod also takes "nan" spellings and "infinity"; the programs write only "inf".
    if (std::isnan(value)) return false;
    if (std::isinf(value)) return text == "inf" || text == "-inf";
    return true;
}

long trianglesStep(double triangles) {
    // A frame at step s draws 3600 (s + 1) indices, reported as 600 (s + 1) triangles.
    constexpr double perStep = trianglesIndicesPerStep / trianglesIndicesPerTriangle;
    const double steps = triangles / perStep;
    // Far beyond any step the buffer can feed, yet small enough to count exactly.
    constexpr double stepLimit = 0x1p40;
    if (!(steps >= 1 && steps <= stepLimit) || steps != std::floor(steps) || steps * perStep != triangles)
        return -1;
    return long(steps) - 1;
}

ResultsRun parseResultsText(const std::string& text, const std::string& path) {
    ResultsRun run;
    run.path = displayText(path);
    run.givenPath = path;
    Reader reader;
    reader.run = &run;

    const std::string_view all = text;
    // Counted with memchr's wide compares: a byte-at-a-time count cost as much
    // as the rest of the splitting.
    size_t lineCount = 0;
    for (size_t at = all.find('\n'); at != std::string_view::npos; at = all.find('\n', at + 1)) ++lineCount;
    reader.lines.reserve(lineCount);
    size_t begin = 0;
    while (begin < all.size()) {
        size_t end = all.find('\n', begin);
        if (end == std::string_view::npos) {
            // Every line the programs write ends with a newline and a flush, so a
            // line without one was cut off mid-write and cannot be trusted.
            run.problems.push_back(Problem{int(reader.lines.size() + 1),
                                           "the last line is cut short (no end of line) and is ignored: " +
                                               quoteLine(all.substr(begin))});
            break;
        }
        std::string_view line = all.substr(begin, end - begin);
        // Files copied through Windows tools come back with CRLF endings.
        if (line.ends_with('\r')) line.remove_suffix(1);
        reader.lines.push_back(line);
        begin = end + 1;
    }

    if (!readHeader(reader)) return run;
    if (run.program == Program::streaming)
        readStreamingFrames(reader);
    else
        readFrames(reader);
    return run;
}

namespace {

ResultsRun unreadRun(const std::string& path, const std::string& message) {
    ResultsRun run;
    run.path = displayText(path);
    run.givenPath = path;
    run.problems.push_back(Problem{0, message});
    return run;
}

}  // namespace

ResultsRun readResultsFile(const std::string& path) {
    const FileText file = readRegularFile(path, maxResultsFileBytes);
    if (file.tooLarge) 
        return unreadRun(path, "larger than " + std::to_string(maxResultsFileBytes >> 20) +
                                   " MiB, more than any run writes; not read");
    if (!file.ok()) return unreadRun(path, file.error);
    return parseResultsText(file.text, path);
}
