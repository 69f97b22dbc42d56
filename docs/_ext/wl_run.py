"""Every Python example of the site runs while the site is built.

The ``python`` code blocks of a page run in order in one namespace (named
``__main__``, so ``if __name__ == "__main__":`` blocks run), in a working
directory of the page's own. What a block prints is shown under it; the
pictures it writes appear under it (and ship with the site), and the HTML
pages it writes are embedded as players. A block that raises fails the
build. A block marked ``:class: no-run`` is only shown.
"""

from __future__ import annotations

import contextlib
import html
import io
import os
import shutil
import time
import traceback
from pathlib import Path
from typing import Any

from docutils import nodes
from sphinx.application import Sphinx
from sphinx.util import logging

logger = logging.getLogger(__name__)

PICTURES = {".png", ".gif", ".svg", ".jpg", ".jpeg", ".webp"}
PAGES = {".html", ".htm"}
#: Where the written files go in the site, beside the pages.
SITE_DIR = "_examples"


def work_root(app: Sphinx) -> Path:
    return Path(app.outdir).parent / "examples"


def _snapshot(folder: Path) -> dict[Path, int]:
    return {p: p.stat().st_mtime_ns for p in folder.rglob("*") if p.is_file()}


def _embed(app: Sphinx, docname: str, folder: Path, path: Path) -> nodes.raw | None:
    rel = path.relative_to(work_root(app)).as_posix()
    src = html.escape("../" * docname.count("/") + f"{SITE_DIR}/{rel}")
    if path.suffix.lower() in PICTURES:
        alt = html.escape(path.stem.replace("-", " ").replace("_", " "))
        text = f'<figure class="wl-figure"><img src="{src}" alt="{alt}" loading="lazy"></figure>'
    elif path.suffix.lower() in PAGES:
        text = (
            f'<div class="wl-player"><iframe src="{src}" title="search player: {html.escape(path.name)}"'
            ' loading="lazy"></iframe>'
            f'<p class="wl-player-link"><a href="{src}">open the player on its own page</a></p></div>'
        )
    else:
        return None
    return nodes.raw("", text, format="html")


def _run_block(code: str, namespace: dict[str, Any], label: str) -> str:
    out = io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(out):
        exec(compile(code, label, "exec"), namespace)
    return out.getvalue()


def run_examples(app: Sphinx, doctree: nodes.document) -> None:
    docname = app.env.docname
    blocks = [
        b
        for b in doctree.findall(nodes.literal_block)
        if b.get("language") == "python" and "no-run" not in b["classes"]
    ]
    if not blocks:
        return
    folder = work_root(app) / docname
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    namespace: dict[str, Any] = {"__name__": "__main__"}
    saved_cwd, saved_env = os.getcwd(), dict(os.environ)
    started = time.perf_counter()
    try:
        os.chdir(folder)
        for k, block in enumerate(blocks, 1):
            before = _snapshot(folder)
            try:
                printed = _run_block(block.astext(), namespace, f"<{docname} example {k}>")
            except BaseException as exc:  # noqa: BLE001  (a failing example is reported, not raised)
                if isinstance(exc, KeyboardInterrupt):
                    raise
                detail = "".join(traceback.format_exception(exc)[-6:])
                logger.warning("example %d of %s failed:\n%s", k, docname, detail, location=block)
                return
            extra: list[nodes.Node] = []
            if printed.strip():
                shown = nodes.literal_block(
                    printed.rstrip(), printed.rstrip(), classes=["wl-output"]
                )
                shown["language"] = "none"
                extra.append(shown)
            after = _snapshot(folder)
            for path in sorted(p for p, t in after.items() if before.get(p) != t):
                node = _embed(app, docname, folder, path)
                if node is not None:
                    extra.append(node)
            parent = block.parent
            at = parent.index(block)
            for offset, node in enumerate(extra, 1):
                parent.insert(at + offset, node)
    finally:
        os.chdir(saved_cwd)
        os.environ.clear()
        os.environ.update(saved_env)
        _close_figures()
    logger.info(
        "ran %d examples of %s in %.1f s", len(blocks), docname, time.perf_counter() - started
    )


def _close_figures() -> None:
    import sys

    if "matplotlib.pyplot" in sys.modules:
        sys.modules["matplotlib.pyplot"].close("all")


def copy_outputs(app: Sphinx, exception: BaseException | None) -> None:
    root = work_root(app)
    if exception is None and app.builder.format == "html" and root.is_dir():
        target = Path(app.outdir) / SITE_DIR
        shutil.rmtree(target, ignore_errors=True)
        shutil.copytree(root, target)


def setup(app: Sphinx) -> dict[str, Any]:
    app.connect("doctree-read", run_examples, priority=100)
    app.connect("build-finished", copy_outputs)
    return {"parallel_read_safe": False, "parallel_write_safe": True}
