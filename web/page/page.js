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
  progress: $('progress'), status: $('status'),
};

let pickedArchive = null; // the archive to open
let passwordFits = true; // the new password's characters all survive the code page
let unverifiedAccepted = false; // the user took the open archive as it is, unchecked
let openedFiles = []; // {name, size} of the open archive
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

function beginJob(text) {
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
  const m = await runJob('Opening ' + pickedArchive.name + '…', {
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
    setStatus(m.message, true);
    return;
  }
  openedFiles = m.files;
  showFiles(m);
  const total = m.files.reduce((sum, f) => sum + f.size, 0);
  setStatus('Opened ' + pickedArchive.name + ': ' + m.files.length +
    (m.files.length === 1 ? ' file, ' : ' files, ') + formatSize(total) + '; integrity ' +
    integrityWords(m) + '.');
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
  view.integrity.textContent = 'Integrity: ' + integrityWords(m);
  view.integrity.className = 'integrity ' + (m.integrity === 'verified' ? 'verified' : 'unverified');
  view.integrity.dataset.state = m.integrity;
  // An archive that cannot be checked is shown, but nothing of it is saved until the user has
  // read why and taken it as it is.
  unverifiedAccepted = m.integrity === 'verified';
  view.unverifiedWhy.textContent = m.integrity === 'later'
    ? 'Its integrity record is of a later version than this page knows.'
    : 'It carries no integrity record.';
  view.unverified.hidden = unverifiedAccepted;
  view.opened.classList.toggle('unaccepted', !unverifiedAccepted);
  const body = view.files.tBodies[0];
  body.replaceChildren();
  m.files.forEach((f, index) => {
    const row = document.createElement('tr');
    row.dataset.name = f.name;
    row.dataset.size = String(f.size);
    const save = document.createElement('button');
    save.type = 'button';
    save.textContent = 'Save';
    save.setAttribute('aria-label', 'Save ' + displayName(f.name));
    save.addEventListener('click', () => saveFiles([index], false));
    const name = document.createElement('td');
    name.textContent = displayName(f.name);
    const size = document.createElement('td');
    size.className = 'size';
    size.textContent = formatSize(f.size);
    size.title = f.size + ' bytes';
    const cell = document.createElement('td');
    cell.append(save);
    row.append(cell, name, size);
    body.append(row);
  });
  view.opened.hidden = false;
}

// Stored names separate folders with backslashes; people read them with slashes.
function displayName(stored) {
  return stored.split('\\').join('/');
}

// The name a file is saved under on its own: the last part of its stored name, whose folders the
// engine separates at a slash as well as at a backslash.
function baseName(stored) {
  const parts = stored.split(/[\\/]/);
  return parts[parts.length - 1];
}

view.saveAll.addEventListener('click', () => saveFiles(openedFiles.map((f, i) => i), true));

view.acceptUnverified.addEventListener('click', () => {
  unverifiedAccepted = true;
  view.unverified.hidden = true;
  view.opened.classList.remove('unaccepted');
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
      const handle = await window.showSaveFilePicker({ suggestedName: baseName(openedFiles[indexes[0]].name) });
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
    ? 'Saving ' + displayName(openedFiles[indexes[0]].name) + '…'
    : 'Saving ' + indexes.length + ' files…', { op: 'save', indexes, target }, 'saved');
  if (m === null) return;
  for (const d of m.downloads) offerDownload(d.blob, baseName(d.name));
  setStatus(m.count === 1 ? 'Saved ' + displayName(openedFiles[indexes[0]].name) + '.'
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
  view.makeList.replaceChildren(...makeFiles.map((f) => {
    const item = document.createElement('li');
    item.textContent = displayName(f.name);
    const size = document.createElement('span');
    size.className = 'size';
    size.textContent = formatSize(f.file.size);
    item.append(size);
    return item;
  }));
  if (!nameEdited) view.archiveName.value = makeFiles.length > 0 ? defaultName + extension() : '';
  updateControls();
}

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

// The reasons sfxtool create gives for a list it will not store.
function nameProblem(m) {
  switch (m.problem) {
    case 1: return "'" + m.name + "' is too long: a path holds at most 259 characters.";
    case 2: return "'" + m.name + "' cannot be stored: the name is not one every system can extract.";
    case 3: return "'" + m.other + "' and '" + m.name + "' would be stored under the same name (Windows ignores case).";
    case 4: return "'" + m.other + "' and '" + m.name + "' cannot both be stored: one would be a folder of the other.";
    default: return 'Out of memory.';
  }
}
