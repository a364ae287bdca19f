#include "Halcyra/pagehost/BridgeEndpoint.h"

#include <bcrypt.h>
#include <json/json.h>

#include <cstdio>
#include <memory>
#include <sstream>

#include "Halcyra/common/Utf8.h"
#include "framework/Bstr.h"

namespace bridge_endpoint {

const char kSecretHeader[] = "x-page-host-secret";

namespace {

// Equal texts, compared in a time that does not depend on where they differ.
bool sameSecret(const std::string& given, const std::string& secret) {
    if (given.size() != secret.size()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ secret[i]);
    return difference == 0;
}

std::string writeJson(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

// The texts script shows for the failures the browser reports to it.
std::string failureText(HRESULT hr, const std::wstring& method) {
    switch (hr) {
    case DISP_E_UNKNOWNNAME:
    case DISP_E_MEMBERNOTFOUND:
        return "Object doesn't support property or method '" + utf8::fromWide(method) + "'";
    case DISP_E_BADPARAMCOUNT: return "Wrong number of arguments or invalid property assignment";
    case DISP_E_TYPEMISMATCH: return "Type mismatch";
    default: {
        char text[64];
        std::snprintf(text, sizeof text, "call failed (0x%08lX)", static_cast<unsigned long>(hr));
        return text;
    }
    }
}

}  // namespace

bool makeSecret(std::string& secret) {
    unsigned char bytes[16] = {};
    secret.clear();
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return false;
    char digits[3];
    for (unsigned char byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        secret += digits;
    }
    return true;
}

std::string pageOrigin(std::uint16_t port) {
    return port == 80 ? "http://127.0.0.1" : "http://127.0.0.1:" + std::to_string(port);
}

std::string hostRefusal(const HttpRequest& request, std::uint16_t port) {
    const std::string host = request.header("host");
    if (host != "127.0.0.1:" + std::to_string(port) && !(port == 80 && host == "127.0.0.1")) return "wrong Host";
    return std::string();
}

std::string endpointRefusal(const HttpRequest& request, std::uint16_t port, const std::string& secret) {
    std::string host = hostRefusal(request, port);
    if (!host.empty()) return host;
    if (request.method != "POST") return "not a POST";
    if (request.header("origin") != pageOrigin(port)) return "wrong Origin";
    if (!sameSecret(request.header(kSecretHeader), secret)) return "no secret";
    return std::string();
}

bool parseCall(const std::string& body, Call& call, std::string& problem) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(body.data(), body.data() + body.size(), &root, &errors) || !root.isObject()) {
        problem = "the call is not a JSON object";
        return false;
    }
    const Json::Value& method = root["method"];
    const Json::Value& args = root["args"];
    if (!method.isString() || !(args.isArray() || args.isNull())) {
        problem = "the call needs a method name and an argument list";
        return false;
    }
    call.method = utf8::toWide(method.asString());
    call.args.clear();
    for (const Json::Value& arg : args) {
        if (arg.isBool()) {
            call.args.push_back(fw::Variant::fromBool(arg.asBool()));
        } else if (arg.isInt()) {
            call.args.push_back(fw::Variant::fromInt(arg.asInt()));
        } else if (arg.isNumeric()) {
            fw::Variant number;
            VARIANT* v = number.put();
            v->vt = VT_R8;
            v->dblVal = arg.asDouble();
            call.args.push_back(std::move(number));
        } else if (arg.isString()) {
            call.args.push_back(fw::Variant::fromString(utf8::toWide(arg.asString())));
        } else if (arg.isNull()) {
            fw::Variant null;
            null.put()->vt = VT_NULL;
            call.args.push_back(std::move(null));
        } else {
            call.args.push_back(fw::Variant());
        }
    }
    return true;
}

std::string invoke(IDispatch* bridge, Call& call) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(call.method.c_str());
    HRESULT hr = bridge->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return errorJson(failureText(hr, call.method));

    // Invoke takes the arguments last first.
    std::vector<VARIANT> reversed;
    for (auto arg = call.args.rbegin(); arg != call.args.rend(); ++arg) reversed.push_back(arg->get());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()),
                      0};
    fw::Variant result;
    EXCEPINFO exception{};
    UINT argError = 0;
    hr = bridge->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.put(), &exception,
                        &argError);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    if (FAILED(hr)) return errorJson(failureText(hr, call.method));
    return resultJson(result.get());
}

std::string resultJson(const VARIANT& value) {
    Json::Value answer(Json::objectValue);
    switch (value.vt) {
    case VT_EMPTY: break;
    case VT_NULL: answer["result"] = Json::Value(Json::nullValue); break;
    case VT_I4: answer["result"] = Json::Value(static_cast<Json::Int>(value.lVal)); break;
    case VT_R4: answer["result"] = Json::Value(static_cast<double>(value.fltVal)); break;
    case VT_R8: answer["result"] = Json::Value(value.dblVal); break;
    case VT_I8: answer["result"] = Json::Value(static_cast<Json::Int64>(value.llVal)); break;
    case VT_BOOL: answer["result"] = Json::Value(value.boolVal != VARIANT_FALSE); break;
    case VT_BSTR:
        answer["result"] = utf8::fromWide(std::wstring(value.bstrVal ? value.bstrVal : L"",
                                                        ::SysStringLen(value.bstrVal)));
        break;
    default: {
        std::wstring text;
        if (FAILED(fw::variantToString(value, text))) return errorJson("a result of an unknown type");
        answer["result"] = utf8::fromWide(text);
    }
    }
    return writeJson(answer);
}

std::string errorJson(const std::string& text) {
    Json::Value answer(Json::objectValue);
    answer["error"] = text;
    return writeJson(answer);
}

}  // namespace bridge_endpoint
