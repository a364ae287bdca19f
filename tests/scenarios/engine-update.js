// An engine update from the demo server on a machine without an engine: the version file,
// the archive with live progress, the installation (engine into the data root, the rest
// into C:/Orbelune, the prerequisites installer run once), the installed version file;
// a second check finds the engine current.
var ENGINE = "D:\\Orbelune\\426\\Vistaweaver-Win64-Shipping.exe";
checkEqual(external.getLocalVersion(), "", "installed version before a check");

var job = flow.updateEngine(demoCatalogue.update);
checkEqual(job.phase, "downloading", "first check starts the download (" + job.message + ")");
checkEqual(external.getServerVersion(), demoCatalogue.engineVersion, "server version");
checkEqual(external.getLocalVersion(), "", "nothing installed yet");
follow(job, 120, "Vistaweaver.7z");
checkEqual(job.phase, "installed", "update result");

checkEqual(runner.readFile("C:\\Orbelune\\Vistaweaver.ver").replace(/\s+$/, ""), demoCatalogue.engineVersion,
           "installed version file");
check(runner.fileExists(ENGINE), "engine installed in the data root");
check(runner.fileExists("C:\\Orbelune\\UE4PrereqSetup_x64.exe"), "prerequisites installer in C:/Orbelune");
check(runner.fileExists("C:\\Orbelune\\readme.txt"), "other files in C:/Orbelune");
var prereq = runner.readFile("D:\\Orbelune\\UpdateFiles\\UE4PrereqSetup_x64.exe.log");
log("prerequisites installer: " + prereq);
check(prereq.indexOf("/install /passive /quiet /norestart") >= 0, "prerequisites installer run on a first installation");
check(!runner.fileExists("D:\\Orbelune\\UpdateFiles\\426\\Vistaweaver-Win64-Shipping.exe"),
      "installed files leave the extraction directory");
// The installation does not change what the launcher read at the check.
checkEqual(external.getLocalVersion(), "", "installed version until the next check");

var again = flow.updateEngine(demoCatalogue.update);
checkEqual(again.phase, "current", "second check (" + again.message + ")");
checkEqual(external.getLocalVersion(), demoCatalogue.engineVersion, "installed version at the second check");
