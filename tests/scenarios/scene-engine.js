// A scene described through the bridge and the engine stand-in started on it: the
// command line the engine gets, buf.txt, the scene description, the queries, F5, and
// the engine ended when the launcher closes.
var scene = sceneById("1024");
var engineLog = "D:\\Orbelune\\426\\Vistaweaver-Win64-Shipping.exe.log";

check(!external.isVistaweaverRunning(), "no engine before Init");
checkEqual(external.getCurrentOpenSceneID(), 0, "scene id without an engine");

external.setSavePath(LauncherFlow.PACKAGE_DIR);
external.setParam("gamedir", "Orbelune/426/Vistaweaver-Win64-Shipping.exe");
external.setParam("pakdir", LauncherFlow.PACKAGE_DIR);
external.setParam("clientmode", "1");
external.setParam("param", "-lang=zh");
external.addJson("title", scene.title);
external.addJsonBody("localFilePath", scene.id + ".pak");
external.addJsonSceneInfo("ue4Version", scene.ue4Version);
external.addJsonSceneInfo("ue4Name", scene.id + ".pak");
external.addJsonSceneInfo("id", scene.id);
external.addJsonSceneStyles("wall", "white");
external.Init();

var expected = "D:/Orbelune//426/Vistaweaver-Win64-Shipping.exe -WINDOWED -Web" +
    " -scenePath=D:/Orbelune/Download/pak/scenePath.json" +
    " -assetDir=D:/Orbelune/Download/pak/ -lang=zh";
waitFor(function () { return runner.readFile(engineLog) !== ""; }, 30, "the engine's start record");
var started = runner.readFile(engineLog).split("\r\n")[0];
log("engine started: " + started);
checkEqual(started.split("|")[0], expected, "engine command line");
checkEqual(started.split("|")[1].replace(/\\/g, "/").replace(/\/+$/, "").toUpperCase(),
           "D:/ORBELUNE/426", "engine's current directory");
checkEqual(runner.readFile("D:\\Orbelune\\Download\\pak\\buf.txt"), expected, "buf.txt");

var description = runner.readFile("D:\\Orbelune\\Download\\pak\\scenePath.json");
log(description);
check(description.indexOf('"title" : "' + scene.title + '"') >= 0, "title in the scene description");
check(description.indexOf('"localFilePath" : "D:/Orbelune/Download/pak/1024.pak"') >= 0, "package in the scene description");
check(description.indexOf('"wall" : "white"') >= 0, "style in the scene description");

check(external.isVistaweaverRunning(), "engine running");
checkEqual(external.getCurrentOpenSceneID(), 1024, "open scene id");
check(external.transmitMaterial(), "transmitMaterial finds the engine");
waitFor(function () { return runner.readFile(engineLog).indexOf("\r\nF5") >= 0; }, 30, "F5 at the engine");

// Closing the launcher ends the engine it started.
runner.close();
waitFor(function () { return !external.isVistaweaverRunning(); }, 30, "the engine to end");
checkEqual(external.getCurrentOpenSceneID(), 0, "scene id after the engine ended");
