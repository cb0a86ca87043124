// Opening archives made by sfxtool in the page: every kind (.tvf, .exe, signed .exe, with and
// without a password), every saved byte compared, saved as downloads and through the File System
// Access API; and the archives that must be refused, with the system's texts and nothing saved.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import {
  ROOT, SFXTOOL, createArchive, digest, integrityShown, listedFiles, openArchive, patternBytes,
  servePage, sfxtool, startBrowser, takeDownloads, tempDir, writeTree,
  DOWNLOADS_ONLY, PRIVATE_FOLDER, clearPicked, pickedDigests,
} from './harness.mjs';

const WRONG_PASSWORD = 'The password you entered is incorrect!';
const CORRUPT = 'File is corrupt and cannot be decrypted!';
const PASSWORD = 'correct horse 7';
const VERIFIED = 'Integrity: verified';
const VERIFIED_KEYLESS = 'Integrity: verified (no password: damage is caught, tampering is not)';
const NO_RECORD = 'Integrity: not verified (no integrity record)';
const LATER_RECORD = 'Integrity: not verified (integrity record of a later version)';

// Stored name (backslashes) → contents. Sizes straddle the worker's 8 MiB chunks and sit at
// offsets that are not multiples of 16, so saving one file starts mid-block.
const MiB = 1 << 20;
const CONTENTS = {
  'notes.txt': Buffer.from('Hello from the archive.\n'),
  'empty.bin': Buffer.alloc(0),
  'Ünïcödé — ファイル €.txt': Buffer.from('non-ASCII name, Windows-1252 and beyond\n'),
  'sub\\deep\\data.bin': patternBytes(100003, 7),
  'sub\\zero.txt': Buffer.alloc(0),
};
const LARGE = {
  'big1.bin': patternBytes(9 * MiB + 5, 11),
  'tiny.bin': Buffer.from('abc'),
  'big2.bin': patternBytes(8 * MiB - 3, 12),
  'end-empty.bin': Buffer.alloc(0),
};

function baseName(stored) {
  return stored.split('\\').pop();
}

function onDisk(name) {
  return name.split('\\').join(path.sep);
}

function expectedList(contents) {
  return Object.entries(contents).map(([name, bytes]) => ({ name, size: bytes.length }));
}

let browser;
let work;
const archives = {};

before(async () => {
  browser = await startBrowser();
  work = tempDir('open');
  const src = path.join(work, 'src');
  writeTree(src, Object.fromEntries(Object.entries({ ...CONTENTS, ...LARGE })
    .map(([n, b]) => [onDisk(n), b])));
  // Listed one by one, so the stored order is the order of CONTENTS.
  const names = Object.keys(CONTENTS).map(onDisk);
  archives.tvf = createArchive(src, names, path.join(work, 'plain.tvf'), PASSWORD, { plain: true });
  archives.exe = createArchive(src, names, path.join(work, 'selfx.exe'), PASSWORD);
  archives.keylessTvf = createArchive(src, names, path.join(work, 'open.tvf'), '', { plain: true });
  archives.keylessExe = createArchive(src, names, path.join(work, 'open.exe'), '');
  archives.large = createArchive(src, Object.keys(LARGE), path.join(work, 'large.tvf'), PASSWORD,
    { plain: true });
  archives.classicKey = createArchive(src, names, path.join(work, 'classic-key.tvf'), PASSWORD,
    { plain: true, classicKey: true });
  archives.classic = createArchive(src, names, path.join(work, 'classic.exe'), PASSWORD,
    { integrity: false });
  archives.keylessClassic = createArchive(src, names, path.join(work, 'classic.tvf'), '',
    { plain: true, integrity: false });
});

after(async () => {
  assert.deepEqual(browser.requestsThatLeft(), [], 'no request may leave the page');
  assert.deepEqual(browser.errors, []);
  await browser.close();
  fs.rmSync(work, { recursive: true, force: true });
});

describe('archives made by sfxtool open and save byte for byte', () => {
  const kinds = [
    ['a .tvf with a password', 'tvf', 'plain.tvf', PASSWORD],
    ['a .tvf with the classic key', 'classicKey', 'classic-key.tvf', PASSWORD],
    ['a self-extracting .exe with a password', 'exe', 'selfx.exe', PASSWORD],
    ['a .tvf without a password', 'keylessTvf', 'open.tvf', ''],
    ['a self-extracting .exe without a password', 'keylessExe', 'open.exe', ''],
  ];
  for (const [what, key, file, password] of kinds) {
    test(what + ': list, then save all as downloads', async () => {
      const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
      const status = await openArchive(page, path.join(work, file), password);
      assert.match(status, /^Opened .*: 5 files, .*; integrity verified/);
      assert.equal(await integrityShown(page), password === '' ? VERIFIED_KEYLESS : VERIFIED);
      assert.deepEqual(await listedFiles(page), expectedList(CONTENTS));
      await page.click('#save-all');
      const saved = await takeDownloads(page, 5);
      assert.deepEqual(Object.keys(saved).sort(), Object.keys(CONTENTS).map(baseName).sort());
      for (const [name, bytes] of Object.entries(CONTENTS)) {
        assert.ok(saved[baseName(name)].equals(bytes), `${name} differs`);
      }
      await page.close();
    });
  }

  test('a hardened key: the status line says it is being derived', async () => {
    const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
    await page.evaluate(() => {
      window.statusSeen = [];
      const status = document.getElementById('status');
      new MutationObserver(() => window.statusSeen.push(status.textContent))
        .observe(status, { childList: true, characterData: true, subtree: true });
    });
    assert.match(await openArchive(page, path.join(work, 'selfx.exe'), PASSWORD), /^Opened /);
    const seen = await page.evaluate(() => window.statusSeen);
    assert.ok(seen.includes('Deriving the key from the password...'), seen.join(' | '));
    await page.close();
  });

  test('one file saved on its own, from the middle of a block', async () => {
    const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
    await openArchive(page, path.join(work, 'selfx.exe'), PASSWORD);
    const row = page.locator('#files tr[data-name="sub\\\\deep\\\\data.bin"]');
    await row.locator('button').first().click();
    const saved = await takeDownloads(page, 1);
    assert.ok(saved['data.bin'].equals(CONTENTS['sub\\deep\\data.bin']));
    await page.close();
  });

  test('files larger than a chunk, through the browser cipher, the module cipher, the faster', async () => {
    // The module's cipher goes with the module's hash: the record is checked both ways.
    for (const url of [browserPageUrl('#browser-cipher'), browserPageUrl('#module-cipher#module-hash'), undefined]) {
      const page = await browser.newPage(url, { before: DOWNLOADS_ONLY });
      await openArchive(page, path.join(work, 'large.tvf'), PASSWORD);
      assert.equal(await integrityShown(page), VERIFIED);
      assert.deepEqual(await listedFiles(page), expectedList(LARGE));
      await page.click('#save-all');
      const saved = await takeDownloads(page, 4);
      for (const [name, bytes] of Object.entries(LARGE)) assert.equal(digest(saved[name]), digest(bytes));
      // The file that starts inside a chunk's last block, and the one that spans a chunk end.
      for (const name of ['tiny.bin', 'big2.bin']) {
        await page.locator(`#files tr[data-name="${name}"] button`).first().click();
      }
      const single = await takeDownloads(page, 2, 4);
      assert.ok(single['tiny.bin'].equals(LARGE['tiny.bin']));
      assert.equal(digest(single['big2.bin']), digest(LARGE['big2.bin']));
      await page.close();
    }
  });

  test('save all into a picked folder, folders made as stored; one file to a picked file', async () => {
    // The private file system needs a web origin: the page comes from a local server here.
    const server = await servePage();
    const page = await browser.newPage(server.url, { before: PRIVATE_FOLDER });
    await clearPicked(page);
    await openArchive(page, path.join(work, 'plain.tvf'), PASSWORD);
    await page.click('#save-all');
    await page.waitForFunction(() => /^Saved 5 files/.test(document.getElementById('status').textContent), null, { polling: 100 });
    const expected = Object.fromEntries(Object.entries(CONTENTS).map(([n, b]) => [n, digest(b)]));
    assert.deepEqual(await pickedDigests(page), expected);

    await clearPicked(page);
    await page.locator('#files tr[data-name="notes.txt"] button').first().click();
    await page.waitForFunction(() => /^Saved notes\.txt/.test(document.getElementById('status').textContent), null, { polling: 100 });
    assert.deepEqual(await pickedDigests(page), { 'notes.txt': digest(CONTENTS['notes.txt']) });
    assert.equal(page.downloads.length, 0);
    await page.close();
    await server.close();
  });
});

describe('signed self-extracting archives open as the extractor opens them', () => {
  // The fixtures the signing tests use: throwaway certificate, osslsigncode, fresh each run.
  const CONTENT = ['a.txt', 'sub\\noise.bin', 'empty'];
  let fixtures;
  before(() => {
    fixtures = path.join(work, 'signed');
    const made = spawnSync('bash', [path.join(ROOT, 'tests/tool/make-signed-fixtures.sh'), fixtures,
      path.join(ROOT, 'build/win32/bin/sfxstub.exe'), SFXTOOL]);
    assert.equal(made.status, 0, String(made.stderr));
  });

  for (const name of ['signed.exe', 'signed-twice.exe', 'signed-odd.exe', 'resigned-odd.exe']) {
    test(name, async () => {
      const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
      assert.match(await openArchive(page, path.join(fixtures, name), 'fixture pass'), /^Opened .*: 3 files/);
      // The signature comes after the payload and is no part of what the record covers.
      assert.equal(await integrityShown(page), VERIFIED);
      assert.deepEqual((await listedFiles(page)).map((f) => f.name), CONTENT);
      await page.click('#save-all');
      const saved = await takeDownloads(page, 3);
      for (const stored of CONTENT) {
        const onDiskName = path.join(fixtures, 'content', ...stored.split('\\'));
        assert.ok(saved[baseName(stored)].equals(fs.readFileSync(onDiskName)), stored);
      }
      await page.close();
    });
  }

  test('a wrong password for a signed archive', async () => {
    const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
    assert.equal(await openArchive(page, path.join(fixtures, 'signed-odd.exe'), 'nope'), WRONG_PASSWORD);
    await page.close();
  });
});

describe('the integrity record is checked before anything is shown', () => {
  // A copy of an archive with the bits of `mask` flipped at `at`; returns its path.
  function flipped(name, from, at, mask = 0x01) {
    const bytes = Buffer.from(archives[from]);
    bytes[at] ^= mask;
    const file = path.join(work, name);
    fs.writeFileSync(file, bytes);
    return file;
  }

  async function refusedAsCorrupt(file, password, url = undefined) {
    const page = await browser.newPage(url, { before: DOWNLOADS_ONLY });
    assert.equal(await openArchive(page, file, password), CORRUPT);
    assert.equal(await page.locator('#status').getAttribute('class'), 'failed');
    assert.equal(await page.locator('#opened').isHidden(), true);
    assert.deepEqual(await listedFiles(page), []);
    // Nothing to save from: the worker holds no open archive.
    assert.equal(await page.locator('#files button').count(), 0);
    await page.waitForTimeout(200);
    assert.equal(page.downloads.length, 0);
    await page.close();
  }

  test('archives without the record open, not verified, and save only once the warning is accepted', async () => {
    for (const [file, password] of [['classic.exe', PASSWORD], ['classic.tvf', '']]) {
      const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
      const status = await openArchive(page, path.join(work, file), password);
      assert.match(status, /; integrity not verified \(no integrity record\)\.$/);
      assert.equal(await integrityShown(page), NO_RECORD);
      // Listed, but nothing can be saved before the user has read why and accepted it.
      const warning = page.locator('#unverified');
      assert.ok(await warning.isVisible(), 'no warning');
      assert.match(await warning.textContent(), /cannot be checked for changes.*no integrity record/s);
      const save = page.locator('#files tr[data-name="sub\\\\deep\\\\data.bin"] button').first();
      assert.equal(await save.isVisible(), false, 'Save shown before the warning was accepted');
      assert.equal(await page.locator('#save-all').isVisible(), false);
      await page.locator('#accept-unverified').click();
      assert.equal(await warning.isVisible(), false);
      assert.ok(await page.locator('#save-all').isVisible());
      await save.click();
      const saved = await takeDownloads(page, 1);
      assert.ok(saved['data.bin'].equals(CONTENTS['sub\\deep\\data.bin']));
      await page.close();
    }
  });

  test('one flipped bit in the data stream: refused, with a password and without', async () => {
    // A .tvf has no extractor in front: its data stream starts the file.
    await refusedAsCorrupt(flipped('flip-start.tvf', 'tvf', 0, 0x80), PASSWORD);
    await refusedAsCorrupt(flipped('flip-keyless.tvf', 'keylessTvf', 150), '');
    // Inside the large archive's second read chunk, and in its last record chunk, the 16 bytes
    // after 17 MiB (its files hold 17 MiB and 5 bytes); the second with the module's hash
    // instead of the browser's.
    await refusedAsCorrupt(flipped('flip-large.tvf', 'large', 5 * MiB + 3), PASSWORD);
    await refusedAsCorrupt(flipped('flip-large-end.tvf', 'large', 17 * MiB + 2, 0x10), PASSWORD,
      browserPageUrl('#module-hash'));
  });

  test('a flipped bit in an .exe\'s data stream, behind the extractor', async () => {
    const at = archives.exe.length - 1024; // in the data stream: the info block and trailer are short
    await refusedAsCorrupt(flipped('flip.exe', 'exe', at, 0x04), PASSWORD);
  });

  test('a record of a later version opens, not verified, as sfxtool has it', async () => {
    // Without a password the trailer is in the clear: its first byte announces the record's
    // version.
    const bytes = Buffer.from(archives.keylessTvf);
    assert.equal(bytes[bytes.length - 32], 3, 'the record (with times and folders) is not announced');
    bytes[bytes.length - 32] = 4;
    const file = path.join(work, 'later.tvf');
    fs.writeFileSync(file, bytes);
    assert.equal(sfxtool(['test', '--no-password', file]).status, 6);
    const checked = sfxtool(['test', '--allow-unverified', '--no-password', file]);
    assert.match(String(checked.stdout), /not verified \(integrity record of a later version\)/);
    const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
    assert.match(await openArchive(page, file, ''), /^Opened later\.tvf: 5 files/);
    assert.equal(await integrityShown(page), LATER_RECORD);
    assert.match(await page.locator('#unverified').textContent(), /later version/);
    assert.equal(await page.locator('#save-all').isVisible(), false);
    await page.close();
  });

  test('a verified archive shows no warning and saves at once', async () => {
    const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
    await openArchive(page, path.join(work, 'plain.tvf'), PASSWORD);
    assert.equal(await integrityShown(page), VERIFIED);
    assert.equal(await page.locator('#unverified').isVisible(), false);
    assert.ok(await page.locator('#save-all').isVisible());
    await page.close();
  });
});

function browserPageUrl(hash) {
  return new URL(hash, 'file://' + path.resolve(process.env.QUILLON_PAGE || 'build/web/quillon.html')).href;
}

describe('archives that must be refused show the system text and save nothing', () => {
  // A copy of an archive with one change; returns its path.
  function variant(name, from, change) {
    const bytes = Buffer.from(archives[from]);
    const changed = change(bytes);
    const file = path.join(work, name);
    fs.writeFileSync(file, changed);
    return file;
  }

  // Opens, checks the status text, and that no list shows and nothing downloads.
  async function refused(file, password, text) {
    const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
    assert.equal(await openArchive(page, file, password), text);
    assert.equal(await page.locator('#status').getAttribute('class'), 'failed');
    assert.equal(await page.locator('#opened').isHidden(), true);
    assert.deepEqual(await listedFiles(page), []);
    await page.waitForTimeout(200);
    assert.equal(page.downloads.length, 0);
    await page.close();
  }

  test('a wrong password, and a password for an archive made without one', async () => {
    await refused(path.join(work, 'selfx.exe'), 'not the password', WRONG_PASSWORD);
    await refused(path.join(work, 'open.tvf'), 'a password', WRONG_PASSWORD);
  });

  test('no password for an archive that has one', async () => {
    await refused(path.join(work, 'plain.tvf'), '', WRONG_PASSWORD);
  });

  test('a damaged archive: one byte inserted before the trailer', async () => {
    const file = variant('inserted.tvf', 'tvf', (b) =>
      Buffer.concat([b.subarray(0, 100), Buffer.from([0x55]), b.subarray(100)]));
    await refused(file, PASSWORD, CORRUPT);
  });

  test('not an archive at all', async () => {
    const file = path.join(work, 'short.bin');
    fs.writeFileSync(file, Buffer.alloc(48, 1));
    await refused(file, PASSWORD, CORRUPT);
  });

  test('two stored names that are one file on Windows', async () => {
    // "notes.txt" and "empty.bin" become "NOTES.txt" and "notes.txt": the same file there.
    const file = variant('clash.tvf', 'keylessTvf', (b) => {
      const at = b.indexOf(Buffer.from('empty.bin', 'utf16le'));
      const first = b.indexOf(Buffer.from('notes.txt', 'utf16le'));
      assert.ok(at > 0 && first > 0);
      Buffer.from('NOTES.txt', 'utf16le').copy(b, at);
      return b;
    });
    await refused(file, '', CORRUPT);
  });

  test('stored names Windows cannot hold, in an archive without the record', async () => {
    // "notes.txt" becomes a name of the same length with a character no Windows file name has,
    // in an archive whose names nothing vouches for: it is refused as damaged, not listed.
    for (const odd of ['note?.txt', 'note*.txt', 'note<.txt', 'note>.txt', 'note|.txt', 'note".txt']) {
      const file = variant('odd-name.tvf', 'keylessClassic', (b) => {
        const at = b.indexOf(Buffer.from('notes.txt', 'utf16le'));
        assert.ok(at > 0, 'the stored name is in the clear');
        Buffer.from(odd, 'utf16le').copy(b, at);
        return b;
      });
      await refused(file, '', CORRUPT);
    }
  });

  test('a hostile stored name that leads out of the folder', async () => {
    // "sub\deep\data.bin" becomes "..\..\evil_data1" (as long) in the clear info block of an
    // archive made without a password; the sizes and everything else stay as they were.
    const file = variant('hostile.tvf', 'keylessTvf', (b) => {
      const from = Buffer.from('sub\\deep\\data.bin', 'utf16le');
      const at = b.indexOf(from);
      assert.ok(at > 0, 'the stored name is in the clear');
      Buffer.from('..\\..\\evil_data1', 'utf16le').copy(b, at);
      return b;
    });
    await refused(file, '', CORRUPT);
  });
});
