#include "Halcyra/common/PathComponent.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace {

const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL"};
const wchar_t* const kNumberedDevices[] = {L"COM", L"LPT"};
const wchar_t kDeviceDigits[] = L"0123456789\u00b9\u00b2\u00b3";

bool equalsAsciiNoCase(const std::wstring& text, std::size_t offset, const wchar_t* ascii)
{
    for (std::size_t i = 0; ascii[i]; ++i) {
        if (offset + i >= text.size()) return false;
        wchar_t c = text[offset + i];
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        if (c != ascii[i]) return false;
    }
    return true;
}

}  // namespace

bool isParentReference(const std::wstring& component)
{
    return component.find_first_not_of(L". ") == std::wstring::npos &&
           std::count(component.begin(), component.end(), L'.') >= 2;
}

bool isDeviceName(const std::wstring& component)
{
    std::wstring base = component.substr(0, component.find(L'.'));
    base.erase(base.find_last_not_of(L' ') + 1);
    if (base.size() == 3)
        return std::any_of(std::begin(kDevices), std::end(kDevices),
                           [&](const wchar_t* device) { return equalsAsciiNoCase(base, 0, device); });
    if (base.size() == 4 && base[3] != L'\0' && std::wcschr(kDeviceDigits, base[3]))
        return std::any_of(std::begin(kNumberedDevices), std::end(kNumberedDevices),
                           [&](const wchar_t* device) { return equalsAsciiNoCase(base, 0, device); });
    return false;
}
