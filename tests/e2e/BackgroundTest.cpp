// The real program at several screen resolutions, read back from the screen: the painted
// background follows the dialog units, so every label stays beside its field.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "OperatorDriver.h"
#include "Scratch.h"

namespace {

const std::wstring kProgram = L"" VKD_PROGRAM_PATH;
constexpr double kDrawnBaseX = 7, kDrawnBaseY = 15; // pixels per 4 x 8 dialog units
constexpr double kTolerance = 2;

// Sets the prefix's resolution for the programs started while it lives; Wine reads it at start.
class LogPixelsGuard {
public:
    explicit LogPixelsGuard(DWORD dpi) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
        DWORD size = sizeof previous_;
        hadValue_ = !::RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(&previous_), &size);
        Set(dpi);
    }
    ~LogPixelsGuard() {
        if (hadValue_) {
            Set(previous_);
        } else {
            ::RegDeleteValueW(key_, L"LogPixels");
        }
        ::RegCloseKey(key_);
    }
    LogPixelsGuard(const LogPixelsGuard&) = delete;
    LogPixelsGuard& operator=(const LogPixelsGuard&) = delete;

private:
    void Set(DWORD dpi) {
        ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dpi), 4);
    }
    HKEY key_ = nullptr;
    DWORD previous_ = 0;
    bool hadValue_ = false;
};

// 0x00RRGGBB pixels, top row first.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const {
        return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF;
    }
};

Image ReadBitmap(HBITMAP bitmap) {
    BITMAP info{};
    ::GetObjectW(bitmap, sizeof info, &info);
    Image image{info.bmWidth, info.bmHeight, std::vector<uint32_t>(info.bmWidth * info.bmHeight)};
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = image.width;
    format.bmiHeader.biHeight = -image.height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    const HDC screen = ::GetDC(nullptr);
    ::GetDIBits(screen, bitmap, 0, image.height, image.pixels.data(), &format, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(bitmap);
    return image;
}

// The background as the program carries it.
Image ProgramBackground() {
    const HMODULE module = ::LoadLibraryExW(kProgram.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    Image image = ReadBitmap(static_cast<HBITMAP>(
        ::LoadImageW(module, MAKEINTRESOURCEW(129), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    ::FreeLibrary(module);
    return image;
}

// What the screen shows of the window's client area.
Image CaptureClient(HWND window) {
    RECT client;
    ::GetClientRect(window, &client);
    POINT origin{0, 0};
    ::ClientToScreen(window, &origin);
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
    const HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
    ::SelectObject(memory, previous);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ReadBitmap(bitmap);
}

// Panel borders, rail and label text; not the gradient, the panels' fill nor the fields.
bool IsDark(uint32_t c) {
    return ((c >> 16) & 0xFF) < 0x80 && ((c >> 8) & 0xFF) < 0x80 && (c & 0xFF) < 0x80;
}
bool IsSensorGreen(uint32_t c) {
    const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    return g > 0xA0 && r < g - 0x20 && b < 0x60;
}

struct Box {
    double left, top, right, bottom; // right and bottom exclusive
    Box Scaled(double sx, double sy) const {
        return {left * sx, top * sy, right * sx, bottom * sy};
    }
    bool IsEmpty() const { return left >= right; }
};

// The bounding box of the pixels in `area` that pass `test`.
Box InkBox(const Image& image, const Box& area, bool (*test)(uint32_t)) {
    Box ink{1e9, 1e9, -1e9, -1e9};
    for (int y = std::max(0, int(area.top)); y < std::min(image.height, int(area.bottom)); ++y) {
        for (int x = std::max(0, int(area.left)); x < std::min(image.width, int(area.right)); ++x) {
            if (test(image.At(x, y))) {
                ink = {std::min(ink.left, x + 0.0), std::min(ink.top, y + 0.0),
                       std::max(ink.right, x + 1.0), std::max(ink.bottom, y + 1.0)};
            }
        }
    }
    return ink;
}

// A part of the picture, in its own pixels, and the edit field painted beside it with its
// template position in dialog units.
struct Feature {
    const char* name;
    Box area;
    bool (*test)(uint32_t);
    int fieldId; // 0: none
    POINT fieldUnits;
};

const Feature kFeatures[] = {
    {"forward panel", {104, 126, 614, 294}, IsDark, 0, {}},
    {"reverse panel", {104, 307, 614, 475}, IsDark, 0, {}},
    {"options panel", {632, 259, 976, 472}, IsDark, 0, {}},
    {"rail", {95, 538, 623, 567}, IsDark, 0, {}},
    {"home sensor", {150, 580, 177, 627}, IsSensorGreen, 0, {}},
    {"limit sensor", {558, 574, 585, 625}, IsSensorGreen, 0, {}},
    {"Auto Start label", {669, 439, 845, 456}, IsDark, 0, {}},
    {"forward ACC label", {115, 180, 203, 197}, IsDark, 1000, {73, 107}},
    {"forward speed label", {209, 142, 367, 159}, IsDark, 1001, {147, 86}},
    {"forward DEC label", {498, 180, 585, 197}, IsDark, 1002, {294, 107}},
    {"reverse ACC label", {115, 359, 203, 376}, IsDark, 1003, {71, 202}},
    {"reverse speed label", {216, 317, 374, 334}, IsDark, 1004, {149, 182}},
    {"reverse DEC label", {499, 359, 586, 376}, IsDark, 1005, {293, 201}},
    {"cycles label", {670, 300, 751, 317}, IsDark, 1006, {466, 156}},
    {"home delay label", {670, 334, 794, 351}, IsDark, 1007, {466, 176}},
    {"end delay label", {670, 369, 781, 386}, IsDark, 1008, {466, 195}},
};

class BackgroundTest : public ::testing::TestWithParam<DWORD> {};

TEST_P(BackgroundTest, PanelsRailSensorsAndLabelsFollowTheDialogUnits) {
    const Image drawn = ProgramBackground();
    ASSERT_EQ(989, drawn.width);
    const ScratchFolder scratch("vkd37-e2e-dpi-" + std::to_string(GetParam()));
    const std::wstring dir = scratch.Path().wstring();

    Image shown;
    RECT client{};
    std::vector<POINT> fields;
    {
        const LogPixelsGuard dpi(GetParam());
        const StartOutcome started = OperatorDriver::Start(kProgram, dir);
        ASSERT_TRUE(started) << started.failure.text;
        OperatorDriver* const program = started.program.get();
        program->Restore();
        const HWND window = program->MainWindow();
        ::SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::GetClientRect(window, &client);
        // The bench's Xvfb has room; a small desktop display may not.
        if (client.right > ::GetSystemMetrics(SM_CXSCREEN) ||
            client.bottom > ::GetSystemMetrics(SM_CYSCREEN)) {
            GTEST_SKIP() << "the window does not fit on this screen";
        }
        // Painted once two captures a while apart agree (the caret blinks, so it may take a few).
        ASSERT_TRUE(WaitUntil(10000, [&] {
            const Image before = CaptureClient(window);
            ::Sleep(200);
            shown = CaptureClient(window);
            return shown.pixels == before.pixels;
        })) << "the window did not settle";
        for (const Feature& feature : kFeatures) {
            RECT field{};
            ::GetWindowRect(::GetDlgItem(window, feature.fieldId), &field);
            POINT corner{field.left, field.top};
            ::ScreenToClient(window, &corner);
            fields.push_back(corner);
        }
    }
    ::RemoveDirectoryW(dir.c_str());

    // The client area is 565 x 360 dialog units: it tells the base units the program got.
    const int baseX = (client.right * 4 + 282) / 565, baseY = (client.bottom * 8 + 180) / 360;
    const double sx = baseX / kDrawnBaseX, sy = baseY / kDrawnBaseY;
    const double expectedHeight = 630.0 * GetParam() / 96;
    ASSERT_NEAR(expectedHeight, client.bottom, expectedHeight / 10) << "LogPixels not applied";

    for (size_t i = 0; i < std::size(kFeatures); ++i) {
        const Feature& f = kFeatures[i];
        SCOPED_TRACE(std::string(f.name) + " at " + std::to_string(GetParam()) + " DPI, base " +
                     std::to_string(baseX) + " x " + std::to_string(baseY));
        const Box ink = InkBox(drawn, f.area, f.test);
        const Box wanted = ink.Scaled(sx, sy);
        const Box found = InkBox(shown, f.area.Scaled(sx, sy), f.test);
        ASSERT_FALSE(ink.IsEmpty()) << "not in the picture";
        if (found.IsEmpty()) {
            ADD_FAILURE() << "not on screen where the scaled picture puts it";
            continue;
        }
        EXPECT_NEAR(wanted.left, found.left, kTolerance);
        EXPECT_NEAR(wanted.top, found.top, kTolerance);
        EXPECT_NEAR(wanted.right, found.right, kTolerance);
        EXPECT_NEAR(wanted.bottom, found.bottom, kTolerance);
        if (f.fieldId) {
            // The field's corner in the picture's own pixels, measured from the label shown.
            const double offsetX = f.fieldUnits.x * kDrawnBaseX / 4 - ink.left;
            const double offsetY = f.fieldUnits.y * kDrawnBaseY / 8 - ink.top;
            EXPECT_NEAR(found.left + offsetX * sx, fields[i].x, kTolerance) << "field";
            EXPECT_NEAR(found.top + offsetY * sy, fields[i].y, kTolerance) << "field";
        }
    }
    // At the picture's own metrics it is shown as it is: the title band, pixel for pixel.
    if (baseX == kDrawnBaseX && baseY == kDrawnBaseY) {
        int differing = 0;
        for (int y = 0; y < 120; ++y) {
            for (int x = 0; x < drawn.width; ++x) {
                differing += shown.At(x, y) != drawn.At(x, y);
            }
        }
        EXPECT_EQ(0, differing);
    }
}

// Wine's fonts give 7 x 14 at 96 DPI, 7 x 15 (the picture's own) at 100, 8 x 18 at 120 and
// 10 x 21 at 144.
INSTANTIATE_TEST_SUITE_P(Dpi, BackgroundTest, ::testing::Values(96u, 100u, 120u, 144u),
                         [](const ::testing::TestParamInfo<DWORD>& info) {
                             return std::to_string(info.param);
                         });

} // namespace
