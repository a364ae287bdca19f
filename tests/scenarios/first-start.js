// First start without a drive record: the launcher picks the fixed drive with the most
// free space (of the first five), records it in C:/Orbelune/disk.dat, and the page sees
// an idle launcher on it. Where it can, run-scenario makes D: the roomiest drive (tmpfs).
var drives = flow.drives();
var listed = "";
for (var i = 0; i < drives.length; i++) {
    listed += drives[i].letter;
    log(drives[i].root + " total " + drives[i].total + ", free " + drives[i].remain +
        (drives[i].isDataDrive ? "  <- data drive" : ""));
}
checkEqual(listed, "CDE", "fixed drives");
var chosen = flow.dataDrive();
log("data root " + flow.dataRoot());

// The survey at start-up and this one may differ by what other programs wrote meanwhile.
var slack = 0.15;
var mostFree = 0;
for (i = 0; i < drives.length; i++) mostFree = Math.max(mostFree, drives[i].remainGB);
var roomiest = [];
for (i = 0; i < drives.length; i++) {
    if (drives[i].remainGB >= mostFree - slack) roomiest.push(drives[i].letter);
    if (drives[i].letter === chosen)
        check(drives[i].remainGB >= mostFree - slack, "the data drive has the most free space");
}
if (roomiest.length === 1) checkEqual(chosen, roomiest[0], "data drive");
checkEqual(driveRecord(), chosen, "drive record");

checkEqual(flow.downloads().length, 0, "downloads at start");
checkEqual(external.getDownloadingFilenames(), "", "task names at start");
checkEqual(external.getLocalVersion(), "", "installed engine version before a check");
check(!external.isVistaweaverRunning(), "no engine at start");
