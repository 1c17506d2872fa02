// The page of quarvel-server: the art typed or pasted into the box is drawn by POST
// /render a moment after the last key, with the look chosen above it. Nothing the user
// typed or the server said is ever put into the page as HTML: only as text.
//
// The page speaks Japanese, its own words, or English: the language the user chose on
// the page (kept in the browser), else the one the server chose by Accept-Language
// (<html lang>). The English of the page's fixed words is ENGLISH, by their Japanese;
// the words this script shows are written in both where they are shown (say).
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const art = $('art'), fore = $('fore'), back = $('back'), margin = $('margin');
  const space = $('space'), indexed = $('indexed'), clear = $('clear'), scale = $('scale');
  const picture = $('picture'), size = $('size'), warnings = $('warnings'), error = $('error');
  const save = $('save'), copy = $('copy'), note = $('note'), link = $('link');
  const languageButtons = document.querySelectorAll('#language button');

  const TYPING_DELAY = 250;  // ms after the last key before the picture is drawn
  const LOOK_KEY = 'quarvel.look';
  const LANGUAGE_KEY = 'quarvel.language';

  const ENGLISH = new Map([
    ['Quarvel — AAをPNG画像に', 'Quarvel — text art to PNG'],
    ['AA（テキストアート）を「ＭＳ Ｐゴシック」どおりに並べたPNG画像にします。どの画面でもずれずに読めます。' +
      '貼り付けたり打ったりするそばから、下に画像が描かれます。',
    'Turns AA (Japanese text art) into a PNG picture laid out as MS PGothic lays it out, which reads ' +
      'without shifting on any screen. The picture is drawn below as you paste or type.'],
    ['見た目', 'Look'],
    ['文字色', 'Text colour'],
    ['背景色', 'Background'],
    ['背景を透明に', 'Transparent background'],
    ['余白', 'Margin'],
    ['ピクセル', 'pixels'],
    ['半角SP動作の模擬', 'Collapse half-width spaces as a browser does'],
    ['2色PNG（小さいファイル）', 'Two-colour PNG (smaller file)'],
    ['倍率', 'Scale'],
    ['画面に合わせる', 'Fit the screen'],
    ['1倍', '1×'], ['2倍', '2×'], ['3倍', '3×'], ['4倍', '4×'],
    ['AA', 'Text art'],
    ['ここにAAを貼り付けてください', 'Paste the text art here'],
    ['PNG画像を保存', 'Save the PNG'],
    ['画像をコピー', 'Copy the picture'],
    ['このAAへのリンク', 'Link to this art'],
    ['AAと見た目はURLの#より後ろにだけ入り、リンクを開いてもサーバーには送られません',
      'The art and its look go only after the # of the link, which opening it never sends to the server'],
    ['描かれたAA', 'The art drawn'],
    ['プログラムから使うには:', 'From a program:'],
    ["curl --data-binary @aa.txt -H 'Content-Type: text/plain; charset=utf-8' " +
      "'http://このサーバー/render?margin=4' -o aa.png",
    "curl --data-binary @aa.txt -H 'Content-Type: text/plain; charset=utf-8' " +
      "'http://this-server/render?margin=4' -o aa.png"],
    ['（Shift_JISなら', ' (for Shift_JIS,'],
    ['）。画像の埋め込みは', '). To embed a picture:'],
    ['（', ' ('],
    ['から', 'to'],
    ['は各ピクセルを2×2から4×4に。高密度の画面にはその倍率の画像が選ばれます）。背景を透明にするには',
      'draw each pixel as 2×2 to 4×4; a screen of high density picks the picture of its scale). ' +
      'For a transparent background:'],
    ['。', '.'],
  ]);

  let timer = 0;
  let controller = null;
  let drawn = null;  // {blob, url} of the picture shown
  let retried = false;
  let english = false;

  // A text of this script in the language the page speaks.
  const say = (japanese, inEnglish) => english ? inEnglish : japanese;

  // The page's fixed texts and shown attributes that have an English: how to set each,
  // and its two languages (the text's own spaces kept around the English).
  const fixed = [];
  function collectFixed() {
    const walker = document.createTreeWalker(document.documentElement, NodeFilter.SHOW_TEXT);
    for (let node; (node = walker.nextNode());) {
      const [, before, words, after] = /^(\s*)([\s\S]*?)(\s*)$/.exec(node.data);
      const inEnglish = ENGLISH.get(words.replace(/\s+/g, ' '));
      if (inEnglish !== undefined) {
        fixed.push({ set: (text) => { node.data = text; }, japanese: node.data, english: before + inEnglish + after });
      }
    }
    for (const name of ['placeholder', 'title', 'alt']) {
      for (const element of document.querySelectorAll('[' + name + ']')) {
        const japanese = element.getAttribute(name), inEnglish = ENGLISH.get(japanese);
        if (inEnglish !== undefined) {
          fixed.push({ set: (text) => element.setAttribute(name, text), japanese, english: inEnglish });
        }
      }
    }
  }

  // The language chosen on the page, if one was.
  function keptLanguage() {
    try {
      const kept = localStorage.getItem(LANGUAGE_KEY);
      return kept === 'ja' || kept === 'en' ? kept : null;
    } catch (e) { return null; }
  }

  function speak(language) {
    english = language === 'en';
    document.documentElement.lang = language;
    for (const text of fixed) text.set(english ? text.english : text.japanese);
    for (const button of languageButtons) {
      button.setAttribute('aria-pressed', String(button.dataset.language === language));
    }
    if (!canCopy()) {
      copy.title = say('この接続ではブラウザーが画像のコピーを許しません（https か localhost で開いてください）',
        'The browser allows copying pictures on https and on localhost only, not on this connection');
    }
  }

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
    if (report.linesCut) out.push(say('50行を超えた分は描かれません', 'lines beyond 50 are not drawn'));
    if (report.widthCut) out.push(say('幅1024ピクセルを超えた分は切れます', 'what is wider than 1024 pixels is cut off'));
    const n = report.undecodable;
    if (n > 0) {
      out.push(say(n + '文字を読めず、空白になります',
        n + (n === 1 ? ' character could not be read and is' : ' characters could not be read and are') + ' drawn blank'));
    }
    if (report.facelessCount > 0) {
      const shown = (report.faceless || []).slice(0, 8).map(codePoint).join(' ');
      const others = report.facelessCount - 8;
      const more = others > 0 ? say(' ほか' + others + '文字', ' and ' + others + ' more') : '';
      out.push(say('字形の無い文字は空白になります（' + shown + more + '）',
        'characters that no font has are drawn blank (' + shown + more + ')'));
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
      size.textContent = w + ' × ' + h + say(' ピクセル、' + blob.size.toLocaleString('ja-JP') + ' バイト',
        ' pixels, ' + blob.size.toLocaleString('en-US') + ' bytes');
      warnings.replaceChildren(...warningTexts(report).map((text) => {
        const li = document.createElement('li');
        li.textContent = say('警告: ', 'Warning: ') + text;
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
      showError(say('余白は0から100までの整数で指定してください。', 'The margin must be a whole number from 0 to 100.'));
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
        let said = {};
        try { said = await response.json(); } catch (e) { /* not JSON */ }
        if (mine !== controller) return;
        failed(response.status, String(said.code || ''), String(said.error || ''));
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
      showError(say('サーバーにつながりません。しばらくしてからもう一度お試しください。',
        'The server cannot be reached. Please try again in a while.'));
    }
  }

  // An error of the server's, in the page's words where its code says what it was (the
  // codes are the service's, docs/SERVER.md); else with the server's message.
  function failed(status, code, said) {
    if (['busy', 'cpu-limit', 'out-of-memory'].includes(code) || status === 429 || status === 503) {
      showError(say('サーバーが混み合っています。少し待ってから描き直します。',
        'The server is busy. The picture is drawn again in a moment.'));
      if (!retried) {
        retried = true;
        schedule(1500);
      }
    } else if (code === 'too-large' || status === 413) {
      showError(say('AAが大きすぎて受け付けられません。', 'The art is too large to be taken.'));
    } else if (code === 'not-decodable') {
      showError(say('AAを文字として読めませんでした。', 'The art could not be read as text.'));
    } else if (status === 400) {
      showError(say('AAを読めませんでした: ', 'The art could not be read: ') + said);
    } else {
      showError(say('画像を作れませんでした（', 'The picture could not be made (') + status + say('）: ', '): ') + said);
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
      note.textContent = say('画像をコピーしました', 'Picture copied');
    } catch (e) {
      note.textContent = '';
      showError(say('画像をコピーできませんでした: ', 'The picture could not be copied: ') + e.message);
    }
  }

  collectFixed();
  speak(keptLanguage() || (document.documentElement.lang === 'en' ? 'en' : 'ja'));
  // The language chosen on the page outlasts the visit and overrides the browser's.
  for (const button of languageButtons) {
    button.addEventListener('click', () => {
      try { localStorage.setItem(LANGUAGE_KEY, button.dataset.language); } catch (e) { /* not kept */ }
      speak(button.dataset.language);
      schedule(0);  // the picture's size, warnings and errors in the new language
    });
  }
  restoreLook();
  fromFragment();
  window.addEventListener('hashchange', () => { if (fromFragment()) schedule(0); });
  // A screen of another density (the window moved, the zoom changed) asks for its scale.
  matchMedia('(resolution: ' + window.devicePixelRatio + 'dppx)').addEventListener('change', () => {
    if (scale.value === 'auto' && art.value !== '') schedule(0);
  });
  art.addEventListener('input', () => schedule(TYPING_DELAY));
  for (const control of [fore, back, space, indexed, clear, scale]) {
    control.addEventListener('input', () => { keepLook(); schedule(0); });
    control.addEventListener('change', () => { keepLook(); schedule(0); });
  }
  margin.addEventListener('input', () => { keepLook(); schedule(TYPING_DELAY); });
  copy.addEventListener('click', copyPicture);
  if (art.value !== '') schedule(0);  // text the browser kept across a reload
})();
