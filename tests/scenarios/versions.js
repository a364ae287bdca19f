// A package's version is recorded, checked and queried through the version table.
var scene = sceneById("1024");
var pak = scene.id + ".pak";
external.setSavePath(LauncherFlow.PACKAGE_DIR);
external.setUnCompressPath(LauncherFlow.PACKAGE_DIR);

check(!external.checkFileVersion(pak, scene.version), "check before the package is there");
checkEqual(external.download(scene.url), 0, "download started");
followDownloads(120);
check(external.isFileExist(pak), "package unpacked");
var digest = external.getFileMD5(pak);
checkEqual(digest, scene.version, "package digest");
// A package without a record takes the version it is checked with.
checkEqual(external.queryFileVersion(pak), "", "version before any record");
check(external.checkFileVersion(pak, digest), "first check records the version");
checkEqual(external.queryFileVersion(pak), scene.version, "recorded version");
checkEqual(external.queryFileVersion(pak.toUpperCase()), scene.version, "query ignores letter case");
check(external.checkFileVersion(pak, scene.version), "check with the recorded version");
check(!external.checkFileVersion(pak, sceneById("2048").version), "check with another version");

var table = runner.readFile(PACKAGE_DIR_PATH + "version.tab");
log(table);
check(table.indexOf("filename") === 0, "version.tab starts with its header");
check(table.indexOf(pak) > 0 && table.indexOf(scene.version) > 0, "record in version.tab");

// A newer package: its record is replaced, not added to.
var newer = "0123456789ABCDEF0123456789ABCDEF";
external.saveFileVersion(pak, newer);
checkEqual(external.queryFileVersion(pak), newer, "version after a second record");
check(external.checkFileVersion(pak, newer), "check with the new version");
check(runner.readFile(PACKAGE_DIR_PATH + "version.tab").indexOf(scene.version) < 0, "old version gone");
// Names the table refuses: too long for a package name, or not a package.
check(!external.checkFileVersion("scene-000001.pak", newer), "a name of 16 bytes is refused");
check(!external.checkFileVersion(scene.id + ".7z", newer), "an archive is not a package");
