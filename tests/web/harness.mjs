// What the page tests share: the system's Chromium driven by playwright-core (installed into the
// build folder, so nothing is downloaded while a test runs), a record of every request the page
// makes, sfxtool to make and check archives, and helpers that drive the page by its stable ids.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const here = path.dirname(new URL(import.meta.url).pathname);
export const ROOT = path.resolve(here, '../..');
export const PAGE = process.env.QUILLON_PAGE || path.join(ROOT, 'build/web/quillon.html');
export const SFXTOOL = process.env.QUILLON_SFXTOOL || path.join(ROOT, 'build/native/bin/sfxtool');
const modules = process.env.QUILLON_TEST_MODULES || path.join(ROOT, 'build/web-tests');
const { chromium } = createRequire(path.join(modules, 'package.json'))('playwright-core');

export const PAGE_URL = pathToFileURL(PAGE).href;

export function tempDir(tag) {
  return fs.mkdtempSync(path.join(os.tmpdir(), `quillon-${tag}-`));
}

// ----- The browser -----

// A fresh browser profile per call; `scheme` is 'light' or 'dark'. The returned session records
// every request any page or worker of it makes.
export async function startBrowser({ scheme = 'light' } = {}) {
  const profile = tempDir('profile');
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.QUILLON_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    acceptDownloads: true,
    colorScheme: scheme,
    viewport: { width: 1000, height: 900 },
  });
  const requests = [];
  context.on('request', (r) => requests.push(r.url()));
  const errors = [];
  const pages = new Set(); // the page's own addresses
  return {
    context,
    profile,
    requests,
    errors,
    // Requests that left the page: anything but the page itself and the Blob URLs it makes.
    requestsThatLeft() {
      return requests.filter((u) => !pages.has(u.replace(/#.*$/, '')) && !u.startsWith('blob:'));
    },
    async newPage(url = PAGE_URL, { before } = {}) {
      pages.add(url.replace(/#.*$/, ''));
      const page = await context.newPage();
      page.on('pageerror', (e) => errors.push(e.message));
      if (before) await page.addInitScript(before);
      const downloads = [];
      page.on('download', (d) => downloads.push(d));
      page.downloads = downloads;
      await page.goto(url);
      await page.waitForFunction(() => document.body.dataset.ready === 'yes', null, { polling: 100 });
      return page;
    },
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Serves the page alone from 127.0.0.1, as any static web server would; everything else is 404.
// Some browser features (the private file system among them) exist only for a web origin.
export async function servePage() {
  const server = http.createServer((req, res) => {
    if (req.url !== '/quillon.html') {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, { 'content-type': 'text/html; charset=utf-8' });
    fs.createReadStream(PAGE).pipe(res);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/quillon.html`,
    // The browser may keep a connection open that never carries a request (it opens one ahead);
    // close() alone would wait for the server's request timeout, minutes, before returning.
    close: () => new Promise((resolve) => {
      server.close(resolve);
      server.closeAllConnections();
    }),
  };
}

// ----- Driving the page -----

// Run before the page's own script (newPage's `before`): the pickers taken away, so every save
// arrives as a download.
export const DOWNLOADS_ONLY = () => {
  window.showSaveFilePicker = undefined;
  window.showDirectoryPicker = undefined;
};

// The pickers answered with a folder of the browser's private file system, which the test can
// read back; what stands in for the user's choice of folder or file.
export const PRIVATE_FOLDER = () => {
  const folder = async () =>
    (await navigator.storage.getDirectory()).getDirectoryHandle('picked', { create: true });
  window.showDirectoryPicker = folder;
  window.showSaveFilePicker = async (options) =>
    (await folder()).getFileHandle(options.suggestedName, { create: true });
};

// Every file of the picked folder (PRIVATE_FOLDER's): {path with backslashes: SHA-256 in hex}.
export async function pickedDigests(page) {
  return page.evaluate(async () => {
    const out = {};
    const hex = (buf) => [...new Uint8Array(buf)].map((b) => b.toString(16).padStart(2, '0')).join('');
    const walk = async (dir, prefix) => {
      for await (const [name, handle] of dir.entries()) {
        if (handle.kind === 'directory') await walk(handle, prefix + name + '\\');
        else {
          const bytes = await (await handle.getFile()).arrayBuffer();
          out[prefix + name] = hex(await crypto.subtle.digest('SHA-256', bytes));
        }
      }
    };
    await walk(await (await navigator.storage.getDirectory()).getDirectoryHandle('picked', { create: true }), '');
    return out;
  });
}

export async function clearPicked(page) {
  await page.evaluate(async () => {
    await (await navigator.storage.getDirectory()).removeEntry('picked', { recursive: true }).catch(() => {});
  });
}

export async function openArchive(page, file, password) {
  await page.locator('#tab-open').click();
  await page.setInputFiles('#archive', file);
  await page.fill('#password', password);
  await page.click('#open');
  await waitIdle(page);
  return (await page.locator('#status').textContent()).trim();
}

export async function waitIdle(page) {
  await page.waitForFunction(() => document.body.dataset.busy !== 'yes', null, { timeout: 120000, polling: 100 });
}

// What the integrity indicator of the open archive says.
export async function integrityShown(page) {
  return (await page.locator('#integrity').textContent()).trim();
}

// The whole list of the open archive, as stored. The table holds only the rows in view, so this
// reads the page's model; renderedFiles reads the rows themselves.
export async function listedFiles(page) {
  return page.evaluate(() => window.quillonListedFiles());
}

// The rows the table holds now: the stored name, the name shown, the Save button's label, and
// the row's place in the whole list (1 is the header).
export async function renderedFiles(page) {
  return page.$$eval('#files tr[data-name]', (rows) => rows.map((r) => ({
    name: r.dataset.name,
    shown: r.cells[1].textContent,
    label: r.querySelector('button').getAttribute('aria-label'),
    rowIndex: Number(r.getAttribute('aria-rowindex')),
  })));
}

// Downloads that arrived after `from`, as {name: bytes}, once `count` of them have. They are
// started in order but may be reported in another.
export async function takeDownloads(page, count, from = 0) {
  const deadline = Date.now() + 60000;
  while (page.downloads.length < from + count) {
    if (Date.now() > deadline) {
      throw new Error(`expected ${count} downloads, got ${page.downloads.length - from}`);
    }
    await page.waitForTimeout(50);
  }
  const out = {};
  for (const d of page.downloads.slice(from, from + count)) {
    assert.equal(out[d.suggestedFilename()], undefined, 'one download per name');
    out[d.suggestedFilename()] = fs.readFileSync(await d.path());
  }
  return out;
}

// ----- sfxtool -----

export function sfxtool(args, { input, cwd } = {}) {
  return spawnSync(SFXTOOL, args, { input, cwd, timeout: 120000 });
}

// Makes an archive of `names` (relative to `folder`), with or without a password, and with the
// integrity record unless `integrity` is false.
export function createArchive(folder, names, output, password,
  { plain = false, integrity = true, classicKey = false, metadata = true } = {}) {
  const args = ['create', '-C', folder, '-o', output];
  if (plain) args.push('--plain');
  if (classicKey) args.push('--classic-key');
  if (!metadata) args.push('--no-metadata');
  if (!integrity) args.push('--no-integrity');
  if (password === '') args.push('--no-password');
  else args.push('--password-stdin');
  const r = sfxtool([...args, ...names], { input: password === '' ? undefined : password + '\n' });
  assert.equal(r.status, 0, `sfxtool create failed: ${r.stderr}`);
  return fs.readFileSync(output);
}

// Writes files under `folder`: {relative path: contents}.
export function writeTree(folder, files) {
  for (const [name, contents] of Object.entries(files)) {
    const full = path.join(folder, name);
    fs.mkdirSync(path.dirname(full), { recursive: true });
    fs.writeFileSync(full, contents);
  }
}

export function digest(bytes) {
  return createHash('sha256').update(bytes).digest('hex');
}

// Deterministic pseudo-random bytes, so a failure can be replayed.
export function patternBytes(length, seed) {
  const out = Buffer.alloc(length);
  let x = seed >>> 0 || 1;
  for (let i = 0; i < length; i++) {
    x ^= x << 13; x >>>= 0;
    x ^= x >>> 17;
    x ^= x << 5; x >>>= 0;
    out[i] = x & 255;
  }
  return out;
}

export { execFileSync };

// ----- Measuring the browser -----

// The memory (proportional set size, kB counted once across processes that share pages) of the
// renderer processes of the browser that runs with `profile`: the tabs and their workers.
export function rendererMemory(profile) {
  const parents = new Map();
  const renderers = new Set();
  let root = null;
  for (const pid of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      parents.set(pid, stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (!stat.includes('(chromium')) continue;
      const cmdline = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
      if (cmdline.includes('--type=renderer')) renderers.add(pid);
      else if (cmdline.includes(profile) && !cmdline.includes('--type=')) root = pid;
    } catch {
      // gone meanwhile
    }
  }
  let bytes = 0;
  for (const pid of renderers) {
    let p = pid;
    while (p !== undefined && p !== '0' && p !== root) p = parents.get(p);
    if (root === null || p !== root) continue;
    try {
      const pss = /^Pss:\s+(\d+) kB/m.exec(fs.readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8'));
      if (pss !== null) bytes += Number(pss[1]) * 1024;
    } catch {
      // gone meanwhile
    }
  }
  return bytes;
}

// The highest rendererMemory seen, sampled every 100 ms until stop().
export function watchRendererMemory(profile) {
  let peak = rendererMemory(profile);
  const timer = setInterval(() => { peak = Math.max(peak, rendererMemory(profile)); }, 100);
  return { stop() { clearInterval(timer); return Math.max(peak, rendererMemory(profile)); } };
}

// Makes an archive with Python's forger (tests/support/forge_archive.py): no password and no
// integrity record, laid out directly, so no files need to exist on disk.
export function forgeArchive(output, kind, ...args) {
  execFileSync('python3', [path.join(ROOT, 'tests/support/forge_archive.py'), kind, output, ...args]);
  return output;
}
