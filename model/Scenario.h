#pragma once
// Scenario files: a whole situation (the parameter set with its switches and
// gates, the model and stage chosen, the picture settings and the picture
// size) as a small UTF-8 text of NAME=VALUE lines, so that a lab can be handed
// out and opened exactly as it was saved. The windows, the command line and
// the tests all read and write it through these functions.
//
//   # a comment
//   [Scenario]
//   Version=1
//   F0=3700
//   ...
//
// Parameters carry their `--set` names and the texts of their controls
// (decimal comma); list choices are item numbers, switches 0 or 1.

#include <functional>
#include <string>
#include <vector>

#include "display/PictureSettings.h"
#include "display/PictureSizing.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"
#include "model/StudySetup.h"

namespace sonavir {

inline constexpr int kScenarioVersion = 1;

// The situation a scenario describes.
struct Scenario {
    ModelParameters params;
    PictureSettings settings;
    int modelItem = 0;
    int pathStage = 0;
    bool autoRun = false;  // "Пересчитывать при изменении"
    PictureSizeChoice size;
    // The sweep's and the detection's set-ups; a file writes each only when
    // it is not the default, so a plain situation's file stays as it was.
    SweepSetup sweep;
    DetectionSetup detection;

    // The situation the program is in.
    static Scenario Capture(const MainState& state, const PictureSizeChoice& size);
    // Puts the parameter set, the switches, the picture settings and the model
    // and stage choices into the program. The picture size is left to the
    // caller: the windows and the command line size the picture each their
    // own way. The last run's memory figures and the settings window's form
    // stay as they are.
    void ApplyTo(MainState& state) const;
};

// A scenario as read, with the keys it names that this version does not know
// (skipped, so a newer file still opens).
struct ScenarioRead {
    Scenario scenario;
    std::vector<std::string> unknownKeys;
};

// The text is checked whole before anything is taken: a malformed line, an
// item number out of range or a text its control would refuse throws
// SonavirError naming the line and the key. The values are applied, starting
// from the defaults, through the controls' own change handlers in an order
// that gives the derived values of the texts; a key the file leaves out keeps
// its default.
ScenarioRead ParseScenario(const std::string& text);
// Throws SonavirError for a text that a scenario line cannot hold (a line
// break, bytes that are not UTF-8).
std::string FormatScenario(const Scenario& scenario);

// The same for files; messages name the file. Writing replaces the file
// atomically: a failure leaves the old one as it was.
ScenarioRead ReadScenarioFile(const std::string& path);
void WriteScenarioFile(const std::string& path, const Scenario& scenario);

// "Пропущены неизвестные ключи: A, B", for the status bar and the command line.
std::string SkippedKeysNote(const std::vector<std::string>& keys);
// "Сценарий lab.svr открыт", with the skipped keys' note after it, if any.
std::string OpenedNote(const std::string& path, const std::vector<std::string>& unknownKeys);
// ".svr" is added when the file name (not its folder) has no dot.
std::string WithScenarioExtension(const std::string& fileName);
// Whether a command-line argument names a scenario file (by its extension).
bool IsScenarioFileName(const std::string& name);

// The parameters by name, as `--set` and scenario files name them, in the
// order a scenario applies them.
struct ParameterKey {
    // Text: any text, the control's handler judges it. Item: an item number
    // (or track-bar position) from lo to hi. List: a text of a pick-only list.
    // Spin: a spin edit's text, taken as typed and brought into lo .. hi.
    enum class Kind { Text, Item, List, Spin };
    std::string name;
    Kind kind = Kind::Text;
    int lo = 0, hi = 0;
    const std::vector<std::string>* items = nullptr;  // List
    std::function<std::string(const ModelParameters&)> text;
    std::function<void(ModelParameters&, const std::string&)> apply;
};
const std::vector<ParameterKey>& ParameterKeys();
// Nullptr for a name that is no parameter.
const ParameterKey* FindParameterKey(const std::string& name);

}  // namespace sonavir
