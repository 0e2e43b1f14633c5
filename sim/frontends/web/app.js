// board-sim's page: the board over one WebSocket (frontends/web_protocol.h
// has the message layouts). The page draws what board-sim sends and sends
// what the person does; board-sim decides whether this page drives.
'use strict';
(() => {
  const OP = { keyDown: 1, keyUp: 2, buttonDown: 3, buttonUp: 4, uart: 5, fast: 6, quit: 7, ack: 8, sound: 9,
    releaseAll: 10 };
  const MSG = { screen: 1, console: 2, audio: 3 };
  const W = 320, H = 240;
  const $ = (id) => document.getElementById(id);
  const meta = (name) => { const el = document.querySelector('meta[name="' + name + '"]'); return el ? el.content : ''; };
  const token = meta('board-sim-token');
  // The token leaves the address bar and the history (a projector, a shared
  // screen): the address keeps a key that loads this page once more, for a
  // reload, and is useless after that.
  const reloadKey = meta('board-sim-reload');
  if (reloadKey && window.history && history.replaceState)
    history.replaceState(null, '', location.pathname + '?reload=' + encodeURIComponent(reloadKey) + location.hash);

  let ws = null;
  let hello = null;
  let state = null;
  let ended = false;
  let role = 'connecting';
  let shots = 0;

  // --- The LCD: grey levels kept as board-sim sent them, drawn through the
  // panel's palette at native size; CSS scales the canvas by a whole factor.
  const lcd = $('lcd');
  const ctx = lcd.getContext('2d', { alpha: false });
  const image = ctx.createImageData(W, H);
  const levels = new Uint8Array(W * H);
  let palette = [];
  let framesDrawn = 0;

  function drawRows(first, rows) {
    const px = image.data;
    for (let i = first * W; i < (first + rows) * W; ++i) {
      const c = palette[levels[i]] || [0, 0, 0];
      px[4 * i] = c[0]; px[4 * i + 1] = c[1]; px[4 * i + 2] = c[2]; px[4 * i + 3] = 255;
    }
    ctx.putImageData(image, 0, 0, 0, first, W, rows);
  }

  function onScreen(data) {
    const view = new DataView(data.buffer, data.byteOffset, data.byteLength);
    const bands = view.getUint16(1, true);
    let at = 3;
    for (let b = 0; b < bands; ++b) {
      const first = view.getUint16(at, true), rows = view.getUint16(at + 2, true);
      at += 4;
      for (let i = first * W; i < (first + rows) * W; i += 2, ++at) {
        levels[i] = data[at] >> 4;
        levels[i + 1] = data[at] & 15;
      }
      drawRows(first, rows);
    }
    lcd.dataset.frames = String(++framesDrawn);
    // The next frame once this one is on the screen: a page that cannot
    // keep up (or is hidden) gets fewer frames, never a backlog.
    requestAnimationFrame(() => send([OP.ack]));
  }

  function fitLcd() {
    const dpr = window.devicePixelRatio || 1;
    const room = Math.min((window.innerWidth - 420) * dpr / W, (window.innerHeight - 260) * dpr / H);
    const scale = Math.max(1, Math.min(4, Math.floor(room)));
    lcd.style.width = (W * scale / dpr) + 'px';
    lcd.style.height = (H * scale / dpr) + 'px';
  }

  // --- The console pane: a small terminal (CR, LF, BS, TAB), UTF-8.
  const term = { lines: [''], row: 0, col: 0, decoder: new TextDecoder('utf-8'), dirty: false };
  const consolePane = $('console');
  const kMaxLines = 5000;

  function termWrite(bytes) {
    const text = term.decoder.decode(bytes, { stream: true });
    for (const ch of text) {
      if (ch === '\n') {
        ++term.row;
        term.col = 0;
        if (term.row >= term.lines.length) term.lines.push('');
      } else if (ch === '\r') {
        term.col = 0;
      } else if (ch === '\b') {
        term.col = Math.max(0, term.col - 1);
      } else if (ch === '\t') {
        term.col = (Math.floor(term.col / 8) + 1) * 8;
      } else if (ch >= ' ' && ch !== '\x7f') {
        let line = term.lines[term.row];
        if (line.length < term.col) line += ' '.repeat(term.col - line.length);
        term.lines[term.row] = line.slice(0, term.col) + ch + line.slice(term.col + 1);
        ++term.col;
      }
    }
    if (term.lines.length > kMaxLines) {
      const cut = term.lines.length - kMaxLines;
      term.lines.splice(0, cut);
      term.row -= cut;
    }
    if (!term.dirty) {
      term.dirty = true;
      setTimeout(renderTerm, 30);
    }
  }

  function renderTerm() {
    term.dirty = false;
    const atBottom = consolePane.scrollTop + consolePane.clientHeight >= consolePane.scrollHeight - 4;
    consolePane.textContent = term.lines.join('\n');
    if (atBottom) consolePane.scrollTop = consolePane.scrollHeight;
  }

  function sendUart(text) {
    const bytes = new TextEncoder().encode(text);
    const max = (hello && hello.maxUart) || 1024;
    for (let at = 0; at < bytes.length; at += max) {
      const part = bytes.subarray(at, at + max);
      const m = new Uint8Array(1 + part.length);
      m[0] = OP.uart;
      m.set(part, 1);
      send(m);
    }
  }

  // --- Sound: the board's frames at its own rate, played one after the
  // other; a stream that falls far behind drops what is late.
  let audio = null;
  let framesHeard = 0, peak = 0;

  function startSound() {
    let ac;
    try {
      ac = new AudioContext({ sampleRate: hello.rate });
    } catch (e) {
      ac = new AudioContext();  // buffers at the board's rate are resampled
    }
    ac.resume();
    audio = { ctx: ac, next: 0 };
    send([OP.sound, 1]);
    $('sound').classList.add('on');
  }

  function stopSound() {
    send([OP.sound, 0]);
    if (audio) audio.ctx.close();
    audio = null;
    $('sound').classList.remove('on');
  }

  function onAudio(data) {
    if (!audio || !hello) return;
    const n = (data.length - 1) >> 2;
    if (n === 0) return;
    const ac = audio.ctx;
    const buffer = ac.createBuffer(2, n, hello.rate);
    const left = buffer.getChannelData(0), right = buffer.getChannelData(1);
    const view = new DataView(data.buffer, data.byteOffset + 1, n * 4);
    for (let i = 0; i < n; ++i) {
      left[i] = view.getInt16(4 * i, true) / 32768;
      right[i] = view.getInt16(4 * i + 2, true) / 32768;
      peak = Math.max(peak, Math.abs(left[i]), Math.abs(right[i]));
    }
    // What arrived, for a look from the outside (the sound itself is the
    // browser's).
    framesHeard += n;
    $('sound').dataset.frames = String(framesHeard);
    $('sound').dataset.peak = peak.toFixed(3);
    const now = ac.currentTime;
    if (audio.next < now) audio.next = now + 0.05;
    if (audio.next - now > 0.5) return;
    const source = ac.createBufferSource();
    source.buffer = buffer;
    source.connect(ac.destination);
    source.start(audio.next);
    audio.next += n / hello.rate;
  }

  // --- The keypad and the push-buttons.
  const keyEls = [];
  const buttonEls = {};

  function buildBoard() {
    const pad = $('keypad');
    for (let k = 0; k < 16; ++k) {
      const el = document.createElement('button');
      el.type = 'button';
      el.className = 'key';
      el.dataset.key = String(k);
      el.innerHTML = '<span class="num"></span><span class="menu"></span><span class="meaning"></span><span class="tag"></span>';
      el.querySelector('.num').textContent = String(k);
      pad.appendChild(el);
      keyEls.push(el);
    }
    const row = $('buttons');
    for (const mask of [0x40, 0x80]) {
      const el = document.createElement('button');
      el.type = 'button';
      el.className = 'key push';
      el.dataset.button = '0x' + mask.toString(16);
      el.innerHTML = '<span class="cap"></span><span class="label"><span class="name"></span><span class="does"></span></span><span class="tag"></span>';
      el.querySelector('.name').textContent = el.dataset.button;
      row.appendChild(el);
      buttonEls[mask] = el;
    }
  }

  function labelBoard() {
    hello.keys.forEach((key, k) => {
      const el = keyEls[k];
      const meaning = el.querySelector('.meaning');
      meaning.textContent = key.meaning;
      meaning.classList.toggle('word', key.meaning.length > 1);
      el.querySelector('.menu').textContent = key.menu ? 'M' + key.menu : '';
      el.querySelector('.tag').textContent = key.shortcut;
      el.title = 'key ' + k + (key.meaning ? ': ' + key.meaning : '') + (key.menu ? ', menu line ' + key.menu : '') +
        ' (' + key.shortcut + ')';
    });
    for (const b of hello.buttons) {
      const el = buttonEls[b.mask];
      el.querySelector('.does').textContent = b.does;
      el.querySelector('.tag').textContent = b.shortcut;
      el.title = 'push-button 0x' + b.mask.toString(16) + ': ' + b.does + ' (' + b.shortcut + ')';
    }
  }

  // What holds a key: any number of pointers and keyboard keys; the board
  // hears a press when the first takes it and a release when the last lets go.
  const holds = new Map();  // "k5" / "b64" -> count
  const pointers = new Map();  // pointerId -> target
  const keyboard = new Map();  // KeyboardEvent.code -> target

  function sendTarget(t, down) {
    const code = parseInt(t.slice(1), 10);
    if (t[0] === 'k') send([down ? OP.keyDown : OP.keyUp, code]);
    else send([down ? OP.buttonDown : OP.buttonUp, code]);
  }

  function hold(t, down) {
    const n = holds.get(t) || 0;
    if (down) {
      holds.set(t, n + 1);
      if (n === 0) sendTarget(t, true);
    } else if (n === 1) {
      holds.delete(t);
      sendTarget(t, false);
    } else if (n > 1) {
      holds.set(t, n - 1);
    }
  }

  function targetOf(el) {
    const key = el && el.closest('[data-key],[data-button]');
    if (!key) return null;
    return key.dataset.key !== undefined ? 'k' + key.dataset.key : 'b' + parseInt(key.dataset.button, 16);
  }

  function pointerDown(e) {
    if (e.button !== 0) return;
    const t = targetOf(e.target);
    if (!t) return;
    e.preventDefault();
    try { e.target.setPointerCapture(e.pointerId); } catch (err) { /* synthetic pointers */ }
    pointers.set(e.pointerId, t);
    hold(t, true);
  }

  function pointerUp(e) {
    const t = pointers.get(e.pointerId);
    if (t === undefined) return;
    pointers.delete(e.pointerId);
    hold(t, false);
  }

  // The window's shortcuts: the keypad laid on the keyboard as it sits, the
  // numeric keypad dialling as a phone does, Enter calls, Esc goes back.
  const kNumpad = { Numpad1: 0, Numpad2: 1, Numpad3: 2, Numpad4: 4, Numpad5: 5, Numpad6: 6, Numpad7: 8, Numpad8: 9,
    Numpad9: 10, Numpad0: 13 };

  function shortcutTarget(e) {
    if (!hello || e.ctrlKey || e.altKey || e.metaKey) return null;
    if (e.code in kNumpad) return 'k' + kNumpad[e.code];
    if (e.code === 'Enter' || e.code === 'NumpadEnter') return 'k14';
    if (e.code === 'Escape' || e.code === 'Backspace') return 'k15';
    if (e.key.length !== 1) return null;
    const c = e.key.toLowerCase();
    const k = hello.keys.findIndex((key) => key.shortcut === c);
    if (k >= 0) return 'k' + k;
    const b = hello.buttons.find((button) => button.shortcut === c);
    return b ? 'b' + b.mask : null;
  }

  function keyDown(e) {
    const typing = e.target === $('console-input');
    const help = !$('help').hidden;
    if (e.ctrlKey && (e.key === 'q' || e.key === 'Q')) {
      e.preventDefault();
      quit();
    } else if (e.key === 'F1' || (!typing && e.key === '?')) {
      e.preventDefault();
      toggleHelp();
    } else if (help && e.key === 'Escape') {
      e.preventDefault();
      toggleHelp(false);
    } else if (e.key === 'F12') {
      e.preventDefault();
      screenshot();
    } else if (!typing && e.key === 'Tab') {
      e.preventDefault();
      toggleFast();
    } else if (!typing) {
      const t = shortcutTarget(e);
      if (!t) return;
      e.preventDefault();
      if (e.repeat || keyboard.has(e.code)) return;
      keyboard.set(e.code, t);
      hold(t, true);
    }
  }

  function keyUp(e) {
    const t = keyboard.get(e.code);
    if (t === undefined) return;
    keyboard.delete(e.code);
    hold(t, false);
  }

  // Keys let go while the page had no focus would never be heard of.
  function releaseKeyboard() {
    for (const t of keyboard.values()) hold(t, false);
    keyboard.clear();
  }

  // --- Tools.
  function toggleHelp(show) {
    const el = $('help');
    el.hidden = show === undefined ? !el.hidden : !show;
  }

  function toggleFast() {
    if (state) send([OP.fast, state.fast ? 0 : 1]);
  }

  function quit() {
    send([OP.quit]);
  }

  function screenshot() {
    lcd.toBlob((blob) => {
      if (!blob) return;
      const a = document.createElement('a');
      a.href = URL.createObjectURL(blob);
      a.download = 'board-sim-lcd-' + String(++shots).padStart(3, '0') + '.png';
      document.body.appendChild(a);
      a.click();
      a.remove();
      setTimeout(() => URL.revokeObjectURL(a.href), 10000);
      note('screenshot: ' + a.download);
    }, 'image/png');
  }

  let noteTimer = null;
  function note(text) {
    const el = $('status-message');
    if (state && state.halt) return;
    el.textContent = text;
    el.classList.remove('alert');
    clearTimeout(noteTimer);
    noteTimer = setTimeout(() => { if (!(state && state.halt)) el.textContent = ''; }, 5000);
  }

  // --- What board-sim says.
  function setRole(r) {
    role = r;
    document.body.dataset.role = r;
    const scripted = hello && hello.script;
    $('role').textContent = {
      connecting: 'connecting...',
      driver: scripted ? 'watching the script (you may fast-forward or quit)' : 'driving the board',
      watcher: 'watching: another page drives the board',
      disconnected: 'disconnected: trying again...',
      ended: 'board-sim has ended',
    }[r] || r;
    $('quit').disabled = r !== 'driver';
    $('fast').disabled = r !== 'driver';
  }

  function onHello(m) {
    hello = m;
    palette = m.palette.map((hex) => [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16)));
    lcd.dataset.palette = m.palette.join(' ');  // grey level i is the i-th colour, for tools reading the canvas
    $('firmware').textContent = m.firmware + (m.script ? '  (script ' + m.script + ')' : '');
    document.title = 'board-sim: ' + m.firmware.split('/').pop();
    labelBoard();
    const help = $('help-text');
    help.textContent = '';
    for (const line of m.help) {
      const span = document.createElement(line === '' || line[0] === ' ' ? 'span' : 'strong');
      span.textContent = line + '\n';
      help.appendChild(span);
    }
    drawRows(0, H);
  }

  function onState(m) {
    state = m;
    $('status-time').textContent = 'time ' + m.time;
    $('status-speed').textContent = 'speed ' + m.speed;
    $('status-codec').textContent = m.codec;
    $('status-eeprom').textContent = 'EEPROM ' + m.eeprom;
    const message = $('status-message');
    if (m.halt) {
      message.textContent = 'halted: ' + m.halt;
      message.classList.add('alert');
    } else if (message.classList.contains('alert')) {
      message.textContent = '';
      message.classList.remove('alert');
    }
    document.querySelector('[data-led="left"]').classList.toggle('lit', m.leds.left);
    document.querySelector('[data-led="right"]').classList.toggle('lit', m.leds.right);
    const bits = { a: 7, b: 6, c: 5, '.': 4, d: 3, e: 2, g: 1, f: 0 };  // a 0 bit lights its segment
    for (const el of document.querySelectorAll('#segments [data-segment]'))
      el.classList.toggle('lit', ((m.segments >> bits[el.dataset.segment]) & 1) === 0);
    keyEls.forEach((el, k) => el.classList.toggle('down', ((m.keys >> k) & 1) === 1));
    for (const mask of [0x40, 0x80]) buttonEls[mask].classList.toggle('down', (m.buttons & mask) !== 0);
    $('fast').classList.toggle('on', m.fast);
  }

  function onText(m) {
    switch (m.t) {
      case 'hello': onHello(m); break;
      case 'role': setRole(m.role); break;
      case 'state': onState(m); break;
      case 'note': note(m.text); break;
      case 'end':
        ended = true;
        $('ended-text').textContent = 'board-sim has ended: ' + m.why + '.';
        $('ended').hidden = false;
        setRole('ended');
        break;
      default: break;
    }
  }

  function onBinary(data) {
    if (data.length === 0) return;
    if (data[0] === MSG.screen) onScreen(data);
    else if (data[0] === MSG.console) termWrite(data.subarray(1));
    else if (data[0] === MSG.audio) onAudio(data);
  }

  function send(bytes) {
    if (ws && ws.readyState === WebSocket.OPEN) ws.send(bytes instanceof Uint8Array ? bytes : new Uint8Array(bytes));
  }

  function connect() {
    // Beside the page, so that a reverse proxy may serve it under a path.
    const url = new URL('ws?token=' + encodeURIComponent(token), location.href);
    url.protocol = location.protocol === 'https:' ? 'wss:' : 'ws:';
    ws = new WebSocket(url.href);
    ws.binaryType = 'arraybuffer';
    ws.onopen = () => {
      // A page that reconnects starts afresh: console and sound included.
      term.lines = [''];
      term.row = term.col = 0;
      if (audio) send([OP.sound, 1]);
    };
    ws.onmessage = (e) => {
      if (typeof e.data === 'string') onText(JSON.parse(e.data));
      else onBinary(new Uint8Array(e.data));
    };
    ws.onclose = () => {
      if (ended) return;
      setRole('disconnected');
      setTimeout(connect, 2000);
    };
  }

  // --- Wiring.
  buildBoard();
  fitLcd();
  window.addEventListener('resize', fitLcd);
  const panel = document.querySelector('.panel');
  panel.addEventListener('pointerdown', pointerDown);
  document.addEventListener('pointerup', pointerUp);
  document.addEventListener('pointercancel', pointerUp);
  panel.addEventListener('contextmenu', (e) => e.preventDefault());
  document.addEventListener('keydown', keyDown);
  document.addEventListener('keyup', keyUp);
  window.addEventListener('blur', releaseKeyboard);
  document.addEventListener('visibilitychange', () => { if (document.hidden) releaseKeyboard(); });
  $('console-input').addEventListener('keydown', (e) => {
    if (e.key !== 'Enter') return;
    e.preventDefault();
    sendUart(e.target.value + '\r');
    e.target.value = '';
  });
  consolePane.addEventListener('click', () => { if (!String(window.getSelection())) $('console-input').focus(); });
  $('sound').addEventListener('click', () => (audio ? stopSound() : startSound()));
  $('fast').addEventListener('click', toggleFast);
  $('shot').addEventListener('click', screenshot);
  $('help-button').addEventListener('click', () => toggleHelp());
  $('help').addEventListener('click', () => toggleHelp(false));
  $('quit').addEventListener('click', quit);
  setRole('connecting');
  connect();
})();
