#pragma once

// The background picture is drawn for the template's font at 96 DPI on Windows: 7 x 15 pixels
// per 4 x 8 dialog units. The controls follow the dialog's actual base units, so the picture is
// scaled by the same ratio, each axis on its own, to keep every painted label beside its field.
// No window involved, so it is tested natively.
struct BackgroundScale {
    static constexpr int kDrawnBaseX = 7;
    static constexpr int kDrawnBaseY = 15;

    // Pixels per 4 dialog units across and per 8 down, as MapDialogRect gives them.
    int baseX = kDrawnBaseX;
    int baseY = kDrawnBaseY;

    // At the drawn metrics the picture is shown as it is, pixel for pixel.
    bool IsOneToOne() const { return baseX == kDrawnBaseX && baseY == kDrawnBaseY; }
    int ScaleX(int pixels) const { return Scale(pixels, baseX, kDrawnBaseX); }
    int ScaleY(int pixels) const { return Scale(pixels, baseY, kDrawnBaseY); }

private:
    // Rounded to the nearest pixel, as the dialog manager rounds dialog units.
    static int Scale(int pixels, int base, int drawnBase) {
        const long long scaled = 2LL * pixels * base + drawnBase;
        return static_cast<int>(scaled / (2LL * drawnBase));
    }
};
