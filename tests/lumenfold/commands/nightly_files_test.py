"""What a fleet installs to run `lumenfold nightly`: the systemd service and
timer the package ships pass systemd's own check, and the CI job and
workflow in docs/fleet parse and run the night as documented."""

import os
import shutil
import subprocess
import tempfile
import unittest

import yaml

from harness import BUILD

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))
UNITS = os.path.join(SOURCE, "scripts", "systemd")
FLEET = os.path.join(SOURCE, "docs", "fleet")
COMMAND = "lumenfold nightly --config /etc/lumenfold/nightly.toml"


class NightlyFiles(unittest.TestCase):
    def verify(self, units):
        """systemd-analyze verify in a root holding the units where the
        package puts them, lumenfold where the service runs it, and
        systemd's own units beside them."""
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, "usr", "bin"))
            shutil.copy(os.path.join(BUILD, "lumenfold", "lumenfold"), os.path.join(root, "usr", "bin"))
            os.makedirs(os.path.join(root, "usr", "lib", "systemd"))
            os.symlink("/lib/systemd/system", os.path.join(root, "usr", "lib", "systemd", "system"))
            target = os.path.join(root, "etc", "systemd", "system")
            os.makedirs(target)
            for name, text in units.items():
                with open(os.path.join(target, name), "w") as f:
                    f.write(text)
            return subprocess.run(["systemd-analyze", "verify", "--man=no", f"--root={root}",
                                   *[f"/etc/systemd/system/{name}" for name in units]],
                                  capture_output=True, text=True, timeout=60)

    def test_the_units_pass_systemds_check(self):
        units = {}
        for name in ("lumenfold-nightly.service", "lumenfold-nightly.timer"):
            with open(os.path.join(UNITS, name)) as f:
                units[name] = f.read()
        checked = self.verify(units)
        self.assertEqual(checked.returncode, 0, checked.stderr)
        self.assertIn(f"ExecStart=/usr/bin/{COMMAND}\n", units["lumenfold-nightly.service"])
        self.assertIn("SuccessExitStatus=3\n", units["lumenfold-nightly.service"])
        # The check is a real one: a timer without a valid time is refused.
        broken = dict(units)
        broken["lumenfold-nightly.timer"] = units["lumenfold-nightly.timer"].replace("02:30:00", "25:30:00")
        self.assertNotEqual(self.verify(broken).returncode, 0)

    def test_the_ci_job_and_workflow_run_the_night_and_take_3_as_alerts(self):
        with open(os.path.join(FLEET, "gitlab-ci.yml")) as f:
            job = yaml.safe_load(f)["nightly"]
        self.assertEqual(job["script"], [COMMAND])
        self.assertEqual(job["allow_failure"], {"exit_codes": [3]})
        self.assertEqual(job["tags"], ["lumenfold-$MACHINE"])
        with open(os.path.join(FLEET, "github-nightly.yml")) as f:
            workflow = yaml.safe_load(f)
        # YAML 1.1 reads the key "on" as true.
        self.assertIn("schedule", workflow[True])
        job = workflow["jobs"]["nightly"]
        self.assertEqual(job["runs-on"][0], "self-hosted")
        [step] = job["steps"]
        script = step["run"]
        self.assertIn(COMMAND, script)
        # The step's shell: 3 passes with a warning, 1 fails, 0 passes.
        for status, expected in ((0, 0), (3, 0), (1, 1)):
            fake = script.replace(COMMAND, f"(exit {status})")
            self.assertEqual(subprocess.run(["bash", "-c", fake], capture_output=True).returncode, expected, status)


if __name__ == "__main__":
    unittest.main()
