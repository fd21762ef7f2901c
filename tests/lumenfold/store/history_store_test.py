"""`lumenfold history` against a real store: a SQLite file, or (argument
"postgres") a PostgreSQL server this test starts itself, initdb in a
temporary directory, its socket there and no TCP port, run as an
unprivileged user. The same cases run on both engines."""

import json
import os
import pwd
import random
import shutil
import math
import signal
import sqlite3
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from lumenfold_cli import LUMENFOLD, run_lumenfold

ENGINE = sys.argv.pop(1) if len(sys.argv) > 1 and sys.argv[1] in ("sqlite", "postgres") else "sqlite"
PG_BIN = "/usr/lib/postgresql/15/bin"
TIMEOUT = 120
VERTICES = 256 ** 3
FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")


def cube_results(rates):
    """A cube results file as the program writes it, its frames near the rates."""
    text = ("Quorvex :: Lumenfold Benchmark Graphics Cube Lite for Windows on x86 64bit system 2019.12.06.\n\n\n"
            "It spent: 12.5 Secs to Initialize.\n\n\n")
    total = 0
    for rate in rates:
        seconds = round(VERTICES / rate, 3)
        total += seconds
        text += f"window: 1\nThe system spent: {seconds:.3f} Secs. \nIt was: {1 / seconds:g} Angles/sec.\n" \
                f"It was: {VERTICES / seconds:g} Vertex/sec.\n\n"
    return text + (f"Total running time:  {total:.3f} Secs. \nAverage Angles/Sec: {len(rates) / total:g} Angles/Sec.\n"
                   f"Average Vertex/Sec: {len(rates) * VERTICES / total:g} Vertex/Sec.\n\n")


def context(day, renderer="llvmpipe (LLVM 15.0.6, 256 bits)"):
    return json.dumps({"program": "cube", "date": f"2026-11-{day:02d}T03:00:00+01:00",
                       "gl": {"vendor": "Mesa", "renderer": renderer, "version": "4.5 Mesa 22.3.6"},
                       "kernel": {"release": "6.1.0-13-amd64"}, "version": "1.0", "cpu": {"model": "EPYC"},
                       "environment": {}, "warnings": []}, indent=2)


class Postgres:
    """A private server: its data and socket in one temporary directory."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="lumenfold-pg-")
        as_user = []
        if os.geteuid() == 0:
            # The server refuses to run as root, as CI does.
            user = pwd.getpwnam("nobody")
            os.chown(self.dir, user.pw_uid, user.pw_gid)
            as_user = ["runuser", "-u", "nobody", "--"]
        data = os.path.join(self.dir, "data")
        subprocess.run(as_user + [f"{PG_BIN}/initdb", "-D", data, "-U", "lumenfold", "--auth=trust", "-E", "UTF8"],
                       check=True, capture_output=True, timeout=TIMEOUT)
        self.proc = subprocess.Popen(as_user + [f"{PG_BIN}/postgres", "-D", data, "-k", self.dir,
                                                "-c", "listen_addresses=", "-c", "fsync=off"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while subprocess.run([f"{PG_BIN}/pg_isready", "-h", self.dir, "-U", "lumenfold"],
                             capture_output=True).returncode != 0:
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("PostgreSQL did not start")
            time.sleep(0.1)
        self.databases = 0

    def new_store(self):
        self.databases += 1
        name = f"history{self.databases}"
        self.psql("postgres", f"CREATE DATABASE {name}")
        return PostgresStore(self, name)

    def psql(self, database, query):
        result = subprocess.run([f"{PG_BIN}/psql", "-h", self.dir, "-U", "lumenfold", "-d", database, "-At",
                                 "-F", "\x1f", "-R", "\x1e", "-v", "ON_ERROR_STOP=1", "-c", query],
                                capture_output=True, text=True, timeout=TIMEOUT, check=True)
        return [row.split("\x1f") for row in result.stdout.rstrip("\n").split("\x1e") if row]

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=60)
        shutil.rmtree(self.dir)


class PostgresStore:
    def __init__(self, server, name):
        self.server, self.name = server, name
        self.db = f"postgresql://lumenfold@/{name}?host={server.dir}"

    def sql(self, query):
        return self.server.psql(self.name, query)

    def snapshot(self):
        return self.sql("SELECT * FROM lumenfold_schema") + self.sql("SELECT id, sha256 FROM runs ORDER BY id") + \
            self.sql("SELECT sum(count) FROM frame_columns")

    def hex(self, column):
        return f"encode({column}, 'hex')"

    def load(self, fixture):
        subprocess.run([f"{PG_BIN}/psql", "-h", self.server.dir, "-U", "lumenfold", "-d", self.name, "-q",
                        "-v", "ON_ERROR_STOP=1", "-f", os.path.join(FIXTURES, fixture + ".postgres.sql")],
                       check=True, capture_output=True, timeout=TIMEOUT)


class SqliteStore:
    def __init__(self, directory):
        self.path = os.path.join(directory, "store", "history.sqlite")
        self.db = "sqlite:" + self.path

    def sql(self, query):
        with sqlite3.connect(self.path, timeout=30) as connection:
            rows = [[str(v) for v in row] for row in connection.execute(query)]
        connection.close()
        return rows

    def hex(self, column):
        return f"hex({column})"

    def load(self, fixture):
        os.makedirs(os.path.dirname(self.path), mode=0o700)
        shutil.copy(os.path.join(FIXTURES, fixture + ".sqlite"), self.path)

    def snapshot(self):
        files = {}
        for name in sorted(os.listdir(os.path.dirname(self.path))):
            with open(os.path.join(os.path.dirname(self.path), name), "rb") as f:
                files[name] = f.read()
        return files


class HistoryStoreTest(unittest.TestCase):
    server = None

    @classmethod
    def setUpClass(cls):
        if ENGINE == "postgres":
            cls.server = Postgres()

    @classmethod
    def tearDownClass(cls):
        if cls.server:
            cls.server.close()

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="lumenfold-history-")
        self.store = self.server.new_store() if self.server else SqliteStore(self.dir)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def lumenfold(self, *args, env=None):
        return run_lumenfold("history", *args, "--db", self.store.db, timeout=TIMEOUT, env=env)

    def write_run(self, name, rates, day=1, renderer="llvmpipe (LLVM 15.0.6, 256 bits)", with_context=True):
        path = os.path.join(self.dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(cube_results(rates))
        if with_context:
            with open(path[:-4] + ".json", "w") as f:
                f.write(context(day, renderer))
        return path

    def test_adding_is_idempotent_and_keeps_every_frame_and_the_whole_context(self):
        first = [self.write_run(f"a/results_cube_{i}.txt", [1e6 * (1 + i / 10), 2e6, 3e6], day=i + 1) for i in range(3)]
        hostile = self.write_run("b/results_cube_\x1b[31mred.txt", [5e6], day=9, with_context=False)
        added = self.lumenfold("add", os.path.join(self.dir, "a"), "--machine", "rig\x07one")
        self.assertEqual((added.returncode, added.stdout), (0, "added 3 runs, 0 already there\n"), added.stderr)
        again = self.lumenfold("add", first[0], os.path.join(self.dir, "b"), "--machine", "rig\x07one")
        self.assertEqual((again.returncode, again.stdout), (0, "added 1 run, 1 already there\n"), again.stderr)
        self.assertEqual(self.store.sql("SELECT sum(count) FROM frame_columns"), [["10"]])
        with open(first[1][:-4] + ".json") as f:
            self.assertEqual(self.store.sql(f"SELECT context FROM runs WHERE source_file = '{first[1]}'"),
                             [[f.read()]])
        [[rates]] = self.store.sql(f"SELECT {self.store.hex('rate')} FROM frame_columns f JOIN runs r "
                                   f"ON r.id = f.run_id WHERE source_file = '{first[2]}'")
        self.assertEqual(list(struct.unpack("<3d", bytes.fromhex(rates))),
                         [float(f"{VERTICES / round(VERTICES / r, 3):g}") for r in (1.2e6, 2e6, 3e6)])
        listed = self.lumenfold("list")
        self.assertNotIn("\x1b", listed.stdout + listed.stderr)
        self.assertNotIn("\x07", listed.stdout)
        self.assertIn("results_cube_\\x1b[31mred.txt", listed.stdout)
        runs = json.loads(self.lumenfold("list", "--format", "json").stdout)
        self.assertEqual([r["frames"] for r in runs], [3, 3, 3, 1])
        self.assertEqual({r["machine"] for r in runs}, {"rig\\x07one"})
        self.assertEqual(runs[3]["file"], hostile.replace("\x1b", "\\x1b"))
        excluded = self.lumenfold("exclude", str(runs[0]["id"]), "--reason", "thermal throttling")
        self.assertEqual(excluded.returncode, 0, excluded.stderr)
        runs = json.loads(self.lumenfold("list", "--format", "json").stdout)
        self.assertEqual((runs[0]["excluded"], runs[0]["reason"]), (True, "thermal throttling"))
        self.assertEqual(self.lumenfold("include", str(runs[0]["id"])).returncode, 0)
        self.assertFalse(json.loads(self.lumenfold("list", "--format", "json").stdout)[0]["excluded"])
        self.assertEqual(self.lumenfold("exclude", "999", "--reason", "x").returncode, 1)
        # A validation run read its frames back: stored, but never in a check.
        checked = self.write_run("c/results_cube_v.txt", [4e6], day=10)
        with open(checked[:-4] + ".json", "w") as f:
            f.write(json.dumps(dict(json.loads(context(10)), validation=True)))
        added = self.lumenfold("add", checked)
        self.assertIn("a validation run, stored as excluded from every check", added.stderr)
        last = json.loads(self.lumenfold("list", "--format", "json").stdout)[-1]
        self.assertEqual(last["excluded"], True)
        self.assertTrue(last["reason"].startswith("validation run"), last)

    def test_two_adders_at_once_store_each_run_exactly_once(self):
        for i in range(40):
            self.write_run(f"runs/results_cube_{i:02d}.txt", [1e6 * (1 + i / 100) + k * 1000 for k in range(200)], day=1)
        files = sorted(os.path.join(self.dir, "runs", f) for f in os.listdir(os.path.join(self.dir, "runs"))
                       if f.endswith(".txt"))
        self.lumenfold("add", files[0])   # the store exists, so both race on runs alone
        for attempt in range(2):
            adders = [subprocess.Popen([LUMENFOLD, "history", "add", *part, "--db", self.store.db],
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                      for part in (files[:30], files[10:])]
            outputs = [adder.communicate(timeout=TIMEOUT) for adder in adders]
            self.assertEqual([a.returncode for a in adders], [0, 0], outputs)
            added = sum(int(out.split()[1]) for out, _ in outputs)
            self.assertEqual(added, 39 if attempt == 0 else 0, outputs)
        self.assertEqual(self.store.sql("SELECT count(*), count(DISTINCT sha256) FROM runs"), [["40", "40"]])
        self.assertEqual(self.store.sql("SELECT sum(count) FROM frame_columns"), [["8000"]])

    def test_a_run_killed_mid_add_is_stored_whole_or_not_at_all(self):
        frames = 40000
        for i in range(30):
            self.write_run(f"big/results_cube_{i:02d}.txt", [1e6 * (1 + i / 100) + k for k in range(frames)])
        seed = self.write_run("seed/results_cube_seed.txt", [1e6])
        self.lumenfold("add", seed)
        adder = subprocess.Popen([LUMENFOLD, "history", "add", os.path.join(self.dir, "big"), "--db", self.store.db],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + TIMEOUT
        while self.store.sql("SELECT count(*) FROM runs") == [["1"]] and time.monotonic() < deadline:
            time.sleep(0.01)
        time.sleep(random.uniform(0, 0.05))
        adder.send_signal(signal.SIGKILL)
        adder.wait()
        stored = self.store.sql("SELECT r.frames, coalesce(sum(f.count), 0) FROM runs r "
                                f"LEFT JOIN frame_columns f ON f.run_id = r.id WHERE r.source_file <> '{seed}' "
                                "GROUP BY r.id, r.frames")
        self.assertGreater(len(stored), 0)
        self.assertLess(len(stored), 30, "the adder finished before it was killed")
        self.assertEqual(stored, [[str(frames), str(frames)]] * len(stored))
        again = self.lumenfold("add", os.path.join(self.dir, "big"))
        self.assertEqual(again.stdout, f"added {30 - len(stored)} runs, {len(stored)} already there\n", again.stderr)

    def test_a_store_of_a_newer_schema_is_refused_and_left_unchanged(self):
        self.assertEqual(self.lumenfold("add", self.write_run("results_cube_1.txt", [1e6])).returncode, 0)
        self.store.sql("UPDATE lumenfold_schema SET version = 99")
        before = self.store.snapshot()
        for args in (("add", self.write_run("results_cube_2.txt", [2e6])), ("list",), ("check",)):
            refused = self.lumenfold(*args)
            self.assertEqual(refused.returncode, 1, refused.stdout)
            self.assertIn("has schema version 99, newer than this lumenfold knows (4)", refused.stderr)
        self.assertEqual(self.store.snapshot(), before)

    def test_a_store_of_version_1_is_upgraded_keeping_every_run_and_frame(self):
        self.store.load("history-v1")
        columns = "first_line, window_number, seconds, rate, triangles, angles_per_second"
        rows = self.store.sql(f"SELECT run_id, kernel, {columns} FROM frames ORDER BY run_id, kernel, seq")
        kept = {}
        for run, kernel, *values in rows:
            kept.setdefault((run, kernel), []).append([float(v) if v not in ("", "None") else None for v in values])
        listed = self.lumenfold("list", "--format", "json")
        self.assertEqual(listed.returncode, 0, listed.stderr)
        self.assertIn("from schema version 1 to 2 (6 runs)", listed.stderr)
        runs = json.loads(listed.stdout)
        self.assertEqual([(r["id"], r["frames"], r["excluded"]) for r in runs],
                         [(1, 3, False), (2, 2, True), (3, 5, False), (4, 3, False), (5, 3, False), (6, 3, False)])
        self.assertEqual(runs[1]["reason"], "kept out on purpose")
        self.assertEqual(self.store.sql("SELECT version FROM lumenfold_schema"), [["4"]])
        packed = self.store.sql(f"SELECT run_id, kernel, count, {', '.join(self.store.hex(c) for c in columns.split(', '))} "
                                "FROM frame_columns ORDER BY run_id, kernel")
        upgraded = {}
        for run, kernel, count, *hexes in packed:
            n = int(count)
            formats = [f"<{n}i", f"<{n}q"] + [f"<{n}d"] * 4
            decoded = [struct.unpack(f, bytes.fromhex(h)) if h not in ("", "None") else [math.nan] * n
                       for f, h in zip(formats, hexes)]
            upgraded[(run, kernel)] = [[None if math.isnan(v) else float(v) for v in frame] for frame in zip(*decoded)]
        self.assertEqual(upgraded, kept)
        again = self.lumenfold("add", os.path.join(os.path.dirname(FIXTURES), "..", "..", "fuzz", "corpus", "cube.txt"))
        self.assertEqual(again.stdout, "added 0 runs, 1 already there\n", again.stderr)
        self.assertEqual(self.lumenfold("check").returncode, 0)

    def test_check_finds_the_step_dates_it_and_says_what_changed(self):
        rng = random.Random(5)
        for i in range(30):
            level = 1e7 * (0.9 if i >= 15 else 1.0) * (1 + 0.005 * rng.gauss(0, 1))
            self.write_run(f"nightly/results_cube_{i:02d}.txt", [level * (1 + 0.002 * rng.gauss(0, 1))
                                                                 for _ in range(5)],
                           day=i + 1, renderer="llvmpipe (LLVM 16)" if i >= 15 else "llvmpipe (LLVM 15)")
        self.assertEqual(self.lumenfold("add", os.path.join(self.dir, "nightly"), "--machine", "n1").returncode, 0)
        checked = self.lumenfold("check", "--figure", "verticesPerSecond", "--format", "json")
        self.assertEqual(checked.returncode, 3, checked.stderr)
        [point] = json.loads(checked.stdout)
        self.assertEqual((point["machine"], point["program"], point["figure"], point["position"], point["verdict"]),
                         ("n1", "cube", "verticesPerSecond", 16, "slower"))
        self.assertTrue(point["firstRunAfter"]["file"].endswith("results_cube_15.txt"))
        self.assertEqual(point["firstRunAfter"]["started"], "2026-11-16T03:00:00+01:00")
        self.assertLess(point["ciLow"], point["ratio"])
        self.assertLess(point["ciHigh"], 1)
        self.assertEqual(point["changed"], {"renderer": ["llvmpipe (LLVM 15)", "llvmpipe (LLVM 16)"]})
        markdown = self.lumenfold("check", "--figure", "verticesPerSecond", "--format", "markdown").stdout
        self.assertIn("| n1 | cube | verticesPerSecond | 16 |", markdown)
        runs = json.loads(self.lumenfold("list", "--format", "json").stdout)
        for run in runs[15:]:
            self.lumenfold("exclude", str(run["id"]), "--reason", "new LLVM")
        quiet = self.lumenfold("check")
        self.assertEqual(quiet.returncode, 0, quiet.stdout)
        self.assertIn("0 change points in 4 series", quiet.stdout)
        page = os.path.join(self.dir, "history.html")
        shown = self.lumenfold("show", "--html", page)
        self.assertEqual(shown.returncode, 0, shown.stderr)
        with open(page) as f:
            self.assertIn("Content-Security-Policy", f.read())

    def test_a_request_the_store_cannot_answer_is_refused_never_read_as_no_change(self):
        for i in range(3):
            self.write_run(f"n1/results_cube_{i}.txt", [1e6 * (1 + i / 10), 2e6], day=i + 1)
        self.assertEqual(self.lumenfold("add", os.path.join(self.dir, "n1"), "--machine", "n1").returncode, 0)
        page = os.path.join(self.dir, "history.html")
        for args, said in (
                (("check", "--figure", "nonsense"), 'unknown figure "nonsense"; the figure keys are triangles: '),
                (("check", "--program", "cube", "--figure", "floatMexecPerSecond"),
                 'cube has no figure "floatMexecPerSecond"; its keys are cube: setupSeconds'),
                (("check", "--machine", "n2"), 'the store holds no run of machine "n2"; its machines: n1'),
                (("show", "--html", page, "--program", "streaming"),
                 "the store holds no run of streaming; it holds runs of cube"),
                (("check", "--figure", "trianglesPerSecondStep3"),
                 "no matching run that is not excluded gives the figure trianglesPerSecondStep3")):
            refused = self.lumenfold(*args)
            self.assertEqual((refused.returncode, refused.stdout), (2, ""), args)
            self.assertIn(said, refused.stderr)
        self.assertFalse(os.path.exists(page))
        checked = self.lumenfold("check", "--machine", "n1", "--program", "cube", "--figure", "verticesPerSecond")
        self.assertEqual((checked.returncode, checked.stdout), (0, "0 change points in 1 series\n"), checked.stderr)

    @unittest.skipUnless(ENGINE == "sqlite", "a store named wrongly is refused before any engine is asked")
    def test_a_store_named_wrongly_is_refused_and_nothing_is_made(self):
        for db, status, said in (("mysql://x", 2, "unknown scheme mysql:// for the history store"),
                                 ("sqlite://x.sqlite", 2, "sqlite://x.sqlite names a host, not a file"),
                                 ("dbnme=x", 2, 'libpq refuses: invalid connection option "dbnme"'),
                                 ("typo/history.sqlite", 1, "no history store at typo/history.sqlite; "),
                                 ("/dev/null", 1, "the history store /dev/null is not a regular file")):
            for command in ("list", "check"):
                refused = run_lumenfold("history", command, "--db", db, cwd=self.dir, timeout=TIMEOUT)
                self.assertEqual((refused.returncode, refused.stdout), (status, ""), (db, command))
                self.assertIn(said, refused.stderr)
        self.assertEqual(os.listdir(self.dir), [])

    @unittest.skipUnless(ENGINE == "postgres", "a connection string with a password is PostgreSQL's")
    def test_a_password_is_never_printed(self):
        uri = f"postgresql://lumenfold:sekrit-pw@/nosuchdb?host={self.server.dir}"
        failed = run_lumenfold("history", "list", "--db", uri, timeout=TIMEOUT)
        self.assertEqual(failed.returncode, 1)
        self.assertNotIn("sekrit", failed.stdout + failed.stderr)
        self.assertIn(f"host {self.server.dir}, database nosuchdb", failed.stderr)

    @unittest.skipUnless(ENGINE == "sqlite", "the default store is a SQLite file")
    def test_the_default_store_is_private_and_in_wal_mode(self):
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(self.dir, "data"))
        env.pop("LUMENFOLD_HISTORY", None)
        result = run_lumenfold("history", "add", self.write_run("results_cube_1.txt", [1e6]), env=env, timeout=TIMEOUT)
        self.assertEqual(result.returncode, 0, result.stderr)
        path = os.path.join(self.dir, "data", "lumenfold", "history.sqlite")
        self.assertEqual(oct(os.stat(path).st_mode & 0o777), "0o600")
        self.assertEqual(oct(os.stat(os.path.dirname(path)).st_mode & 0o777), "0o700")
        with sqlite3.connect(path) as connection:
            self.assertEqual(connection.execute("PRAGMA journal_mode").fetchone(), ("wal",))
        connection.close()


if __name__ == "__main__":
    unittest.main()
