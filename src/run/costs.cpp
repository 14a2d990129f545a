#include "run/costs.h"

#include <map>

namespace run::cost {

// The decimal floating point works on 14 BCD digits a nibble at a time: an
// addition aligns and adds 7 bytes, a product is 14 passes of shifted
// additions, a quotient 14 of trial subtractions, and the functions are
// series of those.
std::uint64_t ofFloatCall(const std::string &name) {
    static const std::map<std::string, std::uint64_t> costs = {
        {"_FPAdd", 1500},      {"_FPSub", 1600},     {"_Plus1", 1500},       {"_Minus1", 1500},
        {"_Times2", 1500},     {"_TimesPt5", 7000},  {"_FPMult", 7000},      {"_FPSquare", 7000},
        {"_FPDiv", 12000},     {"_FPRecip", 12000},  {"_SqRoot", 30000},     {"_Sin", 60000},
        {"_Cos", 60000},       {"_Tan", 120000},     {"_LnX", 60000},        {"_LogX", 70000},
        {"_EToX", 60000},      {"_TenX", 70000},     {"_YToX", 140000},      {"_Int", 500},
        {"_Intgr", 500},       {"_Trunc", 500},      {"_Frac", 600},         {"_Round", 800},
        {"_RndGuard", 600},    {"_ConvOP1", 1500},   {"_FormReal", 6000},    {"_DispOP1A", 6000},
        {"_Random", 40000},    {"_CpOP1OP2", 300},   {"_SetXXOP1", 800},     {"_SetXXOP2", 800},
        {"_SetXXXXOP2", 1200}, {"_Min", 400},        {"_Max", 400},          {"_InvOP1S", 100},
        {"_ATan", 90000},      {"_ATanRad", 90000},  {"_ASin", 120000},      {"_ASinRad", 120000},
        {"_ACos", 120000},     {"_ACosRad", 120000}, {"_SinCosRad", 100000}, {"_DToR", 7000},
        {"_RToD", 7000},       {"_InvSub", 1600},    {"_AbsO1PAbsO2", 1600}, {"_AbsO1O2Cp", 400},
        {"_FormDisp", 6000},   {"_SinH", 70000},     {"_CosH", 70000},       {"_TanH", 80000},
        {"_ASinH", 90000},     {"_ACosH", 90000},    {"_ATanH", 90000},
    };
    const auto it = costs.find(name);
    return it == costs.end() ? 0 : it->second;
}

} // namespace run::cost
