#pragma once

#include <string>
#include <vector>

#include "link/UploadFrame.h"
#include "model/ParameterSet.h"
#include "model/ParameterText.h"
#include "model/SaveDecision.h"

// A parameter file and the NAME=VALUE changes made to its values.
struct ValueSource {
    std::string file;
    std::vector<std::string> assignments;
};

// What a command does when its file is not there: start from the dialog's values, or refuse (an
// upload saying that nothing was sent).
enum class WhenMissing { kStartValues, kRefuse, kRefuseUpload };

struct LoadedValues {
    ParameterSet set;
    bool found = false;
    ParameterReading reading; // when found
    FileSight sight;          // the file as it was read, for a save to tell whether it changed
};

// The file's values as the dialog would load them, with the changes applied. A file that is
// there but cannot be read is an error for every command: its values are unknown, and writing
// over it would lose them.
LoadedValues LoadValues(const ValueSource& source, WhenMissing whenMissing);

// How far the file's values went, for a person: "" when all were read.
std::string ReadingNote(const std::string& file, const LoadedValues& loaded);

// Values the dialog would not send, named; where the file held fewer values, why they are 0.
void RefuseWhatTheDialogRefuses(const std::string& file, const LoadedValues& loaded);

inline UploadFrame FrameOf(const ParameterSet& set) {
    UploadFrame frame{};
    BuildUploadFrame(set, frame);
    return frame;
}
