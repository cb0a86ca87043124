// The page itself: two views, one to open an archive and save its files, one to make an
// archive. All work happens in the worker (worker.js), which runs the engine; this script only
// keeps the controls, asks for files and folders, and offers what the worker made.
'use strict';

const $ = (id) => document.getElementById(id);

const view = {
  openTab: $('tab-open'), makeTab: $('tab-make'),
  openPanel: $('view-open'), makePanel: $('view-make'),
  archive: $('archive'), password: $('password'), open: $('open'),
  opened: $('opened'), integrity: $('integrity'), files: $('files'), saveAll: $('save-all'),
  addFiles: $('add-files'), addFolder: $('add-folder'), clearFiles: $('clear-files'),
  makeList: $('make-list'), newPassword: $('new-password'), confirmPassword: $('confirm-password'),
  noPassword: $('no-password'), classicKey: $('classic-key'), quality: $('quality'),
  type: $('type'),
  archiveName: $('archive-name'), create: $('create'), codePageHint: $('code-page-hint'),
  unverified: $('unverified'), unverifiedWhy: $('unverified-why'),
  acceptUnverified: $('accept-unverified'),
  progress: $('progress'), status: $('status'), statusLine: $('status-line'),
  filesScroll: $('files-scroll'), makeScroll: $('make-scroll'),
};

let pickedArchive = null; // the archive to open
let passwordFits = true; // the new password's characters all survive the code page
let unverifiedAccepted = false; // the user took the open archive as it is, unchecked
let openedFiles = emptyList(); // the open archive's list, as the worker sends it
let makeFiles = []; // {name, file} to make an archive of, in the order they are stored
let nameEdited = false; // the archive name was typed, not derived
let defaultName = '';

// ----- The worker -----

function decodeBase64(id) {
  const text = $(id).textContent.trim();
  if (text === '' || text.startsWith('@')) return null;
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

const workerUrl = URL.createObjectURL(
  new Blob([$('worker-source').textContent], { type: 'text/javascript' }));
const worker = new Worker(workerUrl);
const waiting = new Map(); // reply the page waits for → {resolve, reject}
let busy = false;
let ready = false;
let rateSeq = 0;
let stagingFolder = null; // the worker's folder of staged plaintext in the private file system
let stagingParent = null; // the folder that holds it, looked up beforehand

// Leaving the page takes what it staged along: the worker drops the open archive (and its staged
// plaintext), and since the page may go before the worker gets to it, the page removes the
// folder itself, in one call made before the handler returns (the folder above it was looked up
// when the page started), so that it reaches the browser even when the page goes right after.
// A page that comes back from the browser's cache opens its archive again.
window.addEventListener('pagehide', () => {
  worker.postMessage({ op: 'close' });
  if (stagingParent !== null) stagingParent.removeEntry(stagingFolder, { recursive: true }).catch(() => {});
});
window.addEventListener('pageshow', (e) => {
  if (!e.persisted) return;
  view.opened.hidden = true;
  openedFiles = [];
});

function expect(op) {
  return new Promise((resolve, reject) => waiting.set(op, { resolve, reject }));
}

worker.onmessage = (event) => {
  const m = event.data;
  switch (m.op) {
    case 'progress': showProgress(m.percent); return;
    case 'status': if (busy) setStatus(m.text); return;
    case 'rated':
      if (m.seq === rateSeq) {
        showQuality(m.score);
        passwordFits = m.fits;
        updateControls();
      }
      return;
    case 'failed': {
      const pending = [...waiting.values()];
      waiting.clear();
      for (const p of pending) p.reject(new Error(m.message));
      return;
    }
    default: {
      const pending = waiting.get(m.op);
      if (pending !== undefined) {
        waiting.delete(m.op);
        pending.resolve(m);
      }
    }
  }
};

// Runs one job in the worker with the progress bar showing: the worker's reply, or null when
// the job failed (its reason is then the status).
async function runJob(text, message, reply, transfer = []) {
  beginJob(text);
  const done = expect(reply);
  worker.postMessage(message, transfer);
  try {
    return await done;
  } catch (e) {
    setStatus(e.message, true);
    return null;
  } finally {
    endJob();
  }
}

(async () => {
  const wasm = decodeBase64('engine-wasm');
  const started = expect('ready');
  worker.postMessage({
    op: 'start', wasm: wasm.buffer, cipherSource: $('cipher-worker-source').textContent,
    // For tests and measurements: #module-hash hashes with the module instead of the browser.
    hash: location.hash.includes('module-hash') ? 'module' : 'browser',
  }, [wasm.buffer]);
  stagingFolder = (await started).staging;
  if (stagingFolder !== null) {
    stagingParent = await navigator.storage.getDirectory()
      .then((root) => root.getDirectoryHandle('quillon-staging')).catch(() => null);
  }
  ready = true;
  document.body.dataset.ready = 'yes'; // for anyone driving the page: the engine is up
  updateControls();
  rateNow();
})();

// The control that started the job, given its focus back when the job ends: a button that is
// disabled while it runs loses the focus, and a keyboard user would start over from the top.
let focusBeforeJob = null;

function beginJob(text) {
  focusBeforeJob = document.activeElement;
  busy = true;
  document.body.dataset.busy = 'yes';
  setStatus(text);
  showProgress(0);
  view.progress.hidden = false;
  updateControls();
}

function endJob() {
  busy = false;
  document.body.dataset.busy = 'no';
  view.progress.hidden = true;
  updateControls();
  const lost = document.activeElement === null || document.activeElement === document.body;
  if (lost && focusBeforeJob !== null && focusBeforeJob.isConnected && !focusBeforeJob.disabled) {
    focusBeforeJob.focus({ preventScroll: true });
  }
  focusBeforeJob = null;
  // The result shows where the user is looking: the status line sits under the view's buttons.
  view.statusLine.scrollIntoView({ block: 'nearest' });
}

function setStatus(text, failed = false) {
  view.status.textContent = text;
  view.status.classList.toggle('failed', failed);
}

function showProgress(percent) {
  view.progress.value = percent;
}

function formatSize(bytes) {
  if (bytes < 1024) return bytes + (bytes === 1 ? ' byte' : ' bytes');
  const units = ['KB', 'MB', 'GB', 'TB'];
  let value = bytes / 1024;
  let unit = 0;
  while (value >= 1024 && unit < units.length - 1) {
    value /= 1024;
    unit++;
  }
  return (value < 10 ? value.toFixed(1) : Math.round(value)) + ' ' + units[unit];
}

function updateControls() {
  view.open.disabled = !ready || busy || pickedArchive === null;
  view.saveAll.disabled = busy;
  for (const b of view.files.querySelectorAll('tbody button')) b.disabled = busy;
  const matching = view.newPassword.value === view.confirmPassword.value;
  const keyed = !view.noPassword.checked;
  // Only the classic key is made from code-page bytes; a hardened one takes any character.
  const fits = passwordFits || !view.classicKey.checked;
  view.codePageHint.hidden = fits;
  view.create.disabled = !ready || busy || makeFiles.length === 0 ||
    (keyed && (view.newPassword.value === '' || !matching || !fits));
  view.newPassword.disabled = !keyed;
  view.confirmPassword.disabled = !keyed;
  view.classicKey.disabled = !keyed;
}

// ----- Long lists -----

// A list of any length that puts in the page only the rows around what is in view: spacers
// above and below stand for the rest, and the rows are reused as the list scrolls. An archive
// of a million files would otherwise be a million rows, seconds of the page's thread and
// gigabytes of memory. The scroller holds the header (sticky) and the holder of the rows;
// `fillRow` writes entry `index` into a row `makeRow` made, and `count` tells the list's true
// length to assistive technology. Rows keep one line's height or wrap; the spacers count every
// row as tall as the middle one of those shown.
class RowWindow {
  constructor({ scroller, holder, header = null, spacer, makeRow, fillRow, count, focusTarget }) {
    Object.assign(this, { scroller, holder, header, makeRow, fillRow, count, focusTarget });
    this.length = 0;
    this.rowHeight = 0; // measured from the rows shown
    this.measuring = false;
    this.rows = []; // the rows in the page, in order, entries first..first+rows.length-1
    this.first = 0;
    this.focused = null; // the entry the keyboard is at while the focus waits on the scroller
    this.parked = false;
    this.top = spacer();
    this.bottom = spacer();
    holder.replaceChildren(this.top, this.bottom);
    scroller.addEventListener('scroll', () => this.render(), { passive: true });
    new ResizeObserver(() => this.render()).observe(scroller);
    scroller.addEventListener('keydown', (e) => this.onKey(e));
    // The focus coming to the scroller from elsewhere starts the keyboard at the top of the view.
    scroller.addEventListener('focusin', () => { this.parked = false; });
  }

  park() {
    this.scroller.focus({ preventScroll: true });
    this.parked = true;
  }

  setCount(length) {
    this.length = length;
    this.count(length);
    // Rows of the entries before are not theirs any more.
    for (const row of this.rows) row.remove();
    this.rows = [];
    this.render();
  }

  // How far the view is from the first row, in pixels, and how tall the rows' view is.
  viewport() {
    const headerHeight = this.header === null ? 0 : this.header.offsetHeight;
    return { at: this.scroller.scrollTop, height: Math.max(1, this.scroller.clientHeight - headerHeight) };
  }

  // Browsers cannot lay out a box of unbounded height (Chromium stops near 33 million pixels),
  // so beyond LIMIT the list scrolls in proportion: the scroll bar's position picks the row at
  // the top, and a pixel of scrolling moves more than a pixel of rows.
  geometry() {
    const rowHeight = this.rowHeight || 36;
    const { at, height } = this.viewport();
    const natural = this.length * rowHeight;
    const total = Math.min(natural, RowWindow.LIMIT);
    const fullRows = Math.max(1, Math.floor(height / rowHeight));
    const range = Math.max(1, total - height); // the scroll position's range over the rows
    return { rowHeight, at, height, total, fullRows, range, scaled: natural > RowWindow.LIMIT };
  }

  // The entry at the top of the view and where its row goes.
  anchor(g) {
    if (!g.scaled) {
      const index = Math.min(Math.max(0, this.length - 1), Math.floor(g.at / g.rowHeight));
      return { index, y: index * g.rowHeight };
    }
    const fraction = Math.min(1, g.at / g.range);
    // Rounded, not floored: a scroll position is whole pixels, and the last one short of the
    // end must still put the last rows at the bottom.
    const index = Math.round(fraction * Math.max(0, this.length - g.fullRows));
    return { index, y: Math.min(g.at, g.range) };
  }

  render() {
    if (this.scroller.offsetParent === null && this.rows.length > 0) return; // hidden: later
    const g = this.geometry();
    const { index, y } = this.anchor(g);
    const over = RowWindow.OVERSCAN;
    const first = Math.max(0, index - over);
    const end = Math.min(this.length, index + Math.ceil(g.height / g.rowHeight) + 1 + over);
    const focused = this.focusedIndex();
    const wanted = Math.max(0, end - first);
    while (this.rows.length > wanted) this.rows.pop().remove();
    while (this.rows.length < wanted) {
      const row = this.makeRow();
      this.bottom.before(row);
      this.rows.push(row);
    }
    this.first = first;
    this.rows.forEach((row, k) => {
      const entry = first + k;
      if (row.dataset.index !== String(entry)) {
        row.dataset.index = String(entry);
        this.fillRow(row, entry);
      }
    });
    const top = Math.max(0, y - (index - first) * g.rowHeight);
    this.setHeight(this.top, top);
    this.setHeight(this.bottom, Math.max(0, g.total - top - wanted * g.rowHeight));
    // Rows change height with what they show (the Save buttons appear once an unchecked archive
    // is accepted, the width changes): measured again each time, to the fraction of a pixel,
    // since a rounding error adds up over a million rows.
    const heights = this.rows.map((r) => r.getBoundingClientRect().height).sort((a, b) => a - b);
    const measured = heights.length === 0 ? 0 : heights[heights.length >> 1];
    if (measured > 0 && Math.abs(measured - this.rowHeight) > 0.01 && !this.measuring) {
      this.rowHeight = measured;
      this.measuring = true;
      this.render();
      this.measuring = false;
      return;
    }
    // Keep the keyboard's place: the focused row may now show another entry, or none.
    if (focused !== null) {
      const row = this.rowOf(focused);
      const target = row === null ? null : this.focusTarget(row);
      if (target !== null && target.offsetParent !== null) {
        if (document.activeElement !== target) target.focus({ preventScroll: true });
      } else if (this.holder.contains(document.activeElement)) {
        this.park();
      }
      this.focused = focused;
    }
  }

  setHeight(spacer, pixels) {
    (spacer.firstChild || spacer).style.height = pixels + 'px';
    spacer.hidden = pixels === 0;
  }

  rowOf(index) {
    const k = index - this.first;
    return k >= 0 && k < this.rows.length ? this.rows[k] : null;
  }

  // The entry whose row has the focus; the one last had it while the focus is on the scroller.
  focusedIndex() {
    const active = document.activeElement;
    if (active === this.scroller) return this.parked ? this.focused : null;
    if (active === null || !this.holder.contains(active)) return null;
    const row = active.closest('[data-index]');
    return row === null ? null : Number(row.dataset.index);
  }

  // Scrolls as little as it takes to show entry `index` whole.
  scrollTo(index) {
    this.render(); // the rows' height as they are now
    const g = this.geometry();
    const { index: topIndex } = this.anchor(g);
    if (!g.scaled) {
      const row = this.rowOf(index);
      const y = index * g.rowHeight;
      const height = row === null ? g.rowHeight : row.offsetHeight;
      if (y < g.at) this.scroller.scrollTop = y;
      else if (y + height > g.at + g.height) this.scroller.scrollTop = y + height - g.height;
    } else if (index < topIndex || index >= topIndex + g.fullRows) {
      const top = index < topIndex ? index : index - g.fullRows + 1;
      const span = Math.max(1, this.length - g.fullRows);
      this.scroller.scrollTop = Math.round(top * g.range / span);
    }
    this.render();
  }

  // Arrow keys, Page Up and Down, Home and End move from row to row, the list scrolling along.
  onKey(e) {
    if (e.altKey || e.ctrlKey || e.metaKey || this.length === 0) return;
    const from = this.focusedIndex() ?? this.anchor(this.geometry()).index;
    const page = Math.max(1, this.geometry().fullRows - 1);
    const moves = {
      ArrowDown: from + 1, ArrowUp: from - 1, PageDown: from + page, PageUp: from - page,
      Home: 0, End: this.length - 1,
    };
    if (!(e.key in moves)) return;
    const to = Math.min(this.length - 1, Math.max(0, moves[e.key]));
    e.preventDefault();
    this.focused = to;
    this.scrollTo(to);
    const row = this.rowOf(to);
    const target = row === null ? null : this.focusTarget(row);
    if (target !== null && target.offsetParent !== null) target.focus({ preventScroll: true });
    else this.park();
  }
}
RowWindow.LIMIT = 8000000;
RowWindow.OVERSCAN = 8;

// ----- Views -----

function showView(which) {
  const open = which === 'open';
  view.openTab.setAttribute('aria-selected', String(open));
  view.makeTab.setAttribute('aria-selected', String(!open));
  view.openTab.tabIndex = open ? 0 : -1;
  view.makeTab.tabIndex = open ? -1 : 0;
  view.openPanel.hidden = !open;
  view.makePanel.hidden = open;
  if (!busy) setStatus('');
  placeStatus();
  if (!open) makeRows.render();
}

// The progress bar and the status line go right under the buttons of what the user is doing:
// under Save all once an archive is open, under Open or Create before. Below the panel, a
// result such as "Saved 5 files." would be off the screen after a long list.
function placeStatus() {
  let under = $('make-actions');
  if (!view.openPanel.hidden) under = view.opened.hidden ? $('open-actions') : $('save-actions');
  if (view.statusLine.previousElementSibling !== under) under.after(view.statusLine);
}

view.openTab.addEventListener('click', () => showView('open'));
view.makeTab.addEventListener('click', () => showView('make'));
for (const tab of [view.openTab, view.makeTab]) {
  tab.addEventListener('keydown', (e) => {
    if (e.key !== 'ArrowLeft' && e.key !== 'ArrowRight') return;
    const other = tab === view.openTab ? view.makeTab : view.openTab;
    showView(other === view.openTab ? 'open' : 'make');
    other.focus();
    e.preventDefault();
  });
}

// ----- Open -----

function pickArchive(file) {
  pickedArchive = file || null;
  view.opened.hidden = true;
  placeStatus();
  if (pickedArchive !== null) setStatus('');
  updateControls();
}

view.archive.addEventListener('change', () => pickArchive(view.archive.files[0]));

// A file dropped anywhere on the page is the archive to open.
document.addEventListener('dragover', (e) => {
  if (!e.dataTransfer || ![...e.dataTransfer.types].includes('Files')) return;
  e.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', (e) => {
  if (e.relatedTarget === null) document.body.classList.remove('dragging');
});
document.addEventListener('drop', (e) => {
  document.body.classList.remove('dragging');
  if (!e.dataTransfer || e.dataTransfer.files.length === 0) return;
  e.preventDefault();
  showView('open');
  view.archive.files = e.dataTransfer.files;
  pickArchive(e.dataTransfer.files[0]);
  view.password.focus();
});

$('open-form').addEventListener('submit', async (e) => {
  e.preventDefault();
  if (view.open.disabled) return;
  const m = await runJob('Opening ' + visibleName(pickedArchive.name) + '…', {
    op: 'open', file: pickedArchive, password: view.password.value,
    // For tests and measurements: #module-cipher or #browser-cipher instead of the faster.
    // For tests: #no-staging reads the archive again for every save, as where the private file
    // system is missing or full.
    staging: location.hash.includes('no-staging') ? 'off' : 'on',
    cipher: location.hash.includes('module-cipher') ? 'module'
      : location.hash.includes('browser-cipher') ? 'webcrypto' : 'faster',
  }, 'opened');
  if (m === null) return;
  if (m.result !== 0) {
    view.opened.hidden = true;
    openedFiles = emptyList();
    fileRows.setCount(0);
    placeStatus();
    setStatus(m.message, true);
    return;
  }
  openedFiles = receivedList(m.files);
  showFiles(m);
  setStatus('Opened ' + visibleName(pickedArchive.name) + ': ' + openedFiles.length +
    (openedFiles.length === 1 ? ' file, ' : ' files, ') + formatSize(openedFiles.total) +
    '; integrity ' + integrityWords(m) + '.');
});

// What became of the archive's integrity record, in the words sfxtool uses. Without a password
// the record is a plain digest anyone can recompute: it shows damage, not a deliberate change.
function integrityWords(m) {
  switch (m.integrity) {
    case 'verified':
      return m.keyed ? 'verified' : 'verified (no password: damage is caught, tampering is not)';
    case 'later': return 'not verified (integrity record of a later version)';
    default: return 'not verified (no integrity record)';
  }
}

function showFiles(m) {
  const verified = m.integrity === 'verified';
  view.integrity.textContent = 'Integrity: ' + integrityWords(m);
  view.integrity.dataset.state = m.integrity;
  // Not verified is a warning, told by a sign and words as well as by colour.
  const line = view.integrity.parentElement;
  line.className = 'integrity ' + (verified ? 'verified' : 'unverified');
  line.querySelector('.sign').textContent = verified ? '✓' : '⚠';
  line.querySelector('.visually-hidden').textContent = verified ? '' : 'Warning: ';
  // An archive that cannot be checked is shown, but nothing of it is saved until the user has
  // read why and taken it as it is.
  unverifiedAccepted = verified;
  view.unverifiedWhy.textContent = m.integrity === 'later'
    ? 'Its integrity record is of a later version than this page knows.'
    : 'It carries no integrity record.';
  view.unverified.hidden = unverifiedAccepted;
  view.opened.classList.toggle('unaccepted', !unverifiedAccepted);
  view.opened.hidden = false;
  placeStatus();
  view.filesScroll.scrollTop = 0;
  fileRows.setCount(openedFiles.length);
}

// ----- Names -----

// How a stored name is shown: folders separated by slashes, and every character that does not
// show itself written out as <U+XXXX> (uppercase hex, four digits at least). Those characters
// change how a name looks without showing up in it: U+202E turns "Invoice_2024<U+202E>fdp.exe"
// into what reads as "Invoice_2024exe.pdf". The characters are those of Unicode's format
// category (Cf), the line and paragraph separators, the controls U+007F to U+009F, and any lone
// surrogate. The engine and sfxtool list write names out by the same rule in the same form,
// so a name reads the same everywhere; change the three together.
const HIDDEN_CHARACTERS = new RegExp('[' +
  '\\u00AD\\u0600-\\u0605\\u061C\\u06DD\\u070F\\u0890\\u0891\\u08E2\\u180E\\u200B-\\u200F' +
  '\\u202A-\\u202E\\u2060-\\u2064\\u2066-\\u206F\\uFEFF\\uFFF9-\\uFFFB' +
  '\\u{110BD}\\u{110CD}\\u{13430}-\\u{1343F}\\u{1BCA0}-\\u{1BCA3}\\u{1D173}-\\u{1D17A}' +
  '\\u{E0001}\\u{E0020}-\\u{E007F}' +
  '\\u2028\\u2029\\u007F-\\u009F' +
  // With the u flag a surrogate pair is one character beyond these; only a lone one matches.
  '\\uD800-\\uDFFF]', 'gu');

function visibleName(text) {
  return text.replace(HIDDEN_CHARACTERS, (c) =>
    '<U+' + c.codePointAt(0).toString(16).toUpperCase().padStart(4, '0') + '>');
}

// Stored names separate folders with backslashes; people read them with slashes.
function displayName(stored) {
  return visibleName(stored.split('\\').join('/'));
}

// ----- The open archive's list -----

function emptyList() {
  return receivedList({ names: new Uint16Array(0), ends: new Uint32Array(0), sizes: new Float64Array(0) });
}

// The list as the worker sends it (every name's UTF-16 units one after the other, where each
// name ends, the sizes), kept that way: a name becomes a string only when a row shows it.
function receivedList({ names, ends, sizes }) {
  let total = 0;
  for (let i = 0; i < sizes.length; i++) total += sizes[i];
  return {
    length: ends.length,
    total,
    // Unit for unit, lone surrogates and all (a name holds at most a few hundred units).
    name: (i) => String.fromCharCode.apply(null, names.subarray(i === 0 ? 0 : ends[i - 1], ends[i])),
    size: (i) => sizes[i],
  };
}

// For tests and anyone driving the page: the whole list as stored ({name, size} each), while
// the table holds only the rows in view.
window.quillonListedFiles = (from = 0, to = openedFiles.length) => {
  const out = [];
  for (let i = from; i < Math.min(to, openedFiles.length); i++) {
    out.push({ name: openedFiles.name(i), size: openedFiles.size(i) });
  }
  return out;
};

const fileRows = new RowWindow({
  scroller: view.filesScroll,
  holder: view.files.tBodies[0],
  header: view.files.tHead,
  spacer: () => spacerRow(3),
  count: (n) => view.files.setAttribute('aria-rowcount', String(n + 1)),
  makeRow() {
    const row = document.createElement('tr');
    const save = document.createElement('button');
    save.type = 'button';
    save.textContent = 'Save';
    save.disabled = busy;
    const cell = document.createElement('td');
    cell.append(save);
    const name = document.createElement('td');
    name.className = 'name';
    name.append(document.createElement('bdi'));
    const size = document.createElement('td');
    size.className = 'size';
    row.append(cell, name, size);
    return row;
  },
  fillRow(row, index) {
    const stored = openedFiles.name(index);
    const shown = displayName(stored);
    const bytes = openedFiles.size(index);
    row.dataset.name = stored;
    row.dataset.size = String(bytes);
    row.setAttribute('aria-rowindex', String(index + 2)); // the header is row 1
    const [cell, name, size] = row.cells;
    cell.firstChild.setAttribute('aria-label', 'Save ' + shown);
    showBreakable(name.firstChild, shown);
    size.textContent = formatSize(bytes);
    size.title = bytes + ' bytes';
  },
  focusTarget: (row) => row.querySelector('button'),
});

// Shows a name with a place to break after every folder's slash, so on a narrow screen
// "photos/holiday.jpg" wraps as "photos/" and "holiday.jpg" rather than inside a file's name.
function showBreakable(element, shown) {
  const parts = shown.split('/');
  element.replaceChildren();
  parts.forEach((part, i) => {
    if (i > 0) element.append('/', document.createElement('wbr'));
    element.append(part);
  });
}

function spacerRow(columns) {
  const row = document.createElement('tr');
  row.className = 'spacer';
  row.setAttribute('aria-hidden', 'true');
  const cell = document.createElement('td');
  cell.colSpan = columns;
  row.append(cell);
  return row;
}

// One listener for every row's Save button, however many rows come and go.
view.files.tBodies[0].addEventListener('click', (e) => {
  const button = e.target.closest('button');
  const row = button === null ? null : button.closest('tr[data-index]');
  if (row !== null) saveFiles([Number(row.dataset.index)], false);
});

// The name a file is saved under on its own: the last part of its stored name, whose folders the
// engine separates at a slash as well as at a backslash.
function baseName(stored) {
  const parts = stored.split(/[\\/]/);
  return parts[parts.length - 1];
}

// Every index, as one typed array: a million of them cross to the worker as one block of bytes,
// not as a million numbers to copy one by one.
view.saveAll.addEventListener('click', () =>
  saveFiles(Uint32Array.from({ length: openedFiles.length }, (_, i) => i), true));

view.acceptUnverified.addEventListener('click', () => {
  unverifiedAccepted = true;
  view.unverified.hidden = true;
  view.opened.classList.remove('unaccepted');
  fileRows.render(); // the rows, with their Save buttons now, are taller
  view.saveAll.focus();
});

// Asks where to save: a file for one, a folder for all (the pickers need the click that started
// this), then lets the worker write. Without the File System Access API every file arrives as a
// download of its own.
async function saveFiles(indexes, intoFolder) {
  if (busy || indexes.length === 0 || !unverifiedAccepted) return;
  let target = { kind: 'download' };
  try {
    if (!intoFolder && typeof window.showSaveFilePicker === 'function') {
      const handle = await window.showSaveFilePicker({ suggestedName: baseName(openedFiles.name(indexes[0])) });
      target = { kind: 'file', handle };
    } else if (intoFolder && typeof window.showDirectoryPicker === 'function') {
      const handle = await window.showDirectoryPicker({ mode: 'readwrite' });
      target = { kind: 'directory', handle };
    }
  } catch (e) {
    if (e && e.name === 'AbortError') return; // the user closed the picker
    throw e;
  }
  const m = await runJob(indexes.length === 1
    ? 'Saving ' + displayName(openedFiles.name(indexes[0])) + '…'
    : 'Saving ' + indexes.length + ' files…', { op: 'save', indexes, target }, 'saved');
  if (m === null) return;
  for (const d of m.downloads) offerDownload(d.blob, baseName(d.name));
  setStatus(m.count === 1 ? 'Saved ' + displayName(openedFiles.name(indexes[0])) + '.'
    : 'Saved ' + m.count + ' files.');
}

// A download of exactly the bytes given, under its own name: the Blob's type says nothing of its
// contents (a staged file's is empty, and the browser would add an extension for that).
function offerDownload(blob, name) {
  if (blob.type !== 'application/octet-stream') blob = blob.slice(0, blob.size, 'application/octet-stream');
  const url = URL.createObjectURL(blob);
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  a.hidden = true;
  document.body.append(a);
  a.click();
  a.remove();
  // The download has its own hold on the Blob once it started.
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// ----- Make -----

function listedName(file, fromFolder) {
  return fromFolder ? file.webkitRelativePath.split('/').join('\\') : file.name;
}

function addFiles(list, fromFolder) {
  const added = [...list].map((file) => ({ name: listedName(file, fromFolder), file }));
  // A folder's files go in sorted by name, as sfxtool create stores a folder it is given.
  if (fromFolder) added.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
  if (makeFiles.length === 0 && added.length > 0) {
    const first = added[0].name;
    defaultName = fromFolder ? first.split('\\')[0] : stem(first);
  }
  makeFiles = makeFiles.concat(added);
  showMakeList();
}

// A file's name without its extension, as sfxtool create names an archive after it.
function stem(name) {
  const dot = name.lastIndexOf('.');
  return dot > 0 ? name.slice(0, dot) : name;
}

function showMakeList() {
  view.makeScroll.hidden = makeFiles.length === 0;
  makeRows.setCount(makeFiles.length);
  if (!nameEdited) view.archiveName.value = makeFiles.length > 0 ? defaultName + extension() : '';
  updateControls();
}

// The files to put in the archive, shown as the archive's list is: a folder of a hundred
// thousand files makes a hundred thousand entries, and the list is rebuilt on every add.
const makeRows = new RowWindow({
  scroller: view.makeScroll,
  holder: view.makeList,
  spacer() {
    const item = document.createElement('li');
    item.className = 'spacer';
    item.setAttribute('aria-hidden', 'true');
    return item;
  },
  count: () => {},
  makeRow() {
    const item = document.createElement('li');
    const size = document.createElement('span');
    size.className = 'size';
    item.append(document.createElement('bdi'), size);
    return item;
  },
  fillRow(item, index) {
    const f = makeFiles[index];
    item.value = index + 1;
    item.setAttribute('aria-setsize', String(makeFiles.length));
    item.setAttribute('aria-posinset', String(index + 1));
    item.dataset.name = f.name;
    item.firstChild.textContent = displayName(f.name);
    item.lastChild.textContent = formatSize(f.file.size);
  },
  focusTarget: () => null,
});

function extension() {
  return view.type.value === 'exe' ? '.exe' : '.tvf';
}

view.addFiles.addEventListener('change', () => {
  addFiles(view.addFiles.files, false);
  view.addFiles.value = '';
});
view.addFolder.addEventListener('change', () => {
  addFiles(view.addFolder.files, true);
  view.addFolder.value = '';
});
view.clearFiles.addEventListener('click', () => {
  makeFiles = [];
  nameEdited = false;
  showMakeList();
});
view.archiveName.addEventListener('input', () => { nameEdited = view.archiveName.value !== ''; });
view.type.addEventListener('change', () => {
  const name = view.archiveName.value;
  if (name !== '') view.archiveName.value = stem(name) + extension();
});

// The quality bar of the password dialog: width and colour from the meter's score, red at 1 %
// to green at 100 %, and no bar at all for a password the meter turns away.
function showQuality(score) {
  const percent = score > 0 ? Math.min(100, score) : 0;
  const fill = view.quality.querySelector('.fill');
  const label = view.quality.querySelector('.value');
  fill.style.width = percent + '%';
  fill.style.background = 'rgb(' + Math.trunc(255 - 2.5 * percent) + ' ' + Math.trunc(2.5 * percent) + ' 0)';
  label.textContent = percent > 0 ? percent + '%' : '';
  view.quality.setAttribute('aria-valuenow', String(percent));
  view.quality.setAttribute('aria-valuetext', percent + '%');
  view.quality.dataset.score = String(score);
}

function rateNow() {
  if (!ready) return;
  rateSeq++;
  worker.postMessage({ op: 'rate', seq: rateSeq, password: view.newPassword.value });
}

view.newPassword.addEventListener('input', () => { rateNow(); updateControls(); });
view.confirmPassword.addEventListener('input', updateControls);
view.noPassword.addEventListener('change', updateControls);
view.classicKey.addEventListener('change', updateControls);

$('make-form').addEventListener('submit', async (e) => {
  e.preventDefault();
  if (view.create.disabled) return;
  let output = view.archiveName.value.trim() || defaultName + extension();
  if (!output.toLowerCase().endsWith(extension())) output = stem(output) + extension();
  const stub = view.type.value === 'exe' ? decodeBase64('extractor-exe') : null;
  if (view.type.value === 'exe' && stub === null) {
    setStatus('This page was built without the extractor: choose .tvf.', true);
    return;
  }
  const m = await runJob('Making ' + output + '…', {
    op: 'make', output, files: makeFiles, stub: stub !== null ? stub.buffer : null,
    password: view.noPassword.checked ? '' : view.newPassword.value,
    classicKey: view.classicKey.checked,
  }, 'made', stub !== null ? [stub.buffer] : []);
  if (m === null) return;
  if (m.result !== 0) {
    setStatus(m.problem ? nameProblem(m) : m.message, true);
    return;
  }
  offerDownload(m.blob, m.name);
  setStatus('Made ' + m.name + ' (' + formatSize(m.size) + ').');
});

// The reasons sfxtool create gives for a list it will not store, with the names written out as
// everywhere else on the page.
function nameProblem(m) {
  const name = visibleName(m.name || '');
  const other = visibleName(m.other || '');
  switch (m.problem) {
    case 1: return "'" + name + "' is too long: a path holds at most 259 characters.";
    case 2: return "'" + name + "' cannot be stored: the name is not one every system can extract.";
    case 3: return "'" + other + "' and '" + name + "' would be stored under the same name (Windows ignores case).";
    case 4: return "'" + other + "' and '" + name + "' cannot both be stored: one would be a folder of the other.";
    case 6: {
      // The first character that does not show itself, named as the name writes it out.
      const hidden = m.name.match(new RegExp(HIDDEN_CHARACTERS.source, 'u'));
      const code = hidden === null ? '' : ' (U+' +
        hidden[0].codePointAt(0).toString(16).toUpperCase().padStart(4, '0') + ')';
      return "'" + name + "' cannot be stored: the name holds an invisible formatting character" + code + '.';
    }
    default: return 'Out of memory.';
  }
}

placeStatus();
