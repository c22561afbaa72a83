// Shared by the browser tests: a built hxm-console with the plug-in over a
// seeded SQLite store under a fresh root, and a headless Debian Chromium page
// that fails the test on any dialog the test did not ask for.
//
// The build comes from HXM_BUILD (default build/asan): bin/hxm-console,
// lib/libhxm2afp.so, bin/afpstat. Chromium is /usr/bin/chromium from Debian;
// nothing is downloaded.
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import assert from 'node:assert/strict';
import { chromium } from 'playwright-core';

const top = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const buildDir = path.resolve(top, process.env.HXM_BUILD || 'build/asan');
const consoleBinary = path.join(buildDir, 'bin/hxm-console');
const pluginLibrary = path.join(buildDir, 'lib/libhxm2afp.so');
const afpstatBinary = path.join(buildDir, 'bin/afpstat');

const chromiumArgs = [
  '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

// Starts hxm-console on a free loopback port; resolves with the child and
// its base URL (http or https) once it prints "listening on ...".
function startServer(root, access, consoleArgs) {
  const child = spawn(consoleBinary, [
    '--listen', '127.0.0.1:0', '--plugin', pluginLibrary, '--root', root,
    '--access', access, '--access-log', path.join(root, 'access.log'), ...consoleArgs,
  ], { stdio: ['ignore', 'pipe', 'pipe'], env: { ...process.env, ASAN_OPTIONS: 'detect_leaks=0' } });
  return new Promise((resolve, reject) => {
    let seen = '';
    const timer = setTimeout(() => reject(new Error(`hxm-console did not start:\n${seen}`)), 20000);
    const look = (chunk) => {
      seen += chunk.toString();
      const match = seen.match(/listening on (https?:\/\/[^\s]+?)\/?\s/);
      if (match) {
        clearTimeout(timer);
        resolve({ child, baseUrl: match[1] });
      }
    };
    child.stdout.on('data', look);
    child.stderr.on('data', look);
    child.on('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`hxm-console exited with ${code}:\n${seen}`));
    });
  });
}

// Starts everything. `seed(afpstat)` fills the store before the console
// starts; `consoleArgs` and `browserArgs` are added to the console's and
// Chromium's command lines. Returns { page, baseUrl, afpstat, store, database (the store's
// file), dialogs, expectDialog, stop }.
export async function startConsole({ seed, access = '0x9', consoleArgs = [], browserArgs = [] } = {}) {
  const root = mkdtempSync(path.join(tmpdir(), 'hxm-browser-'));
  mkdirSync(path.join(root, 'var/opt/zentra/log'), { recursive: true });
  const database = path.join(root, 'var/opt/zentra/afpstat/afpstat.db');
  const afpstat = (...args) =>
    execFileSync(afpstatBinary, ['--db', database, ...args], {
      encoding: 'utf8', env: { ...process.env, ZENTRA_ROOT: root, ASAN_OPTIONS: 'detect_leaks=0' },
    });
  afpstat('init');
  if (seed) seed(afpstat);
  const store = () => JSON.parse(afpstat('list', '--json'));

  const { child, baseUrl } = await startServer(root, access, consoleArgs);
  const userData = mkdtempSync(path.join(tmpdir(), 'hxm-chromium-'));
  const context = await chromium.launchPersistentContext(userData, {
    executablePath: '/usr/bin/chromium', headless: true, args: [...chromiumArgs, ...browserArgs],
  });
  const page = context.pages()[0] || (await context.newPage());

  // Dialogs: each one must have been announced with expectDialog.
  const expected = [];
  const unexpected = [];
  page.on('dialog', async (dialog) => {
    const next = expected.shift();
    if (!next || next.type !== dialog.type()) {
      unexpected.push(`${dialog.type()}: ${dialog.message()}`);
      await dialog.dismiss();
      return;
    }
    next.messages.push(dialog.message());
    if (next.accept) await dialog.accept();
    else await dialog.dismiss();
  });
  const expectDialog = (type, accept = true) => {
    const entry = { type, accept, messages: [] };
    expected.push(entry);
    return entry;
  };

  const stop = async () => {
    await context.close().catch(() => {});
    child.kill('SIGTERM');
    await new Promise((resolve) => (child.exitCode !== null ? resolve() : child.on('exit', resolve)));
    rmSync(userData, { recursive: true, force: true });
    rmSync(root, { recursive: true, force: true });
  };
  return {
    page, baseUrl, afpstat, store, expectDialog, stop, database,
    unexpectedDialogs: () => unexpected.slice(),
    pendingDialogs: () => expected.filter((entry) => entry.messages.length === 0),
  };
}

// After an action: the page says what was done, and a reload (what a
// browser's reload or back sends) leaves the store as it is and shows
// neither that nor any failure.
export async function expectDoneOnceThenReload(hxm, done) {
  assert.equal(await hxm.page.locator('#actionDone').textContent(), done);
  assert.equal(await hxm.page.locator('#actionOutcome').count(), 0);
  const before = JSON.stringify(hxm.store());
  await hxm.page.reload();
  assert.equal(JSON.stringify(hxm.store()), before);
  assert.equal(await hxm.page.locator('#actionDone, #actionOutcome').count(), 0);
}
