"""Drives the installer's window through tools/ui_driver, as a person would:
controls by id, texts by WM_GETTEXT, clicks by BM_CLICK, and screenshots of
the window from the X display."""

import os
import subprocess
from pathlib import Path

# Control ids of the main dialog, by the layout's names.
CONTROL_IDS = {
    "title": 1000, "install_button": 1, "cancel_button": 1010, "close_button": 1009,
    "default_checkbox": 1002, "statistics_checkbox": 1003, "taskbar_checkbox": 1004,
    "privacy_link": 1021, "progress_bar": 1012, "percent_text": 1055,
}


def _rect(text):
    return tuple(int(v) for v in text.split(","))


class Control:
    def __init__(self, line):
        ident, cls, visible, rect, text = line.split("|", 4)
        self.id = int(ident)
        self.cls = cls
        self.visible = visible == "1"
        self.rect = _rect(rect)
        self.text = text.replace("\\n", "\n")

    def __repr__(self):
        return f"<{self.id} {self.cls} {'shown' if self.visible else 'hidden'} {self.rect} {self.text!r}>"


class WindowDriver:
    def __init__(self, wine):
        self.wine = wine
        self.process = subprocess.Popen(
            [str(wine.runner), str(wine.exe("ui_driver"))], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, encoding="utf-8")
        self.window = {}

    def command(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        lines = []
        while True:
            answer = self.process.stdout.readline()
            if not answer:
                raise AssertionError(f"ui_driver ended during {line!r}")
            answer = answer.rstrip("\n")
            if answer == "end":
                return lines
            lines.append(answer)

    def fields(self, line):
        return dict(a.split("=", 1) for a in self.command(line) if "=" in a)

    def find(self, exe="lite_installer.exe", timeout_ms=60000):
        self.window = self.fields(f"find {exe} {timeout_ms}")
        assert "error" not in self.window, self.window
        return self.window

    def dialog(self, timeout_ms=20000):
        """Works on the process's other window (a secondary dialog) from now."""
        found = self.fields(f"dialog {timeout_ms}")
        assert "error" not in found, found
        self.main_window, self.window = self.window, found
        return found

    def main(self):
        self.command("main")
        self.window = getattr(self, "main_window", self.window)

    def controls(self):
        return [Control(a.split("=", 1)[1]) for a in self.command("controls")
                if a.startswith("control=")]

    def visible(self):
        return {c.id: c for c in self.controls() if c.visible}

    def text(self, control_id):
        return self.fields(f"text {control_id}").get("text", "").replace("\\n", "\n")

    def checked(self, control_id):
        return self.fields(f"check {control_id}").get("check") == "1"

    def click(self, control_id):
        assert "clicked" in self.fields(f"click {control_id}")

    def escape(self):
        self.command("key escape")

    def system_close(self):
        self.command("syscommand close")

    def post(self, name, wparam=0):
        return self.fields(f"post {name} {wparam}").get("posted") == "1"

    def gone(self, timeout_ms=30000):
        return self.fields(f"gone {timeout_ms}").get("gone") == "1"

    def answers_within(self, timeout_ms):
        found = self.fields(f"null {timeout_ms}")
        return found.get("answered") == "1", int(found.get("ms", "-1"))

    def layout(self, variant, scale):
        return {k: _rect(v) for k, v in self.fields(f"layout {variant} {scale}").items()}

    def screenshot(self, path):
        """Saves the window's client area, as the X display shows it."""
        left, top, right, bottom = _rect(self.window["client"])
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        display = os.environ.get("DISPLAY", ":0")
        xwd = subprocess.run(["xwd", "-root", "-silent", "-display", display],
                             capture_output=True, check=True, timeout=60)
        subprocess.run(["convert", "xwd:-", "-crop",
                        f"{right - left}x{bottom - top}+{left}+{top}", "+repage", str(path)],
                       input=xwd.stdout, check=True, timeout=60)
        return path

    def close(self):
        try:
            self.process.stdin.write("quit\n")
            self.process.stdin.flush()
            self.process.wait(timeout=30)
        except Exception:
            self.process.kill()
