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
