#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "record/FunctionRef.h"
#include "record/RecordEntry.h"
#include "record/RecordSource.h"
#include "record/StationRecord.h"
#include "store/FileReader.h"

// The lines of one record file, read a chunk at a time, so that no more of it than a line is
// held (RecordLines); why it could not be read to its end, the lines before the failure taken.
// A stop signal ends the reading between two chunks: the caller asks CaughtStopSignal().
std::optional<FileFailure> ReadRecordFileLines(FileReader& file,
                                               FunctionRef<void(const RecordLines::Line&)> take);

// The record files of `vkd37 report`, read as one record in the order given: a chunk at a time
// through the store, so that the report's memory does not grow with their lines, and gathered as
// the records of several stations (record/StationRecord.h): a line read already counts once, each
// file's chain is checked. The lines that are not record entries are named on standard error, by
// their numbers, the first time the files are read.
class RecordFiles final : public RecordSource {
public:
    // CommandError when one of them cannot be read.
    explicit RecordFiles(const std::vector<std::string>& paths);

    std::size_t ReadAll(const Take& take) override;
    // CommandError when the line is no longer there, the file changed meanwhile.
    RecordEntry Read(const AttemptPlace& place) override;
    // As the files were found when last read.
    std::optional<RecordChains> Chains() const override { return gathering_.Chains(); }
    const RecordGathering& Gathering() const { return gathering_; }
    const RecordGathering* Gathered() const override { return &gathering_; }

    // Reads the files through, for what the gathering finds.
    void Gather();

private:
    std::vector<std::string> paths_;
    std::vector<FileReader> files_;
    RecordGathering gathering_;
    bool named_ = false; // the lines left out
};
