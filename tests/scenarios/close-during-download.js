// The launcher closed while a download runs: it waits for the worker to stop, nothing is
// left in the task table, and the partial file stays for a later resume.
var scene = sceneById("4096");
var archive = scene.id + ".7z";
external.setSavePath(LauncherFlow.PACKAGE_DIR);
external.setUnCompressPath(LauncherFlow.PACKAGE_DIR);

checkEqual(external.download(scene.url), 0, "download started");
waitForProgress(archive, 0.1, 60);
runner.close();
checkEqual(external.getDownloadingFilenames(), "", "task table after closing");
check(runner.fileExists(PACKAGE_DIR_PATH + archive + "~"), "partial file kept");
check(runner.fileExists(PACKAGE_DIR_PATH + archive + "td"), "resume record kept");
check(!runner.fileExists(PACKAGE_DIR_PATH + archive), "no finished archive");
check(!external.isFileExist(scene.id + ".pak"), "nothing unpacked");
