#include "model/SaveDecision.h"

namespace {

using Kind = FileSight::Kind;

// The bytes tell a rewrite within the file system's time resolution, and a file read whole that
// holds the same bytes has lost nothing whatever its time; beyond what a reader takes, or where
// another program keeps the bytes from being read, the stamp must do.
bool Unchanged(const FileSight& known, const FileSight& found) {
    if (known.kind == Kind::kUnknown || found.kind == Kind::kNone) {
        return true;
    }
    if (known.kind == Kind::kNone || found.kind == Kind::kUnknown) {
        return known.kind == found.kind;
    }
    if (known.stamp.size != found.stamp.size) {
        return false;
    }
    const bool bothRead = known.bytes && found.bytes;
    if (bothRead && *known.bytes != *found.bytes) {
        return false;
    }
    if (bothRead && found.stamp.size <= kParameterFileReadLimit) {
        return true;
    }
    return known.stamp.SameFile(found.stamp) &&
           (!known.timeKnown || !found.timeKnown || known.stamp.SameTime(found.stamp));
}

ParameterReading ReadingOf(const std::optional<std::string>& bytes) {
    ParameterSet set;
    return bytes ? ReadParameterText(*bytes, set) : ParameterReading{};
}

} // namespace

SaveDecision DecideSave(const FileSight& known, const FileSight& found, OverUnread overUnread) {
    if (!Unchanged(known, found)) {
        const ParameterReading reading = ReadingOf(found.bytes);
        return {reading.StoppedAtUnreadable() ? SaveVerdict::kChangedUnread : SaveVerdict::kChanged,
                reading};
    }
    if (found.kind == Kind::kNone) {
        return {SaveVerdict::kWrite, {}};
    }
    // Where the bytes cannot be read now, the same file holds what was read of it before.
    const ParameterReading reading = ReadingOf(found.bytes ? found.bytes : known.bytes);
    const bool told = known.kind == Kind::kSeen && overUnread == OverUnread::kReplace;
    return {reading.StoppedAtUnreadable() && !told ? SaveVerdict::kUnread : SaveVerdict::kWrite,
            reading};
}
