"""Alerts with a life, on a real store (SQLite, or with the argument
"postgres" a PostgreSQL server the test starts): raised once, acknowledged,
recovered, grouped across machines, silent machines raised and closed,
notifications posted to a server on 127.0.0.1, and the upgrade of a store
made before alerts existed."""

import datetime
import http.server
import json
import os
import random
import shutil
import sys
import tempfile
import threading
import unittest

ENGINE = sys.argv.pop(1) if len(sys.argv) > 1 and sys.argv[1] in ("sqlite", "postgres") else "sqlite"
sys.argv.insert(1, ENGINE)
import history_store_test as store_test  # noqa: E402  (reads the engine from argv)
from lumenfold_cli import run_lumenfold  # noqa: E402

NOW = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)


def context(when, renderer):
    return json.dumps({"program": "cube", "date": when.isoformat(), "gl": {"renderer": renderer},
                       "environment": {}, "warnings": []})


class Webhook:
    """A server on 127.0.0.1 answering every post with `status` (None: never)."""

    def __init__(self, status):
        self.posts, self.status = [], status
        hook = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                hook.posts.append(json.loads(self.rfile.read(int(self.headers["Content-Length"]))))
                if hook.status is None:
                    hook.release.wait(30)
                    return
                self.send_response(hook.status)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.release = threading.Event()
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.url = f"http://127.0.0.1:{self.server.server_port}/hooks/T0/SECRET-TOKEN"

    def close(self):
        self.release.set()
        self.server.shutdown()
        self.server.server_close()


class StoreCase(unittest.TestCase):
    """A fresh store per test on the engine chosen, and nights of runs in it."""
    server = None

    @classmethod
    def setUpClass(cls):
        if ENGINE == "postgres":
            cls.server = store_test.Postgres()

    @classmethod
    def tearDownClass(cls):
        if cls.server:
            cls.server.close()

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="lumenfold-alerts-")
        self.store = self.server.new_store() if self.server else store_test.SqliteStore(self.dir)
        self.rng = random.Random(7)
        self.written = 0

    def tearDown(self):
        shutil.rmtree(self.dir)

    def lumenfold(self, *args):
        return run_lumenfold("history", *args, "--db", self.store.db, timeout=store_test.TIMEOUT)

    def nights(self, machine, levels, last=NOW, renderer=lambda i: "llvmpipe", samples=None, timing=None):
        """One cube run a night at each level, the last night at `last`, added to the store."""
        folder = os.path.join(self.dir, f"batch{self.written}")
        os.makedirs(folder)
        self.written += 1
        for i, level in enumerate(levels):
            when = last - datetime.timedelta(days=len(levels) - 1 - i)
            path = os.path.join(folder, f"results_cube_{i:03d}.txt")
            with open(path, "w") as f:
                f.write(store_test.cube_results([level * (1 + 0.002 * self.rng.gauss(0, 1)) for _ in range(5)]))
            with open(path[:-4] + ".json", "w") as f:
                f.write(context(when, renderer(i)))
            if samples:
                with open(path[:-4] + ".samples.csv", "w") as f:
                    f.write(samples(i))
            if timing:
                with open(path[:-4] + ".timing", "w") as f:
                    f.write(timing(i))
        added = self.lumenfold("add", folder, "--machine", machine)
        self.assertEqual(added.returncode, 0, added.stderr)

    def alerts(self, *args):
        listed = self.lumenfold("alerts", "--format", "json", *args)
        self.assertEqual(listed.returncode, 0, listed.stderr)
        return json.loads(listed.stdout)



class AlertsTest(StoreCase):
    def test_raised_once_acknowledged_then_recovered(self):
        self.nights("n1", [1e7 * (0.9 if i >= 15 else 1.0) for i in range(30)],
                    renderer=lambda i: "llvmpipe (LLVM 16)" if i >= 15 else "llvmpipe (LLVM 15)")
        for attempt in range(3):
            checked = self.lumenfold("check")
            self.assertEqual(checked.returncode, 3, checked.stderr)
            self.assertEqual(checked.stderr.count("new alert"), 1 if attempt == 0 else 0, checked.stderr)
        [alert] = self.alerts()
        self.assertEqual((alert["state"], alert["machine"], alert["program"]), ("new", "n1", "cube"))
        # Frame time, frames/s and vertices/s moved together: one alert.
        self.assertEqual(sorted(f["figure"] for f in alert["figures"]),
                         ["frameSeconds", "framesPerSecond", "verticesPerSecond"])
        self.assertIn("LLVM 15", alert["explanation"])
        said = self.lumenfold("alerts", "acknowledge", str(alert["id"]), "--note", "new LLVM, known", "--by", "ana")
        self.assertEqual(said.stdout, f"alert {alert['id']} acknowledged by ana\n", said.stderr)
        self.assertEqual(self.lumenfold("alerts", "fix", "999").returncode, 1)
        # The driver went back: 25 nights at the old level. (A dip exactly as
        # long before as after it, 15/15/15, is one no single split of the
        # medians stands out in, so the check finds neither change there.)
        self.nights("n1", [1e7] * 25, last=NOW + datetime.timedelta(days=25))
        back = self.lumenfold("check")
        self.assertIn(f"alert {alert['id']} recovered", back.stderr)
        self.assertNotIn("new alert", back.stderr)
        [recovered] = self.alerts("--state", "recovered")
        self.assertEqual((recovered["note"], recovered["by"]), ("new LLVM, known", "lumenfold"))
        self.assertIn("| recovered |", self.lumenfold("alerts", "--format", "markdown").stdout)

    def test_grouped_across_machines_and_silent_machines(self):
        for machine, shift in (("n1", 0), ("n2", 0), ("n3", 5)):
            self.nights(machine, [1e7 * (0.9 if i >= 15 else 1.0) for i in range(30)],
                        last=NOW - datetime.timedelta(days=shift))
        checked = self.lumenfold("check", "--stale", "48")
        self.assertEqual(checked.returncode, 3, checked.stderr)
        alerts = self.alerts()
        changes = {a["machine"]: a for a in alerts if a["kind"] == "change"}
        # n1 and n2 changed the same night; n3 five days earlier.
        self.assertEqual(changes["n1"]["group"], changes["n2"]["group"])
        self.assertNotEqual(changes["n3"]["group"], changes["n1"]["group"])
        [silent] = [a for a in alerts if a["kind"] == "silent"]
        self.assertEqual((silent["machine"], silent["state"]), ("n3", "new"))
        self.assertIn("n3 is silent", checked.stderr)
        self.assertNotIn("new alert", self.lumenfold("check", "--stale", "48").stderr)
        self.nights("n3", [0.9e7], last=NOW)
        self.assertIn(f"alert {silent['id']} closed", self.lumenfold("check", "--stale", "48").stderr)
        self.assertEqual([a["state"] for a in self.alerts() if a["kind"] == "silent"], ["closed"])

    def test_notifications_are_sent_once_and_kept_when_they_fail(self):
        self.nights("n1", [1e7 * (0.9 if i >= 15 else 1.0) for i in range(30)])
        failing, silent, accepting = Webhook(500), Webhook(None), Webhook(200)
        self.addCleanup(failing.close)
        self.addCleanup(silent.close)
        self.addCleanup(accepting.close)
        refused = self.lumenfold("check", "--notify", failing.url)
        self.assertIn("HTTP 500", refused.stderr)
        timed_out = self.lumenfold("check", "--notify", silent.url)
        self.assertIn("no answer within 10 s", timed_out.stderr)
        for shown in (refused.stderr + refused.stdout, timed_out.stderr + timed_out.stdout):
            self.assertNotIn("SECRET-TOKEN", shown)
        self.assertEqual(self.lumenfold("check", "--notify", accepting.url).returncode, 3)
        self.lumenfold("check", "--notify", accepting.url)
        # Tried three times, delivered once: the second check had nothing to send.
        self.assertEqual((len(failing.posts), len(silent.posts), len(accepting.posts)), (1, 1, 1))
        [document] = accepting.posts
        self.assertIn("**Lumenfold: 1 new alert**", document["text"])
        self.assertEqual(document["alerts"][0]["machine"], "n1")
        self.assertTrue(self.alerts()[0]["sent"])

    def test_a_change_with_a_clock_drop_names_it(self):
        def samples(night):
            clock, throttles = (2100, night - 14) if night >= 15 else (3400, 0)
            lines = ["time[s],cpu0.clock[MHz],cpu0.throttle[count],others.cpu[cores]"]
            lines += [f"{t / 10:.3f},{clock + t % 3},{throttles},0.05" for t in range(20)]
            return "\n".join(lines) + "\n"
        self.nights("n1", [1e7 * (0.8 if i >= 15 else 1.0) for i in range(30)], samples=samples)
        checked = self.lumenfold("check", "--figure", "verticesPerSecond", "--format", "json")
        self.assertEqual(checked.returncode, 3, checked.stderr)
        [point] = json.loads(checked.stdout)
        self.assertEqual(point["changed"]["sensor cpu0.clock"], ["3.401 GHz", "2.101 GHz"])
        self.assertNotIn("sensor others.cpu", point["changed"])
        before, after = point["changed"]["throttled runs"]
        self.assertEqual(before, "none")
        self.assertRegex(after, r"^run \d+: cpu0.throttle 1; run \d+: cpu0.throttle 2")

    def test_the_gpu_time_is_kept_with_every_run_and_checked(self):
        """Timed nights whose GPU time doubles while the frame time stays:
        the store keeps each run's timing, and the check finds the change in
        gpuSeconds alone."""
        def timing(night):
            gpu = 4000000 if night >= 15 else 2000000
            lines = ["lumenfold-timing 1", "columns frame swap step kind present_ns cpu_ns", "columns gpu swap gpu_ns",
                     "gpu available GL_ARB_timer_query GL_TIME_ELAPSED"]
            for swap in range(1, 6):
                lines += [f"frame {swap} {swap} new 500000000 {400000000 + swap}", f"gpu {swap} {gpu + 1000 * swap}"]
            return "\n".join(lines) + "\n"
        self.nights("n1", [1e7] * 30, timing=timing)
        self.assertEqual(len(self.store.sql("SELECT id FROM runs WHERE frame_timing IS NOT NULL")), 30)
        checked = self.lumenfold("check", "--format", "json")
        self.assertEqual(checked.returncode, 3, checked.stderr)
        self.assertEqual([p["figure"] for p in json.loads(checked.stdout)], ["gpuSeconds"])

    def test_a_store_from_before_timing_is_upgraded(self):
        """A store written by the lumenfold before frames' timing (4 runs, one
        excluded, cube's with machine samples): upgraded in place, nothing lost."""
        self.store.load("history-v3")
        listed = self.lumenfold("list", "--format", "json")
        self.assertEqual(listed.returncode, 0, listed.stderr)
        self.assertIn("from schema version 3 to 4 (frames' timing)", listed.stderr)
        self.assertNotIn("from schema version 2", listed.stderr)
        self.assertEqual([r["excluded"] for r in json.loads(listed.stdout)], [False, True, False, False])
        self.assertEqual(self.store.sql("SELECT version FROM lumenfold_schema"), [["4"]])
        self.assertEqual(self.store.sql("SELECT count(*) FROM runs WHERE machine_samples IS NOT NULL"), [["2"]])
        self.assertEqual(self.store.sql("SELECT count(*) FROM runs WHERE frame_timing IS NOT NULL"), [["0"]])

    def test_a_store_from_before_alerts_is_upgraded(self):
        self.store.load("history-v2")
        listed = self.lumenfold("list", "--format", "json")
        self.assertEqual(listed.returncode, 0, listed.stderr)
        self.assertIn("from schema version 2 to 3 (alerts, machine state)", listed.stderr)
        self.assertIn("from schema version 3 to 4 (frames' timing)", listed.stderr)
        self.assertEqual(len(json.loads(listed.stdout)), 6)
        self.assertEqual(self.store.sql("SELECT version FROM lumenfold_schema"), [["4"]])
        self.assertEqual(self.alerts(), [])
        self.assertEqual(self.lumenfold("check", "--stale", "100000").returncode, 0)


if __name__ == "__main__":
    unittest.main()
