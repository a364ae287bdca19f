#include "Halcyra/shell/StartPage.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "Halcyra/common/Helpers.h"

namespace {

const wchar_t kBuiltInPage[] = L"start.html";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string readStartPage(const char* fileName) {
    std::string page;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName, "rb"));
    if (file && std::fseek(file.get(), 0, SEEK_END) == 0) {
        long size = std::ftell(file.get());
        if (size > 0 && std::fseek(file.get(), 0, SEEK_SET) == 0) {
            std::vector<char> bytes(static_cast<size_t>(size) + 1, '\0');
            std::fread(bytes.data(), 1, static_cast<size_t>(size), file.get());
            page = bytes.data();  // up to the first zero byte
        }
    }
    return page;
}

std::wstring programPageAddress(const std::wstring& path, const wchar_t* page) {
    std::wstring address = L"res://";
    for (wchar_t c : path) {
        if (c == L'%')
            address += L"%25";
        else if (c == L'#')
            address += L"%23";
        else
            address += c;
    }
    return address + L"/" + page;
}

std::wstring builtInStartPage() { return programPageAddress(programPath(), kBuiltInPage); }

std::wstring startPageAddress(const char* fileName) {
    std::wstring page = toWide(readStartPage(fileName));
    return page.empty() ? builtInStartPage() : page;
}
