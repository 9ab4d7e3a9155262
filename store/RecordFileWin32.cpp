#include "store/RecordFile.h"

#include "platform/SystemError.h"
#include "platform/Text.h"

std::optional<std::string> RecordFile::Open(const std::string& path) {
    // Append access: every write then goes to the end of the file as it is at that moment,
    // whoever else appends, where the C run-time's append mode seeks first and writes after.
    // Read access too, without which the system refuses the lock; a file that may not be read
    // is appended to unlocked.
    const std::wstring name = Wide(path);
    for (const DWORD access : {DWORD{FILE_APPEND_DATA | FILE_READ_DATA}, DWORD{FILE_APPEND_DATA}}) {
        file_ = FileHandle(::CreateFileW(name.c_str(), access,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file_.IsValid() || ::GetLastError() != ERROR_ACCESS_DENIED) {
            break;
        }
    }
    if (!file_.IsValid()) {
        return SystemErrorText(::GetLastError());
    }
    return std::nullopt;
}

std::optional<std::string> RecordFile::WriteWhole(std::string_view line) {
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
