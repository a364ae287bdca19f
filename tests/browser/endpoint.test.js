// The page host's call endpoint as other local pages and programs meet it: refused without
// the per-run secret, with another Host, with another Origin; a page of another origin in
// the browser can neither call it, read the served page nor frame it; and a script error
// of the page reported with its line.
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
let pageDir;

before(async () => {
    demo = await startDemoServer(bin);
    // The page from a directory of this machine whose path has a space, which tests fill
    // as they need.
    pageDir = path.join(demo.work, "page files");
    fs.mkdirSync(pageDir);
    fs.writeFileSync(path.join(pageDir, "index.html"), "<!DOCTYPE html>\n<html><head><title>x</title></head></html>\n");
    host = await startPageHost(bin, demo, "browser-endpoint", { pageDir });
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
    // The host's lines come through a pipe of their own: they may follow the answers.
    const refusals = () => host.output().filter((l) => /^page host: refused POST \/\.host\/call/.test(l));
    await waitUntil(() => refusals().length >= Object.keys(refused).length, 30, "the refusals printed");
    assert.deepEqual(refusals()
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

    // A device name is no page file: the request is answered, and the host goes on serving.
    for (const device of ["COM1", "nul.txt", "CON", "aux.html"])
        assert.equal((await request(host.url + device)).status, 400, device);
    const served = await request(host.url);
    assert.equal(served.status, 200);
    assert.equal(served.headers["content-security-policy"], "frame-ancestors 'self'");
    assert.equal(served.headers["x-frame-options"], "DENY");
});

// The endpoint's own Origin check is what the first test guards; here the browser's part:
// the host allows no other origin to read its answers (the served page carries the
// secret) and no other site to frame its page.
test("a page of another origin in the browser can neither call the launcher, read the page nor frame it", async () => {
    // The page calls the launcher as soon as it runs, before its load event: a trace on D:
    // named by its fragment.
    fs.writeFileSync(path.join(pageDir, "framed.html"),
        "<!DOCTYPE html>\n<html><head><title>framed</title></head>\n" +
        "<body><script>external.setSavePath(location.hash.substring(1));</script></body></html>\n");
    const browser = await launchBrowser();
    try {
        const page = await browser.newPage();
        // A page of the demo server's origin that tries the endpoint with the secret.
        await page.goto(demo.base + "catalogue.js");
        const outcome = await page.evaluate(async (base, secret) => {
            const tried = async (url, init) => {
                try {
                    const answer = await fetch(url, init);
                    return "answered " + answer.status + ": " + (await answer.text());
                } catch (e) {
                    return "blocked";
                }
            };
            return {
                call: await tried(base + ".host/call", {
                    method: "POST",
                    headers: { "Content-Type": "application/json", "X-Page-Host-Secret": secret },
                    body: JSON.stringify({ method: "setSavePath", args: ["from-other-origin"] }),
                }),
                page: await tried(base),
            };
        }, host.url, secret);
        assert.deepEqual(outcome, { call: "blocked", page: "blocked" });
        assert.ok(!fs.existsSync(host.file("D", "from-other-origin")), "the call ran");

        await page.evaluate((url) => new Promise((resolve) => {
            const frame = document.createElement("iframe");
            frame.onload = resolve;
            frame.src = url;
            document.body.appendChild(frame);
        }), host.url + "framed.html#from-a-frame");
        assert.ok(!fs.existsSync(host.file("D", "from-a-frame")), "the framed page ran");
        // The same page on its own does run.
        await page.goto(host.url + "framed.html#on-its-own");
        assert.ok(fs.statSync(host.file("D", "on-its-own")).isDirectory(), "the page ran on its own");
    } finally {
        await browser.close();
    }
});

test("a script error of the page is printed with its file and line", async () => {
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
        // The two reports come on connections of their own, in either order.
        const errors = host.output().filter((l) => / error: /.test(l));
        assert.equal(errors.length, 2, errors.join("\n"));
        assert.ok(errors.some((l) => /^broken\.js:3:\d+: error: Uncaught Error: boom in the page$/.test(l)),
            errors.join("\n"));
        // The page's own inline script, at its line in the HTML: the served tag moved nothing.
        assert.ok(errors.some((l) =>
            /^broken\.html:11:\d+: error: Uncaught TypeError: external\.noSuchMethod is not a function$/.test(l)),
        errors.join("\n"));
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
        // The page's server gone first: the host closes all the same, without its page.
        server.kill();
        if (proxied) assert.equal(await proxied.close(), 0, proxied.output().join("\n"));
    }
});
