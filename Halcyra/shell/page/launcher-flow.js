// The start page's logic: everything that talks to the launcher through its script
// bridge and nothing that touches a document, so that it runs unchanged in the browser
// control and in the page runner. Long work (downloads, a drive move, an engine update,
// opening a scene) is a job object: the caller polls job.step() until job.done(), with a
// timer in the page and with sleep() in the runner.
//
// Only ECMAScript 3: the runner's script engine has no JSON, no Array.prototype.indexOf
// or forEach, no String.prototype.trim, and refuses trailing commas.

var LauncherFlow = (function () {
    var PACKAGE_DIR = "Orbelune/Download/pak";
    var PLAN_FILE = "planPath.json";
    var ENGINE_EXE = "Vistaweaver-Win64-Shipping.exe";
    var DEFAULT_ENGINE_VERSION = "4.26";
    var FINISHED = 1.0;
    var FAILED = -1.0;

    var TEXT = {
        tableFull: "已有两个下载在进行，请等其中一个完成后再试。",
        emptyAddress: "请填写场景包地址。",
        badAddress: "场景包地址应以 .7z 结尾，文件名（不含扩展名）不超过 11 个字符。",
        downloadStopped: "下载已中断，再次打开会从中断处继续。",
        notExtracted: "场景包已下载，但解压后没有找到 ",
        checksumWrong: "场景包校验失败（MD5 与目录不符），请重新下载。",
        engineNotStarted: "引擎没有启动，请先检查或更新引擎。",
        sameDrive: "数据已在该盘上。",
        moveFailed: "迁移失败：有文件无法复制到目标盘，数据仍保留在原来的盘上。",
        moveDone: "迁移完成，引擎目录已在新盘上。",
        updateStarted: "正在下载引擎更新……",
        updateInstalled: "引擎已更新到版本 ",
        updateFailed: "引擎更新下载失败，请稍后重试。",
        upToDate: "引擎已是最新版本。",
        noServerVersion: "无法读取服务器上的引擎版本。",
        notUpdated: "引擎未更新（服务器版本过旧，或引擎仍在运行）。",
        emptyUpdateAddress: "请填写更新服务器地址。"
    };

    function text(value) {
        return value === undefined || value === null ? "" : String(value);
    }

    function endsWith(value, suffix) {
        return value.length >= suffix.length &&
            value.substring(value.length - suffix.length) === suffix;
    }

    function trim(value) {
        return text(value).replace(/^\s+|\s+$/g, "");
    }

    // "C:\Total=237.9GB,Remain=58.3GB;D:\," -> one record per fixed drive; a drive whose
    // size query failed has empty size texts.
    function parseDiskInfo(info) {
        var drives = [];
        var entries = text(info).split(";");
        for (var i = 0; i < entries.length; i++) {
            var entry = entries[i];
            if (entry.length < 3) continue;
            var sizes = entry.substring(3).split(",");
            var total = sizes[0].replace(/^Total=/, "");
            var remain = (sizes.length > 1 ? sizes[1] : "").replace(/^Remain=/, "");
            drives.push({
                letter: entry.charAt(0),
                root: entry.substring(0, 3),
                total: total,
                remain: remain,
                totalGB: parseFloat(total),
                remainGB: parseFloat(remain)
            });
        }
        return drives;
    }

    // A 32-bit count printed as signed by the launcher: read it back as unsigned.
    function unsignedCount(field) {
        var value = parseInt(field, 10);
        if (isNaN(value)) return 0;
        return value < 0 ? value + 4294967296 : value;
    }

    // "0.45|120.50|123456|999999" (fraction, KiB/s, received, total) -> record; the empty
    // text of a task that has not reported yet gives zeros.
    function parseProgress(info) {
        var fields = text(info).split("|");
        return {
            reported: fields.length === 4,
            fraction: fields.length === 4 ? parseFloat(fields[0]) : 0,
            speed: fields.length === 4 ? parseFloat(fields[1]) : 0,
            received: fields.length === 4 ? unsignedCount(fields[2]) : 0,
            total: fields.length === 4 ? unsignedCount(fields[3]) : 0
        };
    }

    function formatBytes(count) {
        if (count >= 1073741824) return (count / 1073741824).toFixed(2) + " GB";
        if (count >= 1048576) return (count / 1048576).toFixed(1) + " MB";
        if (count >= 1024) return (count / 1024).toFixed(1) + " KB";
        return count + " B";
    }

    function percent(fraction) {
        return Math.round(fraction * 100) + "%";
    }

    // ".../scenes/1024.7z" -> the scene 1024 with its plan at ".../scenes/1024/planPath.json".
    // Package names must pass the launcher's version rule: at most 15 bytes with ".pak".
    function sceneFromAddress(address) {
        var url = trim(address);
        if (url === "") return { error: TEXT.emptyAddress };
        var slash = Math.max(url.lastIndexOf("/"), url.lastIndexOf("\\"));
        var file = url.substring(slash + 1);
        if (!endsWith(file, ".7z")) return { error: TEXT.badAddress };
        var id = file.substring(0, file.length - 3);
        if (id === "" || id.length > 11) return { error: TEXT.badAddress };
        return {
            id: id,
            url: url,
            planUrl: url.substring(0, slash + 1) + id + "/" + PLAN_FILE,
            ue4Version: DEFAULT_ENGINE_VERSION
        };
    }

    // ---- jobs ---------------------------------------------------------------------

    function finish(job, phase, message) {
        job.phase = phase;
        job.message = message;
        return job;
    }

    // A job refused before it started.
    function Refusal(message) {
        finish(this, "failed", message);
        this.progress = 0;
    }
    Refusal.prototype.done = function () { return true; };
    Refusal.prototype.step = function () { return this; };

    // Downloads (when needed), checks and opens one scene package, then starts the engine
    // on it. scene: { id, url, planUrl?, version? (the package's MD5, 32 hex digits),
    // ue4Version?, title?, param?, styles? }.
    function SceneOpening(bridge, scene) {
        this.bridge = bridge;
        this.scene = scene;
        this.pakName = scene.id + ".pak";
        this.archiveName = scene.id + ".7z";
        this.phase = "checking";
        this.progress = 0;
        this.detail = null;
        this.message = "";
        this.sceneId = 0;
        this.begin();
    }

    SceneOpening.prototype.done = function () {
        return this.phase === "running" || this.phase === "failed";
    };

    SceneOpening.prototype.begin = function () {
        var b = this.bridge;
        b.setSavePath(PACKAGE_DIR);
        b.setUnCompressPath(PACKAGE_DIR);
        if (this.scene.planUrl) {
            // A plan belongs to one scene: never reuse another scene's.
            b.deleteFile(PLAN_FILE);
            b.downloadAndRename(this.scene.planUrl, PLAN_FILE);
        }
        if (this.hasCurrentPackage()) {
            this.phase = "opening";
            return;
        }
        // A finished archive on disk would read as "downloaded" at once.
        b.deleteFile(this.archiveName);
        var started = b.downloadAndRename(this.scene.url, this.archiveName);
        if (started === -3) return finish(this, "failed", TEXT.tableFull);
        if (started !== 0 && started !== -4) return finish(this, "failed", TEXT.downloadStopped);
        this.phase = "downloading";
    };

    SceneOpening.prototype.hasCurrentPackage = function () {
        var b = this.bridge;
        if (!b.isFileExist(this.pakName)) return false;
        if (this.scene.version) return b.checkFileVersion(this.pakName, this.scene.version);
        return text(b.queryFileVersion(this.pakName)) !== "";
    };

    SceneOpening.prototype.step = function () {
        if (this.phase === "downloading") this.followDownload();
        if (this.phase === "opening") this.open();
        return this;
    };

    SceneOpening.prototype.followDownload = function () {
        var b = this.bridge;
        var fraction = b.getDownloadProgress(this.archiveName);
        if (fraction === FAILED) return finish(this, "failed", TEXT.downloadStopped);
        this.detail = parseProgress(b.getDownloadProgressInfo(this.archiveName));
        this.progress = fraction;
        if (fraction < FINISHED) return;
        // The archive is unpacked before its task ends, so the package is there now.
        if (!b.isFileExist(this.pakName))
            return finish(this, "failed", TEXT.notExtracted + this.pakName);
        var digest = text(b.getFileMD5(this.pakName));
        if (this.scene.version && digest !== this.scene.version)
            return finish(this, "failed", TEXT.checksumWrong);
        b.saveFileVersion(this.pakName, this.scene.version || digest);
        this.phase = "opening";
    };

    // true: the plan is there; false: there is none; null: it is still coming.
    SceneOpening.prototype.planReady = function () {
        if (!this.scene.planUrl) return false;
        var fraction = this.bridge.getDownloadProgress(PLAN_FILE);
        if (fraction >= 0 && fraction < FINISHED) return null;
        return fraction === FINISHED;
    };

    SceneOpening.prototype.open = function () {
        var plan = this.planReady();
        if (plan === null) return;
        var b = this.bridge;
        var scene = this.scene;
        var version = scene.ue4Version || DEFAULT_ENGINE_VERSION;
        var compact = version.charAt(0) + version.substring(2);
        b.setParam("gamedir", "Orbelune/" + compact + "/" + ENGINE_EXE);
        b.setParam("pakdir", PACKAGE_DIR);
        b.setParam("clientmode", "1");
        if (scene.param) b.setParam("param", scene.param);
        if (scene.title) b.addJson("title", scene.title);
        b.addJson("version", text(b.queryFileVersion(this.pakName)));
        b.addJsonBody("localFilePath", this.pakName);
        if (plan) b.addJsonBody("planPath", PLAN_FILE);
        b.addJsonSceneInfo("ue4Version", version);
        b.addJsonSceneInfo("ue4Name", this.pakName);
        b.addJsonSceneInfo("id", scene.id);
        if (scene.styles) {
            for (var key in scene.styles) b.addJsonSceneStyles(key, text(scene.styles[key]));
        }
        b.Init();
        if (!b.isVistaweaverRunning()) return finish(this, "failed", TEXT.engineNotStarted);
        this.progress = 1;
        this.sceneId = b.getCurrentOpenSceneID();
        finish(this, "running", "");
    };

    // Moves the engine directories to another drive.
    function DriveMove(bridge, from, to) {
        this.bridge = bridge;
        this.from = from;
        this.to = to;
        this.phase = "moving";
        this.progress = 0;
        this.message = "";
        // Lets the launcher forget a move that ended unpolled, so this one is accepted.
        bridge.getChangeDiskProgress();
        bridge.changeDisk(to);
    }

    DriveMove.prototype.done = function () {
        return this.phase !== "moving";
    };

    DriveMove.prototype.step = function () {
        if (this.done()) return this;
        var progress = this.bridge.getChangeDiskProgress();
        if (progress === FAILED) return finish(this, "failed", TEXT.moveFailed);
        this.progress = progress;
        if (progress >= FINISHED) finish(this, "moved", TEXT.moveDone);
        return this;
    };

    // Checks the update server and follows the engine archive until it is installed.
    function EngineUpdate(bridge, baseUrl) {
        this.bridge = bridge;
        this.phase = "checking";
        this.progress = 0;
        this.message = "";
        var base = trim(baseUrl);
        if (base === "") {
            finish(this, "failed", TEXT.emptyUpdateAddress);
            return;
        }
        if (!endsWith(base, "/")) base += "/";
        var started = bridge.versionCheckAndUpdate(base);
        this.local = text(bridge.getLocalVersion());
        this.server = text(bridge.getServerVersion());
        if (started) {
            finish(this, "downloading", TEXT.updateStarted);
        } else if (this.server === "") {
            finish(this, "failed", TEXT.noServerVersion);
        } else if (this.server === this.local) {
            finish(this, "current", TEXT.upToDate);
        } else {
            finish(this, "failed", TEXT.notUpdated);
        }
    }

    EngineUpdate.prototype.done = function () {
        return this.phase !== "downloading";
    };

    EngineUpdate.prototype.step = function () {
        if (this.done()) return this;
        // The archive is installed before its task ends: 1.0 means installed.
        var progress = this.bridge.getVersionUpdateProgress();
        if (progress === FAILED) return finish(this, "failed", TEXT.updateFailed);
        this.progress = progress;
        if (progress >= FINISHED) finish(this, "installed", TEXT.updateInstalled + this.server);
        return this;
    };

    // ---- the launcher as the page sees it -------------------------------------------

    function Flow(bridge) {
        this.bridge = bridge;
    }

    // "D:/Orbelune"
    Flow.prototype.dataRoot = function () {
        return text(this.bridge.getCurrentDownloadDir());
    };

    Flow.prototype.dataDrive = function () {
        return this.dataRoot().charAt(0);
    };

    Flow.prototype.drives = function () {
        var drives = parseDiskInfo(this.bridge.webGetDiskInfo());
        var current = this.dataDrive();
        for (var i = 0; i < drives.length; i++) drives[i].isDataDrive = drives[i].letter === current;
        return drives;
    };

    // The download tasks in progress, in the launcher's order.
    Flow.prototype.downloads = function () {
        var names = text(this.bridge.getDownloadingFilenames()).split("|");
        var tasks = [];
        for (var i = 0; i < names.length; i++) {
            if (names[i] === "") continue;
            var task = parseProgress(this.bridge.getDownloadProgressInfo(names[i]));
            task.name = names[i];
            tasks.push(task);
        }
        return tasks;
    };

    Flow.prototype.versions = function () {
        return {
            local: text(this.bridge.getLocalVersion()),
            server: text(this.bridge.getServerVersion())
        };
    };

    Flow.prototype.openScene = function (scene) {
        if (scene.error) return new Refusal(scene.error);
        return new SceneOpening(this.bridge, scene);
    };

    Flow.prototype.openAddress = function (address) {
        return this.openScene(sceneFromAddress(address));
    };

    // null when the data is on that drive already.
    Flow.prototype.moveDataTo = function (letter) {
        var from = this.dataDrive();
        if (letter === from) return null;
        return new DriveMove(this.bridge, from, letter);
    };

    Flow.prototype.updateEngine = function (baseUrl) {
        return new EngineUpdate(this.bridge, baseUrl);
    };

    // Stops every download; unfinished ones resume when they are started again.
    Flow.prototype.stopDownloads = function () {
        this.bridge.clearDownload();
    };

    Flow.parseDiskInfo = parseDiskInfo;
    Flow.parseProgress = parseProgress;
    Flow.sceneFromAddress = sceneFromAddress;
    Flow.formatBytes = formatBytes;
    Flow.percent = percent;
    Flow.text = TEXT;
    Flow.PACKAGE_DIR = PACKAGE_DIR;
    Flow.PLAN_FILE = PLAN_FILE;
    return Flow;
})();
