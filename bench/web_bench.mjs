// The page's speed and memory on a large archive, in headless Chromium on this machine: open
// (one pass: the data stream read, checked against the integrity record, deciphered and staged)
// and save all of an archive that sfxtool made, as downloads and into a picked folder, and make
// one; with the browser's primitives and openssl measured in the same run to compare with. One
// line per figure; peak memory is the sum over the browser's processes.
//   node bench/web_bench.mjs [MIB]        (default 1024; run by make bench-web)
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { servePage, sfxtool, startBrowser, tempDir, waitIdle } from '../tests/web/harness.mjs';

const mib = Number(process.argv[2] || 1024);
// The machine may be shared: openssl deciphering the same archive, in the same run, says how
// fast this processor is at the moment.
const PASSWORD = 'bench password 1';

// Memory (proportional set size, so pages shared between the browser's processes count once)
// and processor time of the browser and every process under it, sampled every 200 ms.
function browserWatch(profile) {
  const ticksPerSecond = 100;
  const cpuSeen = new Map(); // pid → processor ticks last seen, kept after a process ends
  const sample = () => {
    const parents = new Map();
    const ticks = new Map();
    let root = null;
    for (const pid of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
      try {
        const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
        const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
        parents.set(pid, fields[1]);
        ticks.set(pid, Number(fields[11]) + Number(fields[12]));
        if (root === null && stat.includes('(chromium')) {
          const cmdline = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
          if (cmdline.includes(profile) && !cmdline.includes('--type=')) root = pid;
        }
      } catch {
        // gone meanwhile
      }
    }
    let memory = 0;
    if (root === null) return memory;
    for (const pid of parents.keys()) {
      let p = pid;
      while (p !== undefined && p !== '0' && p !== root) p = parents.get(p);
      if (p !== root) continue;
      cpuSeen.set(pid, ticks.get(pid));
      try {
        const pss = /^Pss:\s+(\d+) kB/m.exec(fs.readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8'));
        if (pss !== null) memory += Number(pss[1]) * 1024;
      } catch {
        // gone meanwhile
      }
    }
    return memory;
  };
  const cpuTotal = () => [...cpuSeen.values()].reduce((a, b) => a + b, 0) / ticksPerSecond;
  let peak = 0;
  let base = 0;
  let cpuBase = 0;
  const timer = setInterval(() => { peak = Math.max(peak, sample()); }, 200);
  return {
    // Starts a new measurement: the memory now, and the highest seen from now on.
    reset() { base = sample(); peak = base; cpuBase = cpuTotal(); },
    figures() { sample(); return { base, peak, cpu: cpuTotal() - cpuBase }; },
    stop() { clearInterval(timer); },
  };
}

// One figure: throughput by the clock, and, for the browser, its peak memory and the throughput
// per second of processor time it used (what a machine not shared with others would see,
// roughly, when the work is bound by the processor).
function line(what, seconds, mem) {
  const bytes = mib * 1048576;
  const mbs = bytes / 1e6 / seconds;
  let extra = '';
  if (mem.peak > 0) {
    extra = `  browser peak ${(mem.peak / 1048576).toFixed(0)} MiB (at rest ${(mem.base / 1048576).toFixed(0)} MiB)` +
      `  ${mem.cpu.toFixed(1)} s of processor, ${(bytes / 1e6 / mem.cpu).toFixed(0)} MB per processor-second`;
  }
  console.log(`${what.padEnd(40)} ${String(mib).padStart(5)} MiB  ${mbs.toFixed(1).padStart(7)} MB/s` +
    `  ${seconds.toFixed(2).padStart(6)} s${extra}  load ${os.loadavg()[0].toFixed(2)}`);
  return mbs;
}

// The browser's own pieces the page is built of, measured in the same run: AES-256-CBC
// decryption by Web Crypto on one worker and on two at once, SHA-256 of 512 KiB leaves, reading
// the picked archive as a stream with a BYOB reader, writing through a SyncAccessHandle of the
// private file system, and a download of a file of the private file system.
async function primitives(page, archive) {
  const inWorkers = (count, body, arg) => page.evaluate(async ({ count, body, arg }) => {
    const url = URL.createObjectURL(new Blob([`onmessage = async (e) => { const run = ${body};
      postMessage(await run(e.data)); };`], { type: 'text/javascript' }));
    const workers = Array.from({ length: count }, () => new Worker(url));
    const started = performance.now();
    const results = await Promise.all(workers.map((w) => new Promise((resolve) => {
      w.onmessage = (e) => resolve(e.data);
      w.postMessage(arg);
    })));
    const seconds = (performance.now() - started) / 1000;
    workers.forEach((w) => w.terminate());
    return { seconds, bytes: results.reduce((a, b) => a + b, 0) };
  }, { count, body, arg });
  const show = (what, r) => console.log(`${what.padEnd(56)} ${(r.bytes / 1e6 / r.seconds).toFixed(0).padStart(6)} MB/s` +
    `  (${(r.bytes / 1048576).toFixed(0)} MiB in ${r.seconds.toFixed(2)} s)  load ${os.loadavg()[0].toFixed(2)}`);
  const decrypt = `async ({ total, call }) => {
    const key = await crypto.subtle.importKey('raw', new Uint8Array(32), 'AES-CBC', false, ['decrypt', 'encrypt']);
    const iv = new Uint8Array(16);
    const plain = new Uint8Array(call);
    const data = new Uint8Array(await crypto.subtle.encrypt({ name: 'AES-CBC', iv }, key, plain));
    for (let done = 0; done < total; done += call) await crypto.subtle.decrypt({ name: 'AES-CBC', iv }, key, data);
    return total; }`;
  for (const call of [1 << 20, 4 << 20, 64 << 20]) {
    show(`  Web Crypto AES-256-CBC decrypt, ${call >> 20} MiB calls, 1 worker`, await inWorkers(1, decrypt, { total: 256 << 20, call }));
  }
  show('  Web Crypto AES-256-CBC decrypt, 4 MiB calls, 2 workers', await inWorkers(2, decrypt, { total: 256 << 20, call: 4 << 20 }));
  show('  Web Crypto SHA-256 of 512 KiB pieces, 1 worker', await inWorkers(1, `async ({ total }) => {
    const piece = new Uint8Array(512 << 10);
    for (let done = 0; done < total; done += piece.length) await crypto.subtle.digest('SHA-256', piece);
    return total; }`, { total: 512 << 20 }));
  show('  private file system SyncAccessHandle write, 4 MiB', await inWorkers(1, `async ({ total }) => {
    const root = await navigator.storage.getDirectory();
    const file = await root.getFileHandle('bench-write', { create: true });
    const access = await file.createSyncAccessHandle();
    const chunk = new Uint8Array(4 << 20).fill(7);
    for (let at = 0; at < total; at += chunk.length) access.write(chunk, { at });
    access.flush(); access.close();
    await root.removeEntry('bench-write');
    return total; }`, { total: 1 << 30 }));
  await page.setInputFiles('#archive', archive);
  const read = await page.evaluate(async () => {
    const file = document.getElementById('archive').files[0];
    const reader = file.stream().getReader({ mode: 'byob' });
    let buffer = new ArrayBuffer(4 << 20);
    let bytes = 0;
    const started = performance.now();
    for (;;) {
      const { done, value } = await reader.read(new Uint8Array(buffer));
      if (done) break;
      bytes += value.byteLength;
      buffer = value.buffer;
    }
    return { seconds: (performance.now() - started) / 1000, bytes };
  });
  show('  the picked archive read as a stream (BYOB, 4 MiB)', read);
  // A download of a file of the private file system, as the page offers staged plaintext.
  await page.evaluate(async () => {
    const root = await navigator.storage.getDirectory();
    const w = await (await root.getFileHandle('bench-download', { create: true })).createWritable();
    await document.getElementById('archive').files[0].stream().pipeTo(w);
  });
  const download = page.waitForEvent('download', { timeout: 600000 });
  const started = performance.now();
  const size = await page.evaluate(async () => {
    const file = await (await (await navigator.storage.getDirectory()).getFileHandle('bench-download')).getFile();
    const a = document.createElement('a');
    a.href = URL.createObjectURL(file.slice(0, file.size, 'application/octet-stream'));
    a.download = 'bench.bin';
    a.click();
    return file.size;
  });
  const saved = await (await download).path();
  show('  download of a private file system file', { seconds: (performance.now() - started) / 1000, bytes: size });
  fs.rmSync(saved, { force: true });
  await page.evaluate(async () => (await navigator.storage.getDirectory()).removeEntry('bench-download'));
}

const work = tempDir('bench');
try {
  const data = path.join(work, 'data.bin');
  execFileSync('head', ['-c', String(mib * 1048576), '/dev/urandom'], { stdio: ['ignore', fs.openSync(data, 'w'), 'inherit'] });
  const archive = path.join(work, 'data.tvf');
  // The classic key, so that openssl can decipher it with the password's digest as reference.
  let started = performance.now();
  const made = sfxtool(['create', '--plain', '--classic-key', '--no-metadata', '--password-stdin', '-C', work, '-o', archive, 'data.bin'],
    { input: PASSWORD + '\n' });
  if (made.status !== 0) throw new Error(String(made.stderr));
  const sfxtoolCreate = line('sfxtool create (reference for make)', (performance.now() - started) / 1000, { base: 0, peak: 0 });

  // The reference: openssl deciphering the whole archive from disk to nowhere.
  const digest = createHash('sha512').update(Buffer.from(PASSWORD, 'latin1')).digest();
  started = performance.now();
  execFileSync('openssl', ['enc', '-d', '-aes-256-cbc', '-nopad', '-K', digest.subarray(0, 32).toString('hex'),
    '-iv', digest.subarray(32, 48).toString('hex'), '-in', archive, '-out', '/dev/null']);
  line('openssl enc -d (reference)', (performance.now() - started) / 1000, { base: 0, peak: 0 });

  const server = await servePage();
  const browser = await startBrowser();
  const page = await browser.newPage(server.url, {
    // Picking a folder is answered with one in the browser's private file system.
    before: () => {
      window.showDirectoryPicker = async () =>
        (await navigator.storage.getDirectory()).getDirectoryHandle('picked', { create: true });
    },
  });
  const watch = browserWatch(browser.profile);
  await primitives(page, archive);

  // Open (trailer, checks, table) and save all: the whole archive read, deciphered and written,
  // with the browser's AES and with the module's, as downloads and into a picked folder.
  const modes = [
    { what: 'downloads, browser cipher', hash: '', downloads: true },
    { what: 'downloads, module cipher', hash: '#module-cipher', downloads: true },
    { what: 'picked folder, browser cipher', hash: '', downloads: false },
    { what: 'picked folder, module cipher', hash: '#module-cipher', downloads: false },
  ];
  for (const mode of modes) {
    await page.goto('about:blank');
    await page.goto(server.url + mode.hash);
    await page.waitForFunction(() => document.body.dataset.ready === 'yes', null, { polling: 100 });
    if (mode.downloads) await page.evaluate(() => { window.showDirectoryPicker = undefined; });
    watch.reset();
    const started = performance.now();
    await page.setInputFiles('#archive', archive);
    await page.fill('#password', PASSWORD);
    await page.click('#open');
    await waitIdle(page);
    const opened = (performance.now() - started) / 1000;
    if (!/integrity verified/.test(await page.locator('#status').textContent())) {
      throw new Error('the archive did not open verified: ' + await page.locator('#status').textContent());
    }
    const download = mode.downloads ? page.waitForEvent('download', { timeout: 600000 }) : null;
    await page.click('#save-all');
    await page.waitForFunction(() => /^Saved/.test(document.getElementById('status').textContent) ||
      document.getElementById('status').classList.contains('failed'), null, { timeout: 600000, polling: 100 });
    // A download is done when its file is complete on disk.
    const saved = download !== null ? await (await download).path() : null;
    const seconds = (performance.now() - started) / 1000;
    const figures = watch.figures();
    line(`  open: one pass, checked and staged (${mode.what})`, opened, { base: 0, peak: 0 });
    line(`open+save all (${mode.what})`, seconds, figures);
    // What stays in the private file system a few seconds after the save: nothing but the
    // picked folder.
    await page.waitForTimeout(4000);
    const left = await page.evaluate(async () => {
      const names = [];
      const walk = async (dir, prefix) => {
        for await (const [name, h] of dir.entries()) {
          if (h.kind === 'directory') await walk(h, prefix + name + '/');
          else names.push(prefix + name);
        }
      };
      await walk(await navigator.storage.getDirectory(), '');
      return names.filter((n) => !n.startsWith('picked/'));
    });
    if (left.length > 0) console.log(`  left in the private file system: ${left.join(', ')}`);
    if (saved !== null) {
      fs.rmSync(saved, { force: true });
    } else {
      await page.evaluate(async () => (await navigator.storage.getDirectory()).removeEntry('picked', { recursive: true }));
    }
  }

  // Make: the engine's writer in the module, its cipher included.
  await page.goto('about:blank');
  await page.goto(server.url);
  await page.waitForFunction(() => document.body.dataset.ready === 'yes', null, { polling: 100 });
  watch.reset();
  started = performance.now();
  await page.locator('#tab-make').click();
  await page.setInputFiles('#add-files', data);
  await page.fill('#new-password', PASSWORD);
  await page.fill('#confirm-password', PASSWORD);
  await page.check('#classic-key');
  await page.selectOption('#type', 'tvf');
  const download = page.waitForEvent('download', { timeout: 1800000 });
  await page.click('#create');
  const madePath = await (await download).path();
  const seconds = (performance.now() - started) / 1000;
  const makeSpeed = line('make .tvf', seconds, watch.figures());
  console.log(`make .tvf against sfxtool create: ${(makeSpeed / sfxtoolCreate).toFixed(2)} of its speed`);
  let same = true;
  try {
    execFileSync('cmp', ['-s', madePath, archive]);
  } catch {
    same = false;
  }
  console.log(`make .tvf identical to sfxtool's: ${same ? 'yes' : 'no'}`);

  // What a hardened key costs the page: a small archive opened with each key, a few times; the
  // difference is the derivation (Argon2id, 64 MiB, three passes, four lanes, one thread).
  fs.writeFileSync(path.join(work, 'small.txt'), 'a small file\n');
  const openTimes = {};
  for (const [kind, extra] of [['classic', ['--classic-key']], ['hardened', []]]) {
    const small = path.join(work, `small-${kind}.tvf`);
    const r = sfxtool(['create', '--plain', ...extra, '--password-stdin', '-C', work, '-o', small, 'small.txt'],
      { input: PASSWORD + '\n' });
    if (r.status !== 0) throw new Error(String(r.stderr));
    const times = [];
    for (let i = 0; i < 3; i++) {
      await page.goto('about:blank');
      await page.goto(server.url);
      await page.waitForFunction(() => document.body.dataset.ready === 'yes', null, { polling: 100 });
      await page.setInputFiles('#archive', small);
      await page.fill('#password', PASSWORD);
      const began = performance.now();
      await page.click('#open');
      await waitIdle(page);
      times.push(performance.now() - began);
      if (!/^Opened/.test(await page.locator('#status').textContent())) throw new Error('small archive did not open');
    }
    openTimes[kind] = Math.min(...times);
  }
  console.log(`${'key derivation in the page (Argon2id 64 MiB t=3 p=4)'.padEnd(56)} ` +
    `${(openTimes.hardened - openTimes.classic).toFixed(0).padStart(6)} ms` +
    `  (open ${openTimes.hardened.toFixed(0)} ms hardened, ${openTimes.classic.toFixed(0)} ms classic, best of 3)`);
  watch.stop();
  await browser.close();
  await server.close();
} finally {
  fs.rmSync(work, { recursive: true, force: true });
}
