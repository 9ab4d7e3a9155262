#include "record/ReportWords.h"

#include <utility>

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
};
static_assert(sizeof kWords / sizeof kWords[0] == static_cast<int>(Word::kLinesCut) + 1,
              "a word for every Word");

} // namespace

const char* Say(Language language, Word word) {
    return kWords[static_cast<int>(word)][static_cast<int>(language)];
}

std::string Say(Language language, Word word, const std::string& first, const std::string& second) {
    std::string text = Say(language, word);
    for (const auto& [place, filling] : {std::pair{"%1", &first}, std::pair{"%2", &second}}) {
        const std::size_t at = text.find(place);
        if (at != std::string::npos) {
            text.replace(at, 2, *filling);
        }
    }
    return text;
}

std::string SayOutcome(Language language, const RecordEntry& entry) {
    return entry.outcome ? EchoOutcomeWord(*entry.outcome, language) : entry.otherOutcome;
}

} // namespace ReportParts
