#pragma once
// Which documents may use the launcher's script bridge. Trusted are the launcher's own
// pages (res://<programPath>/...) and http and https pages on the start page's host or,
// when that host is a domain name of three labels or more, on its parent domain and the
// parent's subdomains: a start page on www.example.com trusts example.com and
// *.example.com, unless that parent is a suffix shared by unrelated owners (com.cn,
// co.uk, github.io...): then only the start host itself. Every other document, whatever
// its scheme, is not trusted.
#include <string>

// address: the document's current address; startPage: the page the launcher opened (its
// host decides for web pages); programPath: the full path of the running program.
bool isTrustedPage(const std::wstring& address, const std::wstring& startPage,
                   const std::wstring& programPath);
