// Two packages download at once and a third is refused; a scene's plan is admitted all
// the same. Both arrive whole and are unpacked; then the third is accepted.
var a = sceneById("1024"), b = sceneById("2048"), c = sceneById("4096");
external.setSavePath(LauncherFlow.PACKAGE_DIR);
external.setUnCompressPath(LauncherFlow.PACKAGE_DIR);

checkEqual(external.download(a.url), 0, "first download");
checkEqual(external.download(b.url), 0, "second download");
checkEqual(external.download(c.url), -3, "third download while two run");
checkEqual(external.downloadAndRename(c.url, "other.7z"), -3, "third one under another name");
checkEqual(external.download(a.url), -3, "a running one again while two run");
checkEqual(external.downloadAndRename(a.planUrl, LauncherFlow.PLAN_FILE), 0, "the plan, admitted regardless");
var names = external.getDownloadingFilenames();
log("downloading: " + names);
check(names.indexOf("1024.7z|2048.7z|") === 0, "both packages in the table, in name order");
checkEqual(external.getDownloadProgress(c.id + ".7z"), -1, "progress of the refused one");

followDownloads(120);
var packages = [a, b];
for (var i = 0; i < packages.length; i++) {
    var archive = packages[i].id + ".7z", pak = packages[i].id + ".pak";
    checkEqual(external.getDownloadProgress(archive), 1, archive + " finished");
    checkEqual(external.getDownloadProgressInfo(archive), "1.0|0|0|0", archive + " finished text");
    check(!runner.fileExists(PACKAGE_DIR_PATH + archive + "~"), archive + ": no partial file left");
    check(external.isFileExist(pak), pak + " unpacked");
    checkEqual(external.getFileMD5(pak), packages[i].version, pak + " digest");
}
check(external.isFileExist(LauncherFlow.PLAN_FILE), "plan downloaded");
check(runner.readFile(PACKAGE_DIR_PATH + LauncherFlow.PLAN_FILE).indexOf('"scene":"1024"') >= 0, "plan text");

// Nothing runs now: the third is accepted.
checkEqual(external.download(c.url), 0, "third download once the others ended");
followDownloads(120);
checkEqual(external.getFileMD5(c.id + ".pak"), c.version, "third package digest");

// A missing file: the server's "not found" leaves nothing behind.
checkEqual(external.download(demoCatalogue.base + "scenes/missing.7z"), 0, "download of a missing file");
followDownloads(30);
check(!external.isFileExist("missing.7z"), "no file for a missing one");
