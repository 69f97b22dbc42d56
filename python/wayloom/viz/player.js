// The search player: reads the packed traces from #wl-data and draws each
// panel on a canvas at step K of N. Everything from the user's data is drawn
// on canvas or set with textContent, never parsed as markup.
(() => {
  "use strict";
  const $ = (id) => document.getElementById(id);
  const NEVER = 2147483647;
  const FRONTIER = [227, 119, 194];
  const WALL = [43, 43, 43];
  const TERRAIN = [140, 109, 70];
  const VIRIDIS = [[68, 1, 84], [72, 40, 120], [62, 74, 137], [49, 104, 142], [38, 130, 142],
    [31, 158, 137], [53, 183, 121], [109, 205, 89], [180, 222, 44], [253, 231, 37]];
  const SPEEDS = [1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000, 100000];

  const rgba = (c) => (255 << 24) | (c[2] << 16) | (c[1] << 8) | c[0]; // little-endian ImageData
  const css = (c) => `rgb(${c[0]},${c[1]},${c[2]})`;
  const mix = (a, b, t) => a.map((v, i) => Math.round(v + (b[i] - v) * t));
  const LUT = Array.from({ length: 256 }, (_, k) => {
    const t = (k / 255) * (VIRIDIS.length - 1), i = Math.min(Math.floor(t), VIRIDIS.length - 2);
    return mix(VIRIDIS[i], VIRIDIS[i + 1], t - i);
  });
  const LUT32 = Uint32Array.from(LUT, rgba);
  const shade = (i, steps) => Math.round((255 * i) / Math.max(1, steps - 1));
  const num = (v) => (Number.isInteger(v) ? String(v) : v.toPrecision(6).replace(/\.?0+$/, ""));

  async function unpack(b64, Type, delta) {
    const bin = atob(b64), bytes = new Uint8Array(bin.length);
    for (let i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i);
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("deflate"));
    const out = new Type(await new Response(stream).arrayBuffer());
    if (delta) for (let i = 1; i < out.length; i++) out[i] += out[i - 1];
    return out;
  }

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // One panel: heading, counters, canvas, status line.
  class Panel {
    constructor(meta, root) {
      this.meta = meta;
      this.steps = meta.steps;
      const box = el("div", "wl-panel");
      if (meta.name) box.append(el("h2", "", meta.name));
      const parts = [meta.found ? `cost ${num(meta.cost)}` : `no path (${meta.stop})`,
        `expanded ${meta.expanded}`, `generated ${meta.generated}`,
        `reopened ${meta.reopened}`, `peak frontier ${meta.peak}`, `${meta.steps} steps`];
      box.append(el("p", "wl-counters", parts.join(" · ")));
      this.canvas = el("canvas", "wl-view");
      this.status = el("p", "wl-status", "");
      this.pointer = el("p", "wl-pointer", "");
      box.append(this.canvas, this.status, this.pointer);
      // What lies under the pointer: labels too long or too many to draw.
      this.canvas.addEventListener("mousemove", (e) => {
        const r = this.canvas.getBoundingClientRect();
        this.pointer.textContent = this.at(((e.clientX - r.left) * this.canvas.width) / r.width,
          ((e.clientY - r.top) * this.canvas.height) / r.height);
      });
      this.canvas.addEventListener("mouseleave", () => { this.pointer.textContent = ""; });
      root.append(box);
      this.box = box;
    }
    async load() {
      this.g = await unpack(this.meta.g, Float32Array, false);
      this.frontier = await unpack(this.meta.frontier, Int32Array, true);
    }
    describe(i) { return String(i); }
    when(first, reached) {
      if (first < this.K) return ` · expanded at step ${first + 1}`;
      return reached < this.K ? " · on the frontier" : "";
    }
    setStatus(K) {
      let text;
      if (K === 0) text = "before the first step";
      else {
        const i = Math.min(K, this.steps) - 1, g = this.g[i];
        text = `step ${i + 1}: expanding ${this.describe(i)}` +
          (Number.isNaN(g) ? "" : `, g = ${num(g)}`) + `, frontier ${this.frontier[i]}`;
        if (K >= this.steps) {
          text += this.meta.found ? `\nfinished: path of cost ${num(this.meta.cost)}`
            : `\nfinished: no path (${this.meta.stop})`;
        }
      }
      this.status.textContent = text;
    }
    // Sizes the canvas to the panel's width; a grid keeps square cells
    // (narrower than the panel when the height runs out), a tree stretches.
    fit(aspect, maxHeight, square) {
      const dpr = window.devicePixelRatio || 1;
      let w = Math.max(200, this.box.clientWidth || 400);
      let h = square ? w * aspect : Math.min(maxHeight, Math.max(160, w * aspect));
      if (square && h > maxHeight) { h = maxHeight; w = h / aspect; }
      this.canvas.style.width = `${w}px`;
      this.canvas.style.height = `${h}px`;
      this.canvas.width = Math.round(w * dpr);
      this.canvas.height = Math.round(h * dpr);
      this.scale = dpr;
    }
  }

  class GridPanel extends Panel {
    constructor(meta, root, maze) { super(meta, root); this.maze = maze; }
    async load() {
      await super.load();
      const { width: W, height: H } = this.maze, n = W * H;
      this.cells = await unpack(this.meta.cells, Int32Array, true);
      this.path = await unpack(this.meta.path, Int32Array, true);
      this.first = new Int32Array(n).fill(NEVER);
      for (let i = this.cells.length - 1; i >= 0; i--) this.first[this.cells[i]] = i;
      this.seenAt = new Int32Array(n).fill(NEVER);
      // Cells in the order the search first reached them, with those steps.
      this.seen = this.meta.seen ? await unpack(this.meta.seen, Int32Array, true) : new Int32Array(0);
      this.seenTimes = this.meta.seen ? await unpack(this.meta.seenAt, Int32Array, true) : new Int32Array(0);
      for (let j = this.seen.length - 1; j >= 0; j--) this.seenAt[this.seen[j]] = this.seenTimes[j];
      this.off = new OffscreenCanvas(W, H);
      this.offCtx = this.off.getContext("2d");
      this.image = this.offCtx.createImageData(W, H);
      this.pixels = new Uint32Array(this.image.data.buffer);
      this.shown = -1;
    }
    describe(i) { const c = this.cells[i], W = this.maze.width; return `(${Math.floor(c / W)}, ${c % W})`; }
    layout() { this.fit(this.maze.height / this.maze.width, Math.max(240, window.innerHeight * 0.75), true); this.shown = -1; }
    colour(c, K) {
      const f = this.first[c];
      if (f < K) return LUT32[shade(f, this.steps)];
      if (this.seenAt[c] < K) return FRONTIER32;
      return this.maze.base[c];
    }
    at(x, y) {
      const { width: W, height: H } = this.maze;
      const col = Math.floor((x * W) / this.canvas.width), row = Math.floor((y * H) / this.canvas.height);
      if (col < 0 || row < 0 || col >= W || row >= H) return "";
      const c = row * W + col;
      if (!this.maze.levels[c]) return `(${row}, ${col}) · wall`;
      return `(${row}, ${col})` + this.when(this.first[c], this.seenAt[c]);
    }
    render(K) {
      this.K = K;
      const px = this.pixels, first = this.first, cells = this.cells;
      if (this.shown >= 0 && K > this.shown && K - this.shown < 20000) {
        // Forward by a little: touch only the cells these steps change.
        for (let i = this.shown; i < K && i < cells.length; i++) {
          const c = cells[i];
          if (first[c] === i) px[c] = LUT32[shade(i, this.steps)];
        }
        const times = this.seenTimes;
        let a = 0, b = times.length;
        while (a < b) { const mid = (a + b) >> 1; if (times[mid] < this.shown) a = mid + 1; else b = mid; }
        for (let j = a; j < times.length && times[j] < K; j++) {
          const c = this.seen[j];
          if (first[c] >= K) px[c] = FRONTIER32;
        }
      } else {
        for (let c = 0; c < px.length; c++) px[c] = this.colour(c, K);
      }
      this.shown = K;
      this.offCtx.putImageData(this.image, 0, 0);
      this.draw(K);
    }
    draw(K) {
      const ctx = this.canvas.getContext("2d"), { width: W, height: H } = this.maze;
      const s = this.canvas.width / W, t = this.canvas.height / H;
      ctx.imageSmoothingEnabled = s < 1 || t < 1;
      ctx.clearRect(0, 0, this.canvas.width, this.canvas.height);
      ctx.drawImage(this.off, 0, 0, this.canvas.width, this.canvas.height);
      const at = (c) => [(c % W + 0.5) * s, (Math.floor(c / W) + 0.5) * t];
      const r = Math.max(5 * this.scale, Math.min(s, t) * 0.45);
      if (Math.min(s, t) < 3 * this.scale) {
        // Cells smaller than a few pixels: the frontier's cells as dots large
        // enough to see, over the expansions they border.
        const d = 3 * this.scale, times = this.seenTimes;
        ctx.fillStyle = css(FRONTIER);
        for (let j = 0; j < times.length && times[j] < K; j++) {
          const c = this.seen[j];
          if (this.first[c] < K) continue;
          const [x, y] = at(c);
          ctx.fillRect(x - d / 2, y - d / 2, d, d);
        }
      }
      if (K > 0 && K < this.steps) {
        const [x, y] = at(this.cells[K - 1]);
        ctx.strokeStyle = "#ffffff"; ctx.lineWidth = 2 * this.scale;
        ctx.strokeRect(x - r, y - r, 2 * r, 2 * r);
        ctx.strokeStyle = "#000000"; ctx.lineWidth = this.scale;
        ctx.strokeRect(x - r - 1, y - r - 1, 2 * r + 2, 2 * r + 2);
      }
      const done = K >= this.steps;
      if (done && this.path.length) {
        ctx.strokeStyle = "crimson"; ctx.lineWidth = Math.max(2 * this.scale, Math.min(s, t) * 0.35);
        ctx.lineJoin = ctx.lineCap = "round";
        ctx.beginPath();
        this.path.forEach((c, k) => { const [x, y] = at(c); if (k) ctx.lineTo(x, y); else ctx.moveTo(x, y); });
        ctx.stroke();
      }
      const start = this.maze.start >= 0 ? this.maze.start : this.cells[0];
      // Where the search is headed is shown from the first step on.
      const goal = this.maze.goal >= 0 ? this.maze.goal : (this.path.length ? this.path[this.path.length - 1] : -1);
      // A marker on an edge cell is moved in just far enough to be whole.
      const mark = (c, R, which) => {
        const [x, y] = at(c), cw = this.canvas.width, ch = this.canvas.height;
        marker(ctx, Math.min(Math.max(x, R), cw - R), Math.min(Math.max(y, R), ch - R), R, which, this.scale);
      };
      mark(start, r * 1.4 + 2 * this.scale, "start");
      if (goal >= 0) mark(goal, r * 1.6 + 3 * this.scale, "goal");
    }
  }
  const FRONTIER32 = rgba(FRONTIER);

  function marker(ctx, x, y, r, which, scale) {
    ctx.lineWidth = scale;
    ctx.strokeStyle = "#000";
    ctx.beginPath();
    if (which === "start") {
      ctx.fillStyle = "limegreen";
      ctx.arc(x, y, r * 0.6, 0, 2 * Math.PI);
    } else {
      ctx.fillStyle = "gold";
      for (let k = 0; k < 10; k++) {
        const a = -Math.PI / 2 + (k * Math.PI) / 5, rr = k % 2 ? r * 0.32 : r * 0.75;
        ctx.lineTo(x + rr * Math.cos(a), y + rr * Math.sin(a));
      }
      ctx.closePath();
    }
    ctx.fill(); ctx.stroke();
  }

  class TreePanel extends Panel {
    async load() {
      await super.load();
      const m = this.meta;
      this.n = m.nodes;
      this.x = await unpack(m.x, Float32Array, false);
      this.depth = await unpack(m.depth, Int32Array, true);
      this.parent = await unpack(m.parent, Int32Array, false);
      this.order = await unpack(m.order, Int32Array, false);
      this.reached = await unpack(m.reached, Int32Array, false);
      this.stepVertex = await unpack(m.stepVertex, Int32Array, false);
      this.maxX = 0; this.maxDepth = 0;
      // Colours span the expansions drawn (one pass of a depth-first search).
      this.lo = NEVER; this.hi = 0;
      for (let v = 0; v < this.n; v++) {
        if (this.order[v] !== NEVER) { this.lo = Math.min(this.lo, this.order[v]); this.hi = Math.max(this.hi, this.order[v]); }
        this.maxX = Math.max(this.maxX, this.x[v]);
        this.maxDepth = Math.max(this.maxDepth, this.depth[v]);
      }
    }
    text(v) {
      const l = this.meta.labels[v];
      return typeof l === "string" ? l : `(${l.join(", ")})`;
    }
    describe(i) { const v = this.stepVertex[i]; return v >= 0 ? this.text(v) : "(outside the pass shown)"; }
    layout() {
      const rowPx = { board: 64, pegs: 60, text: 40 }[this.meta.kind];
      const w = this.box.clientWidth || 400;
      this.fit(((this.maxDepth + 1) * rowPx + 24) / w, Math.max(320, window.innerHeight * 0.75), false);
      const c = this.canvas, m = 12 * this.scale;
      this.colW = (c.width - 2 * m) / (this.maxX + 1);
      this.rowH = (c.height - 2 * m) / (this.maxDepth + 1);
      this.px = (v) => m + (this.x[v] + 0.5) * this.colW;
      this.py = (v) => m + this.depth[v] * this.rowH + 6 * this.scale;
      // A label may take the gap to its nearest neighbour on the same row.
      const rows = new Map();
      for (let v = 0; v < this.n; v++) {
        if (!rows.has(this.depth[v])) rows.set(this.depth[v], []);
        rows.get(this.depth[v]).push(v);
      }
      this.room = new Float32Array(this.n);
      for (const row of rows.values()) {
        row.sort((a, b) => this.x[a] - this.x[b]);
        row.forEach((v, k) => {
          let gap = Math.min(this.px(v) - 2, c.width - this.px(v) - 2) * 2;
          if (k) gap = Math.min(gap, this.px(v) - this.px(row[k - 1]));
          if (k + 1 < row.length) gap = Math.min(gap, this.px(row[k + 1]) - this.px(v));
          this.room[v] = gap * 0.92;
        });
      }
      this.radius = Math.max(1.5 * this.scale, Math.min(6 * this.scale, this.colW / 3, this.rowH / 5));
    }
    at(x, y) {
      let best = -1, dist = (this.radius + 4 * this.scale) ** 2;
      for (let v = 0; v < this.n; v++) {
        if (this.reached[v] >= this.K && this.order[v] >= this.K) continue;
        const d = (this.px(v) - x) ** 2 + (this.py(v) - y) ** 2;
        if (d <= dist) { best = v; dist = d; }
      }
      return best < 0 ? "" : this.text(best) + this.when(this.order[best], this.reached[best]);
    }
    render(K) {
      this.K = K;
      const ctx = this.canvas.getContext("2d"), c = this.canvas;
      ctx.clearRect(0, 0, c.width, c.height);
      const seen = (v) => this.reached[v] < K || this.order[v] < K;
      ctx.strokeStyle = "#9e9e9e"; ctx.lineWidth = this.scale;
      ctx.beginPath();
      for (let v = 0; v < this.n; v++) {
        const p = this.parent[v];
        if (p >= 0 && seen(v)) { ctx.moveTo(this.px(p), this.py(p)); ctx.lineTo(this.px(v), this.py(v)); }
      }
      ctx.stroke();
      const done = K >= this.steps, path = this.meta.pathVertices;
      if (done && path.length > 1) {
        ctx.strokeStyle = "crimson"; ctx.lineWidth = 3 * this.scale;
        ctx.beginPath();
        path.forEach((v, k) => (k ? ctx.lineTo(this.px(v), this.py(v)) : ctx.moveTo(this.px(v), this.py(v))));
        ctx.stroke();
      }
      const r = this.radius;
      ctx.lineWidth = this.scale;
      for (let v = 0; v < this.n; v++) {
        if (!seen(v)) continue;
        const expanded = this.order[v] < K;
        ctx.fillStyle = expanded ? css(LUT[shade(this.order[v] - this.lo, this.hi - this.lo + 1)]) : "#ffffff";
        ctx.strokeStyle = expanded ? "#333" : css(FRONTIER);
        ctx.beginPath(); ctx.arc(this.px(v), this.py(v), r, 0, 2 * Math.PI); ctx.fill(); ctx.stroke();
        this.label(ctx, v);
      }
      if (K > 0 && !done) {
        const v = this.stepVertex[K - 1];
        if (v >= 0) {
          ctx.strokeStyle = "#000"; ctx.lineWidth = 2 * this.scale;
          ctx.beginPath(); ctx.arc(this.px(v), this.py(v), r + 3 * this.scale, 0, 2 * Math.PI); ctx.stroke();
        }
      }
      if (this.n) marker(ctx, this.px(0), this.py(0), r * 1.6 + 4 * this.scale, "start", this.scale);
      if (done && this.meta.found && path.length) {
        const g = path[path.length - 1];
        marker(ctx, this.px(g), this.py(g), r * 2 + 6 * this.scale, "goal", this.scale);
      }
    }
    // Labels hang under their node inside a box that no neighbour's box meets.
    label(ctx, v) {
      const w = this.room[v], h = this.rowH - this.radius * 2 - 10 * this.scale;
      const x = this.px(v), top = this.py(v) + this.radius + 3 * this.scale;
      const kind = this.meta.kind, l = this.meta.labels[v], s = this.scale;
      if (w < 8 * s || h < 7 * s) return;
      if (kind === "board") {
        const side = Math.round(Math.sqrt(l.length)), cell = Math.min(w, h) / side;
        if (cell < 7 * s) return;
        const x0 = x - (cell * side) / 2;
        ctx.font = `${Math.floor(cell * 0.7)}px monospace`;
        ctx.textAlign = "center"; ctx.textBaseline = "middle";
        l.forEach((tile, k) => {
          const cx = x0 + (k % side) * cell, cy = top + Math.floor(k / side) * cell;
          ctx.fillStyle = tile ? "#f4f1e8" : "#9a9a9a";
          ctx.fillRect(cx, cy, cell, cell);
          ctx.strokeStyle = "#777"; ctx.lineWidth = 0.5 * s; ctx.strokeRect(cx, cy, cell, cell);
          if (tile) { ctx.fillStyle = "#222"; ctx.fillText(String(tile), cx + cell / 2, cy + cell / 2 + 0.5); }
        });
        return;
      }
      if (kind === "pegs") {
        const P = this.meta.pegs, D = l.length;
        if (w < 5 * P * s || h < 2 * (D + 1) * s) return;
        const bw = Math.min(w, 18 * s * P), bh = Math.min(h, 6 * s * (D + 1)), thick = bh / (D + 1);
        const bottom = top + bh, stacks = Array.from({ length: P }, () => []);
        for (let d = D - 1; d >= 0; d--) stacks[l[d]].push(d);
        stacks.forEach((stack, j) => {
          const px = x - bw / 2 + ((j + 0.5) * bw) / P;
          ctx.strokeStyle = "#555"; ctx.lineWidth = s;
          ctx.beginPath(); ctx.moveTo(px, bottom); ctx.lineTo(px, top); ctx.stroke();
          ctx.fillStyle = "#4c72b0";
          stack.forEach((d, level) => {
            const half = (((d + 1) / D) * bw) / P * 0.45;
            ctx.fillRect(px - half, bottom - (level + 1) * thick + 0.5, 2 * half, thick - 1);
          });
        });
        return;
      }
      let text = this.text(v), size = Math.min(12 * s, h * 0.8);
      ctx.font = `${size}px sans-serif`;
      let width = ctx.measureText(text).width;
      if (width > w) {
        size = Math.max(8 * s, (size * w) / width);
        ctx.font = `${size}px sans-serif`;
        while (text.length > 1 && ctx.measureText(text).width > w) text = text.slice(0, -2) + "…";
        if (ctx.measureText(text).width > w || text.length < 2) return;
      }
      // A light backing keeps the text readable over edges and the path.
      width = ctx.measureText(text).width;
      ctx.fillStyle = "rgba(255,255,255,0.8)";
      ctx.fillRect(x - width / 2 - s, top - s, width + 2 * s, size + 2 * s);
      ctx.fillStyle = "#222"; ctx.textAlign = "center"; ctx.textBaseline = "top";
      ctx.fillText(text, x, top);
    }
  }

  function legend(root, grid) {
    const p = el("p", "wl-legend");
    const swatch = (colour, text) => { const s = el("span"); s.style.background = colour; p.append(s, text); };
    swatch(css(LUT[0]), "expanded first"); swatch(css(LUT[255]), "expanded last");
    swatch(css(FRONTIER), "frontier"); swatch("crimson", "path (at the end)");
    if (grid) swatch(css(WALL), "wall");
    root.after(p);
  }

  async function main() {
    const data = JSON.parse($("wl-data").textContent);
    const N = data.steps, root = $("wl-panels");
    let maze = null;
    if (data.maze) {
      const m = data.maze, levels = await unpack(m.levels, Uint8Array, false);
      const base = new Uint32Array(levels.length), white = [255, 255, 255], top = Math.max(m.top, 2) - 1;
      for (let c = 0; c < levels.length; c++) {
        base[c] = levels[c] ? rgba(mix(white, TERRAIN, (levels[c] - 1) / top)) : rgba(WALL);
      }
      maze = { width: m.width, height: m.height, start: m.start, goal: m.goal, base, levels };
    }
    const panels = data.panels.map((meta) => (maze ? new GridPanel(meta, root, maze) : new TreePanel(meta, root)));
    for (const p of panels) await p.load();
    legend(root, !!maze);

    const scrub = $("scrub"), label = $("step-label"), play = $("play"), speed = $("speed");
    const best = SPEEDS.find((v) => v >= N / 10) || SPEEDS[SPEEDS.length - 1];
    for (const v of SPEEDS) {
      const o = el("option", "", `${v.toLocaleString("en")} steps/s`);
      o.value = String(v); o.selected = v === Math.max(best, 2);
      speed.append(o);
    }
    let K = 0, playing = false, carry = 0, last = 0;
    const show = (k) => {
      K = Math.max(0, Math.min(N, k));
      scrub.value = String(K);
      label.textContent = `step ${K} of ${N}`;
      for (const p of panels) { p.render(K); p.setStatus(K); }
    };
    const setPlaying = (on) => {
      playing = on;
      play.textContent = on ? "❚❚ pause" : "▶ play";
      if (on) { carry = 0; last = performance.now(); requestAnimationFrame(tick); }
    };
    const tick = (now) => {
      if (!playing) return;
      carry += ((now - last) / 1000) * Number(speed.value);
      last = now;
      const by = Math.floor(carry);
      if (by > 0) { carry -= by; show(K + by); }
      if (K >= N) setPlaying(false); else requestAnimationFrame(tick);
    };
    const toggle = () => { if (!playing && K >= N) show(0); setPlaying(!playing); };
    const go = (k) => { setPlaying(false); show(k); };
    play.addEventListener("click", toggle);
    $("step").addEventListener("click", () => go(K + 1));
    $("back").addEventListener("click", () => go(K - 1));
    $("end").addEventListener("click", () => go(N));
    scrub.addEventListener("input", () => go(Number(scrub.value)));
    const keys = { " ": toggle, ArrowRight: () => go(K + 1), ArrowUp: () => go(K + 1),
      ArrowLeft: () => go(K - 1), ArrowDown: () => go(K - 1), Home: () => go(0), End: () => go(N) };
    document.addEventListener("keydown", (e) => {
      const tag = e.target && e.target.tagName;
      // A focused list or slider keeps its own keys; a focused button its Enter.
      if (tag === "SELECT" || (tag === "INPUT" && e.key !== " ") || (tag === "BUTTON" && e.key === "Enter")) return;
      if (keys[e.key]) { e.preventDefault(); keys[e.key](); }
    });
    // Space always plays or pauses, even with a button focused: the button
    // would otherwise take it as a click of its own on key up.
    document.addEventListener("keyup", (e) => { if (e.key === " " && e.target.tagName === "BUTTON") e.preventDefault(); });
    const relayout = () => { for (const p of panels) p.layout(); show(K); };
    window.addEventListener("resize", relayout);
    relayout();
    document.body.dataset.ready = "1";
  }

  main().catch((err) => {
    const p = el("p", "wl-error", `The player could not start: ${err && err.message ? err.message : err}`);
    $("wl-panels").append(p);
    document.body.dataset.ready = "error";
    throw err;
  });
})();
