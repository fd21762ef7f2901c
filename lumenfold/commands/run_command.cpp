#include "commands/run_command.h"

#include <cstdio>

#include "common/messages.h"
#include "output/run_words.h"
#include "output/text_format.h"
#include "run/machine_lock.h"
#include "programs/programs.h"

int runCommand(const RunOptions& options) {
    const Program program = findProgram(options.program);
    if (program == nullptr) {
        tell("unknown program \"" + options.program + "\": expected " + programList());
        return 2;
    }
    MachineLock machine;
    if (!holdMachine(machine, options.command, options.noWait)) return 1;
    std::string binary, directory;
    RunSession session;
    if (!prepareSession(options, binary, directory, session)) return 1;
    const RunOutcome outcome = runOnce(session, program, options, binary, directory);
    if (!outcome.failure.empty()) return 1;
    printf("\n%s", textReport(withoutContexts({outcome.results})).c_str());
    fflush(stdout);
    for (const Problem& problem : outcome.results.problems) tell(problemText(outcome.results, problem));
    return outcome.results.problems.empty() ? 0 : 1;
}
