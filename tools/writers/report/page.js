// SPDX-License-Identifier: MIT
// The report's script: the layout drawn on canvases, the table of symbols and the table of
// changes (only the rows in view are made), search, filters and sorting, and the view kept in
// the address's fragment. Every text from the map is set as text, never as markup.
"use strict";
(function () {
  const data = JSON.parse(document.getElementById("report-data").textContent);
  data.maps.forEach(unpack);
  const map = data.maps[data.maps.length - 1]; // the map shown: the new one when there are two
  const old = data.maps.length > 1 ? data.maps[0] : null;
  const diff = data.diff || null;
  const count = map.names.length;
  // The change names by number, as the page's writer numbers them; 0 is no change.
  const CHANGE_NAMES = data.changeNames;
  const REMOVED = CHANGE_NAMES.indexOf("removed");
  const changeClass = (change) => (change ? CHANGE_NAMES[change] : "");
  const ROW_HEIGHT = 22;

  // The data as written compactly: names in one text, a space between two (no name holds a
  // blank); values and region bounds as eight hexadecimal digits each, lines as steps, spans in
  // hexadecimal (empty for none). Each drawn symbol's region is the one of its group (code or
  // data) whose bounds hold its value.
  function unpack(m) {
    m.names = m.names === "" ? [] : m.names.split(" ");
    const n = m.names.length;
    const hexAt = (text, at) => parseInt(text.substr(at * 8, 8), 16);
    const valuesText = m.values, spanTexts = m.spans.split(",");
    m.values = new Float64Array(n);
    m.spans = new Float64Array(n);
    m.lines = new Float64Array(n);
    let line = 0;
    for (let i = 0; i < n; ++i) {
      m.values[i] = hexAt(valuesText, i);
      m.spans[i] = spanTexts[i] === "" || spanTexts[i] === undefined ? -1 : parseInt(spanTexts[i], 16);
      line += m.lineSteps[i];
      m.lines[i] = line;
    }
    m.regionList = m.regionNames.map((name, r) => ({
      name, data: m.regionData[r] === "1", first: hexAt(m.regionBounds, 2 * r),
      last: hexAt(m.regionBounds, 2 * r + 1), count: m.regionCounts[r] }));
    m.regions = new Int32Array(n).fill(-1);
    const groups = [false, true].map((d) => m.regionList.map((r, i) => i).filter((i) => m.regionList[i].data === d));
    for (let i = 0; i < n; ++i) {
      const kind = m.kinds.charCodeAt(i) - 48;
      if (!data.drawnKinds.includes(kind)) continue;
      const group = groups[data.dataKinds.includes(kind) ? 1 : 0];
      let lo = 0, hi = group.length;
      while (lo < hi) {
        const mid = (lo + hi) >> 1;
        if (m.regionList[group[mid]].last < m.values[i]) lo = mid + 1; else hi = mid;
      }
      m.regions[i] = group[lo];
    }
  }
  const hex = (v) => "0x" + (v >>> 0).toString(16).toUpperCase().padStart(8, "0");
  // A value as the listing writes it: with its bit number, if it has one.
  const valueText = (m, i) => hex(m.values[i]) + (m.bits && m.bits[i] !== "-" ? "(" + m.bits[i] + ")" : "");
  // A size in bytes, with KiB beside it from 1 KiB up.
  const sizeText = (s) => (s < 0 ? "" : s < 1024 ? s + " B" : s + " B (" + (s / 1024).toFixed(1) + " KiB)");
  const counted = (n, noun) => n + " " + noun + (n === 1 ? "" : "s");
  // A control reached by the keyboard: Tab to it, Enter or Space to use it.
  const keyed = (e, act) => {
    e.tabIndex = 0;
    e.addEventListener("keydown", (event) => {
      if (event.key !== "Enter" && event.key !== " ") return;
      event.preventDefault();
      act(event);
    });
  };
  const kindOf = (m, i) => data.kindNames[m.kinds.charCodeAt(i) - 48];
  const changeOf = (i) => (diff ? diff.changes.charCodeAt(i) - 48 : 0);
  const element = (tag, text, cls) => {
    const e = document.createElement(tag);
    if (text !== undefined) e.textContent = text;
    if (cls) e.className = cls;
    return e;
  };

  // ---- The view's state, kept in the fragment: #q=uart&kind=Func.&region=0&sort=-span&sel=12
  const state = { q: "", kind: "", region: "", sort: "value", sel: -1, csort: "-spanchange" };
  function readFragment() {
    const hash = location.hash.slice(1);
    if (!hash.includes("=")) return false; // a plain anchor such as #symbols
    const p = new URLSearchParams(hash);
    state.q = p.get("q") || "";
    state.kind = p.get("kind") || "";
    state.region = p.get("region") || "";
    state.sort = p.get("sort") || "value";
    state.csort = p.get("csort") || "-spanchange";
    const sel = parseInt(p.get("sel"), 10);
    state.sel = sel >= 0 && sel < count ? sel : -1;
    return true;
  }
  function writeFragment() {
    const p = new URLSearchParams();
    if (state.q) p.set("q", state.q);
    if (state.kind) p.set("kind", state.kind);
    if (state.region !== "") p.set("region", state.region);
    if (state.sort !== "value") p.set("sort", state.sort);
    if (diff && state.csort !== "-spanchange") p.set("csort", state.csort);
    if (state.sel >= 0) p.set("sel", String(state.sel));
    const text = p.toString();
    history.replaceState(null, "", text ? "#" + text : location.pathname + location.search);
  }

  // ---- Search: a substring (any letter case), or a pattern with *, ? and [...] as the listing's
  function matcher(q) {
    if (!q) return () => true;
    if (/[*?[]/.test(q)) {
      let source = "^";
      for (let i = 0; i < q.length; ++i) {
        const c = q[i];
        if (c === "*") source += ".*";
        else if (c === "?") source += ".";
        else if (c === "[") {
          const end = q.indexOf("]", i + 2);
          if (end < 0) { source += "\\["; continue; }
          let set = q.slice(i + 1, end);
          const negate = set[0] === "!";
          if (negate) set = set.slice(1);
          source += "[" + (negate ? "^" : "") + set.replace(/[\\\]^]/g, "\\$&") + "]";
          i = end;
        } else source += c.replace(/[.+^${}()|\\]/g, "\\$&");
      }
      const re = new RegExp(source + "$");
      return (name) => re.test(name);
    }
    const lower = q.toLowerCase();
    return (name) => name.toLowerCase().includes(lower);
  }

  // ---- A table whose body holds only the rows in view, between two spacer rows
  class VirtualTable {
    constructor(scroller, table, makeRow) {
      this.scroller = scroller;
      this.body = table.tBodies[0];
      this.makeRow = makeRow;
      this.rows = new Int32Array(0);
      scroller.addEventListener("scroll", () => this.render());
    }
    show(rows) {
      this.rows = rows;
      this.render();
    }
    render() {
      const first = Math.max(0, Math.floor(this.scroller.scrollTop / ROW_HEIGHT) - 5);
      const visible = Math.ceil(this.scroller.clientHeight / ROW_HEIGHT) + 10;
      const last = Math.min(this.rows.length, first + visible);
      const body = this.body;
      body.replaceChildren();
      body.appendChild(this.spacer(first * ROW_HEIGHT));
      for (let at = first; at < last; ++at) body.appendChild(this.makeRow(this.rows[at]));
      body.appendChild(this.spacer((this.rows.length - last) * ROW_HEIGHT));
    }
    spacer(height) {
      const tr = element("tr", undefined, "spacer");
      const td = element("td");
      td.colSpan = 7;
      td.style.height = height + "px";
      tr.appendChild(td);
      return tr;
    }
    scrollTo(position) {
      this.scroller.scrollTop = Math.max(0, position * ROW_HEIGHT - this.scroller.clientHeight / 2);
      this.render();
    }
  }

  // ---- The table of symbols
  const columns = {
    value: (i) => map.values[i],
    span: (i) => map.spans[i],
    kind: (i) => kindOf(map, i),
    scope: (i) => map.scopes[i],
    name: (i) => map.names[i],
    line: (i) => map.lines[i],
  };
  function comparator(key, getters) {
    const descending = key[0] === "-";
    const get = getters[descending ? key.slice(1) : key] || getters.value;
    const sign = descending ? -1 : 1;
    return (a, b) => {
      const x = get(a), y = get(b);
      return x < y ? -sign : x > y ? sign : a - b;
    };
  }
  const symbolTable = new VirtualTable(
    document.getElementById("table-scroll"), document.getElementById("symbol-table"), (i) => {
      const tr = element("tr");
      tr.dataset.index = String(i);
      tr.className = (i === state.sel ? "selected " : "") + changeClass(changeOf(i));
      tr.tabIndex = 0;
      tr.append(element("td", valueText(map, i), "num"),
                element("td", sizeText(map.spans[i]), "num"),
                element("td", kindOf(map, i)), element("td", map.scopes[i]),
                element("td", map.names[i]), element("td", String(map.lines[i]), "num"));
      return tr;
    });
  let filtered = new Int32Array(0);
  function applyFilters() {
    const match = matcher(state.q);
    const other = state.region === "other";
    const region = state.region === "" || other ? null : Number(state.region);
    const picked = [];
    for (let i = 0; i < count; ++i) {
      if (state.kind && kindOf(map, i) !== state.kind) continue;
      if (region !== null && map.regions[i] !== region) continue;
      if (other && (map.regions[i] < 0 || shownSet.has(map.regions[i]))) continue;
      if (match(map.names[i])) picked.push(i);
    }
    picked.sort(comparator(state.sort, columns));
    filtered = Int32Array.from(picked);
    document.getElementById("row-count").textContent = filtered.length + " of " + counted(count, "symbol");
    for (const th of document.querySelectorAll("#symbol-table th")) {
      const key = th.dataset.sort;
      th.className = state.sort === key ? "ascending" : state.sort === "-" + key ? "descending" : "";
    }
    symbolTable.show(filtered);
    writeFragment();
  }
  function select(i, fromLayout) {
    state.sel = i;
    if (fromLayout && filtered.indexOf(i) < 0) {
      state.q = state.kind = state.region = "";
      syncControls();
      applyFilters();
    }
    const position = filtered.indexOf(i);
    if (position >= 0) symbolTable.scrollTo(position);
    else symbolTable.render();
    writeFragment();
    drawLayout();
  }

  // ---- Controls
  const search = document.getElementById("search");
  const kindFilter = document.getElementById("kind-filter");
  const regionFilter = document.getElementById("region-filter");
  const kindsPresent = new Set();
  for (let i = 0; i < count; ++i) kindsPresent.add(kindOf(map, i));
  for (const name of data.kindNames) {
    if (kindsPresent.has(name)) kindFilter.appendChild(new Option(name, name));
  }
  // The regions shown in the layout, and the others at once: a map of scattered values may
  // have tens of thousands.
  const shownSet = new Set(map.shownRegions);
  map.shownRegions.forEach((i) => {
    const r = map.regionList[i];
    regionFilter.appendChild(new Option(r.name + " (" + hex(r.first) + " to " + hex(r.last) + ")", String(i)));
  });
  if (shownSet.size < map.regionList.length) {
    regionFilter.appendChild(new Option("the other " + (map.regionList.length - shownSet.size) +
                                        " regions", "other"));
  }
  function syncControls() {
    search.value = state.q;
    kindFilter.value = state.kind;
    regionFilter.value = state.region;
  }
  search.addEventListener("input", () => { state.q = search.value; applyFilters(); });
  kindFilter.addEventListener("change", () => { state.kind = kindFilter.value; applyFilters(); });
  regionFilter.addEventListener("change", () => { state.region = regionFilter.value; applyFilters(); });
  const sortSymbols = (event) => {
    const key = event.target.dataset && event.target.dataset.sort;
    if (!key) return;
    state.sort = state.sort === key ? "-" + key : key;
    applyFilters();
  };
  document.querySelector("#symbol-table thead").addEventListener("click", sortSymbols);
  document.querySelectorAll("#symbol-table th[data-sort]").forEach((th) => keyed(th, sortSymbols));
  const pickRow = (event) => {
    const tr = event.target.closest("tr");
    if (tr && tr.dataset.index) select(Number(tr.dataset.index), false);
  };
  document.querySelector("#symbol-table tbody").addEventListener("click", pickRow);
  document.querySelector("#symbol-table tbody").addEventListener("keydown", (event) => {
    if (event.key === "Enter") pickRow(event);
  });

  // ---- The layout: a band per region, each on a canvas, drawn from what is in view
  // By kind number, as the legend's swatches (.k1, .k2, .k5, .k6) in the style.
  const KIND_COLOURS = { 1: "#2aa198", 2: "#8fbc5a", 5: "#3b7dd8", 6: "#d98c2b" };
  const memberLists = map.regionList.map(() => []);
  for (let i = 0; i < count; ++i) if (map.regions[i] >= 0) memberLists[map.regions[i]].push(i);
  const bands = map.shownRegions.map((r) => {
    const region = map.regionList[r];
    const members = memberLists[r];
    members.sort((a, b) => map.values[a] - map.values[b] || a - b);
    return { number: r, region, members: Int32Array.from(members), lo: region.first,
             hi: region.last + 1, canvas: null };
  });
  const view = document.getElementById("layout-view");
  const tooltip = document.getElementById("tooltip");
  // The first member at or above address (members sorted by value).
  function firstAtOrAbove(band, address) {
    let lo = 0, hi = band.members.length;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (map.values[band.members[mid]] < address) lo = mid + 1; else hi = mid;
    }
    return lo;
  }
  function drawBand(band) {
    const canvas = band.canvas;
    const width = canvas.clientWidth, height = canvas.clientHeight;
    const ratio = window.devicePixelRatio || 1;
    canvas.width = Math.max(1, Math.round(width * ratio));
    canvas.height = Math.max(1, Math.round(height * ratio));
    const g = canvas.getContext("2d");
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.fillStyle = "#eef1f5";
    g.fillRect(0, 0, width, height);
    const scale = width / (band.hi - band.lo);
    // Whole pixel columns: a block never fades into the background at its edges.
    const drawBlock = (i) => {
      const value = map.values[i];
      const span = Math.max(map.spans[i], 0);
      const x0 = Math.max(0, Math.floor((value - band.lo) * scale));
      const x1 = Math.min(width, Math.max(x0 + 1, Math.ceil((value + Math.max(span, 1) - band.lo) * scale)));
      g.fillStyle = KIND_COLOURS[map.kinds.charCodeAt(i) - 48] || "#888";
      g.fillRect(x0, 6, x1 - x0, height - 6);
      if (x1 - x0 > 3) {
        g.fillStyle = "rgba(0, 0, 0, 0.25)"; // the edge between neighbouring blocks
        g.fillRect(x1 - 1, 6, 1, height - 6);
      }
      if (changeOf(i)) {
        g.fillStyle = "#d33";
        g.fillRect(x0, 0, Math.max(2, x1 - x0), 5);
      }
      return x0;
    };
    let at = Math.max(0, firstAtOrAbove(band, band.lo) - 1);
    while (at < band.members.length && map.values[band.members[at]] < band.hi) {
      const x0 = drawBlock(band.members[at]);
      // The blocks that start in the same pixel column: the largest is drawn over the first,
      // so that the column shows its largest block's kind, and the last over both, since it
      // may run on over the columns after.
      const last = Math.max(at + 1, firstAtOrAbove(band, band.lo + (x0 + 1) / scale)) - 1;
      let largest = at;
      for (let k = at + 1; k < last; ++k) {
        if (map.spans[band.members[k]] > map.spans[band.members[largest]]) largest = k;
      }
      if (largest !== at) drawBlock(band.members[largest]);
      if (last !== at && map.values[band.members[last]] < band.hi) drawBlock(band.members[last]);
      at = last + 1;
    }
    if (state.sel >= 0 && map.regions[state.sel] === band.number) {
      const v = map.values[state.sel];
      const x = (v - band.lo) * scale;
      const w = Math.max(3, Math.max(map.spans[state.sel], 1) * scale);
      g.strokeStyle = "#000";
      g.lineWidth = 2;
      g.strokeRect(x, 1, Math.min(w, width - x), height - 2);
    }
  }
  function drawLayout() { bands.forEach((band) => band.canvas && drawBand(band)); }
  function symbolAt(band, x) {
    const address = band.lo + (x / band.canvas.clientWidth) * (band.hi - band.lo);
    const at = firstAtOrAbove(band, Math.floor(address) + 1) - 1;
    return at >= 0 ? band.members[at] : -1;
  }
  function describe(i) {
    const span = map.spans[i] < 0 ? "not known (the last of its region)" : sizeText(map.spans[i]);
    const change = changeClass(changeOf(i));
    return map.names[i] + "\n" + valueText(map, i) + "  size " + span + "\n" + kindOf(map, i) +
      "  scope " + map.scopes[i] + "  line " + map.lines[i] + (change ? "\n" + change : "");
  }
  bands.forEach((band) => {
    const box = element("div", undefined, "band");
    const label = element("div", band.region.name + "  " + hex(band.region.first) + " to " +
                          hex(band.region.last) + "  " + counted(band.region.count, "symbol"), "band-label");
    const canvas = element("canvas");
    // By keyboard: + and - zoom about the middle, the arrows move, 0 shows the whole region.
    canvas.tabIndex = 0;
    canvas.setAttribute("aria-label", label.textContent + ": + and - zoom, arrows move, 0 shows all");
    canvas.addEventListener("keydown", (event) => {
      const size = band.hi - band.lo, full = band.region.last + 1 - band.region.first;
      const centre = band.lo + size / 2;
      let next = size, lo = band.lo;
      if (event.key === "+" || event.key === "=") next = Math.max(4, size * 0.8);
      else if (event.key === "-") next = Math.min(full, size * 1.25);
      else if (event.key === "ArrowLeft") lo -= size / 10;
      else if (event.key === "ArrowRight") lo += size / 10;
      else if (event.key === "0") { lo = band.region.first; next = full; }
      else return;
      event.preventDefault();
      if (next !== size) lo = centre - next / 2;
      band.lo = Math.max(band.region.first, Math.min(lo, band.region.last + 1 - next));
      band.hi = band.lo + next;
      drawBand(band);
    });
    canvas.dataset.region = band.region.name;
    band.canvas = canvas;
    box.append(label, canvas);
    view.appendChild(box);
    let dragging = null;
    canvas.addEventListener("wheel", (event) => {
      event.preventDefault();
      const x = event.offsetX / canvas.clientWidth;
      const pivot = band.lo + x * (band.hi - band.lo);
      const factor = event.deltaY < 0 ? 0.8 : 1.25;
      const full = band.region.last + 1 - band.region.first;
      const size = Math.min(full, Math.max(4, (band.hi - band.lo) * factor));
      band.lo = Math.max(band.region.first, Math.min(pivot - x * size, band.region.last + 1 - size));
      band.hi = band.lo + size;
      drawBand(band);
    }, { passive: false });
    canvas.addEventListener("mousedown", (event) => { dragging = { x: event.clientX, lo: band.lo, moved: false }; });
    window.addEventListener("mouseup", () => { setTimeout(() => { dragging = null; }, 0); });
    canvas.addEventListener("mousemove", (event) => {
      if (dragging && event.buttons) {
        const shift = ((event.clientX - dragging.x) / canvas.clientWidth) * (band.hi - band.lo);
        if (Math.abs(event.clientX - dragging.x) > 2) dragging.moved = true;
        const size = band.hi - band.lo;
        band.lo = Math.max(band.region.first, Math.min(dragging.lo - shift, band.region.last + 1 - size));
        band.hi = band.lo + size;
        drawBand(band);
        return;
      }
      const i = symbolAt(band, event.offsetX);
      if (i < 0) { tooltip.hidden = true; return; }
      tooltip.textContent = describe(i);
      tooltip.hidden = false;
      // Beside the pointer, but never past the window's right edge.
      const room = window.scrollX + document.documentElement.clientWidth - tooltip.offsetWidth - 4;
      tooltip.style.left = Math.max(window.scrollX, Math.min(event.pageX + 12, room)) + "px";
      tooltip.style.top = event.pageY + 12 + "px";
    });
    canvas.addEventListener("mouseleave", () => { tooltip.hidden = true; });
    canvas.addEventListener("click", (event) => {
      if (dragging && dragging.moved) return;
      const i = symbolAt(band, event.offsetX);
      if (i >= 0) select(i, true);
    });
    canvas.addEventListener("dblclick", () => {
      band.lo = band.region.first;
      band.hi = band.region.last + 1;
      drawBand(band);
    });
  });
  window.addEventListener("resize", drawLayout);

  // ---- The table of changes
  if (diff) {
    const items = []; // [change, name, old value, new value, old span, new span]
    for (let i = 0; i < count; ++i) {
      const change = changeOf(i);
      if (!change) continue;
      const partner = diff.partners[i];
      items.push([change, map.names[i], partner < 0 ? null : old.values[partner], map.values[i],
                  partner < 0 ? null : old.spans[partner], map.spans[i]]);
    }
    for (const o of diff.removed) items.push([REMOVED, old.names[o], old.values[o], null, old.spans[o], null]);
    const spanOf = (s) => (s === null || s < 0 ? 0 : s);
    const getters = {
      change: (k) => changeClass(items[k][0]),
      name: (k) => items[k][1],
      old: (k) => (items[k][2] === null ? -1 : items[k][2]),
      new: (k) => (items[k][3] === null ? -1 : items[k][3]),
      oldspan: (k) => spanOf(items[k][4]),
      newspan: (k) => spanOf(items[k][5]),
      spanchange: (k) => spanOf(items[k][5]) - spanOf(items[k][4]),
      value: (k) => k,
    };
    const cell = (v) => (v === null || v < 0 ? "" : hex(v));
    const sizeCell = (v) => (v === null ? "" : sizeText(v));
    const changeTable = new VirtualTable(
      document.getElementById("change-scroll"), document.getElementById("change-table"), (k) => {
        const [change, name, before, after, oldSpan, newSpan] = items[k];
        const tr = element("tr", undefined, changeClass(change));
        const delta = spanOf(newSpan) - spanOf(oldSpan);
        const nameCell = element("td", name, "name");
        nameCell.title = name;
        tr.append(element("td", changeClass(change)), nameCell,
                  element("td", cell(before), "num"), element("td", cell(after), "num"),
                  element("td", sizeCell(oldSpan), "num"), element("td", sizeCell(newSpan), "num"),
                  element("td", (delta > 0 ? "+" : "") + delta, "num"));
        return tr;
      });
    const showChanges = () => {
      const order = items.map((_, k) => k);
      order.sort(comparator(state.csort, getters));
      for (const th of document.querySelectorAll("#change-table th")) {
        const key = th.dataset.sort;
        th.className = state.csort === key ? "ascending" : state.csort === "-" + key ? "descending" : "";
      }
      document.getElementById("change-count").textContent = counted(items.length, "change");
      changeTable.show(Int32Array.from(order));
      writeFragment();
    };
    const sortChanges = (event) => {
      const key = event.target.dataset && event.target.dataset.sort;
      if (!key) return;
      state.csort = state.csort === key ? "-" + key : key;
      showChanges();
    };
    document.querySelector("#change-table thead").addEventListener("click", sortChanges);
    document.querySelectorAll("#change-table th[data-sort]").forEach((th) => keyed(th, sortChanges));
    readFragment();
    showChanges();
  }

  // ---- Start: the view the fragment names, or the whole map
  readFragment();
  syncControls();
  applyFilters();
  if (state.sel >= 0) select(state.sel, false);
  drawLayout();
  window.addEventListener("hashchange", () => {
    if (!readFragment()) return;
    syncControls();
    applyFilters();
    drawLayout();
  });
  document.body.dataset.ready = "true";
})();
