// The start page's view: shows what LauncherFlow reports and turns clicks into flow
// calls. Everything that reaches the launcher goes through launcher-flow.js.
(function () {
    var REFRESH_MS = 500;
    var DRIVE_REFRESH_TICKS = 10;  // the drive survey blocks the page ~10 ms per drive

    var TEXT = {
        currentDrive: "当前数据盘",
        moveHere: "迁移到此盘",
        moving: "正在迁移引擎目录到 ",
        sizeUnknown: "未知",
        noBridge: "此页面需要在启动器中打开。",
        waiting: "等待服务器响应……",
        sceneDownload: "正在下载场景包 ",
        sceneOpened: "场景已在引擎中打开，场景编号 "
    };

    var flow = new LauncherFlow(window.external);
    var moveJob = null;
    var updateJob = null;
    var sceneJob = null;
    var ticks = 0;

    function $(id) {
        return document.getElementById(id);
    }

    function setText(id, value) {
        $(id).textContent = value;
    }

    function element(tag, className, content) {
        var node = document.createElement(tag);
        if (className) node.className = className;
        if (content !== undefined) node.textContent = content;
        return node;
    }

    function bar(fraction, className) {
        var outer = element("div", "bar");
        var fill = element("div", "fill" + (className ? " " + className : ""));
        fill.style.width = Math.max(0, Math.min(1, fraction)) * 100 + "%";
        outer.appendChild(fill);
        return outer;
    }

    function showJob(prefix, job, note) {
        var failed = job.phase === "failed";
        $(prefix + "Job").className = "job shown";
        $(prefix + "Bar").style.width = (failed ? 100 : Math.max(0, job.progress) * 100) + "%";
        $(prefix + "Bar").className = "fill" + (failed ? " failed" : "");
        $(prefix + "Note").className = "note" + (failed ? " failed" : "");
        setText(prefix + "Note", note);
    }

    function renderDrives() {
        var rows = $("driveRows");
        while (rows.firstChild) rows.removeChild(rows.firstChild);
        var drives = flow.drives();
        for (var i = 0; i < drives.length; i++) {
            var drive = drives[i];
            var row = element("tr", drive.isDataDrive ? "current" : "");
            row.appendChild(element("td", "", drive.letter + ":"));
            row.appendChild(element("td", "", drive.total || TEXT.sizeUnknown));
            row.appendChild(element("td", "", drive.remain || TEXT.sizeUnknown));
            var usage = element("td", "usage");
            var used = drive.totalGB > 0 ? 1 - drive.remainGB / drive.totalGB : 0;
            usage.appendChild(bar(used, "used"));
            row.appendChild(usage);
            var cell = element("td");
            var button = element("button", "", drive.isDataDrive ? TEXT.currentDrive : TEXT.moveHere);
            button.type = "button";
            button.disabled = drive.isDataDrive || (moveJob !== null && !moveJob.done());
            button.onclick = moveHandler(drive.letter);
            cell.appendChild(button);
            row.appendChild(cell);
            rows.appendChild(row);
        }
    }

    function moveHandler(letter) {
        return function () {
            moveJob = flow.moveDataTo(letter);
            if (moveJob) showJob("move", moveJob, TEXT.moving + letter + ":");
            renderDrives();
        };
    }

    function renderDownloads() {
        var list = $("downloadRows");
        while (list.firstChild) list.removeChild(list.firstChild);
        var tasks = flow.downloads();
        for (var i = 0; i < tasks.length; i++) {
            var task = tasks[i];
            var row = element("div", "download");
            row.appendChild(element("span", "name", task.name));
            row.appendChild(bar(task.fraction));
            var figures = !task.reported ? TEXT.waiting :
                LauncherFlow.percent(task.fraction) + " · " + task.speed.toFixed(1) + " KB/s · " +
                LauncherFlow.formatBytes(task.received) + " / " + LauncherFlow.formatBytes(task.total);
            row.appendChild(element("span", "figures", figures));
            list.appendChild(row);
        }
        $("noDownloads").style.display = tasks.length ? "none" : "block";
    }

    function renderVersions() {
        var versions = flow.versions();
        // The launcher reads the installed version during a check: once this page's update
        // is installed, the installed version is the one it brought.
        var installed = updateJob && updateJob.phase === "installed" ? updateJob.server : versions.local;
        setText("localVersion", installed || "—");
        setText("serverVersion", versions.server || "—");
    }

    function stepJobs() {
        if (moveJob && !moveJob.done()) {
            moveJob.step();
            showJob("move", moveJob, moveJob.done() ? moveJob.message :
                TEXT.moving + moveJob.to + ":  " + LauncherFlow.percent(moveJob.progress));
            if (moveJob.done()) {
                setText("dataRoot", flow.dataRoot());
                renderDrives();
            }
        }
        if (updateJob && !updateJob.done()) {
            updateJob.step();
            showJob("update", updateJob, updateJob.done() ? updateJob.message :
                updateJob.message + "  " + LauncherFlow.percent(updateJob.progress));
        }
        if (sceneJob && !sceneJob.done()) {
            sceneJob.step();
            showJob("scene", sceneJob, sceneJob.message ||
                (sceneJob.phase === "running" ? TEXT.sceneOpened + sceneJob.sceneId :
                 TEXT.sceneDownload + sceneJob.archiveName + "  " + LauncherFlow.percent(sceneJob.progress)));
        }
    }

    function refresh() {
        try {
            stepJobs();
            renderDownloads();
            renderVersions();
            if (++ticks % DRIVE_REFRESH_TICKS === 0) renderDrives();
        } finally {
            window.setTimeout(refresh, REFRESH_MS);
        }
    }

    function wire() {
        $("stopDownloads").onclick = function () {
            flow.stopDownloads();
            renderDownloads();
        };
        $("openDownloadDir").onclick = function () {
            window.external.openDownloadDir();
        };
        $("checkUpdate").onclick = function () {
            updateJob = flow.updateEngine($("updateAddress").value);
            showJob("update", updateJob, updateJob.message);
            renderVersions();
        };
        $("openScene").onclick = function () {
            sceneJob = flow.openAddress($("sceneAddress").value);
            showJob("scene", sceneJob, sceneJob.message);
        };
        // ButtonOK and ButtonCancel are handled by the launcher itself: they end it.
    }

    // Outside the launcher the browser's own external object lacks the bridge methods.
    function hasBridge() {
        try {
            return typeof window.external.getCurrentDownloadDir !== "undefined";
        } catch (e) {
            return false;
        }
    }

    function start() {
        if (!hasBridge()) {
            setText("dataRoot", TEXT.noBridge);
            return;
        }
        wire();
        setText("dataRoot", flow.dataRoot());
        renderDrives();
        refresh();
    }

    start();
})();
