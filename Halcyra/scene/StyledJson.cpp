#include "Halcyra/scene/StyledJson.h"

#include <json/writer.h>

#include <memory>
#include <sstream>

namespace {

// jsoncpp's StyledWriter would decode the text as UTF-8 and escape GBK bytes wrongly, so
// the stream writer (which can leave them alone) does the escaping, and its one layout
// difference, an object opening on the line after its member name, is undone here.
// Strings never hold a raw line feed, so the pattern below can only match layout.
std::string joinOpeningBraces(const std::string& text)
{
    std::string joined;
    joined.reserve(text.size());
    const std::string colon = " : ";
    const std::string memberEnd = colon + "\n";
    size_t at = 0;
    while (at < text.size()) {
        const size_t found = text.find(memberEnd, at);
        if (found == std::string::npos) {
            joined.append(text, at, std::string::npos);
            break;
        }
        const size_t afterIndent = text.find_first_not_of(' ', found + memberEnd.size());
        joined.append(text, at, found + colon.size() - at);
        if (afterIndent != std::string::npos && (text[afterIndent] == '{' || text[afterIndent] == '[')) {
            at = afterIndent;
        } else {
            joined += '\n';
            at = found + memberEnd.size();
        }
    }
    return joined;
}

}  // namespace

std::string writeStyledJson(const Json::Value& root)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "   ";
    builder["commentStyle"] = "None";
    builder["emitUTF8"] = true;
    const std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
    std::ostringstream out;
    writer->write(root, &out);
    return joinOpeningBraces(out.str()) + "\n";
}
