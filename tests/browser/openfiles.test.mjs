// The open-file pages in headless Chromium against the SQLite store: the
// volume selector, the extension filter kept through every re-sort,
// select-all, closing ticked files (the store shows it), the user links into
// the connection pages and back, the file-details page's Close button, and
// hostile names that must never run script.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { expectDoneOnceThenReload, startConsole } from './support.mjs';

const hostile = '<img src=x onerror=alert(1)>';

function seed(afpstat) {
  afpstat('volume', 'VOL1');
  afpstat('volume', 'VOL2');
  afpstat('connect', 'carol', '10.0.0.3', '--number', '12');
  afpstat('connect', 'Bob', '10.0.0.2', '--number', '7');
  afpstat('open', '12', 'VOL1', '/VOL1/zeta.doc');
  afpstat('open', '12', 'VOL1', '/VOL1/alpha.txt');
  afpstat('open', '7', 'VOL1', '/VOL1/beta.doc');
  afpstat('open', '7', 'VOL1', '/VOL1/gamma.DOC');
  afpstat('open', '7', 'VOL2', '/VOL2/other.doc');
}

function hostileSeed(afpstat) {
  afpstat('volume', 'VOL1');
  afpstat('volume', `V'"&${hostile}`);
  afpstat('connect', hostile, '10.0.0.5', '--number', '30');
  afpstat('open', '30', 'VOL1', `/VOL1/${hostile} "q" 'a' & 50% +1.doc`);
  afpstat('open', '30', `V'"&${hostile}`, '/x.doc');
}

// The file paths of the table's rows, in order.
async function rowPaths(page) {
  return page.$$eval('tr[class^="stripe"]', (rows) =>
    rows.map((row) => row.querySelector('td:last-child').textContent));
}

async function filterBox(page) {
  return page.locator('input[name="FILTER"][type="text"]').inputValue();
}

function openPaths(store) {
  return store.connections.flatMap((c) => c.open_files.map((f) => f.path)).sort();
}

async function navigate(page, action) {
  await Promise.all([page.waitForNavigation(), action()]);
}

test('volume selector, filter through re-sorts, select-all', async () => {
  const hxm = await startConsole({ seed });
  try {
    const { page, baseUrl } = hxm;
    await page.goto(`${baseUrl}/afpofm`);
    assert.equal(await page.locator('tr[class^="stripe"]').count(), 0);

    // Choosing a volume opens its list, sorted by connection number.
    await navigate(page, () => page.selectOption('#volumes', { label: 'VOL1' }));
    assert.equal(new URL(page.url()).pathname, '/afpofm/VOL1');
    assert.deepEqual(await rowPaths(page),
      ['/VOL1/gamma.DOC', '/VOL1/beta.doc', '/VOL1/alpha.txt', '/VOL1/zeta.doc']);
    assert.equal(await page.locator('#volumes').inputValue(), 'VOL1');

    // A filter of *.doc shows only .doc files.
    await page.locator('input[name="FILTER"][type="text"]').fill('*.doc');
    await navigate(page, () => page.click('input[type="submit"][value="Apply"]'));
    assert.deepEqual(await rowPaths(page), ['/VOL1/beta.doc', '/VOL1/zeta.doc']);
    assert.equal(await filterBox(page), '*.doc');

    // Each heading re-sorts and keeps the filter.
    const sorts = [
      ['UserName', ['/VOL1/beta.doc', '/VOL1/zeta.doc'], 'usrName'],
      ['FileName', ['/VOL1/beta.doc', '/VOL1/zeta.doc'], 'fileName'],
      ['ConnectionNumber', ['/VOL1/beta.doc', '/VOL1/zeta.doc'], 'connNum'],
    ];
    for (const [keyword, paths, image] of sorts) {
      await navigate(page, () => page.click(`a[href="/afpofm/${keyword}/VOL1"]`));
      assert.equal(new URL(page.url()).pathname, `/afpofm/${keyword}/VOL1`);
      assert.deepEqual(await rowPaths(page), paths, keyword);
      assert.equal(await filterBox(page), '*.doc', keyword);
      assert.match(await page.locator(`img#${image}`).getAttribute('src'), /sorted\.png$/);
      assert.equal(await page.locator('#sorttype').inputValue(), keyword);
    }

    // Refresh keeps the filter too; an empty filter shows everything again.
    await navigate(page, () => page.click('input[type="button"][value="Refresh"]'));
    assert.equal(await filterBox(page), '*.doc');
    await page.locator('input[name="FILTER"][type="text"]').fill('');
    await navigate(page, () => page.click('input[type="submit"][value="Apply"]'));
    assert.equal((await rowPaths(page)).length, 4);

    // Select-all ticks every file box, and clears them again.
    const boxes = page.locator('input[name="FILENAME"]');
    await page.click('input[name="K_1_"]');
    for (let i = 0; i < 4; i += 1) assert.equal(await boxes.nth(i).isChecked(), true);
    await page.click('input[name="K_1_"]');
    for (let i = 0; i < 4; i += 1) assert.equal(await boxes.nth(i).isChecked(), false);
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    await hxm.stop();
  }
});

test('Close Files alerts with nothing ticked and closes exactly the ticked files', async () => {
  const hxm = await startConsole({ seed });
  try {
    const { page, baseUrl } = hxm;
    await page.goto(`${baseUrl}/afpofm/FileName/VOL1`);
    const before = openPaths(hxm.store());

    const alert = hxm.expectDialog('alert');
    await page.click('input[type="submit"][value="Close Files "]');
    await page.waitForTimeout(200);
    assert.match(alert.messages[0] || '', /No file selected/);
    assert.deepEqual(openPaths(hxm.store()), before);
    assert.equal(new URL(page.url()).pathname, '/afpofm/FileName/VOL1');

    // Tick two, confirm: exactly those two are closed, for every connection.
    await page.check('input[name="FILENAME"][value="<filename>/VOL1/alpha.txt</filename>"]');
    await page.check('input[name="FILENAME"][value="<filename>/VOL1/zeta.doc</filename>"]');
    const confirm = hxm.expectDialog('confirm', true);
    await navigate(page, () => page.click('input[type="submit"][value="Close Files "]'));
    assert.match(confirm.messages[0], /close the file for all connections/);
    assert.deepEqual(openPaths(hxm.store()),
      before.filter((p) => p !== '/VOL1/alpha.txt' && p !== '/VOL1/zeta.doc'));
    // The close form names the volume alone: the list comes back in the default sort.
    assert.match(new URL(page.url()).pathname, /^\/afpofm\/VOL1\/AFPOutcome\/[0-9a-f]{16}$/);
    assert.deepEqual(await rowPaths(page), ['/VOL1/gamma.DOC', '/VOL1/beta.doc']);
    await expectDoneOnceThenReload(hxm, 'Closed: 2 files');

    // Declining the question closes nothing.
    await page.check('input[name="FILENAME"][value="<filename>/VOL1/beta.doc</filename>"]');
    const declined = hxm.expectDialog('confirm', false);
    await page.click('input[type="submit"][value="Close Files "]');
    await page.waitForTimeout(200);
    assert.equal(declined.messages.length, 1);
    assert.equal(openPaths(hxm.store()).includes('/VOL1/beta.doc'), true);
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    await hxm.stop();
  }
});

test('a user link opens the connection and leads back to the same volume, sort and filter', async () => {
  const hxm = await startConsole({ seed });
  try {
    const { page, baseUrl } = hxm;
    await page.goto(`${baseUrl}/afpofm/UserName/VOL1`);
    await page.locator('input[name="FILTER"][type="text"]').fill('*.doc');
    await navigate(page, () => page.click('input[type="submit"][value="Apply"]'));
    await navigate(page, () => page.click('a[href="/afpofm/UserName/VOL1"]'));
    assert.deepEqual(await rowPaths(page), ['/VOL1/beta.doc', '/VOL1/zeta.doc']);

    await navigate(page, () => page.click('a[href="/afpcons/ConnectionNumber/0000000C"]'));
    assert.equal(new URL(page.url()).pathname, '/afpcons/ConnectionNumber/0000000C');
    assert.match(await page.content(), /carol/);

    await navigate(page, () => page.click('text=Back to Open File Management'));
    assert.equal(new URL(page.url()).pathname, '/afpofm/UserName/VOL1');
    assert.equal(await filterBox(page), '*.doc');
    assert.deepEqual(await rowPaths(page), ['/VOL1/beta.doc', '/VOL1/zeta.doc']);
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    await hxm.stop();
  }
});

test("the file-details page's Close button alerts and posts nothing", async () => {
  const hxm = await startConsole({ seed });
  try {
    const { page, baseUrl } = hxm;
    await page.goto(`${baseUrl}/afpofm/AFPBrowseFile/VOL1/VOL1/zeta.doc`);
    const before = openPaths(hxm.store());
    const alert = hxm.expectDialog('alert');
    await page.click('input[name="closeallcheckfiles"]');
    await page.waitForTimeout(200);
    assert.match(alert.messages[0] || '', /No file selected/);
    assert.equal(new URL(page.url()).pathname, '/afpofm/AFPBrowseFile/VOL1/VOL1/zeta.doc');
    assert.deepEqual(openPaths(hxm.store()), before);
  } finally {
    await hxm.stop();
  }
});

test('hostile names never run script and can still be closed', async () => {
  const hxm = await startConsole({ seed: hostileSeed });
  try {
    const { page, baseUrl } = hxm;
    await page.goto(`${baseUrl}/afpofm`);
    // The hostile volume is offered as text and opens its own list.
    await navigate(page, () => page.selectOption('#volumes', { label: `V'"&${hostile}` }));
    assert.deepEqual(await rowPaths(page), ['/x.doc']);
    assert.equal(await page.locator('#volume').inputValue(), `V'"&${hostile}`);
    // Its filter form posts back to the same volume.
    await page.locator('input[name="FILTER"][type="text"]').fill(`*.doc'"${hostile}`);
    await navigate(page, () => page.click('input[type="submit"][value="Apply"]'));
    assert.equal(await filterBox(page), `*.doc'"${hostile}`);
    assert.equal(await page.locator('#volume').inputValue(), `V'"&${hostile}`);

    await navigate(page, () => page.selectOption('#volumes', { label: 'VOL1' }));
    const path = `/VOL1/${hostile} "q" 'a' & 50% +1.doc`;
    assert.deepEqual(await rowPaths(page), [path]);
    const users = await page.$$eval('tr[class^="stripe"] a', (links) => links.map((a) => a.textContent));
    assert.deepEqual(users, [hostile]);
    assert.equal(await page.locator('img[src="x"]').count(), 0);

    await page.check('input[name="FILENAME"]');
    hxm.expectDialog('confirm', true);
    await navigate(page, () => page.click('input[type="submit"][value="Close Files "]'));
    assert.equal(openPaths(hxm.store()).includes(path), false);
    assert.equal(openPaths(hxm.store()).includes('/x.doc'), true);
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    await hxm.stop();
  }
});
