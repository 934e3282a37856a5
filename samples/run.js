// The whole test flow through the registered HDD component, for the Windows
// Script Host:
//
//   cscript //nologo run.js [ITEM ...] [/tests:linear,funnel,random,surface]
//
// It asks for the disk report, plans the batch with StartHDDTest, runs each
// chosen test on each item (default: every partition of the report) and names
// every result code. The exit status is 0 when every test passed, 1 when one
// failed or was refused, 2 when the component could not be used.

var TESTS = {
    linear: { method: "HDDLinearSeekTest", bit: 0x1 },
    funnel: { method: "HDDFunnelSeekTest", bit: 0x4 },
    random: { method: "HDDRandomSeekTest", bit: 0x2 },
    surface: { method: "HDDSurfaceScanTest", bit: 0x8 }
};
var DEFAULT_TESTS = ["linear", "funnel", "random", "surface"];

var CODE_NAMES = {
    "00000000": "S_OK",
    "20010000": "HDD_TEST_ABORTED",
    "20010001": "HDD_TEST_READ_ERROR",
    "A0010001": "HDD_DRIVE_NOT_TESTABLE",
    "A0010003": "HDD_PARTITION_NOT_TESTABLE",
    "80070057": "E_INVALIDARG",
    "8007000E": "E_OUTOFMEMORY",
    "8000FFFF": "E_UNEXPECTED"
};

function hex8(n) {
    var text = (n < 0 ? n + 0x100000000 : n).toString(16).toUpperCase();
    while (text.length < 8) {
        text = "0" + text;
    }
    return text;
}

function codeName(code) {
    var name = CODE_NAMES[hex8(code)];
    return name ? name : "0x" + hex8(code);
}

function runTest(hdd, name, item) {
    switch (name) {
    case "linear": return hdd.HDDLinearSeekTest(item);
    case "funnel": return hdd.HDDFunnelSeekTest(item);
    case "random": return hdd.HDDRandomSeekTest(item);
    default: return hdd.HDDSurfaceScanTest(item);
    }
}

// The component calls this with (event kind, value, 2): kind 0 is percent
// done, kind 1 the minutes the batch still needs.
var lastTenth = -1;
function progress(kind, value, tag) {
    if (kind == 1) {
        WScript.Echo("  about " + value + " min left");
    } else if (Math.floor(value / 10) > lastTenth) {
        lastTenth = Math.floor(value / 10);
        WScript.Echo("  " + value + "%");
    }
}

function main() {
    var items = [];
    var tests = DEFAULT_TESTS;
    for (var i = 0; i < WScript.Arguments.length; i++) {
        var arg = String(WScript.Arguments(i));
        if (arg.toLowerCase().indexOf("/tests:") == 0) {
            tests = arg.substring(7).split(",");
        } else {
            items = items.concat(arg.split(","));
        }
    }
    var mask = 0;
    for (var t = 0; t < tests.length; t++) {
        if (!TESTS[tests[t]]) {
            WScript.Echo("error: '" + tests[t] + "' is not a test (linear, funnel, random, surface)");
            return 2;
        }
        mask |= TESTS[tests[t]].bit;
    }

    var hdd = new ActiveXObject("HDD.CHDDObject");
    hdd.SetCallback(progress);
    var report = hdd.GetHardDiskInfo();
    WScript.Echo("report: " + report);
    if (items.length == 0 && report != "") {
        var entries = report.split(",");
        for (var e = 0; e < entries.length; e++) {
            var parts = entries[e].split("-");
            var item = parts[0] + "-" + parts[1];
            var known = false;
            for (var k = 0; k < items.length; k++) {
                known = known || items[k] == item;
            }
            if (!known) {
                items.push(item);
            }
        }
    }
    // A script cannot see whether the plan was made: both of the method's
    // statuses are successes, and it has no result value.
    hdd.StartHDDTest(items.join(","), mask);
    WScript.Echo("plan: " + items.join(",") + " mask 0x" + hex8(mask));

    var exitCode = 0;
    var passed = 0;
    var total = 0;
    for (t = 0; t < tests.length; t++) {
        for (var n = 0; n < items.length; n++) {
            WScript.Echo(TESTS[tests[t]].method + " " + items[n]);
            lastTenth = -1;
            var code = runTest(hdd, tests[t], items[n]);
            WScript.Echo("  result 0x" + hex8(code) + " " + codeName(code));
            total++;
            if (code == 0) {
                passed++;
            } else {
                exitCode = 1;
            }
        }
    }
    hdd.ReleaseCallback();
    WScript.Echo("summary: " + passed + " of " + total + " tests passed");
    return exitCode;
}

var status;
try {
    status = main();
} catch (e) {
    WScript.Echo("error: " + e.message + " (0x" + hex8(e.number) + ")");
    status = 2;
}
WScript.Echo("done");
WScript.Quit(status);
