#include "model/EchoPath.h"

#include "signal/Errors.h"

namespace sonavir {

namespace {

template <typename Table, typename Text>
std::vector<std::string> Texts(const Table& table, Text text)
{
    std::vector<std::string> texts;
    for (const auto& row : table) texts.emplace_back(text(row));
    return texts;
}

}  // namespace

const std::vector<std::string>& PathItemTexts()
{
    static const std::vector<std::string> items = Texts(kEchoPath, [](const EchoStage& s) { return s.name; });
    return items;
}

const std::vector<std::string>& GateItemTexts()
{
    static const std::vector<std::string> items = [] {
        std::vector<std::string> gates;
        for (int k = 1; k <= kLastStage; ++k) gates.emplace_back(kEchoPath[k].gate);
        return gates;
    }();
    return items;
}

const std::vector<std::string>& ModelItemTexts()
{
    static const std::vector<std::string> items = Texts(kModelViews, [](const ModelView& v) { return v.name; });
    return items;
}

long double DepthFactor(int stage, const TModelParams& p)
{
    if (stage < 1 || stage > kLastStage) return 1.0L;
    switch (kEchoPath[stage].depth) {
    case DepthScale::Range:
        return p.R >= 1 ? CheckedDiv(1, p.R) : 1.0L;
    case DepthScale::Thickness:
        return p.GruntHeight >= 1 ? CheckedDiv(1, p.GruntHeight) : 1.0L;
    case DepthScale::None:
        break;
    }
    return 1.0L;
}

}  // namespace sonavir
