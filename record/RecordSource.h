#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "record/FunctionRef.h"
#include "record/RecordEntry.h"

// Where an attempt's line stands: in a record read from files, the file (in the order given), the
// line's first byte and its length; in one held in memory, its index as offset.
struct AttemptPlace {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t file = 0;
};

// A record as the report reads it: every attempt once in the order of its files and lines, to
// tally; then one attempt at a time again, by its place, as often as a form needs. A record read
// from files so holds no more than a line at a time, and the report's memory grows with the
// record's units, not its lines.
class RecordGathering;

class RecordSource {
public:
    using Take = FunctionRef<void(const RecordEntry& entry, const AttemptPlace& place)>;
    // Calls take for each attempt; the number of lines left out.
    virtual std::size_t ReadAll(const Take& take) = 0;
    // The attempt at `place`, read again.
    virtual RecordEntry Read(const AttemptPlace& place) = 0;
    // What the files' chains say (record/RecordChain.h); nothing where they were not checked.
    virtual std::optional<RecordChains> Chains() const { return std::nullopt; }
    // How its files were gathered (record/StationRecord.h); null for a record not read from files.
    virtual const RecordGathering* Gathered() const { return nullptr; }

protected:
    ~RecordSource() = default;
};

// A record held whole, as the page and the tests have it.
class RecordInMemory final : public RecordSource {
public:
    explicit RecordInMemory(const CommissioningRecord& record) : record_(record) {}
    std::size_t ReadAll(const Take& take) override;
    RecordEntry Read(const AttemptPlace& place) override { return record_.entries[place.offset]; }
    std::optional<RecordChains> Chains() const override { return record_.chains; }

private:
    const CommissioningRecord& record_;
};

// Where a form of the report goes, a piece at a time.
using ReportSink = FunctionRef<void(std::string_view piece)>;
