#!/usr/bin/python3
"""check_package.py BUILD_DIR SOURCE_DIR VERSION: the Debian package, built with the documented
command and checked with dpkg-deb, desktop-file-validate, appstreamcli, lintian and its window."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

BUILD, SOURCE, VERSION = sys.argv[1:4]
ARCH = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout
DEB = os.path.join(BUILD, f"permscope_{VERSION}_{ARCH.strip()}.deb")
APP = "org.permscope.Permscope"
FILES = {"usr/bin/permscope -> ../lib/permscope/permscope", "usr/bin/permscope-report",
         "usr/lib/permscope/permscope", "usr/lib/permscope/btnende.jpg",
         f"usr/share/applications/{APP}.desktop", f"usr/share/metainfo/{APP}.metainfo.xml",
         f"usr/share/icons/hicolor/scalable/apps/{APP}.svg", "usr/share/man/man1/permscope.1.gz",
         "usr/share/man/man1/permscope-report.1.gz", "usr/share/doc/permscope/copyright",
         "usr/share/doc/permscope/changelog.gz"}


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        run("rm", "-f", DEB)
        built = run("cmake", "--build", BUILD, "--target", "package")
        assert built.returncode == 0 and os.path.exists(DEB), built.stdout + built.stderr
        cls.root = tempfile.mkdtemp(prefix="permscope-package-")
        cls.addClassCleanup(shutil.rmtree, cls.root)
        subprocess.run(["dpkg-deb", "-x", DEB, cls.root], check=True)

    def test_it_holds_the_programs_beside_their_picture_the_desktop_files_and_its_libraries(self):
        listing = run("dpkg-deb", "-c", DEB).stdout.splitlines()
        self.assertEqual({re.sub(r"^.*? \./", "", line) for line in listing if line[0] != "d"},
                         FILES)
        depends = run("dpkg-deb", "-f", DEB, "Depends").stdout  # run-time libraries only
        for library in ("libqt6widgets6", "libsmbclient", "libxlsxwriter4"):
            self.assertRegex(depends, rf"(^|, ){library}\b")
        self.assertNotRegex(depends, r"-dev\b|slapd|samba\b|googletest|xvfb|python3")

    def test_cmake_install_lays_out_the_same_tree(self):
        with tempfile.TemporaryDirectory() as prefix:
            installed = run("cmake", "--install", BUILD, "--prefix", f"{prefix}/usr")
            self.assertEqual(installed.returncode, 0, installed.stderr)
            found = run("find", prefix, "!", "-type", "d", "-printf", r"%P -> %l\n").stdout
        self.assertEqual({line.removesuffix(" -> ") for line in found.splitlines()}, FILES)

    def test_the_menu_entry_and_the_metadata_pass_their_validators(self):
        desktop = run("desktop-file-validate", f"{self.root}/usr/share/applications/{APP}.desktop")
        self.assertEqual((desktop.returncode, desktop.stdout + desktop.stderr), (0, ""))
        metainfo = run("appstreamcli", "validate", "--no-net",
                       f"{self.root}/usr/share/metainfo/{APP}.metainfo.xml")
        self.assertEqual(metainfo.returncode, 0, metainfo.stdout + metainfo.stderr)
        self.assertNotRegex(metainfo.stdout, r"(?m)^[EW]: ")

    def test_lintian_finds_no_error_and_the_readme_names_every_warning(self):
        found = run("lintian", "--tag-display-limit", "0", DEB).stdout.splitlines()
        self.assertEqual([line for line in found if line.startswith("E:")], [])
        with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as readme:
            text = readme.read()
        for line in found:
            if line.startswith("W:"):
                self.assertIn(line.split()[2], text, line)

    def test_the_window_started_from_usr_bin_finds_its_hover_picture_in_its_own_folder(self):
        read_end, write_end = os.pipe()
        screen = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp"],
                                  pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as display, tempfile.TemporaryDirectory() as work:
            env = dict(os.environ, DISPLAY=":" + display.readline().strip(), LDAPNOINIT="1",
                       KRB5_CONFIG="/dev/null", QT_QPA_PLATFORM="xcb")
            window = subprocess.Popen([f"{self.root}/usr/bin/permscope"], cwd=work, env=env)
            try:
                # Away from the close label, then on it: its picture must appear.
                before, after = (corner(env, x, y) for x, y in ((300, 300), (680, 15)))
            finally:
                for process in (window, screen):
                    process.kill()
                    process.wait()
        self.assertTrue(before != after, "the close label's picture did not appear")


def corner(env, x, y):
    """The close label's pixels while the mouse stands at x, y of the window."""
    for _ in range(100):
        found = run("xdotool", "search", "--onlyvisible", "--name", "^Permscope$", env=env)
        if found.stdout:
            break
        time.sleep(0.1)
    window = found.stdout.split()[0]
    time.sleep(1)  # the first read and the first paint
    subprocess.run(["xdotool", "mousemove", "--window", window, str(x), str(y)], env=env,
                   check=True)
    time.sleep(0.5)
    return subprocess.run(["import", "-window", window, "-crop", "57x33+656+0", "rgb:-"],
                          env=env, capture_output=True, check=True).stdout


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
