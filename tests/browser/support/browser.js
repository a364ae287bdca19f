// Debian's Chromium driven by puppeteer-core (no browser of its own is downloaded).
"use strict";

const fs = require("node:fs");
const path = require("node:path");
const puppeteer = require("puppeteer-core");

const CHROMIUM = process.env.HALCYRA_CHROMIUM || "/usr/bin/chromium";

// A headless Chromium with a throwaway profile; the window is 1280x900, as the page
// host's screenshots show it. handleSignals false leaves Ctrl+C to a caller that must
// close the page host first: puppeteer then no longer ends the process on the signal.
async function launchBrowser({ headless = true, handleSignals = true } = {}) {
    return puppeteer.launch({
        executablePath: CHROMIUM,
        headless: headless ? true : false,
        defaultViewport: headless ? { width: 1280, height: 900 } : null,
        handleSIGINT: handleSignals,
        handleSIGTERM: handleSignals,
        handleSIGHUP: handleSignals,
        args: [
            "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", "--disable-quic", "--window-size=1280,900",
        ],
    });
}

// Saves a screenshot of the page under DIR as NAME.png and gives its path.
async function screenshot(page, dir, name) {
    fs.mkdirSync(dir, { recursive: true });
    const file = path.join(dir, name + ".png");
    await page.screenshot({ path: file, fullPage: true });
    return file;
}

module.exports = { launchBrowser, screenshot };
