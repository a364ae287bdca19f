// What the browser tests, scripts/page-host and scripts/run start besides the browser:
// the demo catalogue server and the page host (PageRunner.exe --serve) in a fresh Wine
// prefix made by cmake/wine-run, with the drives the end-to-end scenarios use
// (tests/scenarios/run-scenario --prepare): data drive D:, a second fixed drive E:, the
// installation directory C:\Orbelune with 7z.exe and the drive record.
"use strict";

const { spawn, spawnSync } = require("node:child_process");
const crypto = require("node:crypto");
const fs = require("node:fs");
const http = require("node:http");
const os = require("node:os");
const path = require("node:path");

const root = path.resolve(__dirname, "../../..");

// A word for the shell, as cmake/wine-run evaluates HALCYRA_WINE_PREPARE.
function shellQuoted(word) {
    return "'" + String(word).replace(/'/g, "'\\''") + "'";
}

// Page hosts still running, ended with their prefixes when this process ends in any way:
// an interrupted or failed run must leave no Wine process or mounted drive behind.
const running = new Set();
process.on("exit", () => {
    for (const end of running) end();
});
for (const signal of ["SIGINT", "SIGTERM", "SIGHUP"]) {
    process.on(signal, () => {
        // A caller with a handler of its own (scripts/page-host) closes its host itself.
        if (process.listenerCount(signal) > 1) return;
        process.exit(128 + os.constants.signals[signal]);
    });
}

function waitUntil(predicate, seconds, what) {
    const deadline = Date.now() + seconds * 1000;
    return new Promise((resolve, reject) => {
        const poll = () => {
            let value;
            try {
                value = predicate();
            } catch (e) {
                reject(e);
                return;
            }
            if (value) resolve(value);
            else if (Date.now() > deadline) reject(new Error(`timed out after ${seconds} s waiting for ${what}`));
            else setTimeout(poll, 100);
        };
        poll();
    });
}

// One HTTP request from outside any browser; resolves to { status, headers, body }.
function request(url, { method = "GET", headers = {}, body } = {}) {
    return new Promise((resolve, reject) => {
        const req = http.request(url, { method, headers, setHost: !("Host" in headers) }, (res) => {
            const chunks = [];
            res.on("data", (c) => chunks.push(c));
            res.on("end", () => resolve({
                status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks).toString("utf8"),
            }));
        });
        req.on("error", reject);
        req.end(body);
    });
}

// The demo catalogue server on a free port; rate in KiB/s per response.
async function startDemoServer(bin, { rate = 1024 } = {}) {
    // A space in the name: every path the harness hands on must survive it.
    const work = fs.mkdtempSync(path.join(os.tmpdir(), "demo server."));
    const portFile = path.join(work, "port");
    const log = fs.openSync(path.join(work, "server.log"), "w");
    const child = spawn(path.join(root, "scripts/demo-server"),
        ["--tools", bin, "--port", "0", "--port-file", portFile, "--rate", String(rate), "--lifetime", "1800",
         "--work", path.join(work, "files"), "--catalogue-out", path.join(work, "catalogue.js")],
        { stdio: ["ignore", log, log] });
    let exited = false;
    child.on("exit", () => { exited = true; });
    const port = await waitUntil(() => {
        if (exited) throw new Error("the demo server ended: " + fs.readFileSync(path.join(work, "server.log"), "utf8"));
        return fs.existsSync(portFile) && parseInt(fs.readFileSync(portFile, "utf8"), 10);
    }, 120, "the demo server");
    const base = `http://127.0.0.1:${port}/`;
    return {
        base,
        work,
        files: path.join(work, "files"),
        stop() {
            if (!exited) child.kill("SIGTERM");
            fs.closeSync(log);
        },
    };
}

// The page host in a fresh prefix named NAME. options: engine (the engine stand-in
// installed on D: beforehand), sizedDrives (D: and E: as tmpfs of distinct sizes where
// this machine can mount them), page (--page DIR|URL as the host sees it), pageDir (a
// directory of this machine, shown to the host as C:\page and served), answer (message
// boxes; null shows them), onLine (called with each line the host prints).
async function startPageHost(bin, demo, name,
    { engine = false, sizedDrives = false, page, pageDir, answer = "ok", onLine = () => {} } = {}) {
    const prepare = [path.join(root, "tests/scenarios/run-scenario"), "--prepare", demo.work];
    if (engine) prepare.push("--engine");
    if (sizedDrives) prepare.push("--sized-drives");
    if (pageDir) prepare.push("--page-dir", path.resolve(pageDir));
    const args = [path.join(bin, "PageRunner.exe"), "--serve", "0"];
    if (answer) args.push("--answer", answer);
    if (pageDir) args.push("--page", "C:\\page");
    else if (page) args.push("--page", page);
    const prefix = path.join(path.dirname(path.dirname(bin)), "wine", `${path.basename(path.dirname(bin))}-${name}`);
    // The harness chooses the secret: it closes the host without reading the served page,
    // which may not exist (a directory without start.html, a server that is down).
    const secret = crypto.randomBytes(16).toString("hex");
    const env = {
        ...process.env, HALCYRA_WINE_NAME: name, HALCYRA_WINE_PREPARE: prepare.map(shellQuoted).join(" "),
        HALCYRA_PAGE_HOST_SECRET: secret,
    };
    const child = spawn(path.join(root, "cmake/wine-run"), args, { env, detached: true, stdio: ["ignore", "pipe", "pipe"] });
    // Ends the host's processes, its prefix's Wine and the drives mounted in it.
    const kill = () => {
        running.delete(kill);
        try { process.kill(-child.pid, "SIGKILL"); } catch (e) { /* ended */ }
        spawnSync("wineserver", ["-k"], { env: { ...process.env, WINEPREFIX: prefix } });
        const mounts = spawnSync("findmnt", ["-rn", "-o", "TARGET"], { encoding: "utf8" }).stdout || "";
        for (const mount of mounts.split("\n").filter((m) => m.startsWith(prefix + "/")).reverse())
            spawnSync("umount", ["-l", mount]);
    };
    running.add(kill);
    const lines = [];
    let exitCode = null;
    const collect = (stream) => {
        let pending = "";
        stream.setEncoding("utf8");
        stream.on("data", (text) => {
            pending += text;
            const parts = pending.split(/\r?\n/);
            pending = parts.pop();
            lines.push(...parts);
            parts.forEach(onLine);
        });
    };
    collect(child.stdout);
    collect(child.stderr);
    const exited = new Promise((resolve) => child.on("exit", (code) => {
        exitCode = code;
        running.delete(kill);
        resolve(code);
    }));

    let address;
    try {
        address = await waitUntil(() => {
            if (exitCode !== null) throw new Error(`the page host ended (${exitCode}):\n${lines.join("\n")}`);
            const line = lines.find((l) => /^page host: open http:\/\/127\.0\.0\.1:\d+\/$/.test(l));
            return line && line.substring("page host: open ".length);
        }, 120, "the page host");
    } catch (e) {
        kill();
        throw e;
    }

    const host = {
        url: address,
        port: parseInt(address.split(":")[2], 10),
        prefix,
        output: () => lines.slice(),
        // Resolves with the exit status once the host has ended.
        closed: exited,
        running: () => exitCode === null,
        // The Linux path of a file on drive LETTER of the prefix.
        file(letter, ...parts) {
            const drive = fs.realpathSync(path.join(prefix, "dosdevices", letter.toLowerCase() + ":"));
            return path.join(drive, ...parts);
        },
        // The per-run secret the harness gave the host.
        secret: async () => secret,
        // Ends the host as the page's ButtonCancel would, then the prefix.
        async close() {
            if (exitCode === null) {
                try {
                    await request(address + ".host/close", {
                        method: "POST",
                        headers: { Origin: address.replace(/\/$/, ""), "X-Page-Host-Secret": secret },
                        body: "{}",
                    });
                } catch (e) {
                    // Gone already: the wait below sees it.
                }
                // A host that does not close: end it, its prefix and the drives mounted in it.
                const timer = setTimeout(kill, 90000);
                await exited;
                clearTimeout(timer);
            }
            return exitCode;
        },
    };
    return host;
}

module.exports = { root, request, startDemoServer, startPageHost, waitUntil };
