// A cipher worker: the page's main worker hands it chunks of an archive's data stream to
// decipher, one at a time, and gets the bytes back in the same buffer; or, where the browser
// cannot hash, chunks of ciphertext to hash into the integrity record's leaves; or, when an
// archive is opened, a whole range of the data stream to read, hash, decipher and stage in the
// browser's private file system in one pass (stage()). It runs its own copy of the engine's
// module, keyed from the 48 key and IV bytes the main worker derived, and the browser's AES
// keyed the same; there are as many of these workers as the machine has cores.
'use strict';

let engine = null;
let subtleKey = null; // the browser's AES key, where it has Web Crypto
let keyIv = null; // the IV the password derived: the chain's start
let block = 0; // the module's buffer for one chunk
let blockBytes = 0;
let scratch = 0; // 64 bytes: the key and IV, then the IV of a chunk

// The module needs every call it imports, though this worker uses none of them.
const unused = () => -1;
const imports = {
  quillon: new Proxy({}, { get: () => unused }),
};

function bytes() {
  return new Uint8Array(engine.memory.buffer);
}

function room(n) {
  if (n <= blockBytes) return;
  if (block !== 0) engine.qn_free(block, blockBytes);
  block = engine.qn_alloc(n);
  blockBytes = block !== 0 ? n : 0;
  if (block === 0) throw new Error('out of memory');
}

// m.data: a buffer whose first m.length bytes (all of it without a length) are the chunk; m.iv:
// the 16 bytes it is chained from (the ciphertext block before it, or at the stream's start the
// password's IV). The chunk comes back deciphered in place.
function decipher(m) {
  const data = new Uint8Array(m.data, 0, m.length ?? m.data.byteLength);
  room(data.length);
  bytes().set(data, block);
  bytes().set(new Uint8Array(m.iv), scratch);
  engine.qn_cipher_decrypt(scratch, block, data.length / 16);
  data.set(bytes().subarray(block, block + data.length));
}

const LEAF_SPAN = 512 << 10;
const LEAF_BYTES = 32;

// m.data: a buffer whose first m.length bytes are ciphertext that starts a record chunk; its
// leaves, one per LEAF_SPAN bytes. The buffer goes back with them, for the next chunk.
function leaves(m) {
  const data = new Uint8Array(m.data, 0, m.length);
  const out = new Uint8Array(Math.ceil(data.length / LEAF_SPAN) * LEAF_BYTES);
  hashLeaves(data, out, 0, 'module');
  return out.buffer;
}

// ----- One pass over a range of the data stream -----

const CHUNK = 4 << 20; // bytes read and worked on at a time: whole leaf spans
const PADDING_BLOCK = new Uint8Array(16).fill(16);

// m: blob (the archive), dataOffset, from and to (the range of the data stream, from a leaf span
// boundary), keyed, cipher ('webcrypto' or 'module'), hash ('browser' or 'module'), and stage:
// the path of the folder in the private file system and the name of the file the range's
// plaintext goes to, or null to hash only. Reads the range once, as a stream, and for each chunk
// hashes the ciphertext into its leaves and deciphers it into the staged file. Where the file
// cannot be written (no private file system, or it is full), the pass goes on hashing: the
// leaves are what the archive is checked by. Replies with the leaves, in order, and whether
// the plaintext is staged whole.
async function stage(m) {
  let access = null;
  if (m.stage !== null) {
    try {
      let folder = await navigator.storage.getDirectory();
      for (const name of m.stage.folder) folder = await folder.getDirectoryHandle(name, { create: true });
      const file = await folder.getFileHandle(m.stage.name, { create: true });
      access = await file.createSyncAccessHandle();
      access.truncate(0);
    } catch (e) {
      access = null;
    }
  }
  const length = m.to - m.from;
  const leafCount = Math.ceil(length / LEAF_SPAN);
  const leafBytes = new Uint8Array(leafCount * LEAF_BYTES);
  const reader = m.blob.slice(m.dataOffset + m.from - (m.from >= 16 ? 16 : 0), m.dataOffset + m.to)
    .stream().getReader({ mode: 'byob' });
  // Fills `length` bytes of a buffer (16 spare bytes after them, for the padding block).
  const exactly = async (buffer, count) => {
    let filled = 0;
    while (filled < count) {
      const { done, value } = await reader.read(new Uint8Array(buffer, filled, count - filled));
      if (done) throw new Error('unreadable');
      buffer = value.buffer;
      filled += value.byteLength;
    }
    return buffer;
  };
  const buffers = [new ArrayBuffer(CHUNK + 16), new ArrayBuffer(CHUNK + 16)];
  try {
    let iv = m.from >= 16 ? new Uint8Array(await exactly(new ArrayBuffer(16), 16)) : keyIv;
    let pos = 0;
    let reading = exactly(buffers.pop(), Math.min(CHUNK, length));
    while (pos < length) {
      const size = Math.min(CHUNK, length - pos);
      const buffer = await reading;
      // The next chunk is read while this one is hashed and deciphered.
      const nextSize = Math.min(CHUNK, length - pos - size);
      reading = nextSize > 0 ? exactly(buffers.pop(), nextSize) : null;
      const cipherText = new Uint8Array(buffer, 0, size);
      const hashing = hashLeaves(cipherText, leafBytes, pos / LEAF_SPAN, m.hash);
      if (access !== null) {
        let plain;
        try {
          plain = !m.keyed ? cipherText
            : m.cipher === 'webcrypto' && subtleKey !== null ? await decipherWithBrowser(buffer, size, iv)
              : decipherWithModule(cipherText, iv);
          if (access.write(plain, { at: pos }) !== plain.length) throw new Error('short write');
        } catch (e) {
          // The private file system is full or failing: stop staging, keep hashing.
          access.close();
          access = null;
        }
      }
      iv = cipherText.slice(size - 16);
      await hashing;
      buffers.push(buffer);
      pos += size;
      postMessage({ id: m.id, progress: size });
    }
    if (access !== null) {
      access.flush();
      access.close();
    }
    return { leaves: leafBytes.buffer, staged: access !== null };
  } catch (e) {
    if (access !== null) access.close();
    reader.cancel().catch(() => {});
    // What the main worker tells apart: the archive could not be read (changed, moved, removed).
    return { leaves: new ArrayBuffer(0), staged: false, unreadable: true };
  }
}

// Hashes a chunk's leaf spans into `out`, from leaf `first`: the browser's SHA-256 (the calls
// take a copy of what they hash as they are made), or the module's.
function hashLeaves(cipherText, out, first, how) {
  if (how === 'module') {
    const count = Math.ceil(cipherText.length / LEAF_SPAN);
    room(cipherText.length + count * LEAF_BYTES);
    bytes().set(cipherText, block);
    const at = block + cipherText.length;
    for (let i = 0; i < count; i++) {
      const start = i * LEAF_SPAN;
      engine.qn_leaf_of(block + start, Math.min(LEAF_SPAN, cipherText.length - start), at + i * LEAF_BYTES);
    }
    out.set(bytes().subarray(at, at + count * LEAF_BYTES), first * LEAF_BYTES);
    return Promise.resolve();
  }
  const digests = [];
  for (let at = 0; at < cipherText.length; at += LEAF_SPAN) {
    digests.push(crypto.subtle.digest('SHA-256', cipherText.subarray(at, at + LEAF_SPAN)));
  }
  return Promise.all(digests).then((all) =>
    all.forEach((d, i) => out.set(new Uint8Array(d), (first + i) * LEAF_BYTES)));
}

// Deciphers the first `size` bytes of `buffer`, chained from `iv`. The browser's AES-CBC insists
// on PKCS#7 padding, so one block is added in the buffer's spare 16 bytes that deciphers to a
// full padding block: AES of (padding XOR last ciphertext block), the first block the browser's
// own CBC encryption gives for the padding block with that IV.
async function decipherWithBrowser(buffer, size, iv) {
  const last = new Uint8Array(buffer, size - 16, 16);
  const extra = new Uint8Array(
    await crypto.subtle.encrypt({ name: 'AES-CBC', iv: last }, subtleKey, PADDING_BLOCK));
  const whole = new Uint8Array(buffer, 0, size + 16);
  whole.set(extra.subarray(0, 16), size);
  return new Uint8Array(await crypto.subtle.decrypt({ name: 'AES-CBC', iv }, subtleKey, whole));
}

// The module's AES, in its memory: what it gives is a view of that memory, written before the
// module runs again.
function decipherWithModule(cipherText, iv) {
  room(cipherText.length);
  bytes().set(cipherText, block);
  bytes().set(iv, scratch);
  engine.qn_cipher_decrypt(scratch, block, cipherText.length / 16);
  return new Uint8Array(engine.memory.buffer, block, cipherText.length);
}

self.onmessage = async (event) => {
  const m = event.data;
  try {
    switch (m.op) {
      case 'start': {
        const instance = await WebAssembly.instantiate(m.module, imports);
        engine = instance.exports;
        engine._initialize();
        scratch = engine.qn_alloc(64);
        postMessage({ id: m.id });
        return;
      }
      case 'key': {
        const key = new Uint8Array(m.key);
        bytes().set(key, scratch);
        keyIv = key.slice(32, 48);
        subtleKey = self.crypto && self.crypto.subtle
          ? await crypto.subtle.importKey('raw', key.subarray(0, 32), 'AES-CBC', false, ['encrypt', 'decrypt'])
          : null;
        key.fill(0);
        engine.qn_cipher_key(scratch);
        bytes().fill(0, scratch, scratch + 64);
        postMessage({ id: m.id });
        return;
      }
      case 'clear':
        engine.qn_cipher_clear();
        subtleKey = null;
        if (keyIv !== null) keyIv.fill(0);
        keyIv = null;
        if (block !== 0) engine.qn_free(block, blockBytes); // wiped as it is freed
        block = 0;
        blockBytes = 0;
        postMessage({ id: m.id });
        return;
      case 'leaves': {
        const result = leaves(m);
        postMessage({ id: m.id, leaves: result, data: m.data }, [result, m.data]);
        return;
      }
      case 'stage': {
        const result = await stage(m);
        postMessage({ id: m.id, ...result }, [result.leaves]);
        return;
      }
      case 'chunk':
        decipher(m);
        postMessage({ id: m.id, data: m.data }, [m.data]);
        return;
      default:
        throw new Error('unknown job ' + m.op);
    }
  } catch (e) {
    postMessage({ id: m.id, error: String(e && e.message ? e.message : e) });
  }
};
