"""The Win32 installer's real windows under Wine, driven through windriver.

usage: installer_window.py INSTALLER WINDRIVER SCRATCH_DIR ARTIFACTS_DIR

Runs on an X display the caller provides. One fresh prefix serves every case:
between cases the files the installer wrote are removed and the registry values
set anew. Each case starts the installer, finds its windows, checks what they
show and presses keys as a user would; the installer's exit code is the one the
wine process returns. The last case takes screenshots inside a virtual desktop,
where Wine draws the window frames.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

installer, windriver, scratch, artifacts = sys.argv[1:5]
TITLE = "Cvcustomscrzipbase"
CAPTION = "Tessaline Install"
VERSION_TEXT = "The Version installed was 5.2.0.12"
DASHES = "-" * 27
DBS = ["mwscd.adi", "mwscd.adt", "mwscr.adi", "mwscr.adt"]

WS_CAPTION, WS_SYSMENU, WS_THICKFRAME = 0x00C00000, 0x00080000, 0x00040000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_EX_DLGMODALFRAME = 0x00020000, 0x00010000, 0x1
BS_DEFPUSHBUTTON, SS_ICON = 0x1, 0x3

failures = []
passed = 0


def check(ok, what):
    global passed
    if ok:
        passed += 1
    else:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return ok


class Abandon(Exception):
    """A case cannot go on: a window it needs did not come up."""


prefix = os.path.join(scratch, "prefix")
drive_c = os.path.join(prefix, "drive_c")
ENV = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")


def wine(args, timeout=30):
    """Runs a Wine program to its end; its output goes through a file, since
    services that Wine starts on the way would hold a pipe open."""
    with tempfile.TemporaryFile() as out:
        try:
            code = subprocess.run(["wine"] + args, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.DEVNULL, env=ENV, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            code = -1
        out.seek(0)
        return code, out.read()


def driver(*args, timeout=30):
    return wine([windriver] + list(args), timeout=timeout)


def describe(hwnd):
    code, out = driver("describe", hwnd)
    if code != 0:
        raise Abandon("describe %s failed" % hwnd)
    return json.loads(out.decode("ascii"))


def windows():
    code, out = driver("list")
    return json.loads(out.decode("ascii")) if code == 0 else []


def wait_window(run, title, seconds=20, cls="*"):
    """A visible, non-empty top-level window of that text; gives up at once
    when the installer has ended."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        code, out = driver("wait", title, cls, "2", timeout=30)
        if code == 0:
            return out.decode("ascii").strip()
        if run.process.poll() is not None:
            raise Abandon("the installer ended with %d before a window %r came up"
                          % (run.process.returncode, title))
    raise Abandon("no window %r within %d s" % (title, seconds))


def press(hwnd, key, modifier=None):
    args = ["input", hwnd, key] + ([modifier] if modifier else [])
    check(driver(*args)[0] == 0, "could not type %s%s into %s" % (modifier + "+" if modifier else "", key, hwnd))
    time.sleep(0.3)


def child(window, cls, text=None):
    found = [c for c in window["children"] if c["class"].lower() == cls.lower()
             and (text is None or c["text"] == text)]
    return found[0] if found else None


def find(*parts):
    """A path below drive_c, matched without regard to case as Windows does."""
    path = drive_c
    for part in parts:
        if not os.path.isdir(path):
            return None
        names = [n for n in os.listdir(path) if n.lower() == part.lower()]
        if not names:
            return None
        path = os.path.join(path, names[0])
    return path


def set_registry(program_path=None, root_data=None, program_path_type="REG_SZ"):
    wine(["reg", "delete", "HKCU\\Software\\Medisoft", "/f"])
    if root_data is not None:
        wine(["reg", "add", "HKCU\\Software\\Medisoft", "/v", "Root Data Path", "/t", "REG_SZ",
              "/d", root_data, "/f"])
    if program_path is not None:
        wine(["reg", "add", "HKCU\\Software\\Medisoft\\Patient Accounting", "/v", "Program Path",
              "/t", program_path_type, "/d", program_path, "/f"])


def reset_files():
    for folder in [("Medisoft",), ("Donn\u00e9es",), ("Data",), ("Program Files", "Medisoft"), ("cwd",)]:
        path = find(*folder)
        if path:
            shutil.rmtree(path)
    os.makedirs(os.path.join(drive_c, "Data", "CorvelleEMC"))
    os.makedirs(os.path.join(drive_c, "cwd"))


class Run:
    """One start of the installer, from C:\\cwd as its current folder."""

    def __init__(self, name, program=None):
        self.log = open(os.path.join(scratch, name + ".log"), "wb")
        self.process = subprocess.Popen(["wine", program or installer], stdin=subprocess.DEVNULL, stdout=self.log,
                                        stderr=subprocess.STDOUT, cwd=os.path.join(drive_c, "cwd"),
                                        env=ENV)
        self.name = name

    def wait_exit(self, seconds=30):
        try:
            return self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def finish(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.close()

    def expect_exit_zero(self, what):
        t = time.time()
        code = self.wait_exit()
        print("  %s: ended %.1f s after %s" % (self.name, time.time() - t, what), flush=True)
        check(code == 0, "%s: the installer ended with %r, not 0" % (self.name, code)
              if code is not None else "%s: the installer did not end after %s" % (self.name, what))


def install_window(run):
    return describe(wait_window(run, CAPTION))


def controls(form):
    return {name: child(form, cls, text) for name, cls, text in
            [("label", "Static", "Destination:"), ("edit", "Edit", None),
             ("install", "Button", "Install"), ("exit", "Button", "Exit")]}


def focus_name(form_hwnd, parts):
    focus = describe(form_hwnd)["focus"]
    names = [n for n, c in parts.items() if c and c["hwnd"] == focus]
    return names[0] if names else focus


def is_default(hwnd):
    return describe(hwnd)["style"] & 0xF == BS_DEFPUSHBUTTON


def layout_and_install():
    reset_files()
    set_registry("C:\\Medisoft", "C:\\Data")
    run = Run("install")
    try:
        form = install_window(run)
        check(form["caption"] == CAPTION, "caption %r" % form["caption"])
        check(form["client"] == [492, 80], "client area %r, not 492 x 80" % form["client"])
        style, exstyle = form["style"], form["exstyle"]
        check(style & WS_CAPTION == WS_CAPTION and style & WS_SYSMENU, "no caption bar with close button")
        check(not style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              "frame is sizable or has minimise/maximise buttons: style 0x%x" % style)
        check(exstyle & WS_EX_DLGMODALFRAME, "no dialog frame (caption icon shown): exstyle 0x%x" % exstyle)
        left, top, width, height = form["window"]
        check((left, top) == ((1024 - width) // 2, (768 - height) // 2),
              "window at %d,%d (%dx%d), not centred on 1024x768" % (left, top, width, height))

        parts = controls(form)
        # The label is sized to its text: 56 x 13 in the designed font.
        expected = {"label": [8, 8, 56, 13], "edit": [72, 8, 409, 21],
                    "install": [96, 40, 75, 25], "exit": [8, 40, 75, 25]}
        for name, want in expected.items():
            c = parts[name]
            if not check(c is not None, "control %s missing; children %r" % (
                    name, [(x["class"], x["text"]) for x in form["children"]])):
                continue
            check(c["rect"] == want, "%s at %r, not %r" % (name, c["rect"], want))
            check(c["visible"], "%s not visible" % name)
            check(c["enabled"] == (name != "edit"), "%s enabled is %r" % (name, c["enabled"]))
        check(len(form["children"]) == 4, "children: %r" % [(x["class"], x["text"]) for x in form["children"]])
        if parts["edit"]:
            check(parts["edit"]["text"] == "C:\\Medisoft", "edit shows %r" % parts["edit"]["text"])
        if not (parts["install"] and parts["exit"]):
            raise Abandon("no buttons")
        check(form["focus"] == parts["install"]["hwnd"], "focus at start on %s, not Install" % focus_name(form["hwnd"], parts))
        check(parts["install"]["style"] & 0xF == BS_DEFPUSHBUTTON, "focused Install is not BS_DEFPUSHBUTTON")
        check(parts["exit"]["style"] & 0xF != BS_DEFPUSHBUTTON, "Exit is BS_DEFPUSHBUTTON without focus")

        # The hidden application window: zero size, the title, owner of the form.
        app = [w for w in windows() if w["pid"] == form["pid"] and w["caption"] == TITLE
               and w["class"] != "#32770"]
        check(len(app) == 1, "hidden application window: %r" % app)
        if app:
            check(app[0]["window"] == [512, 384, 0, 0], "application window at %r, not zero-sized at the "
                  "centre of the screen" % app[0]["window"])
            check(form["owner"] == app[0]["hwnd"], "the install window's owner is %s, not the application window %s"
                  % (form["owner"], app[0]["hwnd"]))

        # Enter right after start presses Install.
        press(form["hwnd"], "Return")
        dialog = describe(wait_window(run, TITLE))
        check_version_dialog(dialog, form["hwnd"])
        press(dialog["hwnd"], "C", "ctrl")
        code, text = driver("clipboard")
        expected_clip = "\r\n".join([DASHES, TITLE, DASHES, VERSION_TEXT, DASHES, "OK   ", DASHES]) + "\r\n"
        check(code == 0 and text == expected_clip.encode(), "Ctrl+C left %r on the clipboard" % text)
        check(describe(dialog["hwnd"])["visible"], "Ctrl+C closed the dialog")
        edit = child(describe(form["hwnd"]), "Edit")
        check(edit is not None and edit["text"] == "C:\\MEDISOFT\\",
              "edit during Install: %r" % (edit or {}).get("text"))
        press(dialog["hwnd"], "Return")
        run.expect_exit_zero("OK in the version dialog")
        check_installed("C:\\Medisoft")
    finally:
        run.finish()


def check_version_dialog(dialog, form_hwnd):
    check(dialog["caption"] == TITLE, "version dialog caption %r" % dialog["caption"])
    label = child(dialog, "Static", VERSION_TEXT)
    ok = child(dialog, "Button", "OK")
    check(label is not None, "version dialog text: %r" % [(c["class"], c["text"]) for c in dialog["children"]])
    check(ok is not None, "version dialog has no OK button")
    check(not describe(form_hwnd)["enabled"], "install window enabled while the dialog is up")
    check(not dialog["style"] & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), "dialog frame 0x%x" % dialog["style"])
    check(dialog["exstyle"] & WS_EX_DLGMODALFRAME, "dialog shows a caption icon: exstyle 0x%x" % dialog["exstyle"])
    check(not [c for c in dialog["children"] if c["class"] == "Static" and c["style"] & 0x1F == SS_ICON],
          "the message dialog shows an icon")
    if ok:
        check(ok["style"] & 0xF == BS_DEFPUSHBUTTON, "OK is not the default button")
        check(dialog["focus"] == ok["hwnd"], "the focus in the dialog is on %s, not OK" % dialog["focus"])
    if not (label and ok):
        return
    # The layout in dialog units of the message font, measured here the same way.
    code, out = driver("msgmetrics", VERSION_TEXT)
    m = json.loads(out.decode("ascii"))
    x, y = m["x"], m["y"]

    hmargin, vmargin, vspace = muldiv(8, x, 4), muldiv(8, y, 8), muldiv(10, y, 8)
    bw, bh = max(muldiv(50, x, 4), m["ok"] + 8), muldiv(14, y, 8)
    cw = max(m["w"], bw) + 2 * hmargin
    ch = m["h"] + bh + vspace + 2 * vmargin
    check(dialog["client"] == [cw, ch], "dialog client %r, not %r (units %d,%d)" % (dialog["client"], [cw, ch], x, y))
    check(label["rect"] == [hmargin, vmargin, m["w"], m["h"]], "dialog text at %r, not %r"
          % (label["rect"], [hmargin, vmargin, m["w"], m["h"]]))
    check(ok["rect"] == [(cw - bw) // 2, m["h"] + vmargin + vspace, bw, bh],
          "OK at %r, not %r" % (ok["rect"], [(cw - bw) // 2, m["h"] + vmargin + vspace, bw, bh]))
    left, top, width, height = dialog["window"]
    check((left, top) == ((1024 - width) // 2, (768 - height) // 2), "dialog at %d,%d not centred" % (left, top))


def muldiv(a, b, c):
    """Windows' MulDiv for non-negative values: the product divided, rounded to nearest."""
    return (a * b + c // 2) // c


def check_installed(dest):
    temp = find("MEDISOFT", "bin", "temp")
    names = sorted(n.lower() for n in os.listdir(temp)) if temp else []
    check(names == DBS, "bin\\temp holds %r" % names)
    check(find("MEDISOFT", "bin", "CVCopyScr.EXE") is not None, "the add-on is not in %sbin" % dest)
    data = find("Data", "CorvelleEMC")
    copied = sorted(n.lower() for n in os.listdir(data)) if data else []
    check(copied == DBS, "CorvelleEMC holds %r" % copied)
    started = None
    for _ in range(60):
        started = find("MEDISOFT", "bin", "started.txt")
        if started and os.path.getsize(started) > 0:
            break
        time.sleep(0.5)
    check(started is not None and b"5.2.0.12" in open(started, "rb").read(),
          "the add-on did not write started.txt")


def accented_destination_over_a_read_only_addon():
    """A destination with a letter outside ASCII, as the host's registry holds it, and
    a read-only add-on left there by an earlier install, which the new one replaces."""
    reset_files()
    set_registry("C:\\Donn\u00e9es", "C:\\Data")
    old = os.path.join(drive_c, "DONN\u00e9ES", "bin", "CVCopyScr.EXE")
    os.makedirs(os.path.dirname(old))
    with open(old, "wb") as f:
        f.write(b"an older add-on")
    os.chmod(old, 0o444)  # Wine shows a file without write permission as read-only
    run = Run("accents")
    try:
        form = install_window(run)
        press(form["hwnd"], "Return")
        dialog = describe(wait_window(run, TITLE))
        check_version_dialog(dialog, form["hwnd"])
        press(dialog["hwnd"], "Return")
        run.expect_exit_zero("OK in the version dialog")
        temp = find("Donn\u00e9es", "bin", "temp")
        names = sorted(n.lower() for n in os.listdir(temp)) if temp else []
        check(names == DBS, "accents: bin\\temp holds %r" % names)
        addon = find("Donn\u00e9es", "bin", "CVCopyScr.EXE")
        check(addon is not None and open(addon, "rb").read(2) == b"MZ",
              "accents: the read-only older add-on was not replaced")
    finally:
        run.finish()


def nothing_installed(name):
    check(find("Program Files", "Medisoft") is None and find("Medisoft") is None,
          "%s installed something" % name)
    check(os.listdir(os.path.join(drive_c, "Data", "CorvelleEMC")) == [], "%s copied databases" % name)


def defaults_keys_and_escape():
    reset_files()
    set_registry()
    run = Run("no-registry")
    try:
        form = install_window(run)
        parts = controls(form)
        check(parts["edit"] is not None and parts["edit"]["text"] == "C:\\Program Files\\Medisoft",
              "no registry data: edit shows %r" % (parts["edit"] or {}).get("text"))
        if not (parts["install"] and parts["exit"]):
            raise Abandon("no buttons")
        hwnd = form["hwnd"]
        for key, modifier, expect in [("Tab", None, "exit"), ("Tab", None, "install"),
                                      ("Tab", "shift", "exit"), ("Tab", "shift", "install")]:
            press(hwnd, key, modifier)
            now = focus_name(hwnd, parts)
            check(now == expect, "%s%s: focus on %s, not %s" % ("Shift+" if modifier else "", key, now, expect))
            other = "install" if expect == "exit" else "exit"
            check(is_default(parts[expect]["hwnd"]) and not is_default(parts[other]["hwnd"]),
                  "after %s the default button is not the focused %s" % (key, expect))
        # Esc presses Exit although Install has the focus.
        press(hwnd, "Escape")
        run.expect_exit_zero("Esc")
        nothing_installed("Esc")
    finally:
        run.finish()


def other_ways_out():
    ways = [("space-on-exit", [("Tab", None), ("space", None)]), ("alt-f4", [("F4", "alt")]),
            ("wm-close", "close"), ("sc-close", "syscmd-close")]
    for name, how in ways:
        reset_files()
        set_registry("C:\\Medisoft", "C:\\Data")
        run = Run(name)
        try:
            form = install_window(run)
            if isinstance(how, str):
                check(driver(how, form["hwnd"])[0] == 0, "%s: could not post" % name)
            else:
                for key, modifier in how:
                    press(form["hwnd"], key, modifier)
            run.expect_exit_zero(name)
            nothing_installed(name)
        except Abandon as error:
            check(False, "%s: %s" % (name, error))
        finally:
            run.finish()


def error_box(run, text):
    """The system message box with the title, TEXT, the stop icon and OK,
    owned by the hidden application window."""
    box = describe(wait_window(run, TITLE, cls="#32770"))
    check(box["caption"] == TITLE, "error box caption %r" % box["caption"])
    check(child(box, "Static", text) is not None, "error box text: %r, not %r"
          % ([c["text"] for c in box["children"] if c["class"] == "Static"], text))
    icons = [c for c in box["children"] if c["class"] == "Static" and c["style"] & 0x1F == SS_ICON and c["visible"]]
    check(len(icons) == 1, "error box shows no icon")
    buttons = [c["text"] for c in box["children"] if c["class"] == "Button" and c["visible"]]
    check(buttons == ["OK"], "error box buttons %r" % buttons)
    app = [w for w in windows() if w["pid"] == box["pid"] and w["caption"] == TITLE and w["window"][2:] == [0, 0]]
    check(len(app) == 1 and box["owner"] == app[0]["hwnd"], "error box owner %s, application window %r"
          % (box["owner"], [a["hwnd"] for a in app]))
    return box


def numeric_program_path():
    reset_files()
    set_registry("10", "C:\\Data", program_path_type="REG_DWORD")
    run = Run("numeric-path")
    try:
        box = error_box(run, "Invalid data type for 'Program Path'")
        shown = [w for w in windows() if w["caption"] == CAPTION and w["visible"]]
        check(shown == [], "the install window is visible before FormShow's error is acknowledged")
        press(box["hwnd"], "Return")
        form = install_window(run)
        edit = child(form, "Edit")
        check(edit is not None and edit["text"] == "", "after the error the edit shows %r" % (edit or {}).get("text"))
        check(form["enabled"], "install window disabled after the error box")
        parts = controls(form)
        if not parts["install"]:
            raise Abandon("no Install button")
        check(form["focus"] == parts["install"]["hwnd"], "focus after the error box on %s" % focus_name(form["hwnd"], parts))

        # Install on the empty destination: its folders would be relative to
        # C:\cwd, which holds no bin; the error ends with a letter, so a period
        # is added. The window is disabled meanwhile and afterwards as it was.
        press(form["hwnd"], "Return")
        box = error_box(run, "Unable to create directory.")
        check(not describe(form["hwnd"])["enabled"], "install window enabled under the error box")
        press(box["hwnd"], "Return")
        check(driver("gone", box["hwnd"], "10")[0] == 0, "the error box did not close on Enter")
        form = describe(form["hwnd"])
        check(form["enabled"] and form["visible"], "install window after the Install error: enabled %r visible %r"
              % (form["enabled"], form["visible"]))
        check(form["active"] == form["hwnd"], "after the error box the active window is %s" % form["active"])
        check(form["focus"] == parts["install"]["hwnd"], "after the error box the focus is on %s"
              % focus_name(form["hwnd"], parts))
        check(child(form, "Edit")["text"] == "", "edit after Install on nothing: %r" % child(form, "Edit")["text"])
        check(run.process.poll() is None, "the installer ended after a failed Install")
        press(form["hwnd"], "Escape")
        run.expect_exit_zero("Esc after the error box")
        check(not os.listdir(os.path.join(drive_c, "cwd")), "Install on nothing wrote into the current folder")
    finally:
        run.finish()


def title_from_file_name():
    """setup.exe is titled setup; SETUP.V2.EXE is cut at its first dot: Setup."""
    for name, title in [("setup.exe", "setup"), ("SETUP.V2.EXE", "Setup")]:
        reset_files()
        set_registry("C:\\Medisoft", "C:\\Data")
        folder = os.path.join(drive_c, "cwd", "named")
        os.makedirs(folder, exist_ok=True)
        copy = os.path.join(folder, name)
        shutil.copyfile(installer, copy)
        run = Run("title-" + name, program=copy)
        try:
            form = install_window(run)
            app = [w for w in windows() if w["pid"] == form["pid"] and w["window"][2:] == [0, 0]
                   and w["class"] not in ("IME", "#32770") and w["caption"]]
            check([a["caption"] for a in app] == [title], "%s: application windows %r, not %r"
                  % (name, [a["caption"] for a in app], title))
            press(form["hwnd"], "Return")
            dialog = describe(wait_window(run, title))
            check(child(dialog, "Static", VERSION_TEXT) is not None, "%s: no version dialog titled %r" % (name, title))
            # Esc and the caption bar's close button close the dialog as OK does.
            if title == "setup":
                press(dialog["hwnd"], "Escape")
            else:
                check(driver("syscmd-close", dialog["hwnd"])[0] == 0, "could not close the dialog")
            run.expect_exit_zero("closing the version dialog")
            check(find("MEDISOFT", "bin", "CVCopyScr.EXE") is not None, "%s: not installed" % name)
        except Abandon as error:
            check(False, "%s: %s" % (name, error))
        finally:
            run.finish()


def screenshots():
    """Inside a virtual desktop Wine draws the frames as Windows would."""
    reset_files()
    set_registry("C:\\Medisoft", "C:\\Data")
    for exe in (os.path.basename(installer), os.path.basename(windriver)):
        wine(["reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\%s\\Explorer" % exe, "/v", "Desktop",
              "/d", "shot", "/f"])
    wine(["reg", "add", "HKCU\\Software\\Wine\\Explorer\\Desktops", "/v", "shot", "/d", "1024x768", "/f"])
    os.makedirs(artifacts, exist_ok=True)
    run = Run("screenshots")
    try:
        form = wait_window(run, CAPTION)
        time.sleep(1.5)
        shoot("window.png")
        press(form, "Return")
        dialog = wait_window(run, TITLE)
        time.sleep(1.5)
        shoot("dialog.png")
        press(dialog, "Return")
        run.expect_exit_zero("OK in the version dialog")
    finally:
        run.finish()


def shoot(name):
    path = os.path.join(artifacts, name)
    code = subprocess.run(["import", "-window", "root", path], capture_output=True, timeout=30).returncode
    colours = subprocess.run(["identify", "-format", "%k", path], capture_output=True, timeout=30).stdout
    check(code == 0 and int(colours or b"0") > 4, "screenshot %s is missing or blank" % name)


def install_wine_fonts():
    """Debian's Wine registers its own fonts (MS Sans Serif, Marlett, Tahoma) in
    a new prefix, but the files stay in fonts-wine's folder, where Wine does not
    look for them: a Windows system has them in its Fonts folder, so they are
    copied there. Returns what is wrong, or None."""
    source = "/usr/share/wine/fonts"
    if not os.path.isdir(source):
        return "%s is absent: install Debian's fonts-wine (./dev installs it)" % source
    fonts = os.path.join(ENV["WINEPREFIX"], "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    for name in os.listdir(source):
        if not os.path.exists(os.path.join(fonts, name)):
            shutil.copy(os.path.join(source, name), fonts)
    return None


DESIGNED_FONTS = {"MS Sans Serif": "the install window's font", "Marlett": "the caption buttons' font"}


def designed_fonts_missing():
    """What keeps the window from being drawn as designed, or None. Wine gives a
    request for a missing font another face without a word, and a window drawn
    in it has other measures and a letter for its close box: a test of that
    window would test another one."""
    code, out = driver("fonts")
    if code != 0:
        return "windriver fonts failed with %d" % code
    fonts = json.loads(out.decode("ascii"))
    wrong = ["%s (%s) comes out as %r" % (name, role, fonts[name]["face"])
             for name, role in DESIGNED_FONTS.items() if fonts[name]["face"] != name]
    if wrong:
        return "; ".join(wrong) + ": install Debian's fonts-wine (./dev installs it)"
    sans = fonts["MS Sans Serif"]
    if (fonts["dpi"], sans["zeroHeight"], sans["destinationWidth"]) != (96, 13, 56):
        return ("MS Sans Serif 8 measures \"0\" %d high and \"Destination:\" %d wide at %d dpi, "
                "not 13 and 56 at 96 dpi" % (sans["zeroHeight"], sans["destinationWidth"], fonts["dpi"]))
    return None


def main():
    started = time.time()
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    subprocess.run(["wineboot", "-i"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, env=ENV, timeout=120)
    subprocess.run(["wineserver", "-w"], env=ENV, timeout=60)
    missing = install_wine_fonts()
    subprocess.run(["wineserver", "-p"], env=ENV, timeout=30)
    wine(["wineboot"], timeout=60)  # the prefix's services, started once
    print("prefix ready after %.0f s" % (time.time() - started), flush=True)
    missing = missing or designed_fonts_missing()
    if missing:
        # Every measure and screenshot below would be of another window.
        subprocess.run(["wineserver", "-k"], env=ENV, timeout=30)
        print("FAIL: the window cannot be drawn as designed: %s" % missing, flush=True)
        return 1
    try:
        for case in (layout_and_install, defaults_keys_and_escape, other_ways_out, numeric_program_path,
                     title_from_file_name, accented_destination_over_a_read_only_addon, screenshots):
            t = time.time()
            try:
                case()
            except Abandon as error:
                check(False, "%s: %s" % (case.__name__, error))
            except Exception as error:  # a case that crashes is a failure, not the end
                check(False, "%s: %r" % (case.__name__, error))
            print("%s: %.1f s" % (case.__name__, time.time() - t), flush=True)
    finally:
        subprocess.run(["wineserver", "-k"], env=ENV, timeout=30)
    print("%d passed, %d failed in %.0f s" % (passed, len(failures), time.time() - started))
    return 1 if failures else 0


sys.exit(main())
