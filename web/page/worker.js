// The page's worker: it hosts the engine (the WebAssembly module), answers the engine's calls for
// files and progress, and runs one job at a time for the page: rate a password, open an archive
// (checking its integrity record over the whole data stream), save files from it, make an
// archive. Archives and files are Blobs, read as streams a chunk at a time, so memory stays flat
// whatever their size; what is saved goes to the File System Access streams the page hands
// over, or to files of the browser's private file system (else Blobs) the page offers as
// downloads.
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

// A folder of the browser's private file system (throws where there is none), emptied of all
// but the entry `keep`: what an earlier job left there, but for the one whose download may
// still be reading it.
async function privateFolder(name, keep) {
  const root = await self.navigator.storage.getDirectory();
  const folder = await root.getDirectoryHandle(name, { create: true });
  for await (const entry of folder.keys()) {
    if (entry !== keep) await folder.removeEntry(entry, { recursive: true }).catch(() => {});
  }
  return folder;
}

// A file in the browser's private file system for the archive about to be made, so that it goes
// to disk as the engine writes it, in memory that stays flat; null where there is none (a page
// opened from disk has no private file system). When one is made, the one made before it stays,
// since its download may still be reading it; older ones go.
async function openStaging() {
  try {
    const folder = await privateFolder('quillon-made', lastMade);
    const name = 'archive-' + Date.now() + '.part';
    const file = await folder.getFileHandle(name, { create: true });
    const access = await file.createSyncAccessHandle();
    return { folder, name, file, access, taken: false, closed: false };
  } catch (e) {
    return null;
  }
}
let lastMade = null;

async function closeStaging(kept) {
  if (staging === null) return;
  if (!staging.closed) staging.access.close();
  if (kept) lastMade = staging.name;
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
  postMessage({ op: 'ready', webCrypto: !!(self.crypto && self.crypto.subtle) });
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
      poolWaiting.delete(reply.id);
      worker.busy--;
      if (reply.error !== undefined) job.reject(new Error(reply.error));
      else job.resolve(reply);
    };
    pool.push(worker);
  }
  await Promise.all(pool.map((w) => poolRun({ op: 'start', module }, [], w)));
}

// Runs a job on the given worker, or on the least busy one.
function poolRun(message, transfer, worker = null) {
  const w = worker || pool.reduce((a, b) => (b.busy < a.busy ? b : a));
  const id = ++poolJob;
  w.busy++;
  return new Promise((resolve, reject) => {
    poolWaiting.set(id, { resolve, reject });
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
// processor's AES instructions, and one chunk at a time) or the module's (on every cipher
// worker at once). Measured once, on 2 MiB, with the archive's key, each the way the save
// would use it.
let measuredCipher = null;
async function chooseCipher() {
  if (measuredCipher !== null) return measuredCipher;
  const piece = (2 << 20) / pool.length;
  const time = async (run) => {
    await run(); // warm up
    const started = performance.now();
    await run();
    return performance.now() - started;
  };
  const browser = await time(() => decipherWithBrowser(new Uint8Array(2 << 20), keyIv));
  const module = await time(() => Promise.all(pool.map((w) => {
    const data = new Uint8Array(piece);
    return poolRun({ op: 'chunk', data: data.buffer, iv: keyIv.slice().buffer }, [data.buffer], w);
  })));
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
    files,
  };
  const record = engine.qn_archive_integrity();
  let integrity = record === RECORD_OF_LATER_VERSION ? 'later' : 'none';
  try {
    if (record === RECORD_TO_CHECK) {
      postMessage({ op: 'status', text: 'Checking the integrity record…' });
      if (!await checkRecord()) return refuse(CORRUPT);
      integrity = 'verified';
    }
    await keyCiphers(m.cipher);
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
    cipher: !archive.keyed ? 'none' : subtleKey !== null ? 'webcrypto' : 'module',
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
      const { done, value } = await reader.read(new Uint8Array(buffer, filled, length - filled));
      if (done) throw new Error('the archive could not be read');
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

// The next chunk of the data stream, deciphered. Each chunk comes with the ciphertext block
// before it, which is its IV (at the stream's start the password's IV), so chunks do not wait
// for each other: several can be deciphered at once.
async function plainChunk(stream, length) {
  const { bytes, before } = await stream.take(length);
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

// The deciphered data stream from `from` to `to` (both multiples of 16), to onPlain in order.
function eachPlainChunk(from, to, onPlain) {
  return eachChunk(from, to, plainChunk, onPlain);
}

// ----- Checking the integrity record -----

const LEAF_SPAN = 512 << 10; // the record hashes the data stream's ciphertext in chunks this long
const LEAF_BYTES = 32; // each chunk's SHA-256

// The leaves of the next chunk of ciphertext, which starts a record chunk: the browser's
// SHA-256 where it has one (native code, the chunks hashed side by side), else the module's on
// a cipher worker.
async function leavesOf(stream, length) {
  const { bytes: cipherText } = await stream.take(length);
  const count = Math.ceil(cipherText.length / LEAF_SPAN);
  if (!subtleHash) {
    const reply = await poolRun({ op: 'leaves', data: cipherText.buffer, length: cipherText.length },
      [cipherText.buffer]);
    giveBack(reply.data);
    return new Uint8Array(reply.leaves);
  }
  const digests = [];
  for (let at = 0; at < cipherText.length; at += LEAF_SPAN) {
    digests.push(crypto.subtle.digest('SHA-256', cipherText.subarray(at, at + LEAF_SPAN)));
  }
  giveBack(cipherText.buffer); // the browser copied what it hashes as each call was made
  const leaves = new Uint8Array(count * LEAF_BYTES);
  (await Promise.all(digests)).forEach((d, i) => leaves.set(new Uint8Array(d), i * LEAF_BYTES));
  return leaves;
}

// Hashes the whole data stream into the record's tag, chunk by chunk in order, and asks the
// engine whether the tag matches the one stored. Nothing of the archive has been shown or saved
// before this says yes.
async function checkRecord() {
  const size = archive.dataSize;
  const room = (CHUNK / LEAF_SPAN) * LEAF_BYTES;
  const ptr = engine.qn_alloc(room);
  if (ptr === 0) throw new Error('out of memory');
  let shown = -1;
  try {
    await eachChunk(0, size, leavesOf, (leaves, pos) => {
      memoryBytes().set(leaves, ptr);
      engine.qn_archive_leaves(ptr, leaves.length / LEAF_BYTES);
      const percent = Math.min(100, Math.floor((100 * (pos + CHUNK)) / Math.max(1, size)));
      if (percent !== shown) {
        shown = percent;
        postMessage({ op: 'progress', percent });
      }
    });
  } finally {
    engine.qn_free(ptr, room);
  }
  return engine.qn_archive_seal_matches() === 1;
}

// ----- Saving -----

// Where one file goes: a stream of the File System Access API, or a Blob to download. Nothing
// of a file becomes visible before commit(): a stream writes to a temporary the browser moves
// into place when it closes, and downloads are only offered when all went well.
async function openTarget(target, file, staged) {
  if (target.kind === 'download' && staged !== null) {
    // Written to disk as it comes, through a file of the browser's private file system.
    const handle = await staged.folder.getFileHandle('file-' + staged.files++, { create: true });
    const access = await handle.createSyncAccessHandle();
    let size = 0;
    let open = true;
    // A file's handle is let go as soon as the file is whole, so a save of many files does not
    // hold as many open.
    const finish = async () => {
      if (!open) return;
      open = false;
      access.flush();
      access.close();
    };
    return {
      write: async (bytes) => {
        if (access.write(bytes, { at: size }) !== bytes.length) throw new Error('the file could not be written');
        size += bytes.length;
      },
      finish,
      commit: async () => {
        await finish();
        return { name: file.name, blob: await handle.getFile() };
      },
      abort: async () => { if (open) { open = false; access.close(); } },
    };
  }
  if (target.kind === 'download') {
    // Chunks are large already: each becomes a part of the Blob as it is (the Blob copies it).
    let parts = [];
    return {
      write: async (bytes) => { parts.push(new Blob([bytes])); },
      commit: async () => ({ name: file.name, blob: new Blob(parts, { type: 'application/octet-stream' }) }),
      abort: async () => { parts = []; },
    };
  }
  let handle = target.handle;
  if (target.kind === 'directory') {
    const parts = file.name.split('\\');
    let folder = target.handle;
    for (const part of parts.slice(0, -1)) {
      folder = await folder.getDirectoryHandle(part, { create: true });
    }
    handle = await folder.getFileHandle(parts[parts.length - 1], { create: true });
  }
  const stream = await handle.createWritable({ keepExistingData: false });
  return {
    write: (bytes) => stream.write(bytes),
    commit: async () => { await stream.close(); return null; },
    abort: () => stream.abort().catch(() => {}),
  };
}

// Where the files of a save offered as downloads are written, where the page has a private file
// system (served pages): a folder per save. The folder of the save before stays, since its
// downloads may still be reading it; older ones go. Null without one: the files are then kept
// in Blob parts, which the browser keeps in memory or moves to disk as it sees fit.
let lastSaved = null;
async function openSaveFolder() {
  try {
    const saves = await privateFolder('quillon-saved', lastSaved);
    const name = 'save-' + Date.now();
    const folder = await saves.getDirectoryHandle(name, { create: true });
    return { saves, name, folder, files: 0 };
  } catch (e) {
    return null;
  }
}

async function save(m) {
  if (archive === null) throw new Error('no archive is open');
  const staged = m.target.kind === 'download' ? await openSaveFolder() : null;
  try {
    await saveInto(m, staged);
    if (staged !== null) lastSaved = staged.name;
  } catch (e) {
    if (staged !== null) await staged.saves.removeEntry(staged.name, { recursive: true }).catch(() => {});
    throw e;
  }
}

async function saveInto(m, staged) {
  const chosen = m.indexes.map((i) => archive.files[i]).sort((a, b) => a.offset - b.offset);
  const targets = new Array(chosen.length).fill(null);
  const downloads = [];
  const first = chosen[0];
  const last = chosen[chosen.length - 1];
  const from = Math.floor(first.offset / 16) * 16;
  const to = Math.ceil((last.offset + last.size) / 16) * 16;
  let next = 0; // the first chosen file not yet finished
  let done = 0;
  let shown = -1;

  // Opens the chosen files that start at or before `position`, and commits those that end there.
  const finishUpTo = async (position) => {
    while (next < chosen.length && chosen[next].offset + chosen[next].size <= position) {
      if (targets[next] === null) targets[next] = await openTarget(m.target, chosen[next], staged);
      if (targets[next].finish !== undefined) await targets[next].finish();
      next++;
    }
  };
  try {
    await eachPlainChunk(from, to, async (plain, pos) => {
      const end = pos + plain.length;
      for (let i = next; i < chosen.length && chosen[i].offset < end; i++) {
        const f = chosen[i];
        const a = Math.max(f.offset, pos);
        const b = Math.min(f.offset + f.size, end);
        if (b <= a) continue;
        if (targets[i] === null) targets[i] = await openTarget(m.target, f, staged);
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
    // Empty files at the end, or a choice of nothing but empty files.
    for (let i = 0; i < chosen.length; i++) {
      if (targets[i] === null) targets[i] = await openTarget(m.target, chosen[i], staged);
    }
    for (const t of targets) {
      const download = await t.commit();
      if (download !== null) downloads.push(download);
    }
  } catch (e) {
    for (const t of targets) if (t !== null) await t.abort();
    throw e;
  }
  postMessage({ op: 'saved', count: chosen.length, downloads });
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
