// The runner itself: a throw is reported with its file and line, also when it comes from
// a function of an earlier file, and the runner exits non-zero.
log("data root " + flow.dataRoot());
try { checkEqual(flow.dataRoot(), "Q:/Orbelune", "data root"); } catch (e) { log(e.message); }
if (flow.dataRoot() !== "Q:/Orbelune") throw new Error("data root is " + flow.dataRoot());
log("not reached");
