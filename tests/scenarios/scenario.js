// Shared by the end-to-end scenarios, which PageRunner.exe runs after launcher-flow.js and
// before the demo server's catalogue.js and the scenario itself. A failed check throws,
// so the runner reports the scenario's line and exits non-zero.

var flow = new LauncherFlow(external);

function fail(message) {
    throw new Error(message);
}

function check(condition, what) {
    if (!condition) fail("not so: " + what);
}

function checkEqual(actual, expected, what) {
    if (actual !== expected)
        fail(what + ": expected [" + expected + "], got [" + actual + "]");
}

// Polls until predicate() is true; fails after the given seconds.
function waitFor(predicate, seconds, what) {
    var polls = seconds * 10;
    for (var i = 0; i < polls; i++) {
        if (predicate()) return;
        sleep(100);
    }
    fail("timed out after " + seconds + " s waiting for " + what);
}

// Steps a flow job (download, drive move, update) until it is done, logging its progress.
function follow(job, seconds, label) {
    var last = "";
    waitFor(function () {
        job.step();
        var line = label + ": " + job.phase + " " + LauncherFlow.percent(job.progress);
        if (line !== last) log(line);
        last = line;
        return job.done();
    }, seconds, label);
    if (job.message) log(label + ": " + job.message);
    return job;
}

function sceneById(id) {
    for (var i = 0; i < demoCatalogue.scenes.length; i++)
        if (demoCatalogue.scenes[i].id === id) return demoCatalogue.scenes[i];
    fail("no scene " + id + " in the catalogue");
}

// The drive record as the launcher keeps it.
function driveRecord() {
    return runner.readFile("C:\\Orbelune\\disk.dat");
}

var PACKAGE_DIR_PATH = "D:\\Orbelune\\Download\\pak\\";

// One progress line of a running download, as the start page shows it.
function progressLine(name) {
    var p = LauncherFlow.parseProgress(external.getDownloadProgressInfo(name));
    if (!p.reported) return name + ": waiting";
    return name + ": " + LauncherFlow.percent(p.fraction) + "  " + p.speed.toFixed(1) + " KB/s  " +
        LauncherFlow.formatBytes(p.received) + " / " + LauncherFlow.formatBytes(p.total);
}

// Logs the progress of the running tasks until none is left.
function followDownloads(seconds) {
    var last = {};
    waitFor(function () {
        var tasks = flow.downloads();
        for (var i = 0; i < tasks.length; i++) {
            var line = progressLine(tasks[i].name);
            if (line !== last[tasks[i].name]) log(line);
            last[tasks[i].name] = line;
        }
        return tasks.length === 0;
    }, seconds, "the downloads to end");
}

// Waits until a running task has reported at least this fraction; gives its progress.
function waitForProgress(name, fraction, seconds) {
    var p = null;
    waitFor(function () {
        p = LauncherFlow.parseProgress(external.getDownloadProgressInfo(name));
        return p.reported && p.fraction >= fraction;
    }, seconds, name + " at " + LauncherFlow.percent(fraction));
    log(progressLine(name));
    return p;
}
