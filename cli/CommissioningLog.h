#pragma once

#include <optional>
#include <string>
#include <vector>

#include "record/Profile.h"
#include "record/RecordEntry.h"
#include "store/RecordFile.h"

// The commissioning record: one JSON line an attempt, each written as the attempt ends, so that a
// record that cannot be kept is known at once. Each line names the station that wrote it and the
// profile applied, and links to the record's line before it (the chain).
class CommissioningLog {
public:
    // A file the command reads values from, which its record may not be: "the settings file".
    struct ValuesFile {
        const char* what;
        std::string path; // empty: none given
    };
    // Opened before anything is sent: without its record, no controller is set up. A record that
    // is one of the command's values files, by any name, or that holds a profile or settings is
    // refused: its lines would be appended to what the next command reads. An empty path keeps
    // no record: the lines are only made.
    CommissioningLog(const std::string& path, std::string station,
                     const std::optional<Profile>& profile,
                     const std::vector<ValuesFile>& valuesFiles = {});

    bool IsOpen() const { return file_.IsOpen(); }
    // The line is written also where another batch held the record's lock past the wait, or a
    // stop signal ended the wait: the attempt was made, and the stop then ends the batch. It
    // links to the record's last line, read under the record's lock so that two batches' lines
    // link in the order they land.
    struct Appended {
        // As written, without its line end; one not kept holds no link and "recorded": false,
        // so that nobody takes it for a line of the record.
        std::string line;
        std::optional<std::string> failure; // why it was not kept; nothing when it was
    };
    Appended Append(RecordEntry entry);
    std::optional<std::string> Close();

    // The record's head, the short hash of the last line written here, which no link covers yet:
    // kept apart from the record, report --verify --head checks it. Said after each attempt (empty
    // before the first line, or without a record) and as the program leaves (nothing then).
    std::string HeadAfterAttempt() const;
    std::optional<std::string> HeadAtEnd() const;

private:
    std::optional<std::string> Failure(const std::optional<FileFailure>& failure) const;

    std::string path_;
    std::string station_;
    std::string profile_;
    std::string profileId_;
    std::string head_; // empty until a line is written
    bool lastWritten_ = false;
    RecordFile file_;
};

// The station's name for the record: the one given, else the host name.
std::string StationName(const std::string& given);
