// A download stopped by clearDownload keeps its partial file and resume record; started
// again it goes on from where it stopped, and the package arrives whole.
var scene = sceneById("4096");
var archive = scene.id + ".7z";
external.setSavePath(LauncherFlow.PACKAGE_DIR);
external.setUnCompressPath(LauncherFlow.PACKAGE_DIR);

checkEqual(external.download(scene.url), 0, "download started");
var before = waitForProgress(archive, 0.2, 60);
external.clearDownload();
checkEqual(external.getDownloadingFilenames(), "", "task table after clearDownload");
checkEqual(external.getDownloadProgress(archive), -1, "progress of the stopped download");
check(runner.fileExists(PACKAGE_DIR_PATH + archive + "~"), "partial file kept");
check(runner.fileExists(PACKAGE_DIR_PATH + archive + "td"), "resume record kept");
check(!external.isFileExist(archive), "no finished file");
var kept = runner.fileSize(PACKAGE_DIR_PATH + archive + "~");
log("stopped with " + LauncherFlow.formatBytes(kept) + " on disk");
check(kept >= before.received && kept < before.total, "partial file holds what arrived");

checkEqual(external.download(scene.url), 0, "download started again");
var resumed = waitForProgress(archive, 0, 30);
log("resumed at " + LauncherFlow.formatBytes(resumed.received));
check(resumed.received >= kept, "the second run goes on from the partial file");
followDownloads(120);
checkEqual(external.getDownloadProgress(archive), 1, "finished");
check(!runner.fileExists(PACKAGE_DIR_PATH + archive + "td"), "resume record gone");
checkEqual(external.getFileMD5(scene.id + ".pak"), scene.version, "package digest after the resume");
