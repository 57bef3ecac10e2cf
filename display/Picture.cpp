#include "display/Picture.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <array>
#include <cstring>

#include "signal/Errors.h"

namespace sonavir {

namespace {

__extension__ typedef __int128 Int128;

QRgb ToRgb(TColor c)
{
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

TColor FromRgb(QRgb c)
{
    return TColor(qRed(c)) | (TColor(qGreen(c)) << 8) | (TColor(qBlue(c)) << 16);
}

// Dot and dash patterns of a 1-pixel pen: pixels on, then pixels off.
struct StylePattern {
    int on;
    int period;
};

StylePattern PatternOf(PenStyle style)
{
    switch (style) {
    case PenStyle::Dot: return {3, 6};
    case PenStyle::Dash: return {18, 24};
    default: return {1, 1};
    }
}

// The 256-colour halftone table: the 20 static colours at both ends (black
// first, white last), the 6x6x6 colour cube and a grey ramp in between.
const std::array<TColor, 256>& HalftoneTable()
{
    static const std::array<TColor, 256> table = [] {
        std::array<TColor, 256> t{};
        const TColor low[10] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000,
                                0x800080, 0x808000, 0xC0C0C0, 0xC0DCC0, 0xF0CAA6};
        const TColor high[10] = {0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF, 0x00FF00,
                                 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
        int i = 0;
        for (TColor c : low) t[i++] = c;
        for (int b = 0; b < 6; ++b)
            for (int g = 0; g < 6; ++g)
                for (int r = 0; r < 6; ++r)
                    t[i++] = TColor(r * 51) | (TColor(g * 51) << 8) | (TColor(b * 51) << 16);
        for (int k = 1; k <= 20; ++k) {
            const TColor v = TColor(k * 255 / 21);
            t[i++] = v | (v << 8) | (v << 16);
        }
        for (TColor c : high) t[i++] = c;
        return t;
    }();
    return table;
}

void PutLE16(std::string& out, unsigned v)
{
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}

void PutLE32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

}  // namespace

Picture::Picture(int width, int height)
{
    SetSize(width, height);
    Fill(kBlack);
}

int Picture::Width() const { return image_.width(); }
int Picture::Height() const { return image_.height(); }

void Picture::SetFormat(PixelFormat format) { format_ = format; }

void Picture::SetSize(int width, int height)
{
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (!image_.isNull() && width == image_.width() && height == image_.height()) return;
    QImage next(width, height, QImage::Format_RGB32);
    if (next.isNull()) RaiseOutOfMemory();
    next.fill(ToRgb(kBlack));
    if (!image_.isNull()) {
        const int w = std::min(width, image_.width());
        const int h = std::min(height, image_.height());
        for (int y = 0; y < h; ++y)
            std::memcpy(next.scanLine(y), image_.constScanLine(y), size_t(w) * 4);
    }
    image_ = std::move(next);
    Record(Call::Size, width, height);
}

void Picture::Fill(TColor color)
{
    image_.fill(ToRgb(color));
    // What was drawn before is gone: the record starts here, with the
    // drawing state that later calls may rely on. (A styled line continued
    // across the fill would restart its dot pattern on replay; nothing draws
    // so.)
    record_.clear();
    recordTexts_.clear();
    recordKept_ = true;
    recordWidth_ = image_.width();
    recordHeight_ = image_.height();
    recordFill_ = color;
    Record(Call::Pen, int(penColor_), penWidth_, int(penStyle_));
    Record(Call::Brush, int(brushColor_));
    Record(Call::Font, int(fontColor_));
    Record(Call::Move, penX_, penY_);
    if (clipped_) Record(Call::Clip, clip_.left(), clip_.top(), clip_.right(), clip_.bottom());
}

void Picture::Record(Call call, int a, int b, int c, int d)
{
    if (!recordKept_) return;
    if (record_.size() >= kMaxRecordedCalls) {
        // Past any plot's needs: rather than grow without end, the picture
        // is from here on only its pixels.
        recordKept_ = false;
        std::vector<Recorded>().swap(record_);
        std::vector<std::string>().swap(recordTexts_);
        return;
    }
    record_.push_back({call, a, b, c, d});
}

bool Picture::Replay(Canvas& target) const
{
    if (!recordKept_) return false;
    target.SetSize(recordWidth_, recordHeight_);
    target.Fill(recordFill_);
    for (const Recorded& r : record_) {
        switch (r.call) {
        case Call::Size: target.SetSize(r.a, r.b); break;
        case Call::Pen: target.SetPen(TColor(r.a), r.b, PenStyle(r.c)); break;
        case Call::Style: target.SetPenStyle(PenStyle(r.a)); break;
        case Call::Brush: target.SetBrushColor(TColor(r.a)); break;
        case Call::Font: target.SetFontColor(TColor(r.a)); break;
        case Call::Move: target.MoveTo(r.a, r.b); break;
        case Call::Line: target.LineTo(r.a, r.b); break;
        case Call::Rect: target.Rectangle(r.a, r.b, r.c, r.d); break;
        case Call::Text: target.TextOut(r.a, r.b, recordTexts_[size_t(r.c)]); break;
        case Call::Column: target.PenColumn(r.a, r.b, r.c); break;
        case Call::Clip: target.SetClip(r.a, r.b, r.c, r.d); break;
        case Call::NoClip: target.ClearClip(); break;
        }
    }
    return true;
}

void Picture::SetPen(TColor color, int width, PenStyle style)
{
    penColor_ = color;
    penWidth_ = width;
    penStyle_ = style;
    styleCounter_ = 0;
    Record(Call::Pen, int(color), width, int(style));
}

void Picture::SetPenStyle(PenStyle style)
{
    penStyle_ = style;
    styleCounter_ = 0;
    Record(Call::Style, int(style));
}

void Picture::SetBrushColor(TColor color)
{
    brushColor_ = color;
    Record(Call::Brush, int(color));
}

void Picture::SetFontColor(TColor color)
{
    fontColor_ = color;
    Record(Call::Font, int(color));
}

void Picture::MoveTo(int x, int y)
{
    penX_ = x;
    penY_ = y;
    styleCounter_ = 0;
    Record(Call::Move, x, y);
}

void Picture::LineTo(int x, int y)
{
    Segment(penX_, penY_, x, y);
    penX_ = x;
    penY_ = y;
    Record(Call::Line, x, y);
}

void Picture::SetClip(int left, int top, int right, int bottom)
{
    clipped_ = true;
    clip_ = QRect(QPoint(left, top), QPoint(right, bottom));
    Record(Call::Clip, left, top, right, bottom);
}

void Picture::ClearClip()
{
    clipped_ = false;
    Record(Call::NoClip);
}

QRect Picture::Bounds() const
{
    const QRect all = image_.rect();
    return clipped_ ? all.intersected(clip_) : all;
}

void Picture::Put(long long x, long long y, TColor color)
{
    const QRect b = Bounds();
    if (x < b.left() || y < b.top() || x > b.right() || y > b.bottom()) return;
    reinterpret_cast<QRgb*>(image_.scanLine(int(y)))[x] = ToRgb(color);
}

// Bresenham from (x1, y1) towards (x2, y2), the end pixel excluded. Pixel i
// along the major axis sits at minor offset floor((2·i·dminor + n) / 2n), so a
// line that starts far outside the bitmap can begin at its first visible step
// instead of walking there.
void Picture::Segment(int x1, int y1, int x2, int y2)
{
    const long long dx = (long long)x2 - x1, dy = (long long)y2 - y1;
    const long long adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const long long n = std::max(adx, ady);
    if (n == 0) return;
    const bool xMajor = adx >= ady;
    const long long dMinor = xMajor ? ady : adx;
    const int sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const long long major0 = xMajor ? x1 : y1, minor0 = xMajor ? y1 : x1;
    const QRect b = Bounds();
    const long long majorLo = xMajor ? b.left() : b.top(), majorHi = xMajor ? b.right() : b.bottom();
    const long long minorLo = xMajor ? b.top() : b.left(), minorHi = xMajor ? b.bottom() : b.right();

    // Steps whose major coordinate lies inside the bounds.
    long long iLo, iHi;
    if (sMajor > 0) {
        iLo = std::max(0LL, majorLo - major0);
        iHi = std::min(n - 1, majorHi - major0);
    } else {
        iLo = std::max(0LL, major0 - majorHi);
        iHi = std::min(n - 1, major0 - majorLo);
    }
    const int counter0 = styleCounter_;
    styleCounter_ = int((counter0 + n) % 24);  // 24: a whole number of dot and dash periods
    if (iLo > iHi || b.isEmpty()) return;

    const StylePattern pattern = PatternOf(penStyle_);
    const QRgb pen = ToRgb(penColor_), gap = ToRgb(brushColor_);
    const long long twoN = 2 * n;
    const Int128 num = Int128(2) * iLo * dMinor + n;
    long long q = (long long)(num / twoN);
    long long r = (long long)(num % twoN);
    uchar* bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    for (long long i = iLo; i <= iHi; ++i) {
        const long long minor = minor0 + sMinor * q;
        if (minor >= minorLo && minor <= minorHi) {
            const long long major = major0 + sMajor * i;
            const long long x = xMajor ? major : minor, y = xMajor ? minor : major;
            QRgb color = pen;
            if (penStyle_ != PenStyle::Solid &&
                (counter0 + i) % pattern.period >= pattern.on)
                color = gap;
            reinterpret_cast<QRgb*>(bits + y * stride)[x] = color;
        } else if ((sMinor > 0 && minor > minorHi) || (sMinor < 0 && minor < minorLo)) {
            break;  // moving away from the bounds for good
        }
        r += 2 * dMinor;
        if (r >= twoN) {
            r -= twoN;
            ++q;
        }
    }
}

void Picture::PenColumn(int x, int y1, int y2)
{
    Record(Call::Column, x, y1, y2);
    const QRect b = Bounds();
    if (x < b.left() || x > b.right()) return;
    int lo = std::max(std::min(y1, y2), b.top());
    int hi = std::min(std::max(y1, y2), b.bottom());
    if (lo > hi) return;
    const QRgb pen = ToRgb(penColor_);
    uchar* bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    for (int y = lo; y <= hi; ++y) reinterpret_cast<QRgb*>(bits + y * stride)[x] = pen;
}

void Picture::Rectangle(int x1, int y1, int x2, int y2)
{
    Record(Call::Rect, x1, y1, x2, y2);
    const int left = std::min(x1, x2), right = std::max(x1, x2) - 1;
    const int top = std::min(y1, y2), bottom = std::max(y1, y2) - 1;
    if (left > right || top > bottom) return;
    const QRect b = Bounds();
    const int cl = std::max(left, b.left()), cr = std::min(right, b.right());
    const int ct = std::max(top, b.top()), cb = std::min(bottom, b.bottom());
    if (cl <= cr && ct <= cb) {
        const QRgb brush = ToRgb(brushColor_);
        for (int y = ct; y <= cb; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
            std::fill(row + cl, row + cr + 1, brush);
        }
    }
    // The outline as a closed path; each side leaves its end pixel to the next.
    const int px = penX_, py = penY_, counter = styleCounter_;
    styleCounter_ = 0;
    Segment(left, top, right, top);
    Segment(right, top, right, bottom);
    Segment(right, bottom, left, bottom);
    Segment(left, bottom, left, top);
    if (left == right && top == bottom) Put(left, top, penColor_);
    penX_ = px;
    penY_ = py;
    styleCounter_ = counter;
}

void Picture::TextOut(int x, int y, const std::string& utf8)
{
    if (utf8.empty()) return;
    const QFont& font = PictureFont();
    if (recordKept_) {
        Record(Call::Text, x, y, int(recordTexts_.size()));
        if (recordKept_) recordTexts_.push_back(utf8);
    }
    const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    const QFontMetrics metrics(font);
    QPainter painter(&image_);
    if (clipped_) painter.setClipRect(Bounds());
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.fillRect(x, y, metrics.horizontalAdvance(text), metrics.height(), QColor(ToRgb(brushColor_)));
    painter.setFont(font);
    painter.setPen(QColor(ToRgb(fontColor_)));
    painter.drawText(x, y + metrics.ascent(), text);
}

TColor Picture::PixelAt(int x, int y) const
{
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return kBlack;
    return FromRgb(reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x]);
}

QImage Picture::ToImage() const
{
    const int w = image_.width(), h = image_.height();
    const QRgb white = ToRgb(kWhite);
    if (format_ == PixelFormat::Mono) {
        QImage out(w, h, QImage::Format_Mono);
        if (out.isNull()) RaiseOutOfMemory();
        out.setColorTable({ToRgb(kBlack), white});
        for (int y = 0; y < h; ++y) {
            const QRgb* src = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
            uchar* dst = out.scanLine(y);
            std::memset(dst, 0, size_t(out.bytesPerLine()));
            for (int x = 0; x < w; ++x)
                if (src[x] == white) dst[x >> 3] |= uchar(0x80 >> (x & 7));
        }
        return out;
    }
    QImage out(w, h, QImage::Format_Indexed8);
    if (out.isNull()) RaiseOutOfMemory();
    QList<QRgb> table;
    for (TColor c : HalftoneTable()) table.push_back(ToRgb(c));
    out.setColorTable(table);
    for (int y = 0; y < h; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
        uchar* dst = out.scanLine(y);
        for (int x = 0; x < w; ++x) dst[x] = src[x] == white ? 255 : 0;
    }
    return out;
}

void Picture::WriteBmp(OutputFile& file) const
{
    const int w = image_.width(), h = image_.height();
    const bool mono = format_ == PixelFormat::Mono;
    const int bitCount = mono ? 1 : 8;
    const std::uint32_t colours = mono ? 2 : 256;
    const std::uint32_t rowBytes = ((std::uint32_t(w) * bitCount + 31) / 32) * 4;
    const std::uint32_t headerBytes = 14 + 40 + colours * 4;
    const std::uint64_t imageBytes = std::uint64_t(rowBytes) * std::uint32_t(h);
    if (headerBytes + imageBytes > 0xFFFFFFFFull) RaiseOutOfMemory();

    std::string header;
    header.reserve(headerBytes);
    header += "BM";
    PutLE32(header, std::uint32_t(headerBytes + imageBytes));
    PutLE32(header, 0);
    PutLE32(header, headerBytes);
    PutLE32(header, 40);
    PutLE32(header, std::uint32_t(w));
    PutLE32(header, std::uint32_t(h));  // positive: rows bottom-up
    PutLE16(header, 1);
    PutLE16(header, unsigned(bitCount));
    PutLE32(header, 0);  // BI_RGB, uncompressed
    PutLE32(header, std::uint32_t(imageBytes));
    PutLE32(header, 3780);  // 96 dpi
    PutLE32(header, 3780);
    PutLE32(header, colours);
    PutLE32(header, 0);
    if (mono) {
        PutLE32(header, 0x000000);
        PutLE32(header, 0xFFFFFF);
    } else {
        for (TColor c : HalftoneTable()) {
            // Colour-table entries are blue, green, red, reserved.
            header.push_back(char((c >> 16) & 0xFF));
            header.push_back(char((c >> 8) & 0xFF));
            header.push_back(char(c & 0xFF));
            header.push_back(0);
        }
    }
    file.Write(header);

    const QRgb white = ToRgb(kWhite);
    std::string row(rowBytes, '\0');
    for (int y = h - 1; y >= 0; --y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
        std::fill(row.begin(), row.end(), '\0');
        if (mono) {
            for (int x = 0; x < w; ++x)
                if (src[x] == white) row[size_t(x >> 3)] = char(row[size_t(x >> 3)] | (0x80 >> (x & 7)));
        } else {
            for (int x = 0; x < w; ++x) row[size_t(x)] = src[x] == white ? char(255) : char(0);
        }
        file.Write(row);
    }
}

void Picture::Save(const std::string& path) const
{
    OutputSet set;
    WriteBmp(set.Add(path));
    set.CommitAll();
}

}  // namespace sonavir
