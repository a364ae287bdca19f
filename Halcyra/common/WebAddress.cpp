#include "Halcyra/common/WebAddress.h"

#include <windows.h>

#include <cwchar>

#include "Halcyra/common/Utf8.h"

bool isAsciiHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

namespace {

bool isBlank(wchar_t c) { return c <= L' '; }

bool isAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool isAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::wstring asciiLower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

bool isNumber(const std::wstring& label) {
    if (label.empty()) return false;
    size_t start = label.size() > 2 && label[0] == L'0' && (label[1] == L'x' || label[1] == L'X') ? 2 : 0;
    for (size_t i = start; i < label.size(); ++i)
        if (!(start == 2 ? isAsciiHexDigit(label[i]) : isAsciiDigit(label[i]))) return false;
    return true;
}

}  // namespace

bool parseWebAddress(const std::wstring& text, WebAddress& address) {
    address = WebAddress();
    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    const std::wstring trimmed = text.substr(begin, end - begin);

    size_t colon = 0;
    while (colon < trimmed.size() && (isAsciiLetter(trimmed[colon]) ||
                                      (colon > 0 && (isAsciiDigit(trimmed[colon]) || trimmed[colon] == L'+' ||
                                                     trimmed[colon] == L'-' || trimmed[colon] == L'.'))))
        ++colon;
    if (colon < 2 || colon >= trimmed.size() || trimmed[colon] != L':') return false;
    address.scheme = asciiLower(trimmed.substr(0, colon));
    address.afterScheme = trimmed.substr(colon + 1);

    const bool special = address.scheme == L"http" || address.scheme == L"https";
    auto isSlash = [special](wchar_t c) { return c == L'/' || (special && c == L'\\'); };
    const std::wstring& rest = address.afterScheme;
    if (rest.size() < 2 || !isSlash(rest[0]) || !isSlash(rest[1])) return true;
    address.hasAuthority = true;

    size_t authorityEnd = 2;
    while (authorityEnd < rest.size() && !isSlash(rest[authorityEnd]) && rest[authorityEnd] != L'?' &&
           rest[authorityEnd] != L'#')
        ++authorityEnd;
    std::wstring authority = rest.substr(2, authorityEnd - 2);
    size_t at = authority.rfind(L'@');
    if (at != std::wstring::npos) authority.erase(0, at + 1);

    size_t portColon = authority.rfind(L':');
    size_t bracket = authority.rfind(L']');
    if (portColon != std::wstring::npos && (bracket == std::wstring::npos || portColon > bracket)) {
        const std::wstring port = authority.substr(portColon + 1);
        authority.erase(portColon);
        unsigned long value = 0;
        for (wchar_t c : port) {
            if (!isAsciiDigit(c) || (value = value * 10 + (c - L'0')) > 65535) {
                address.portValid = false;
                break;
            }
        }
    }
    address.host = authority;
    return true;
}

std::wstring canonicalHost(const std::wstring& host) {
    if (host.empty()) return std::wstring();
    if (host[0] == L'[') {
        if (host.back() != L']' || host.size() < 3) return std::wstring();
        for (size_t i = 1; i + 1 < host.size(); ++i)
            if (!isAsciiHexDigit(host[i]) && host[i] != L':' && host[i] != L'.') return std::wstring();
        return asciiLower(host);
    }
    std::wstring name = host;
    if (name.back() == L'.') name.pop_back();
    if (name.empty() || name.find(L'%') != std::wstring::npos) return std::wstring();

    wchar_t ascii[256];
    int length = ::IdnToAscii(0, name.c_str(), static_cast<int>(name.size()), ascii, 256);
    if (length <= 0) return std::wstring();
    name = asciiLower(std::wstring(ascii, length));

    size_t labelStart = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == L'.') {
            if (i == labelStart) return std::wstring();  // an empty label
            labelStart = i + 1;
        } else if (!isAsciiLetter(name[i]) && !isAsciiDigit(name[i]) && name[i] != L'-' && name[i] != L'_') {
            return std::wstring();
        }
    }
    return name;
}

bool isIpAddress(const std::wstring& canonical) {
    if (!canonical.empty() && canonical[0] == L'[') return true;
    size_t dot = canonical.rfind(L'.');
    return isNumber(dot == std::wstring::npos ? canonical : canonical.substr(dot + 1));
}

namespace {

bool isEscape(const std::wstring& text, size_t at) {
    return text[at] == L'%' && at + 2 < text.size() && isAsciiHexDigit(text[at + 1]) &&
           isAsciiHexDigit(text[at + 2]);
}

// A mail client would attach the named file to the message it opens: a page could have
// any of the user's files sent. The field names may be escaped and in any letter case.
bool asksForAttachment(const std::wstring& mailAddress) {
    // '&' separates the fields; a client may take '?' and ';' as separators too.
    size_t fields = mailAddress.find(L'?');
    while (fields != std::wstring::npos) {
        size_t start = fields + 1;
        fields = mailAddress.find_first_of(L"&?;", start);
        std::wstring field = mailAddress.substr(start, fields == std::wstring::npos ? fields : fields - start);
        std::wstring name = asciiLower(percentDecoded(field.substr(0, field.find(L'='))));
        if (name.compare(0, 6, L"attach") == 0) return true;
    }
    return false;
}

}  // namespace

std::wstring percentDecoded(const std::wstring& text) {
    std::wstring decoded;
    for (size_t i = 0; i < text.size();) {
        if (!isEscape(text, i)) {
            decoded += text[i++];
            continue;
        }
        std::string bytes;
        for (; i < text.size() && isEscape(text, i); i += 3)
            bytes += static_cast<char>(std::wcstoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
        decoded += utf8::toWide(bytes);
    }
    return decoded;
}

bool isWebOrMailAddress(const std::wstring& text) {
    for (wchar_t c : text)
        if (isBlank(c) || c == L'"') return false;
    WebAddress address;
    if (!parseWebAddress(text, address)) return false;
    if (address.scheme == L"mailto") return !asksForAttachment(address.afterScheme);
    return (address.scheme == L"http" || address.scheme == L"https") && address.hasAuthority &&
           address.portValid && !canonicalHost(address.host).empty();
}
