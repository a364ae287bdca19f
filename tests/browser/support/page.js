// Small helpers for looking at the start page.
"use strict";

// Opens the page host's start page and waits until the page has shown the drives.
async function openStartPage(page, host) {
    await page.goto(host.url);
    await page.waitForSelector("#driveRows tr", { timeout: 60000 });
}

// The text of an element, or another of its properties ("style.width").
async function text(page, selector, property = "textContent") {
    return page.$eval(selector, (element, property) =>
        property.split(".").reduce((value, name) => value[name], element), property);
}

// Records every width the progress bar with this id takes from now on; the function it
// resolves to gives them.
async function recordWidths(page, id) {
    await page.evaluate((id) => {
        const bar = document.getElementById(id);
        const seen = (window.recordedWidths = window.recordedWidths || {})[id] = [];
        new MutationObserver(() => seen.push(bar.style.width)).observe(bar, { attributes: true, attributeFilter: ["style"] });
    }, id);
    return () => page.evaluate((id) => window.recordedWidths[id].slice(), id);
}

module.exports = { openStartPage, recordWidths, text };
