"""The site's own Sphinx extensions on a module written to trip them up.

A docstring that is not reStructuredText, an undocumented function, a parser
with sub-commands and an exit-status block, an example that fails: the first
three must build without a warning (the site is built with warnings as
errors), the last must fail the build.
"""

import pathlib
import textwrap

import pytest

pytest.importorskip("sphinx")
pytest.importorskip("myst_parser")
from sphinx.cmd.build import build_main  # noqa: E402

# Sphinx's own extensions (napoleon) still call interfaces Sphinx deprecates.
pytestmark = pytest.mark.filterwarnings(
    "ignore::DeprecationWarning", "ignore::PendingDeprecationWarning"
)

EXT = pathlib.Path(__file__).parents[2] / "docs" / "_ext"

ODD_MODULE = '''
"""A module of odd docstrings."""
import argparse

def odd(x, y=2):
    """Starts fine.
      then an unexpected indent, *an open emphasis
    :unknownrole:`z` and a |missing| substitution"""

def bare(a, *, b=None):
    pass

class Thing:
    """A class whose one method is odd."""

    def fine(self):
        """Fine."""

    def broken(self):
        """`unclosed literal and
        - a list
        without a blank line"""

class Trouble(Exception):
    pass

def parser():
    p = argparse.ArgumentParser(prog="odd", description="An odd tool.",
        epilog="exit status:\\n  0    all good\\n  5    something bad that takes\\n"
               "       two lines to say\\nthe end", formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="command")
    run = sub.add_parser("run", help="run it", description="Run *it* -- now.")
    run.add_argument("--times", type=int, default=3, help="how often (default %(default)s)")
    run.add_argument("target", nargs="+")
    return p
'''


def _build(tmp_path, page, name):
    src = tmp_path / name
    src.mkdir()
    (src / "conf.py").write_text(
        textwrap.dedent(f"""
            import sys
            sys.path[:0] = [{str(EXT)!r}, {str(tmp_path)!r}]
            extensions = ["myst_parser", "sphinx.ext.autodoc", "sphinx.ext.napoleon",
                          "wl_api", "wl_cli", "wl_run"]
            wayloom_cli_parser = "oddmod:parser"
            default_role = "literal"
            smartquotes = False
        """)
    )
    (src / "index.md").write_text(page)
    out = src / "_html"
    status = build_main(["-b", "html", "-W", "-q", "-E", str(src), str(out)])
    return status, out


def test_odd_docstrings_and_the_parser_build_without_warnings(tmp_path):
    (tmp_path / "oddmod.py").write_text(ODD_MODULE)
    page = "# Odd\n\n```{api-members} oddmod\n```\n\n```{cli-reference}\n```\n\n```{exit-statuses}\n```\n"
    status, out = _build(tmp_path, page, "good")
    assert status == 0
    html = (out / "index.html").read_text()
    assert "then an unexpected indent, *an open emphasis" in html  # shown verbatim
    assert 'id="oddmod.bare"' in html and 'id="oddmod.Trouble"' in html
    assert "<p>Fine.</p>" in html  # the odd method alone is verbatim
    assert "how often (default 3)" in html and "Run *it* -- now." in html
    assert "something bad that takes two lines to say" in html
    assert "the end</p>" not in html


def test_a_failing_example_fails_the_build(tmp_path):
    page = "# Broken\n\n```python\nprint('fine')\n```\n\n```python\n1 / 0\n```\n"
    status, _ = _build(tmp_path, page, "bad")
    assert status != 0
