"""`lumenfold nightly` end to end: the real streaming program on a private
Xvfb into a real store (SQLite, or with the argument "postgres" a PostgreSQL
server the test starts), the check, a notification to a server on
127.0.0.1, the dashboard; a night that fails is an alert of its own."""

import datetime
import json
import os
import sys
import unittest

ENGINE = sys.argv.pop(1) if len(sys.argv) > 1 and sys.argv[1] in ("sqlite", "postgres") else "sqlite"
sys.argv.insert(1, ENGINE)
import alerts_test  # noqa: E402  (its store helpers, for the engine in argv)

store_test = alerts_test.store_test


class NightlyTest(alerts_test.StoreCase):
    def config(self, webhook, **suite):
        suite = {"programs": '["streaming"]', "frames": "2", "dir": json.dumps(os.path.join(self.dir, "runs")),
                 **suite}
        path = os.path.join(self.dir, "nightly.toml")
        with open(path, "w") as f:
            f.write(f'machine = "n1"\nstore = {json.dumps(self.store.db)}\nnotify = {json.dumps(webhook.url)}\n'
                    f'dashboard = {json.dumps(os.path.join(self.dir, "site"))}\n[suite]\n')
            f.write("".join(f"{key} = {value}\n" for key, value in suite.items()))
        return path

    def night(self, config):
        return store_test.subprocess.run([store_test.LUMENFOLD, "nightly", "--config", config],
                                         capture_output=True, text=True, timeout=900,
                                         env={**os.environ, "DISPLAY": ""})

    def test_a_night_from_runs_to_notification(self):
        # Thirty earlier nights of this machine, a step down at the fifteenth.
        self.nights("n1", [1e7 * (0.9 if i >= 15 else 1.0) for i in range(30)],
                    last=alerts_test.NOW - datetime.timedelta(hours=1))
        hook = alerts_test.Webhook(200)
        self.addCleanup(hook.close)
        config = self.config(hook)
        first = self.night(config)
        self.assertEqual(first.returncode, 3, first.stderr)
        self.assertIn("added to the history", first.stderr)
        [document] = hook.posts
        self.assertIn("**Lumenfold: 1 new alert**", document["text"])
        self.assertTrue(os.path.exists(os.path.join(self.dir, "site", "index.html")))
        runs = json.loads(self.lumenfold("list", "--format", "json", "--program", "streaming").stdout)
        self.assertEqual([(r["machine"], r["program"]) for r in runs], [("n1", "streaming")])
        # The same alert the next night: nothing new, nothing sent again.
        second = self.night(config)
        self.assertEqual(second.returncode, 0, second.stderr)
        self.assertEqual(len(hook.posts), 1)

    def test_a_failed_night_is_an_alert(self):
        hook = alerts_test.Webhook(200)
        self.addCleanup(hook.close)
        blocker = os.path.join(self.dir, "not-a-directory")
        open(blocker, "w").close()
        failed = self.night(self.config(hook, dir=json.dumps(blocker)))
        self.assertEqual(failed.returncode, 1, failed.stderr)
        [alert] = self.alerts()
        self.assertEqual((alert["kind"], alert["machine"]), ("failed", "n1"))
        self.assertIn("the night's suite failed", alert["explanation"])
        self.assertEqual(len(hook.posts), 1)
        bad = self.night(self.config(hook, programs='["streaming", "cubes"]'))
        self.assertEqual(bad.returncode, 2)
        self.assertIn('unknown program "cubes"', bad.stderr)

if __name__ == "__main__":
    unittest.main()
