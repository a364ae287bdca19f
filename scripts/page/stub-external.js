// Answers like the launcher's script bridge, for looking at the start page in an
// ordinary browser: three fixed drives, two downloads and a plan file in progress,
// installed and server engine versions. It then presses the page's buttons so that the
// drive move, the engine update and the scene opening show their progress too.
(function () {
    var calls = 0;
    var movePolls = 0;
    var updatePolls = 0;
    var tasks = [
        { name: "1024.7z", total: 157286400, start: 0.62, speed: 812.40 },
        { name: "2048.7z", total: 94371840, start: 0.18, speed: 455.25 },
        { name: "planPath.json", total: 4096, start: 0, speed: 0 }
    ];

    function task(name) {
        for (var i = 0; i < tasks.length; i++) if (tasks[i].name === name) return tasks[i];
        return null;
    }

    function progressInfo(t) {
        var fraction = Math.min(0.99, t.start + calls * 0.0004);
        return fraction.toFixed(2) + "|" + t.speed.toFixed(2) + "|" +
            Math.floor(fraction * t.total) + "|" + t.total;
    }

    window.external = {
        getCurrentDownloadDir: function () { return "D:/Orbelune"; },
        webGetDiskInfo: function () {
            return "C:\\Total=237.9GB,Remain=58.3GB;D:\\Total=931.5GB,Remain=800.0GB;" +
                "E:\\Total=465.8GB,Remain=120.4GB";
        },
        getDownloadingFilenames: function () {
            calls++;
            var names = "";
            for (var i = 0; i < tasks.length; i++) names += tasks[i].name + "|";
            return names;
        },
        getDownloadProgressInfo: function (name) {
            var t = task(name);
            return t ? (t.start || t.speed ? progressInfo(t) : "") : "";
        },
        getDownloadProgress: function (name) {
            var t = task(name);
            return t ? parseFloat(progressInfo(t)) : -1;
        },
        getLocalVersion: function () { return "2021101500"; },
        getServerVersion: function () { return updatePolls ? "2022031800" : ""; },
        versionCheckAndUpdate: function () { updatePolls = 1; return true; },
        getVersionUpdateProgress: function () { return Math.min(0.99, 0.3 + 0.01 * updatePolls++); },
        changeDisk: function () { movePolls = 1; },
        getChangeDiskProgress: function () { return movePolls ? Math.min(0.75, 0.25 * movePolls++) : 0; },
        clearDownload: function () {},
        openDownloadDir: function () {},
        setSavePath: function () {},
        setUnCompressPath: function () {},
        deleteFile: function () {},
        downloadAndRename: function () { return 0; },
        isFileExist: function () { return false; },
        queryFileVersion: function () { return ""; },
        checkFileVersion: function () { return false; }
    };

    window.addEventListener("load", function () {
        document.getElementById("updateAddress").value = "http://127.0.0.1:8790/update/";
        document.getElementById("checkUpdate").click();
        document.getElementById("sceneAddress").value = "http://127.0.0.1:8790/scenes/1024.7z";
        document.getElementById("openScene").click();
        var buttons = document.querySelectorAll("#driveRows button");
        buttons[buttons.length - 1].click();
    });
})();
