"""The HTML player, driven in headless Chromium (the system's browser, never a downloaded one)."""

import os
import pathlib

import pytest
import wayloom_native as wn
from wayloom import viz

WALL = wn.sample_maze("wall")
HOSTILE = ['<img src=x onerror="window.__x=1">a', '<img src=x onerror="window.__x=1">b']


def test_page_is_self_contained_and_packs_the_trace_compactly():
    maze = wn.random_maze_ascii(120, 120, 0.25, 3)
    r = wn.search_grid(maze, algorithm="bfs")
    page = viz.to_html({"bfs": r}, maze, title="a <b>maze</b>")
    assert "<title>a &lt;b&gt;maze&lt;/b&gt;</title>" in page and "<b>" not in page
    assert "http:" not in page and "https:" not in page and "src=" not in page
    assert len(page.encode()) - len(viz.to_html({"bfs": wn.search_grid("SG")}, "SG")) <= 16 * len(
        r.trace
    )
    hostile = viz.to_html(wn.search_wordladder(*HOSTILE, HOSTILE))
    assert "<img" not in hostile and "\\u003cimg src=x" in hostile
    with pytest.raises(ValueError, match="record=True"):
        viz.to_html(wn.search_grid(WALL, record=False), WALL)
    with pytest.raises(ValueError, match="no search tree"):
        viz.to_html(wn.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2, algorithm="beam"))
    with pytest.raises(ValueError, match="node 0 is not a cell of this 6x9 maze"):
        viz.to_html(wn.search_graph(2, [(0, 1, 1.0)], 0, 1), WALL)
    with pytest.raises(TypeError, match="search result"):
        viz.to_html([1, 2])
    shown = viz.show(wn.search_hanoi(2), title="hanoi")
    assert shown._repr_html_().startswith('<iframe srcdoc="&lt;!DOCTYPE html&gt;')


@pytest.fixture
def open_page(browser, tmp_path):
    """Loads a page from a file; fails the test on any console error or request."""
    opened = []

    def load(page_html, width=1000, height=700):
        path = tmp_path / f"p{len(opened)}.html"
        path.write_text(page_html, encoding="utf-8")
        page = browser.new_page(viewport={"width": width, "height": height})
        trouble = []
        page.on("console", lambda m: trouble.append(m.text) if m.type == "error" else None)
        page.on("pageerror", lambda e: trouble.append(str(e)))
        page.on("request", lambda q: trouble.append(q.url) if q.url != path.as_uri() else None)
        page.goto(path.as_uri())
        page.wait_for_selector("body[data-ready='1']", state="attached")
        opened.append((page, trouble))
        return page

    yield load
    for page, trouble in opened:
        assert trouble == []
        page.close()


def label(page):
    return page.text_content("#step-label")


def pixels(page, k=0):
    return page.evaluate(f"document.querySelectorAll('canvas.wl-view')[{k}].toDataURL()")


def rgb_at_cell(page, cell, maze_w, maze_h, k=0):
    return page.evaluate(
        """([k, r, c, w, h]) => { const cv = document.querySelectorAll('canvas.wl-view')[k];
        const x = Math.floor((c + 0.5) * cv.width / w), y = Math.floor((r + 0.5) * cv.height / h);
        return Array.from(cv.getContext('2d').getImageData(x, y, 1, 1).data.slice(0, 3)); }""",
        [k, *cell, maze_w, maze_h],
    )


def test_controls_keyboard_and_the_path(open_page):
    r = wn.search_grid(WALL, algorithm="astar")
    n = len(r.trace)
    page = open_page(viz.to_html(r, WALL))
    assert label(page) == f"step 0 of {n}" and page.get_attribute("#scrub", "max") == str(n)
    before = pixels(page)
    for _ in range(3):
        page.click("#step")
    assert label(page) == f"step 3 of {n}" and pixels(page) != before
    page.click("#back")
    assert label(page) == f"step 2 of {n}"
    page.keyboard.press("ArrowRight")
    page.keyboard.press("ArrowRight")
    assert label(page) == f"step 4 of {n}" and "expanding (" in page.text_content(".wl-status")
    mid = r.path[len(r.path) // 2]
    assert rgb_at_cell(page, mid, 9, 6) != [220, 20, 60]
    page.click("#end")
    assert label(page) == f"step {n} of {n}" and page.input_value("#scrub") == str(n)
    assert rgb_at_cell(page, mid, 9, 6) == [220, 20, 60]  # crimson: the path is drawn
    box = page.locator("canvas.wl-view").bounding_box()
    page.mouse.move(
        box["x"] + (mid[1] + 0.5) * box["width"] / 9, box["y"] + (mid[0] + 0.5) * box["height"] / 6
    )
    step = next(i for i, s in enumerate(r.trace) if s[0] == mid)
    assert page.text_content(".wl-pointer") == f"{mid} · expanded at step {step + 1}"
    page.select_option("#speed", "2")
    page.click("#end")
    page.keyboard.press("Home")
    page.keyboard.press(" ")  # plays, though the end button has the focus
    assert page.text_content("#play") == "❚❚ pause"
    page.keyboard.press(" ")
    assert page.text_content("#play") == "▶ play" and label(page) in (
        f"step 0 of {n}",
        f"step 1 of {n}",
    )


def test_two_results_step_in_lockstep(open_page):
    bfs, astar = (wn.search_grid(WALL, algorithm=a, diagonal=True) for a in ("bfs", "astar"))
    page = open_page(viz.to_html([("bfs", bfs), ("astar", astar)], WALL))
    n = max(len(bfs.trace), len(astar.trace))
    assert page.locator(".wl-panel h2").all_text_contents() == ["bfs", "astar"]
    before = [pixels(page, 0), pixels(page, 1)]
    page.fill("#scrub", "3")
    assert label(page) == f"step 3 of {n}"
    assert [pixels(page, 0), pixels(page, 1)] != before and pixels(page, 0) != before[0]
    assert all(
        s.startswith("step 3: expanding") for s in page.locator(".wl-status").all_text_contents()
    )


def test_tree_views_and_hostile_labels(open_page):
    hanoi = wn.search_hanoi(3, algorithm="bfs")
    page = open_page(viz.to_html({"bfs": hanoi}))
    blank = pixels(page)
    page.click("#end")
    assert label(page) == f"step {len(hanoi.trace)} of {len(hanoi.trace)}" and pixels(page) != blank
    assert "(2, 2, 2)" in page.text_content(".wl-status")
    ladder = wn.search_wordladder(*HOSTILE, HOSTILE, algorithm="bfs")
    page = open_page(viz.to_html(ladder))
    page.click("#end")
    assert page.evaluate("window.__x") is None and page.locator("img").count() == 0
    assert HOSTILE[1] in page.text_content(".wl-status")


def test_side_by_side_screenshot(open_page):
    maze = next(
        m
        for seed in range(1, 50)
        if wn.search_grid(m := wn.random_maze_ascii(300, 300, 0.25, seed), record=False).found
    )
    results = {a: wn.search_grid(maze, algorithm=a) for a in ("bfs", "astar")}
    page = open_page(viz.to_html(results, maze, title="BFS and A* on a 300×300 maze"), 1100, 800)
    page.fill("#scrub", str(len(results["astar"].trace)))  # A* done, BFS on its way
    assert (
        page.locator(".wl-status")
        .all_text_contents()[1]
        .endswith(f"path of cost {results['astar'].cost:g}")
    )
    shot = page.screenshot()
    assert shot[:8] == b"\x89PNG\r\n\x1a\n"
    if os.environ.get("WAYLOOM_DOCS_SCREENSHOT"):  # refreshes the README's picture
        (pathlib.Path(__file__).parents[2] / "docs" / "player.png").write_bytes(shot)


def test_small_cells_keep_the_frontier_and_markers_visible(open_page):
    maze = wn.random_maze_ascii(600, 600, 0.2, 1)
    r = wn.search_grid(maze, algorithm="bfs")
    k = len(r.trace) // 3
    tree, first = viz.search_tree(r), {}
    for i, step in enumerate(r.trace):
        first.setdefault(step[0], i)
    reached = tree.reached()
    frontier = {c for v, c in enumerate(tree.labels) if reached[v] < k <= first.get(c, k)}
    # Frontier cells beside an expanded one: a pixel past their edge shows whether
    # they are drawn larger than their cell.
    edge = [(r_, c) for r_, c in frontier if first.get((r_, c + 1), k) < k]
    page = open_page(viz.to_html(r, maze), width=700, height=700)
    page.evaluate(
        "(k) => { const s = document.getElementById('scrub'); s.value = k;"
        " s.dispatchEvent(new Event('input')); }",
        k,
    )
    shown = page.evaluate(
        """(cells) => { const cv = document.querySelector('canvas.wl-view');
        const ctx = cv.getContext('2d'), s = cv.width / 600, t = cv.height / 600;
        const d = ctx.getImageData(0, 0, cv.width, cv.height).data;
        const rgb = (x, y) => { const i = 4 * (Math.floor(y) * cv.width + Math.floor(x));
                                return [d[i], d[i + 1], d[i + 2]]; };
        let start = 0;
        for (let i = 0; i < d.length; i += 4) start += d[i] === 50 && d[i + 1] === 205 && d[i + 2] === 50;
        return {s, start, beyond: cells.map(([r, c]) => rgb((c + 0.5) * s + 1, (r + 0.5) * t))}; }""",
        edge,
    )
    assert shown["s"] < 1.5 and len(edge) > 20  # cells of about a pixel
    pink = [
        px for px in shown["beyond"] if max(abs(a - b) for a, b in zip(px, (227, 119, 194))) < 12
    ]
    assert len(pink) >= 0.9 * len(edge)
    assert shown["start"] >= 20  # the start in the corner is drawn whole, not a quarter
