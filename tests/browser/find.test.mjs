// Finding open files across volumes in headless Chromium against the SQLite
// store: the form on the volume page finds a part of a name on every volume,
// a heading re-sorts and keeps the criteria, a hostile name never runs
// script, and Close Files closes exactly the ticked files.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { expectDoneOnceThenReload, startConsole } from './support.mjs';

const hostile = `<img src=x onerror=alert(1)> "q" 'a' & 50% +1 budget.doc`;

function seed(afpstat) {
  afpstat('volume', 'VOL1');
  afpstat('volume', 'VOL2');
  afpstat('connect', 'carol', '10.0.0.3', '--number', '12');
  afpstat('connect', '<b>bob</b>', '10.0.0.2', '--number', '7');
  afpstat('open', '12', 'VOL1', '/VOL1/Budget.xlsx');
  afpstat('open', '12', 'VOL1', '/VOL1/notes.txt');
  afpstat('open', '7', 'VOL2', '/VOL2/budget-2024.xlsx');
  afpstat('open', '7', 'VOL2', `/VOL2/${hostile}`);
}

async function rowPaths(page) {
  return page.$$eval('tr[class^="stripe"]', (rows) =>
    rows.map((row) => row.querySelector('td:last-child').textContent));
}

function openPaths(store) {
  return store.connections.flatMap((c) => c.open_files.map((f) => f.path)).sort();
}

async function navigate(page, action) {
  await Promise.all([page.waitForNavigation(), action()]);
}

test('finds across volumes, re-sorts, closes exactly the ticked files', async () => {
  const hxm = await startConsole({ seed });
  try {
    const { page, baseUrl } = hxm;
    await page.goto(`${baseUrl}/afpofm`);
    await page.locator('#findForm input[name="FINDNAME"]').fill('BUDGET');
    await navigate(page, () => page.click('#findForm input[type="submit"]'));
    assert.equal(new URL(page.url()).pathname, '/afpofm/AFPFindFiles');
    assert.deepEqual(await rowPaths(page),
      ['/VOL1/Budget.xlsx', '/VOL2/budget-2024.xlsx', `/VOL2/${hostile}`]);

    // A heading re-sorts by path and keeps what was asked.
    await navigate(page, () => page.click('a[href="/afpofm/AFPFindFiles/FileName"]'));
    assert.deepEqual(await rowPaths(page),
      ['/VOL1/Budget.xlsx', `/VOL2/${hostile}`, '/VOL2/budget-2024.xlsx']);
    assert.equal(await page.locator('#findName').inputValue(), 'BUDGET');
    assert.equal(await page.locator('img[src="x"]').count(), 0);
    assert.equal(await page.locator('a[href="/afpcons/ConnectionNumber/00000007"]').first()
      .textContent(), '<b>bob</b>');

    // Tick the hostile file and Budget.xlsx, then Close Files and confirm.
    const boxes = page.locator('input[name="FILENAME"]');
    await boxes.nth(0).check();
    await boxes.nth(1).check();
    const confirm = hxm.expectDialog('confirm');
    await navigate(page, () => page.click('input[type="submit"][value="Close Files "]'));
    assert.equal(confirm.messages.length, 1);
    assert.deepEqual(openPaths(hxm.store()), ['/VOL1/notes.txt', '/VOL2/budget-2024.xlsx']);
    assert.deepEqual(await rowPaths(page), ['/VOL2/budget-2024.xlsx']);
    // A reload finds again with the same criteria and closes nothing.
    await expectDoneOnceThenReload(hxm, 'Closed: 2 files');
    assert.deepEqual(await rowPaths(page), ['/VOL2/budget-2024.xlsx']);
    assert.equal(await page.locator('#findName').inputValue(), 'BUDGET');
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    await hxm.stop();
  }
});

test('a name typed composed finds the file a Mac wrote decomposed', async () => {
  const decomposed = '/VOL1/A\u0308rger.doc';
  const hxm = await startConsole({
    seed: (afpstat) => {
      afpstat('volume', 'VOL1');
      afpstat('connect', 'carol', '10.0.0.3', '--number', '12');
      afpstat('open', '12', 'VOL1', decomposed);
      afpstat('open', '12', 'VOL1', '/VOL1/Aerger.doc');
    },
  });
  try {
    const { page, baseUrl } = hxm;
    await page.goto(`${baseUrl}/afpofm`);
    await page.locator('#findForm input[name="FINDNAME"]').fill('\u00e4rger');
    await navigate(page, () => page.click('#findForm input[type="submit"]'));
    assert.deepEqual(await rowPaths(page), [decomposed]);
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    await hxm.stop();
  }
});
