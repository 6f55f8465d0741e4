#!/usr/bin/python3
"""Host check: how scripts/test, scripts/build and the scripts that run the program treat Wine's
32-bit loader. Only a kernel that refuses i386 programs may leave the shipped build untested; any
other failure of the loader is a broken set-up and must stop the run. The real scripts run in a copy
of the tree whose set-up steps, Wine, cmake and ctest are fakes, so nothing is built or installed."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SCRIPTS = sys.argv.pop(1) if len(sys.argv) > 1 else "scripts"

# One program under every name; it records each call in one write.
FAKE = r"""#!/bin/bash
printf '%s\n' "${0##*/} $*" >> "$FAKE_LOG"
exit 0
"""

# The steps of scripts/test that are not under test.
STEPS = {
    "setup": "#!/bin/bash\nexit 0\n",
    "check-shipped": "#!/bin/bash\nexit 0\n",
    "wine-prefix": "#!/bin/bash\nexit 0\n",
    "xvfb.sh": "xvfb_start() { export DISPLAY=:99; }\nxvfb_stop() { :; }\n",
}

LIBRARY_MISSING = "error while loading shared libraries: libc.so.6: cannot open shared object file"

# How the 32-bit loader answers --version: (file bytes, mode).
LOADERS = {
    "works": (b"#!/bin/bash\necho wine-8.0\n", 0o755),
    # An i386 program this kernel will not take: bash itself says so, with exit 126.
    "refused": (b"\x7fELF\x01\x01\x01" + bytes(9) + b"\x02\x00\x03\x00" + bytes(64), 0o755),
    # An i386 library missing, as the dynamic loader says it: exit 127.
    "library": (("#!/bin/bash\necho \"$0: %s: No such file or directory\" >&2\nexit 127\n"
                 % LIBRARY_MISSING).encode(), 0o755),
    # Exit 126 too, but not the kernel's refusal.
    "unreadable": (b"#!/bin/bash\necho wine-8.0\n", 0o644),
    "crashes": (b"#!/bin/bash\nkill -SEGV $$\n", 0o755),
}


class Loader(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = os.path.join(self.dir.name, "tree")
        scripts = os.path.join(self.root, "scripts")
        os.makedirs(scripts)
        for name in ("test", "build", "wine.sh"):
            shutil.copy(os.path.join(SCRIPTS, name), scripts)
        for name, text in STEPS.items():
            self.write(os.path.join(scripts, name), text.encode(), 0o755)
        os.makedirs(os.path.join(self.root, "build"))
        open(os.path.join(self.root, "CMakePresets.json"), "w").close()

        fake = os.path.join(self.dir.name, "fake")
        self.write(fake, FAKE.encode(), 0o755)
        bin_dir = os.path.join(self.dir.name, "bin")
        self.wine_dir = os.path.join(self.dir.name, "wine")
        os.mkdir(bin_dir)
        os.mkdir(self.wine_dir)
        for tool in ("cmake", "ctest"):
            os.symlink(fake, os.path.join(bin_dir, tool))
        for tool in ("wine64", "wineserver"):
            os.symlink(fake, os.path.join(self.wine_dir, tool))
        self.log = os.path.join(self.dir.name, "calls")
        open(self.log, "w").close()
        self.env = {"PATH": bin_dir + ":/usr/bin:/bin", "LC_ALL": "C", "HOME": self.dir.name,
                    "WINE_DIR": self.wine_dir, "FAKE_LOG": self.log}

    def tearDown(self):
        self.dir.cleanup()

    @staticmethod
    def write(path, data, mode):
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, mode)

    def run_script(self, loader, command, cwd=None):
        data, mode = LOADERS[loader]
        self.write(os.path.join(self.wine_dir, "wine"), data, mode)
        done = subprocess.run(command, cwd=cwd or self.root, env=self.env, capture_output=True, text=True,
                              timeout=120)
        with open(self.log) as f:
            calls = f.read().splitlines()
        return done, calls

    def builds_tested(self, calls):
        return [c.split("--test-dir ")[1].split()[0] for c in calls if c.startswith("ctest ")]

    def test_only_the_kernels_refusal_skips_the_shipped_build(self):
        done, calls = self.run_script("refused", ["scripts/test"])
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertIn("build/win32 is built but NOT TESTED", done.stdout)
        self.assertIn("Exec format error", done.stdout)
        self.assertEqual(self.builds_tested(calls), ["build/win64"])
        # The i686 build takes the templates of win64's generator, which it cannot run.
        self.assertIn("cmake --build --preset win64 --target control_templates", calls)

    def test_a_working_loader_tests_both_builds(self):
        done, calls = self.run_script("works", ["scripts/test"])
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertNotIn("NOT TESTED", done.stdout + done.stderr)
        self.assertEqual(self.builds_tested(calls), ["build/win32", "build/win64"])
        self.assertNotIn("control_templates", "\n".join(calls))

    def test_a_broken_loader_stops_the_run(self):
        for loader in ("library", "unreadable", "crashes"):
            with self.subTest(loader=loader):
                open(self.log, "w").close()
                done, calls = self.run_script(loader, ["scripts/test"])
                self.assertNotEqual(done.returncode, 0, done.stdout)
                self.assertNotIn("NOT TESTED", done.stdout + done.stderr)
                self.assertIn("run scripts/setup", done.stderr)
                self.assertEqual(self.builds_tested(calls), [])
                self.assertEqual([c for c in calls if c.startswith("cmake")], [])
        # The loader's own words reach the user.
        done, _ = self.run_script("library", ["scripts/build", "win32"])
        self.assertNotEqual(done.returncode, 0)
        self.assertIn(LIBRARY_MISSING, done.stderr)
        self.assertIn("run scripts/setup", done.stderr)

    def test_the_program_runs_the_64_bit_twin_only_where_the_kernel_refuses(self):
        preset = ["bash", "-c", ". scripts/wine.sh && wine_program_preset"]
        for loader, answer in (("works", "win32"), ("refused", "win64")):
            done, _ = self.run_script(loader, preset)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(done.stdout, answer + "\n")
        done, _ = self.run_script("library", preset)
        self.assertNotEqual(done.returncode, 0)
        self.assertEqual(done.stdout, "")
        self.assertIn(LIBRARY_MISSING, done.stderr)

    def test_build_runs_from_any_folder(self):
        done, calls = self.run_script("refused", ["../scripts/build", "win32"], cwd=os.path.join(self.root, "build"))
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertIn("cmake --build --preset win64 --target control_templates", calls)
        self.assertIn("cmake --build --preset win32", calls)


if __name__ == "__main__":
    unittest.main()
