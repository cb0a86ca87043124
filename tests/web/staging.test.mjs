// What the page saves is what it checked, and nothing of it stays behind: Open reads the archive
// once, hashing, deciphering and staging its plaintext in the browser's private file system,
// and every save hands out those staged bytes; an archive changed on disk after Open cannot slip
// in. The staged plaintext goes once it was taken, when the page is left, and when a later page
// start finds a tab that died; never while its own tab lives. Saves into a folder make nothing
// that stays when they fail, and say why in plain words.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import {
  PAGE_URL, createArchive, digest, openArchive, servePage, startBrowser, takeDownloads, tempDir,
  writeTree,
  DOWNLOADS_ONLY, PRIVATE_FOLDER, clearPicked, pickedDigests,
} from './harness.mjs';

const PASSWORD = 'staged horse 9';
const MiB = 1 << 20;
const MARK = 'QUILLON-STAGED-PLAINTEXT-';

// Plaintext no archive, page or browser file holds by chance: the mark and a counter, over and
// over.
function markedBytes(length) {
  const parts = [];
  let size = 0;
  for (let i = 0; size < length; i++) {
    const piece = Buffer.from(MARK + String(i).padStart(8, '0') + '\n');
    parts.push(piece);
    size += piece.length;
  }
  return Buffer.concat(parts).subarray(0, length);
}

// Stored in this order: data.bin starts the data stream, whose first 3 MiB are its bytes.
const CONTENTS = {
  'data.bin': markedBytes(3 * MiB + 11),
  'notes.txt': Buffer.from('notes\n'),
  README: Buffer.from('no extension\n'),
};

let browser;
let server;
let work;
let archive;

before(async () => {
  browser = await startBrowser();
  server = await servePage();
  work = tempDir('staging');
  writeTree(path.join(work, 'src'), CONTENTS);
  archive = path.join(work, 'marked.tvf');
  createArchive(path.join(work, 'src'), Object.keys(CONTENTS), archive, PASSWORD, { plain: true });
});

after(async () => {
  assert.deepEqual(browser.requestsThatLeft(), [], 'no request may leave the page');
  assert.deepEqual(browser.errors, []);
  await browser.close();
  await server.close();
  fs.rmSync(work, { recursive: true, force: true });
});

// A copy of the archive to change on disk later, its time on a whole second so that it can be
// put back exactly.
function copyOf(name) {
  const file = path.join(work, name);
  fs.copyFileSync(archive, file);
  fs.utimesSync(file, 1700000000, 1700000000);
  return file;
}

// Overwrites 16 bytes inside data.bin's ciphertext, the file's size and time as they were: a
// change the browser's own check of a picked file (size and time) does not see.
function tamper(file, at = MiB + 5) {
  const { mtimeMs } = fs.statSync(file);
  assert.equal(mtimeMs % 1000, 0);
  const fd = fs.openSync(file, 'r+');
  fs.writeSync(fd, Buffer.alloc(16, 0xa5), 0, 16, at);
  fs.closeSync(fd);
  fs.utimesSync(file, mtimeMs / 1000, mtimeMs / 1000);
  assert.equal(fs.statSync(file).mtimeMs, mtimeMs);
}

// Waits for the save that a click started (after the picker) to end: saved or failed.
async function saveEnded(page) {
  await page.waitForFunction(() => /^Saved/.test(document.getElementById('status').textContent) ||
    document.getElementById('status').classList.contains('failed'), null, { polling: 100 });
}

async function status(page) {
  return (await page.locator('#status').textContent()).trim();
}

async function saveRow(page, name) {
  await page.locator(`#files tr[data-name="${name}"] button`).first().click();
}

// What the page lists of the private file system: every file under `top`, with its size.
async function privateFiles(page, top) {
  return page.evaluate(async (top) => {
    const out = {};
    const walk = async (dir, prefix) => {
      for await (const [name, handle] of dir.entries()) {
        if (handle.kind === 'directory') {
          out[prefix + name + '\\'] = 'folder';
          await walk(handle, prefix + name + '\\');
        } else {
          out[prefix + name] = (await handle.getFile()).size;
        }
      }
    };
    const root = await navigator.storage.getDirectory();
    try {
      await walk(top === '' ? root : await root.getDirectoryHandle(top), '');
    } catch (e) {
      if (e.name !== 'NotFoundError') throw e;
    }
    return out;
  }, top);
}

// Files of `folder` (recursively) whose bytes hold the mark.
function filesWithMark(folder) {
  const hits = [];
  const mark = Buffer.from(MARK);
  const walk = (dir) => {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
      const full = path.join(dir, entry.name);
      if (entry.isDirectory()) walk(full);
      else if (entry.isFile() && fs.readFileSync(full).includes(mark)) hits.push(full);
    }
  };
  walk(folder);
  return hits;
}

describe('what is saved is what Open checked', () => {
  test('served: the archive changed on disk after Open; the saves still give the checked bytes', async () => {
    const file = copyOf('changed-served.tvf');
    const page = await browser.newPage(server.url, { before: DOWNLOADS_ONLY });
    assert.match(await openArchive(page, file, PASSWORD), /integrity verified/);
    tamper(file);
    await page.click('#save-all');
    const saved = await takeDownloads(page, 3);
    for (const [name, bytes] of Object.entries(CONTENTS)) assert.equal(digest(saved[name]), digest(bytes), name);
    assert.match(await status(page), /^Saved 3 files\.$/);
    // Everything staged was taken: saving again reads the archive once more, finds it is not
    // what was checked, and says so; nothing is offered.
    await saveRow(page, 'data.bin');
    await saveEnded(page);
    assert.match(await status(page), /changed since it was opened/);
    assert.equal(await page.locator('#status').getAttribute('class'), 'failed');
    await page.waitForTimeout(300);
    assert.equal(page.downloads.length, 3);
    await page.close();
  });

  test('from disk (no private file system): the same change refuses the save, nothing offered', async () => {
    const file = copyOf('changed-disk.tvf');
    const page = await browser.newPage(PAGE_URL, { before: DOWNLOADS_ONLY });
    assert.match(await openArchive(page, file, PASSWORD), /integrity verified/);
    tamper(file, 2 * MiB + 100);
    await page.click('#save-all');
    await saveEnded(page);
    assert.match(await status(page), /changed since it was opened.*Nothing was saved/);
    assert.equal(await page.locator('#status').getAttribute('class'), 'failed');
    // What came before the change was whole and checked, but a save is one: nothing of it.
    await page.waitForTimeout(300);
    assert.equal(page.downloads.length, 0);
    await page.close();
  });

  test('not staged (a full private file system): the change refuses a folder save, nothing made', async () => {
    const file = copyOf('changed-unstaged.tvf');
    const page = await browser.newPage(server.url + '#no-staging', { before: PRIVATE_FOLDER });
    await clearPicked(page);
    assert.match(await openArchive(page, file, PASSWORD), /integrity verified/);
    assert.deepEqual(await privateFiles(page, 'quillon-staging').then((f) =>
      Object.keys(f).filter((n) => !n.endsWith('\\'))), [], 'staged anyway');
    // The change sits in data.bin's last leaf span; the saved bytes come from the archive again,
    // and its leaves no longer match the ones Open checked.
    tamper(file, 3 * MiB - 100);
    await page.click('#save-all');
    await saveEnded(page);
    assert.match(await status(page), /changed since it was opened/);
    assert.deepEqual(await pickedDigests(page), {});
    // Unchanged, the same save reads the archive again and saves it whole.
    const whole = copyOf('unchanged-unstaged.tvf');
    assert.match(await openArchive(page, whole, PASSWORD), /integrity verified/);
    await page.click('#save-all');
    await saveEnded(page);
    assert.match(await status(page), /^Saved 3 files\.$/);
    assert.deepEqual(await pickedDigests(page),
      Object.fromEntries(Object.entries(CONTENTS).map(([n, b]) => [n, digest(b)])));
    await clearPicked(page);
    await page.close();
  });

  test('an archive removed after Open: plain words, not the browser\'s "network error"', async () => {
    for (const url of [PAGE_URL, server.url]) {
      const file = copyOf('removed.tvf');
      const page = await browser.newPage(url, { before: DOWNLOADS_ONLY });
      assert.match(await openArchive(page, file, PASSWORD), /verified/);
      if (url === server.url) {
        // The staged copy serves one save of everything; the next save reads the archive again.
        await page.click('#save-all');
        await takeDownloads(page, 3);
      }
      fs.rmSync(file);
      await saveRow(page, 'data.bin');
      await saveEnded(page);
      const said = await status(page);
      assert.match(said, /can no longer be read: it was changed, moved or removed/, url);
      assert.doesNotMatch(said, /network error/i);
      await page.close();
    }
  });
});

describe('nothing is left behind', () => {
  test('saved as downloads, browser closed: the profile holds none of the plaintext', async () => {
    const own = await startBrowser();
    let closed = false;
    try {
      const page = await own.newPage(server.url, { before: DOWNLOADS_ONLY });
      await openArchive(page, archive, PASSWORD);
      await page.click('#save-all');
      const saved = await takeDownloads(page, 3);
      assert.ok(saved['data.bin'].equals(CONTENTS['data.bin']));
      // The search finds the plaintext where the browser keeps it while the page holds it.
      assert.ok(filesWithMark(own.profile).length > 0, 'the search cannot see the staged plaintext');
      // The tab is closed, then the browser, right after the downloads arrived.
      await page.close({ runBeforeUnload: false });
      await own.context.close();
      closed = true;
      assert.deepEqual(filesWithMark(own.profile), []);
    } finally {
      if (!closed) await own.context.close();
      fs.rmSync(own.profile, { recursive: true, force: true });
    }
  });

  test('opening another archive, and leaving the page, remove what was staged', async () => {
    const page = await browser.newPage(server.url, { before: DOWNLOADS_ONLY });
    await openArchive(page, archive, PASSWORD);
    const tab = Object.keys(await privateFiles(page, 'quillon-staging')).find((n) => n.endsWith('\\'));
    assert.ok(tab, 'no staging folder');
    const partsOf = async () => Object.keys(await privateFiles(page, 'quillon-staging'))
      .filter((n) => n.startsWith(tab) && n !== tab);
    const first = await partsOf();
    assert.ok(first.length > 0);
    await openArchive(page, archive, PASSWORD);
    const second = await partsOf();
    assert.ok(second.length > 0 && second.every((n) => !first.includes(n)), second.join());
    // Left for another page of the same browser: the staged plaintext goes with the page.
    await page.goto('about:blank');
    const other = await browser.newPage(server.url);
    const left = Object.keys(await privateFiles(other, 'quillon-staging')).filter((n) => n.startsWith(tab));
    assert.deepEqual(left, []);
    await other.close();
    await page.close();
  });

  test('a later page start removes what a dead tab staged, never what a live tab staged', async () => {
    const live = await browser.newPage(server.url, { before: DOWNLOADS_ONLY });
    await openArchive(live, archive, PASSWORD);
    // A tab that died: its folder is there, nobody holds its lock.
    await live.evaluate(async (mark) => {
      const all = await (await navigator.storage.getDirectory()).getDirectoryHandle('quillon-staging');
      const dead = await all.getDirectoryHandle('tab-dead0000', { create: true });
      const w = await (await dead.getFileHandle('part-1', { create: true })).createWritable();
      await w.write(mark);
      await w.close();
    }, MARK);
    const before = await privateFiles(live, 'quillon-staging');
    assert.equal(before['tab-dead0000\\part-1'], MARK.length);
    const later = await browser.newPage(server.url);
    const after = await privateFiles(later, 'quillon-staging');
    assert.equal(after['tab-dead0000\\'], undefined, 'the dead tab\'s staging is still there');
    for (const [name, size] of Object.entries(before)) {
      if (!name.startsWith('tab-dead0000')) assert.equal(after[name], size, `${name} of the live tab was touched`);
    }
    // The live tab saves from what it staged.
    await live.click('#save-all');
    const saved = await takeDownloads(live, 3);
    assert.ok(saved['data.bin'].equals(CONTENTS['data.bin']));
    await later.close();
    await live.close();
  });
});

describe('saving right', () => {
  test('downloads are application/octet-stream under their own names', async () => {
    const page = await browser.newPage(server.url, { before: DOWNLOADS_ONLY });
    // Every Blob the page makes a URL for from now on: the downloads'.
    await page.evaluate(() => {
      window.typesOffered = [];
      const make = URL.createObjectURL;
      URL.createObjectURL = (blob) => {
        window.typesOffered.push(blob.type);
        return make(blob);
      };
    });
    await openArchive(page, archive, PASSWORD);
    await page.click('#save-all');
    const saved = await takeDownloads(page, 3);
    assert.deepEqual(Object.keys(saved).sort(), ['README', 'data.bin', 'notes.txt']);
    assert.ok(saved.README.equals(CONTENTS.README));
    assert.deepEqual(await page.evaluate(() => window.typesOffered), Array(3).fill('application/octet-stream'));
    await page.close();
  });

  test('a folder save that fails leaves the folder as it was, and says why', async () => {
    const page = await browser.newPage(server.url, { before: PRIVATE_FOLDER });
    await clearPicked(page);
    // README is to be written where a folder stands: the third file fails, after two were
    // written; notes.txt was there before and keeps its bytes.
    await page.evaluate(async () => {
      const picked = await (await navigator.storage.getDirectory()).getDirectoryHandle('picked', { create: true });
      const w = await (await picked.getFileHandle('notes.txt', { create: true })).createWritable();
      await w.write('old notes\n');
      await w.close();
      await picked.getDirectoryHandle('README', { create: true });
    });
    const before = await pickedDigests(page);
    await openArchive(page, archive, PASSWORD);
    await page.click('#save-all');
    await saveEnded(page);
    assert.match(await status(page), /^'README' could not be saved: .*Nothing was saved\.$/);
    assert.equal(await page.locator('#status').getAttribute('class'), 'failed');
    assert.deepEqual(await pickedDigests(page), before);
    assert.deepEqual(Object.keys(await privateFiles(page, 'picked')).sort(), ['README\\', 'notes.txt']);
    await clearPicked(page);
    await page.close();
  });

  test('a stored name with a slash saves into its folder, and downloads under its last part', async () => {
    // An archive without a password or record, its name patched in the clear info block:
    // "sub\deep\x.bin" becomes "sub/deep\x.bin", which the engine reads as the same folders.
    const src = path.join(work, 'slash');
    writeTree(src, { 'sub/deep/x.bin': CONTENTS['notes.txt'], 'top.txt': 'top\n' });
    const file = path.join(work, 'slash.tvf');
    const bytes = createArchive(src, ['sub/deep/x.bin', 'top.txt'], file, '', { plain: true, integrity: false });
    const at = bytes.indexOf(Buffer.from('sub\\deep\\x.bin', 'utf16le'));
    assert.ok(at > 0, 'the stored name is in the clear');
    Buffer.from('sub/deep\\x.bin', 'utf16le').copy(bytes, at);
    fs.writeFileSync(file, bytes);

    const page = await browser.newPage(server.url, { before: PRIVATE_FOLDER });
    await clearPicked(page);
    assert.match(await openArchive(page, file, ''), /^Opened slash\.tvf: 2 files/);
    await page.locator('#accept-unverified').click();
    await page.click('#save-all');
    await saveEnded(page);
    assert.match(await status(page), /^Saved 2 files\.$/);
    assert.deepEqual(await pickedDigests(page), {
      'sub\\deep\\x.bin': digest(CONTENTS['notes.txt']), 'top.txt': digest(Buffer.from('top\n')),
    });
    await clearPicked(page);
    await page.evaluate(() => { window.showSaveFilePicker = undefined; });
    await page.locator('#files tr[data-name="sub/deep\\\\x.bin"] button').first().click();
    const saved = await takeDownloads(page, 1);
    assert.deepEqual(Object.keys(saved), ['x.bin']);
    await page.close();
  });
});
