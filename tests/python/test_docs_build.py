"""The site's Sphinx extensions on a module and a parser written to trip them up.

Docstrings that are not reStructuredText, an undocumented function and a
sub-command parser build without a warning (the site is built with warnings
as errors); a failing example fails the build.
"""

import pathlib

import pytest

pytest.importorskip("myst_parser")
from sphinx.cmd.build import build_main  # noqa: E402

# Sphinx's own napoleon still calls interfaces Sphinx deprecates.
pytestmark = pytest.mark.filterwarnings("ignore::PendingDeprecationWarning")

ODD = '''
import argparse

def odd(x, y=2):
    """Starts fine.
      then an unexpected indent, *an open emphasis
    :unknownrole:`z` and a |missing| substitution"""

def bare(a, *, b=None):
    pass

class Thing:
    def fine(self):
        """Fine."""

    def broken(self):
        """`unclosed literal and
        - a list without a blank line"""

class Trouble(Exception):
    pass

def parser():
    p = argparse.ArgumentParser(prog="odd", formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog="exit status:\\n  0    all good\\n  5    bad, said\\n       on two lines\\nthe end")
    run = p.add_subparsers().add_parser("run", description="Run *it* -- now.")
    run.add_argument("--times", type=int, default=3, help="how often (default %(default)s)")
    return p
'''


def _build(tmp_path, page):
    ext = pathlib.Path(__file__).parents[2] / "docs" / "_ext"
    (tmp_path / "conf.py").write_text(
        f"import sys\nsys.path[:0] = [{str(ext)!r}, {str(tmp_path)!r}]\n"
        'extensions = ["myst_parser", "sphinx.ext.autodoc", "sphinx.ext.napoleon", "wl_api",'
        ' "wl_cli", "wl_run"]\nwayloom_cli_parser = "oddmod:parser"\nsmartquotes = False\n'
    )
    (tmp_path / "index.md").write_text(page)
    status = build_main(["-b", "html", "-W", "-q", "-E", str(tmp_path), str(tmp_path / "out")])
    return status, (tmp_path / "out" / "index.html").read_text() if status == 0 else ""


def test_odd_docstrings_and_the_parser_build_without_warnings(tmp_path):
    (tmp_path / "oddmod.py").write_text(ODD)
    blocks = ("api-members} oddmod", "cli-reference}", "exit-statuses}")
    status, html = _build(tmp_path, "# Odd\n\n" + "".join(f"```{{{b}\n```\n\n" for b in blocks))
    assert status == 0
    assert "then an unexpected indent, *an open emphasis" in html  # shown verbatim
    assert "<p>Fine.</p>" in html  # only the odd method is verbatim
    assert 'id="oddmod.bare"' in html and 'id="oddmod.Trouble"' in html
    assert "how often (default 3)" in html and "Run *it* -- now." in html
    assert "bad, said on two lines" in html and "the end</p>" not in html


def test_a_failing_example_fails_the_build(tmp_path):
    page = "# Broken\n\n```python\nprint('fine')\n```\n\n```python\n1 / 0\n```\n"
    assert _build(tmp_path, page)[0] != 0
