// The last part of scripts/run: the start page in Chromium driving the real launcher
// through the page host, in a fresh prefix, as a user goes through it: an engine update,
// a scene downloaded and opened in the engine the update installed, a move of the data
// to drive E:. A screenshot of each step goes to OUT_DIR; their names end the output.
//
//     node walkthrough.js OUT_DIR
// Exit status 0 when every step showed the outcome a user expects.
"use strict";

const path = require("node:path");

const { launchBrowser, screenshot } = require("./support/browser");
const { root, startDemoServer, startPageHost } = require("./support/host");
const { checkUpdate, moveDataTo, openScene, openStartPage, text } = require("./support/page");

const bin = process.env.HALCYRA_BIN || path.join(root, "build/win32/bin");
const out = path.resolve(process.argv[2] || path.join(root, "build/run"));

async function main() {
    const shots = [];
    let problems = 0;
    const shoot = async (page, name, what) => {
        const file = await screenshot(page, out, name);
        shots.push(`${file}  (${what})`);
    };
    const expect = (step, shown, wanted) => {
        console.log(`     ${step}: ${shown}`);
        if (shown !== wanted) {
            console.error(`run: ${step}: expected "${wanted}"`);
            problems++;
        }
    };

    const demo = await startDemoServer(bin);
    let host;
    let browser;
    try {
        host = await startPageHost(bin, demo, "run-browser", { sizedDrives: true });
        browser = await launchBrowser({ headless: !process.env.HALCYRA_BROWSER_WINDOW });
        console.log(`     the page host serves the start page from Launcher.exe at ${host.url}`);
        const page = await browser.newPage();
        await openStartPage(page, host);
        await shoot(page, "browser-1-start", "the start page: drives, data root D:/Orbelune");

        expect("检查更新", await checkUpdate(page, demo.base + "update/"), "引擎已更新到版本 2022031800");
        await shoot(page, "browser-2-update", "the engine update installed");

        const opened = await openScene(page, demo.base + "scenes/2048.7z",
            (page) => shoot(page, "browser-3-scene-download", "the scene package downloading"));
        expect("下载并打开 scenes/2048.7z", opened, "场景已在引擎中打开，场景编号 2048");
        await shoot(page, "browser-4-scene-open", "the scene opened in the engine");

        const moved = await moveDataTo(page, "E");
        expect("迁移到此盘 (E)", moved, "迁移完成，引擎目录已在新盘上。");
        expect("数据目录", await text(page, "#dataRoot"), "E:/Orbelune");
        await shoot(page, "browser-5-moved", "the data moved to E:");
        await page.close();
    } finally {
        if (browser) await browser.close();
        const status = host ? await host.close() : 0;
        demo.stop();
        if (status !== 0) {
            console.error(`run: the page host ended with status ${status}:\n${host.output().join("\n")}`);
            problems++;
        }
    }
    const errors = host.output().filter((line) => / error: /.test(line));
    for (const line of errors) console.error("run: the page reported " + line);
    problems += errors.length;
    console.log("     screenshots of the start page driving the launcher:");
    for (const shot of shots) console.log("       " + shot);
    process.exit(problems ? 1 : 0);
}

main().catch((e) => {
    console.error("run: " + (e && e.stack ? e.stack : e));
    process.exit(1);
});
