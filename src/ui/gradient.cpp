#include "ui/gradient.h"

namespace {
struct Channel {
    int value;
    int target;
    int step;
    void advance() {
        value += step;
        if (step > 0) {
            if (value >= target) value = target;
        } else if (value <= target) {
            value = target;
        }
    }
};
}  // namespace

int planGradient(COLORREF top, COLORREF bottom, const RECT& rect, GradientBand* fills) {
    Channel channels[3] = {
        {GetRValue(top) * 100, GetRValue(bottom) * 100, 0},
        {GetGValue(top) * 100, GetGValue(bottom) * 100, 0},
        {GetBValue(top) * 100, GetBValue(bottom) * 100, 0},
    };
    int height = rect.bottom;
    int width = rect.right - rect.left;
    if (height <= 0 || width <= 0) return 0;
    int steps = height / 2;
    if (steps > 128) steps = 128;
    int count = 0;
    int covered = 0;
    if (steps > 0) {
        int bandHeight = height / steps;
        for (Channel& c : channels) c.step = (c.target - c.value) / steps;
        for (int i = 0; i < steps; ++i) {
            GradientBand& fill = fills[count++];
            SetRect(&fill.rect, rect.left, i * bandHeight, rect.left + width, (i + 1) * bandHeight);
            fill.colour =
                RGB(channels[0].value / 100, channels[1].value / 100, channels[2].value / 100);
            for (Channel& c : channels) c.advance();
        }
        covered = steps * bandHeight;
    }
    // The remainder strip in the last colour. An area under two pixels high has
    // no band: it is filled in the top colour, and nothing is painted below it.
    GradientBand& rest = fills[count++];
    SetRect(&rest.rect, rect.left, covered, rect.left + width, steps > 0 ? height + 1 : height);
    rest.colour = RGB(channels[0].value / 100, channels[1].value / 100, channels[2].value / 100);
    return count;
}

void drawGradient(HDC dc, COLORREF top, COLORREF bottom, const RECT& rect) {
    GradientBand fills[kMaxGradientBands];
    int count = planGradient(top, bottom, rect, fills);
    for (int i = 0; i < count; ++i) {
        const RECT& r = fills[i].rect;
        HBRUSH brush = CreateSolidBrush(fills[i].colour);
        if (!brush) continue;
        HGDIOBJ previous = SelectObject(dc, brush);
        PatBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, PATCOPY);
        SelectObject(dc, previous);
        DeleteObject(brush);
    }
}
