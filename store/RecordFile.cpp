#include "store/RecordFile.h"

#include <algorithm>

std::optional<FileFailure> RecordFile::Open(const std::string& path) {
    const FileSystem::Opened opened = files_->OpenToAppend(path);
    file_ = OwnedFile(*files_, opened.file);
    path_ = path;
    if (!file_) {
        return OpenFailure(*files_, opened, "open", path.c_str());
    }
    // The system may open for appending only (mode 222, a share granting append without read):
    // the record's last line, to which the next links, could not be read.
    char first = 0;
    std::size_t read = 0;
    if (files_->ReadAt(file_.get(), 0, &first, 1, read) != 0) {
        file_ = OwnedFile(*files_);
        return StoreFailure(FileFault::kOther, "open", path.c_str(),
                            "it can be written but not read, and each line links to the one "
                            "before it");
    }
    return std::nullopt;
}

bool RecordFile::Is(const std::string& path) {
    const FileSystem::Opened other = files_->Open(path, FileSystem::Access::kLook);
    const OwnedFile looked(*files_, other.file);
    FileSystem::Info mine;
    return looked && files_->Describe(file_.get(), mine) == 0 &&
           mine.stamp.SameFile(other.info.stamp);
}

std::string RecordFile::Start(std::size_t size) {
    std::string start(size, '\0');
    std::size_t read = 0;
    if (files_->ReadAt(file_.get(), 0, start.data(), size, read) != 0) {
        read = 0;
    }
    start.resize(read);
    return start;
}

RecordFile::Appended RecordFile::Append(std::string_view line, const LockWait& wait) {
    return AppendAfter([line](std::optional<std::string_view>) { return std::string(line); }, wait,
                       {0, [] { return false; }});
}

RecordFile::AppendedAfter RecordFile::AppendAfter(const LineAfter& lineAfter, const LockWait& wait,
                                                  const LastLineRead& last) {
    Deadline deadline = SaveDeadline(wait, *files_);
    SystemErrorCode error = 0;
    AppendedAfter appended;
    appended.lock = WaitForSaveLock(*files_, file_.get(), deadline, error);
    const std::optional<std::string> lastLine = LastLine(last);
    appended.line = lineAfter(lastLine ? std::optional<std::string_view>(*lastLine) : std::nullopt);
    if (const SystemErrorCode failed = WriteLine(appended.line, appended.lock == LockEnd::kTaken)) {
        appended.failure = Failure(*files_, "write", path_.c_str(), failed);
    }
    if (appended.lock == LockEnd::kTaken) {
        files_->UnlockByte(file_.get(), kSaveLockOffset);
    }
    return appended;
}

namespace {

// Whether a line is blank as readers take it: after a byte-order mark, which they skip before
// any line (a file joined from two, the second marked).
bool BlankAsRead(std::string_view line) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (line.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        line.remove_prefix(kByteOrderMark.size());
    }
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

} // namespace

// Found from the end a chunk at a time, each byte looked at once, holding one chunk: where the
// line starts and ends; then read whole. Blank lines after it are passed over as readers skip
// them, and a line that grows past the limit, blank or not, ends the search, as readers leave it.
std::optional<std::string> RecordFile::LastLine(const LastLineRead& last) {
    FileSystem::Info info;
    if (files_->Describe(file_.get(), info) != 0) {
        return std::nullopt;
    }
    constexpr std::size_t kChunk = std::size_t{64} << 10;
    std::string chunk;
    std::uint64_t offset = info.stamp.size; // where the bytes looked at begin
    std::uint64_t lineEnd = offset;         // of the line looked at: its line feed, or the end
    bool blank = true;
    while (offset > 0) {
        if (last.keepReading && !last.keepReading()) {
            return std::nullopt;
        }
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(offset, kChunk));
        chunk.resize(size);
        std::size_t read = 0;
        if (files_->ReadAt(file_.get(), offset - size, chunk.data(), size, read) != 0 ||
            read != size) {
            return std::nullopt;
        }
        offset -= size;
        for (std::size_t i = size; i > 0; --i) {
            const std::uint64_t at = offset + i - 1;
            const char c = chunk[i - 1];
            if (c != '\n' && c != ' ' && c != '\t' && c != '\r') {
                blank = false;
            }
            if (c != '\n' && lineEnd - at > last.longestLine) {
                return std::nullopt;
            }
            if ((c == '\n' || at == 0) && !blank) {
                const std::uint64_t start = c == '\n' ? at + 1 : 0;
                std::string line(static_cast<std::size_t>(lineEnd - start), '\0');
                if (files_->ReadAt(file_.get(), start, line.data(), line.size(), read) != 0 ||
                    read != line.size()) {
                    return std::nullopt;
                }
                if (!BlankAsRead(line)) {
                    return line;
                }
                blank = true; // a mark alone: on to the line before
            }
            if (c == '\n') {
                lineEnd = at;
            }
        }
    }
    return std::string();
}

bool RecordFile::EndsInALineEnd(std::uint64_t size) {
    char last = '\n';
    std::size_t read = 0;
    return size == 0 || (files_->ReadAt(file_.get(), size - 1, &last, 1, read) == 0 && read == 1 &&
                         last == '\n');
}

SystemErrorCode RecordFile::WriteLine(std::string_view line, bool locked) {
    FileSystem::Info info;
    if (const SystemErrorCode error = files_->Describe(file_.get(), info)) {
        return error;
    }
    const std::uint64_t size = info.stamp.size;
    // A line another program left cut (a full disk, a crash) is ended first, and stays the one
    // line a reader leaves out. Where the end cannot be read, a blank line costs nothing.
    std::string bytes = EndsInALineEnd(size) ? std::string() : "\n";
    bytes.append(line);
    if (const SystemErrorCode error = files_->RoomFor(size + bytes.size())) {
        return error;
    }
    std::size_t written = 0;
    const SystemErrorCode error =
        WriteAll(*files_, file_.get(), FileSystem::kAtEnd, bytes, &written);
    // Part of a line: taken back where only this program writes now, else ended, so that the
    // next line starts on a line of its own.
    if (error && written > 0 && !(locked && files_->SetLength(file_.get(), size) == 0)) {
        WriteAll(*files_, file_.get(), FileSystem::kAtEnd, "\n");
    }
    return error;
}

std::optional<FileFailure> RecordFile::Close() {
    if (const SystemErrorCode error = file_.Close()) {
        return Failure(*files_, "close", path_.c_str(), error);
    }
    return std::nullopt;
}
