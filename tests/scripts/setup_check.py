#!/usr/bin/python3
"""Host check: the package step of scripts/setup against fake apt and dpkg tools, so it needs no
network and changes nothing on the machine. A mirror mid-sync must not end set-up; a set that
cannot be resolved must."""
import os
import subprocess
import sys
import tempfile
import unittest

SETUP = sys.argv.pop(1) if len(sys.argv) > 1 else "scripts/setup"
FAILED_INDEX = "http://mirror.test/debian-security/dists/sec/main/binary-i386/Packages.xz"
UNREACHABLE = "http://127.0.0.1:9/debian/dists/local/InRelease"

# One program under every name; it records each call in one write, then answers as the test says.
FAKE = r"""#!/bin/bash
tool=${0##*/}
printf '%s\n' "$tool $*" >> "$FAKE_LOG"
case "$tool $*" in
  "dpkg-query "*)
    [ "$FAKE_INSTALLED" = all ] && { echo 'install ok installed'; exit 0; }
    echo "dpkg-query: no packages found matching ${*: -1}" >&2; exit 1 ;;
  "dpkg --print-foreign-architectures" | "dpkg --add-architecture "*) exit 0 ;;
  "apt-get update"*)
    [ "$FAKE_UPDATE" = ok ] && exit 0
    echo "W: Failed to fetch $UNREACHABLE  Could not connect to 127.0.0.1:9 (127.0.0.1)." >&2
    echo "E: Failed to fetch $FAILED_INDEX  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
  "apt-get -s install"*)
    [ "$FAKE_RESOLVE" = newest ] && exit 0
    [ "$FAKE_RESOLVE" = release ] && [[ " $* " == *" -t "* ]] && exit 0
    echo "Reading package lists..."; echo "Building dependency tree..."
    [ "$FAKE_RESOLVE" = quiet ] && exit 100
    echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100 ;;
  "apt-get install"*) [ "$FAKE_INSTALL" = ok ] && exit 0
    echo "E: Sub-process /usr/bin/dpkg returned an error code (1)" >&2; exit 100 ;;
esac
exit 1
"""


class PackageStep(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        bin_dir = os.path.join(self.dir.name, "bin")
        os.mkdir(bin_dir)
        fake = os.path.join(self.dir.name, "fake")
        with open(fake, "w") as f:
            f.write(FAKE)
        os.chmod(fake, 0o755)
        for tool in ("apt-get", "apt-cache", "apt", "dpkg", "dpkg-query"):
            os.symlink(fake, os.path.join(bin_dir, tool))
        self.os_release = os.path.join(self.dir.name, "os-release")
        with open(self.os_release, "w") as f:
            f.write('ID=debian\nVERSION_CODENAME="testcodename"\n')
        self.log = os.path.join(self.dir.name, "calls")
        open(self.log, "w").close()
        self.env = {
            "PATH": bin_dir + ":/usr/bin:/bin", "LC_ALL": "C", "HOME": self.dir.name,
            "SETUP_RETRY_PAUSE": "0", "SETUP_OS_RELEASE": self.os_release,
            "FAKE_LOG": self.log, "FAILED_INDEX": FAILED_INDEX, "UNREACHABLE": UNREACHABLE, "FAKE_INSTALLED": "none",
            "FAKE_UPDATE": "ok", "FAKE_RESOLVE": "newest", "FAKE_INSTALL": "ok",
        }

    def tearDown(self):
        self.dir.cleanup()

    def run_step(self, **fakes):
        self.env.update(fakes)
        done = subprocess.run(["bash", SETUP, "packages"], env=self.env, capture_output=True,
                              text=True, timeout=60)
        with open(self.log) as f:
            calls = [line.split() for line in f.read().splitlines()]
        return done, [c for c in calls if c[0] in ("apt-get", "apt-cache", "apt")]

    def installs(self, apt_calls):
        return [c for c in apt_calls if c[:2] == ["apt-get", "install"]]

    def test_failing_update_is_retried_then_install_goes_on(self):
        done, calls = self.run_step(FAKE_UPDATE="fail")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertGreaterEqual(calls.count(["apt-get", "update", "-q"]), 2)
        self.assertIn(FAILED_INDEX, done.stderr)
        self.assertIn(UNREACHABLE, done.stderr)
        self.assertEqual(len(self.installs(calls)), 1)
        self.assertNotIn("-t", self.installs(calls)[0])

    def test_unresolved_newest_falls_back_to_the_release(self):
        done, calls = self.run_step(FAKE_RESOLVE="release")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(calls.count(["apt-get", "update", "-q"]), 1)
        [install] = self.installs(calls)
        self.assertIn("--no-remove", install)
        self.assertEqual(install[install.index("-t") + 1], "testcodename")
        self.assertIn("out of step", done.stderr)

    def test_unresolvable_set_stops_before_installing(self):
        done, calls = self.run_step(FAKE_RESOLVE="none")
        self.assertNotEqual(done.returncode, 0)
        self.assertEqual(self.installs(calls), [])
        self.assertIn("held broken packages", done.stderr)
        self.assertIn("the package mirror may be mid-sync: run again later", done.stderr)
        self.assertEqual(done.stderr.count("setup: "), 2, done.stderr)

    def test_every_unresolvable_set_is_told(self):
        # No release to fall back to, and apt failing with nothing but the lines set-up leaves out.
        for fakes in ({"SETUP_OS_RELEASE": os.path.join(self.dir.name, "nowhere"), "FAKE_RESOLVE": "none"},
                      {"SETUP_OS_RELEASE": self.os_release, "FAKE_RESOLVE": "quiet"}):
            with self.subTest(**fakes):
                done, calls = self.run_step(**fakes)
                self.assertNotEqual(done.returncode, 0)
                self.assertEqual(self.installs(calls), [])
                self.assertRegex(done.stderr, "setup: could not install .*wine32:i386")
                self.assertIn("the package mirror may be mid-sync: run again later", done.stderr)

    def test_failing_install_is_not_retried_with_another_target(self):
        done, calls = self.run_step(FAKE_INSTALL="fail")
        self.assertNotEqual(done.returncode, 0)
        self.assertEqual(len(self.installs(calls)), 1)

    def test_nothing_missing_makes_no_apt_call(self):
        done, calls = self.run_step(FAKE_INSTALLED="all")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(calls, [])


if __name__ == "__main__":
    unittest.main()
