"""What the programs show and print in common, spelled once for the tests that expect it."""

TITLES = {"triangles": "OPENGL Triangles Lite 64",
          "cube": "OPENGL Cube Lite 64",
          "streaming": "OPENGL Streaming Lite 64"}

# Triangles and cube; streaming runs rather than animates.
ANIMATE_HELP = ["Press Key R or Press Mouse Left button to Animate.",
                "Press Key C to Animate Manually.",
                "Press Key P or Press Mouse Right button to Pause.",
                "Press Key Esc to Exit."]

SAVED = "Results have been saved in a file and you can find it at: "

# A figure as triangles and cube print it: a NaN as the Windows runtime spells it.
NUMBER = r"(-?[0-9.e+-]+|inf|-nan\(ind\))"


def g6(value):
    text = "%g" % value
    return {"nan": "-nan(ind)", "-nan": "-nan(ind)"}.get(text, text)


def check_opening(test, lines, banner, help_lines, number):
    """The 19 console lines before the first frame report: banner, help, set-up.
    Returns the set-up line, which the results file repeats."""
    test.assertEqual(lines[:8], ["", banner, lines[2], lines[3], "", "", "", ""])
    test.assertTrue(lines[2] and lines[3], "notice and support lines are not empty")
    test.assertEqual(lines[8:16], help_lines + ["", "", "Initializing . . .", ""])
    test.assertRegex(lines[16], r"^It spent: " + number + r" Secs to Initialize\.$")
    test.assertEqual(lines[17:19], ["", ""])
    return lines[16]
