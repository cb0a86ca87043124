// The page as people read it: every text against its background at 4.5:1 at least, in the light
// and the dark scheme and in each state the page can be in; and on a phone 390 pixels wide,
// nothing cut or wider than the screen, and names broken between words.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import {
  createArchive, forgeArchive, openArchive, startBrowser, tempDir, writeTree,
} from './harness.mjs';

const PASSWORD = 'tr0ub4dor&3';
let work;
let verified;
let unverified;

before(() => {
  work = tempDir('readable');
  writeTree(path.join(work, 'src'), {
    'Quarterly report for the board of directors 2024.pdf': 'report',
    'notes.txt': 'notes\n',
  });
  verified = path.join(work, 'Documents.tvf');
  createArchive(path.join(work, 'src'), ['Quarterly report for the board of directors 2024.pdf', 'notes.txt'],
    verified, PASSWORD);
  unverified = forgeArchive(path.join(work, 'Unchecked.tvf'), 'named',
    'Quarterly report for the board of directors 2024.pdf',
    'AVeryLongNameWithoutAnySpaceInItThatCannotBreakBetweenWordsAtAll_0123456789.txt',
    'photos\\holiday.jpg');
});

after(() => fs.rmSync(work, { recursive: true, force: true }));

// Every visible text of the page, with its colour against what is painted under it (all the
// boxes under the text's middle, blended from the top down until one is opaque), as WCAG
// measures contrast. Disabled controls are exempt, as WCAG has it.
function contrasts() {
  const parse = (c) => {
    let m = /^rgba?\(([\d.]+),? ([\d.]+),? ([\d.]+)(?:,? \/? ?([\d.]+))?\)$/.exec(c);
    if (m) return [+m[1], +m[2], +m[3], m[4] === undefined ? 1 : +m[4]];
    m = /^color\(srgb ([\d.e-]+) ([\d.e-]+) ([\d.e-]+)(?: \/ ([\d.]+))?\)$/.exec(c);
    if (m) return [m[1] * 255, m[2] * 255, m[3] * 255, m[4] === undefined ? 1 : +m[4]];
    throw new Error('colour ' + c);
  };
  const over = (top, under) => {
    const a = top[3];
    return [0, 1, 2].map((i) => top[i] * a + under[i] * (1 - a)).concat(1);
  };
  const luminance = (rgb) => {
    const [r, g, b] = rgb.slice(0, 3).map((v) => {
      const s = v / 255;
      return s <= 0.04045 ? s / 12.92 : ((s + 0.055) / 1.055) ** 2.4;
    });
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
  };
  const out = [];
  const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  for (let node = walker.nextNode(); node !== null; node = walker.nextNode()) {
    const el = node.parentElement;
    if (node.textContent.trim() === '' || el.closest('script, option, .visually-hidden, [aria-hidden="true"]:not(.sign)')) continue;
    if (el.closest('button:disabled, input:disabled, select:disabled')) continue;
    const range = document.createRange();
    range.selectNodeContents(node);
    const rect = range.getBoundingClientRect();
    if (rect.width === 0 || rect.height === 0 || getComputedStyle(el).visibility !== 'visible') continue;
    const x = rect.left + rect.width / 2;
    const y = rect.top + rect.height / 2;
    if (x < 0 || y < 0 || x > innerWidth || y > innerHeight) continue; // under the fold: scrolled to below
    const layers = [];
    for (const under of document.elementsFromPoint(x, y)) {
      const bg = parse(getComputedStyle(under).backgroundColor);
      if (bg[3] === 0) continue;
      layers.push(bg);
      if (bg[3] === 1) break;
    }
    let bg = [255, 255, 255, 1];
    for (const layer of layers.reverse()) bg = over(layer, bg);
    const fg = over(parse(getComputedStyle(el).color), bg);
    const [l1, l2] = [luminance(fg), luminance(bg)].sort((a, b) => b - a);
    out.push({ text: node.textContent.trim().slice(0, 40), where: el.id || el.className || el.tagName, ratio: (l1 + 0.05) / (l2 + 0.05) });
  }
  return out;
}

async function checkContrast(page, state, seen) {
  // The page scrolls so each part of it is measured in view.
  const height = await page.evaluate(() => document.documentElement.scrollHeight);
  for (let y = 0; y < height; y += 500) {
    await page.evaluate((top) => window.scrollTo(0, top), y);
    for (const t of await page.evaluate(contrasts)) {
      seen.add(t.where);
      assert.ok(t.ratio >= 4.5, `${state}: "${t.text}" (${t.where}) at ${t.ratio.toFixed(2)}:1`);
    }
  }
  await page.evaluate(() => window.scrollTo(0, 0));
}

test('every text at 4.5:1 at least, light and dark, in every state', async () => {
  for (const scheme of ['light', 'dark']) {
    const browser = await startBrowser({ scheme });
    const seen = new Set();
    try {
      const page = await browser.newPage();
      await checkContrast(page, `${scheme}, nothing open`, seen);
      await openArchive(page, verified, PASSWORD);
      await checkContrast(page, `${scheme}, verified`, seen);
      await openArchive(page, unverified, '');
      await checkContrast(page, `${scheme}, not verified`, seen);
      await page.click('#accept-unverified');
      await checkContrast(page, `${scheme}, not verified, accepted`, seen);
      await openArchive(page, verified, 'wrong password');
      await checkContrast(page, `${scheme}, refused`, seen);

      await page.click('#tab-make');
      await page.setInputFiles('#add-files', path.join(work, 'src', 'notes.txt'));
      // The quality's percentage at scores from red to green.
      const scores = new Set();
      for (const password of ['a', 'abc', 'password1', 'Tr0ub4dor', 'tr0ub4dor&3x', 'correct horse battery staple 9!']) {
        await page.fill('#new-password', password);
        await page.waitForFunction((p) => document.getElementById('quality').dataset.score !== undefined &&
          document.getElementById('new-password').value === p, password, { polling: 50 });
        await page.waitForTimeout(150);
        scores.add(await page.getAttribute('#quality', 'data-score'));
        await checkContrast(page, `${scheme}, quality ${await page.getAttribute('#quality', 'data-score')}`, seen);
      }
      assert.ok(scores.size >= 4, `scores seen: ${[...scores]}`);
      // The hint a password the classic key cannot hold brings up.
      await page.fill('#new-password', 'пароль');
      await page.check('#classic-key');
      await page.waitForSelector('#code-page-hint', { state: 'visible' });
      await checkContrast(page, `${scheme}, code page hint`, seen);
      for (const part of ['value', 'hint', 'integrity', 'status', 'lead', 'button', 'size', 'TH']) {
        assert.ok([...seen].some((w) => w.includes(part)), `${part} measured (${[...seen]})`);
      }
    } finally {
      await browser.close();
    }
  }
});

// What of the page is cut or sticks out, at the viewport's width.
function overflowing() {
  const out = [];
  for (const el of document.querySelectorAll('body *')) {
    if (el.closest('.visually-hidden, .picker, script') || el.offsetParent === null) continue;
    const rect = el.getBoundingClientRect();
    if (rect.right > innerWidth + 0.5 || rect.left < -0.5) out.push(`${el.tagName}#${el.id}.${el.className} sticks out`);
    // A text field scrolls its text by design; anything else that scrolls sideways is cut.
    if (el.tagName !== 'INPUT' && el.clientWidth > 0 && el.scrollWidth > el.clientWidth + 1) out.push(`${el.tagName}#${el.id}.${el.className} overflows`);
  }
  // A select shows its chosen option cut when the text is wider than the box.
  const canvas = document.createElement('canvas').getContext('2d');
  for (const select of document.querySelectorAll('select')) {
    if (select.offsetParent === null) continue;
    const style = getComputedStyle(select);
    canvas.font = `${style.fontWeight} ${style.fontSize} ${style.fontFamily}`;
    const room = select.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight) - 20;
    for (const option of select.options) {
      if (canvas.measureText(option.text).width > room) out.push(`#${select.id}: "${option.text}" cut`);
    }
  }
  if (document.documentElement.scrollWidth > innerWidth) out.push('the page scrolls sideways');
  return out;
}

test('on a phone 390 pixels wide nothing is cut, and names break between words', async () => {
  const browser = await startBrowser();
  try {
    const page = await browser.newPage();
    await page.setViewportSize({ width: 390, height: 844 });
    await openArchive(page, unverified, '');
    assert.deepEqual(await page.evaluate(overflowing), []);
    await page.click('#accept-unverified');
    assert.deepEqual(await page.evaluate(overflowing), []);
    // Each word of a name stays whole on its line.
    const split = await page.$eval('#files tr[data-name^="Quarterly"] td:nth-child(2)', (cell) => {
      const text = document.createTreeWalker(cell, NodeFilter.SHOW_TEXT).nextNode();
      const b = text.parentElement;
      const words = [];
      for (const m of text.textContent.matchAll(/\S+/g)) {
        const range = document.createRange();
        range.setStart(text, m.index);
        range.setEnd(text, m.index + m[0].length);
        const lines = new Set([...range.getClientRects()].map((r) => Math.round(r.top)));
        if (lines.size > 1) words.push(m[0]);
      }
      return { words, lines: new Set([...(() => { const r = document.createRange(); r.selectNodeContents(b); return r.getClientRects(); })()].map((r) => Math.round(r.top))).size };
    });
    assert.ok(split.lines > 1, 'the name is long enough to wrap at this width');
    assert.deepEqual(split.words, [], 'words broken across lines');
    // A name in a folder breaks after the folder's slash, not inside the file's own name.
    const folder = await page.$eval('#files tr[data-name$="holiday.jpg"] td:nth-child(2)', (cell) => {
      const linesOf = (node) => {
        const range = document.createRange();
        range.selectNodeContents(node);
        return new Set([...range.getClientRects()].map((r) => Math.round(r.top))).size;
      };
      const walker = document.createTreeWalker(cell, NodeFilter.SHOW_TEXT);
      let file = null;
      for (let t = walker.nextNode(); t !== null; t = walker.nextNode()) {
        if (t.textContent.includes('holiday')) file = t;
      }
      return { whole: linesOf(cell), file: file === null ? -1 : linesOf(file) };
    });
    assert.ok(folder.whole > 1, 'the folder name is long enough to wrap at this width');
    assert.equal(folder.file, 1, "the file's own name is split across lines");
    await openArchive(page, verified, PASSWORD);
    assert.deepEqual(await page.evaluate(overflowing), []);
    await page.click('#tab-make');
    await page.setInputFiles('#add-files', path.join(work, 'src', 'Quarterly report for the board of directors 2024.pdf'));
    await page.fill('#new-password', PASSWORD);
    assert.deepEqual(await page.evaluate(overflowing), []);
  } finally {
    await browser.close();
  }
});
