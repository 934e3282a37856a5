// A small JScript front end of HDD.dll:
//
//   cscript //nologo client.js [SELECTOR]
//
// It creates the object by its ProgID, asks for the disk report, plans a
// batch of one surface scan and runs it on SELECTOR (default: the report's
// first partition), printing every progress event and the result code. Exit
// status: 0 when the test passed, 1 when it failed or was refused, 2 when
// the component could not be used.

// A result code as eight hexadecimal digits (scripts see it as a signed number).
function hex8(n) {
    var text = (n < 0 ? n + 0x100000000 : n).toString(16).toUpperCase();
    while (text.length < 8) {
        text = "0" + text;
    }
    return text;
}

// The component calls this function with (event kind, value, 2).
function progress(kind, value, tag) {
    WScript.Echo((kind == 0 ? "percent " : "minutes ") + value);
}

function main() {
    var hdd = new ActiveXObject("HDD.CHDDObject");
    hdd.SetCallback(progress);
    var report = hdd.GetHardDiskInfo();
    WScript.Echo("report: " + report);

    // "disk-partition-MiB" items; the selector wants "disk-partition".
    var selector = WScript.Arguments.length > 0 ? WScript.Arguments(0)
                                                : report.split(",")[0].split("-").slice(0, 2).join("-");
    hdd.StartHDDTest(selector, 0x8);  // the surface scan; no result to see
    WScript.Echo("plan: " + selector + " mask 0x00000008");

    var code = hdd.HDDSurfaceScanTest(selector);
    WScript.Echo("HDDSurfaceScanTest " + selector + ": 0x" + hex8(code));
    hdd.ReleaseCallback();
    return code == 0 ? 0 : 1;
}

var status;
try {
    status = main();
} catch (e) {
    // A failed creation, or a call the component answered with an error.
    WScript.Echo("error: " + e.message + " (0x" + hex8(e.number) + ")");
    status = 2;
}
WScript.Echo("done");
WScript.Quit(status);
