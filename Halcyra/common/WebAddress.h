#pragma once
// The parts of an address that decide where it leads, read as a browser reads them:
// leading and trailing spaces and control characters do not count, the scheme ends at the
// first ':', and for http and https a backslash ends the host as a slash does.
#include <string>

struct WebAddress {
    std::wstring scheme;         // lower case, without the ':'
    bool hasAuthority = false;   // "//" follows the scheme
    std::wstring host;           // between any "user@" and the port, as written
    bool portValid = true;       // no port, or a number up to 65535
    std::wstring afterScheme;    // everything after the scheme's ':'
};

// False when the text does not start with a scheme of two characters or more (a drive
// letter is no scheme).
bool parseWebAddress(const std::wstring& text, WebAddress& address);

// The host as compared: ASCII (IDNA) form in lower case, one trailing dot dropped;
// empty when it is no valid host name. IPv6 literals keep their brackets.
std::wstring canonicalHost(const std::wstring& host);
// Whether the character is an ASCII hex digit (0-9, a-f, A-F).
bool isAsciiHexDigit(wchar_t c);
// Whether a canonical host is an IP address (its last label is a number, or it is an
// IPv6 literal) rather than a domain name.
bool isIpAddress(const std::wstring& canonical);

// %XX escapes decoded as the UTF-8 bytes of the characters they stand for; other text,
// non-ASCII included, stays as it is.
std::wstring percentDecoded(const std::wstring& text);

// Whether the shell may be asked to open the text: an http or https address with a valid
// host and port, or a mailto address that asks for no attachment (no field named
// "attach..." in any letter case, escaped or not), written without spaces, control
// characters or double quotes (which a handler's command line could split on).
bool isWebOrMailAddress(const std::wstring& text);
