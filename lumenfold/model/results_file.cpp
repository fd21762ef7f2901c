#include "model/results_file.h"
#include "model/timing_file.h"

#include "common/display_text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "text_format.h"
#include "programs/programs.h"

namespace {

struct LineValue {
    double number = 0;
    long integer = 0;
};

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
    // The lines a block of the program can start with, measured once rather
    // than on every line; summaryStart is empty for a program without one.
    std::string_view blockStart = windowLine.prefix;
    std::string_view summaryStart;
};

void addProblem(Reader& reader, size_t index, const std::string& message) {
    reader.run->problems.push_back(Problem{int(index + 1), message});
}

enum class BlockResult { matched, mismatched, endOfFile };

using BlockValues = std::array<LineValue, maxBlockLines>;

// Matches consecutive lines against a block's layout from start; on a mismatch
// or the end of the file, failedAt is the index of the line that failed.
BlockResult matchBlock(const Reader& reader, size_t start, const BlockLayout& layout, BlockValues& values,
                       size_t& failedAt) {
    // The table refuses longer layouts; one here is a slip, not damage in a file.
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
        if (line.starts_with(reader.blockStart) || (!reader.summaryStart.empty() && line.starts_with(reader.summaryStart)))
            return i;
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

void checkAgreement(Reader& reader, size_t index, const std::string& what, double printed, double computed,
                    const std::string& formula) {
    if (agrees(printed, computed)) return;
    addProblem(reader, index,
               what + " " + formatValue(printed) + " does not agree with " + formula + " = " + formatValue(computed) +
                   " (damaged or edited file?)");
}

// After the title line: two empty lines, the set-up line, two empty lines.
// Every program writes them alike.
const BlockLayout setupBlock = {{emptyLine, LineField::none},
                                {emptyLine, LineField::none},
                                {numberLine(setupLine), LineField::seconds},
                                {emptyLine, LineField::none},
                                {emptyLine, LineField::none}};
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
        run.problems.push_back(Problem{1, "the file is empty; expected the title line of " + programList()});
        return false;
    }
    const std::string_view first = reader.lines[0];
    run.program = programOfTitle(first);
    run.recognised = run.program != nullptr;
    if (!run.recognised) {
        addProblem(reader, 0,
                   "not a Lumenfold results file: the first line is " + quoteLine(first) +
                       ", not the title line of " + programList());
        return false;
    }
    const ResultsLayout& layout = run.program->results;
    run.kernels.resize(layout.kernels.size());
    if (!layout.summary.empty()) reader.summaryStart = layout.summary.front().pattern.prefix;
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

// A block's lines matched, with each field's value and line index.
struct ReadBlock {
    size_t start = 0;
    size_t failedAt = 0;
    BlockResult result = BlockResult::matched;
    BlockValues values;

    const LineValue& value(const BlockLayout& layout, LineField field) const {
        static const LineValue none;
        for (size_t k = 0; k < layout.size(); ++k)
            if (layout[k].field == field) return values[k];
        return none;
    }
    size_t line(const BlockLayout& layout, LineField field) const {
        for (size_t k = 0; k < layout.size(); ++k)
            if (layout[k].field == field) return start + k;
        return start;
    }
};

ReadBlock readBlock(const Reader& reader, size_t start, const BlockLayout& layout) {
    ReadBlock block;
    block.start = start;
    block.result = matchBlock(reader, start, layout, block.values, block.failedAt);
    return block;
}

// The summary's figures against the frames read.
void checkSummary(Reader& reader, const ReadBlock& block) {
    const ResultsRun& run = *reader.run;
    const ResultsLayout& layout = run.program->results;
    const BlockLayout& lines = layout.summary;
    double total = 0;
    for (const Frame& frame : run.frames) total += frame.seconds;
    const double frames = double(run.frames.size());
    if (hasField(lines, LineField::totalSeconds))
        checkAgreement(reader, block.line(lines, LineField::totalSeconds), "the total running time",
                       run.summary.totalSeconds, total, "the sum of the frame times read");
    if (hasField(lines, LineField::averageAngles))
        checkAgreement(reader, block.line(lines, LineField::averageAngles), "the average angles/s",
                       run.summary.averageAnglesPerSecond, frames / run.summary.totalSeconds,
                       "frames read / total running time");
    if (hasField(lines, LineField::averageVertices))
        checkAgreement(reader, block.line(lines, LineField::averageVertices), "the average " + layout.rate.rateName,
                       run.summary.averageVerticesPerSecond,
                       frames * layout.rate.countPerBlock / layout.rate.scale / run.summary.totalSeconds,
                       layout.rate.averageFormula);
}

void readSummary(Reader& reader) {
    ResultsRun& run = *reader.run;
    const BlockLayout& lines = run.program->results.summary;
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
    run.summary.totalSeconds = block.value(lines, LineField::totalSeconds).number;
    run.summary.averageAnglesPerSecond = block.value(lines, LineField::averageAngles).number;
    run.summary.averageVerticesPerSecond = block.value(lines, LineField::averageVertices).number;
    reader.next = start + lines.size();
    checkSummary(reader, block);
}

// One frame block that matched its layout: checked, and counted unless the
// program's frames have steps and its count fits none.
void takeFrame(Reader& reader, const ReadBlock& block) {
    const ProgramSpec& program = *reader.run->program;
    const BlockLayout& lines = program.results.frame;
    const RateCheck& rate = program.results.rate;
    Frame frame;
    frame.firstLine = int(block.start + 1);
    frame.window = block.value(lines, LineField::window).integer;
    frame.triangles = block.value(lines, LineField::triangles).number;
    frame.seconds = block.value(lines, LineField::seconds).number;
    frame.anglesPerSecond = block.value(lines, LineField::anglesPerSecond).number;
    frame.rate = block.value(lines, LineField::rate).number;
    const double count = rate.countPerBlock > 0 ? rate.countPerBlock : frame.triangles;
    if (hasField(lines, LineField::anglesPerSecond))
        checkAgreement(reader, block.line(lines, LineField::anglesPerSecond), "angles/s", frame.anglesPerSecond,
                       1.0 / frame.seconds, "1 / frame time");
    if (hasField(lines, LineField::rate))
        checkAgreement(reader, block.line(lines, LineField::rate), rate.rateName, frame.rate,
                       count / frame.seconds / rate.scale, rate.formula);
    reader.next = block.start + lines.size();
    // Every later figure is keyed by the step this count stands for, so a
    // count no step draws cannot be placed and the frame is left out.
    frame.step = stepOfCount(program, frame.triangles);
    if (program.hasSteps() && frame.step < 0) {
        addProblem(reader, block.line(lines, LineField::triangles),
                   program.steps.countName + " drawn " + formatValue(frame.triangles) + " is not a whole multiple of " +
                       formatValue(program.steps.countPerStep) + " that a step draws; the frame is not counted");
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

// A program of frame blocks: frames until the final summary, if it writes one.
void readFrames(Reader& reader) {
    const ResultsLayout& layout = reader.run->program->results;
    const bool summary = !reader.summaryStart.empty();
    // No more frames than the lines can hold, and about that many in a whole file.
    reader.run->frames.reserve(reader.lines.size() / layout.frame.size());
    while (reader.next < reader.lines.size()) {
        const size_t start = reader.next;
        const std::string_view line = reader.lines[start];
        if (summary && line.starts_with(reader.summaryStart)) {
            if (!readSummaryAt(reader)) return;
            continue;
        }
        if (!line.starts_with(reader.blockStart)) {
            if (onlyEmptyLinesFrom(reader, start)) break;
            addProblem(reader, start, "expected a frame (" + describePattern(layout.frame.front().pattern) + ")" +
                                          (summary ? " or the final summary" : "") + ", found " + quoteLine(line));
            reader.next = resync(reader, start + 1);
            continue;
        }
        const ReadBlock block = readBlock(reader, start, layout.frame);
        if (block.result == BlockResult::matched)
            takeFrame(reader, block);
        else if (!skipBrokenBlock(reader, block.result, start, block.failedAt,
                                  layout.frame[block.failedAt - start].pattern, "frame"))
            return;
    }
    if (summary)
        addProblem(reader, reader.lines.size(),
                   "the file ends without the final summary (\"" + std::string(reader.summaryStart) +
                       "...\"): the run did not end with Esc (truncated)");
}

// Where the reading of kernel blocks stands.
struct KernelReading {
    std::vector<BlockLayout> layouts;          // per kernel; the last one's with the frame's closing lines
    std::vector<size_t> nameIndex;             // per kernel, where in its block the line naming it is
    size_t closing = 0;                        // empty lines that close a frame
    int expected = 0;                          // the kernel the next block should hold
    bool frameIntact = true;                   // every block of the current frame read in order

    explicit KernelReading(const ResultsLayout& layout) {
        for (const KernelLayout& kernel : layout.kernels) {
            layouts.push_back(kernel.block);
            const std::string_view name = kernelNameLine(kernel);
            size_t at = 0;
            while (at < kernel.block.size() && kernel.block[at].pattern.prefix != name) ++at;
            nameIndex.push_back(at);
        }
        closing = layout.frameClosingLines;
        layouts.back().insert(layouts.back().end(), closing, {emptyLine, LineField::none});
    }
    int count() const { return int(layouts.size()); }
};

// The kernel whose name line the block from start has; -1 when none.
int kernelOfBlock(const Reader& reader, const KernelReading& state, size_t start) {
    const std::vector<KernelLayout>& kernels = reader.run->program->results.kernels;
    for (int k = 0; k < state.count(); ++k) {
        const size_t at = start + state.nameIndex[size_t(k)];
        if (at < reader.lines.size() && reader.lines[at] == kernelNameLine(kernels[size_t(k)])) return k;
    }
    return -1;
}

// "the two empty lines that close"
std::string closingLines(size_t count) {
    if (count == 1) return "the empty line that closes";
    static const char* const words[] = {"no", "one", "two", "three", "four"};
    return std::string("the ") + (count < std::size(words) ? words[count] : std::to_string(count)) +
           " empty lines that close";
}

const std::string& kernelName(const Reader& reader, int kernel) {
    return reader.run->program->results.kernels[size_t(kernel)].name;
}

void takeKernelBlock(Reader& reader, const ReadBlock& block, int kernel, KernelReading& state) {
    const BlockLayout& layout = state.layouts[size_t(kernel)];
    const RateCheck& rate = reader.run->program->results.rate;
    if (kernel == 0) state.frameIntact = true;
    if (kernel != state.expected) {
        const size_t nameLine = block.start + state.nameIndex[size_t(kernel)];
        addProblem(reader, nameLine,
                   "expected the " + kernelName(reader, state.expected) + " kernel block, found " +
                       quoteLine(reader.lines[nameLine]) + ": a frame is incomplete");
        if (kernel != 0) state.frameIntact = false;
    }
    KernelBlock taken;
    taken.firstLine = int(block.start + 1);
    taken.window = block.value(layout, LineField::window).integer;
    taken.seconds = block.value(layout, LineField::seconds).number;
    taken.millionsPerSecond = block.value(layout, LineField::rate).number;
    checkAgreement(reader, block.line(layout, LineField::rate), rate.rateName, taken.millionsPerSecond,
                   rate.countPerBlock / taken.seconds / rate.scale, rate.formula);
    reader.run->kernels[size_t(kernel)].push_back(taken);
    if (kernel == state.count() - 1 && state.frameIntact) ++reader.run->completeFrames;
    state.expected = (kernel + 1) % state.count();
}

// One kernel block from reader.next; false once the reading is over.
bool readKernelBlock(Reader& reader, KernelReading& state) {
    const size_t start = reader.next;
    // The name line says which kernel the block holds; the rest follows from it.
    int kernel = kernelOfBlock(reader, state, start);
    if (kernel < 0) kernel = state.expected;
    const BlockLayout& layout = state.layouts[size_t(kernel)];
    const size_t figureLines = reader.run->program->results.kernels[size_t(kernel)].block.size();
    const ReadBlock block = readBlock(reader, start, layout);
    // A last block whose figures are all there but whose frame-closing
    // empty lines are cut off still counts as measured.
    if (block.result != BlockResult::matched && block.failedAt < start + figureLines) {
        state.frameIntact = false;
        state.expected = (kernel + 1) % state.count();
        return skipBrokenBlock(reader, block.result, start, block.failedAt, layout[block.failedAt - start].pattern,
                               "kernel block");
    }
    takeKernelBlock(reader, block, kernel, state);
    if (block.result == BlockResult::matched) {
        reader.next = start + layout.size();
        return true;
    }
    if (block.result == BlockResult::endOfFile) {
        addProblem(reader, block.failedAt, "the file ends before " + closingLines(state.closing) +
                                               " the frame (truncated)");
        return false;
    }
    addProblem(reader, block.failedAt,
               "expected an empty line closing the frame, found " + quoteLine(reader.lines[block.failedAt]));
    reader.next = resync(reader, block.failedAt);
    return true;
}

// A program of kernel blocks: one block per kernel and frame, in order.
void readKernelFrames(Reader& reader) {
    KernelReading state(reader.run->program->results);
    // Room for a whole file's blocks: one of each kernel per frame's lines.
    size_t frameLines = 0;
    for (const BlockLayout& layout : state.layouts) frameLines += layout.size();
    for (std::vector<KernelBlock>& blocks : reader.run->kernels) blocks.reserve(reader.lines.size() / frameLines);
    while (reader.next < reader.lines.size()) {
        const size_t start = reader.next;
        const std::string_view line = reader.lines[start];
        if (!line.starts_with(reader.blockStart)) {
            if (onlyEmptyLinesFrom(reader, start)) break;
            addProblem(reader, start, "expected a kernel block (" + describePattern(windowLine) + "), found " +
                                          quoteLine(line));
            reader.next = resync(reader, start + 1);
            state.frameIntact = false;
            continue;
        }
        if (!readKernelBlock(reader, state)) return;
    }
    if (state.expected != 0)
        addProblem(reader, reader.lines.size(),
                   "the file ends after the " + kernelName(reader, state.expected - 1) +
                       " kernel block, in the middle of a frame (truncated); that frame is not counted");
}

}  // namespace

int frameCount(const ResultsRun& run) {
    return run.program != nullptr && run.program->results.byKernel() ? run.completeFrames : int(run.frames.size());
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

namespace {

// The file's lines, without their ends; a last line without one is reported.
void splitLines(const std::string& text, Reader& reader) {
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
            reader.run->problems.push_back(Problem{int(reader.lines.size() + 1),
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
}

}  // namespace

ResultsRun parseResultsText(const std::string& text, const std::string& path) {
    ResultsRun run;
    run.path = displayText(path);
    run.givenPath = path;
    Reader reader;
    reader.run = &run;
    splitLines(text, reader);
    if (!readHeader(reader)) return run;
    if (run.program->results.byKernel())
        readKernelFrames(reader);
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

const char* fileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a file";
}

std::string notRegular(mode_t mode) { return std::string("not a regular file (") + fileKind(mode) + ")"; }

std::string tooLarge(long long maxBytes) {
    return maxBytes == maxResultsFileBytes ? "larger than 256 MiB, more than any run writes; not read"
                                           : "larger than " + std::to_string(maxBytes) + " bytes; not read";
}

}  // namespace

bool readRegularFile(const std::string& path, long long maxBytes, std::string& text, std::string& error) {
    // Looked at before opening: opening a named pipe for reading would wait
    // for a writer, and opening a device can have effects of its own.
    struct stat info{};
    if (stat(path.c_str(), &info) != 0) {
        error = std::string("cannot open the file: ") + strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = notRegular(info.st_mode);
        return false;
    }
    if (info.st_size > maxBytes) {
        error = tooLarge(maxBytes);
        return false;
    }
    // The name may have been swapped for something else since; O_NONBLOCK keeps
    // even that from blocking, and fstat checks what was really opened.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot open the file: ") + strerror(errno);
        return false;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        error = notRegular(info.st_mode);
        return false;
    }
    // A file still growing (a run in progress) is read up to the limit and no further.
    text.clear();
    text.reserve(size_t(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = std::string("cannot read the file: ") + strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0) break;
        if ((long long)(text.size()) + got > maxBytes) {
            close(fd);
            error = tooLarge(maxBytes);
            return false;
        }
        text.append(buffer, size_t(got));
    }
    close(fd);
    return true;
}

ResultsRun readResultsFile(const std::string& path) {
    std::string text;
    std::string error;
    if (!readRegularFile(path, maxResultsFileBytes, text, error)) return unreadRun(path, error);
    ResultsRun run = parseResultsText(text, path);
    attachTimingBeside(run);
    struct stat info{};
    if (const std::string samples = samplesPathFor(path); stat(samples.c_str(), &info) == 0) {
        run.machineSamples = readMachineSamples(samples);
        run.machine = summariseSamples(*run.machineSamples);
    }
    return run;
}
