#include "cli/RecordFile.h"

#include "platform/SystemError.h"
#include "platform/Text.h"

std::optional<std::string> RecordFile::Open(const std::string& path) {
    // Append access only: every write then goes to the end of the file as it is at that moment,
    // whoever else appends, where the C run-time's append mode seeks first and writes after.
    file_ = FileHandle(::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_.IsValid()) {
        return SystemErrorText(::GetLastError());
    }
    return std::nullopt;
}

std::optional<std::string> RecordFile::Append(std::string_view line) {
    while (!line.empty()) {
        DWORD written = 0;
        if (!::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written,
                         nullptr)) {
            return SystemErrorText(::GetLastError());
        }
        if (written == 0) {
            return std::string("nothing was written");
        }
        line.remove_prefix(written);
    }
    return std::nullopt;
}

std::optional<std::string> RecordFile::Close() {
    if (file_.Close()) {
        return std::nullopt;
    }
    return SystemErrorText(::GetLastError());
}
