#include "Halcyra/shell/PageTrust.h"

#include <windows.h>

#include <cwchar>

#include "Halcyra/common/WebAddress.h"

namespace {

const wchar_t kProgramScheme[] = L"res";

bool isWeb(const WebAddress& address) {
    return (address.scheme == L"http" || address.scheme == L"https") && address.hasAuthority &&
           address.portValid;
}

// %XX sequences decoded: the browser may report a resource path with escapes.
std::wstring percentDecoded(const std::wstring& text) {
    std::wstring decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 2 < text.size() && isAsciiHexDigit(text[i + 1]) && isAsciiHexDigit(text[i + 2])) {
            decoded += static_cast<wchar_t>(std::wcstoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

bool sameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// res://<programPath>/<page>
bool isProgramPage(const WebAddress& address, const std::wstring& programPath) {
    if (address.scheme != kProgramScheme || !address.hasAuthority || programPath.empty()) return false;
    const std::wstring path = percentDecoded(address.afterScheme.substr(2));
    return path.size() > programPath.size() + 1 && path[programPath.size()] == L'/' &&
           sameTextIgnoringCase(path.substr(0, programPath.size()), programPath);
}

bool endsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool isTrustedHost(const std::wstring& host, const std::wstring& startHost) {
    if (host.empty() || startHost.empty()) return false;
    if (host == startHost) return true;
    if (isIpAddress(startHost)) return false;
    size_t firstDot = startHost.find(L'.');
    size_t secondDot = firstDot == std::wstring::npos ? firstDot : startHost.find(L'.', firstDot + 1);
    if (secondDot == std::wstring::npos) return false;  // fewer than three labels
    const std::wstring parent = startHost.substr(firstDot + 1);
    return host == parent || endsWith(host, L"." + parent);
}

}  // namespace

bool isTrustedPage(const std::wstring& address, const std::wstring& startPage,
                   const std::wstring& programPath) {
    WebAddress document;
    if (!parseWebAddress(address, document)) return false;
    if (isProgramPage(document, programPath)) return true;
    WebAddress start;
    if (!isWeb(document) || !parseWebAddress(startPage, start) || !isWeb(start)) return false;
    return isTrustedHost(canonicalHost(document.host), canonicalHost(start.host));
}
