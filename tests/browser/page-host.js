// The work of scripts/page-host (see there): the demo catalogue server, the page host in a
// fresh prefix, and Chromium on the page until the page ends the host or Ctrl+C.
//
//     node page-host.js [--page DIR|URL]
"use strict";

const fs = require("node:fs");
const path = require("node:path");

const { launchBrowser } = require("./support/browser");
const { root, startDemoServer, startPageHost } = require("./support/host");

const bin = process.env.HALCYRA_BIN || path.join(root, "build/win32/bin");
const shots = path.join(root, "build/page-host");
const SHOT_EVERY_MS = 3000;
const SHOTS_KEPT = 20;

function pageOption(argv) {
    const at = argv.indexOf("--page");
    if (at < 0) return {};
    const page = argv[at + 1];
    if (!page) throw new Error("--page needs a directory or an http(s) address");
    if (/^https?:\/\//.test(page)) return { page };
    if (!fs.statSync(page, { throwIfNoEntry: false })?.isDirectory()) throw new Error(`--page ${page}: no such directory`);
    return { pageDir: page };
}

// The start page's address fields, filled in for the demo server when the page has them.
async function fillIn(page, demo) {
    await page.evaluate((base) => {
        const set = (id, value) => { const input = document.getElementById(id); if (input && !input.value) input.value = value; };
        set("updateAddress", base + "update/");
        set("sceneAddress", base + "scenes/1024.7z");
    }, demo.base).catch(() => {});
}

async function main() {
    const options = pageOption(process.argv.slice(2));
    const display = Boolean(process.env.DISPLAY);
    const demo = await startDemoServer(bin);
    // With a display the launcher's message boxes appear there; without one they are answered.
    if (display) process.env.HALCYRA_DISPLAY = process.env.DISPLAY;
    let host;
    let browser;
    let ending = false;
    const end = async () => {
        if (ending) return;
        ending = true;
        if (browser) await browser.close().catch(() => {});
        if (host) await host.close();
        demo.stop();
        console.log("page-host: ended");
        process.exit(0);
    };
    process.on("SIGINT", end);
    process.on("SIGTERM", end);
    try {
        host = await startPageHost(bin, demo, "page-host", {
            ...options, engine: true, answer: display ? null : "ok", onLine: (line) => console.log(line),
        });
        browser = await launchBrowser({ headless: !display, handleSignals: false });
    } catch (e) {
        if (host) await host.close();
        demo.stop();
        throw e;
    }
    console.log(`page-host: the catalogue server: ${demo.base} (update: ${demo.base}update/, ` +
        `scenes: ${demo.base}scenes/1024.7z, 2048.7z, 4096.7z)`);
    console.log(`page-host: open ${host.url} in any browser on this machine`);
    browser.on("disconnected", end);

    const page = (await browser.pages())[0] || (await browser.newPage());
    page.on("load", () => fillIn(page, demo));
    await page.goto(host.url);
    if (display) {
        console.log("page-host: Chromium shows the page; close it or press Ctrl+C to end.");
    } else {
        fs.rmSync(shots, { recursive: true, force: true });
        fs.mkdirSync(shots, { recursive: true });
        console.log(`page-host: no display; Chromium runs headless, a screenshot every ${SHOT_EVERY_MS / 1000} s ` +
            `into ${shots}/ (latest.png the newest). Ctrl+C ends it.`);
        for (let n = 1; !ending && host.running(); n++) {
            const file = path.join(shots, `start-page-${String(n).padStart(4, "0")}.png`);
            await page.screenshot({ path: file, fullPage: true }).catch(() => {});
            if (fs.existsSync(file)) fs.copyFileSync(file, path.join(shots, "latest.png"));
            fs.rmSync(path.join(shots, `start-page-${String(n - SHOTS_KEPT).padStart(4, "0")}.png`), { force: true });
            await new Promise((resolve) => setTimeout(resolve, SHOT_EVERY_MS));
        }
    }
    // The page's ButtonOK or ButtonCancel ends the host, as they end the launcher.
    await host.closed;
    console.log("page-host: the page host has ended");
    await end();
}

main().catch((e) => {
    console.error("page-host: " + (e && e.message ? e.message : e));
    process.exit(1);
});
