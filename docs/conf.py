"""Sphinx configuration of the wayloom site (built by scripts/docs.sh)."""

from __future__ import annotations

import os
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE / "_ext"))
# Examples draw with matplotlib; never open a window while building.
os.environ.setdefault("MPLBACKEND", "Agg")
# The Dask example's local cluster would log every worker's start and stop.
os.environ.setdefault("DASK_LOGGING__DISTRIBUTED", "error")

import wayloom  # noqa: E402

project = "wayloom"
author = "the wayloom developers"
copyright = "2026, the wayloom developers"
release = version = wayloom.__version__

extensions = [
    "myst_parser",
    "sphinx.ext.autodoc",
    "sphinx.ext.napoleon",
    "wl_api",
    "wl_cli",
    "wl_run",
]

# The command line's parser, as "module:function returning an ArgumentParser".
wayloom_cli_parser = "wayloom.cli:build_parser"

source_suffix = {".md": "markdown", ".rst": "restructuredtext"}
root_doc = "index"
exclude_patterns = [
    "_build",
    "_ext",
    "mutants",
    "mutants.md",
    "README.trimmed.md",
]
myst_enable_extensions = ["colon_fence", "deflist"]
myst_heading_anchors = 3

# Options and code words stay as typed: "--maze" must not become an en dash.
smartquotes = False
# Docstrings of the native module are written with single backquotes for code.
default_role = "literal"
# The native classes list their attributes Google-style; as fields, so they do
# not describe the properties a second time.
napoleon_use_ivar = True
autodoc_member_order = "bysource"
autodoc_typehints = "signature"
autodoc_preserve_defaults = True
add_module_names = False

html_theme = "furo"
html_title = f"wayloom {release}"
html_static_path = ["_static"]
html_css_files = ["wayloom.css"]
html_favicon = "_static/favicon.svg"
html_show_sourcelink = False
html_copy_source = False
html_last_updated_fmt = None
