// lumenfold: runs the benchmark programs unattended and reports their results files.
// Only the registering of commands is here; each command is a file of commands/.

#include <CLI/CLI.hpp>

#include "commands/bisect_command.h"
#include "commands/command_options.h"
#include "commands/compare_command.h"
#include "commands/history_command.h"
#include "commands/nightly_command.h"
#include "commands/report_command.h"
#include "commands/run_command.h"
#include "commands/suite_command.h"
#include "commands/validate_command.h"
#include "common/command_line.h"
#include "common/version.h"

int main(int argc, char** argv) {
    // lumenfold started again as the GL probe of a program's environment.
    if (const char* display = getenv(glProbeVariable)) return answerGlProbe(display);
    CLI::App app{"Runs the Lumenfold benchmark programs unattended and reports their results files."};
    app.set_version_flag("--version", lumenfoldVersion());
    app.require_subcommand(1);
    const std::string commandLine = shellQuoted(argc, argv);

    RunCommandOptions run;
    run.run.command = commandLine;
    CLI::App* runCli = addRunCommand(app, run);
    SuiteOptions suite;
    suite.command = commandLine;
    CLI::App* suiteCli = addSuiteCommand(app, suite);
    ReportOptions report;
    CLI::App* reportCli = addReportCommand(app, report);
    CompareOptions compare;
    CLI::App* compareCli = addCompareCommand(app, compare);
    ValidateOptions validate;
    validate.command = commandLine;
    CLI::App* validateCli = addValidateCommand(app, validate);
    HistoryOptions history;
    CLI::App* historyCli = addHistoryCommand(app, history);
    NightlyOptions nightly;
    nightly.command = commandLine;
    CLI::App* nightlyCli = addNightlyCommand(app, nightly);
    BisectOptions bisect;
    bisect.command = commandLine;
    CLI::App* bisectCli = addBisectCommand(app, bisect);
    HistoryFlag historyFlag;
    for (CLI::App* command : {runCli, suiteCli, bisectCli}) historyFlag.addTo(command);
    std::vector<std::string> labels;
    for (CLI::App* command : {runCli, suiteCli}) addLabels(command, labels, run.run.labels);
    addNoWait(runCli, run.run.noWait);
    addNoWait(suiteCli, suite.noWait);
    addNoWait(validateCli, validate.noWait);
    addNoWait(nightlyCli, nightly.noWait);
    addNoWait(bisectCli, bisect.noWait);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    run.run.finished = suite.finished = bisect.finished = historyFlag.adder();
    suite.labels = run.run.labels;
    if (*runCli) return historyFlag.status(runCommand(run));
    if (*suiteCli) return historyFlag.status(suiteCommand(suite));
    if (*bisectCli) return historyFlag.status(bisectCommand(bisect));
    if (*reportCli) return reportCommand(report);
    if (*compareCli) return compareCommand(compare);
    if (*validateCli) return validateCommand(validate);
    if (*historyCli) return historyCommand(history);
    if (*nightlyCli) return nightlyCommand(nightly);
    return 2;
}
