"""Runs the built lumenfold from the Python tests: one path to it and one
way to call it, with its input closed so that no prompt can wait for a
terminal that is not there, and a timeout so that a hang fails the test."""

import os
import subprocess

from harness import BUILD

LUMENFOLD = os.path.join(BUILD, "lumenfold", "lumenfold")


def run_lumenfold(*args, env=None, cwd=None, timeout=120, text=True):
    """Its exit status, standard output and error, as subprocess.run gives them."""
    return subprocess.run([LUMENFOLD, *args], env=env, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True,
                          text=text, timeout=timeout)
