// The open archive's list and the list of files to make an archive of: any length without
// stalling the page or filling the memory, the keyboard and screen readers still at home in it,
// and names shown as they are, invisible characters and all.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import {
  forgeArchive, listedFiles, openArchive, renderedFiles, startBrowser, tempDir,
  watchRendererMemory, DOWNLOADS_ONLY,
} from './harness.mjs';

const NO_RECORD = 'Integrity: not verified (no integrity record)';
let work;

before(() => { work = tempDir('list'); });
after(() => fs.rmSync(work, { recursive: true, force: true }));

// The name forge_archive.py's "many" stores as entry i.
const manyName = (i) => `d${String(Math.floor(i / 1000)).padStart(3, '0')}\\f${String(i).padStart(6, '0')}.txt`;

// Every longest stretch the page's thread was busy: long tasks as the browser reports them, and
// the longest gap between two turns of a 10 ms timer, from now on.
async function startStallProbe(page) {
  await page.evaluate(() => {
    window.stalls = { longest: 0, longestGap: 0 };
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) window.stalls.longest = Math.max(window.stalls.longest, e.duration);
    }).observe({ type: 'longtask' });
    let last = performance.now();
    setInterval(() => {
      const now = performance.now();
      window.stalls.longestGap = Math.max(window.stalls.longestGap, now - last);
      last = now;
    }, 10);
  });
}

// The rows the table holds, and whether each lies inside the scroller's view.
async function rowsInView(page) {
  return page.evaluate(() => {
    const box = document.getElementById('files-scroll').getBoundingClientRect();
    const head = document.querySelector('#files thead').getBoundingClientRect();
    return [...document.querySelectorAll('#files tr[data-name]')].map((r) => {
      const b = r.getBoundingClientRect();
      return { rowIndex: Number(r.getAttribute('aria-rowindex')), inView: b.top >= head.bottom - 1 && b.bottom <= box.bottom + 1 };
    });
  });
}

async function focusedRow(page) {
  return page.evaluate(() => {
    const a = document.activeElement;
    const row = a.closest('tr[data-name]');
    if (row === null) return null;
    const box = document.getElementById('files-scroll').getBoundingClientRect();
    const b = row.getBoundingClientRect();
    return {
      rowIndex: Number(row.getAttribute('aria-rowindex')), label: a.getAttribute('aria-label'),
      inView: b.top >= box.top - 1 && b.bottom <= box.bottom + 1,
    };
  });
}

test('a million files: the page never stalls, stays under a gigabyte, and scrolls to the last', async () => {
  const count = 1000000;
  const file = forgeArchive(path.join(work, 'million.tvf'), 'many', String(count));
  const browser = await startBrowser();
  const memory = watchRendererMemory(browser.profile);
  try {
    const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
    await page.setInputFiles('#archive', file);
    await startStallProbe(page);
    const started = Date.now();
    await page.click('#open');
    await page.waitForFunction(() => /^Opened /.test(document.getElementById('status').textContent) &&
      document.body.dataset.busy === 'no', null, { timeout: 120000, polling: 200 });
    const status = (await page.locator('#status').textContent()).trim();
    assert.equal(status, 'Opened million.tvf: 1000000 files, 0 bytes; integrity not verified (no integrity record).');
    // The table says how long the list is, and holds only a window of it.
    assert.equal(await page.getAttribute('#files', 'aria-rowcount'), String(count + 1));
    let rows = await renderedFiles(page);
    assert.ok(rows.length > 0 && rows.length < 100, `${rows.length} rows in the page`);
    assert.deepEqual(rows.slice(0, 2), [
      { name: manyName(0), shown: 'd000/f000000.txt', label: 'Save d000/f000000.txt', rowIndex: 2 },
      { name: manyName(1), shown: 'd000/f000001.txt', label: 'Save d000/f000001.txt', rowIndex: 3 },
    ]);

    // Scrolled to the end, the last file shows, in its place.
    await page.$eval('#files-scroll', (s) => { s.scrollTop = s.scrollHeight; });
    await page.waitForFunction(() => [...document.querySelectorAll('#files tr[data-name]')].at(-1)
      ?.getAttribute('aria-rowindex') === '1000001', null, { polling: 50 });
    rows = await renderedFiles(page);
    assert.equal(rows.at(-1).name, manyName(count - 1));
    const view = await rowsInView(page);
    assert.ok(view.at(-1).inView, 'the last row in view at the end');
    // Halfway, the rows are those of the middle, and consecutive.
    await page.$eval('#files-scroll', (s) => { s.scrollTop = (s.scrollHeight - s.clientHeight) / 2; });
    await page.waitForTimeout(100);
    rows = await renderedFiles(page);
    const middle = rows.find((r) => r.rowIndex >= 2).rowIndex - 2;
    assert.ok(Math.abs(middle - count / 2) < 1000, `row ${middle} halfway`);
    rows.forEach((r, k) => assert.equal(r.name, manyName(middle + k)));
    const seconds = (Date.now() - started) / 1000;

    const stalls = await page.evaluate(() => window.stalls);
    const peak = memory.stop();
    console.log(`# a million files: shown and scrolled in ${seconds.toFixed(1)} s; longest task ` +
      `${stalls.longest.toFixed(0)} ms, longest timer gap ${stalls.longestGap.toFixed(0)} ms; ` +
      `renderer memory peak ${(peak / 1048576).toFixed(0)} MiB`);
    assert.ok(stalls.longest < 100, `a task of ${stalls.longest} ms`);
    assert.ok(stalls.longestGap < 100, `the page's thread stalled for ${stalls.longestGap} ms`);
    assert.ok(peak < 1024 * 1048576, `renderer memory ${peak}`);

    // The model holds every file, as stored.
    const all = await page.evaluate((n) => window.quillonListedFiles(n - 3), count);
    assert.deepEqual(all, [count - 3, count - 2, count - 1].map((i) => ({ name: manyName(i), size: 0 })));
  } finally {
    memory.stop();
    await browser.close();
  }
});

test('the keyboard moves through a long list, row by row, by pages, to either end', async () => {
  // 3000 rows scroll pixel for pixel; a million scroll in proportion (the list is taller than a
  // browser lays out): both move the same way.
  for (const count of [3000, 1000000]) {
    const file = path.join(work, `keys-${count}.tvf`);
    if (!fs.existsSync(file)) forgeArchive(file, 'many', String(count));
    const browser = await startBrowser();
    try {
      const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
      await openArchive(page, file, '');
      await page.click('#accept-unverified');
      // Shift+Tab from Save all comes into the list; its rows' Save buttons are in the tab order.
      await page.focus('#files tr[aria-rowindex="2"] button');
      assert.deepEqual(await focusedRow(page), { rowIndex: 2, label: 'Save d000/f000000.txt', inView: true });
      await page.keyboard.press('Tab');
      assert.equal((await focusedRow(page)).rowIndex, 3);
      await page.keyboard.press('ArrowDown');
      assert.equal((await focusedRow(page)).rowIndex, 4);
      await page.keyboard.press('ArrowUp');
      await page.keyboard.press('ArrowUp');
      assert.equal((await focusedRow(page)).rowIndex, 2);
      await page.keyboard.press('PageDown');
      const paged = await focusedRow(page);
      assert.ok(paged.rowIndex > 5 && paged.inView, JSON.stringify(paged));
      await page.keyboard.press('End');
      assert.deepEqual(await focusedRow(page),
        { rowIndex: count + 1, label: `Save ${manyName(count - 1).replace('\\', '/')}`, inView: true });
      await page.keyboard.press('PageUp');
      const up = await focusedRow(page);
      assert.ok(up.rowIndex < count + 1 && up.rowIndex > count - 40 && up.inView, JSON.stringify(up));
      await page.keyboard.press('Home');
      assert.deepEqual(await focusedRow(page), { rowIndex: 2, label: 'Save d000/f000000.txt', inView: true });
      // Every row in view can be reached by Tab, in order.
      const inView = (await rowsInView(page)).filter((r) => r.inView).map((r) => r.rowIndex);
      const reached = [2];
      for (let i = 1; i < inView.length; i++) {
        await page.keyboard.press('Tab');
        reached.push((await focusedRow(page)).rowIndex);
      }
      assert.deepEqual(reached, inView);
      // Enter on a focused row's Save saves that file.
      await page.keyboard.press('End');
      await page.keyboard.press('Enter');
      await page.waitForFunction(() => /^Saved /.test(document.getElementById('status').textContent), null, { polling: 100 });
      assert.equal((await page.locator('#status').textContent()).trim(), `Saved ${manyName(count - 1).replace('\\', '/')}.`);
      assert.equal((await focusedRow(page)).rowIndex, count + 1, 'the focus stays on the row saved');
    } finally {
      await browser.close();
    }
  }
});

test('names show their invisible characters as <U+XXXX>, isolated from the text around them', async () => {
  // Every range of the rule by its first and last character, a lone surrogate of each half, and
  // characters just beside the ranges, which show as themselves.
  const hidden = [0xAD, 0x600, 0x605, 0x61C, 0x6DD, 0x70F, 0x890, 0x891, 0x8E2, 0x180E, 0x200B,
    0x200F, 0x202A, 0x202E, 0x2060, 0x2064, 0x2066, 0x206F, 0xFEFF, 0xFFF9, 0xFFFB, 0x110BD,
    0x110CD, 0x13430, 0x1343F, 0x1BCA0, 0x1BCA3, 0x1D173, 0x1D17A, 0xE0001, 0xE0020, 0xE007F,
    0x2028, 0x2029, 0x7F, 0x9F];
  const shown = [0xAC, 0xA0, 0x606, 0x200A, 0x2010, 0x2065, 0xFFFC, 0x1D17B, 0xE0080, 0xE9, 0x1F600];
  const hex = (c) => c.toString(16).toUpperCase().padStart(4, '0');
  const names = [
    'Invoice_2024\u202Efdp.exe',
    'x' + hidden.slice(0, 18).map((c) => String.fromCodePoint(c)).join('x') + 'x',
    'y' + hidden.slice(18).map((c) => String.fromCodePoint(c)).join('y') + 'y',
    'lone\uD800high\uDC00low.txt',
    'seen\\' + shown.map((c) => String.fromCodePoint(c)).join('') + '.txt',
  ];
  const expected = [
    'Invoice_2024<U+202E>fdp.exe',
    'x' + hidden.slice(0, 18).map((c) => `<U+${hex(c)}>`).join('x') + 'x',
    'y' + hidden.slice(18).map((c) => `<U+${hex(c)}>`).join('y') + 'y',
    'lone<U+D800>high<U+DC00>low.txt',
    'seen/' + shown.map((c) => String.fromCodePoint(c)).join('') + '.txt',
  ];
  const file = forgeArchive(path.join(work, 'names.tvf'), 'json', JSON.stringify(names));
  const browser = await startBrowser();
  try {
    const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
    await openArchive(page, file, '');
    const rows = await renderedFiles(page);
    assert.deepEqual(rows.map((r) => r.shown), expected);
    assert.deepEqual(rows.map((r) => r.label), expected.map((n) => 'Save ' + n));
    assert.deepEqual((await listedFiles(page)).map((f) => f.name), names);
    // The name is isolated: what follows it in the row is not drawn into its direction.
    assert.equal(await page.$eval('#files tr[data-name] td.name bdi',
      (b) => getComputedStyle(b).unicodeBidi), 'isolate');
    // The status lines name it the same way.
    await page.click('#accept-unverified');
    await page.locator('#files tr[data-name] button').first().click();
    await page.waitForFunction(() => /^Saved /.test(document.getElementById('status').textContent), null, { polling: 100 });
    assert.equal((await page.locator('#status').textContent()).trim(), 'Saved Invoice_2024<U+202E>fdp.exe.');

    // The Make view's list too.
    await page.click('#tab-make');
    await page.setInputFiles('#add-files', [{ name: 'Invoice_2024\u202Efdp.exe', mimeType: 'application/octet-stream', buffer: Buffer.from('x') }]);
    assert.equal(await page.$eval('#make-list li[data-name] bdi', (b) => b.textContent), 'Invoice_2024<U+202E>fdp.exe');
  } finally {
    await browser.close();
  }
});

test('a hundred thousand files to make an archive of stay a short list in the page', async () => {
  const browser = await startBrowser();
  try {
    const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
    await page.click('#tab-make');
    // Added as the folder picker's change handler adds them: a hundred thousand files at once.
    const took = await page.evaluate(() => {
      const files = [];
      for (let i = 0; i < 100000; i++) files.push(new File([], `file${String(i).padStart(6, '0')}.txt`));
      const started = performance.now();
      addFiles(files, false); // the page's own, as the picker's change handler calls it
      document.getElementById('make-list').getBoundingClientRect(); // and laid out
      return performance.now() - started;
    });
    assert.ok(took < 1000, `adding took the page's thread ${took} ms`);
    const items = await page.$$eval('#make-list li[data-name]', (l) => l.map((i) => [i.getAttribute('aria-posinset'), i.getAttribute('aria-setsize')]));
    assert.ok(items.length > 0 && items.length < 100, `${items.length} items in the page`);
    assert.deepEqual(items[0], ['1', '100000']);
    await page.$eval('#make-scroll', (s) => { s.scrollTop = s.scrollHeight; });
    await page.waitForTimeout(100);
    const last = await page.$$eval('#make-list li[data-name]', (l) => l.at(-1).dataset.name);
    assert.equal(last, 'file099999.txt');
    assert.equal(await page.inputValue('#archive-name'), 'file000000.exe');
  } finally {
    await browser.close();
  }
});

test('not verified reads as a warning; the result of a save shows by the button that asked', async () => {
  const file = forgeArchive(path.join(work, 'forty.tvf'), 'many', '40');
  const browser = await startBrowser();
  try {
    const page = await browser.newPage(undefined, { before: DOWNLOADS_ONLY });
    await page.setViewportSize({ width: 1000, height: 700 });
    await openArchive(page, file, '');
    assert.equal((await page.locator('#integrity').textContent()).trim(), NO_RECORD);
    const line = await page.$eval('#integrity', (i) => {
      const p = i.parentElement;
      const style = getComputedStyle(p);
      const panel = getComputedStyle(document.getElementById('view-open')).backgroundColor;
      return { text: p.textContent, boxed: style.backgroundColor !== panel && style.borderLeftWidth !== '0px' };
    });
    assert.match(line.text, /^⚠Warning: Integrity: not verified/);
    assert.ok(line.boxed, 'not verified is set apart as a warning');

    await page.click('#accept-unverified');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'save-all');
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => /^Saved 40 files/.test(document.getElementById('status').textContent), null, { polling: 100 });
    const placed = await page.evaluate(() => {
      const status = document.getElementById('status').getBoundingClientRect();
      const button = document.getElementById('save-all').getBoundingClientRect();
      return { gap: status.top - button.bottom, inView: status.bottom <= innerHeight && status.top >= 0, focus: document.activeElement.id };
    });
    assert.ok(placed.gap >= 0 && placed.gap < 80, `the result ${placed.gap} px below Save all`);
    assert.ok(placed.inView, 'the result in view');
    assert.equal(placed.focus, 'save-all', 'the focus back on Save all');
  } finally {
    await browser.close();
  }
});
