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
// The page keeps each cartridge's save data (cartdata) in the browser's
// localStorage, by its id; downloads what the machine writes for the user
// (F1's screenshots, a cartridge saved with Ctrl+S or `save`); plays a
// .qz or .qz.png file dropped on it; and shows a pad with O and X on a
// touch screen.
//
// A page exported by the desktop (`export NAME.html`) carries the
// cartridge and vexel.wasm inside (window.vexelEmbedded: name, title, cart
// and wasm as base64), so it plays opened from disk, where a page may fetch
// nothing; seed= and frames= work there too.
"use strict";
var Module = (function () {
    var params = new URLSearchParams(location.search);
    var embedded = window.vexelEmbedded || null;
    var home = "/vexel/home", desktop = "/vexel/desktop";
    var saveDataKey = "vexel.cdata.", droppedKey = "vexel.dropped";
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
    // The machine opens its sound at start; the page makes the AudioContext
    // only at the first key or tap, which browsers want before they play
    // anything (and making one costs the start a good part of a second).
    var audio = null, audioRate = 0;
    function audioOpen(freq, buffer) {
        if (!(window.AudioContext || window.webkitAudioContext)) return 0;
        audioRate = freq;
        hint.textContent = "press a key or tap for sound";
        return 1;
    }
    function audioStart() {
        var Context = window.AudioContext || window.webkitAudioContext, freq = audioRate;
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
    }
    function audioClose() {
        audioRate = 0;
        if (!audio) return;
        audio.node.disconnect();
        audio.ctx.close();
        audio = null;
    }
    function wakeAudio() {
        if (!audio && audioRate && started) audioStart();
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

    // ---- files: save data, downloads, dropped cartridges ----
    function toBase64(bytes) {
        var text = "";
        for (var i = 0; i < bytes.length; i += 0x8000)
            text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
        return btoa(text);
    }
    function storage(kind) {  // null where the browser refuses it (a sandboxed frame, say)
        try { return window[kind]; } catch (e) { return null; }
    }
    function download(name, bytes) {
        var a = document.createElement("a");
        a.href = URL.createObjectURL(new Blob([bytes], { type: /\.png$/i.test(name) ? "image/png" : "application/octet-stream" }));
        a.download = name;
        document.body.appendChild(a);
        a.click();
        setTimeout(function () { URL.revokeObjectURL(a.href); a.remove(); }, 1000);
    }
    function mkdirs(path) {
        var at = "";
        path.split("/").forEach(function (part) {
            if (!part) return;
            at += "/" + part;
            try { Module.FS.mkdir(at); } catch (e) { /* there already */ }
        });
    }
    // The files of a folder, each with what tells a new version: its node
    // (a file saved whole is a new one, renamed over the old), size and
    // time: name -> "ino:size:mtime".
    function listing(folder) {
        var found = {};
        var names = [];
        try { names = Module.FS.readdir(folder); } catch (e) { return found; }
        names.forEach(function (name) {
            if (name === "." || name === ".." || /\.part$/.test(name)) return;
            try {
                var st = Module.FS.stat(folder + "/" + name);
                if (Module.FS.isFile(st.mode)) found[name] = st.ino + ":" + st.size + ":" + st.mtime.getTime();
            } catch (e) { /* gone meanwhile */ }
        });
        return found;
    }
    var known = {};  // folder -> listing as last seen
    function changed(folder, each) {
        var now = listing(folder), before = known[folder] || {};
        Object.keys(now).forEach(function (name) { if (before[name] !== now[name]) each(name, folder + "/" + name); });
        known[folder] = now;
    }
    function restoreSaveData() {
        mkdirs(home + "/cdata");
        var local = storage("localStorage");
        if (!local) return;
        for (var i = 0; i < local.length; ++i) {
            var k = local.key(i);
            if (k.indexOf(saveDataKey) === 0 && /^[A-Za-z0-9_.-]+$/.test(k.slice(saveDataKey.length)))
                Module.FS.writeFile(home + "/cdata/" + k.slice(saveDataKey.length), local.getItem(k));
        }
    }
    function watchFiles() {
        var local = storage("localStorage");
        changed(home + "/cdata", function (name, path) {
            if (local) try { local.setItem(saveDataKey + name, Module.FS.readFile(path, { encoding: "utf8" })); } catch (e) { /* full */ }
        });
        changed(desktop, function (name, path) {
            download(name, Module.FS.readFile(path));
            Module.FS.unlink(path);
        });
        ["/carts", home + "/carts"].forEach(function (folder) {
            changed(folder, function (name, path) { download(name, Module.FS.readFile(path)); });
        });
    }
    addEventListener("pagehide", function () { if (started) watchFiles(); });
    addEventListener("dragover", function (e) { e.preventDefault(); });
    addEventListener("drop", function (e) {
        e.preventDefault();
        var file = e.dataTransfer && e.dataTransfer.files[0];
        if (!file) return;
        if (!/\.qz(\.png)?$/i.test(file.name)) { show("drop a .qz or .qz.png cartridge to play it"); return; }
        file.arrayBuffer().then(function (b) {
            // The page starts afresh with it: the machine runs one cartridge from its start.
            var session = storage("sessionStorage");
            try { session.setItem(droppedKey, JSON.stringify({ name: file.name, cart: toBase64(new Uint8Array(b)) })); }
            catch (err) { show("cannot keep " + file.name + " in this browser to play it"); return; }
            location.reload();
        });
    });

    // ---- touch: a pad and O and X over the picture ----
    var padKeys = { left: 80, right: 79, up: 82, down: 81, o: 29, x: 27, pause: 40 };
    function showPad() {
        if (document.getElementById("pad")) return;
        var pad = document.createElement("div");
        pad.id = "pad";
        [["left", "\u25c0"], ["up", "\u25b2"], ["down", "\u25bc"], ["right", "\u25b6"], ["o", "O"], ["x", "X"],
            ["pause", "\u2016"]].forEach(function (b) {
            var el = document.createElement("div");
            el.className = "pad-" + b[0];
            el.textContent = b[1];
            var held = false;
            function press(down) {
                if (held === down || !started) return;
                held = down;
                Module._fenn_web_key(padKeys[b[0]], down ? 1 : 0, 0);
            }
            el.addEventListener("pointerdown", function (e) { e.preventDefault(); wakeAudio(); press(true); });
            ["pointerup", "pointercancel", "pointerleave"].forEach(function (t) { el.addEventListener(t, function () { press(false); }); });
            pad.appendChild(el);
        });
        document.body.appendChild(pad);
    }
    if (navigator.maxTouchPoints > 0 || (window.matchMedia && matchMedia("(pointer: coarse)").matches)) showPad();
    addEventListener("pointerdown", function (e) { if (e.pointerType === "touch") showPad(); });

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
        mkdirs(desktop);
        restoreSaveData();
        args.push("-home", home, "-desktop", desktop);
        var dropped = null, session = storage("sessionStorage");
        try { dropped = JSON.parse(session.getItem(droppedKey)); session.removeItem(droppedKey); } catch (e) { dropped = null; }
        if (dropped) {
            var droppedName = "/carts/" + cartName(dropped.name);
            Module.FS.writeFile(droppedName, fromBase64(dropped.cart));
            args.push("-run", droppedName);
        } else if (embedded) {
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
        if (dropped || embedded || cart) args.push("-skip-boot");
        if (params.get("seed")) args.push("-seed", params.get("seed"));
        if (frames) args.push("-frames", frames, "-screen-sha1", "-fast");
        Promise.all(loads).then(function () {
            show("");
            started = true;
            fit();
            canvas.focus();
            if (frames) Module._fenn_web_timer_pacing();
            // What the page put there is no change of the user's.
            ["/carts", home + "/carts", home + "/cdata", desktop].forEach(function (f) { known[f] = listing(f); });
            setInterval(watchFiles, 500);
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
