#include "record/ReportWords.h"

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
};
static_assert(sizeof kWords / sizeof kWords[0] == static_cast<int>(Word::kLeftOut) + 1,
              "a word for every Word");

} // namespace

const char* Say(Language language, Word word) {
    return kWords[static_cast<int>(word)][static_cast<int>(language)];
}

std::string SayOutcome(Language language, const RecordEntry& entry) {
    return entry.outcome ? EchoOutcomeWord(*entry.outcome, language) : entry.otherOutcome;
}

} // namespace ReportParts
