// No engine installed: the launcher's message box (printed and answered by the runner)
// and the page's own message.
var job = flow.openScene(sceneById("1024"));
follow(job, 120, "scene 1024");
checkEqual(job.phase, "failed", "scene opening without an engine");
checkEqual(job.message, LauncherFlow.text.engineNotStarted, "page message");
check(!external.isVistaweaverRunning(), "no engine");
