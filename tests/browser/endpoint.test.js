// The page host's call endpoint as other local pages and programs meet it: refused without
// the per-run secret, with another Host, with another Origin, and from a page of another
// origin in the browser; and a script error of the page reported with its line.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const { spawn } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");

const { launchBrowser, screenshot } = require("./support/browser");
const { root, request, startDemoServer, startPageHost, waitUntil } = require("./support/host");

const bin = process.env.HALCYRA_BIN || path.join(root, "build/win32/bin");
const artefacts = process.env.HALCYRA_ARTEFACTS || path.join(root, "build/browser-tests");

let demo;
let host;
let secret;
let origin;

before(async () => {
    demo = await startDemoServer(bin);
    // The page from a directory of the prefix: C:\demo, which tests fill as they need.
    host = await startPageHost(bin, demo, "browser-endpoint", { page: "C:\\demo" });
    fs.writeFileSync(host.file("C", "demo", "index.html"), "<!DOCTYPE html>\n<html><head><title>x</title></head></html>\n");
    secret = await host.secret();
    origin = host.url.replace(/\/$/, "");
});

after(async () => {
    try {
        if (host) assert.equal(await host.close(), 0, host.output().join("\n"));
    } finally {
        if (demo) demo.stop();
    }
});

// setSavePath creates its directory on the data drive: a trace on disk of a call that ran.
function savePathCall(directory, headers) {
    return request(host.url + ".host/call", {
        method: "POST",
        headers: { "Content-Type": "application/json", ...headers },
        body: JSON.stringify({ method: "setSavePath", args: [directory] }),
    });
}

test("the endpoint runs a call only with the secret, its own Host and its own Origin", async () => {
    const refused = {
        "no-secret": { Origin: origin },
        "wrong-secret": { Origin: origin, "X-Page-Host-Secret": secret.replace(/^./, (c) => (c === "0" ? "1" : "0")) },
        "other-host": { Origin: origin, "X-Page-Host-Secret": secret, Host: "evil.test:" + host.port },
        "localhost": { Origin: origin, "X-Page-Host-Secret": secret, Host: "localhost:" + host.port },
        "other-origin": { Origin: "http://evil.test", "X-Page-Host-Secret": secret },
        "no-origin": { "X-Page-Host-Secret": secret },
    };
    for (const [name, headers] of Object.entries(refused)) {
        const answer = await savePathCall("refused-" + name, headers);
        assert.equal(answer.status, 403, `${name}: ${answer.body}`);
        assert.ok(!fs.existsSync(host.file("D", "refused-" + name)), `${name}: the call ran`);
    }
    assert.deepEqual(host.output().filter((l) => /^page host: refused POST \/\.host\/call/.test(l))
        .map((l) => /\((wrong Host|wrong Origin|no secret),/.exec(l)[1]),
    ["no secret", "no secret", "wrong Host", "wrong Host", "wrong Origin", "wrong Origin"]);

    const accepted = await savePathCall("accepted", { Origin: origin, "X-Page-Host-Secret": secret });
    assert.equal(accepted.status, 200, accepted.body);
    assert.equal(accepted.body, "{}");
    assert.ok(fs.statSync(host.file("D", "accepted")).isDirectory(), "the accepted call ran");

    // Even the page's files go only to requests for this host (no other name may lead here).
    const page = await request(host.url, { headers: { Host: "rebound.test:" + host.port } });
    assert.equal(page.status, 403);
    assert.doesNotMatch(page.body, /data-secret/);
});

test("a page of another origin in the browser cannot call the launcher", async () => {
    const browser = await launchBrowser();
    try {
        const page = await browser.newPage();
        // A page of the demo server's origin that tries the endpoint with the secret.
        await page.goto(demo.base + "catalogue.js");
        const outcome = await page.evaluate(async (url, secret) => {
            try {
                const answer = await fetch(url, {
                    method: "POST",
                    headers: { "Content-Type": "application/json", "X-Page-Host-Secret": secret },
                    body: JSON.stringify({ method: "setSavePath", args: ["from-other-origin"] }),
                });
                return "answered " + answer.status;
            } catch (e) {
                return "blocked";
            }
        }, host.url + ".host/call", secret);
        assert.equal(outcome, "blocked");
        assert.ok(!fs.existsSync(host.file("D", "from-other-origin")), "the call ran");
    } finally {
        await browser.close();
    }
});

test("a script error of the page is printed with its file and line", async () => {
    const pageDir = host.file("C", "demo");
    fs.writeFileSync(path.join(pageDir, "broken.html"),
        "<!DOCTYPE html>\n<html>\n<head>\n<title>broken</title>\n<script src=\"broken.js\"></script>\n</head>\n" +
        "<body>\n<p id=\"root\"></p>\n<script>\ndocument.getElementById(\"root\").textContent = external.getCurrentDownloadDir();\n" +
        "external.noSuchMethod();\n</script>\n</body>\n</html>\n");
    fs.writeFileSync(path.join(pageDir, "broken.js"),
        "// A page script that fails on its third line.\nvar ready = true;\n    throw new Error(\"boom in the page\");\n");
    const browser = await launchBrowser();
    try {
        const page = await browser.newPage();
        await page.goto(host.url + "broken.html");
        await waitUntil(() => host.output().filter((l) => / error: /.test(l)).length >= 2, 30, "two error reports");
        const errors = host.output().filter((l) => / error: /.test(l));
        assert.match(errors[0], /^broken\.js:3:\d+: error: Uncaught Error: boom in the page$/);
        // The page's own inline script, at its line in the HTML: the served tag moved nothing.
        assert.match(errors[1], /^broken\.html:11:\d+: error: Uncaught TypeError: external\.noSuchMethod is not a function$/);
        assert.equal(await page.$eval("#root", (p) => p.textContent), "D:/Orbelune");
        await screenshot(page, artefacts, "broken-page");
    } finally {
        await browser.close();
    }
});

test("a page at another address is served under the host's origin, with the bridge", async () => {
    // The start page's files from a plain web server, as a page author's own server.
    const server = spawn("python3", ["-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
        "--directory", path.join(root, "Halcyra/shell/page")], { stdio: ["ignore", "pipe", "ignore"] });
    let announced = "";
    server.stdout.on("data", (text) => { announced += text; });
    const browser = await launchBrowser();
    let proxied;
    try {
        const port = await waitUntil(() => (/port (\d+)/.exec(announced) || [])[1], 30, "the web server");
        proxied = await startPageHost(bin, demo, "browser-address", { page: `http://127.0.0.1:${port}/start.html` });
        const page = await browser.newPage();
        await page.goto(proxied.url);
        await page.waitForSelector("#driveRows tr", { timeout: 60000 });
        assert.equal(await page.$eval("#dataRoot", (e) => e.textContent), "D:/Orbelune");
        assert.deepEqual(await page.$$eval("#driveRows tr td:first-child", (tds) => tds.map((td) => td.textContent)),
            ["C:", "D:", "E:"]);
        // Wine may have a line of its own first.
        assert.ok(proxied.output().some((line) =>
            /^page host: serving the address http:\/\/127\.0\.0\.1:\d+\/start\.html$/.test(line)), proxied.output().join("\n"));
    } finally {
        await browser.close();
        try {
            if (proxied) assert.equal(await proxied.close(), 0, proxied.output().join("\n"));
        } finally {
            server.kill();
        }
    }
});
