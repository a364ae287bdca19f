// The start page's scene opening (launcher-flow.js) against the real bridge: the package
// is downloaded, unpacked, checked against the catalogue and recorded, the plan fetched,
// the scene described and the engine started; opened again, nothing is downloaded.
var scene = sceneById("2048");
var job = follow(flow.openScene(scene), 120, "scene " + scene.id);
checkEqual(job.phase, "running", "scene opening");
checkEqual(job.sceneId, 2048, "open scene id");
checkEqual(external.queryFileVersion(scene.id + ".pak"), scene.version, "recorded package version");

var description = runner.readFile(PACKAGE_DIR_PATH + "scenePath.json");
log(description);
check(description.indexOf('"planPath" : "' + flow.dataRoot() + '/Download/pak/planPath.json"') >= 0,
      "plan in the scene description");
check(description.indexOf('"id" : "2048"') >= 0, "scene id in the scene description");
check(runner.readFile(PACKAGE_DIR_PATH + "planPath.json").indexOf('"scene":"2048"') >= 0, "the scene's own plan");

// A second opening finds the package current and goes straight to the engine.
var again = flow.openScene(scene);
checkEqual(again.phase, "opening", "second opening skips the download");
check(external.getDownloadingFilenames().indexOf(scene.id + ".7z") < 0, "no archive download the second time");
follow(again, 60, "scene " + scene.id + " again");
checkEqual(again.phase, "running", "second opening");

// The address field: a package address the page cannot use is refused before any call.
checkEqual(flow.openAddress("http://127.0.0.1/scenes/readme.txt").message, LauncherFlow.text.badAddress,
           "an address that is no package");
