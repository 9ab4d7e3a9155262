// The real program at several screen resolutions: the painted background must follow the dialog
// units, so every label stays beside its field. Read back from the screen, from outside.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "OperatorDriver.h"

namespace {

constexpr int kBackgroundId = 129;
constexpr double kDrawnBaseX = 7, kDrawnBaseY = 15; // pixels per 4 x 8 dialog units
constexpr double kTolerance = 2;

// Sets the prefix's screen resolution for the programs started while it lives.
class LogPixelsGuard {
public:
    explicit LogPixelsGuard(DWORD dpi) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
        DWORD size = sizeof previous_;
        hadValue_ = ::RegQueryValueExW(key_, kValue, nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&previous_), &size) == ERROR_SUCCESS;
        Set(dpi);
    }
    ~LogPixelsGuard() {
        if (hadValue_) {
            Set(previous_);
        } else {
            ::RegDeleteValueW(key_, kValue);
        }
        ::RegCloseKey(key_);
    }
    LogPixelsGuard(const LogPixelsGuard&) = delete;
    LogPixelsGuard& operator=(const LogPixelsGuard&) = delete;

private:
    static constexpr const wchar_t* kValue = L"LogPixels";
    void Set(DWORD dpi) {
        ::RegSetValueExW(key_, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                         sizeof dpi);
    }
    HKEY key_ = nullptr;
    DWORD previous_ = 0;
    bool hadValue_ = false;
};

// 0x00RRGGBB pixels, top row first.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Image ReadBitmap(HDC hdc, HBITMAP bitmap, int width, int height) {
    Image image{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    ::GetDIBits(hdc, bitmap, 0, static_cast<UINT>(height), image.pixels.data(), &format,
                DIB_RGB_COLORS);
    for (uint32_t& pixel : image.pixels) {
        pixel &= 0xFFFFFF;
    }
    return image;
}

// The background as the program carries it.
Image ProgramBackground(const std::wstring& program) {
    const HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const auto bitmap = static_cast<HBITMAP>(::LoadImageW(module, MAKEINTRESOURCEW(kBackgroundId),
                                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP info{};
    ::GetObjectW(bitmap, sizeof info, &info);
    const HDC screen = ::GetDC(nullptr);
    Image image = ReadBitmap(screen, bitmap, info.bmWidth, info.bmHeight);
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(bitmap);
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
    Image image = ReadBitmap(memory, bitmap, client.right, client.bottom);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return image;
}

using ColourTest = std::function<bool(uint32_t)>;
bool IsDark(uint32_t c) { // panel borders, rail, label text; not the gradient nor the fields
    return ((c >> 16) & 0xFF) < 0x80 && ((c >> 8) & 0xFF) < 0x80 && (c & 0xFF) < 0x80;
}
bool IsSensorGreen(uint32_t c) {
    const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    return g > 0xA0 && r < g - 0x20 && b < 0x60;
}

struct Box {
    double left, top, right, bottom; // right and bottom exclusive
};

// The bounding box of the pixels that pass `test` within `area`; empty: left > right.
Box InkBox(const Image& image, const Box& area, const ColourTest& test) {
    Box ink{1e9, 1e9, -1e9, -1e9};
    const int x0 = std::max(0, static_cast<int>(std::lround(area.left)));
    const int y0 = std::max(0, static_cast<int>(std::lround(area.top)));
    const int x1 = std::min(image.width, static_cast<int>(std::lround(area.right)));
    const int y1 = std::min(image.height, static_cast<int>(std::lround(area.bottom)));
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (test(image.At(x, y))) {
                ink = {std::min(ink.left, 1.0 * x), std::min(ink.top, 1.0 * y),
                       std::max(ink.right, x + 1.0), std::max(ink.bottom, y + 1.0)};
            }
        }
    }
    return ink;
}

// A part of the picture, in the picture's pixels, and the edit field painted beside it.
struct Feature {
    const char* name;
    Box area;
    ColourTest test;
    int fieldId;     // 0: none
    RECT fieldUnits; // its template rectangle: x, y, width, height in dialog units
};

const std::vector<Feature>& Features() {
    static const std::vector<Feature> features = {
        {"forward panel", {104, 126, 614, 294}, IsDark, 0, {}},
        {"reverse panel", {104, 307, 614, 475}, IsDark, 0, {}},
        {"options panel", {632, 259, 976, 472}, IsDark, 0, {}},
        {"rail", {95, 538, 623, 567}, IsDark, 0, {}},
        {"home sensor", {150, 580, 177, 627}, IsSensorGreen, 0, {}},
        {"limit sensor", {558, 574, 585, 625}, IsSensorGreen, 0, {}},
        {"Auto Start label", {669, 439, 845, 456}, IsDark, 0, {}},
        {"forward ACC label", {115, 180, 203, 197}, IsDark, 1000, {73, 107, 39, 12}},
        {"forward speed label", {209, 142, 367, 159}, IsDark, 1001, {147, 86, 39, 11}},
        {"forward DEC label", {498, 180, 585, 197}, IsDark, 1002, {294, 107, 40, 11}},
        {"reverse ACC label", {115, 359, 203, 376}, IsDark, 1003, {71, 202, 39, 12}},
        {"reverse speed label", {216, 317, 374, 334}, IsDark, 1004, {149, 182, 39, 11}},
        {"reverse DEC label", {499, 359, 586, 376}, IsDark, 1005, {293, 201, 40, 12}},
        {"cycles label", {670, 300, 751, 317}, IsDark, 1006, {466, 156, 73, 16}},
        {"home delay label", {670, 334, 794, 351}, IsDark, 1007, {466, 176, 73, 16}},
        {"end delay label", {670, 369, 781, 386}, IsDark, 1008, {466, 195, 73, 16}},
    };
    return features;
}

std::wstring FromUtf8(const char* text) {
    std::wstring wide(std::char_traits<char>::length(text), L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(),
                                                          static_cast<int>(wide.size()) + 1)));
    return wide;
}

std::string Describe(const Box& box) {
    return "(" + std::to_string(box.left) + ", " + std::to_string(box.top) + ") - (" +
           std::to_string(box.right) + ", " + std::to_string(box.bottom) + ")";
}

class BackgroundTest : public ::testing::TestWithParam<DWORD> {};

TEST_P(BackgroundTest, LabelsAndPanelsFollowTheDialogUnits) {
    const std::wstring program = FromUtf8(VKD_PROGRAM_PATH);
    const Image drawn = ProgramBackground(program);
    ASSERT_EQ(989, drawn.width);

    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = temp + std::wstring(L"vkd37-e2e-dpi-") + std::to_wstring(GetParam()) +
                             L"-" + std::to_wstring(::GetTickCount());
    ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr));
    Image shown;
    RECT client{};
    std::vector<RECT> fields;
    {
        const LogPixelsGuard dpi(GetParam());
        const auto driver = OperatorDriver::Start(program, dir);
        ASSERT_TRUE(driver) << "the main window did not appear";
        driver->Restore();
        ::SetWindowPos(driver->MainWindow(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::GetClientRect(driver->MainWindow(), &client);
        ASSERT_LE(client.right, ::GetSystemMetrics(SM_CXSCREEN)) << "the screen is too small";
        ASSERT_LE(client.bottom, ::GetSystemMetrics(SM_CYSCREEN)) << "the screen is too small";
        // Painted once two captures a while apart agree (the caret blinks, so it may take a few).
        ASSERT_TRUE(WaitUntil(10000, [&] {
            const Image before = CaptureClient(driver->MainWindow());
            ::Sleep(200);
            shown = CaptureClient(driver->MainWindow());
            return shown.pixels == before.pixels;
        })) << "the window did not settle";
        for (const Feature& feature : Features()) {
            RECT field{};
            if (feature.fieldId) {
                const HWND item = ::GetDlgItem(driver->MainWindow(), feature.fieldId);
                ::GetWindowRect(item, &field);
                ::MapWindowPoints(nullptr, driver->MainWindow(), reinterpret_cast<POINT*>(&field),
                                  2);
            }
            fields.push_back(field);
        }
    }
    ::RemoveDirectoryW(dir.c_str());

    // The client area is 565 x 360 dialog units; it tells the base units the program got.
    const int baseX = static_cast<int>(std::lround(client.right * 4.0 / 565));
    const int baseY = static_cast<int>(std::lround(client.bottom * 8.0 / 360));
    const double sx = baseX / kDrawnBaseX, sy = baseY / kDrawnBaseY;
    RecordProperty("base_units", std::to_string(baseX) + "x" + std::to_string(baseY));
    // The window grows with the resolution, or the setting did not reach the program.
    const double expectedHeight = 630.0 * GetParam() / 96;
    ASSERT_NEAR(expectedHeight, client.bottom, expectedHeight / 10) << "LogPixels not applied";
    ASSERT_EQ(client.right, shown.width);

    for (size_t i = 0; i < Features().size(); ++i) {
        const Feature& f = Features()[i];
        SCOPED_TRACE(std::string(f.name) + " at " + std::to_string(GetParam()) + " DPI, base " +
                     std::to_string(baseX) + " x " + std::to_string(baseY));
        const Box ink = InkBox(drawn, f.area, f.test);
        const Box wanted{ink.left * sx, ink.top * sy, ink.right * sx, ink.bottom * sy};
        const Box found = InkBox(
            shown, {f.area.left * sx, f.area.top * sy, f.area.right * sx, f.area.bottom * sy},
            f.test);
        ASSERT_LT(ink.left, ink.right) << "nothing of it in the picture";
        if (found.left >= found.right) {
            ADD_FAILURE() << "nothing of it on screen where the scaled picture puts it";
            continue;
        }
        EXPECT_NEAR(wanted.left, found.left, kTolerance) << Describe(found);
        EXPECT_NEAR(wanted.top, found.top, kTolerance) << Describe(found);
        EXPECT_NEAR(wanted.right, found.right, kTolerance) << Describe(found);
        EXPECT_NEAR(wanted.bottom, found.bottom, kTolerance) << Describe(found);
        if (f.fieldId) {
            // Where the field sits in the picture's own pixels, measured from the label shown.
            const double offsetX = f.fieldUnits.left * kDrawnBaseX / 4 - ink.left;
            const double offsetY = f.fieldUnits.top * kDrawnBaseY / 8 - ink.top;
            EXPECT_NEAR(found.left + offsetX * sx, fields[i].left, kTolerance) << "field";
            EXPECT_NEAR(found.top + offsetY * sy, fields[i].top, kTolerance) << "field";
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

// Wine's fonts give 7 x 14 at 96 DPI, 7 x 15 (the picture's own) at 100, 10 x 21 at 144.
INSTANTIATE_TEST_SUITE_P(Dpi, BackgroundTest, ::testing::Values(96u, 100u, 144u),
                         [](const ::testing::TestParamInfo<DWORD>& info) {
                             return std::to_string(info.param);
                         });

} // namespace
