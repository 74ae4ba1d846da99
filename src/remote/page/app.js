"use strict";
const $ = (id) => document.getElementById(id);
// A text of the page: the station hands the script out with T's texts in the
// reader's language; %1, %2 ... take the arguments.
const T = (text, ...args) => text.replace(/%(\d)/g, (m, i) => String(args[i - 1]));
// Numbers with the page language's decimal mark.
const comma = document.documentElement.lang === "de";
const decimal = (text) => (comma ? text.replace(".", ",") : text);
// The token goes in a header, never in a URL (proxies log URLs). It is kept
// for this tab only; an old bookmark's ?token= is taken once and removed.
// A browser that blocks site data throws on sessionStorage: then the token lasts as long as the page.
const kept = (() => { try { return window.sessionStorage; } catch (e) { return null; } })();
const keep = (t) => { if (kept) kept.setItem("kestro-token", t); };
let token = (kept && kept.getItem("kestro-token")) || "";
{
  const params = new URLSearchParams(location.search);
  if (params.has("token")) {
    token = params.get("token");
    keep(token);
    params.delete("token");
    const rest = params.toString();
    history.replaceState(null, "", location.pathname + (rest ? "?" + rest : "") + location.hash);
  }
}
const authorization = () => (token ? { Authorization: "Bearer " + token } : {});
const WINDOW_MS = 10 * 60 * 1000;
let points = [];          // [utc ms, dB, flags]
let offsetMin = 0;        // the station's UTC offset
let stationNow = 0;       // newest station instant seen
let meterRange = null;
let stream = null;        // aborts the event stream being read

function askToken() {
  if (stream) stream.abort();
  stream = null;
  badge($("link"), T("token needed"), "off");
  $("login-note").textContent = token ? T("The station refused this token.") : "";
  $("login").hidden = false;
  $("token").focus();
}

function get(path) {
  return fetch(path, { cache: "no-store", headers: authorization() }).then((r) => {
    if (r.status === 401) askToken();
    if (!r.ok) throw new Error(path + ": " + r.status);
    return r.json();
  });
}
function fixed1(v) { return v == null ? "—" : decimal(v.toFixed(1)); }
function localText(iso) { return iso ? iso.slice(0, 19).replace("T", " ") : "—"; }
function clockText(utc) {
  const d = new Date(utc + offsetMin * 60000);
  return String(d.getUTCHours()).padStart(2, "0") + ":" + String(d.getUTCMinutes()).padStart(2, "0");
}
function duration(s) {
  s = Math.round(s);
  const h = Math.floor(s / 3600), m = Math.floor(s / 60) % 60, sec = s % 60;
  return h + ":" + String(m).padStart(2, "0") + ":" + String(sec).padStart(2, "0");
}
function badge(el, text, cls) { el.textContent = text; el.className = "badge " + cls; }

function showState(s) {
  $("level").textContent = s.level_db == null ? decimal("--.-") : fixed1(s.level_db);
  const flags = [];
  if (s.overflow) flags.push('<span class="flag over">OVER</span>');
  if (s.underflow) flags.push('<span class="flag under">UNDER</span>');
  $("flags").innerHTML = flags.join("");
  badge($("online"), s.online ? T("online") : T("offline"), s.online ? "on" : "off");
  badge($("recording"), s.recording ? T("recording") : T("not recording"), s.recording ? "rec" : "idle");
  $("function").textContent = s.function || "—";
  $("range").textContent = s.range ? s.range + (s.auto ? ", AUTO" : "") : "—";
  $("battery").textContent = s.battery || "—";
  $("serial").textContent = T("meter %1", s.serial || "—");
  $("time").textContent = localText(s.time);
  if (s.time) {
    const t = Date.parse(s.time);
    if (!isNaN(t)) stationNow = Math.max(stationNow, t);
    const m = /([+-])(\d\d):(\d\d)$/.exec(s.time);
    if (m) offsetMin = (m[1] === "-" ? -1 : 1) * (60 * +m[2] + +m[3]);
  }
  showEvent(s.event, s.last_event, s.event_detection, s.events_total);
  const r = /^(\d+)-(\d+)/.exec(s.range || "");
  meterRange = r ? [+r[1], +r[2]] : null;
}

// The running exceedance, or the last one, from the state and the exceedance events.
function showEvent(running, last, detection, total) {
  const box = $("event");
  if (detection !== undefined) $("detection").textContent = detection || T("not recording");
  const e = running || last;
  box.className = "event" + (running ? " running" : "");
  if (!e) { box.textContent = T("No exceedance yet."); return; }
  const levels = (e.lmax_db != null ? ", LAmax " + fixed1(e.lmax_db) + " dB" : "") +
                 (running ? "" : ", SEL " + fixed1(e.sel_db) + " dB");
  box.textContent = (running ? T("Exceedance of %1 dB since %2", fixed1(e.level_db), localText(e.start).slice(11))
                             : T("Last exceedance %1, %2", localText(e.start), duration(e.duration_s)) +
                               (e.open ? T(" (cut short)") : "")) + levels +
                    (total != null ? T(" — %1 in this run", total) : "");
}

function addPoint(p) {
  points.push(p);
  stationNow = Math.max(stationNow, p[0]);
  const oldest = stationNow - WINDOW_MS;
  while (points.length && points[0][0] < oldest) points.shift();
}

function drawCurve() {
  const svg = $("curve");
  const w = svg.clientWidth || 800, h = svg.clientHeight || 260;
  const left = 40, right = 10, top = 10, bottom = 22;
  const end = stationNow || Date.now(), start = end - WINDOW_MS;
  let lo, hi;
  if (meterRange) { [lo, hi] = meterRange; } else {
    lo = 30; hi = 90;
    if (points.length) {
      lo = Math.floor(Math.min(...points.map((p) => p[1])) / 10) * 10 - 10;
      hi = Math.ceil(Math.max(...points.map((p) => p[1])) / 10) * 10 + 10;
    }
  }
  const x = (t) => left + (t - start) / WINDOW_MS * (w - left - right);
  const y = (v) => top + (hi - Math.min(hi, Math.max(lo, v))) / (hi - lo) * (h - top - bottom);
  let out = "";
  for (let v = Math.ceil(lo / 10) * 10; v <= hi; v += 10)
    out += `<line class="grid" x1="${left}" x2="${w - right}" y1="${y(v)}" y2="${y(v)}"/>` +
           `<text x="${left - 6}" y="${y(v) + 4}" text-anchor="end">${v}</text>`;
  for (let t = Math.ceil(start / 120000) * 120000; t <= end; t += 120000)
    out += `<line class="grid" x1="${x(t)}" x2="${x(t)}" y1="${top}" y2="${h - bottom}"/>` +
           `<text x="${x(t)}" y="${h - 6}" text-anchor="middle">${clockText(t)}</text>`;
  // A gap of more than 5 s (no meter, no recording) breaks the line.
  let run = [];
  const flush = () => { if (run.length) out += `<polyline points="${run.join(" ")}"/>`; run = []; };
  let last = null;
  for (const p of points) {
    if (p[0] < start) continue;
    if (last !== null && p[0] - last > 5000) flush();
    run.push(x(p[0]).toFixed(1) + "," + y(p[1]).toFixed(1));
    last = p[0];
  }
  flush();
  svg.innerHTML = out;
}

function row(cells, cls) {
  const tr = document.createElement("tr");
  if (cls) tr.className = cls;
  for (const c of cells) { const td = document.createElement("td"); td.textContent = c; tr.appendChild(td); }
  return tr;
}

const streamWords = { slow: T("slow"), fast: T("fast") };
function showStatistics(st) {
  const box = $("streams");
  box.textContent = "";
  for (const name of ["slow", "fast"]) {
    const s = st[name];
    if (!s || !s.type) continue;
    const div = document.createElement("div");
    div.className = "stream";
    const cur = s.current, ser = s.series;
    // Only what the stream's values give, by its names (LAeq, LAmax, LA10 ...).
    const names = (ser || cur || s.completed[s.completed.length - 1] || {}).names || {};
    const keys = ["leq", "lmax", "lmin", "l10", "l90"].filter((k) => k in names);
    div.innerHTML = `<h3></h3><div class="now"></div>`;
    const length = s.interval_s < 60 ? s.interval_s + " s" : s.interval_s / 60 + " min";
    div.querySelector("h3").textContent = T("%1 (%2), intervals of %3", s.type, streamWords[name], length) +
      (s.limit_db != null ? T(", limit %1 dB", fixed1(s.limit_db)) : "") + (s.active ? "" : T(", ended"));
    const now = div.querySelector(".now");
    const items = [];
    if ("leq" in names) items.push([T("%1 since start", names.leq), ser && ser.leq]);
    for (const k of keys) items.push([k === "leq" ? T("Interval %1", names.leq) : names[k], cur && cur[k]]);
    for (const [label, v] of items) {
      const d = document.createElement("div");
      d.innerHTML = "<span></span><b></b>";
      d.querySelector("span").textContent = label;
      d.querySelector("b").textContent = fixed1(v);
      now.appendChild(d);
    }
    const table = document.createElement("table");
    table.innerHTML = "<thead><tr></tr></thead><tbody></tbody>";
    const head = table.querySelector("thead tr");
    for (const h of [T("Interval"), ...keys.map((k) => names[k]), T("Samples")]) {
      const th = document.createElement("th");
      th.textContent = h;
      head.appendChild(th);
    }
    const body = table.querySelector("tbody");
    const done = s.completed.slice(-8).reverse();
    for (const r of done)
      body.appendChild(row([localText(r.start).slice(11) + "–" + localText(r.end).slice(11),
                            ...keys.map((k) => fixed1(r[k])), String(r.samples)],
                           r.over_limit ? "over-limit" : ""));
    if (!done.length) body.appendChild(row([T("No completed interval yet.")], "empty"));
    div.appendChild(table);
    box.appendChild(div);
  }
  if (!box.children.length) {
    box.innerHTML = '<p class="empty"></p>';
    box.firstChild.textContent = T("No statistics yet: they begin with a recording.");
  }
}

// The record directory's files, newest first, each a download link; this
// run's record files with their start and duration.
function size(n) {
  return n >= 1e9 ? fixed1(n / 1e9) + " GB" : n >= 1e6 ? fixed1(n / 1e6) + " MB" : n >= 1e3 ? fixed1(n / 1e3) + " kB" : n + " B";
}
// The kinds and states of /api/files in words; a value not known here stands as it is.
const fileWords = {
  record: T("record"), statistics: T("statistics"), events: T("events"), side: T("side"), signature: T("signature"),
  timestamp: T("timestamp"), calibration: T("calibration"), report: T("report"), open: T("open"), closed: T("closed"),
};
const word = (v) => (v && Object.prototype.hasOwnProperty.call(fileWords, v) ? fileWords[v] : v);
function showFiles(list) {
  const body = $("files");
  body.textContent = "";
  const sorted = list.slice().sort((a, b) => (b.modified || b.start || "").localeCompare(a.modified || a.start || ""));
  for (const f of sorted) {
    const tr = row(["", word(f.kind || "record"), f.size == null ? "—" : size(f.size), localText(f.modified || f.start),
                    f.duration_s == null ? "" : duration(f.duration_s), word(f.state) || ""]);
    const a = document.createElement("a");
    a.href = "/files/" + f.name.split("/").map(encodeURIComponent).join("/");
    a.download = f.name.slice(f.name.lastIndexOf("/") + 1);
    a.textContent = f.name;
    if (f.sha256) a.title = "SHA-256 " + f.sha256;
    tr.firstChild.appendChild(a);
    body.appendChild(tr);
  }
  if (!list.length) body.appendChild(row([T("None yet.")], "empty"));
}
function loadFiles() { return get("/api/files").then(showFiles).catch(() => {}); }
// A link cannot carry the token's header: with a token the file is fetched and handed over.
$("files").addEventListener("click", (e) => {
  const a = e.target.closest("a");
  if (!a || !token) return;
  e.preventDefault();
  fetch(a.getAttribute("href"), { cache: "no-store", headers: authorization() }).then((r) => {
    if (r.status === 401) askToken();
    if (!r.ok) throw new Error(r.status);
    return r.blob();
  }).then((blob) => {
    const url = URL.createObjectURL(blob);
    const save = document.createElement("a");
    save.href = url;
    save.download = a.download;
    save.click();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }).catch(() => {});
});

function showDays(list) {
  const body = $("days");
  body.textContent = "";
  const db = (v) => (v === null || v === undefined ? "–" : fixed1(v));
  for (const d of list)
    body.appendChild(d.recorded
      ? row([d.date, db(d.Ld.db), db(d.Le.db), db(d.Ln.db), db(d.Lden), db(d.LAeq24h), String(d.events), d.report])
      : row([d.date, T("nothing recorded")]));
  if (!list.length) body.appendChild(row([T("None yet.")], "empty"));
}

function loadDays() {
  get("/api/days").then(showDays).catch(() => {});
}

function loadHistory() {
  return get("/api/history").then((hist) => {
    offsetMin = hist.utc_offset_min;
    stationNow = Math.max(stationNow, hist.now_utc_ms);
    points = [];
    for (const p of hist.points) addPoint(p);
    drawCurve();
  }).catch(() => {});
}

const handlers = {
  state: (d) => { showState(JSON.parse(d)); drawCurve(); },
  sample: (d) => {
    const s = JSON.parse(d);
    addPoint([s.utc_ms, s.db, (s.overflow ? 4 : 0) | (s.underflow ? 1 : 0)]);
    drawCurve();
  },
  files: () => loadFiles(),
  statistics: (d) => showStatistics(JSON.parse(d)),
  exceedance: (d) => {
    const x = JSON.parse(d);
    showEvent(x.phase === "start" ? x : null, x, undefined, x.count);
  },
};

// One block of the event stream: "event:", "data:" and "retry:" lines.
function dispatch(block, retry) {
  let event = "message";
  const data = [];
  for (const line of block.split("\n")) {
    const colon = line.indexOf(":");
    const field = colon < 0 ? line : line.slice(0, colon);
    const value = colon < 0 ? "" : line.slice(colon + (line[colon + 1] === " " ? 2 : 1));
    if (field === "event") event = value;
    else if (field === "data") data.push(value);
    else if (field === "retry" && /^\d+$/.test(value)) retry.ms = +value;
  }
  if (data.length && handlers[event]) handlers[event](data.join("\n"));
}

// The event stream is read with fetch, which can send the token as a header.
function connect() {
  if (stream) stream.abort();
  const control = new AbortController();
  stream = control;
  const retry = { ms: 3000 };
  badge($("link"), T("connecting…"), "idle");
  fetch("/api/events", { cache: "no-store", headers: authorization(), signal: control.signal }).then((r) => {
    if (r.status === 401) { askToken(); return; }
    if (!r.ok || !r.body) throw new Error("/api/events: " + r.status);
    badge($("link"), T("live"), "on");
    loadHistory();
    const reader = r.body.getReader();
    const decoder = new TextDecoder();
    let text = "";
    const pump = () => reader.read().then(({ value, done }) => {
      if (done) throw new Error("the stream ended");
      text += decoder.decode(value, { stream: true });
      for (let end; (end = text.indexOf("\n\n")) >= 0; text = text.slice(end + 2)) dispatch(text.slice(0, end), retry);
      return pump();
    });
    return pump();
  }).catch(() => {
    if (control !== stream) return;  // replaced or stopped on purpose
    // A restart in progress, a refusal (too many viewers) or a lost network: try again.
    badge($("link"), T("reconnecting…"), "off");
    setTimeout(() => { if (control === stream) connect(); }, retry.ms);
  });
}

function start() {
  get("/api/state").then(showState).catch(() => {});
  loadDays();
  setInterval(loadDays, 600000);
  connect();
}

$("login").addEventListener("submit", (e) => {
  e.preventDefault();
  token = $("token").value;
  keep(token);
  $("token").value = "";
  $("login").hidden = true;
  start();
});
start();
window.addEventListener("resize", drawCurve);
