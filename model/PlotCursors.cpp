#include "model/PlotCursors.h"

#include <algorithm>
#include <cmath>

#include "model/PlotScene.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

constexpr int kDeltaDigits = 4;

void AppendCursorCell(std::string& line, const std::optional<long double>& value)
{
    line.push_back(',');
    if (value) AppendCsvNumber(line, *value);
}

}  // namespace

void PlotCursors::Place(PlotKind on, long double position)
{
    if (on != plot || !a) {
        *this = {};
        plot = on;
        a = position;
        return;
    }
    if (!b) {
        b = position;
        lastB = true;
        return;
    }
    lastB = std::fabs(position - *b) < std::fabs(position - *a);
    (lastB ? b : a) = position;
}

void PlotCursors::MoveLast(PlotKind on, long double position)
{
    if (on != plot || !a) {
        Place(on, position);
        return;
    }
    (lastB && b ? b : a) = position;
}

long long NearestPointAt(const PointAxis& axis, long double position)
{
    const long long last = axis.Count() - 1;
    if (last < 0) return 0;
    const long double i = std::floor(axis.IndexOf(position) + 0.5L);
    if (!(i > 0)) return 0;
    return i >= static_cast<long double>(last) ? last : static_cast<long long>(i);
}

CursorReadout ReadCursorsOn(const PointAxis& axis, PlotKind plot, const PlotCursors& cursors,
                            const std::function<long double(long long)>& value)
{
    CursorReadout r;
    if (!cursors.Any() || cursors.plot != plot || axis.Count() <= 0) return r;
    r.plot = plot;
    const auto read = [&](const std::optional<long double>& at) -> std::optional<CursorReading> {
        if (!at) return std::nullopt;
        CursorReading c;
        c.point = NearestPointAt(axis, *at);
        c.position = axis.At(c.point);
        c.value.raw = value(c.point);
        return c;
    };
    r.a = read(cursors.a);
    r.b = read(cursors.b);
    if (r.a && r.b) {
        r.delta = r.b->position - r.a->position + 0.0L;
        if (plot == PlotKind::Time && *r.delta != 0) r.inverse = 1 / std::fabs(*r.delta);
        const long double va = std::fabs(r.a->value.raw), vb = std::fabs(r.b->value.raw);
        if (va > 0 && vb > 0) r.ratioDb = 20 * std::log10(vb / va) + 0.0L;
    }
    return r;
}

CursorReadout ReadCursors(const ShownPlots& shown, const PlotCursors& cursors)
{
    if (!cursors.Any() || !shown.Has(cursors.plot) || !ShownReadable(shown, cursors.plot)) return {};
    const PlotKind plot = cursors.plot;
    CursorReadout r = ReadCursorsOn(shown.Axis(plot), plot, cursors,
                                    [&](long long i) { return ShownValue(shown, plot, i); });
    const std::string symbol = CurveSymbol(plot == PlotKind::Time ? shown.waveCaption : shown.spectrumCaption);
    for (std::optional<CursorReading>* c : {&r.a, &r.b})
        if (*c) (*c)->value = ReadShown(shown, plot, symbol, (*c)->value.raw);
    return r;
}

std::string CursorSummaryText(const CursorReadout& r)
{
    if (!r.delta) return "";
    const bool time = r.plot == PlotKind::Time;
    std::string text = std::string("B - A: ") + (time ? "Δt = " : "Δf = ") + FormatGeneral(*r.delta, kDeltaDigits) +
                       (time ? " с" : " Гц");
    if (r.inverse) text += "   1/Δt = " + FormatGeneral(*r.inverse, kDeltaDigits) + " Гц";
    if (r.ratioDb) text += "   B/A = " + FormatGeneral(*r.ratioDb, kDeltaDigits) + " дБ";
    return text;
}

std::string CursorReadoutText(const ShownPlots& shown, const CursorReadout& r)
{
    if (!r.Any()) return "";
    const PointAxis axis = shown.Axis(r.plot);
    const bool time = r.plot == PlotKind::Time;
    std::string text;
    for (const auto& [name, c] : {std::pair{"A: ", &r.a}, std::pair{"B: ", &r.b}}) {
        if (!*c) continue;
        const CursorReading& reading = **c;
        const long long neighbour = reading.point + 1 < axis.Count() ? reading.point + 1 : reading.point - 1;
        // The value as the plot reads it, without the stored one: the line
        // holds two cursors and their distance.
        const ReadoutValue& v = reading.value;
        std::string value = v.symbol;
        if (v.dbFloor == 0)
            value += " = " + FormatPicture(v.scaled);
        else if (v.scaled < v.dbFloor)
            value += " < " + FormatPicture(v.dbFloor) + " дБ";
        else
            value += " = " + FormatPicture(v.scaled) + " дБ";
        if (!text.empty()) text += "   ";
        text += std::string(name) + (time ? "t = " : "f = ") +
                CoordinateText(reading.position, axis.At(std::max(0LL, neighbour))) + (time ? " с, " : " Гц, ") + value;
    }
    const std::string summary = CursorSummaryText(r);
    if (!summary.empty()) text += "   " + summary.substr(summary.find(": ") + 2);
    return text;
}

PlotCursorMarks CursorMarks(const CursorReadout& r)
{
    PlotCursorMarks marks;
    for (const auto& [label, reading] : {std::pair{"A", &r.a}, std::pair{"B", &r.b}}) {
        if (!*reading) continue;
        PlotCursorMark m;
        m.label = label;
        m.point = (*reading)->point;
        m.hasValue = true;
        m.value = (*reading)->value.raw;
        marks.marks.push_back(m);
    }
    marks.summary = CursorSummaryText(r);
    return marks;
}

std::string WithCursorColumns(const std::string& csv, const CursorReadout& readout)
{
    const auto position = [](const std::optional<CursorReading>& c) {
        return c ? std::optional<long double>(c->position) : std::nullopt;
    };
    const auto value = [](const std::optional<CursorReading>& c) {
        return c ? std::optional<long double>(c->value.raw) : std::nullopt;
    };
    std::string cells;
    for (const std::optional<long double>& cell :
         {position(readout.a), value(readout.a), position(readout.b), value(readout.b), readout.delta,
          readout.inverse, readout.ratioDb})
        AppendCursorCell(cells, cell);
    std::string out;
    std::size_t from = 0;
    bool header = true;
    while (from < csv.size()) {
        const std::size_t end = std::min(csv.find('\n', from), csv.size());
        out.append(csv, from, end - from);
        out += header ? ",cursor_a_pos,cursor_a,cursor_b_pos,cursor_b,cursor_delta,cursor_inverse,cursor_ratio_db"
                      : cells;
        out.push_back('\n');
        header = false;
        from = end + 1;
    }
    return out;
}

}  // namespace sonavir
