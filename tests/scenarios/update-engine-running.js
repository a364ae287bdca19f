// An engine update while the engine runs. At the check the launcher asks the user to end
// the engine and, after a while, whether to keep waiting: "no" means no update. When the
// engine starts during the archive download, the installation asks the same; "no" leaves
// the extracted files waiting and the installed version unchanged, so the next check
// offers the update again.
var engineVersionFile = "C:\\Orbelune\\Vistaweaver.ver";

function startEngine() {
    external.setSavePath(LauncherFlow.PACKAGE_DIR);
    external.setParam("gamedir", "Orbelune/426/Vistaweaver-Win64-Shipping.exe");
    external.setParam("pakdir", LauncherFlow.PACKAGE_DIR);
    external.setParam("clientmode", "1");
    external.addJsonSceneInfo("ue4Version", "4.26");
    external.addJsonSceneInfo("id", "1024");
    external.Init();
    waitFor(function () { return external.isVistaweaverRunning(); }, 30, "the engine to start");
}

// 1. At the check.
startEngine();
var job = flow.updateEngine(demoCatalogue.update);
checkEqual(job.phase, "failed", "check while the engine runs and the user stops waiting");
checkEqual(job.message, LauncherFlow.text.notUpdated, "page message");
checkEqual(external.getVersionUpdateProgress(), -1, "no archive download");
check(external.isVistaweaverRunning(), "the engine still runs");

// clearDownload also ends the engine the launcher started.
external.clearDownload();
waitFor(function () { return !external.isVistaweaverRunning(); }, 30, "the engine to end");

// 2. During the installation.
job = flow.updateEngine(demoCatalogue.update);
checkEqual(job.phase, "downloading", "check with the engine ended");
startEngine();
waitFor(function () { return external.getDownloadingFilenames() === ""; }, 120, "the installation to give up");
check(external.isVistaweaverRunning(), "the engine still runs after the installation gave up");
check(!runner.fileExists(engineVersionFile), "no version installed");
check(runner.fileExists("D:\\Orbelune\\UpdateFiles\\426\\Vistaweaver-Win64-Shipping.exe"),
      "extracted files wait in the extraction directory");
