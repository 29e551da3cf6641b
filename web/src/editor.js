// The plug-in's settings dialog as an HTML form, laid out at the positions
// the dialog resource gives its controls.  OK applies the changed fields
// (the server types them into the plug-in's dialog and confirms it); Revert
// puts back the values last loaded from the server, which are the saved ones.

const SCALE = 1;

function place(el, bounds, dy = 0) {
  const [left, top, right, bottom] = bounds;
  el.style.left = `${left * SCALE}px`;
  el.style.top = `${(top + dy) * SCALE}px`;
  el.style.width = `${(right - left) * SCALE}px`;
  el.style.height = `${(bottom - top) * SCALE}px`;
  return el;
}

// "A,R,G,B" <-> "#rrggbb" (the picker has no alpha; the loaded alpha is kept).
function argbToHex(text) {
  const [, r, g, b] = text.split(',').map(Number);
  return '#' + [r, g, b].map((v) => v.toString(16).padStart(2, '0')).join('');
}
function hexToArgb(hex, alphaOf) {
  const v = parseInt(hex.slice(1), 16);
  return `${alphaOf},${(v >> 16) & 255},${(v >> 8) & 255},${v & 255}`;
}

export class Editor {
  constructor(form, status, { onApplied, api }) {
    this.form = form;
    this.status = status;
    this.onApplied = onApplied;
    this.api = api;
    this.saved = new Map();  // name -> value text as last loaded
    this.fields = new Map(); // name -> {input, kind}
  }

  async load() {
    const body = await this.api('GET', '/api/settings');
    this.build(body.form);
  }

  build(form) {
    this.form.replaceChildren();
    this.fields.clear();
    this.saved.clear();
    document.getElementById('formTitle').textContent = form.title || 'Settings';
    const [width, height] = form.size;
    this.form.style.width = `${width * SCALE}px`;
    this.form.style.height = `${(height + 12) * SCALE}px`;
    for (const c of form.controls) {
      if (c.kind === 'GroupBox') {
        const box = place(document.createElement('div'), c.bounds, 6);
        box.className = 'box';
        const legend = document.createElement('span');
        legend.textContent = c.title;
        box.append(legend);
        this.form.append(box);
      } else if (c.kind === 'StaticText') {
        const label = place(document.createElement('label'), c.bounds, 6);
        label.className = 'label';
        label.textContent = c.title;
        this.form.append(label);
      } else if (c.kind === 'EditText') {
        const input = place(document.createElement('input'), c.bounds, 6);
        input.type = 'text';
        input.name = c.name;
        input.value = c.value;
        input.addEventListener('input', () => input.classList.toggle('changed', input.value !== this.saved.get(c.name)));
        this.fields.set(c.name, { input, kind: c.kind });
        this.saved.set(c.name, c.value);
        this.form.append(input);
      } else if (c.kind === 'ColorButton') {
        const input = place(document.createElement('input'), c.bounds, 6);
        input.type = 'color';
        input.name = c.name;
        input.value = argbToHex(c.value);
        this.fields.set(c.name, { input, kind: c.kind, alpha: c.value.split(',')[0] });
        this.saved.set(c.name, c.value);
        this.form.append(input);
      } else if (c.kind === 'PushButton' && (c.id === 1 || c.id === 2)) {
        const button = place(document.createElement('button'), c.bounds, 6);
        button.type = 'button';
        button.id = c.id === 1 ? 'apply' : 'revert';
        button.textContent = c.id === 1 ? c.title || 'OK' : 'Revert';
        if (c.id === 1) button.className = 'primary';
        button.addEventListener('click', () => (c.id === 1 ? this.apply() : this.revert()));
        this.form.append(button);
      }
    }
  }

  value(name) {
    const f = this.fields.get(name);
    return f.kind === 'ColorButton' ? hexToArgb(f.input.value, f.alpha) : f.input.value;
  }

  revert() {
    for (const [name, f] of this.fields) {
      const v = this.saved.get(name);
      f.input.value = f.kind === 'ColorButton' ? argbToHex(v) : v;
      f.input.classList.remove('changed');
    }
    this.say('reverted to the saved values');
  }

  async apply() {
    const values = {};
    for (const name of this.fields.keys()) {
      const v = this.value(name);
      if (v !== this.saved.get(name)) values[name] = v;
    }
    if (Object.keys(values).length === 0) return this.say('no field changed');
    this.say('applying…');
    let body;
    try {
      body = await this.api('POST', '/api/settings', { values });
    } catch (e) {
      return this.say(e.message, true);
    }
    this.build(body.form);
    const lines = [];
    for (const c of body.changes) lines.push(`${c.control}: ${c.before} → ${c.after}`);
    for (const a of body.adjusted) lines.push(`${a.control}: typed ${a.typed}, the plug-in kept ${a.kept}`);
    lines.push(body.saved ? 'saved the scene' : 'the settings are unchanged; nothing saved');
    lines.push(body.reset ? 'the plug-in reset its model: the simulation replays from the first frame'
                          : 'the plug-in kept its model (no reset)');
    this.status.dataset.reset = String(body.reset);
    this.status.dataset.saved = String(body.saved);
    this.say(lines.join('\n'));
    this.onApplied(body);
  }

  say(text, error = false) {
    this.status.replaceChildren();
    const line = document.createElement('div');
    if (error) line.className = 'error';
    line.textContent = text;
    this.status.append(line);
  }
}
