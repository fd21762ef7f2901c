#include "programs/programs.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <set>
#include <stdexcept>

#include "programs/builtin_programs.h"

namespace {

struct Registry {
    std::vector<std::unique_ptr<ProgramSpec>> entries;
    std::vector<Program> list;
};

void refuse(const ProgramSpec& spec, const std::string& why) {
    throw std::invalid_argument(std::string("program \"") + (spec.text.name ? spec.text.name : "") + "\": " + why);
}

// Every block starts with the window line, which is where the reader picks
// up again after damage, and fits the reader's fixed room for its values.
void checkBlock(const ProgramSpec& spec, const BlockLayout& block, const std::string& what, size_t extraLines = 0) {
    if (block.empty() || block.front().pattern.kind != windowLine.kind ||
        block.front().pattern.prefix != windowLine.prefix || block.front().field != LineField::window)
        refuse(spec, what + " does not start with the window line");
    if (block.size() + extraLines > maxBlockLines)
        refuse(spec, what + " has more than " + std::to_string(maxBlockLines) + " lines");
}

void checkLayout(const ProgramSpec& spec) {
    const ResultsLayout& results = spec.results;
    if (results.frame.empty() == results.kernels.empty())
        refuse(spec, "a results layout has either a frame block or kernel blocks");
    if (!results.byKernel()) {
        checkBlock(spec, results.frame, "the frame block");
        if (results.summary.size() > maxBlockLines || (!results.summary.empty() &&
                                                       results.summary.front().pattern.kind != LineKind::number))
            refuse(spec, "the summary must start with a number line and fit " + std::to_string(maxBlockLines) +
                             " lines");
        if ((spec.text.summary == SummaryKind::none) != results.summary.empty())
            refuse(spec, "the summary layout and the program's summary kind disagree");
    } else {
        for (const KernelLayout& kernel : results.kernels) {
            const bool last = &kernel == &results.kernels.back();
            checkBlock(spec, kernel.block, "the " + kernel.name + " kernel block", last ? results.frameClosingLines : 0);
            if (kernel.name.empty() || kernelNameLine(kernel).empty())
                refuse(spec, "every kernel needs a name and a line that names its block");
        }
        if (!results.summary.empty()) refuse(spec, "a program of kernel blocks writes no final summary");
    }
    if (spec.hasSteps() && (results.byKernel() || !hasField(results.frame, LineField::triangles)))
        refuse(spec, "steps are known from a frame's count line, which its frame block lacks");
}

bool frameSource(SampleSource source) {
    return source == SampleSource::frameSeconds || source == SampleSource::framesPerSecond ||
           source == SampleSource::frameRate;
}

bool kernelSource(SampleSource source) {
    return source == SampleSource::kernelSeconds || source == SampleSource::kernelRate;
}

void checkFigure(const ProgramSpec& spec, const FigureSpec& figure) {
    const bool byKernel = spec.results.byKernel();
    const SampleSource source = figure.source;
    if ((frameSource(source) && byKernel) ||
        ((kernelSource(source) || source == SampleSource::kernelFrameSeconds) && !byKernel))
        refuse(spec, "figure " + figure.key + " takes samples its results layout does not have");
    if (kernelSource(source) && (figure.kernel < 0 || size_t(figure.kernel) >= spec.results.kernels.size()))
        refuse(spec, "figure " + figure.key + " names a kernel the program does not have");
    if (figure.perStep && (!spec.hasSteps() || !frameSource(source)))
        refuse(spec, "figure " + figure.key + " is per step, but the program's frames have no step");
    if (figure.judgesOutliers && !(frameSource(source) || kernelSource(source)) )
        refuse(spec, "figure " + figure.key + " cannot judge frames: it has no sample per frame or block");
    if (figure.judgesOutliers && figure.perStep)
        refuse(spec, "figure " + figure.key + " cannot judge frames: it is a family of steps");
}

void checkFigures(const ProgramSpec& spec) {
    std::set<std::string> keys;
    for (const FigureSpec& figure : spec.figures) {
        if (figure.key.empty() || !keys.insert(figure.key).second)
            refuse(spec, "figure keys must be given and differ (\"" + figure.key + "\")");
        checkFigure(spec, figure);
    }
    if (keys.count(spec.mainFigure) == 0) refuse(spec, "the main figure \"" + spec.mainFigure + "\" is not one of its figures");
    // A frame's rate is written under its figure's key, and its steps' table is headed by its label.
    const bool rated = std::any_of(spec.figures.begin(), spec.figures.end(), [](const FigureSpec& f) {
        return f.source == SampleSource::frameRate && !f.perStep;
    });
    if (!spec.results.byKernel() && (!rated || !hasField(spec.results.frame, LineField::rate)))
        refuse(spec, "a program of frame blocks needs a rate line and its figure");
}

void checkEntry(const Registry& registry, const ProgramSpec& spec) {
    if (spec.text.name == nullptr || spec.text.title == nullptr || spec.text.windowTitle == nullptr ||
        spec.text.resultsNameFormat == nullptr || *spec.text.name == '\0' || *spec.text.title == '\0')
        refuse(spec, "a program needs a name, a title, a window title and a results-file name");
    for (Program other : registry.list)
        if (std::string_view(other->name()) == spec.text.name || std::string_view(other->text.title) == spec.text.title)
            refuse(spec, "its name or title is taken by " + std::string(other->name()));
    checkLayout(spec);
    checkFigures(spec);
    if (std::string_view(spec.console.endLine.prefix).empty() ||
        (spec.results.byKernel() && size_t(spec.console.figureKernel) >= spec.results.kernels.size()))
        refuse(spec, "the console line that ends a frame is not given");
    if (spec.validationSteps.empty() ||
        std::any_of(spec.validationSteps.begin(), spec.validationSteps.end(), [](long long s) { return s < 1; }))
        refuse(spec, "its default validation steps must be steps from 1");
}

Program enter(Registry& registry, ProgramSpec spec) {
    checkEntry(registry, spec);
    for (FigureSpec& figure : timingFigures()) spec.figures.push_back(std::move(figure));
    auto entry = std::make_unique<ProgramSpec>(std::move(spec));
    for (FigureSpec& figure : entry->figures) figure.program = entry.get();
    registry.list.push_back(entry.get());
    registry.entries.push_back(std::move(entry));
    return registry.list.back();
}

Registry& registry() {
    static Registry table = [] {
        Registry built;
        for (ProgramSpec (*program)() : {trianglesProgram, cubeProgram, streamingProgram}) enter(built, program());
        return built;
    }();
    return table;
}

}  // namespace

const std::vector<Program>& programs() { return registry().list; }

Program findProgram(std::string_view name) {
    for (Program program : programs())
        if (name == program->name()) return program;
    return nullptr;
}

Program programOfTitle(std::string_view title) {
    for (Program program : programs())
        if (title == program->text.title) return program;
    return nullptr;
}

const char* programName(Program program) { return program != nullptr ? program->name() : "?"; }

std::vector<std::string> programNames() {
    std::vector<std::string> names;
    for (Program program : programs()) names.emplace_back(program->name());
    return names;
}

std::string programList(const std::string& last) {
    const std::vector<std::string> names = programNames();
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " " + last + " " : ", ") + names[i];
    return text;
}

std::string resultsNamePrefix(Program program) {
    const std::string format = program->text.resultsNameFormat;
    return format.substr(0, format.find('%'));
}

const char* windowTitle(Program program) { return program->text.windowTitle; }

long stepOfCount(const ProgramSpec& program, double count) {
    const double perStep = program.steps.countPerStep;
    if (!(perStep > 0)) return -1;
    const double steps = count / perStep;
    // Far beyond any step a program can feed, yet small enough to count exactly.
    constexpr double stepLimit = 0x1p40;
    if (!(steps >= 1 && steps <= stepLimit) || steps != std::floor(steps) || steps * perStep != count) return -1;
    return long(steps) - 1;
}

const std::vector<FigureSpec>& programFigures(Program program) { return program->figures; }

std::optional<FigureSpec> findFigure(Program program, const std::string& key) {
    for (const FigureSpec& spec : programFigures(program)) {
        if (!spec.perStep && spec.key == key) return spec;
        if (!spec.perStep || key.size() <= spec.key.size() || key.compare(0, spec.key.size(), spec.key) != 0)
            continue;
        const std::string digits = key.substr(spec.key.size());
        // Steps are written as plain decimal numbers; "012" or "+3" name no figure.
        const bool decimal =
            std::all_of(digits.begin(), digits.end(), [](unsigned char d) { return std::isdigit(d) != 0; });
        if (digits.size() > 9 || !decimal || (digits.size() > 1 && digits[0] == '0')) continue;
        return figureAtStep(spec, std::stol(digits));
    }
    return std::nullopt;
}

const FigureSpec& mainFigureSpec(Program program) {
    for (const FigureSpec& spec : program->figures)
        if (spec.key == program->mainFigure) return spec;
    // The table refuses an entry whose main figure is not among its figures.
    throw std::logic_error(std::string("no main figure in the entry of ") + program->name());
}

Program registerProgram(ProgramSpec spec) { return enter(registry(), std::move(spec)); }

void unregisterProgram(Program program) {
    Registry& table = registry();
    std::erase(table.list, program);
    std::erase_if(table.entries, [program](const std::unique_ptr<ProgramSpec>& e) { return e.get() == program; });
}
