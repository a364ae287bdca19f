// The engine directories move from D: to E:; the record follows.
checkEqual(flow.dataRoot(), "D:/Orbelune", "data root before the move");
var engine = "Orbelune\\426\\Vistaweaver-Win64-Shipping.exe";
check(runner.fileExists("D:\\" + engine), "engine on D: before the move");

checkEqual(flow.moveDataTo("D"), null, "a move to the data drive itself");
var move = follow(flow.moveDataTo("E"), 60, "move to E");
checkEqual(move.phase, "moved", "move result");

checkEqual(flow.dataRoot(), "E:/Orbelune", "data root after the move");
checkEqual(driveRecord(), "E", "drive record after the move");
check(runner.fileExists("E:\\" + engine), "engine on E:");
check(!runner.fileExists("D:\\" + engine), "engine gone from D:");

// Back again: the second move is accepted once the first one has been polled to its end.
move = follow(flow.moveDataTo("D"), 60, "move back to D");
checkEqual(move.phase, "moved", "second move result");
checkEqual(driveRecord(), "D", "drive record after moving back");
check(runner.fileExists("D:\\" + engine), "engine back on D:");
