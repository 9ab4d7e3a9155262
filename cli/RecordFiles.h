#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "record/RecordSource.h"
#include "store/FileReader.h"

// The record files of `vkd37 report`, read as one record in the order given: a chunk at a time
// through the store, so that the report's memory does not grow with their lines. The lines that
// are not record entries are named on standard error, by their numbers.
class RecordFiles final : public RecordSource {
public:
    // CommandError when one of them cannot be read.
    explicit RecordFiles(const std::vector<std::string>& paths);

    std::size_t ReadAll(const Take& take) override;
    // CommandError when the line is no longer there, the file changed meanwhile.
    RecordEntry Read(const AttemptPlace& place) override;

private:
    std::vector<std::string> paths_;
    std::vector<FileReader> files_;
};
