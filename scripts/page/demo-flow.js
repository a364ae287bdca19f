// The catalogue flow that scripts/run shows: what the start page does, step by step,
// against the real launcher code (PageRunner.exe) and the demo catalogue server. Runs
// after launcher-flow.js and the server's catalogue.js. Every step prints what the user
// would see; a step that does not work is reported and the flow goes on, and the script
// fails at the end so that scripts/run says so.

var flow = new LauncherFlow(external);
var failed = [];
var PACKAGES = "Orbelune\\Download\\pak\\";

function step(title) {
    log("");
    log("== " + title);
}

function say(text) {
    log("   " + text);
}

function trouble(what) {
    say("!! " + what);
    failed.push(what);
}

// Polls a flow job to its end, printing its progress as the page's bar would show it.
function follow(job, label, seconds) {
    var last = "";
    for (var i = 0; i < seconds * 5 && !job.done(); i++) {
        job.step();
        var line = label + ": " + job.phase + " " + LauncherFlow.percent(job.progress);
        if (line !== last) say(line);
        last = line;
        if (!job.done()) sleep(200);
    }
    if (!job.done()) trouble(label + ": still " + job.phase + " after " + seconds + " s");
    if (job.message) say(label + ": " + job.message);
    return job;
}

function progressLine(task) {
    if (!task.reported) return task.name + ": waiting for the server";
    return task.name + ": " + LauncherFlow.percent(task.fraction) + "  " + task.speed.toFixed(1) +
        " KB/s  " + LauncherFlow.formatBytes(task.received) + " / " + LauncherFlow.formatBytes(task.total);
}

// Live progress lines of every running download, until none is left.
function followDownloads(seconds) {
    var last = {};
    for (var i = 0; i < seconds * 5; i++) {
        var tasks = flow.downloads();
        if (tasks.length === 0) return;
        for (var t = 0; t < tasks.length; t++) {
            var line = progressLine(tasks[t]);
            if (line !== last[tasks[t].name]) say(line);
            last[tasks[t].name] = line;
        }
        sleep(200);
    }
    trouble("downloads still running after " + seconds + " s");
}

function showDrives() {
    var drives = flow.drives();
    for (var i = 0; i < drives.length; i++)
        say(drives[i].root + "  total " + drives[i].total + "  free " + drives[i].remain +
            (drives[i].isDataDrive ? "   <- data drive" : ""));
    return drives;
}

function dataDir(relative) {
    return flow.dataDrive() + ":\\" + relative;
}

// ---------------------------------------------------------------------------------------

step("Start: the launcher settles its data drive (first start: the roomiest fixed drive)");
say("data root " + flow.dataRoot() + ", drive record C:/Orbelune/disk.dat = " +
    runner.readFile("C:\\Orbelune\\disk.dat"));
showDrives();
var versions = flow.versions();
say("engine installed: " + (versions.local || "(none yet)"));

step("Engine update from " + demoCatalogue.update);
var update = follow(flow.updateEngine(demoCatalogue.update), "Vistaweaver.7z", 120);
versions = flow.versions();
say("installed version " + (versions.local || "(none)") + ", server version " + (versions.server || "(unknown)"));
if (update.phase === "installed") {
    say("installed version file: " + runner.readFile("C:\\Orbelune\\Vistaweaver.ver").replace(/\s+$/, ""));
    say("engine: " + dataDir("Orbelune\\426\\Vistaweaver-Win64-Shipping.exe") +
        (runner.fileExists(dataDir("Orbelune\\426\\Vistaweaver-Win64-Shipping.exe")) ? " (present)" : " (MISSING)"));
    say("prerequisites installer ran: " +
        (runner.readFile(dataDir("Orbelune\\UpdateFiles\\UE4PrereqSetup_x64.exe.log")).replace(/\s+$/, "") || "no"));
    // The launcher reads the installed version at a check, so ask once more.
    var recheck = flow.updateEngine(demoCatalogue.update);
    say("checked again: " + recheck.message + " (installed " + recheck.local + ", server " + recheck.server + ")");
    if (recheck.phase !== "current") trouble("second engine check: " + recheck.phase);
} else {
    trouble("engine update: " + update.phase);
}

step("Downloads: two scene packages at once; a third has to wait");
var a = demoCatalogue.scenes[0], b = demoCatalogue.scenes[1], c = demoCatalogue.scenes[2];
external.setSavePath(LauncherFlow.PACKAGE_DIR);
external.setUnCompressPath(LauncherFlow.PACKAGE_DIR);
say(a.title + ": download() = " + external.download(a.url));
say(b.title + ": download() = " + external.download(b.url));
var third = external.download(c.url);
say(c.title + ": download() = " + third + (third === -3 ? "  -> " + LauncherFlow.text.tableFull : ""));
if (third !== -3) trouble("a third download was not refused");
followDownloads(120);
say("finished: " + a.id + ".7z " + external.getDownloadProgressInfo(a.id + ".7z") + ", " +
    b.id + ".7z " + external.getDownloadProgressInfo(b.id + ".7z"));

step("Version checks of the unpacked packages against the catalogue");
var scenes = [a, b];
for (var i = 0; i < scenes.length; i++) {
    var pak = scenes[i].id + ".pak";
    if (!external.isFileExist(pak)) {
        trouble(pak + " was not unpacked");
        continue;
    }
    var digest = external.getFileMD5(pak);
    say(pak + ": " + LauncherFlow.formatBytes(scenes[i].size) + ", MD5 " + digest +
        (digest === scenes[i].version ? " (matches the catalogue)" : " (DOES NOT MATCH " + scenes[i].version + ")"));
    if (digest !== scenes[i].version) failed.push(pak + " digest");
    external.saveFileVersion(pak, digest);
    say(pak + ": recorded version " + external.queryFileVersion(pak) + ", check " +
        external.checkFileVersion(pak, scenes[i].version));
}

step("Open scene " + a.id + " (" + a.title + "): plan, scene description, engine start");
var opening = follow(flow.openScene(a), "scene " + a.id, 60);
if (opening.phase === "running") {
    say("engine running: " + external.isVistaweaverRunning() + ", scene id " + external.getCurrentOpenSceneID());
    var engineLog = dataDir("Orbelune\\426\\Vistaweaver-Win64-Shipping.exe.log");
    for (i = 0; i < 50 && runner.readFile(engineLog) === ""; i++) sleep(100);
    say("engine command line: " + runner.readFile(engineLog).split("\r\n")[0].split("|")[0]);
    say("scene description " + dataDir(PACKAGES + "scenePath.json") + ":");
    var lines = runner.readFile(dataDir(PACKAGES + "scenePath.json")).split("\n");
    for (i = 0; i < lines.length; i++) if (lines[i] !== "") say("   " + lines[i]);
    say("transmitMaterial (engine forward, F5): " + external.transmitMaterial());
} else {
    trouble("scene " + a.id + ": " + opening.phase);
}

step("Move the engine directories to another drive");
var drives = flow.drives();
var target = null;
for (i = 0; i < drives.length; i++)
    if (!drives[i].isDataDrive && drives[i].letter !== "C") target = drives[i].letter;
if (target === null) {
    trouble("no other drive to move to");
} else {
    var from = flow.dataDrive();
    var move = follow(flow.moveDataTo(target), "move " + from + " -> " + target, 60);
    if (move.phase !== "moved") trouble("drive move: " + move.phase);
    say("data root now " + flow.dataRoot() + ", drive record = " + runner.readFile("C:\\Orbelune\\disk.dat"));
    showDrives();
}

step("Close: the launcher ends its work (downloads, drive move, the engine it started)");
runner.close();
say("engine running: " + external.isVistaweaverRunning() + ", downloads: " + flow.downloads().length);

log("");
if (failed.length > 0) throw new Error(failed.length + " step(s) did not work: " + failed.join("; "));
log("All steps worked.");
