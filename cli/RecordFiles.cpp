#include "cli/RecordFiles.h"

#include "cli/ExitStatus.h"
#include "cli/Output.h"
#include "platform/StopSignals.h"

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

// "line 7", "lines 7, 9, 12", the first ten numbers and how many more.
std::string LinesLeftOut(const std::vector<std::size_t>& named, std::size_t count) {
    std::string text = count == 1 ? "line " : "lines ";
    for (std::size_t i = 0; i < named.size(); ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(named[i]);
    }
    if (count > named.size()) {
        text += " and " + std::to_string(count - named.size()) + " more";
    }
    return text + (count == 1 ? " is not a record entry" : " are not record entries") +
           ", left out";
}

} // namespace

std::optional<FileFailure> ReadRecordFileLines(FileReader& file,
                                               FunctionRef<void(const RecordLines::Line&)> take) {
    std::string chunk(kChunk, '\0');
    RecordLines lines;
    std::uint64_t offset = 0;
    for (std::size_t read = kChunk; read == kChunk && !CaughtStopSignal(); offset += read) {
        if (std::optional<FileFailure> failure =
                file.Read(offset, chunk.data(), chunk.size(), read)) {
            return failure;
        }
        lines.Add(std::string_view(chunk.data(), read), take);
    }
    lines.End(take);
    return std::nullopt;
}

RecordFiles::RecordFiles(const std::vector<std::string>& paths) : paths_(paths) {
    for (const std::string& path : paths) {
        files_.emplace_back();
        if (const std::optional<FileFailure> failure = files_.back().Open(path)) {
            throw CommandError(kExitUsage, failure->text);
        }
    }
}

std::size_t RecordFiles::ReadAll(const Take& take) {
    constexpr std::size_t kNamed = 10;
    std::size_t leftOut = 0;
    gathering_.Restart();
    for (std::size_t file = 0; file < files_.size(); ++file) {
        gathering_.StartFile(paths_[file]);
        std::vector<std::size_t> named;
        std::size_t count = 0;
        RecordEntry entry;
        const auto line = [&](const RecordLines::Line& line) {
            switch (gathering_.Add(line, entry)) {
            case RecordGathering::LineIs::kEntry:
                take(entry, {line.offset, static_cast<std::uint32_t>(line.text.size()),
                             static_cast<std::uint32_t>(file)});
                break;
            case RecordGathering::LineIs::kLeftOut:
                if (++count <= kNamed) {
                    named.push_back(line.number);
                }
                break;
            case RecordGathering::LineIs::kBlank:
            case RecordGathering::LineIs::kRepeated:
                break;
            }
        };
        if (const std::optional<FileFailure> failure = ReadRecordFileLines(files_[file], line)) {
            throw CommandError(kExitUsage, failure->text);
        }
        if (count > 0 && !named_) {
            Complain(paths_[file] + ": " + LinesLeftOut(named, count));
        }
        leftOut += count;
    }
    // A report of a record read in part would read as the whole record's.
    if (CaughtStopSignal()) {
        throw CommandError(kExitUsage, "stopped before the record was read to its end");
    }
    gathering_.End();
    named_ = true;
    return leftOut;
}

void RecordFiles::Gather() {
    ReadAll([](const RecordEntry&, const AttemptPlace&) {});
}

RecordEntry RecordFiles::Read(const AttemptPlace& place) {
    std::string text(place.length, '\0');
    std::size_t read = 0;
    if (const std::optional<FileFailure> failure =
            files_[place.file].Read(place.offset, text.data(), text.size(), read)) {
        throw CommandError(kExitUsage, failure->text);
    }
    std::optional<RecordEntry> entry = ReadRecordLine(std::string_view(text.data(), read));
    if (!entry) {
        throw CommandError(kExitUsage, "cannot read " + paths_[place.file] +
                                           ": it changed while the report was made");
    }
    return std::move(*entry);
}
