#include "display/PictureSizing.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "signal/Errors.h"
#include "signal/TextValues.h"

namespace sonavir {

namespace {

// The bitmap of an auto-sized picture: the area's size, but never below the
// smallest picture (the control then shows its top-left part).
void SetAutoSize(Picture& picture, int areaWidth, int areaHeight)
{
    picture.SetSize(std::max(areaWidth, kMinPictureWidth), std::max(areaHeight, kMinPictureHeight));
}

void CheckSide(int value, int lo, const char* side)
{
    if (value < lo || value > kMaxPictureSide)
        throw SonavirError(std::string(side) + " размер изображения должен быть от " +
                           std::to_string(lo) + " до " + std::to_string(kMaxPictureSide) + " точек");
}

}  // namespace

int ParseIntegerText(const std::string& text)
{
    // Surrounding blanks are tolerated, as the edit's own conversion does; a
    // sign, digits and nothing else otherwise.
    std::size_t i = 0, end = text.size();
    while (i < end && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t digits = i;
    long long value = 0;
    for (; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isdigit(c)) break;
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (i != end || i == digits || value > static_cast<long long>(INT_MAX) + (negative ? 1 : 0))
        throw SonavirError("'" + text + "' is not a valid integer value");
    return static_cast<int>(negative ? -value : value);
}

std::string WithBmpExtension(const std::string& fileName)
{
    return fileName.find('.') == std::string::npos ? fileName + ".bmp" : fileName;
}

void CheckPictureSize(int width, int height)
{
    CheckSide(width, kMinPictureWidth, "Горизонтальный");
    CheckSide(height, kMinPictureHeight, "Вертикальный");
}

PictureSizeChoice PictureSizeText(const std::string& text, bool autoAllowed)
{
    if (autoAllowed && text == "auto") return {};
    const auto x = text.find_first_of("xX");
    long long w = 0, h = 0;
    if (x == std::string::npos || !TryWholeNumber(text.substr(0, x), w) || !TryWholeNumber(text.substr(x + 1), h))
        throw SonavirError(std::string("ожидается ") + (autoAllowed ? "auto или " : "") + "ШИРИНАxВЫСОТА, получено '" +
                           text + "'");
    // Beyond an int a side is merely too large.
    auto side = [](long long v) { return static_cast<int>(std::clamp<long long>(v, -1, kMaxPictureSide + 1LL)); };
    CheckPictureSize(side(w), side(h));
    return {false, static_cast<int>(w), static_cast<int>(h)};
}

void PictureSizing::Show(const Picture& picture)
{
    horizText = std::to_string(picture.Width());
    vertText = std::to_string(picture.Height());
    ImageAutoSize = autoSizeChecked;
}

void PictureSizing::SetAutoSizeChecked(bool on)
{
    autoSizeChecked = on;
    ImageAutoSize = on;
    AutoSizeChanged = true;
}

void PictureSizing::Apply(Picture& picture, int areaWidth, int areaHeight, TColor back)
{
    const int oldWidth = picture.Width(), oldHeight = picture.Height();
    if (autoSizeChecked) {
        SetAutoSize(picture, areaWidth, areaHeight);
        aligned = true;
        const bool refill = AutoSizeChanged;
        if (AutoSizeChanged) {
            picture.SetFormat(PixelFormat::Mono);
            picture.Fill(back);
            AutoSizeChanged = false;
        }
        if (refill || picture.Width() != oldWidth || picture.Height() != oldHeight) ++pictureChanges;
        return;
    }
    const int width = ParseIntegerText(horizText);
    const int height = ParseIntegerText(vertText);
    CheckPictureSize(width, height);
    picture.SetSize(width, height);
    aligned = false;
    fixedWidth = width;
    fixedHeight = height;
    if (width != oldWidth || height != oldHeight) ++pictureChanges;
}

void PictureSizing::Resize(Picture& picture, int areaWidth, int areaHeight, TColor back)
{
    if (!ImageAutoSize) return;
    SetAutoSize(picture, ControlWidth(areaWidth), ControlHeight(areaHeight));
    picture.Fill(back);
    ++pictureChanges;
}

PictureSizeChoice PictureSizing::Choice() const
{
    if (aligned) return {};
    return {false, fixedWidth, fixedHeight};
}

void PictureSizing::ApplyChoice(const PictureSizeChoice& choice, Picture& picture, int areaWidth,
                                int areaHeight, TColor back)
{
    Show(picture);
    if (autoSizeChecked != choice.autoSize) SetAutoSizeChecked(choice.autoSize);
    if (!choice.autoSize) {
        horizText = std::to_string(choice.width);
        vertText = std::to_string(choice.height);
    }
    Apply(picture, areaWidth, areaHeight, back);
}

}  // namespace sonavir
