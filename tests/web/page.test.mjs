// The page as a whole: one file that asks for nothing, from disk or from a web server; the ids
// anyone may drive it by; a label on every field; the keyboard reaches everything; and
// screenshots of both views in the light and the dark scheme, for people to look at.
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import {
  PAGE, ROOT, createArchive, execFileSync, listedFiles, openArchive, servePage, sfxtool,
  startBrowser, takeDownloads, tempDir, waitIdle, writeTree,
} from './harness.mjs';

const SHOTS = process.env.QUILLON_SCREENSHOTS || null;

let work;
let archive;

before(() => {
  work = tempDir('page');
  writeTree(path.join(work, 'src'), {
    'Report 2024.pdf': Buffer.alloc(183211, 7),
    'notes.txt': 'notes\n',
    'photos/holiday.jpg': Buffer.alloc(2450000, 1),
    'photos/empty.txt': '',
  });
  createArchive(path.join(work, 'src'), ['Report 2024.pdf', 'notes.txt', 'photos'],
    path.join(work, 'Documents.exe'), 'tr0ub4dor&3');
  archive = path.join(work, 'Documents.exe');
});

after(() => fs.rmSync(work, { recursive: true, force: true }));

test('one self-contained file: everything inline, connections forbidden', () => {
  const html = fs.readFileSync(PAGE, 'utf8');
  const csp = /<meta http-equiv="Content-Security-Policy" content="([^"]+)">/.exec(html);
  assert.ok(csp, 'a CSP meta tag');
  const rules = Object.fromEntries(csp[1].split(';').map((r) => r.trim().split(/\s+/))
    .map(([name, ...values]) => [name, values.join(' ')]));
  assert.equal(rules['default-src'], "'none'");
  assert.equal(rules['connect-src'], "'none'");
  // Scripts run by hash, never inline at large: the one script the browser runs is named by
  // the SHA-256 of its text as it stands in the page (the other blocks are data).
  const scripts = [...html.matchAll(/<script(\s[^>]*)?>([\s\S]*?)<\/script>/g)];
  const running = scripts.filter(([, attributes]) => !/\stype=/.test(attributes ?? ''));
  assert.equal(running.length, 1, 'one script runs');
  assert.equal(scripts.length - running.length, 4, 'the workers, the module and the extractor are data');
  const hash = createHash('sha256').update(running[0][2], 'utf8').digest('base64');
  assert.equal(rules['script-src'], `'sha256-${hash}' 'wasm-unsafe-eval'`);
  assert.doesNotMatch(rules['script-src'], /unsafe-inline/);
  assert.equal(rules['worker-src'], 'blob:');
  // Nothing is fetched: no src or href attribute names anything outside the page.
  assert.doesNotMatch(html, /\s(src|href)=["'](?!#)/i);
  assert.match(html, /id="engine-wasm">AGFzbQ/, 'the module inline (base64 of "\\0asm")');
  assert.match(html, /id="extractor-exe">TVqQ/, 'the extractor inline (base64 of "MZ")');
});

// What an attacker who got markup into the page would try: a script element and an event
// handler attribute. The policy names the page's own script by its hash, so neither runs (the
// browser reports each as a violation), while the page, its workers and their WebAssembly, which
// the policy still allows, open and make archives as before.
test('scripts injected into the page do not run, and the page still works', async () => {
  const browser = await startBrowser();
  try {
    const page = await browser.newPage();
    const blocked = await page.evaluate(async () => {
      const violations = [];
      document.addEventListener('securitypolicyviolation',
        (e) => violations.push(e.effectiveDirective));
      const script = document.createElement('script');
      script.textContent = 'window.injectedScriptRan = true;';
      document.body.append(script);
      const button = document.createElement('button');
      button.setAttribute('onclick', 'window.injectedHandlerRan = true;');
      document.body.append(button);
      button.click();
      const holder = document.createElement('div');
      holder.innerHTML = '<img src="data:," onerror="window.injectedMarkupRan = true">';
      document.body.append(holder);
      await new Promise((resolve) => setTimeout(resolve, 300));
      return {
        ran: [window.injectedScriptRan, window.injectedHandlerRan, window.injectedMarkupRan],
        violations: violations.sort(),
      };
    });
    assert.deepEqual(blocked.ran, [undefined, undefined, undefined], 'no injected script ran');
    assert.deepEqual(blocked.violations, ['script-src-attr', 'script-src-attr', 'script-src-elem']);

    assert.match(await openArchive(page, archive, 'tr0ub4dor&3'), /^Opened Documents\.exe: 4 files/);
    await page.locator('#tab-make').click();
    await page.setInputFiles('#add-files', path.join(work, 'src', 'notes.txt'));
    await page.fill('#new-password', 'tr0ub4dor&3');
    await page.fill('#confirm-password', 'tr0ub4dor&3');
    await page.selectOption('#type', 'tvf');
    await page.click('#create');
    await waitIdle(page);
    const [[name, bytes]] = Object.entries(await takeDownloads(page, 1));
    const made = path.join(work, name);
    fs.writeFileSync(made, bytes);
    const listed = sfxtool(['list', made, '--password-stdin'], { input: 'tr0ub4dor&3\n' });
    assert.equal(listed.status, 0, String(listed.stderr));
    assert.equal(String(listed.stdout), 'notes.txt\n');
    assert.deepEqual(browser.errors, []);
  } finally {
    await browser.close();
  }
});

test('works from a web server as from disk, and asks it for nothing but the page', async () => {
  const server = await servePage();
  const url = server.url;
  const browser = await startBrowser();
  try {
    const page = await browser.newPage(url);
    assert.match(await openArchive(page, archive, 'tr0ub4dor&3'), /^Opened Documents\.exe: 4 files/);
    assert.deepEqual(browser.requestsThatLeft(), []);
    assert.deepEqual(browser.errors, []);
  } finally {
    await browser.close();
    server.close();
  }
});

test('stable ids, a label on every field, and the keyboard reaches everything', async () => {
  const browser = await startBrowser();
  try {
    const page = await browser.newPage();
    const kinds = await page.evaluate(() => Object.fromEntries(
      ['archive', 'password', 'open', 'status', 'files', 'save-all', 'add-files', 'new-password',
        'confirm-password', 'quality', 'type', 'create']
        .map((id) => [id, document.getElementById(id)?.tagName.toLowerCase() ?? null])));
    assert.deepEqual(kinds, {
      archive: 'input', password: 'input', open: 'button', status: 'p', files: 'table',
      'save-all': 'button', 'add-files': 'input', 'new-password': 'input',
      'confirm-password': 'input', quality: 'div', type: 'select', create: 'button',
    });
    assert.deepEqual(await page.$$eval('#type option', (o) => o.map((x) => x.value)), ['exe', 'tvf']);
    const unlabelled = await page.$$eval('input, select, [role="meter"]', (fields) => fields
      .filter((f) => !(f.labels && f.labels.length > 0) && !f.getAttribute('aria-labelledby') &&
        !f.getAttribute('aria-label'))
      .map((f) => f.id));
    assert.deepEqual(unlabelled, []);

    // Tab from the top: the view tabs, then the open form in order; arrows switch views.
    const order = [];
    for (let i = 0; i < 3; i++) {
      await page.keyboard.press('Tab');
      order.push(await page.evaluate(() => document.activeElement.id));
    }
    assert.deepEqual(order, ['tab-open', 'archive', 'password']);
    await page.focus('#tab-open');
    await page.keyboard.press('ArrowRight');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'tab-make');
    assert.equal(await page.isVisible('#new-password'), true);
    const makeOrder = [];
    for (let i = 0; i < 8; i++) {
      await page.keyboard.press('Tab');
      makeOrder.push(await page.evaluate(() => document.activeElement.id));
    }
    assert.deepEqual(makeOrder,
      ['add-files', 'add-folder', 'clear-files', 'new-password', 'confirm-password', 'no-password', 'classic-key',
        'type']);

    // Opening and saving by keyboard alone.
    await page.focus('#tab-open');
    await page.keyboard.press('Enter');
    await page.setInputFiles('#archive', archive);
    await page.focus('#password');
    await page.keyboard.type('tr0ub4dor&3');
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => document.querySelectorAll('#files tr[data-name]').length === 4, null, { polling: 100 });
    assert.equal((await listedFiles(page)).length, 4);
  } finally {
    await browser.close();
  }
});

test('an archive dropped anywhere on the page is the one to open', async () => {
  const browser = await startBrowser();
  try {
    const page = await browser.newPage();
    await page.locator('#tab-make').click();
    const bytes = fs.readFileSync(archive).toString('base64');
    await page.evaluate((b64) => {
      const raw = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
      const dropped = new DataTransfer();
      dropped.items.add(new File([raw], 'Dropped.exe'));
      for (const type of ['dragover', 'drop']) {
        document.querySelector('footer').dispatchEvent(
          new DragEvent(type, { dataTransfer: dropped, bubbles: true, cancelable: true }));
      }
    }, bytes);
    // The open view comes forward with the archive picked and the password field focused.
    assert.equal(await page.isVisible('#password'), true);
    assert.equal(await page.evaluate(() => document.activeElement.id), 'password');
    await page.keyboard.type('tr0ub4dor&3');
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => /^Opened Dropped\.exe: 4 files/.test(document.getElementById('status').textContent), null, { polling: 100 });
  } finally {
    await browser.close();
  }
});

test('screenshots of both views, light and dark, wide and phone-sized', async () => {
  // Into QUILLON_SCREENSHOTS when given, else a fresh temporary folder (the test says which).
  const shots = SHOTS || tempDir('screenshots');
  fs.mkdirSync(shots, { recursive: true });
  const unchecked = path.join(work, 'Unchecked.tvf');
  execFileSync('python3', [path.join(ROOT, 'tests/support/forge_archive.py'), 'named', unchecked,
    'Quarterly report for the board of directors 2024.pdf', 'notes.txt', 'photos\\holiday.jpg']);
  for (const scheme of ['light', 'dark']) {
    const browser = await startBrowser({ scheme });
    try {
      const page = await browser.newPage();
      for (const width of [1280, 390]) {
        await page.setViewportSize({ width, height: width === 390 ? 844 : 900 });
        await openArchive(page, archive, 'tr0ub4dor&3');
        await page.screenshot({ path: path.join(shots, `open-verified-${width}-${scheme}.png`), fullPage: true });
        await openArchive(page, unchecked, '');
        await page.screenshot({ path: path.join(shots, `open-unverified-${width}-${scheme}.png`), fullPage: true });
        if (scheme === 'light' && width === 1280) {
          // The small picture the README shows (docs/web-page.png is a copy of it).
          await openArchive(page, archive, 'tr0ub4dor&3');
          await page.setViewportSize({ width: 640, height: 900 });
          await page.screenshot({ path: path.join(shots, 'readme.png'), fullPage: true });
          await page.setViewportSize({ width, height: 900 });
        }
        await page.locator('#tab-make').click();
        await page.locator('#clear-files').click();
        await page.setInputFiles('#add-files', [path.join(work, 'src', 'Report 2024.pdf'),
          path.join(work, 'src', 'notes.txt')]);
        await page.fill('#new-password', 'tr0ub4dor&3');
        await page.fill('#confirm-password', 'tr0ub4dor&3');
        await page.waitForFunction(() => document.getElementById('quality').dataset.score !== undefined &&
          document.getElementById('quality').dataset.score !== '0', null, { polling: 100 });
        await page.screenshot({ path: path.join(shots, `make-${width}-${scheme}.png`), fullPage: true });
      }
      const background = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
      // The scheme is followed: a dark background in dark, a light one in light.
      const [r, g, b] = background.match(/\d+/g).map(Number);
      assert.equal(r + g + b < 3 * 128, scheme === 'dark', background);
    } finally {
      await browser.close();
    }
  }
  for (const scheme of ['light', 'dark']) {
    for (const width of [1280, 390]) {
      for (const shot of ['open-verified', 'open-unverified', 'make']) {
        assert.ok(fs.statSync(path.join(shots, `${shot}-${width}-${scheme}.png`)).size > 0);
      }
    }
  }
  console.log(`# screenshots in ${shots}`);
});
