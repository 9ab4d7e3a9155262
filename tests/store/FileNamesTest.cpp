#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "store/FileNames.h"
#include "store/ReparsePoint.h"

namespace {

const std::string kName = "InitialParameter.dll";

TEST(TemporaryFileName, NamesItsNumberInOneFormAndNothingElse) {
    const std::string name = kName;
    EXPECT_EQ(name + ".vkd37-00001267.tmp", TemporaryFileName(name, 4711));
    EXPECT_EQ(4711u, TemporaryFileNumber(name + ".vkd37-00001267.tmp", name));
    EXPECT_EQ(4294967295u, TemporaryFileNumber(name + ".vkd37-ffffffff.tmp", name));
    for (const std::string& other :
         {name, name + ".tmp", name + ".4711.tmp", name + ".vkd37-.tmp",
          name + ".vkd37-0000126g.tmp", name + ".vkd37-0000126F.tmp", name + ".vkd37-+0001267.tmp",
          name + ".vkd37-00001267.tmp.bak", name + ".vkd37-00001267.TMP",
          "x" + name + ".vkd37-00001267.tmp",
          std::string("InitialParameter.dl.vkd37-00001267.tmp")}) {
        EXPECT_FALSE(TemporaryFileNumber(other, name)) << other;
    }
    // Cut to a limit, at a whole character: é is two bytes.
    const std::string cut = "dir/" + std::string(10, 'x') + "\xC3\xA9.vkd37-00001267.tmp";
    EXPECT_EQ(cut, TemporaryFileName("dir/" + std::string(10, 'x') + "\xC3\xA9\xC3\xA9.dll", 4711,
                                     10 + 2 + 19 + 1));
    EXPECT_EQ(4711u,
              TemporaryFileNumber(cut.substr(4), std::string(10, 'x') + "\xC3\xA9\xC3\xA9.dll",
                                  10 + 2 + 19 + 1));
}

// Where the whole path is limited too (the calls Windows XP has: 259 UTF-16 units, 255 for a
// name), a temporary's name is cut to fit both, counting the units a character takes.
TEST(TemporaryFileName, FitsAWholePathLimitInUtf16Units) {
    const auto folder = [](std::size_t units) { return "/" + std::string(units - 2, 'd') + "/"; };
    struct Case {
        std::string path;
        std::string stem; // what is left of the name
    };
    for (const Case& c : {
             Case{folder(232) + kName, "InitialP"},
             Case{folder(235) + "\u53c2\u6570\u8bbe\u5b9a.dll", "\u53c2\u6570\u8bbe\u5b9a."},
             Case{folder(239) + "\U0001F600x.dll", ""}, // one unit left: not half a character
             Case{folder(238) + "x\U0001F600.dll", "x"},
             Case{"/" + std::string(250, 'n'), std::string(236, 'n')},
         }) {
        const std::size_t limit = NameLimitForUtf16Limits(c.path, 259, 255);
        const std::string temporary = TemporaryFileName(c.path, 4711, limit);
        const std::string name(SplitDirectory(c.path).second);
        EXPECT_EQ(std::string(SplitDirectory(c.path).first) + c.stem + ".vkd37-00001267.tmp",
                  temporary);
        EXPECT_EQ(4711u, TemporaryFileNumber(SplitDirectory(temporary).second, name, limit));
    }
    const std::string fits = folder(220) + kName;
    EXPECT_EQ(kNoNameLimit, NameLimitForUtf16Limits(fits, 259, 255));
}

// A symbolic link's reparse data as FSCTL_GET_REPARSE_POINT gives them: the tag, the lengths, the
// substitute name's offset and length in bytes, the flags, then the names in UTF-16.
std::vector<unsigned char> ReparseData(std::uint32_t tag, std::u16string_view target,
                                       std::uint32_t flags, std::size_t cut = 0) {
    std::vector<unsigned char> data;
    const auto put = [&data](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            data.push_back(static_cast<unsigned char>(value >> (8 * i)));
        }
    };
    const auto length = static_cast<std::uint32_t>(target.size() * 2);
    put(tag, 4), put(12 + length, 2), put(0, 2);
    put(0, 2), put(length, 2), put(length, 2), put(0, 2), put(flags, 4);
    for (const char16_t unit : target) {
        put(unit, 2);
    }
    data.resize(data.size() - cut);
    return data;
}

TEST(ReadSymbolicLink, TakesRelativeAbsoluteAndShareTargetsAndNothingElse) {
    const std::u16string link = u"C:\\dir\\settings";
    struct Case {
        std::uint32_t tag;
        std::u16string text;
        std::uint32_t flags;
        std::size_t cut;
        std::optional<std::u16string> target; // relative where the flags say so
    } const cases[] = {
        {kSymbolicLinkTag, u"..\\real\\settings", 1, 0, u"C:\\dir\\..\\real\\settings"},
        {kSymbolicLinkTag, u"\\??\\D:\\folder\\file", 0, 0, u"D:\\folder\\file"},
        {kSymbolicLinkTag, u"\\??\\UNC\\server\\share\\file", 0, 0, u"\\\\server\\share\\file"},
        {0xA0000003, u"\\??\\D:\\folder", 0, 0, std::nullopt}, // a mount point: the file itself
        {kSymbolicLinkTag, u"\\??\\D:\\folder\\file", 0, 2, std::nullopt}, // cut short
    };
    for (const Case& c : cases) {
        const std::vector<unsigned char> data = ReparseData(c.tag, c.text, c.flags, c.cut);
        const std::optional<LinkReading> reading = ReadSymbolicLink(data.data(), data.size(), link);
        EXPECT_TRUE(c.target == (reading ? std::optional(reading->target) : std::nullopt));
        EXPECT_TRUE(!reading || reading->relative == (c.flags == 1));
    }
}

} // namespace
