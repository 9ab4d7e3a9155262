#pragma once

#include <windows.h>

#include "platform/UniqueHandle.h"

// BeginPaint/EndPaint around one WM_PAINT.
class CPaintDC {
public:
    explicit CPaintDC(HWND hWnd) : m_hWnd(hWnd), m_hDC(::BeginPaint(hWnd, &m_ps)) {}
    ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps{};
    HDC m_hDC;
};

// GDI objects of one kind (HBRUSH, HBITMAP, ...), released with DeleteObject; none is null.
template <class Object> struct GdiObjectTraits {
    using Handle = Object;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle object) { return ::DeleteObject(object) != FALSE; }
};
using BrushHandle = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using BitmapHandle = UniqueHandle<GdiObjectTraits<HBITMAP>>;

// The hourglass for as long as the object lives, for work that blocks the window.
class CWaitCursor {
public:
    CWaitCursor() : m_hPrevious(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { ::SetCursor(m_hPrevious); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    HCURSOR m_hPrevious;
};

// A memory DC holding one bitmap for as long as it lives; the bitmap is released before the DC
// goes, so it can be selected elsewhere or deleted afterwards.
class CBitmapDC {
public:
    explicit CBitmapDC(HBITMAP hBitmap)
        : m_hDC(::CreateCompatibleDC(nullptr)),
          m_hPrevious(m_hDC ? ::SelectObject(m_hDC, hBitmap) : nullptr) {}
    ~CBitmapDC() {
        if (IsReady()) {
            ::SelectObject(m_hDC, m_hPrevious);
        }
        if (m_hDC) {
            ::DeleteDC(m_hDC);
        }
    }
    CBitmapDC(const CBitmapDC&) = delete;
    CBitmapDC& operator=(const CBitmapDC&) = delete;

    // False when the DC could not be made or the bitmap not selected into it.
    bool IsReady() const { return m_hDC && m_hPrevious && m_hPrevious != HGDI_ERROR; }
    HDC GetSafeHdc() const { return m_hDC; }

private:
    HDC m_hDC;
    HGDIOBJ m_hPrevious;
};
