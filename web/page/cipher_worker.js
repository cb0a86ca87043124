// A cipher worker: the page's main worker hands it chunks of an archive's data stream to
// decipher, one at a time, and gets the bytes back in the same buffer; or, where the browser
// cannot hash, chunks of ciphertext to hash into the integrity record's leaves. It runs its own
// copy of the engine's module, keyed from the 48 key and IV bytes the main worker derived;
// there are as many of these workers as the machine has cores.
'use strict';

let engine = null;
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
  const count = Math.ceil(data.length / LEAF_SPAN);
  room(data.length + count * LEAF_BYTES);
  bytes().set(data, block);
  const out = block + data.length;
  for (let i = 0; i < count; i++) {
    const at = i * LEAF_SPAN;
    engine.qn_leaf_of(block + at, Math.min(LEAF_SPAN, data.length - at), out + i * LEAF_BYTES);
  }
  return bytes().slice(out, out + count * LEAF_BYTES).buffer;
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
        key.fill(0);
        engine.qn_cipher_key(scratch);
        bytes().fill(0, scratch, scratch + 64);
        postMessage({ id: m.id });
        return;
      }
      case 'clear':
        engine.qn_cipher_clear();
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
