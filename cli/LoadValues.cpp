#include "cli/LoadValues.h"

#include "cli/ExitStatus.h"
#include "model/ParameterAssignment.h"
#include "store/ParameterFile.h"
#include "model/ParameterTable.h"

LoadedValues LoadValues(const ValueSource& source, WhenMissing whenMissing) {
    LoadedValues loaded;
    const LoadOutcome outcome = LoadParameterFile(source.file.c_str(), loaded.set);
    switch (outcome.kind) {
    case LoadOutcome::Kind::kLoaded:
        loaded.found = true;
        loaded.reading = outcome.reading;
        loaded.sight = outcome.sight;
        break;
    case LoadOutcome::Kind::kMissing:
        if (whenMissing == WhenMissing::kRefuseUpload) {
            throw CommandError(kExitUsage, outcome.failure.text + "; nothing was sent");
        }
        if (whenMissing == WhenMissing::kRefuse) {
            throw CommandError(kExitUsage, outcome.failure.text);
        }
        break;
    case LoadOutcome::Kind::kUnreadable:
        throw CommandError(kExitUsage, outcome.failure.text);
    }
    std::string error;
    if (!ApplyAssignments(source.assignments, loaded.set, error)) {
        throw CommandError(kExitUsage, error);
    }
    return loaded;
}

std::string ReadingNote(const std::string& file, const LoadedValues& loaded) {
    const std::string incomplete = loaded.found ? IncompleteReadingText(loaded.reading) : "";
    if (incomplete.empty()) {
        return {};
    }
    return file + ": " + incomplete + (loaded.reading.values == 0 ? "; all" : "; the rest") +
           " read as 0";
}

void RefuseWhatTheDialogRefuses(const std::string& file, const LoadedValues& loaded) {
    std::string refused;
    for (const std::string& problem : RefusedValues(loaded.set, false)) {
        refused += (refused.empty() ? "" : "\nvkd37: ") + problem;
    }
    if (refused.empty()) {
        return;
    }
    if (const std::string note = ReadingNote(file, loaded); !note.empty()) {
        refused += "\nvkd37: " + note;
    }
    throw CommandError(kExitUsage, refused);
}
