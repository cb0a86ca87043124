// Making archives in the page: byte for byte what sfxtool create writes from the same files in
// the same order (with the classic key, and without the times and empty folders the page's
// writer does not keep), for every kind; sfxtool opens them exactly; the name checks refuse what
// sfxtool refuses; the quality bar shows the score sfxtool rate gives.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import {
  PAGE, ROOT, createArchive, execFileSync, patternBytes, servePage, sfxtool, startBrowser,
  takeDownloads, tempDir, waitIdle, writeTree,
} from './harness.mjs';

const PASSWORD = 'Pässwört-€-2024';

const FILES = {
  'report.txt': Buffer.from('Quarterly figures\n'),
  'empty.dat': Buffer.alloc(0),
  'Ünïcödé ファイル.bin': patternBytes(70001, 3),
  'block.bin': patternBytes(4096, 4),
};
const FOLDER = {
  'photos/b.jpg': patternBytes(20000, 5),
  'photos/A.jpg': patternBytes(33, 6),
  'photos/2024/ä.txt': Buffer.from('inner'),
  'photos/2024/empty': Buffer.alloc(0),
};

let browser;
let work;
let src;

before(async () => {
  browser = await startBrowser();
  work = tempDir('make');
  src = path.join(work, 'src');
  writeTree(src, { ...FILES, ...FOLDER });
});

after(async () => {
  assert.deepEqual(browser.requestsThatLeft(), [], 'no request may leave the page');
  assert.deepEqual(browser.errors, []);
  await browser.close();
  fs.rmSync(work, { recursive: true, force: true });
});

// Fills the make view and presses create: the status text, and the archive if one arrived.
async function makeInPage(page, { files = [], folder = null, password, type, classicKey = true }) {
  await page.locator('#tab-make').click();
  if (files.length > 0) await page.setInputFiles('#add-files', files.map((f) => path.join(src, f)));
  if (folder !== null) await page.setInputFiles('#add-folder', path.join(src, folder));
  if (password === '') {
    await page.check('#no-password');
  } else {
    await page.fill('#new-password', password);
    await page.fill('#confirm-password', password);
    if (classicKey) await page.check('#classic-key');
  }
  await page.selectOption('#type', type);
  const before = page.downloads.length;
  await page.click('#create');
  await waitIdle(page);
  const status = (await page.locator('#status').textContent()).trim();
  if (page.downloads.length === before) return { status, archive: null };
  const [[name, bytes]] = Object.entries(await takeDownloads(page, 1, before));
  return { status, archive: { name, bytes } };
}

// sfxtool extracts the archive; every file must come out as it went in.
function extractsExactly(archive, password, expected) {
  const file = path.join(work, 'check-' + archive.name);
  fs.writeFileSync(file, archive.bytes);
  const out = fs.mkdtempSync(path.join(work, 'out-'));
  const args = ['extract', file, '-d', out];
  args.push(...(password === '' ? ['--no-password'] : ['--password-stdin']));
  const r = sfxtool(args, { input: password === '' ? undefined : password + '\n' });
  assert.equal(r.status, 0, `sfxtool extract: ${r.stderr}`);
  // It carries the integrity record, and the record holds: sfxtool test says verified.
  const tested = sfxtool(['test', file, password === '' ? '--no-password' : '--password-stdin'],
    { input: password === '' ? undefined : password + '\n' });
  assert.equal(tested.status, 0, `sfxtool test: ${tested.stderr}`);
  assert.match(String(tested.stdout), /, verified( \(no password: damage is caught, tampering is not\))?$/m);
  for (const [name, bytes] of Object.entries(expected)) {
    assert.ok(fs.readFileSync(path.join(out, name)).equals(bytes), `${name} differs`);
  }
}

describe('archives made in the page are what sfxtool create makes', () => {
  const names = Object.keys(FILES);
  for (const [type, password] of [['exe', PASSWORD], ['tvf', PASSWORD], ['exe', ''], ['tvf', '']]) {
    test(`.${type} ${password === '' ? 'without' : 'with'} a password, files in a given order`, async () => {
      const page = await browser.newPage();
      const { status, archive } = await makeInPage(page, { files: names, password, type });
      assert.match(status, new RegExp(`^Made report\\.${type} `));
      assert.equal(archive.name, `report.${type}`);
      const reference = createArchive(src, names, path.join(work, `ref.${type}`), password,
        { plain: type === 'tvf', classicKey: true, metadata: false });
      assert.equal(archive.bytes.length, reference.length);
      assert.ok(archive.bytes.equals(reference), 'not the bytes sfxtool writes');
      extractsExactly(archive, password, FILES);
      await page.close();
    });
  }

  test('from a web server, written through the private file system as it is made', async () => {
    const server = await servePage();
    const page = await browser.newPage(server.url);
    const names = Object.keys(FILES);
    for (const type of ['exe', 'tvf', 'tvf']) {
      const { archive } = await makeInPage(page, { files: names, password: PASSWORD, type });
      const reference = createArchive(src, names, path.join(work, `ref-served.${type}`), PASSWORD,
        { plain: type === 'tvf', classicKey: true, metadata: false });
      assert.ok(archive.bytes.equals(reference), `the .${type} is not the bytes sfxtool writes`);
      await page.locator('#clear-files').click();
      await page.uncheck('#no-password');
      await page.uncheck('#classic-key');
    }
    // Each archive was staged in the tab's folder of the private file system, and is removed once
    // its download had time to take it: none of the three stays.
    const staged = () => page.evaluate(async () => {
      const all = await (await navigator.storage.getDirectory()).getDirectoryHandle('quillon-staging');
      const names = [];
      for await (const [tab, folder] of all.entries()) {
        for await (const name of folder.keys()) names.push(tab + '/' + name);
      }
      return names;
    });
    const deadline = Date.now() + 15000;
    while ((await staged()).length > 0 && Date.now() < deadline) await page.waitForTimeout(200);
    assert.deepEqual(await staged(), []);
    await page.close();
    await server.close();
  });

  test('a folder, stored in sorted order under its own name', async () => {
    const page = await browser.newPage();
    const { archive } = await makeInPage(page, { folder: 'photos', password: PASSWORD, type: 'tvf' });
    assert.equal(archive.name, 'photos.tvf');
    const reference = createArchive(src, ['photos'], path.join(work, 'ref-folder.tvf'), PASSWORD,
      { plain: true, classicKey: true, metadata: false });
    assert.ok(archive.bytes.equals(reference), 'not the bytes sfxtool writes');
    extractsExactly(archive, PASSWORD, FOLDER);
    await page.close();
  });
});

describe('the page refuses what sfxtool create refuses', () => {
  // Adds the files (paths under the work folder) and, when given, a folder, then presses create;
  // sfxtool create must refuse the same list.
  async function refusedByBoth(files, folder, text) {
    const page = await browser.newPage();
    await page.locator('#tab-make').click();
    await page.setInputFiles('#add-files', files.map((f) => path.join(work, f)));
    if (folder !== null) await page.setInputFiles('#add-folder', path.join(work, folder));
    await page.fill('#new-password', PASSWORD);
    await page.fill('#confirm-password', PASSWORD);
    await page.click('#create');
    await waitIdle(page);
    assert.match((await page.locator('#status').textContent()).trim(), text);
    await page.waitForTimeout(200);
    assert.equal(page.downloads.length, 0);
    await page.close();
  }

  test('the same file twice would be stored under one name', async () => {
    await refusedByBoth(['src/report.txt', 'src/report.txt'], null,
      /^'report\.txt' and 'report\.txt' would be stored under the same name \(Windows ignores case\)\.$/);
  });

  test('names Windows takes for one file, and a file that would be a folder', async () => {
    writeTree(work, { 'one/Ä.txt': 'a', 'two/ä.txt': 'b', 'three/photos': 'a file' });
    await refusedByBoth(['one/Ä.txt', 'two/ä.txt'], null,
      /^'Ä\.txt' and 'ä\.txt' would be stored under the same name/);
    await refusedByBoth(['three/photos'], 'src/photos',
      /^'photos' and 'photos\\.*' cannot both be stored: one would be a folder of the other\.$/);
    // sfxtool create turns the same lists away.
    const folders = { one: 'Ä.txt', two: 'ä.txt' };
    fs.cpSync(path.join(work, 'one', folders.one), path.join(work, 'three', folders.one));
    fs.cpSync(path.join(work, 'two', folders.two), path.join(work, 'three', folders.two));
    const r = sfxtool(['create', '--plain', '--no-password', '-C', path.join(work, 'three'), '-o',
      path.join(work, 'clash.tvf'), folders.one, folders.two]);
    assert.equal(r.status, 64, String(r.stderr));
    assert.equal(fs.existsSync(path.join(work, 'clash.tvf')), false);
  });

  test('names Windows cannot hold, as sfxtool create refuses them', async () => {
    writeTree(work, { 'odd/what?.txt': 'q', 'odd/a|b': 'p' });
    for (const name of ['what?.txt', 'a|b']) {
      const shown = name.replace(/[?|]/g, '\\$&');
      const text = new RegExp(`^'${shown}' cannot be stored: the name is not one every system can extract\\.$`);
      await refusedByBoth([`odd/${name}`], null, text);
      const r = sfxtool(['create', '--plain', '--no-password', '-C', path.join(work, 'odd'), '-o',
        path.join(work, 'odd.tvf'), name]);
      assert.equal(r.status, 64, String(r.stderr));
      assert.match(String(r.stderr), /the name is not one every system can extract/);
      assert.equal(fs.existsSync(path.join(work, 'odd.tvf')), false);
    }
  });

  // With a right-to-left override "Invoice_2024<U+202E>fdp.exe" reads as "Invoice_2024exe.pdf":
  // the page's name check turns it away (problem 6) before anything is written, as sfxtool
  // create does. The worker's answer is watched beside the page's own handler.
  test('a name holding an invisible formatting character', async () => {
    const name = 'Invoice_2024\u202Efdp.exe';
    writeTree(work, { [`shady/${name}`]: 'not a pdf' });
    const page = await browser.newPage(undefined, {
      before: () => {
        const Base = window.Worker;
        window.Worker = class extends Base {
          constructor(...args) {
            super(...args);
            this.addEventListener('message', (e) => {
              if (e.data && e.data.op === 'made') window.madeAnswer = e.data;
            });
          }
        };
      },
    });
    await page.locator('#tab-make').click();
    await page.setInputFiles('#add-files', [path.join(work, 'shady', name)]);
    await page.fill('#new-password', PASSWORD);
    await page.fill('#confirm-password', PASSWORD);
    await page.click('#create');
    await waitIdle(page);
    const answer = await page.evaluate(() => window.madeAnswer);
    assert.equal(answer.problem, 6, 'refused for the invisible character');
    assert.equal(answer.name, name);
    assert.equal(await page.locator('#status').evaluate((e) => e.classList.contains('failed')), true);
    // The page's words are sfxtool's, and the name is written out, not reversed.
    assert.equal((await page.locator('#status').textContent()).trim(),
      "'Invoice_2024<U+202E>fdp.exe' cannot be stored: the name holds an invisible formatting " +
      'character (U+202E).');
    await page.waitForTimeout(200);
    assert.equal(page.downloads.length, 0);
    await page.close();
    const r = sfxtool(['create', '--plain', '--no-password', '-C', path.join(work, 'shady'), '-o',
      path.join(work, 'shady.tvf'), name]);
    assert.equal(r.status, 64, String(r.stderr));
    assert.equal(String(r.stderr), "sfxtool: 'Invoice_2024<U+202E>fdp.exe' cannot be stored: " +
      'the name holds an invisible formatting character (U+202E)\n');
    assert.equal(fs.existsSync(path.join(work, 'shady.tvf')), false);
  });

  // The page's module gives the page sfxtool's rule and form: each name shown by qn_visible_name
  // exactly as sfxtool list shows it from an archive forged to hold it (older archives may), and
  // refused by the name check with the character named.
  test('the engine shows and refuses such names as sfxtool does', () => {
    const html = fs.readFileSync(PAGE, 'utf8');
    const module = new WebAssembly.Module(
      Buffer.from(/id="engine-wasm">([^<]*)</.exec(html)[1], 'base64'));
    const host = Object.fromEntries(WebAssembly.Module.imports(module).map(({ name }) =>
      [name, () => { throw new Error(`the engine called ${name}`); }]));
    const engine = new WebAssembly.Instance(module, { quillon: host }).exports;
    engine._initialize();
    const withText = (text, fn) => {
      const bytes = 2 * text.length + 2;
      const at = engine.qn_alloc(bytes);
      const units = new Uint16Array(engine.memory.buffer, at, text.length + 1);
      for (let i = 0; i < text.length; i++) units[i] = text.charCodeAt(i);
      units[text.length] = 0;
      try {
        return fn(at);
      } finally {
        engine.qn_free(at, bytes);
      }
    };
    const visible = (name) => withText(name, (at) => {
      const shown = engine.qn_visible_name(at, name.length);
      const units = new Uint16Array(engine.memory.buffer);
      let end = shown / 2;
      while (units[end] !== 0) end++;
      return String.fromCharCode(...units.subarray(shown / 2, end));
    });

    const names = ['plain.txt', 'Invoice_2024\u202Efdp.exe', 'zero\u200Bwidth', 'soft\u00ADhyphen',
      'tag\u{E0041}s', 'lone\uDC80', 'high\uD83D', 'smile\u{1F600}', 'del\u007F', 'nbsp\u00A0',
      'bom\uFEFF', 'line\u2028break'];
    const escaped = names.map((n) => [...Array(n.length).keys()].map((i) => {
      const c = n.charCodeAt(i);
      return c < 0x80 ? n[i] : '\\u' + c.toString(16).padStart(4, '0');
    }).join(''));
    const forged = path.join(work, 'forged.tvf');
    execFileSync('python3', [path.join(ROOT, 'tests/support/forge_archive.py'), 'escaped', forged,
      ...escaped]);
    const listed = sfxtool(['list', forged, '--no-password']);
    assert.equal(listed.status, 0, String(listed.stderr));
    assert.deepEqual(names.map(visible), String(listed.stdout).split('\n').slice(0, -1));
    assert.deepEqual(names.map(visible).slice(0, 7), ['plain.txt', 'Invoice_2024<U+202E>fdp.exe',
      'zero<U+200B>width', 'soft<U+00AD>hyphen', 'tag<U+E0041>s', 'lone<U+DC80>', 'high<U+D83D>']);

    for (const [name, character] of [['Invoice_2024\u202Efdp.exe', 0x202E], ['lone\uDC80', 0xDC80],
      ['tag\u{E0041}', 0xE0041]]) {
      const list = `fine.txt\0${name}\0\0`;
      assert.equal(withText(list, (at) => engine.qn_names_check(at, 2)), 6, name);
      assert.equal(engine.qn_names_index(), 1);
      assert.equal(engine.qn_names_character(), character);
    }
    assert.equal(withText('fine.txt\0smile\u{1F600}\0\0', (at) => engine.qn_names_check(at, 2)), 0);
  });

  test('create waits for a confirmation that matches', async () => {
    const page = await browser.newPage();
    await page.locator('#tab-make').click();
    await page.setInputFiles('#add-files', [path.join(src, 'report.txt')]);
    assert.equal(await page.isDisabled('#create'), true, 'no password yet');
    await page.fill('#new-password', PASSWORD);
    await page.fill('#confirm-password', PASSWORD + 'x');
    assert.equal(await page.isDisabled('#create'), true);
    await page.fill('#confirm-password', PASSWORD);
    assert.equal(await page.isDisabled('#create'), false);
    await page.close();
  });

  test('a password the classic key cannot hold (Cyrillic under Windows-1252) is refused with the reason', async () => {
    const page = await browser.newPage();
    await page.locator('#tab-make').click();
    await page.setInputFiles('#add-files', [path.join(src, 'report.txt')]);
    const cyrillic = '\u0441\u0435\u043a\u0440\u0435\u0442 giraffe';
    await page.fill('#new-password', cyrillic);
    await page.fill('#confirm-password', cyrillic);
    await page.check('#classic-key');
    await page.waitForSelector('#code-page-hint', { state: 'visible' });
    assert.equal(await page.isDisabled('#create'), true);
    // Accented Latin letters are in the code page: taken.
    await page.fill('#new-password', 'caf\u00e9 giraffe');
    await page.fill('#confirm-password', 'caf\u00e9 giraffe');
    await page.waitForSelector('#code-page-hint', { state: 'hidden' });
    assert.equal(await page.isDisabled('#create'), false);
    // A hardened key is made from the characters themselves: without the classic key the same
    // Cyrillic password is taken.
    await page.fill('#new-password', cyrillic);
    await page.fill('#confirm-password', cyrillic);
    await page.waitForSelector('#code-page-hint', { state: 'visible' });
    await page.uncheck('#classic-key');
    await page.waitForSelector('#code-page-hint', { state: 'hidden' });
    assert.equal(await page.isDisabled('#create'), false);
    await page.close();
  });
});

describe('hardened archives, the default of the page', () => {
  test('made with a fresh salt each time, read by sfxtool with the key it names', async () => {
    const page = await browser.newPage();
    const names = Object.keys(FILES);
    const cyrillic = '\u0441\u0435\u043a\u0440\u0435\u0442 giraffe 7';
    const made = [];
    for (const type of ['exe', 'tvf']) {
      const { status, archive } = await makeInPage(page,
        { files: names, password: cyrillic, type, classicKey: false });
      assert.match(status, new RegExp(`^Made report\\.${type} `));
      extractsExactly(archive, cyrillic, FILES);
      const file = path.join(work, 'hardened-' + archive.name);
      fs.writeFileSync(file, archive.bytes);
      const listed = sfxtool(['list', '-v', '--password-stdin', file], { input: cyrillic + '\n' });
      assert.equal(listed.status, 0, listed.stderr);
      assert.match(String(listed.stdout), /^key: Argon2id, 64 MiB, 3 passes, 4 lanes$/m);
      made.push(archive.bytes);
      await page.locator('#clear-files').click();
    }
    // The same files and password again: no 16-byte block of the data in common.
    const { archive: again } = await makeInPage(page,
      { files: names, password: cyrillic, type: 'tvf', classicKey: false });
    const blocks = new Set();
    for (let i = 0; i + 16 <= made[1].length - 64; i += 16) blocks.add(made[1].subarray(i, i + 16).toString('hex'));
    let shared = 0;
    for (let i = 0; i + 16 <= again.bytes.length - 64; i += 16) {
      if (blocks.has(again.bytes.subarray(i, i + 16).toString('hex'))) shared++;
    }
    assert.equal(shared, 0, 'two hardened archives of the same files share cipher blocks');
    await page.close();
  });
});

test('the quality bar shows the score of sfxtool rate', async () => {
  const passwords = ['hello', 'aaaaaa', 'abcdefgh', 'Abcdefgh', 'zombie1', 'abc1de2f3',
    'correct horse battery', 'Pässwört-€-2024', '\u00e9t\u00e9 \u4e2d\u6587 x9!'];
  const rated = sfxtool(['rate'], { input: passwords.join('\n') + '\n' });
  assert.equal(rated.status, 0);
  const expected = rated.stdout.toString('utf8').trim().split('\n').map((l) => Number(l.split('\t')[0]));
  assert.equal(expected.length, passwords.length);
  const page = await browser.newPage();
  await page.locator('#tab-make').click();
  for (let i = 0; i < passwords.length; i++) {
    await page.fill('#new-password', passwords[i]);
    await page.waitForFunction((want) =>
      document.getElementById('quality').dataset.score === String(want), expected[i]);
    const percent = Number(await page.locator('#quality').getAttribute('aria-valuenow'));
    assert.equal(percent, Math.max(0, expected[i]), passwords[i]);
  }
  await page.close();
});
