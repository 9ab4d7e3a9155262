#pragma once

#include <windows.h>

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

// Owns a solid brush.
class CBrush {
public:
    explicit CBrush(COLORREF color) : m_hBrush(::CreateSolidBrush(color)) {}
    ~CBrush() {
        if (m_hBrush) {
            ::DeleteObject(m_hBrush);
        }
    }
    CBrush(const CBrush&) = delete;
    CBrush& operator=(const CBrush&) = delete;

    HBRUSH GetSafeHandle() const { return m_hBrush; }

private:
    HBRUSH m_hBrush;
};

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

// Owns a bitmap: the one given last is deleted when another replaces it or the owner goes.
class CBitmap {
public:
    CBitmap() = default;
    ~CBitmap() { Attach(nullptr); }
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    void Attach(HBITMAP hBitmap) {
        if (m_hBitmap && m_hBitmap != hBitmap) {
            ::DeleteObject(m_hBitmap);
        }
        m_hBitmap = hBitmap;
    }
    // Hands the bitmap over to the caller without deleting it.
    HBITMAP Detach() {
        const HBITMAP hBitmap = m_hBitmap;
        m_hBitmap = nullptr;
        return hBitmap;
    }
    HBITMAP GetSafeHandle() const { return m_hBitmap; }

private:
    HBITMAP m_hBitmap = nullptr;
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
