#include "platform/TerminalText.h"

#include <cerrno>
#include <cstring>

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace {

// The user's locale's codeset, read once; the program's own locale is put back.
const std::string& Codeset() {
    static const std::string codeset = [] {
        const std::string own = ::setlocale(LC_CTYPE, nullptr);
        std::string name = ::setlocale(LC_CTYPE, "") ? ::nl_langinfo(CODESET) : "";
        ::setlocale(LC_CTYPE, own.c_str());
        return name.empty() || name == "ANSI_X3.4-1968" ? std::string("UTF-8") : name;
    }();
    return codeset;
}

// `text` converted; at a sequence `from` does not hold, `unconvertible` is called with the rest
// and says how many bytes it skips, or 0 to give up.
template <class Unconvertible>
std::optional<std::string> Converted(const char* to, const char* from, std::string_view text,
                                     Unconvertible unconvertible) {
    const iconv_t converter = ::iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out;
    char buffer[256];
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    bool whole = true;
    for (bool flushed = false; !flushed;) {
        char* next = buffer;
        std::size_t outLeft = sizeof buffer;
        flushed = inLeft == 0;
        const std::size_t done = flushed ? ::iconv(converter, nullptr, nullptr, &next, &outLeft)
                                         : ::iconv(converter, &in, &inLeft, &next, &outLeft);
        out.append(buffer, static_cast<std::size_t>(next - buffer));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            const std::size_t skipped = unconvertible(out, std::string_view(in, inLeft));
            if (skipped == 0) {
                whole = false;
                break;
            }
            in += skipped;
            inLeft -= skipped;
            flushed = false;
        }
    }
    ::iconv_close(converter);
    return whole ? std::optional<std::string>(out) : std::nullopt;
}

} // namespace

std::optional<std::string> TextFromTerminal(std::string_view bytes) {
    return Converted("UTF-8", Codeset().c_str(), bytes,
                     [](std::string&, std::string_view) { return std::size_t{0}; });
}

std::optional<std::string> ArgumentText(std::string_view argument) {
    return TextFromTerminal(argument);
}

std::string TerminalEncoding() {
    return Codeset();
}

std::string TextForTerminal(std::string_view utf8) {
    if (Codeset() == "UTF-8") {
        return std::string(utf8);
    }
    const std::optional<std::string> shown =
        Converted(Codeset().c_str(), "UTF-8", utf8, [](std::string& out, std::string_view rest) {
            out += '?';
            std::size_t length = 1; // the whole character, its continuation bytes too
            while (length < rest.size() &&
                   (static_cast<unsigned char>(rest[length]) & 0xC0) == 0x80) {
                ++length;
            }
            return length;
        });
    return shown ? *shown : std::string(utf8);
}
