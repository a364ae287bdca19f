// Served by the page host (PageRunner.exe --serve) into every page it serves, ahead of the
// page's own scripts. It gives the page the launcher's script bridge as window.external:
// each method a synchronous request to the host, which runs it in the real launcher, so
// that page code written for the launcher's browser runs unchanged. It also reports the
// page's script errors to the host's output, and lets the page's ButtonOK and ButtonCancel
// end the host, as they end the launcher.
(function () {
    "use strict";
    var tag = document.currentScript;
    var secret = tag.getAttribute("data-secret");
    var methods = tag.getAttribute("data-methods").split(",");
    tag.removeAttribute("data-secret");

    function post(path, body, synchronous) {
        var request = new XMLHttpRequest();
        request.open("POST", path, !synchronous);
        request.setRequestHeader("Content-Type", "application/json");
        request.setRequestHeader("X-Page-Host-Secret", secret);
        request.send(JSON.stringify(body));
        return request;
    }

    // Script values as the browser hands them to the bridge: strings, numbers and
    // booleans as they are, null as null, undefined as {} (the host's empty value),
    // anything else as its text.
    function argument(value) {
        var type = typeof value;
        if (value === null || type === "string" || type === "number" || type === "boolean") return value;
        if (type === "undefined") return {};
        return String(value);
    }

    function call(name, args) {
        var list = [];
        for (var i = 0; i < args.length; i++) list.push(argument(args[i]));
        var request = post("/.host/call", { method: name, args: list }, true);
        if (request.status !== 200)
            throw new Error("external." + name + ": the page host answered " + request.status + " " +
                            request.responseText.trim());
        var answer = JSON.parse(request.responseText);
        if ("error" in answer) throw new Error(answer.error);
        return answer.result;
    }

    var bridge = {};
    var byLowerCaseName = Object.create(null);
    methods.forEach(function (name) {
        bridge[name] = function () {
            return call(name, arguments);
        };
        byLowerCaseName[name.toLowerCase()] = bridge[name];
    });
    // The launcher's bridge finds its methods whatever the letter case of the name.
    var external = new Proxy(bridge, {
        get: function (target, property) {
            if (property in target || typeof property !== "string") return target[property];
            return byLowerCaseName[property.toLowerCase()];
        },
        has: function (target, property) {
            return property in target ||
                (typeof property === "string" && property.toLowerCase() in byLowerCaseName);
        }
    });
    Object.defineProperty(window, "external", { value: external, configurable: true, enumerable: true });

    window.addEventListener("error", function (event) {
        post("/.host/report", {
            message: event.message,
            source: event.filename,
            line: event.lineno,
            column: event.colno
        }, false);
    });
    window.addEventListener("unhandledrejection", function (event) {
        post("/.host/report", { message: "unhandled rejection: " + String(event.reason), source: "", line: 0, column: 0 }, false);
    });

    // A click on the button or on anything inside it.
    document.addEventListener("click", function (event) {
        for (var node = event.target; node; node = node.parentNode) {
            if (node.id === "ButtonOK" || node.id === "ButtonCancel") {
                post("/.host/close", { button: node.id }, false);
                return;
            }
        }
    }, true);
})();
