// The start page in headless Chromium against the real launcher under Wine (the page
// host), used as a user would: clicks on its controls, then waits for what the page
// shows. Each test checks the page's DOM and the files on disk, and leaves screenshots in
// build/browser-tests/.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");

const { launchBrowser, screenshot } = require("./support/browser");
const { root, startDemoServer, startPageHost, waitUntil } = require("./support/host");
const { checkUpdate, moveDataTo, openScene, openStartPage, recordWidths, text } = require("./support/page");

const bin = process.env.HALCYRA_BIN || path.join(root, "build/win32/bin");
const artefacts = process.env.HALCYRA_ARTEFACTS || path.join(root, "build/browser-tests");
const ENGINE = "Vistaweaver-Win64-Shipping.exe";
const ENGINE_VERSION = "2022031800";

let browser;
let demo;

before(async () => {
    demo = await startDemoServer(bin);
    browser = await launchBrowser();
});

after(async () => {
    try {
        if (browser) await browser.close();
    } finally {
        if (demo) demo.stop();
    }
});

// Runs body(page, host) against a page host of its own; screenshots the page at the end,
// also when the test fails, and closes the host.
async function withStartPage(name, options, body) {
    const host = await startPageHost(bin, options.demo || demo, "browser-" + name, options);
    const page = await browser.newPage();
    try {
        await openStartPage(page, host);
        await body(page, host);
        const errors = host.output().filter((line) => / error: /.test(line));
        assert.deepEqual(errors, [], "script errors reported by the page");
    } finally {
        await screenshot(page, artefacts, name).catch(() => {});
        await page.close();
        assert.equal(await host.close(), 0, "the page host's exit status\n" + host.output().join("\n"));
    }
}

function gigabytes(bytes) {
    return (bytes / 1073741824).toFixed(1) + "GB";
}

test("the drive list shows every mapped drive with its sizes, the data drive marked", async () => {
    await withStartPage("drives", { sizedDrives: true }, async (page, host) => {
        const letters = fs.readdirSync(path.join(host.prefix, "dosdevices"))
            .filter((name) => /^[a-z]:$/.test(name))
            .map((name) => name[0].toUpperCase())
            .sort();
        const rows = await page.$$eval("#driveRows tr", (trs) => trs.map((tr) => ({
            cells: Array.from(tr.cells).map((td) => td.textContent),
            current: tr.className === "current",
        })));
        assert.deepEqual(rows.map((r) => r.cells[0]), letters.map((l) => l + ":"));
        for (const row of rows) {
            const letter = row.cells[0][0];
            const stats = fs.statfsSync(host.file(letter));
            assert.equal(row.cells[1], gigabytes(stats.blocks * stats.bsize), `total size of ${letter}:`);
            const free = parseFloat(row.cells[2]);
            // C: lies on this machine's own disk, whose free space moves while tests run.
            const slack = letter === "C" ? 0.5 : 0;
            assert.ok(Math.abs(free - stats.bavail * stats.bsize / 1073741824) <= slack + 0.05,
                `free space of ${letter}: shown ${row.cells[2]}`);
            assert.equal(row.current, letter === "D", `${letter}: marked as the data drive`);
            assert.equal(row.cells[4], letter === "D" ? "当前数据盘" : "迁移到此盘");
        }
        assert.equal(await text(page, "#dataRoot"), "D:/Orbelune");
    });
});

test("检查更新 installs the engine update and shows the versions", async () => {
    await withStartPage("update", {}, async (page, host) => {
        assert.equal(await checkUpdate(page, demo.base + "update/"), "引擎已更新到版本 " + ENGINE_VERSION);
        assert.equal(await text(page, "#serverVersion"), ENGINE_VERSION);
        assert.equal(await text(page, "#localVersion"), ENGINE_VERSION);
        assert.equal(await text(page, "#updateBar", "style.width"), "100%");
        assert.equal(fs.readFileSync(host.file("C", "Orbelune", "Vistaweaver.ver"), "utf8").trim(), ENGINE_VERSION);
        assert.ok(fs.existsSync(host.file("D", "Orbelune", "426", ENGINE)), "the engine installed on D:");
        await screenshot(page, artefacts, "update-installed");

        // A second check reads the installed version back: both versions shown, nothing to do.
        assert.equal(await checkUpdate(page, demo.base + "update/"), "引擎已是最新版本。");
        assert.equal(await text(page, "#localVersion"), ENGINE_VERSION);
        assert.equal(await text(page, "#serverVersion"), ENGINE_VERSION);
    });
});

test("a scene address is downloaded with a moving progress bar and opened in the engine", async () => {
    await withStartPage("scene", { engine: true }, async (page, host) => {
        const widths = await recordWidths(page, "sceneBar");
        const note = await openScene(page, demo.base + "scenes/4096.7z",
            (page) => screenshot(page, artefacts, "scene-downloading"));
        assert.equal(note, "场景已在引擎中打开，场景编号 4096");

        const between = (await widths()).map(parseFloat).filter((w) => w > 0 && w < 100);
        assert.ok(new Set(between).size >= 2, "the bar stood at two or more places on its way: " + between);
        const pak = host.file("D", "Orbelune", "Download", "pak", "4096.pak");
        assert.equal(fs.statSync(pak).size, 4096 * 1024, "the package unpacked whole");

        const log = host.file("D", "Orbelune", "426", ENGINE + ".log");
        await waitUntil(() => fs.existsSync(log) && fs.readFileSync(log, "utf8").includes("\r\n"), 30, "the engine's start record");
        const commandLine = fs.readFileSync(log, "utf8").split("\r\n")[0].split("|")[0];
        assert.equal(commandLine.trimEnd(), "D:/Orbelune//426/" + ENGINE + " -WINDOWED -Web" +
            " -scenePath=D:/Orbelune/Download/pak/scenePath.json -assetDir=D:/Orbelune/Download/pak/");
        const description = fs.readFileSync(host.file("D", "Orbelune", "Download", "pak", "scenePath.json"), "utf8");
        assert.match(description, /"localFilePath" : "D:\/Orbelune\/Download\/pak\/4096\.pak"/);
    });
});

test("a drive move shows its progress bar and then the new data root", async () => {
    await withStartPage("move", { engine: true, sizedDrives: true }, async (page, host) => {
        // Enough files that the move (counted in files) lasts seconds: here some fifteen of the
        // page's polls (one every 500 ms) see it under way, where 1500 files gave one or none.
        const FILES = 6000;
        const bulk = host.file("D", "Orbelune", "426", "bulk");
        fs.mkdirSync(bulk, { recursive: true });
        for (let i = 0; i < FILES; i++) fs.writeFileSync(path.join(bulk, `part${i}.bin`), `part ${i}\n`.repeat(100));

        const widths = await recordWidths(page, "moveBar");
        const note = await moveDataTo(page, "E", (page) => screenshot(page, artefacts, "move-running"));
        assert.equal(note, "迁移完成，引擎目录已在新盘上。");
        assert.equal(await text(page, "#dataRoot"), "E:/Orbelune");
        const between = (await widths()).map(parseFloat).filter((w) => w > 0 && w < 100);
        assert.ok(between.length >= 1, "the bar showed the move under way: " + (await widths()));
        await page.waitForFunction(() => document.querySelector("#driveRows tr.current td").textContent === "E:",
            { timeout: 10000 });

        assert.equal(fs.readFileSync(host.file("C", "Orbelune", "disk.dat"), "utf8"), "E");
        assert.ok(fs.existsSync(host.file("E", "Orbelune", "426", ENGINE)), "the engine on E:");
        assert.ok(!fs.existsSync(host.file("D", "Orbelune", "426", ENGINE)), "the engine gone from D:");
        for (let i = 0; i < FILES; i++)
            assert.equal(fs.readFileSync(host.file("E", "Orbelune", "426", "bulk", `part${i}.bin`), "utf8"),
                `part ${i}\n`.repeat(100));
    });
});

test("全部暂停 stops a download and its partial file stays for the resume", async () => {
    const slow = await startDemoServer(bin, { rate: 64 });
    try {
        let partial;
        let size;
        await withStartPage("pause", { demo: slow }, async (page, host) => {
            const note = await openScene(page, slow.base + "scenes/4096.7z", async (page) => {
                await page.waitForFunction(() => Array.from(document.querySelectorAll("#downloadRows .download"))
                    .some((row) => row.querySelector(".name").textContent === "4096.7z" &&
                        /KB \/ 4\.0 MB$/.test(row.querySelector(".figures").textContent)), { timeout: 60000 });
                await screenshot(page, artefacts, "pause-downloading");
                await page.click("#stopDownloads");
            });
            assert.equal(note, "下载已中断，再次打开会从中断处继续。");
            assert.equal(await page.$eval("#noDownloads", (p) => getComputedStyle(p).display), "block",
                "the download list says there is no download");

            partial = host.file("D", "Orbelune", "Download", "pak", "4096.7z~");
            size = fs.statSync(partial).size;
            assert.ok(size > 0 && size < 4096 * 1024, `a partial file of ${size} bytes`);
            assert.ok(!fs.existsSync(host.file("D", "Orbelune", "Download", "pak", "4096.7z")), "no finished archive");
        });
        // Compared once the host has ended: a download that went on would have written more.
        assert.equal(fs.statSync(partial).size, size, "nothing more written after the pause");
    } finally {
        slow.stop();
    }
});
