// The page's worker: it hosts the engine (the WebAssembly module), answers the engine's calls for
// files and progress, and runs one job at a time for the page: rate a password, open an archive,
// save files from it, make an archive. Opening reads the archive's data stream once: the cipher
// workers each take a range of it, hash it into the integrity record's leaves, decipher it and
// stage the plaintext in this tab's folder of the browser's private file system; the engine is
// given the leaves in order, and only when the record's tag matches is the archive shown.
// Saving then hands out those staged bytes (Blob slices for downloads, copies into picked
// files), so what is saved is what was checked. Where nothing is staged (a page opened from
// disk has no private file system, or it was full), saving reads the archive again and compares
// every leaf with the checked ones before anything is committed. Archives and files are Blobs,
// read as streams a chunk at a time, so memory stays flat whatever their size.
'use strict';

const ARCHIVE = '\u0001archive'; // the name the open archive goes by; no stored name can be it
const CHUNK = 4 << 20; // bytes read, deciphered and written at a time
const AHEAD = 3; // chunks read and deciphered ahead of the one being written
const STAGE = 8 << 20; // bytes a sink gathers before it hands them to a Blob

let engine = null; // the module's exports
let subtleKey = null; // the browser's AES key for the open archive, when it has Web Crypto
let keyIv = null; // the IV the password derived
let subtleHash = false; // the browser computes SHA-256 itself (Web Crypto)
let archive = null; // the open archive: {blob, dataOffset, dataSize, keyed, files}

const named = new Map(); // name → Blob the engine may open
const handles = new Map(); // handle → {blob, pos} or {sink}
let nextHandle = 1;
const sinks = new Map(); // name → sink the engine writes
const syncReader = new FileReaderSync();

// ----- The module's memory -----

function memoryBytes() {
  return new Uint8Array(engine.memory.buffer);
}

// A UTF-16 text of the module, code unit for code unit (a stored name is kept exactly).
function readText(ptr, chars) {
  const units = new Uint16Array(engine.memory.buffer, ptr, chars);
  let text = '';
  for (let i = 0; i < chars; i += 4096) {
    text += String.fromCharCode.apply(null, units.subarray(i, Math.min(chars, i + 4096)));
  }
  return text;
}

// Runs fn with `text` in the module's memory (zero-terminated), wiped and freed afterwards.
function withText(text, fn) {
  const bytes = 2 * text.length + 2;
  const ptr = engine.qn_alloc(bytes);
  if (ptr === 0) throw new Error('out of memory');
  try {
    const units = new Uint16Array(engine.memory.buffer, ptr, text.length + 1);
    for (let i = 0; i < text.length; i++) units[i] = text.charCodeAt(i);
    units[text.length] = 0;
    return fn(ptr);
  } finally {
    engine.qn_free(ptr, bytes);
  }
}

function withBytes(bytes, fn) {
  const ptr = engine.qn_alloc(bytes.length);
  if (ptr === 0) throw new Error('out of memory');
  try {
    memoryBytes().set(bytes, ptr);
    return fn(ptr);
  } finally {
    engine.qn_free(ptr, bytes.length);
  }
}

// ----- What the engine calls -----

// A sink gathers what the engine writes: into a file of the browser's private file system,
// written as it comes, when the job opened one (`staging`); else into Blob parts.
let staging = null;

function newSink(name) {
  if (staging !== null && !staging.taken) {
    staging.taken = true;
    return { name, staging, size: 0 };
  }
  return { name, parts: [], stage: new Uint8Array(STAGE), staged: 0, size: 0 };
}

function sinkWrite(sink, bytes) {
  if (sink.staging !== undefined) {
    if (sink.staging.access.write(bytes, { at: sink.size }) !== bytes.length) {
      throw new Error('the archive could not be written');
    }
    sink.size += bytes.length;
    return;
  }
  let at = 0;
  while (at < bytes.length) {
    const n = Math.min(bytes.length - at, STAGE - sink.staged);
    sink.stage.set(bytes.subarray(at, at + n), sink.staged);
    sink.staged += n;
    at += n;
    if (sink.staged === STAGE) sinkFlush(sink);
  }
  sink.size += bytes.length;
}

// The Blob constructor copies, and the browser moves large Blobs out of this process.
function sinkFlush(sink) {
  if (sink.staging !== undefined) return;
  if (sink.staged > 0) sink.parts.push(new Blob([sink.stage.subarray(0, sink.staged)]));
  sink.staged = 0;
}

// What the sink holds, as a Blob: the finished file on disk, or the parts.
async function sinkBlob(sink) {
  if (sink.staging !== undefined) {
    sink.staging.access.flush();
    sink.staging.access.close();
    sink.staging.closed = true;
    return sink.staging.file.getFile();
  }
  sinkFlush(sink);
  sink.stage = null;
  return new Blob(sink.parts, { type: 'application/octet-stream' });
}

// ----- Staging in the browser's private file system -----

// Whatever the page writes before it is saved or downloaded (the plaintext of an opened
// archive, an archive being made) goes under quillon-staging/<this tab's folder>, which the tab
// holds a Web Lock of the same name for as long as it lives. A page that starts removes every
// folder there whose lock is free: what a tab that died or was closed before it could clean up
// left behind; the folder of a tab that is still open is never touched.
const STAGING = 'quillon-staging';
let tabFolder = null; // this tab's folder; null without a private file system (a page from disk)
let stagedSeq = 0;

async function startStaging() {
  try {
    const root = await self.navigator.storage.getDirectory();
    const all = await root.getDirectoryHandle(STAGING, { create: true });
    const name = 'tab-' + [...crypto.getRandomValues(new Uint8Array(12))]
      .map((b) => b.toString(16).padStart(2, '0')).join('');
    // The lock first, the folder after: a page sweeping meanwhile sees the folder held.
    await new Promise((resolve, reject) => {
      self.navigator.locks.request(STAGING + '/' + name, () => {
        resolve();
        return new Promise(() => {}); // held until this worker ends with its page
      }).catch(reject);
    });
    await all.getDirectoryHandle(name, { create: true });
    tabFolder = name;
    const others = [];
    for await (const entry of all.keys()) if (entry !== name) others.push(entry);
    for (const entry of others) {
      await self.navigator.locks.request(STAGING + '/' + entry, { ifAvailable: true }, async (lock) => {
        if (lock !== null) await all.removeEntry(entry, { recursive: true }).catch(() => {});
      });
    }
    // Where earlier versions of this page staged.
    for (const old of ['quillon-saved', 'quillon-made']) {
      await root.removeEntry(old, { recursive: true }).catch(() => {});
    }
  } catch (e) {
    tabFolder = null;
  }
}

async function tabDirectory() {
  const root = await self.navigator.storage.getDirectory();
  const all = await root.getDirectoryHandle(STAGING, { create: true });
  return all.getDirectoryHandle(tabFolder, { create: true });
}

async function removeStaged(names) {
  if (tabFolder === null || names.length === 0) return;
  const folder = await tabDirectory().catch(() => null);
  if (folder === null) return;
  for (const name of names) await folder.removeEntry(name).catch(() => {});
}

// The browser says nothing when a download has read what it was handed. Measured in Chromium:
// the download opens the Blob's file within a few milliseconds of the click and then reads it
// to the end even when the file is removed meanwhile (removed at once, before that, the download
// fails); so what was handed out to downloads is removed this long after, and at the latest
// when another archive is opened, when the page is left, or when a page of it next starts.
const HANDOFF_MS = 3000;

function releaseLater(names) {
  if (names.length === 0) return;
  setTimeout(() => { queue = queue.then(() => removeStaged(names)).catch(() => {}); }, HANDOFF_MS);
}

// A file in the tab's staging folder for the archive about to be made, so that it goes to disk
// as the engine writes it, in memory that stays flat; null where there is none.
async function openStaging() {
  if (tabFolder === null) return null;
  try {
    const folder = await tabDirectory();
    const name = 'made-' + ++stagedSeq;
    const file = await folder.getFileHandle(name, { create: true });
    const access = await file.createSyncAccessHandle();
    return { folder, name, file, access, taken: false, closed: false };
  } catch (e) {
    return null;
  }
}

async function closeStaging(kept) {
  if (staging === null) return;
  if (!staging.closed) staging.access.close();
  if (kept) releaseLater([staging.name]);
  else await staging.folder.removeEntry(staging.name).catch(() => {});
  staging = null;
}

const host = {
  file_open(ptr, chars) {
    const blob = named.get(readText(ptr, chars));
    if (blob === undefined) return -1;
    const handle = nextHandle++;
    handles.set(handle, { blob, pos: 0 });
    return handle;
  },
  file_create(ptr, chars, onlyNew) {
    const name = readText(ptr, chars);
    if (onlyNew && (sinks.has(name) || named.has(name))) return -1;
    const sink = newSink(name);
    sinks.set(sink.name, sink);
    const handle = nextHandle++;
    handles.set(handle, { sink });
    return handle;
  },
  file_read(handle, ptr, bytes) {
    const f = handles.get(handle);
    if (f === undefined || f.blob === undefined) return -1;
    const end = Math.min(f.blob.size, f.pos + bytes);
    if (end <= f.pos) return 0;
    let got;
    try {
      got = new Uint8Array(syncReader.readAsArrayBuffer(f.blob.slice(f.pos, end)));
    } catch (e) {
      return -1; // the file changed or went away since it was picked
    }
    memoryBytes().set(got, ptr);
    f.pos += got.length;
    return got.length;
  },
  file_write(handle, ptr, bytes) {
    const f = handles.get(handle);
    if (f === undefined || f.sink === undefined) return -1;
    sinkWrite(f.sink, new Uint8Array(engine.memory.buffer, ptr, bytes));
    return bytes;
  },
  file_size(handle) {
    const f = handles.get(handle);
    if (f === undefined) return -1;
    return f.blob !== undefined ? f.blob.size : f.sink.size;
  },
  file_seek(handle, offset) {
    const f = handles.get(handle);
    if (f === undefined || f.blob === undefined || offset > f.blob.size) return 0;
    f.pos = offset;
    return 1;
  },
  file_close(handle) {
    const f = handles.get(handle);
    if (f !== undefined && f.sink !== undefined) sinkFlush(f.sink);
    handles.delete(handle);
  },
  file_delete(ptr, chars) {
    const name = readText(ptr, chars);
    const sink = sinks.get(name);
    if (sink !== undefined && sink.staging !== undefined) sink.staging.access.truncate(0);
    return sinks.delete(name) ? 1 : 0;
  },
  file_rename(fromPtr, fromChars, toPtr, toChars) {
    const from = readText(fromPtr, fromChars);
    const sink = sinks.get(from);
    if (sink === undefined) return 0;
    sinks.delete(from);
    sink.name = readText(toPtr, toChars);
    sink.finished = true;
    sinks.set(sink.name, sink);
    return 1;
  },
  now_ms() {
    return Date.now();
  },
  random_bytes(ptr, bytes) {
    // The salt of a new archive: the browser's own source, never Math.random.
    if (bytes > 65536) return 0;
    crypto.getRandomValues(new Uint8Array(engine.memory.buffer, ptr, bytes));
    return 1;
  },
  progress_status(ptr, chars) {
    postMessage({ op: 'status', text: readText(ptr, chars) });
  },
  progress_percent(percent) {
    postMessage({ op: 'progress', percent });
  },
};

async function start(m) {
  const module = await WebAssembly.compile(m.wasm);
  const instance = await WebAssembly.instantiate(module, { quillon: host });
  engine = instance.exports;
  engine._initialize();
  // The cipher workers' script becomes a Blob URL here: a page opened from disk has an opaque
  // origin, and only the context that made a Blob URL may start a worker from it there.
  await startPool(module, URL.createObjectURL(new Blob([m.cipherSource], { type: 'text/javascript' })));
  subtleHash = !!(self.crypto && self.crypto.subtle) && m.hash !== 'module';
  await startStaging();
  postMessage({ op: 'ready', webCrypto: !!(self.crypto && self.crypto.subtle), staging: tabFolder });
}

// ----- The cipher workers -----

// One per core (at most four): each deciphers and hashes whole chunks, which carry their IV.
const pool = [];
const poolWaiting = new Map(); // job id → {resolve, reject, worker}
let poolJob = 0;

async function startPool(module, url) {
  const count = Math.max(1, Math.min(4, self.navigator.hardwareConcurrency || 2));
  for (let i = 0; i < count; i++) {
    const worker = new Worker(url);
    worker.busy = 0;
    worker.onmessage = (event) => {
      const reply = event.data;
      const job = poolWaiting.get(reply.id);
      if (reply.progress !== undefined) {
        if (job.onProgress) job.onProgress(reply.progress);
        return;
      }
      poolWaiting.delete(reply.id);
      worker.busy--;
      if (reply.error !== undefined) job.reject(new Error(reply.error));
      else job.resolve(reply);
    };
    pool.push(worker);
  }
  await Promise.all(pool.map((w) => poolRun({ op: 'start', module }, [], w)));
}

// Runs a job on the given worker, or on the least busy one; onProgress hears what it reports
// on the way.
function poolRun(message, transfer, worker = null, onProgress = null) {
  const w = worker || pool.reduce((a, b) => (b.busy < a.busy ? b : a));
  const id = ++poolJob;
  w.busy++;
  return new Promise((resolve, reject) => {
    poolWaiting.set(id, { resolve, reject, onProgress });
    w.postMessage({ ...message, id }, transfer);
  });
}

// Keys every cipher worker with its own copy of the key and IV.
function poolKey(keyBytes) {
  return Promise.all(pool.map((w) => {
    const copy = keyBytes.slice(0, 48);
    return poolRun({ op: 'key', key: copy.buffer }, [copy.buffer], w);
  }));
}

function poolClear() {
  return Promise.all(pool.map((w) => poolRun({ op: 'clear' }, [], w)));
}

// Which AES deciphers faster here: the browser's (native code, but in some builds without the
// processor's AES instructions) or the module's, each on one thread, as every cipher worker
// runs one of them over its own range. Measured once, on 2 MiB, with the archive's key.
let measuredCipher = null;
async function chooseCipher() {
  if (measuredCipher !== null) return measuredCipher;
  const piece = 2 << 20;
  const time = async (run) => {
    await run(); // warm up
    const started = performance.now();
    await run();
    return performance.now() - started;
  };
  const browser = await time(() => decipherWithBrowser(new Uint8Array(2 << 20), keyIv));
  const module = await time(() => {
    const data = new Uint8Array(piece);
    return poolRun({ op: 'chunk', data: data.buffer, iv: keyIv.slice().buffer }, [data.buffer], pool[0]);
  });
  measuredCipher = module < browser ? 'module' : 'webcrypto';
  return measuredCipher;
}

function engineText(ptr) {
  if (ptr === 0) return '';
  let chars = 0;
  const units = new Uint16Array(engine.memory.buffer);
  while (units[ptr / 2 + chars] !== 0) chars++;
  return readText(ptr, chars);
}

// ----- Opening an archive -----

async function closeArchive() {
  const keyed = archive !== null && archive.keyed;
  if (archive !== null && archive.parts !== null) await removeStaged(archive.parts.map((p) => p.name));
  if (engine !== null) engine.qn_archive_close();
  named.delete(ARCHIVE);
  archive = null;
  subtleKey = null;
  if (keyIv !== null) keyIv.fill(0);
  keyIv = null;
  if (keyed) await poolClear();
}

// Result codes of the engine's reader, and what the integrity record asks (qn_archive_integrity).
const CORRUPT = 2;
const RECORD_TO_CHECK = 1;
const RECORD_OF_LATER_VERSION = 2;

async function openArchive(m) {
  await closeArchive();
  named.set(ARCHIVE, m.file);
  const refuse = async (result) => {
    await closeArchive();
    postMessage({ op: 'opened', result, message: engineText(engine.qn_result_message(result)) });
  };
  const result = withText(ARCHIVE, (name) =>
    withText(m.password, (password) => engine.qn_archive_open(name, password)));
  if (result !== 0) return refuse(result);
  const { files, list } = listFiles();
  archive = {
    blob: m.file,
    dataOffset: engine.qn_archive_data_offset(),
    dataSize: engine.qn_archive_data_size(),
    stubSize: engine.qn_archive_stub_size(),
    keyed: false,
    cipher: 'none',
    stages: false, // the plaintext is staged in the private file system as it is read
    files,
    leaves: null, // every leaf of the data stream, as the open read it
    parts: null, // the staged plaintext: [{name, from, to, file, first, taken, left}]
  };
  const record = engine.qn_archive_integrity();
  let integrity = record === RECORD_OF_LATER_VERSION ? 'later' : 'none';
  try {
    await keyCiphers(m.cipher);
    archive.cipher = subtleKey !== null ? 'webcrypto' : 'module';
    postMessage({ op: 'status', text: record === RECORD_TO_CHECK ? 'Checking the integrity record…' : 'Reading the archive…' });
    // One pass: every chunk hashed into its leaves, deciphered and staged, and nothing of it
    // shown or saved before the leaves made the record's tag.
    archive.stages = tabFolder !== null && m.staging !== 'off';
    const pass = await readPass(0, archive.dataSize, archive.stages);
    if (record === RECORD_TO_CHECK) {
      if (!sealMatches(pass.leaves)) {
        if (pass.parts !== null) await removeStaged(pass.parts.map((p) => p.name));
        return refuse(CORRUPT);
      }
      integrity = 'verified';
    }
    archive.leaves = pass.leaves;
    if (pass.parts !== null) {
      archive.parts = [];
      await addParts(pass.parts);
    }
  } catch (e) {
    await closeArchive();
    throw e;
  }
  postMessage({
    op: 'opened',
    result: 0,
    files: list,
    keyed: archive.keyed,
    integrity,
    selfExtracting: archive.stubSize > 0,
    cipher: !archive.keyed ? 'none' : archive.cipher,
  }, [list.names.buffer, list.ends.buffer, list.sizes.buffer]);
}

// The open archive's files, twice: as the save needs them ({name, size, offset} each), and as
// the page shows them. The page's copy is three arrays whatever the count, handed over rather
// than copied: every name's UTF-16 units one after the other, where each name ends, and the
// sizes. A million {name, size} objects would take the page's thread seconds to receive and
// hundreds of megabytes to keep; even one string of all names takes it a long task to copy.
function listFiles() {
  const count = engine.qn_archive_count();
  const files = new Array(count);
  const ends = new Uint32Array(count);
  const sizes = new Float64Array(count);
  let chars = 0;
  for (let i = 0; i < count; i++) {
    chars += engine.qn_archive_name_chars(i);
    ends[i] = chars;
  }
  const names = new Uint16Array(chars);
  let offset = 0;
  for (let i = 0; i < count; i++) {
    const ptr = engine.qn_archive_name(i);
    const start = i === 0 ? 0 : ends[i - 1];
    const units = new Uint16Array(engine.memory.buffer, ptr, ends[i] - start);
    names.set(units, start);
    const size = engine.qn_archive_size(i);
    files[i] = { name: readText(ptr, ends[i] - start), size, offset };
    offset += size;
    sizes[i] = size;
  }
  return { files, list: { names, ends, sizes } };
}

// Hands the open archive's key to the cipher that deciphers it: the cipher workers' copies of
// the module, and the browser's AES where it is wanted (`choice`: 'module', 'webcrypto', or
// 'faster', measured).
async function keyCiphers(choice) {
  const keyBytes = new Uint8Array(48);
  const ptr = engine.qn_alloc(48);
  try {
    archive.keyed = engine.qn_archive_key(ptr) === 1;
    if (archive.keyed) keyBytes.set(new Uint8Array(engine.memory.buffer, ptr, 48));
  } finally {
    engine.qn_free(ptr, 48);
  }
  try {
    if (!archive.keyed) return;
    keyIv = keyBytes.slice(32, 48);
    await poolKey(keyBytes);
    if (self.crypto && self.crypto.subtle && choice !== 'module') {
      subtleKey = await crypto.subtle.importKey('raw', keyBytes.subarray(0, 32), 'AES-CBC', false,
        ['encrypt', 'decrypt']);
      if (choice !== 'webcrypto' && await chooseCipher() === 'module') subtleKey = null;
    }
  } finally {
    keyBytes.fill(0);
  }
}

// ----- Reading the data stream -----

// Chunk buffers, reused: a fresh buffer for every chunk costs the browser more than reading the
// bytes into it (its pages are new to the process each time), so the buffers a read fills go
// round: read, deciphered or hashed, written, then given back here.
const spareChunks = [];

function chunkBuffer() {
  return spareChunks.pop() || new ArrayBuffer(CHUNK);
}

// Takes back a buffer that came from chunkBuffer(), whatever view or transfer it went through;
// anything else (a small buffer, one the browser's cipher made) is left to the collector.
function giveBack(buffer) {
  if (buffer.byteLength === CHUNK && spareChunks.length < AHEAD + 2) spareChunks.push(buffer);
}

// The data stream from `from` to `to`, read in order through one stream of the file: browsers
// hand a file's bytes over far faster as a stream than as a slice read for every chunk. take()
// gives the next bytes (in a chunk buffer, at most CHUNK of them) with the 16 that came before
// them (the chunk's IV in the chain; null at the stream's start); calls are served in the order
// they are made, so several chunks can be asked for at once.
function dataStream(from, to) {
  const begin = from >= 16 ? from - 16 : from;
  const start = archive.dataOffset + begin;
  const reader = archive.blob.slice(start, archive.dataOffset + to).stream().getReader({ mode: 'byob' });
  const exactly = async (buffer, length) => {
    let filled = 0;
    while (filled < length) {
      let step;
      try {
        step = await reader.read(new Uint8Array(buffer, filled, length - filled));
      } catch (e) {
        throw new Error(UNREADABLE); // the browser's words for this are "network error"
      }
      const { done, value } = step;
      if (done) throw new Error(UNREADABLE);
      buffer = value.buffer;
      filled += value.byteLength;
    }
    return new Uint8Array(buffer, 0, length);
  };
  let before = null;
  let queue = begin < from
    ? exactly(new ArrayBuffer(16), 16).then((b) => { before = b; })
    : Promise.resolve();
  return {
    take(length) {
      const taken = queue.then(async () => {
        const bytes = await exactly(chunkBuffer(), length);
        const result = { bytes, before };
        before = bytes.slice(length - 16);
        return result;
      });
      queue = taken.catch(() => {});
      return taken;
    },
    close() {
      reader.cancel().catch(() => {});
    },
  };
}

const PADDING_BLOCK = new Uint8Array(16).fill(16);

// Deciphers whole blocks that follow `iv` in the chain. The browser's AES-CBC insists on PKCS#7
// padding, so one extra block is made that deciphers to a full padding block after the last
// one: AES of (padding XOR last ciphertext block), which is the first block the browser's own
// CBC encryption gives for the padding block with that IV.
async function decipherWithBrowser(data, iv) {
  const last = data.subarray(data.length - 16);
  const extra = new Uint8Array(
    await crypto.subtle.encrypt({ name: 'AES-CBC', iv: last }, subtleKey, PADDING_BLOCK));
  const whole = new Uint8Array(data.length + 16);
  whole.set(data);
  whole.set(extra.subarray(0, 16), data.length);
  giveBack(data.buffer);
  return new Uint8Array(await crypto.subtle.decrypt({ name: 'AES-CBC', iv }, subtleKey, whole));
}

// A chunk of the data stream, deciphered. Each chunk comes with the ciphertext block
// before it, which is its IV (at the stream's start the password's IV), so chunks do not wait
// for each other: several can be deciphered at once.
async function decipherChunk(bytes, before) {
  const length = bytes.length;
  if (!archive.keyed) return bytes;
  if (subtleKey !== null) return decipherWithBrowser(bytes, before !== null ? before : keyIv);
  const iv = before !== null ? before : keyIv.slice();
  const reply = await poolRun({ op: 'chunk', data: bytes.buffer, length, iv: iv.buffer },
    [bytes.buffer, iv.buffer]);
  return new Uint8Array(reply.data, 0, length);
}

// Calls consume(produced, position) for the data stream from `from` to `to`, a chunk at a time
// and in order, while produce(stream, length) reads and works on the next chunks (deciphering,
// hashing) in the background.
async function eachChunk(from, to, produce, consume) {
  const stream = dataStream(from, to);
  const ahead = [];
  let next = from;
  const fill = () => {
    while (ahead.length < AHEAD && next < to) {
      const end = Math.min(to, next + CHUNK);
      const promise = produce(stream, end - next);
      promise.catch(() => {}); // awaited in turn below; a later one may fail first
      ahead.push({ pos: next, promise });
      next = end;
    }
  };
  try {
    fill();
    while (ahead.length > 0) {
      const { pos, promise } = ahead.shift();
      const produced = await promise;
      fill();
      await consume(produced, pos);
      giveBack(produced.buffer); // written by now: its buffer can take another chunk
    }
  } finally {
    stream.close();
  }
}

// ----- One pass over the data stream -----

const LEAF_SPAN = 512 << 10; // the record hashes the data stream's ciphertext in chunks this long
const LEAF_BYTES = 32; // each chunk's SHA-256

// What the page says when the archive's bytes are not the ones it read before, or cannot be
// read at all: the file was changed, moved or removed since it was picked.
const CHANGED = 'The archive changed since it was opened: what it holds now is not what was ' +
  'checked. Nothing was saved; open it again.';
const UNREADABLE = 'The archive can no longer be read: it was changed, moved or removed since it ' +
  'was picked. Nothing was saved; open it again.';

// Reads the data stream from `lo` to `hi` (lo on a leaf span boundary) once, split into one
// range per cipher worker, each on leaf span boundaries: every worker reads its range as a
// stream, hashes it into its leaves and, when `stageIt`, deciphers it into a file of the tab's
// staging folder. The leaves come back in order, and the staged parts, or null when any part
// could not be written whole (the private file system is full or failing): the pass then still
// checked the archive, and saving reads it again.
async function readPass(lo, hi, stageIt) {
  const spans = Math.ceil((hi - lo) / LEAF_SPAN);
  const ranges = [];
  for (let k = 0; k < pool.length; k++) {
    const from = lo + Math.floor((spans * k) / pool.length) * LEAF_SPAN;
    const to = Math.min(hi, lo + Math.floor((spans * (k + 1)) / pool.length) * LEAF_SPAN);
    if (to > from) ranges.push({ from, to, worker: pool[k], name: stageIt ? 'part-' + ++stagedSeq : null });
  }
  let done = 0;
  let shown = -1;
  const onProgress = (bytes) => {
    done += bytes;
    const percent = Math.floor((100 * done) / Math.max(1, hi - lo));
    if (percent !== shown) {
      shown = percent;
      postMessage({ op: 'progress', percent });
    }
  };
  const replies = await Promise.all(ranges.map((r) => poolRun({
    op: 'stage', blob: archive.blob, dataOffset: archive.dataOffset, from: r.from, to: r.to,
    keyed: archive.keyed, cipher: archive.cipher, hash: subtleHash ? 'browser' : 'module',
    stage: r.name !== null ? { folder: [STAGING, tabFolder], name: r.name } : null,
  }, [], r.worker, onProgress)));
  const names = ranges.filter((r) => r.name !== null).map((r) => r.name);
  if (replies.some((r) => r.unreadable)) {
    await removeStaged(names);
    throw new Error(UNREADABLE);
  }
  const leaves = new Uint8Array(spans * LEAF_BYTES);
  let at = 0;
  for (const r of replies) {
    leaves.set(new Uint8Array(r.leaves), at);
    at += r.leaves.byteLength;
  }
  if (!stageIt || !replies.every((r) => r.staged)) {
    await removeStaged(names);
    return { leaves, parts: null };
  }
  const folder = await tabDirectory();
  const parts = [];
  for (const r of ranges) {
    const file = await (await folder.getFileHandle(r.name)).getFile();
    parts.push({ name: r.name, from: r.from, to: r.to, file });
  }
  return { leaves, parts };
}

// Feeds the data stream's leaves to the engine, in order, and asks whether they make the tag the
// record holds.
function sealMatches(leaves) {
  if (leaves.length > 0) {
    const ptr = engine.qn_alloc(leaves.length);
    if (ptr === 0) throw new Error('out of memory');
    try {
      memoryBytes().set(leaves, ptr);
      engine.qn_archive_leaves(ptr, leaves.length / LEAF_BYTES);
    } finally {
      engine.qn_free(ptr, leaves.length);
    }
  }
  return engine.qn_archive_seal_matches() === 1;
}

// Whether the leaves of a second reading, from leaf `first` on, are the ones the open checked.
function sameLeaves(again, first) {
  const before = archive.leaves.subarray(first * LEAF_BYTES, first * LEAF_BYTES + again.length);
  if (before.length !== again.length) return false;
  let diff = 0;
  for (let i = 0; i < again.length; i++) diff |= again[i] ^ before[i];
  return diff === 0;
}

// ----- The staged plaintext -----

// Each part holds the plaintext of one range of the data stream. It stays until every file that
// has bytes in it was taken (saved, or handed to a download) once; the files of a part are a run
// of the table, `first` on, and `taken` marks which of them were.
async function addParts(parts) {
  const files = archive.files;
  const idle = [];
  for (const part of parts) {
    let first = 0;
    let lo = 0;
    let hi = files.length;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (files[mid].offset + files[mid].size <= part.from) lo = mid + 1;
      else hi = mid;
    }
    first = lo;
    let end = first;
    while (end < files.length && files[end].offset < part.to) end++;
    part.first = first;
    part.taken = new Uint8Array(Math.max(0, end - first));
    part.left = 0;
    for (let i = first; i < end; i++) {
      if (files[i].size > 0 && overlap(files[i], part) > 0) part.left++;
      else part.taken[i - first] = 1;
    }
    if (part.left === 0) idle.push(part.name);
    else archive.parts.push(part);
  }
  await removeStaged(idle);
}

function overlap(file, part) {
  return Math.max(0, Math.min(file.offset + file.size, part.to) - Math.max(file.offset, part.from));
}

// The file's staged plaintext as one Blob (slices of the parts' files, which the browser reads
// from disk as the Blob is read), or null when some of it is not staged.
function stagedBlob(file) {
  if (archive.parts === null) return null;
  const slices = [];
  let pos = file.offset;
  const end = file.offset + file.size;
  while (pos < end) {
    const part = archive.parts.find((p) => p.from <= pos && pos < p.to);
    if (part === undefined) return null;
    const upTo = Math.min(end, part.to);
    slices.push({ part, blob: part.file.slice(pos - part.from, upTo - part.from) });
    pos = upTo;
  }
  if (slices.length === 1) {
    return { parts: [slices[0].part], blob: slices[0].blob.slice(0, file.size, 'application/octet-stream') };
  }
  return {
    parts: slices.map((x) => x.part),
    blob: new Blob(slices.map((x) => x.blob), { type: 'application/octet-stream' }),
  };
}

// Marks a file taken from the parts it was staged in; returns the parts that are now taken
// whole, which leave the list (their files are removed by the caller, now or after a download).
function takeFrom(index, parts) {
  const done = [];
  for (const part of new Set(parts)) {
    const i = index - part.first;
    if (i < 0 || i >= part.taken.length || part.taken[i]) continue;
    part.taken[i] = 1;
    if (--part.left === 0) {
      done.push(part.name);
      archive.parts = archive.parts.filter((p) => p !== part);
    }
  }
  return done;
}

// ----- Saving -----

// Stored names separate folders with backslashes; the engine takes a slash for one too.
function nameParts(stored) {
  const parts = stored.split(/[\\/]/);
  if (parts.some((p) => p === '' || p === '.' || p === '..')) {
    throw new Error("'" + stored + "' is not a name a file can be saved under.");
  }
  return parts;
}

function shownName(stored) {
  return stored.split('\\').join('/');
}

// A save into a picked folder: files and folders are only made as they are written, and every
// one this save made is removed again if it fails. A file that was there already is written to
// the browser's temporary beside it and only replaced at commit(), once all went well.
function folderSave(root) {
  const made = []; // {folder, name} of what this save created, in order
  const held = []; // streams of files that were there before, closed at commit
  const folders = new Map(); // path → handle
  const child = async (folder, name, kind) => {
    const get = kind === 'file' ? (o) => folder.getFileHandle(name, o) : (o) => folder.getDirectoryHandle(name, o);
    try {
      return { handle: await get({}), existed: true };
    } catch (e) {
      if (e.name !== 'NotFoundError') throw e;
    }
    const handle = await get({ create: true });
    made.push({ folder, name });
    return { handle, existed: false };
  };
  return {
    async open(stored) {
      const parts = nameParts(stored);
      let folder = root;
      let path = '';
      for (const part of parts.slice(0, -1)) {
        path += '\\' + part;
        if (!folders.has(path)) folders.set(path, (await child(folder, part, 'directory')).handle);
        folder = folders.get(path);
      }
      const { handle, existed } = await child(folder, parts[parts.length - 1], 'file');
      const stream = await handle.createWritable({ keepExistingData: false });
      let open = true;
      return {
        write: (bytes) => stream.write(bytes),
        finish: async () => {
          if (!open) return;
          open = false;
          if (existed) held.push(stream);
          else await stream.close();
        },
        abort: async () => {
          if (open) await stream.abort().catch(() => {});
          open = false;
        },
      };
    },
    async commit() {
      while (held.length > 0) await held.shift().close();
    },
    async undo() {
      for (const stream of held.splice(0)) await stream.abort().catch(() => {});
      for (const { folder, name } of made.splice(0).reverse()) {
        await folder.removeEntry(name, { recursive: true }).catch(() => {});
      }
    },
  };
}

// Where one file goes when the archive is read again (no staging): a stream of the File System
// Access API, or Blob parts to download, which are only offered when all went well.
async function openTarget(target, file, folder) {
  if (target.kind === 'download') {
    // Chunks are large already: each becomes a part of the Blob as it is (the Blob copies it).
    let parts = [];
    return {
      write: async (bytes) => { parts.push(new Blob([bytes])); },
      commit: async () => ({ name: file.name, blob: new Blob(parts, { type: 'application/octet-stream' }) }),
      abort: async () => { parts = []; },
    };
  }
  if (target.kind === 'directory') {
    const t = await folder.open(file.name);
    return { ...t, commit: async () => { await t.finish(); return null; } };
  }
  const stream = await target.handle.createWritable({ keepExistingData: false });
  return {
    write: (bytes) => stream.write(bytes),
    commit: async () => { await stream.close(); return null; },
    abort: () => stream.abort().catch(() => {}),
  };
}

// Words for a failure the browser gives in its own terms ("network error" for a file it can no
// longer read, among others).
function plainFailure(e, what) {
  const message = String(e && e.message ? e.message : e);
  if (message === CHANGED || message === UNREADABLE) return new Error(message);
  if (e && (e.name === 'NotReadableError' || e.name === 'NotFoundError') && what === 'archive') {
    return new Error(UNREADABLE);
  }
  if (e && e.name === 'QuotaExceededError') return new Error('The disk is full: nothing was saved.');
  return new Error((what !== 'archive' ? "'" + shownName(what) + "' could not be saved: " : '') +
    message.replace(/\.?$/, '.') + ' Nothing was saved.');
}

async function save(m) {
  if (archive === null) throw new Error('no archive is open');
  const chosen = Array.from(m.indexes, (i) => ({ ...archive.files[i], index: i })).sort((a, b) => a.offset - b.offset);
  const first = chosen[0];
  const last = chosen[chosen.length - 1];
  const staged = () => chosen.every((f) => f.size === 0 || stagedBlob(f) !== null);
  if (!staged() && archive.stages && archive.leaves !== null) {
    // What was staged went to earlier saves: the archive is read again for these files, and
    // each leaf must be the one the open checked.
    const lo = Math.floor(first.offset / LEAF_SPAN) * LEAF_SPAN;
    const hi = Math.min(archive.dataSize, Math.ceil((last.offset + last.size) / LEAF_SPAN) * LEAF_SPAN);
    if (hi > lo) {
      postMessage({ op: 'status', text: 'Reading the archive again…' });
      const pass = await readPass(lo, hi, true);
      if (!sameLeaves(pass.leaves, lo / LEAF_SPAN)) {
        if (pass.parts !== null) await removeStaged(pass.parts.map((p) => p.name));
        throw new Error(CHANGED);
      }
      if (pass.parts !== null) {
        if (archive.parts === null) archive.parts = [];
        await addParts(pass.parts);
      }
    }
  }
  if (staged()) return saveStaged(m, chosen);
  return saveRead(m, chosen);
}

// Saves what the open staged: the very bytes it checked.
async function saveStaged(m, chosen) {
  const downloads = [];
  const taken = [];
  const picked = m.target.kind === 'directory' ? folderSave(m.target.handle) : null;
  let file = null;
  try {
    let done = 0;
    const total = chosen.reduce((sum, f) => sum + f.size, 0);
    for (const f of chosen) {
      file = f;
      const staged = f.size > 0 ? stagedBlob(f) : { parts: [], blob: new Blob([], { type: 'application/octet-stream' }) };
      if (m.target.kind === 'download') {
        downloads.push({ name: f.name, blob: staged.blob });
      } else if (picked !== null) {
        const t = await picked.open(f.name);
        try {
          await t.write(staged.blob);
          await t.finish();
        } catch (e) {
          await t.abort();
          throw e;
        }
      } else {
        const stream = await m.target.handle.createWritable({ keepExistingData: false });
        try {
          await stream.write(staged.blob);
        } catch (e) {
          await stream.abort().catch(() => {});
          throw e;
        }
        await stream.close();
      }
      taken.push([f.index, staged.parts]);
      done += f.size;
      postMessage({ op: 'progress', percent: Math.floor((100 * done) / Math.max(1, total)) });
    }
    file = null;
    if (picked !== null) await picked.commit();
  } catch (e) {
    if (picked !== null) await picked.undo();
    throw plainFailure(e, file !== null ? file.name : 'archive');
  }
  const released = taken.flatMap(([index, parts]) => takeFrom(index, parts));
  postMessage({ op: 'saved', count: chosen.length, downloads });
  if (m.target.kind === 'download') releaseLater(released);
  else await removeStaged(released);
}

// Saves by reading the archive again, where nothing is staged (no private file system, or it
// was full): every chunk is hashed, and its leaves must be the ones the open checked before any
// of its bytes go anywhere; a change refuses the save before anything is committed.
async function saveRead(m, chosen) {
  const targets = new Array(chosen.length).fill(null);
  const downloads = [];
  const picked = m.target.kind === 'directory' ? folderSave(m.target.handle) : null;
  const first = chosen[0];
  const last = chosen[chosen.length - 1];
  const from = Math.floor(first.offset / LEAF_SPAN) * LEAF_SPAN;
  const to = Math.min(archive.dataSize, Math.ceil((last.offset + last.size) / LEAF_SPAN) * LEAF_SPAN);
  let next = 0; // the first chosen file not yet finished
  let done = 0;
  let shown = -1;

  // Opens the chosen files that start at or before `position`, and finishes those that end there.
  const finishUpTo = async (position) => {
    while (next < chosen.length && chosen[next].offset + chosen[next].size <= position) {
      if (targets[next] === null) targets[next] = await openTarget(m.target, chosen[next], picked);
      if (targets[next].finish !== undefined) await targets[next].finish();
      next++;
    }
  };
  // A chunk's leaves, checked against the open's, then its plaintext. Chunks are asked for in
  // order, so `position` is where each starts.
  let position = from;
  const checked = async (stream, length) => {
    const at = position;
    position += length;
    const { bytes, before } = await stream.take(length);
    const leaves = await leavesOf(bytes);
    if (!sameLeaves(leaves, at / LEAF_SPAN)) throw new Error(CHANGED);
    return decipherChunk(bytes, before);
  };
  try {
    if (to > from) {
      await eachChunk(from, to, checked, async (plain, pos) => {
        const end = pos + plain.length;
        for (let i = next; i < chosen.length && chosen[i].offset < end; i++) {
          const f = chosen[i];
          const a = Math.max(f.offset, pos);
          const b = Math.min(f.offset + f.size, end);
          if (b <= a) continue;
          if (targets[i] === null) targets[i] = await openTarget(m.target, f, picked);
          await targets[i].write(plain.subarray(a - pos, b - pos));
        }
        await finishUpTo(end);
        done += plain.length;
        const percent = Math.floor((100 * done) / Math.max(1, to - from));
        if (percent !== shown) {
          shown = percent;
          postMessage({ op: 'progress', percent });
        }
      });
    }
    // Empty files at the end, or a choice of nothing but empty files.
    for (let i = 0; i < chosen.length; i++) {
      if (targets[i] === null) targets[i] = await openTarget(m.target, chosen[i], picked);
    }
    for (const t of targets) {
      const download = await t.commit();
      if (download !== null) downloads.push(download);
    }
    if (picked !== null) await picked.commit();
  } catch (e) {
    for (const t of targets) if (t !== null) await t.abort();
    if (picked !== null) await picked.undo();
    throw plainFailure(e, 'archive');
  }
  postMessage({ op: 'saved', count: chosen.length, downloads });
}

// The leaves of a chunk of ciphertext that starts a leaf span: the browser's SHA-256 where it has
// one, else the module's on a cipher worker.
async function leavesOf(cipherText) {
  const count = Math.ceil(cipherText.length / LEAF_SPAN);
  if (!subtleHash) {
    const copy = cipherText.slice();
    const reply = await poolRun({ op: 'leaves', data: copy.buffer, length: copy.length }, [copy.buffer]);
    return new Uint8Array(reply.leaves);
  }
  const digests = [];
  for (let at = 0; at < cipherText.length; at += LEAF_SPAN) {
    digests.push(crypto.subtle.digest('SHA-256', cipherText.subarray(at, at + LEAF_SPAN)));
  }
  const leaves = new Uint8Array(count * LEAF_BYTES);
  (await Promise.all(digests)).forEach((d, i) => leaves.set(new Uint8Array(d), i * LEAF_BYTES));
  return leaves;
}

// ----- Making an archive -----

const CODE_PAGE_REFUSAL = 'This password has characters the archive\'s key cannot hold (the classic key is ' +
  'made from Windows-1252 bytes): choose one without them, or untick the classic key.';

async function make(m) {
  named.clear();
  sinks.clear();
  staging = await openStaging();
  let made = false;
  const names = m.files.map((f) => f.name);
  m.files.forEach((f) => named.set(f.name, f.file));
  const list = names.join('\0') + '\0';
  try {
    if (m.classicKey && !passwordFits(m.password)) {
      postMessage({ op: 'made', result: -2, message: CODE_PAGE_REFUSAL });
      return;
    }
    const problem = withText(list, (ptr) => engine.qn_names_check(ptr, names.length));
    if (problem !== 0) {
      postMessage({
        op: 'made', result: -1, problem,
        name: names[engine.qn_names_index()], other: names[engine.qn_names_other()],
      });
      return;
    }
    const stub = m.stub !== null ? new Uint8Array(m.stub) : new Uint8Array(0);
    const result = withText(list, (listPtr) => withText(m.output, (outputPtr) =>
      withText(m.password, (passwordPtr) => withBytes(stub, (stubPtr) =>
        engine.qn_make(listPtr, names.length, outputPtr, passwordPtr, stubPtr, stub.length,
          m.classicKey ? 1 : 0)))));
    const sink = sinks.get(m.output);
    if (result !== 0 || sink === undefined || !sink.finished) {
      // The programs' own words, and which file, as sfxtool create says it.
      const failed = engine.qn_make_failed_name();
      const reason = result === 2 && failed < names.length
        ? " '" + names[failed] + "' could not be read." : result === 2
          ? ' A file could not be read whole.' : '';
      postMessage({ op: 'made', result: result || 3, message: engineText(engine.qn_text(106)) + reason });
      return;
    }
    const blob = await sinkBlob(sink);
    made = true;
    postMessage({ op: 'made', result: 0, name: m.output, blob, size: sink.size });
  } finally {
    await closeStaging(made);
    named.clear();
    sinks.clear();
    handles.clear();
  }
}

// ----- Jobs -----

function rate(password) {
  return withText(password, (ptr) => engine.qn_rate(ptr));
}

// Whether the key, made from the password's code-page bytes, is made from what was typed.
function passwordFits(password) {
  return withText(password, (ptr) => engine.qn_password_fits(ptr)) === 1;
}

async function run(m) {
  switch (m.op) {
    case 'start': return start(m);
    case 'rate': return postMessage({
      op: 'rated', seq: m.seq, score: rate(m.password), fits: passwordFits(m.password),
    });
    case 'open': return openArchive(m);
    case 'save': return save(m);
    case 'make': return make(m);
    case 'close': return closeArchive();
    default: throw new Error('unknown job ' + m.op);
  }
}

// One job at a time, in the order they came.
let queue = Promise.resolve();
self.onmessage = (event) => {
  const m = event.data;
  queue = queue.then(() => run(m)).catch((e) => {
    postMessage({ op: 'failed', job: m.op, message: String(e && e.message ? e.message : e) });
  });
};
