// The benchmark executable's main: the usual console report, then a table of
// ratios for every "<family>/ours/..." and "<family>/ref/..." pair (see
// BenchRatio.h).

#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"

namespace {

struct Key {
    std::string family, args;
    bool operator<(const Key& o) const { return family != o.family ? family < o.family : args < o.args; }
};

struct Times {
    double ours = 0, ref = 0;
    int oursRuns = 0, refRuns = 0;
    std::size_t order = 0;
};

// Splits "<family>/<side>/<args>" at its "ours" or "ref" segment, dropping the
// settings the library appends. False for names outside the convention.
bool Parse(const std::string& name, Key& key, bool& ours)
{
    std::vector<std::string> parts;
    std::stringstream in(name);
    for (std::string part; std::getline(in, part, '/');) parts.push_back(part);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] != "ours" && parts[i] != "ref") continue;
        ours = parts[i] == "ours";
        key = {};
        for (std::size_t j = 0; j < i; ++j) key.family += (j ? "/" : "") + parts[j];
        for (std::size_t j = i + 1; j < parts.size(); ++j) {
            const std::string& p = parts[j];
            if (p.find(':') != std::string::npos || p == "manual_time" || p == "real_time") continue;
            key.args += (key.args.empty() ? "" : "/") + p;
        }
        return true;
    }
    return false;
}

// Collects the runs for the ratio table and hands everything on to the
// library's own display reporter, so --benchmark_format and
// --benchmark_color keep working.
class RatioReporter : public benchmark::BenchmarkReporter {
public:
    RatioReporter() : inner_(benchmark::CreateDefaultDisplayReporter()) {}

    bool ReportContext(const Context& context) override { return inner_->ReportContext(context); }
    void Finalize() override { inner_->Finalize(); }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            Key key;
            bool ours = false;
            if (!Parse(run.benchmark_name(), key, ours)) continue;
            const double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            Times& t = times_.try_emplace(key, Times{0, 0, 0, 0, times_.size()}).first->second;
            (ours ? t.ours : t.ref) += seconds;
            ++(ours ? t.oursRuns : t.refRuns);
        }
        inner_->ReportRuns(runs);
    }

    void PrintRatios() const
    {
        std::vector<std::pair<std::size_t, std::string>> lines;
        for (const auto& [key, t] : times_) {
            if (t.oursRuns == 0 || t.refRuns == 0 || t.ref <= 0) continue;
            const double ratio = (t.ours / t.oursRuns) / (t.ref / t.refRuns);
            char buf[64];
            std::snprintf(buf, sizeof buf, ": ours/ref = %.2f", ratio);
            lines.emplace_back(t.order, key.family + (key.args.empty() ? "" : " " + key.args) + buf);
        }
        if (lines.empty()) return;
        std::sort(lines.begin(), lines.end());
        std::printf("\nRatios against the yardstick of the same run (below 1: ours is faster)\n");
        for (const auto& line : lines) std::printf("%s\n", line.second.c_str());
        std::fflush(stdout);
    }

private:
    std::unique_ptr<benchmark::BenchmarkReporter> inner_;
    std::map<Key, Times> times_;
};

}  // namespace

int main(int argc, char** argv)
{
    // Plots and runs draw text, which needs an application object; it must
    // also go before Qt's own globals, so it lives here and not in a static.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
