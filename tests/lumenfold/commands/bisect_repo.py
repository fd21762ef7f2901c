"""A small git repository to bisect: a library preloaded into a program,
which hooks glXSwapBuffers, over ten commits. One commit makes each swap
wait as long again as the time since the swap before: for streaming, whose
frame is three kernel blocks each ending in a swap, about a third of a frame
at each swap. An earlier commit does not build; one is a merge.
"""

import os
import subprocess

SOURCE = """/* Passes glXSwapBuffers through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <time.h>

typedef void (*swap_function)(void *, unsigned long);

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static double delay_share(void) { return 0.0; }

void glXSwapBuffers(void *display, unsigned long drawable) {
    static swap_function real;
    static double last;
    if (!real) real = (swap_function)dlsym(RTLD_NEXT, "glXSwapBuffers");
    const double start = now();
    const double wait = last > 0 ? (start - last) * delay_share() : 0;
    if (wait > 0) {
        struct timespec pause = {(time_t)wait, (long)((wait - (time_t)wait) * 1e9)};
        nanosleep(&pause, 0);
    }
    real(display, drawable);
    last = now();
}
"""

LIBRARY = "libswapdelay.so"
# Built in the tree; the program preloads it from there.
BUILD = "cc -shared -fPIC -o {tree}/%s {tree}/swap_delay.c -ldl" % LIBRARY
ENV = "LD_PRELOAD={tree}/%s" % LIBRARY

DELAY = "wait at each swap as long as since the last one"
BROKEN = "half-written: the delay share as a setting"


def git(repo, *args):
    return subprocess.run(["git", *args], cwd=repo, check=True, capture_output=True, text=True).stdout.strip()


def make_repository(parent):
    """The repository in parent/repo, branch main checked out; returns its path."""
    repo = os.path.join(parent, "repo")
    os.makedirs(repo)
    git(repo, "init", "-q", "-b", "main")
    git(repo, "config", "user.email", "tester@example.com")
    git(repo, "config", "user.name", "Tester")
    path = os.path.join(repo, "swap_delay.c")
    text = [SOURCE]

    def commit(message, old=None, new=None, append=None):
        if old is not None:
            assert old in text[0], old
            text[0] = text[0].replace(old, new, 1)
        if append is not None:
            text[0] += append
        with open(path, "w") as handle:
            handle.write(text[0])
        git(repo, "add", "swap_delay.c")
        git(repo, "commit", "-q", "-m", message)

    commit("swap hook that passes every swap through")
    commit("say what the hook does", "through. */", "through, timing each. */")
    git(repo, "checkout", "-q", "-b", "side")
    commit("side: a note at the end", append="/* side */\n")
    git(repo, "checkout", "-q", "main")
    commit("main: a note at the top", "/* Passes", "/* main */\n/* Passes")
    git(repo, "merge", "-q", "--no-edit", "-m", "merge the side branch", "side")
    with open(path) as handle:
        text[0] = handle.read()
    commit("name the clock", "static double now", "/* monotonic */\nstatic double now")
    commit(BROKEN, "{ return 0.0; }", "{ return 0.0 }")
    commit("finish the delay share", "{ return 0.0 }", "{ return 0.0; }")
    commit(DELAY, "{ return 0.0; }", "{ return 1.0; }")
    commit("another note", append="/* a */\n")
    return repo
