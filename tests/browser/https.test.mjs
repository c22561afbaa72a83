// The console over HTTPS in Chromium, with a certificate made for the test
// and trusted by the browser by its public key alone: the connections page
// renders, over TLS 1.2 or 1.3, and the answer carries HSTS.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createHash, X509Certificate } from 'node:crypto';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { startConsole } from './support.mjs';

// A self-signed ECDSA P-256 certificate for 127.0.0.1; returns its files and
// the base64 SHA-256 of its SubjectPublicKeyInfo, the form Chromium pins.
function makeCertificate(directory) {
  const certificate = path.join(directory, 'console.crt');
  const key = path.join(directory, 'console.key');
  execFileSync('openssl', [
    'req', '-x509', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:P-256', '-nodes',
    '-keyout', key, '-out', certificate, '-days', '2', '-subj', '/CN=127.0.0.1',
    '-addext', 'subjectAltName=IP:127.0.0.1',
  ], { stdio: ['ignore', 'ignore', 'pipe'] });
  const spki = new X509Certificate(readFileSync(certificate)).publicKey.export({ type: 'spki', format: 'der' });
  return { certificate, key, pin: createHash('sha256').update(spki).digest('base64') };
}

test('the connections page over HTTPS, trusting exactly the console\'s key', async () => {
  const directory = mkdtempSync(path.join(tmpdir(), 'hxm-tls-'));
  let hxm;
  try {
    const { certificate, key, pin } = makeCertificate(directory);
    hxm = await startConsole({
      seed: (afpstat) => {
        afpstat('volume', 'VOL1');
        afpstat('connect', 'bob', '10.0.0.2', '--number', '7', '--login-time', '1700000100');
      },
      consoleArgs: ['--tls-cert', certificate, '--tls-key', key],
      browserArgs: [`--ignore-certificate-errors-spki-list=${pin}`],
    });
    const { page, baseUrl } = hxm;
    assert.match(baseUrl, /^https:\/\/127\.0\.0\.1:\d+$/);
    const response = await page.goto(`${baseUrl}/afpcons`);
    assert.equal(response.status(), 200);
    assert.equal(response.headers()['strict-transport-security'], 'max-age=31536000');
    const security = await response.securityDetails();
    assert.match(security.protocol, /^TLS 1\.[23]$/);
    assert.equal(security.subjectName, '127.0.0.1');
    assert.equal(await page.locator('input[value="<closeconn>7</closeconn>"]').count(), 1);
    assert.ok(await page.evaluate(() => window.isSecureContext));
    assert.deepEqual(hxm.unexpectedDialogs(), []);
  } finally {
    if (hxm) await hxm.stop();
    rmSync(directory, { recursive: true, force: true });
  }
});
