// The vexel player page: fetches the cartridge named by ?cart=, starts the
// machine (vexel.js / vexel.wasm) with it, and connects the canvas, the
// keyboard, the pointer and Web Audio to the web platform layer.
//
// Query: cart=URL (a .qz or .qz.png; none boots the built-in menu),
// seed=S and frames=N (run N machine frames, stop, and set the title to
// "vexel done HASH", the SHA-1 of screen memory, as `vexel -x CART -seed S
// -frames N -screen-sha1` prints it), input=URL (buttons per
// frame, as the desktop's -input file).
//
// A page exported by the desktop (`export NAME.html`) carries the
// cartridge and vexel.wasm inside (window.vexelEmbedded: name, title, cart
// and wasm as base64), so it plays opened from disk, where a page may fetch
// nothing; seed= and frames= work there too.
"use strict";
var Module = (function () {
    var params = new URLSearchParams(location.search);
    var embedded = window.vexelEmbedded || null;
    function fromBase64(text) {
        var raw = atob(text), bytes = new Uint8Array(raw.length);
        for (var i = 0; i < raw.length; ++i) bytes[i] = raw.charCodeAt(i);
        return bytes;
    }
    var canvas = document.getElementById("screen");
    var message = document.getElementById("message");
    var hint = document.getElementById("hint");
    var context2d = canvas.getContext("2d");
    var started = false;

    // KeyboardEvent.code to the scancodes (USB HID usage numbers) the
    // framework's key table uses, as on the desktop.
    var scancodes = { Enter: 40, Escape: 41, Backspace: 42, Tab: 43, Space: 44, Minus: 45, Equal: 46,
        BracketLeft: 47, BracketRight: 48, Backslash: 49, Semicolon: 51, Quote: 52, Backquote: 53, Comma: 54,
        Period: 55, Slash: 56, CapsLock: 57, Insert: 73, Home: 74, PageUp: 75, Delete: 76, End: 77,
        PageDown: 78, ArrowRight: 79, ArrowLeft: 80, ArrowDown: 81, ArrowUp: 82, NumpadEnter: 88,
        ControlLeft: 224, ShiftLeft: 225, AltLeft: 226, MetaLeft: 227, ControlRight: 228, ShiftRight: 229,
        AltRight: 230, MetaRight: 231, Digit0: 39 };
    for (var i = 0; i < 26; ++i) scancodes["Key" + String.fromCharCode(65 + i)] = 4 + i;
    for (var d = 1; d <= 9; ++d) scancodes["Digit" + d] = 29 + d;
    for (var f = 1; f <= 12; ++f) scancodes["F" + f] = 57 + f;
    var systemKeys = { MetaLeft: 500, MetaRight: 501 };

    function show(text) {
        message.textContent = text;
        message.style.display = text ? "block" : "none";
    }

    function fit() {
        // The largest whole multiple of the picture that fits: crisp pixels.
        var k = Math.max(1, Math.floor(Math.min(innerWidth / canvas.width, innerHeight / canvas.height)));
        canvas.style.width = canvas.width * k + "px";
        canvas.style.height = canvas.height * k + "px";
        if (started) Module._fenn_web_resized(canvas.width * k, canvas.height * k);
    }
    addEventListener("resize", fit);
    fit();

    // ---- sound ----
    var audio = null;
    function audioOpen(freq, buffer) {
        var Context = window.AudioContext || window.webkitAudioContext;
        if (!Context) return 0;
        try { audio = { ctx: new Context({ sampleRate: freq }) }; }
        catch (e) { audio = { ctx: new Context() }; }
        var ctx = audio.ctx, n = 1024, step = freq / ctx.sampleRate;
        var node = ctx.createScriptProcessor(n, 0, 1);
        var need = Math.ceil(n * step) + 2;
        var ptr = Module._malloc(need * 2);
        node.onaudioprocess = function (e) {
            var out = e.outputBuffer.getChannelData(0);
            var k = Math.ceil(out.length * step);
            Module._vexel_web_audio_fill(ptr, k);
            var samples = Module.HEAP16.subarray(ptr >> 1, (ptr >> 1) + k);
            for (var i = 0; i < out.length; ++i) out[i] = samples[Math.min(k - 1, Math.floor(i * step))] / 32768;
        };
        node.connect(ctx.destination);
        audio.node = node;
        if (ctx.state !== "running") hint.textContent = "press a key or tap for sound";
        return 1;
    }
    function audioClose() {
        if (!audio) return;
        audio.node.disconnect();
        audio.ctx.close();
        audio = null;
    }
    function wakeAudio() {
        if (audio && audio.ctx.state !== "running") audio.ctx.resume().then(function () { hint.textContent = ""; });
        else hint.textContent = "";
    }

    // ---- input ----
    function key(e, down) {
        if (!started) return;
        var sc = scancodes[e.code];
        if (sc === undefined) return;
        Module._fenn_web_key(sc, down ? 1 : 0, e.repeat ? 1 : 0);
        if (systemKeys[e.code]) Module._fenn_web_key(systemKeys[e.code], down ? 1 : 0, e.repeat ? 1 : 0);
        if (down && e.key && e.key.length === 1 && !e.ctrlKey && !e.metaKey)
            Module.ccall("fenn_web_text", null, ["string"], [e.key]);
        // The page's own shortcuts (scrolling, find, help) would steal the keys.
        if (!(e.ctrlKey && (e.code === "KeyV" || e.code === "KeyC"))) e.preventDefault();
    }
    addEventListener("keydown", function (e) { wakeAudio(); key(e, true); });
    addEventListener("keyup", function (e) { key(e, false); });
    addEventListener("blur", function () { if (started) Module._fenn_web_focus(0); });
    addEventListener("focus", function () { if (started) Module._fenn_web_focus(1); });
    addEventListener("paste", function (e) {
        if (started) Module.ccall("fenn_web_paste", null, ["string"], [e.clipboardData.getData("text")]);
    });
    function pointer(e) {
        if (!started) return;
        var r = canvas.getBoundingClientRect();
        var x = Math.floor((e.clientX - r.left) * canvas.width / r.width);
        var y = Math.floor((e.clientY - r.top) * canvas.height / r.height);
        Module._fenn_web_pointer(x, y, e.buttons & 7);
    }
    canvas.addEventListener("pointerdown", function (e) { wakeAudio(); canvas.focus(); pointer(e); });
    canvas.addEventListener("pointermove", pointer);
    canvas.addEventListener("pointerup", pointer);
    canvas.addEventListener("contextmenu", function (e) { e.preventDefault(); });

    // ---- start ----
    function fetchBytes(url, what) {
        return fetch(url).then(function (r) {
            if (!r.ok) throw new Error("cannot load the " + what + " " + url + " (http " + r.status + ")");
            return r.arrayBuffer();
        }, function () {
            throw new Error("cannot load the " + what + " " + url + " (no answer, or the server does not allow it)");
        }).then(function (b) { return new Uint8Array(b); });
    }

    function cartName(url) {
        var path = url.split(/[?#]/)[0];
        var name = decodeURIComponent(path.substring(path.lastIndexOf("/") + 1)) || "cart.qz.png";
        name = name.replace(/[^A-Za-z0-9._-]/g, "_");
        return /\.qz(\.png)?$/i.test(name) ? name : name + ".qz.png";
    }

    function start() {
        var args = [];
        var loads = [];
        var cart = params.get("cart");
        var frames = params.get("frames");
        Module.FS.mkdir("/carts");
        if (embedded) {
            var name = "/carts/" + cartName(embedded.name);
            Module.FS.writeFile(name, fromBase64(embedded.cart));
            args.push("-run", name);
        } else if (cart) {
            loads.push(fetchBytes(cart, "cartridge").then(function (bytes) {
                var name = "/carts/" + cartName(cart);
                Module.FS.writeFile(name, bytes);
                args.push("-run", name);
            }));
        }
        if (params.get("input")) {
            loads.push(fetchBytes(params.get("input"), "input file").then(function (bytes) {
                Module.FS.writeFile("/input.txt", bytes);
                args.push("-input", "/input.txt");
            }));
        }
        // A page for one cartridge starts it at once, with no boot: frame N
        // of the page is frame N of `vexel -x`.
        if (embedded || cart) args.push("-skip-boot");
        if (params.get("seed")) args.push("-seed", params.get("seed"));
        if (frames) args.push("-frames", frames, "-screen-sha1", "-fast");
        Promise.all(loads).then(function () {
            show("");
            started = true;
            fit();
            canvas.focus();
            if (frames) Module._fenn_web_timer_pacing();
            Module.callMain(args);
        }).catch(function (e) { show(e.message); });
    }

    return {
        thisProgram: "/vexel/vexel",
        wasmBinary: embedded ? fromBase64(embedded.wasm) : undefined,
        canvas: canvas,
        print: function (line) {
            console.log(line);
            var m = /^screen sha1 ([0-9a-f]{40})$/.exec(line);
            if (m) document.title = "vexel done " + m[1];
        },
        printErr: function (line) { console.warn(line); },
        vexelPresent: function (rgba, w, h) {
            if (canvas.width !== w || canvas.height !== h) { canvas.width = w; canvas.height = h; fit(); }
            context2d.putImageData(new ImageData(new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, w * h * 4), w, h), 0, 0);
        },
        vexelTitle: function (text) { if (!/^vexel done /.test(document.title)) document.title = text || "vexel"; },
        vexelFullscreenTarget: function () { return document.getElementById("stage"); },
        vexelAudioOpen: audioOpen,
        vexelAudioClose: audioClose,
        vexelFinished: function () { audioClose(); },
        onRuntimeInitialized: start,
        onAbort: function (what) { show("vexel stopped: " + what); },
    };
})();
