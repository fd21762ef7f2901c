#include "model/timing_file.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <string_view>

#include <sys/stat.h>

#include "common/display_text.h"
#include "programs/programs.h"

namespace {

using namespace timing_format;

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (start <= line.size()) {
        const size_t end = std::min(line.find(' ', start), line.size());
        out.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The whole text as a count: digits only, no sign, no leading space.
bool parseCount(std::string_view text, unsigned long long& value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Nanoseconds as seconds, "-" as not measured.
bool parseNanoseconds(std::string_view text, double& seconds) {
    unsigned long long ns = 0;
    if (text == "-") {
        seconds = NAN;
        return true;
    }
    if (!parseCount(text, ns)) return false;
    seconds = double(ns) * 1e-9;
    return true;
}

bool parseKind(std::string_view text, SwapKind& kind) {
    if (text == kindNew) kind = SwapKind::newStep;
    else if (text == kindRedraw) kind = SwapKind::redraw;
    else if (text == kindMore) kind = SwapKind::more;
    else return false;
    return true;
}

class TimingParser {
public:
    explicit TimingParser(TimingFile& file) : file_(file) {}

    void line(int number, std::string_view text) {
        line_ = number;
        if (text.rfind("frame ", 0) == 0) return frame(words(text));
        if (text.rfind("gpu ", 0) == 0 && !gpuHeader(text)) return gpu(words(text));
        if (text != frameColumns && text != gpuColumns && !gpuHeader(text))
            problem("not a line of a timing file: \"" + displayExcerpt(text, 80) + "\"");
    }

    // What the file leaves unsaid about the GPU time of each swap.
    void finish() {
        for (TimingSwap& swap : file_.swaps) {
            if (!std::isnan(swap.gpuSeconds) || !swap.gpuMissing.empty()) continue;
            swap.gpuMissing = file_.gpuAvailable ? "not read back before the program ended"
                                                 : "no GPU time: " + file_.gpuNote;
        }
    }

private:
    static bool startsWord(std::string_view text, std::string_view word) {
        return text.rfind(word, 0) == 0 && (text.size() == word.size() || text[word.size()] == ' ');
    }

    bool gpuHeader(std::string_view text) {
        const std::string_view available = gpuAvailable, unavailable = gpuUnavailable;
        const bool yes = startsWord(text, available);
        const bool no = startsWord(text, unavailable);
        if (!yes && !no) return false;
        file_.gpuAvailable = yes;
        text.remove_prefix(std::min(text.size(), (yes ? available : unavailable).size() + 1));
        file_.gpuNote = text.empty() ? "the file does not say" : displayText(text);
        return true;
    }

    void frame(const std::vector<std::string_view>& w) {
        TimingSwap swap;
        swap.line = line_;
        unsigned long long index = 0, step = 0;
        if (w.size() != 6 || !parseCount(w[1], index) || !parseCount(w[2], step) || !parseKind(w[3], swap.kind) ||
            !parseNanoseconds(w[4], swap.presentSeconds) || !parseNanoseconds(w[5], swap.cpuSeconds) ||
            index < 1 || index > (1ULL << 62) || step > (1ULL << 52))
            return problem("a frame line that is not \"frame swap step kind present_ns cpu_ns\"");
        swap.swap = (long long)index;
        swap.step = long(step);
        const long long last = file_.swaps.empty() ? 0 : file_.swaps.back().swap;
        if (swap.swap <= last)
            return problem("swap " + std::to_string(swap.swap) + " comes after swap " + std::to_string(last));
        if (swap.swap != last + 1)
            problem("swaps " + std::to_string(last + 1) + " to " + std::to_string(swap.swap - 1) + " are missing");
        file_.swaps.push_back(swap);
    }

    void gpu(const std::vector<std::string_view>& w) {
        unsigned long long index = 0;
        if (w.size() != 3 || !parseCount(w[1], index))
            return problem("a gpu line that is not \"gpu swap gpu_ns\"");
        TimingSwap* swap = find((long long)std::min(index, 1ULL << 62));
        if (swap == nullptr)
            return problem("a GPU time for swap " + std::to_string(index) + ", which has no frame line");
        if (!std::isnan(swap->gpuSeconds) || !swap->gpuMissing.empty())
            return problem("a second GPU time for swap " + std::to_string(index));
        if (w[2] == gpuDisjoint) {
            swap->gpuMissing = "the GPU's timer was disjoint (its clock was disturbed)";
        } else if (w[2] == gpuOverrun) {
            swap->gpuMissing = "the GPU's result was not ready before its query was needed again";
        } else if (w[2] == gpuUntimed) {
            swap->gpuMissing = "no query ran over this swap (the program left its GL context)";
        } else if (w[2] == gpuImpossible) {
            swap->gpuMissing = "the driver gave a GPU time longer than the time since the query began";
        } else if (!parseNanoseconds(w[2], swap->gpuSeconds) || std::isnan(swap->gpuSeconds)) {
            swap->gpuSeconds = NAN;
            problem("a gpu line that is not \"gpu swap gpu_ns\"");
        }
    }

    // The swaps are in ascending order, so a search finds one.
    TimingSwap* find(long long index) {
        auto& swaps = file_.swaps;
        auto at = std::lower_bound(swaps.begin(), swaps.end(), index,
                                   [](const TimingSwap& s, long long i) { return s.swap < i; });
        return at != swaps.end() && at->swap == index ? &*at : nullptr;
    }

    void problem(const std::string& message) { file_.problems.push_back({line_, message}); }

    TimingFile& file_;
    int line_ = 0;
};

}  // namespace

TimingFile parseTimingText(const std::string& text, const std::string& path) {
    TimingFile file;
    file.path = displayText(path);
    const std::string_view all = text;
    const size_t firstEnd = all.find('\n');
    if (all.substr(0, firstEnd) != magic) {
        file.problems.push_back({1, std::string("not a timing file: the first line is not \"") + magic + "\""});
        return file;
    }
    file.recognised = true;
    TimingParser parser(file);
    int number = 1;
    for (size_t start = firstEnd + 1; firstEnd != std::string_view::npos && start < all.size(); ++number) {
        const size_t end = all.find('\n', start);
        if (end == std::string_view::npos) {
            // Its numbers may have lost digits: a line without its end is not read.
            file.problems.push_back({number + 1, "the last line is cut short"});
            break;
        }
        parser.line(number + 1, all.substr(start, end - start));
        start = end + 1;
    }
    parser.finish();
    return file;
}

TimingFile readTimingFile(const std::string& path) {
    std::string text, error;
    if (!readRegularFile(path, maxTimingFileBytes, text, error)) {
        TimingFile file;
        file.path = displayText(path);
        file.problems.push_back({0, error});
        return file;
    }
    return parseTimingText(text, path);
}

std::vector<FrameTiming> timingFrames(const TimingFile& file) {
    std::vector<FrameTiming> frames;
    for (const TimingSwap& swap : file.swaps) {
        if (swap.kind != SwapKind::more) {
            FrameTiming frame;
            frame.step = swap.step;
            frame.redraw = swap.kind == SwapKind::redraw;
            frame.firstSwap = swap.swap;
            frame.presentSeconds = frame.cpuSeconds = frame.gpuSeconds = 0;
            frames.push_back(frame);
        } else if (frames.empty()) {
            continue;
        }
        FrameTiming& frame = frames.back();
        ++frame.swaps;
        frame.presentSeconds += swap.presentSeconds;
        frame.cpuSeconds += swap.cpuSeconds;
        frame.gpuSeconds += swap.gpuSeconds;
        if (frame.gpuMissing.empty()) frame.gpuMissing = swap.gpuMissing;
    }
    return frames;
}

std::vector<std::optional<FrameTiming>> matchFramesByStep(const std::vector<FrameTiming>& drawings,
                                                          const std::vector<long>& frameSteps) {
    std::map<long, std::vector<size_t>> drawingsOfStep;
    for (size_t i = 0; i < drawings.size(); ++i) drawingsOfStep[drawings[i].step].push_back(i);
    std::map<long, size_t> taken;
    std::vector<std::optional<FrameTiming>> matched;
    matched.reserve(frameSteps.size());
    for (long step : frameSteps) {
        const auto found = drawingsOfStep.find(step);
        const size_t nth = step >= 1 ? taken[step]++ : 0;
        if (step < 1 || found == drawingsOfStep.end() || nth >= found->second.size())
            matched.emplace_back();
        else
            matched.emplace_back(drawings[found->second[nth]]);
    }
    return matched;
}

std::string timingPathFor(const std::string& resultsPath) {
    const std::string suffix = ".txt";
    if (resultsPath.size() > suffix.size() && resultsPath.ends_with(suffix))
        return resultsPath.substr(0, resultsPath.size() - suffix.size()) + ".timing";
    return resultsPath + ".timing";
}

namespace {

std::vector<std::optional<FrameTiming>> drawingsOfFrames(const ResultsRun& run, const std::vector<FrameTiming>& drawings) {
    const size_t whole = size_t(std::max(0, frameCount(run)));
    if (run.recognised && run.program->hasSteps()) {
        std::vector<long> steps;
        for (size_t i = 0; i < whole && i < run.frames.size(); ++i) steps.push_back(run.frames[i].step);
        return matchFramesByStep(drawings, steps);
    }
    std::vector<std::optional<FrameTiming>> matched(whole);
    for (size_t i = 0; i < whole && i < drawings.size(); ++i) matched[i] = drawings[i];
    return matched;
}

}  // namespace

void attachTiming(ResultsRun& run, const TimingFile& file) {
    TimedFrames& timing = run.timing;
    timing = TimedFrames{};
    timing.present = true;
    timing.file = file.path;
    timing.gpuAvailable = file.gpuAvailable;
    timing.gpuNote = file.gpuNote;
    timing.problems = file.problems;
    if (!file.recognised) return;
    for (const std::optional<FrameTiming>& drawing : drawingsOfFrames(run, timingFrames(file))) {
        FrameTimes times;
        if (drawing) {
            times.presentSeconds = drawing->presentSeconds;
            times.cpuSeconds = drawing->cpuSeconds;
            times.gpuSeconds = drawing->gpuMissing.empty() ? drawing->gpuSeconds : NAN;
            times.gpuMissing = drawing->gpuMissing;
        } else {
            ++timing.unmatched;
        }
        timing.frames.push_back(times);
    }
}

void attachTimingBeside(ResultsRun& run) {
    const std::string path = timingPathFor(run.givenPath.empty() ? run.path : run.givenPath);
    struct stat info{};
    if (stat(path.c_str(), &info) != 0) return;
    attachTiming(run, readTimingFile(path));
}
