// The page: fetches the scene's description, draws the frame the timeline
// asks for, follows the server's progress events, and runs the editor.
import { Viewer, decodeFrame } from './viewer.js';
import { Editor } from './editor.js';

const $ = (id) => document.getElementById(id);

async function api(method, path, body) {
  const init = { method, headers: {} };
  if (body !== undefined) {
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  const res = await fetch(path, init);
  const json = (res.headers.get('Content-Type') || '').startsWith('application/json');
  const data = json ? await res.json() : await res.arrayBuffer();
  if (!res.ok) {
    const error = new Error((json && data.error) || res.statusText);
    error.status = res.status;
    throw error;
  }
  return data;
}

const state = {
  info: null, viewer: null, wanted: 0, shown: null, stale: false, inFlight: false,
  playing: false, lastStep: 0, drawn: [], blur: false,
};
// Frames already fetched, for playing them again without the network; by
// bytes, least recently used first out.  Emptied when the settings change.
const frames = {
  map: new Map(), bytes: 0, limit: 192 << 20,
  key: (f, blur) => `${f}:${blur ? 1 : 0}`,
  get(key) {
    const hit = this.map.get(key);
    if (hit) { this.map.delete(key); this.map.set(key, hit); }
    return hit;
  },
  put(key, frame) {
    this.map.set(key, frame);
    this.bytes += frame.positions.buffer.byteLength;
    for (const [k, old] of this.map) {
      if (this.bytes <= this.limit) break;
      this.map.delete(k);
      this.bytes -= old.positions.buffer.byteLength;
    }
  },
  clear() { this.map.clear(); this.bytes = 0; },
};

// Figures the tests and the benchmark read.
window.plmStats = { requestToDrawnMs: [], requestToDataMs: [], fps: 0 };

function say(text) { $('status').textContent = text; }

function request(frame, { force = false } = {}) {
  const { first, last } = state.info.frames;
  state.wanted = Math.min(last, Math.max(first, frame));
  $('frame').value = String(state.wanted);
  if (force) {
    state.stale = true;
    frames.clear();
  }
  pump();
}

async function pump() {
  if (state.inFlight) return;
  if (!state.stale && state.shown && state.shown.frame === state.wanted) return;
  state.inFlight = true;
  state.stale = false;
  const frame = state.wanted, start = performance.now(), key = frames.key(frame, state.blur);
  try {
    let decoded = frames.get(key);
    if (!decoded) {
      const data = await api('GET', `/api/frame?f=${frame}${state.blur ? '&blur=1' : ''}`);
      if (!(data instanceof ArrayBuffer)) {  // cancelled, or replaced by a newer request
        const error = new Error(data.message);
        error.outcome = data.outcome;
        throw error;
      }
      decoded = decodeFrame(data);
      frames.put(key, decoded);
    }
    window.plmStats.requestToDataMs.push(performance.now() - start);
    if (window.plmStats.requestToDataMs.length > 1000) window.plmStats.requestToDataMs.shift();
    state.viewer.show(decoded);
    state.shown = decoded;
    $('frameNumber').value = String(decoded.frame);
    $('count').value = String(decoded.count);
    $('pluginTime').value = `${(decoded.pluginSeconds * 1000).toFixed(2)} ms`;
    document.body.dataset.frame = String(decoded.frame);
    document.body.dataset.count = String(decoded.count);
    state.drawn.push(performance.now());
    requestAnimationFrame(() => {
      const stats = window.plmStats.requestToDrawnMs;
      stats.push(performance.now() - start);
      if (stats.length > 1000) stats.shift();
    });
    if (!state.playing) say('');
  } catch (e) {
    if (e.outcome === 'cancelled') {
      say(e.message);
      if (state.shown) state.wanted = state.shown.frame;  // asked for no longer
      $('frame').value = String(state.wanted);
      state.playing = false;
      $('play').textContent = 'Play';
    } else if (e.outcome === 'superseded') {
      say('another page asked for a frame meanwhile');  // asking again would take its place in turn
    } else {
      say(`frame ${frame}: ${e.message}`);
      state.playing = false;
      $('play').textContent = 'Play';
    }
  } finally {
    state.inFlight = false;
    if (state.stale || (state.shown && state.wanted !== state.shown.frame)) pump();
  }
}

function step(delta) {
  const { first, last } = state.info.frames;
  const from = state.shown ? state.shown.frame : first;
  let next = from + delta;
  if (next > last) next = first;
  if (next < first) next = last;
  request(next);
}

function tick(now) {
  const period = 1000 / (state.info.fps || 30);
  if (state.playing && !state.inFlight && now - state.lastStep >= period * 0.98) {
    state.lastStep = now;
    step(1);
  }
  while (state.drawn.length && state.drawn[0] < now - 1000) state.drawn.shift();
  const fps = state.drawn.length;
  window.plmStats.fps = fps;
  $('fps').value = String(fps);
  requestAnimationFrame(tick);
}

function showProgress(p) {
  const box = $('progress');
  if (p.state === 'running') {
    box.hidden = false;
    const total = p.to - p.from + 1, done = p.frame - p.from + 1;
    $('progressBar').value = Math.max(0, done) / total;
    $('progressText').textContent = `simulating frame ${Math.max(p.frame, p.from)} of ${p.from}–${p.to}`;
  } else {
    box.hidden = true;
    if (p.state === 'cancelled') say(`cancelled at frame ${p.frame + 1}`);
    if (p.state === 'failed') say(`failed at frame ${p.frame + 1}`);
  }
  document.body.dataset.progress = p.state;
}

function wireTools() {
  const viewer = state.viewer;
  $('sceneCamera').addEventListener('click', () => viewer.useSceneCamera());
  $('pointSize').addEventListener('input', (e) => viewer.setPointSize(Number(e.target.value)));
  $('blur').addEventListener('change', (e) => {
    state.blur = e.target.checked;
    viewer.setStreaks(state.blur);
    if (state.blur && state.shown && !state.shown.blur) { state.stale = true; pump(); }
  });
  $('grid').addEventListener('change', (e) => viewer.setGrid(e.target.checked));
  $('frame').addEventListener('input', (e) => request(Number(e.target.value)));
  $('stepBack').addEventListener('click', () => step(-1));
  $('stepForward').addEventListener('click', () => step(1));
  $('play').addEventListener('click', () => {
    state.playing = !state.playing;
    $('play').textContent = state.playing ? 'Pause' : 'Play';
  });
  $('cancel').addEventListener('click', () => api('POST', '/api/cancel', {}).catch((e) => say(e.message)));
  document.addEventListener('keydown', (e) => {
    if (e.target instanceof HTMLInputElement && e.target.type === 'text') return;
    if (e.key === ' ') { $('play').click(); e.preventDefault(); }
    if (e.key === 'ArrowRight') step(1);
    if (e.key === 'ArrowLeft') step(-1);
  });
}

async function main() {
  const info = await api('GET', '/api/info');
  state.info = info;
  $('title').textContent = info.mode === 'view' ? `plmhost view` : `plmhost serve`;
  $('subtitle').textContent = `${info.label}${info.plugin ? ' · ' + info.plugin : ''} · ${info.fps} fps` +
                              (info.readOnly && info.mode === 'serve' ? ' · read-only' : '');
  $('frame').min = String(info.frames.first);
  $('frame').max = String(info.frames.last);
  state.viewer = new Viewer($('canvas'), info);
  window.plmClearFrames = () => frames.clear();  // for the benchmark
  wireTools();

  const events = new EventSource('/api/events');
  events.addEventListener('progress', (e) => showProgress(JSON.parse(e.data)));
  events.addEventListener('state', () => request(state.wanted, { force: true }));

  if (info.editor) {
    $('editor').hidden = false;
    const editor = new Editor($('form'), $('editStatus'), {
      api,
      onApplied: (body) => { if (body.saved) request(state.wanted, { force: true }); },
    });
    await editor.load();
  }
  request(info.frames.first);
  requestAnimationFrame(tick);
  document.body.dataset.ready = 'true';
}

main().catch((e) => say(e.message));
