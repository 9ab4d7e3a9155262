#pragma once

// What the main window says of the port and of an upload, and the colours of those two fields.
// The texts are the ones the users know, spelling included.

#include <windows.h>

constexpr wchar_t kPortOpened[] = L"Suceed Open Serial Port";
constexpr wchar_t kPortNotOpened[] = L"Faild Open Serial Port";
constexpr wchar_t kUploading[] = L"Uploading\u2026\u2026";
constexpr wchar_t kUploadDone[] = L"Download Complete";
constexpr wchar_t kUploadFailed[] = L"Download Failed";

constexpr COLORREF kStatusBackground = RGB(204, 204, 204);
constexpr COLORREF kUploadStatusField = RGB(170, 170, 170);
constexpr COLORREF kStatusText = RGB(0, 0, 0);
