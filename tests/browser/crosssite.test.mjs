// A page on another loopback origin tries to clear a connection in the
// browser's name (link, script navigation, auto-submitted form): the console
// refuses each before the plug-in acts, and the connection stays. The same
// clear from the console's own list page still works.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import { startConsole } from './support.mjs';

function seed(afpstat) {
  afpstat('volume', 'VOL1');
  afpstat('connect', 'bob', '10.0.0.2', '--number', '7', '--login-time', '1700000100');
  afpstat('connect', 'carol', '10.0.0.3', '--number', '12', '--login-time', '1700000300');
}

// The hostile pages, each aimed at connection 7 of the console at `target`.
function hostilePages(target) {
  const clearUrl = `${target}/afpcons/AFPCloseConnections/%3Ccloseconn%3E7%3C/closeconn%3E`;
  return {
    '/link': `<a id="prize" href="${clearUrl}">You have won</a>`,
    '/script': `<script>location = '${clearUrl}';</script>`,
    '/form':
      `<form method="POST" action="${target}/afpcons/AFPCloseConnections">` +
      '<input type="hidden" name="CONNECTIONID" value="&lt;closeconn&gt;7&lt;/closeconn&gt;">' +
      '</form><script>document.forms[0].submit();</script>',
  };
}

// Serves the hostile pages on 127.0.0.2, another site than the console's
// 127.0.0.1 as far as the browser is concerned.
async function startHostileSite(target) {
  const pages = hostilePages(target);
  const server = http.createServer((request, response) => {
    const body = pages[request.url];
    response.writeHead(body ? 200 : 404, { 'Content-Type': 'text/html; charset=utf-8' });
    response.end(`<!DOCTYPE html><html><body>${body || ''}</body></html>`);
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.2', resolve);
  });
  return { server, origin: `http://127.0.0.2:${server.address().port}` };
}

function connectionNumbers(store) {
  return store.connections.map((c) => c.number).sort((a, b) => a - b);
}

test('another site cannot clear a connection; the console\'s own page can', async () => {
  const hxm = await startConsole({ seed });
  const hostile = await startHostileSite(hxm.baseUrl);
  try {
    const { page, baseUrl } = hxm;
    const attempts = [
      ['link', (p) => p.goto(`${hostile.origin}/link`).then(() => p.click('#prize'))],
      ['script navigation', (p) => p.goto(`${hostile.origin}/script`)],
      ['form post', (p) => p.goto(`${hostile.origin}/form`)],
    ];
    for (const [how, attempt] of attempts) {
      const answered = page.waitForResponse((r) => r.url().startsWith(`${baseUrl}/afpcons`));
      await attempt(page);
      const response = await answered;
      assert.equal(response.status(), 403, how);
      await page.waitForURL(`${baseUrl}/**`);
      assert.match(await page.textContent('body'), /came from another site and was not carried out/, how);
      assert.equal(await page.locator('a[href="/"]').count(), 1, how);
      assert.deepEqual(connectionNumbers(hxm.store()), [7, 12], how);
    }

    // From the console's own list page, the same clear is carried out.
    await page.goto(`${baseUrl}/afpcons`);
    await page.check('input[value="<closeconn>7</closeconn>"]');
    const confirmed = hxm.expectDialog('confirm', true);
    await Promise.all([page.waitForURL('**/afpcons/ConnectionNumber/AFPOutcome/*'), page.click('input[type="submit"]')]);
    assert.equal(confirmed.messages.length, 1);
    assert.deepEqual(connectionNumbers(hxm.store()), [12]);
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    await hxm.stop(); // the browser first: its keep-alive connections hold the server
    hostile.server.closeAllConnections();
    await new Promise((resolve) => hostile.server.close(resolve));
  }
});
