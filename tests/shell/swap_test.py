"""The swap-interval request at start-up: silent when the driver lets swaps run
free, one warning on standard error otherwise, and never a change of the
console or results-file lines."""

import os
import unittest

from harness import ProgramTest, Run

SHIM = os.path.join(os.environ["LUMENFOLD_BUILD"], "tests", "shell", "libswap_shim.so")
TITLE = "OPENGL Triangles Lite 64"
NO_CONTROL = ("Warning: the driver offers no swap-interval control, so frame rates may be "
              "capped by the display's refresh.")
KEPT_ON = ("Warning: the driver keeps vertical sync on, so frame rates may be capped by the "
           "display's refresh.")


class SwapInterval(ProgramTest):

    def run_with(self, extra_env):
        env = dict(self.xvfb.env())
        env.update(extra_env)
        run = Run("triangles", self.xvfb, env=env)
        self.runs.append(run)
        run.find_window(TITLE)
        run.wait_for_block("It drew ", 1, 4)
        self.assertEqual(run.finish(), 0)
        self.assertIn("It drew 1200 Triangles.", run.lines)
        self.assertIn("It drew 1200 Triangles.", run.results_lines())
        return run.stderr_text().splitlines()

    def test_driver_that_honours_the_request_gives_no_warning(self):
        errors = self.run_with({"LD_PRELOAD": SHIM, "LUMENFOLD_SHIM_INTERVAL": "honour"})
        self.assertEqual(errors, [])

    def test_driver_that_keeps_vsync_on_is_named_once(self):
        errors = self.run_with({"LD_PRELOAD": SHIM, "LUMENFOLD_SHIM_INTERVAL": "1"})
        self.assertEqual(errors, [KEPT_ON])

    def test_driver_without_swap_control_is_named_once(self):
        # The virtual X server's software driver offers neither extension.
        errors = self.run_with({})
        self.assertEqual(errors, [NO_CONTROL])


if __name__ == "__main__":
    unittest.main(verbosity=2)
