#pragma once
// The page host's call endpoint: how a request from the served page reaches the
// launcher's script bridge and how the answer goes back.
//
// A call is a POST of {"method": NAME, "args": [...]} (JSON, UTF-8). Arguments keep their
// script types as the browser hands them to the bridge: a string as text, an integer that
// fits 32 bits as VT_I4, any other number as VT_R8, a boolean as VT_BOOL, null as VT_NULL,
// and an object (the served script's stand-in for undefined) as VT_EMPTY. The answer is
// {"result": VALUE} with the value's type kept (VT_I4, VT_R4, VT_I8 as numbers, VT_BSTR as
// a string, VT_BOOL as a boolean), {} for a method without a result, or {"error": TEXT}.
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Halcyra/pagehost/HttpServer.h"
#include "framework/Variant.h"

namespace bridge_endpoint {

// The header that carries the per-run secret the served script knows.
extern const char kSecretHeader[];

// A fresh secret for one run: 32 hex digits from the system's random generator; false
// when the generator fails (the host must not serve without a secret).
bool makeSecret(std::string& secret);

// The page's origin as a browser sends it: "http://127.0.0.1:PORT", without the port
// when it is 80. Host names the same address, without "http://".
std::string pageOrigin(std::uint16_t port);

// Why a request must be refused, "" when it may be served. Every request must name the
// host as 127.0.0.1:port (or 127.0.0.1 alone on port 80) (a page of another site whose name leads to this machine names
// its own); requests to the endpoint must also be POSTs from the page's own origin,
// carrying the secret.
std::string hostRefusal(const HttpRequest& request, std::uint16_t port);
std::string endpointRefusal(const HttpRequest& request, std::uint16_t port, const std::string& secret);

struct Call {
    std::wstring method;
    std::vector<fw::Variant> args;
};

// False with a reason when the body is no call.
bool parseCall(const std::string& body, Call& call, std::string& problem);

// Calls the method by name, as page script calls the external object: GetIDsOfNames, then
// Invoke. The answer's JSON text, a result or an error.
std::string invoke(IDispatch* bridge, Call& call);

// {"result": ...} for a value (no member for VT_EMPTY); {"error": ...}.
std::string resultJson(const VARIANT& value);
std::string errorJson(const std::string& text);

}  // namespace bridge_endpoint
