"""`history show --html DIR/`: the fleet's site on a real store, read in
headless chromium from disk: the index lists each machine's program with its
latest median and open alerts, a series page draws its chart under the
pages' policy and shows its change point, alerts.html groups a change seen
on two machines; names from the store are escaped and made safe as files."""

import json
import os
import re
import sys
import tempfile
import unittest

import alerts_test  # its StoreCase makes nights of cube runs, on SQLite by default
from browser import CHROMIUM, browse

HOSTILE = "n<b>&2"


@unittest.skipUnless(CHROMIUM, "chromium is not installed (Debian package chromium)")
class DashboardTest(alerts_test.StoreCase):
    def page(self, path):
        """The page's DOM after its scripts ran; no exception, policy violation or failed load."""
        result, messages = browse(path, tempfile.mkdtemp(dir=self.dir), "--dump-dom")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(messages, [], path)
        return result.stdout

    def test_site_of_two_machines_with_one_change(self):
        for machine in ("n1", HOSTILE):
            self.nights(machine, [1e7 * (0.9 if i >= 15 else 1.0) for i in range(30)])
        first = json.loads(self.lumenfold("list", "--machine", "n1", "--format", "json").stdout)[0]["id"]
        self.assertEqual(self.lumenfold("exclude", str(first), "--reason", "<i>fan stuck</i>").returncode, 0)
        self.assertEqual(self.lumenfold("check").returncode, 3)
        site = os.path.join(self.dir, "site") + "/"
        for attempt in range(2):   # the second replaces the first in place
            shown = self.lumenfold("show", "--html", site)
            self.assertEqual(shown.returncode, 0, shown.stderr)
        print(shown.stdout, end="", file=sys.stderr)
        self.assertEqual(sorted(os.listdir(site)), ["alerts.html", "assets", "index.html", "runs", "series"])
        # One copy of the charting library, none inside a page.
        self.assertEqual(sorted(os.listdir(site + "assets")), ["chart.js", "dashboard.css", "series.js"])
        for name in os.listdir(site + "series"):
            self.assertRegex(name, r"^[A-Za-z0-9._-]+\.html$")
            with open(site + "series/" + name) as f:
                self.assertNotIn("Chart.js v", f.read())
        alerts = {a["machine"]: a for a in self.alerts()}
        ratio = {f["figure"]: f["ratio"] for f in alerts["n1"]["figures"]}["verticesPerSecond"]

        index = self.page(site + "index.html")
        row = re.search(r"<tr><td>n1</td><td>cube</td>.*?</tr>", index, re.S).group(0)
        self.assertRegex(row, r'vertices/s</a> <span class="latest">[\d.]+e\+06</span><svg')
        self.assertIn(f'href="alerts.html#alert-{alerts["n1"]["id"]}"', row)
        self.assertIn("(new)</a>", row)
        self.assertIn("<td>n&lt;b&gt;&amp;2</td>", index)
        self.assertNotIn("<b>", index)

        series = self.page(site + "series/n1-cube-verticesPerSecond.html")
        self.assertIn('data-drawn="yes"', series)
        self.assertIn(f'<td class="ratio">{ratio:.4f} [', series)
        excluded = series.split("<h2>Excluded runs</h2>")[1]
        self.assertRegex(excluded, rf"<td>{first}</td><td>[^<]+</td><td>[\d.]+e\+0[67]</td><td>&lt;i&gt;fan stuck")
        self.assertTrue(os.path.exists(site + "series/n_b__2-cube-verticesPerSecond.html"))

        page = self.page(site + "alerts.html")
        groups = re.findall(r'<section class="group".*?</section>', page, re.S)
        [both] = [g for g in groups if f'id="alert-{alerts["n1"]["id"]}"' in g]
        self.assertIn(f'id="alert-{alerts[HOSTILE]["id"]}"', both)
        self.assertIn("2 machines, open", both)


if __name__ == "__main__":
    unittest.main()
