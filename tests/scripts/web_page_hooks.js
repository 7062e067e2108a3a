// Test hooks for the player page (web_page.sh loads them after player.js):
// the program's "seen ..." lines are collected into <pre id="seen">; once
// it prints "ready" (and "later" for a second step) (the input pass of its first frame is over, so a
// gamepad was seen at rest, as the validation wants): with test=keys a key is held from the page and a gamepad (navigator.getGamepads
// replaced) holds its stick and a button; test=capture presses F1 and
// Ctrl+S and lists what the page downloads; test=drop drops a cartridge file
// on the page once.
(function () {
    "use strict";
    var mode = new URLSearchParams(location.search).get("test");
    var seen = [];
    var print = Module.print;
    var acts = { ready: [], later: [] };  // what to do after the program printed the line
    Module.print = function (line) {
        print(line);
        // After this frame (a microtask: before the next frame's task), not inside it.
        if (acts[line]) acts[line].splice(0).forEach(function (act) { Promise.resolve().then(act); });
        if (/^seen /.test(line) && seen.indexOf(line) < 0) {
            seen.push(line);
            var out = document.getElementById("seen") || document.body.appendChild(document.createElement("pre"));
            out.id = "seen";
            out.textContent = seen.slice().sort().join(",");
        }
    };
    if (mode === "keys") {
        var buttons = [];
        for (var i = 0; i < 17; ++i) buttons.push({ pressed: false, value: 0 });
        var pad = { id: "test pad", index: 0, connected: true, mapping: "standard", axes: [0, 0, 0, 0], buttons: buttons, timestamp: 0 };
        navigator.getGamepads = function () { return [pad, null, null, null]; };
        acts.ready.push(function () {
            pad.axes[0] = -1;                           // the left stick to the left
            buttons[1] = { pressed: true, value: 1 };   // B: X
            dispatchEvent(new KeyboardEvent("keydown", { code: "ArrowRight", key: "ArrowRight" }));
        });
    }
    if (mode === "capture") {
        // What the page downloads is listed instead.
        HTMLAnchorElement.prototype.click = function () {
            var out = document.getElementById("downloads") || document.body.appendChild(document.createElement("pre"));
            out.id = "downloads";
            out.textContent += this.download + " ";
        };
        function press(code, ctrl) {
            dispatchEvent(new KeyboardEvent("keydown", { code: code, ctrlKey: !!ctrl }));
            acts.later.push(function () { dispatchEvent(new KeyboardEvent("keyup", { code: code, ctrlKey: !!ctrl })); });
        }
        acts.ready.push(function () { press("F1"); });
        acts.later.push(function () {
            dispatchEvent(new KeyboardEvent("keydown", { code: "ControlLeft", ctrlKey: true }));
            press("KeyS", true);
        });
    }
    if (mode === "drop" && !sessionStorage.getItem("test.dropped")) {
        sessionStorage.setItem("test.dropped", "1");
        acts.ready.push(function () {
            var data = new DataTransfer();
            data.items.add(new File(["vexel cartridge // dropped\nversion 15\n__lua__\nfunction _update() printh(\"seen dropped\") end\n"],
                "dropped.qz"));
            dispatchEvent(new DragEvent("drop", { dataTransfer: data, bubbles: true, cancelable: true }));
        });
    }
})();
