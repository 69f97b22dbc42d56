"""The built documentation site, checked as a reader would (after `bash scripts/docs.sh`).

Links and pictures resolve on every page; in headless Chromium every page
(and a search) loads without a console error or a request leaving the site,
and the embedded players play.
"""

import functools
import html.parser
import http.server
import os
import pathlib
import re
import sys
import threading
import urllib.parse

import pytest

ROOT = pathlib.Path(__file__).parents[2]
SITE = ROOT / "build" / "docs" / "html"
pytestmark = pytest.mark.skipif(
    not (SITE / "index.html").is_file(), reason="the site is not built (bash scripts/docs.sh)"
)


class _Refs(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.refs, self.ids, self.players = [], set(), 0

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.ids.update(v for k, v in a.items() if k in ("id", "name") and v)
        # (reference, whether the browser fetches it): links to other sites are fine.
        self.refs += [(a[k], k == "src" or tag == "link") for k in ("href", "src") if a.get(k)]
        self.players += tag == "iframe" and "_examples/" in (a.get("src") or "")


PAGES = {p: _Refs() for p in sorted(SITE.rglob("*.html")) if "_examples" not in p.parts}
for _path, _refs in PAGES.items():
    _refs.feed(_path.read_text(encoding="utf-8"))


def test_every_link_and_picture_resolves_inside_the_site():
    assert len(PAGES) >= 12
    broken = []
    for path, refs in PAGES.items():
        for ref, fetched in refs.refs:
            url = urllib.parse.urlsplit(ref)
            if url.scheme in ("http", "https", "mailto"):
                if fetched:
                    broken.append((path.name, ref, "leaves the site"))
                continue
            if url.scheme or not url.path and not url.fragment:
                continue
            target = (path.parent / urllib.parse.unquote(url.path)).resolve() if url.path else path
            if not target.is_file() or SITE.resolve() not in target.parents:
                broken.append((path.name, ref, "missing"))
            elif url.fragment and target.suffix == ".html":
                ids = PAGES[target].ids if target in PAGES else None
                if ids is not None and url.fragment not in ids:
                    broken.append((path.name, ref, "no such anchor"))
    assert broken == []


HOMES = ("wayloom", "wayloom_native", "module-wayloom")


def test_reference_names_every_public_object():
    import wayloom
    import wayloom_native

    text = "".join(p.read_text(encoding="utf-8") for p in (SITE / "reference").glob("*.html"))
    ids = set(re.findall(r'id="([^"]+)"', text))
    public = [n for n in dir(wayloom_native) if not n.startswith("_")]
    missing = [n for n in public if f"wayloom_native.{n}" not in ids] + [
        n for n in wayloom.__all__ if not {f"{m}.{n}" for m in HOMES} & ids
    ]
    assert missing == []


class _Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@pytest.fixture(scope="module")
def site_url():
    """The site served over HTTP, as a reader gets it (its search fetches pages)."""
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(_Quiet, directory=str(SITE))
    )
    threading.Thread(target=server.serve_forever, daemon=True).start()
    yield f"http://127.0.0.1:{server.server_address[1]}/"
    server.shutdown()
    server.server_close()


@pytest.fixture
def visit(browser, site_url):
    """Opens a page of the site; fails the test on a console error or a request off the site."""
    opened = []

    def load(path, query=""):
        page = browser.new_page(viewport={"width": 1200, "height": 900})
        trouble = []
        page.on("console", lambda m: trouble.append(m.text) if m.type == "error" else None)
        page.on("pageerror", lambda e: trouble.append(str(e)))
        page.on(
            "request",
            lambda q: (
                None if q.url.startswith((site_url, "data:", "blob:")) else trouble.append(q.url)
            ),
        )
        page.goto(site_url + path.relative_to(SITE).as_posix() + query)
        page.wait_for_load_state("load")
        opened.append((page, trouble))
        return page

    def done():
        while opened:
            page, trouble = opened.pop()
            assert trouble == [], f"{page.url}: {trouble}"
            page.close()

    load.done = done
    yield load
    done()


@pytest.mark.skipif(sys.platform != "linux", reason="the site is checked in Linux's Chromium")
def test_pages_load_cleanly_and_their_players_play(visit):
    home = visit(SITE / "index.html")
    assert home.title().startswith("wayloom")
    shot = home.screenshot(full_page=False)
    if os.environ.get("WAYLOOM_DOCS_SCREENSHOT"):  # refreshes the picture of the home page
        (ROOT / "docs" / "site-home.png").write_bytes(shot)

    found = visit(SITE / "search.html", "?q=dijkstra")
    found.wait_for_selector("ul.search li", timeout=15_000)
    assert found.locator("ul.search li").count() >= 3

    assert sum(refs.players for refs in PAGES.values()) >= 3
    for path, refs in PAGES.items():
        page = visit(path)
        frames = page.locator(".wl-player iframe")
        assert frames.count() == refs.players
        for k in range(refs.players):
            frames.nth(k).scroll_into_view_if_needed()
            player = frames.nth(k).element_handle().content_frame()
            player.wait_for_selector("body[data-ready='1']", state="attached")
            player.click("#end")
            steps = re.fullmatch(r"step (\d+) of (\d+)", player.text_content("#step-label"))
            assert steps and steps[1] == steps[2], path.name
        visit.done()
