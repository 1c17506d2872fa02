// The page of quarvel-server: the art typed or pasted into the box is drawn by POST
// /render a moment after the last key, with the look chosen above it. Nothing the user
// typed or the server said is ever put into the page as HTML: only as text.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const art = $('art'), fore = $('fore'), back = $('back'), margin = $('margin');
  const space = $('space'), indexed = $('indexed'), clear = $('clear'), scale = $('scale');
  const picture = $('picture'), size = $('size'), warnings = $('warnings'), error = $('error');
  const save = $('save'), copy = $('copy'), note = $('note'), link = $('link');

  const TYPING_DELAY = 250;  // ms after the last key before the picture is drawn
  const LOOK_KEY = 'quarvel.look';

  let timer = 0;
  let controller = null;
  let drawn = null;  // {blob, url} of the picture shown
  let retried = false;

  // The look survives a reload of the page.
  function restoreLook() {
    try {
      const look = JSON.parse(localStorage.getItem(LOOK_KEY) || '{}');
      if (/^#[0-9a-f]{6}$/i.test(look.fore)) fore.value = look.fore;
      if (/^#[0-9a-f]{6}$/i.test(look.back)) back.value = look.back;
      if (Number.isInteger(look.margin) && look.margin >= 0 && look.margin <= 100) margin.value = look.margin;
      if (typeof look.space === 'boolean') space.checked = look.space;
      if (typeof look.indexed === 'boolean') indexed.checked = look.indexed;
      if (typeof look.clear === 'boolean') clear.checked = look.clear;
      if (/^(auto|[1-4])$/.test(look.scale)) scale.value = look.scale;
    } catch (e) { /* no storage, or nothing kept: the defaults */ }
  }
  function keepLook() {
    try {
      localStorage.setItem(LOOK_KEY, JSON.stringify({
        fore: fore.value, back: back.value, margin: marginValue(), space: space.checked, indexed: indexed.checked,
        clear: clear.checked, scale: scale.value,
      }));
    } catch (e) { /* the look is simply not kept */ }
  }

  // The margin as a whole number from 0 to 100, or null while the box holds something else.
  function marginValue() {
    const text = margin.value.trim();
    if (!/^\d{1,3}$/.test(text)) return null;
    const n = Number(text);
    return n <= 100 ? n : null;
  }

  // The scale asked for: the chosen one, or the screen's device pixels per pixel.
  function scaleValue() {
    if (scale.value !== 'auto') return Number(scale.value);
    return Math.min(4, Math.max(1, Math.round(window.devicePixelRatio || 1)));
  }

  function query(pictureScale) {
    const p = new URLSearchParams();
    p.set('fore', fore.value.slice(1).toUpperCase());
    p.set('back', clear.checked ? 'none' : back.value.slice(1).toUpperCase());
    p.set('margin', String(marginValue()));
    p.set('space-sim', space.checked ? '1' : '0');
    if (indexed.checked) p.set('indexed', '1');
    if (pictureScale > 1) p.set('scale', String(pictureScale));
    return p.toString();
  }

  // The art and its look in the page's URL fragment (after '#'): a browser never sends
  // it to the server, so the link brings the art back without handing it over.
  function fragment() {
    const p = new URLSearchParams();
    p.set('text', art.value);
    p.set('fore', fore.value.slice(1));
    p.set('back', clear.checked ? 'none' : back.value.slice(1));
    p.set('margin', String(marginValue()));
    p.set('space-sim', space.checked ? '1' : '0');
    p.set('indexed', indexed.checked ? '1' : '0');
    p.set('scale', scale.value);
    return '#' + p.toString();
  }
  function fromFragment() {
    const p = new URLSearchParams(location.hash.slice(1));
    if (!p.has('text')) return false;
    const colour = (v) => /^[0-9a-f]{6}$/i.test(v || '') ? '#' + v.toLowerCase() : null;
    if (colour(p.get('fore'))) fore.value = colour(p.get('fore'));
    clear.checked = p.get('back') === 'none';
    if (colour(p.get('back'))) back.value = colour(p.get('back'));
    if (/^\d{1,3}$/.test(p.get('margin') || '') && Number(p.get('margin')) <= 100) margin.value = p.get('margin');
    if (p.has('space-sim')) space.checked = p.get('space-sim') !== '0';
    if (p.has('indexed')) indexed.checked = p.get('indexed') === '1';
    if (/^(auto|[1-4])$/.test(p.get('scale') || '')) scale.value = p.get('scale');
    art.value = p.get('text');
    return true;
  }

  function setState(state) { document.body.dataset.state = state; }

  function showError(message) {
    error.textContent = message;
    error.hidden = false;
    setState('error');
  }
  function clearError() {
    error.hidden = true;
    error.textContent = '';
  }

  function forget() {
    if (drawn) URL.revokeObjectURL(drawn.url);
    drawn = null;
    picture.hidden = true;
    picture.removeAttribute('srcset');
    save.removeAttribute('href');
    save.setAttribute('aria-disabled', 'true');
    copy.disabled = true;
    link.setAttribute('aria-disabled', 'true');
    link.href = '#';
    size.textContent = '';
    warnings.replaceChildren();
  }

  function codePoint(n) { return 'U+' + n.toString(16).toUpperCase().padStart(4, '0'); }

  // What the picture leaves out, in the words of the program's preview window.
  function warningTexts(report) {
    const out = [];
    if (report.linesCut) out.push('50行を超えた分は描かれません');
    if (report.widthCut) out.push('幅1024ピクセルを超えた分は切れます');
    if (report.undecodable > 0) out.push(report.undecodable + '文字を読めず、空白になります');
    if (report.facelessCount > 0) {
      const shown = (report.faceless || []).slice(0, 8).map(codePoint).join(' ');
      const more = report.facelessCount > 8 ? ' ほか' + (report.facelessCount - 8) + '文字' : '';
      out.push('字形の無い文字は空白になります（' + shown + more + '）');
    }
    return out;
  }

  // The picture at `pictureScale` shown at the size of scale 1 (srcset's density), so
  // that each of its pixels is one device pixel of a screen of that density.
  function show(blob, report, pictureScale) {
    const url = URL.createObjectURL(blob);
    const old = drawn;
    drawn = { blob, url };
    picture.onload = () => {
      if (old) URL.revokeObjectURL(old.url);
      picture.hidden = false;
      const w = picture.naturalWidth * pictureScale, h = picture.naturalHeight * pictureScale;
      size.textContent = w + ' × ' + h + ' ピクセル、' + blob.size.toLocaleString('ja-JP') + ' バイト';
      warnings.replaceChildren(...warningTexts(report).map((text) => {
        const li = document.createElement('li');
        li.textContent = '警告: ' + text;
        return li;
      }));
      save.href = url;
      save.setAttribute('aria-disabled', 'false');
      copy.disabled = !canCopy();
      link.href = fragment();
      link.setAttribute('aria-disabled', 'false');
      document.body.dataset.drawn = String(Number(document.body.dataset.drawn) + 1);
      setState('ready');
    };
    // Its only candidate: `src` would be another, for screens of one device pixel per pixel.
    picture.srcset = url + ' ' + pictureScale + 'x';
  }

  async function draw() {
    timer = 0;
    if (controller) controller.abort();
    controller = null;
    note.textContent = '';
    if (art.value === '') {
      clearError();
      forget();
      setState('empty');
      return;
    }
    if (marginValue() === null) {
      showError('余白は0から100までの整数で指定してください。');
      return;
    }
    const mine = new AbortController();
    controller = mine;
    setState('busy');
    const pictureScale = scaleValue();
    try {
      const response = await fetch('/render?' + query(pictureScale), {
        method: 'POST',
        headers: { 'Content-Type': 'text/plain; charset=utf-8' },
        body: art.value,
        signal: mine.signal,
      });
      if (!response.ok) {
        let said = '';
        try { said = (await response.json()).error || ''; } catch (e) { /* not JSON */ }
        if (mine !== controller) return;
        failed(response.status, said);
        return;
      }
      const blob = await response.blob();
      let report = {};
      try { report = JSON.parse(response.headers.get('X-Quarvel-Report') || '{}'); } catch (e) { /* no report */ }
      if (mine !== controller) return;
      controller = null;
      retried = false;
      clearError();
      show(blob, report, pictureScale);
    } catch (e) {
      if (e.name === 'AbortError') return;
      if (mine !== controller) return;
      showError('サーバーにつながりません。しばらくしてからもう一度お試しください。');
    }
  }

  function failed(status, said) {
    if (status === 413) {
      showError('AAが大きすぎて受け付けられません（' + said + '）。');
    } else if (status === 429 || status === 503) {
      showError('サーバーが混み合っています。少し待ってから描き直します。');
      if (!retried) {
        retried = true;
        schedule(1500);
      }
    } else if (status === 400) {
      showError('AAを読めませんでした: ' + said);
    } else {
      showError('画像を作れませんでした（' + status + '）: ' + said);
    }
  }

  function schedule(delay) {
    clearTimeout(timer);
    timer = setTimeout(draw, delay);
  }

  // Pictures reach the clipboard only where the browser allows it (https or localhost).
  function canCopy() { return !!(navigator.clipboard && navigator.clipboard.write && window.ClipboardItem); }

  async function copyPicture() {
    if (!drawn) return;
    try {
      await navigator.clipboard.write([new ClipboardItem({ 'image/png': drawn.blob })]);
      note.textContent = '画像をコピーしました';
    } catch (e) {
      note.textContent = '';
      showError('画像をコピーできませんでした: ' + e.message);
    }
  }

  restoreLook();
  fromFragment();
  window.addEventListener('hashchange', () => { if (fromFragment()) schedule(0); });
  // A screen of another density (the window moved, the zoom changed) asks for its scale.
  matchMedia('(resolution: ' + window.devicePixelRatio + 'dppx)').addEventListener('change', () => {
    if (scale.value === 'auto' && art.value !== '') schedule(0);
  });
  if (!canCopy()) copy.title = 'この接続ではブラウザーが画像のコピーを許しません（https か localhost で開いてください）';
  art.addEventListener('input', () => schedule(TYPING_DELAY));
  for (const control of [fore, back, space, indexed, clear, scale]) {
    control.addEventListener('input', () => { keepLook(); schedule(0); });
    control.addEventListener('change', () => { keepLook(); schedule(0); });
  }
  margin.addEventListener('input', () => { keepLook(); schedule(TYPING_DELAY); });
  copy.addEventListener('click', copyPicture);
  if (art.value !== '') schedule(0);  // text the browser kept across a reload
})();
