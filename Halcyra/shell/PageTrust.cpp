#include "Halcyra/shell/PageTrust.h"

#include <windows.h>

#include <string>

#include "Halcyra/common/WebAddress.h"

namespace {

const wchar_t kProgramScheme[] = L"res";

bool isWeb(const WebAddress& address) {
    return (address.scheme == L"http" || address.scheme == L"https") && address.hasAuthority &&
           address.portValid;
}

bool sameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// res://<programPath>/<page>
bool isProgramPage(const WebAddress& address, const std::wstring& programPath) {
    if (address.scheme != kProgramScheme || !address.hasAuthority || programPath.empty()) return false;
    // A '#' in the path itself arrives escaped; a raw one starts the fragment.
    const std::wstring written = address.afterScheme.substr(2);
    const std::wstring path = percentDecoded(written.substr(0, written.find(L'#')));
    return path.size() > programPath.size() + 1 && path[programPath.size()] == L'/' &&
           sameTextIgnoringCase(path.substr(0, programPath.size()), programPath);
}

bool endsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Parent domains under which unrelated owners register their names: a start page on
// www.lumaro.com.cn must not trust every site in com.cn.
bool isSharedSuffix(const std::wstring& domain) {
    static const wchar_t* const kShared[] = {
        L"com.cn", L"net.cn", L"org.cn", L"gov.cn", L"edu.cn", L"ac.cn",
        L"com.hk", L"com.tw", L"com.sg", L"com.au", L"net.au", L"org.au",
        L"co.uk", L"org.uk", L"ac.uk", L"co.jp", L"ne.jp", L"or.jp",
        L"co.kr", L"co.nz", L"co.in", L"com.br",
        L"github.io", L"gitlab.io", L"blogspot.com", L"appspot.com", L"herokuapp.com",
        L"azurewebsites.net", L"cloudfront.net", L"netlify.app", L"vercel.app", L"pages.dev",
    };
    for (const wchar_t* shared : kShared)
        if (domain == shared) return true;
    return false;
}

bool isTrustedHost(const std::wstring& host, const std::wstring& startHost) {
    if (host.empty() || startHost.empty()) return false;
    if (host == startHost) return true;
    if (isIpAddress(startHost)) return false;
    size_t firstDot = startHost.find(L'.');
    size_t secondDot = firstDot == std::wstring::npos ? firstDot : startHost.find(L'.', firstDot + 1);
    if (secondDot == std::wstring::npos) return false;  // fewer than three labels
    const std::wstring parent = startHost.substr(firstDot + 1);
    if (isSharedSuffix(parent)) return false;
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
