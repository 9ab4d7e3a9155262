#include <memory>

#include "cli/ExitStatus.h"
#include "cli/LoadValues.h"
#include "cli/SaveLockWait.h"
#include "cli/commands/Command.h"
#include "model/ParameterAssignment.h"
#include "store/ParameterFile.h"

namespace {

// Read, changed and written under the file's lock: two runs at once both land.
int SetValues(const ValueSource& values) {
    const auto applyAssignments = [&values](ParameterSet& set, FileFailure& failure) {
        failure.fault = FileFault::kRefused;
        return ApplyAssignments(values.assignments, set, failure.text);
    };
    const SaveOutcome saved =
        UpdateParameterFile(values.file.c_str(), applyAssignments, SaveLockWait(values.file));
    if (!saved.Saved()) {
        throw CommandError(kExitUsage, saved.failure.text);
    }
    return kExitDone;
}

} // namespace

CommandAction DeclareSet(CLI::App& command) {
    const auto changed = std::make_shared<ValueSource>();
    command.description(
        "change values in a parameter file under its lock, making a missing one from the start "
        "values; an out-of-range value, or a file whose values stop at something that is not a "
        "number, leaves it untouched");
    command.add_option("FILE", changed->file, "parameter file")
        ->check(CommandLine::kPath)
        ->required();
    command.add_option("NAME=VALUE", changed->assignments, "values to change")->required();
    return [changed] { return SetValues(*changed); };
}
