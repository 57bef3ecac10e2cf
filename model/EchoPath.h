#pragma once
// The echo path as one table: for each stage the name the stage list shows,
// the channel model it applies, the gate that can leave that model out and
// the depth attenuation it carries; and the model view's items. Everything
// that lists the stages (the run, the filter's reference, the ledger, the
// scenario files, the command line, the windows' lists) reads it here, so a
// new stage is one row.

#include <array>
#include <string>
#include <vector>

#include "signal/ModelParams.h"

namespace sonavir {

// The models a stage or the model view applies.
enum class ChannelModel { None, Antenna, Water, Seabed, Sphere };

// What the depth attenuation scales a stage's waveform by.
enum class DepthScale { None, Range, Thickness };

struct EchoStage {
    const char* name;    // the stage list's text
    ChannelModel model;  // applied to the spectrum when the gate is on
    const char* gate;    // the gate's text in the parameters window; "" for the probe
    DepthScale depth;
};

inline constexpr int kLastStage = 7;
// Stage 0 is the probe itself; stage k applies its model after those of
// stages 1 .. k-1. Gate item k-1 belongs to stage k.
inline constexpr std::array<EchoStage, kLastStage + 1> kEchoPath = {{
    {"Модель", ChannelModel::None, "", DepthScale::None},
    {"Излученный антенной", ChannelModel::Antenna, "Излучающая антенна", DepthScale::None},
    {"Прошедший водную среду", ChannelModel::Water, "Среда распространения", DepthScale::Range},
    {"Прошедший грунт", ChannelModel::Seabed, "Грунт", DepthScale::Thickness},
    {"Отраженный от сферы", ChannelModel::Sphere, "Объект обнаружения", DepthScale::None},
    {"Отраженный и прошедший через грунт", ChannelModel::Seabed, "Грунт", DepthScale::Thickness},
    {"Отраженный и прошедший через водную среду", ChannelModel::Water, "Среда распространения",
     DepthScale::Range},
    {"Отраженный и принятый антенной", ChannelModel::Antenna, "Приемная антенна", DepthScale::None},
}};
inline constexpr int kGateCount = kLastStage;
using StageGates = std::array<bool, kGateCount>;
// Every stage's model on, as the parameters window starts.
constexpr StageGates AllGatesOn()
{
    StageGates gates{};
    gates.fill(true);
    return gates;
}

// The model list: item 0 runs the signal along the path, the others show
// one model's own response.
struct ModelView {
    const char* name;
    ChannelModel model;
};
inline constexpr std::array<ModelView, 5> kModelViews = {{
    {"Сигнал", ChannelModel::None},
    {"Антенна", ChannelModel::Antenna},
    {"Среда", ChannelModel::Water},
    {"Грунт", ChannelModel::Seabed},
    {"Объект", ChannelModel::Sphere},
}};

// The tables' texts as the windows' lists take them.
const std::vector<std::string>& PathItemTexts();   // stages 0 .. kLastStage
const std::vector<std::string>& GateItemTexts();   // gates 0 .. kGateCount-1
const std::vector<std::string>& ModelItemTexts();  // "Сигнал" .. "Объект"

// The depth-attenuation factor of stage k: 1/R for a range stage, 1/GruntHeight
// for a thickness stage (each from one unit on: km and m), 1 otherwise.
// Whether the attenuation is switched on is the caller's business.
long double DepthFactor(int stage, const TModelParams& p);

}  // namespace sonavir
