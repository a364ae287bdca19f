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


// What a user does on the start page, step by step; each resolves once the page shows
// the outcome and gives the text of the step's note.

async function noteAfter(page, id, pattern, seconds) {
    await page.waitForFunction((id, source) => new RegExp(source).test(document.getElementById(id).textContent),
        { timeout: seconds * 1000 }, id, pattern.source);
    return text(page, "#" + id);
}

// Types the update server's address, presses 检查更新 and waits for the outcome.
async function checkUpdate(page, address) {
    await page.$eval("#updateAddress", (input) => { input.value = ""; });
    await page.type("#updateAddress", address);
    await page.click("#checkUpdate");
    return noteAfter(page, "updateNote", /^(引擎已更新|引擎已是最新|引擎更新下载失败|无法读取|引擎未更新|请填写)/, 180);
}

// Types a scene package's address and presses 下载并打开; onDownloading(page) runs once
// the download shows progress. Waits until the scene is open or has failed.
async function openScene(page, address, onDownloading) {
    await page.$eval("#sceneAddress", (input) => { input.value = ""; });
    await page.type("#sceneAddress", address);
    await page.click("#openScene");
    if (onDownloading) {
        await noteAfter(page, "sceneNote", /^正在下载场景包 \S+\s+[1-9]\d?%$/, 60);
        await onDownloading(page);
    }
    return noteAfter(page, "sceneNote", /^(场景已在引擎中打开|场景包|下载已中断|引擎没有启动|已有两个下载|请填写)/, 180);
}

// Presses 迁移到此盘 on the drive's row; onMoving(page) runs once the move shows.
async function moveDataTo(page, letter, onMoving) {
    const button = await page.waitForFunction((letter) => Array.from(document.querySelectorAll("#driveRows tr"))
        .filter((row) => row.cells[0].textContent === letter + ":")
        .map((row) => row.querySelector("button"))[0], {}, letter);
    await button.click();
    await noteAfter(page, "moveNote", new RegExp("^正在迁移引擎目录到 " + letter + ":"), 30);
    if (onMoving) await onMoving(page);
    return noteAfter(page, "moveNote", /^(迁移完成|迁移失败|数据已在)/, 300);
}

module.exports = { openStartPage, recordWidths, text, checkUpdate, openScene, moveDataTo };
