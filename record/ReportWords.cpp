#include "record/ReportWords.h"

#include <string_view>

namespace ReportParts {

namespace {

// In the order of Word, each in the order of Language.
constexpr const char* kWords[][2] = {
    {"Commissioning report", "调试报告"},
    {"First entry", "首条记录"},
    {"Last entry", "末条记录"},
    {"Record written by", "记录来源"},
    {"Report made by", "报告生成程序"},
    {"Unit", "设备编号"},
    {"Attempts", "上传次数"},
    {"Last outcome", "最后结果"},
    {"Time (UTC)", "时间（UTC）"},
    {"Port", "端口"},
    {"Values", "参数值"},
    {"Outcome", "结果"},
    {"ms", "毫秒"},
    {"Frame", "数据帧"},
    {"Failed attempts", "失败的上传"},
    {"None.", "无。"},
    {"Summary", "汇总"},
    {"Units", "设备"},
    {"Units", "设备数"},
    {"Units confirmed (last attempt)", "确认成功的设备（以最后一次为准）"},
    {"Units not confirmed", "未确认的设备"},
    {"Attempts confirmed", "成功的上传"},
    {"Attempts failed", "失败的上传"},
    {"Attempts that name no unit", "未标明设备的上传"},
    {"Lines left out (not record entries)", "无法读取而略去的行"},
    {"%1 of %2 units confirmed", "%2 台设备中 %1 台确认成功"},
    {"%1 of %2 unit confirmed", "%2 台设备中 %1 台确认成功"},
    {"not confirmed", "未确认"},
    {"Outcomes", "结果说明"},
    {"Report made on", "报告生成时间"},
    {"confirmed by a later attempt", "之后的上传已确认"},
    {"Page %1 of %2", "第 %1 页，共 %2 页"},
    {"Verdict", "结论"},
    {"confirmed", "已确认"},
    {"Attempts", "上传记录"},
    {"Record chains", "记录链"},
    {"every file's chain held", "每个文件的记录链均完整"},
    {"BROKEN: a line was changed, removed or put in, or a file has a gap",
     "已断开：有行被改动、删除或插入，或文件有缺失"},
    {"the chains there held, but not every file has one (some were written before lines were "
     "linked)",
     "现有的记录链均完整，但并非每个文件都有记录链（有的写于记录行链接之前）"},
    {"none: its lines are not linked (written before lines were linked)",
     "无：记录行未链接（写于记录行链接之前）"},
    {"Station records", "各工位的记录"},
    {"Finding", "发现"},
    {"confirmed with different values at two stations", "在两个工位以不同数值确认"},
    {"confirmed with values other than its profile's", "确认的数值与其配置不符"},
    {"a gap: a line changed, cut or missing", "缺口：有行被改动、截断或缺失"},
    {"Unit or file", "设备或文件"},
    {"Stations", "工位"},
    {"Values or where", "数值或位置"},
    {"the chain breaks at line %1", "记录链在第 %1 行断开"},
    {"%1 lines cut or not record lines", "%1 行被截断或不是记录行"},
    {"%1 line cut or not a record line", "%1 行被截断或不是记录行"},
    {"Confirmed units by profile", "按配置统计的确认设备"},
    {"(no profile)", "（无配置）"},
    {"Units confirmed with values other than their profile's", "确认的数值与其配置不符的设备"},
    {"Units confirmed with different values at different stations",
     "在不同工位以不同数值确认的设备"},
    {"(no station named)", "（未命名工位）"},
    {"Record files", "记录文件"},
    {" (station %1)", "（工位 %1）"},
    {" - GAP", "——有缺口"},
    {"%1 lines read already from another file", "%1 行已从另一个文件读取"},
    {"%1 line read already from another file", "%1 行已从另一个文件读取"},
    {"no chain: its lines are not linked (written before lines were linked: by an older tool, or "
     "an older page's log)",
     "无记录链：记录行未链接（写于记录行链接之前：由旧版工具或旧版网页的日志写成）"},
    {"no chain: the file has no record lines", "无记录链：文件中没有记录行"},
    {"the chain holds", "记录链完整"},
    {" (%1 earlier lines from before the chain are not in it)",
     "（之前写于记录链之前的 %1 行不在链中）"},
    {"line %1 cut short (a gap: a write cut off by a crash or a full disk, not an edit)",
     "第 %1 行被截短（缺口：写入因崩溃或磁盘已满而中断，并非改动）"},
    {"line %1 and others cut short (a gap: a write cut off by a crash or a full disk, not an edit)",
     "第 %1 行等被截短（缺口：写入因崩溃或磁盘已满而中断，并非改动）"},
    {"head %1 (of line %2, the last)", "链头 %1（第 %2 行，即最后一行）"},
    {"it was changed, or lines after it removed", "该行被改动，或其后的行被删除"},
    {"it was changed, its link with it", "该行连同其链接被改动"},
    {"it was put in", "该行是插入的"},
    {"it is out of order (it links to the line after it)", "该行顺序颠倒（它链接到其后的行）"},
    {"it has no link (its link taken out, or the line put in by hand)",
     "该行没有链接（链接被删去，或该行为手工插入）"},
    {"lines before it were removed", "其前的行被删除"},
    {"it is no record line, and the next line does not link to it",
     "该行不是记录行，下一行也未链接到它"},
    {"it does not link to the start of the file", "该行未链接到文件开头"},
    {"it is longer than any record line, so the next line could not link to it",
     "该行比任何记录行都长，因此下一行无法链接到它"},
    {"the chain breaks between lines %1 and %2: line %1 was changed, or line %2 put in or changed "
     "(no linked line after it tells which)",
     "记录链在第 %1 行与第 %2 行之间断开：第 %1 行被改动，或第 %2 "
     "行是插入的或被改动（其后没有已链接的行可判断是哪一种）"},
};
static_assert(sizeof kWords / sizeof kWords[0] == static_cast<int>(Word::kBreakBetween) + 1,
              "a word for every Word");

} // namespace

const char* Say(Language language, Word word) {
    return kWords[static_cast<int>(word)][static_cast<int>(language)];
}

std::string SayCount(Language language, Word many, Word one, std::size_t count) {
    return Say(language, count == 1 ? one : many, std::to_string(count));
}

std::string Say(Language language, Word word, const std::string& first, const std::string& second) {
    // In one pass: a filling that holds "%2" (a unit's label) stays as it is.
    const std::string_view words = Say(language, word);
    std::string text;
    for (std::size_t at = 0; at < words.size(); ++at) {
        if (words[at] == '%' && at + 1 < words.size() &&
            (words[at + 1] == '1' || words[at + 1] == '2')) {
            text += words[++at] == '1' ? first : second;
        } else {
            text += words[at];
        }
    }
    return text;
}

const char* Mark(Language language, char mark) {
    const bool chinese = language == Language::kChinese;
    switch (mark) {
    case ':':
        return chinese ? "：" : ": ";
    case ';':
        return chinese ? "；" : "; ";
    default:
        return chinese ? "，" : ", ";
    }
}

std::string SayOutcome(Language language, const RecordEntry& entry) {
    return entry.outcome ? EchoOutcomeWord(*entry.outcome, language) : entry.otherOutcome;
}

} // namespace ReportParts
