#include "Halcyra/shell/StartPage.h"

#include <cstdio>
#include <memory>
#include <vector>

const char kDefaultStartPage[] = "https://www.lumaro.com/";

namespace {
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
    return page.empty() ? kDefaultStartPage : page;
}
