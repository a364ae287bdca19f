#pragma once
// UTF-8 <-> UTF-16 for what passes between the page (HTTP, JSON, script files) and Windows.
#include <windows.h>

#include <string>

namespace utf8 {

inline std::string fromWide(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                              nullptr);
    return bytes;
}

// The bytes in the code page as UTF-16; empty when MultiByteToWideChar refuses them (with
// MB_ERR_INVALID_CHARS: any invalid sequence).
inline std::wstring decode(const std::string& bytes, UINT codePage, DWORD flags) {
    if (bytes.empty()) return std::wstring();
    int size = ::MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(size > 0 ? size : 0, L'\0');
    if (size > 0)
        ::MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    return text;
}

inline std::wstring toWide(const std::string& bytes) { return decode(bytes, CP_UTF8, 0); }

}  // namespace utf8
