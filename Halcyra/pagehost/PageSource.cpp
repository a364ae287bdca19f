#include "Halcyra/pagehost/PageSource.h"

#include <algorithm>
#include <vector>

#include "Halcyra/common/Helpers.h"
#include "Halcyra/common/PathComponent.h"
#include "Halcyra/common/Utf8.h"
#include "Halcyra/common/WebAddress.h"
#include "Halcyra/download/HttpSource.h"
#include "framework/UniqueHandle.h"

namespace {

const char kStartPage[] = "/start.html";
// Longest silence of another server in the middle of an answer.
const DWORD kSilenceMs = 30000;
const char kIndexPage[] = "/index.html";

HttpResponse file(const std::string& path, std::string body) {
    HttpResponse response;
    response.contentType = contentTypeOf(path);
    response.body = std::move(body);
    return response;
}

bool isPlainComponent(const std::wstring& component) {
    return !component.empty() && component != L"." && !isParentReference(component) && !isDeviceName(component) &&
           component.back() != L'.' && component.back() != L' ';
}

HttpResponse notFound(const std::string& path) { return HttpResponse::text(404, "no such page file: " + path); }

std::wstring programDirectory() {
    std::wstring path = programPath();
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// The HTML resources of Launcher.exe, read from the file without running it.
class ResourcePages : public PageSource {
public:
    explicit ResourcePages(const std::wstring& program)
        : m_program(program),
          m_module(::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ResourcePages() override {
        if (m_module) ::FreeLibrary(m_module);
    }
    bool loaded() const { return m_module != nullptr; }

    HttpResponse get(const std::string& path, const std::string&, HANDLE) override {
        std::string name = path == "/" ? kStartPage : path;
        std::wstring resource = utf8::toWide(name.substr(1));
        HRSRC found = ::FindResourceW(m_module, resource.c_str(), MAKEINTRESOURCEW(23));
        HGLOBAL data = found ? ::LoadResource(m_module, found) : nullptr;
        const char* bytes = data ? static_cast<const char*>(::LockResource(data)) : nullptr;
        if (!bytes) return notFound(name);
        return file(name, std::string(bytes, ::SizeofResource(m_module, found)));
    }
    std::wstring describe() const override { return L"the HTML resources of " + m_program; }

private:
    std::wstring m_program;
    HMODULE m_module;
};

class DirectoryPages : public PageSource {
public:
    explicit DirectoryPages(const std::wstring& directory) : m_directory(directory) {}

    HttpResponse get(const std::string& path, const std::string&, HANDLE) override {
        std::string body;
        if (path != "/") return read(path, body) ? file(path, std::move(body)) : notFound(path);
        for (const char* name : {kStartPage, kIndexPage})
            if (read(name, body)) return file(name, std::move(body));
        return notFound(kStartPage);
    }
    std::wstring describe() const override { return L"the directory " + m_directory; }

private:
    // Only a file on the disk: a name that reaches a device or a pipe could block the
    // connection's thread for good.
    bool read(const std::string& path, std::string& body) const {
        std::wstring full = m_directory + utf8::toWide(path);
        std::replace(full.begin(), full.end(), L'/', L'\\');
        fw::UniqueHandle file(::CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || ::GetFileType(file.get()) != FILE_TYPE_DISK) return false;
        BY_HANDLE_FILE_INFORMATION information;
        if (!::GetFileInformationByHandle(file.get(), &information) ||
            (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
        body.clear();
        char buffer[64 * 1024];
        DWORD got = 0;
        while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) body.append(buffer, got);
        return true;
    }

    std::wstring m_directory;
};

// Another server's page, fetched for each request and answered under the host's origin,
// so that the page's requests to the endpoint come from the origin the host allows.
class ProxiedPages : public PageSource {
public:
    explicit ProxiedPages(const std::wstring& base) : m_base(base) {
        size_t slash = m_base.find(L'/', m_base.find(L"://") + 3);
        if (slash == std::wstring::npos) m_base += L'/';
        m_root = m_base.substr(0, m_base.find(L'/', m_base.find(L"://") + 3));
    }

    HttpResponse get(const std::string& path, const std::string& target, HANDLE stopping) override {
        // "/" is the page itself; other paths as the page's own links resolve them.
        size_t query = target.find('?');
        std::wstring url = path == "/" ? m_base + (query == std::string::npos ? L"" : utf8::toWide(target.substr(query)))
                                       : m_root + utf8::toWide(target);
        HttpFetch fetch(url, HttpRange());
        HttpAnswer answer;
        if (fetch.waitForAnswer(stopping, HttpFetch::kAnswerTimeoutMs, answer) != HttpFetch::Result::ok)
            return HttpResponse::text(502, "no answer from " + utf8::fromWide(url));
        HttpResponse response;
        response.status = answer.status;
        response.contentType = answer.contentType;
        std::vector<char> piece;
        do {
            if (fetch.read(stopping, kSilenceMs, piece) != HttpFetch::Result::ok)
                return HttpResponse::text(502, "the answer from " + utf8::fromWide(url) + " broke off");
            response.body.append(piece.begin(), piece.end());
        } while (!piece.empty());
        return response;
    }
    std::wstring describe() const override { return L"the address " + m_base; }

private:
    std::wstring m_base;  // the page's address
    std::wstring m_root;  // scheme and host of it
};

}  // namespace

std::unique_ptr<PageSource> PageSource::open(const std::wstring& page, std::wstring& problem) {
    std::wstring scheme = page.substr(0, page.find(L"://"));
    if (page.find(L"://") != std::wstring::npos && (scheme == L"http" || scheme == L"https"))
        return std::make_unique<ProxiedPages>(page);
    if (page.empty()) {
        auto resources = std::make_unique<ResourcePages>(programDirectory() + L"Launcher.exe");
        if (resources->loaded()) return resources;
        problem = L"cannot read the resources of " + programDirectory() + L"Launcher.exe: give --page DIR|URL";
        return nullptr;
    }
    DWORD attributes = ::GetFileAttributesW(page.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        std::wstring directory = page;
        while (!directory.empty() && (directory.back() == L'\\' || directory.back() == L'/')) directory.pop_back();
        return std::make_unique<DirectoryPages>(directory);
    }
    problem = L"--page " + page + L" is neither a directory nor an http(s) address";
    return nullptr;
}

bool decodePagePath(const std::string& target, std::string& path) {
    std::string raw = target.substr(0, target.find('?'));
    if (raw.empty() || raw[0] != '/') return false;
    path.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '%') {
            if (i + 2 >= raw.size() || !isAsciiHexDigit(raw[i + 1]) || !isAsciiHexDigit(raw[i + 2])) return false;
            c = static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == ':') return false;
        path += c;
    }
    // No empty or "." segment, nothing Windows reads as the parent or as a device, and no
    // trailing dot or space that Windows would drop: the path names one file below the
    // page's root, and only by its own name.
    for (size_t start = 1; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string segment = path.substr(start, end - start);
        bool last = end == path.size();
        if (segment.empty() ? !(last && start == 1) : !isPlainComponent(utf8::toWide(segment))) return false;
        start = end + 1;
    }
    return true;
}

std::string contentTypeOf(const std::string& path) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {".html", "text/html"},                {".htm", "text/html"},
        {".css", "text/css"},                  {".js", "text/javascript"},
        {".json", "application/json"},         {".png", "image/png"},
        {".jpg", "image/jpeg"},                {".jpeg", "image/jpeg"},
        {".gif", "image/gif"},                 {".svg", "image/svg+xml"},
        {".ico", "image/x-icon"},              {".txt", "text/plain"}};
    std::string name = lowerAscii(path);
    for (const auto& type : kTypes) {
        std::string extension = type.first;
        if (name.size() >= extension.size() && name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
            return type.second;
    }
    return "application/octet-stream";
}

std::string withTag(const std::string& html, const std::string& tag) {
    std::string folded = lowerAscii(html);
    size_t head = folded.find("<head");
    while (head != std::string::npos) {
        char next = head + 5 < folded.size() ? folded[head + 5] : '\0';
        if (next == '>' || next == ' ' || next == '\t' || next == '\r' || next == '\n') break;
        head = folded.find("<head", head + 5);  // <header> is no <head>
    }
    if (head != std::string::npos) {
        size_t close = folded.find('>', head);
        if (close != std::string::npos) return html.substr(0, close + 1) + tag + html.substr(close + 1);
    }
    size_t script = folded.find("<script");
    if (script != std::string::npos) return html.substr(0, script) + tag + html.substr(script);
    return html + tag;
}
