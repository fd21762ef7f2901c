"""Runs one program on a private virtual X server: R, some frames, Esc, Enter.

The program's console output is printed when the run ends; its results file
stays in the current directory.
"""

import os
import sys

from harness import Run, Xvfb

TITLES = {"triangles": "OPENGL Triangles Lite 64", "cube": "OPENGL Cube Lite 64",
          "streaming": "OPENGL Streaming Lite 64"}
FRAME_LINE = {"triangles": "It drew ", "cube": "The system spent: ", "streaming": "Logic Streaming."}


def main():
    program, frames = sys.argv[1], int(sys.argv[2])
    xvfb = Xvfb()
    run = Run(program, xvfb, workdir=os.getcwd())
    try:
        run.find_window(TITLES[program])
        run.key("r")
        run.wait_for_prefix(FRAME_LINE[program], frames + 1, timeout=600)
        run.key("p")
        status = run.finish(timeout=600)
    finally:
        for line in run.lines:
            print(line)
        run.kill()
        xvfb.close()
    sys.stderr.write(run.stderr_text())
    sys.exit(status)


if __name__ == "__main__":
    main()
