// The connections pages in headless Chromium against the SQLite store:
// sorting, select-all, the confirmation dialogs, clearing connections,
// closing files, and a hostile user name that must never run script.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { rmSync, writeFileSync } from 'node:fs';
import { expectDoneOnceThenReload, startConsole } from './support.mjs';

const hostile = '<img src=x onerror=alert(1)>';

function seed(afpstat) {
  afpstat('volume', 'VOL1');
  afpstat('connect', 'carol', '10.0.0.3', '--number', '12', '--login-time', '1700000300',
    '--requests', '5', '--read', '900', '--written', '0');
  afpstat('connect', 'bob', '10.0.0.2', '--number', '7', '--login-time', '1700000100',
    '--requests', '50', '--read', '10', '--written', '10', '--equiv', 'admins');
  afpstat('connect', 'Zed', '10.0.0.4', '--number', '20', '--login-time', '1700000200',
    '--requests', '1', '--read', '5000', '--written', '1');
  afpstat('connect', hostile, '10.0.0.5', '--number', '30', '--login-time', '1700000400',
    '--requests', '9', '--read', '1', '--written', '1');
  afpstat('open', '7', 'VOL1', '/VOL1/a "quoted" & <odd>.doc');
  afpstat('open', '7', 'VOL1', '/VOL1/b.txt');
}

// The connection numbers of the list page's rows, in order.
async function rowNumbers(page) {
  return page.$$eval('tr[class^="stripe"]', (rows) =>
    rows.map((row) => Number(row.querySelector('td.tablecol').textContent)));
}

function connectionNumbers(store) {
  return store.connections.map((c) => c.number).sort((a, b) => a - b);
}

test('sorting, select-all, nothing ticked, name link, hostile name', async () => {
  const hxm = await startConsole({ seed });
  try {
    const { page, baseUrl } = hxm;
    await page.goto(`${baseUrl}/afpcons`);
    assert.deepEqual(await rowNumbers(page), [7, 12, 20, 30]);
    // The table's text has the navigation's font.
    const fonts = await page.$$eval('.hxm-nav a, td.tablecol', (all) =>
      [...new Set(all.map((e) => getComputedStyle(e).font))]);
    assert.equal(fonts.length, 1, fonts.join(' | '));
    const sorts = [
      ['ConnectionName', [30, 20, 7, 12], 'Sorted By Name'], // "<" < "Z" < "b" < "c"
      ['FSActivity', [30, 7, 12, 20], 'Sorted By Reads & Writes (bytes)'],
      ['KdpRequest', [20, 12, 30, 7], 'Sorted By Requests'],
      ['LoginTime', [7, 20, 12, 30], 'Sorted By Login Time'],
      ['ConnectionNumber', [7, 12, 20, 30], 'Sorted By Connection Number'],
    ];
    for (const [keyword, order, sortedText] of sorts) {
      await Promise.all([page.waitForLoadState('load'), page.click(`a[href="/afpcons/${keyword}"]`)]);
      assert.equal(new URL(page.url()).pathname, `/afpcons/${keyword}`);
      assert.deepEqual(await rowNumbers(page), order, keyword);
      assert.equal(await page.locator(`img[alt="${sortedText}"][src$="sorted.png"]`).count(), 1);
    }

    // The hostile name shows as text, and no dialog has opened.
    const names = await page.$$eval('tr[class^="stripe"] a', (links) => links.map((a) => a.textContent));
    assert.ok(names.includes(`*${hostile}`), names.join(','));
    assert.equal(await page.locator('img[src="x"]').count(), 0);

    // Select-all ticks every box, and unticks them again.
    const boxes = page.locator('input[name="CONNECTIONID"]');
    assert.equal(await boxes.count(), 4);
    await page.check('#noid');
    for (const checked of await boxes.evaluateAll((all) => all.map((b) => b.checked))) assert.ok(checked);
    await page.uncheck('#noid');
    for (const checked of await boxes.evaluateAll((all) => all.map((b) => b.checked))) assert.ok(!checked);

    // Nothing ticked: an alert, and nothing is posted.
    const alert = hxm.expectDialog('alert');
    await page.click('input[type="submit"]');
    await page.waitForTimeout(300);
    assert.equal(alert.messages.length, 1);
    assert.match(alert.messages[0], /^No connection selected/);
    assert.equal(new URL(page.url()).pathname, '/afpcons/ConnectionNumber');
    assert.deepEqual(connectionNumbers(hxm.store()), [7, 12, 20, 30]);

    // A name link opens that connection's page; so does the hostile one.
    await Promise.all([page.waitForLoadState('load'), page.click('a[href="/afpcons/ConnectionNumber/0000001E"]')]);
    assert.equal(await page.locator('font[size="+1"]').textContent(), hostile);
    await page.goto(`${baseUrl}/afpcons`);
    await Promise.all([page.waitForLoadState('load'), page.click('a[href="/afpcons/ConnectionNumber/00000007"]')]);
    assert.equal(await page.locator('font[size="+1"]').textContent(), 'bob');
    assert.ok((await page.content()).includes('admins'));
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    await hxm.stop();
  }
});

test('Close Connections asks, then clears exactly the two ticked', async () => {
  const hxm = await startConsole({ seed });
  try {
    const { page, baseUrl } = hxm;
    await page.goto(`${baseUrl}/afpcons`);
    await page.check('input[value="<closeconn>12</closeconn>"]');
    await page.check('input[value="<closeconn>30</closeconn>"]');
    // Dismissed: nothing happens.
    const refused = hxm.expectDialog('confirm', false);
    await page.click('input[type="submit"]');
    await page.waitForTimeout(300);
    assert.equal(refused.messages.length, 1);
    assert.deepEqual(connectionNumbers(hxm.store()), [7, 12, 20, 30]);
    // Accepted: those two go.
    const confirmed = hxm.expectDialog('confirm', true);
    await Promise.all([page.waitForURL('**/afpcons/ConnectionNumber/AFPOutcome/*'), page.click('input[type="submit"]')]);
    assert.match(confirmed.messages[0], /^Closes all files opened by this connection/);
    assert.deepEqual(connectionNumbers(hxm.store()), [7, 20]);
    assert.deepEqual(await rowNumbers(page), [7, 20]);
    // The service gives a cleared number to someone new: a reload clears nobody.
    hxm.afpstat('connect', 'newcomer', '10.0.0.9', '--number', '12');
    await expectDoneOnceThenReload(hxm, 'Cleared: 2 connections');
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    await hxm.stop();
  }
});

test('Close File asks and closes; Clear Connection asks and clears', async () => {
  const hxm = await startConsole({ seed });
  try {
    const { page, baseUrl } = hxm;
    const files = () => hxm.store().connections.find((c) => c.number === 7).open_files.map((f) => f.path);
    await page.goto(`${baseUrl}/afpcons/ConnectionNumber/00000007`);
    const odd = '/VOL1/a "quoted" & <odd>.doc';
    assert.deepEqual(files().sort(), [odd, '/VOL1/b.txt'].sort());
    const index = await page.$$eval('input[name="FILENAME"]', (inputs, wanted) =>
      inputs.findIndex((input) => input.value === wanted), `<filename>${odd}</filename>`);
    assert.ok(index >= 0);
    const closeOdd = page.locator('input[type="submit"][value="Close File"]').nth(index);
    const asked = hxm.expectDialog('confirm', true);
    await Promise.all([page.waitForURL('**/afpcons/ConnectionNumber/00000007/AFPOutcome/*'), closeOdd.click()]);
    assert.match(asked.messages[0], /^Closing a file will close the file for all connections/);
    assert.deepEqual(files(), ['/VOL1/b.txt']);
    assert.equal(await page.locator('input[name="FILENAME"]').count(), 1);
    await expectDoneOnceThenReload(hxm, 'Closed: 1 file');

    const clear = hxm.expectDialog('confirm', true);
    await Promise.all([page.waitForURL('**/afpcons/ConnectionNumber/AFPOutcome/*'), page.click('text=Clear Connection')]);
    assert.match(clear.messages[0], /^Closes all files opened by this connection/);
    assert.deepEqual(connectionNumbers(hxm.store()), [12, 20, 30]);
    assert.deepEqual(await rowNumbers(page), [12, 20, 30]);
    hxm.afpstat('connect', 'newcomer', '10.0.0.9', '--number', '7');
    await expectDoneOnceThenReload(hxm, 'Cleared: connection 7');
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    await hxm.stop();
  }
});

test('an unreadable store shows as an outage, not as an empty server', async () => {
  const hxm = await startConsole({ seed });
  try {
    const { page, baseUrl, database } = hxm;
    // The store's file no longer holds a database.
    for (const suffix of ['-wal', '-shm']) rmSync(database + suffix, { force: true });
    writeFileSync(database, 'not a database, '.repeat(512));
    for (const target of ['/afpcons', '/afpofm']) {
      await page.goto(`${baseUrl}${target}`);
      const failure = page.locator('#listFailure');
      assert.equal(await failure.count(), 1, target);
      assert.match(await failure.textContent(), /could not be read \(status 1: /, target);
      assert.ok(await failure.isVisible(), target);
      assert.equal(await page.getByText('No items.').count(), 0, target);
    }
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    await hxm.stop();
  }
});
