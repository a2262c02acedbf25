// Shared by the renewal-service tests and the load test's restart case: a
// real renewal-service process on loopback with a TEST-ONLY TLS certificate
// made here, a private SQLite file, and renewal messages made by OpenSSL
// (openssl cms -sign) with certificates of the project's TEST-ONLY authorities.
'use strict';
const { spawn, spawnSync, execFileSync } = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const https = require('https');
const os = require('os');
const path = require('path');

const root = path.resolve(__dirname, '../../..');
const fixtures = path.join(root, 'tests/fixtures');
const DAY = 86400;

function openssl(args, input) {
  const run = spawnSync('openssl', args, { input, maxBuffer: 64 << 20 });
  if (run.status !== 0) throw new Error(`openssl ${args.join(' ')}: ${run.stderr}`);
  return run.stdout;
}

function stamp(seconds) {
  return new Date(seconds * 1000).toISOString().replace(/[-:T]/g, '').slice(0, 14) + 'Z';
}

// A private folder with the service's TLS certificate and the renewal
// certificates: "eligible" (valuedoor-1, ends in 10 days) and "other"
// (ro-mendal without its extension: not eligible).
function makeWork(name) {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), `renewal-${name}-`));
  openssl(['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '2', '-subj', '/O=KorvelTool TEST-ONLY/CN=127.0.0.1',
           '-keyout', path.join(work, 'tls.key'), '-out', path.join(work, 'tls.pem'),
           '-addext', 'subjectAltName=IP:127.0.0.1']);
  const now = Math.floor(Date.now() / 1000);
  const certs = { eligible: ['valuedoor-1', 'Service Test Taro', -355, 10], other: ['ro-mendal', 'Other Taro', -300, 10] };
  for (const [file, [ca, cn, start, end]] of Object.entries(certs)) {
    execFileSync(path.join(fixtures, 'make-cert'), ['--ca', ca, '--cn', cn, '--out', path.join(work, `${file}.der`),
      '--start', stamp(now + start * DAY), '--end', stamp(now + end * DAY)]);
    openssl(['x509', '-inform', 'DER', '-in', path.join(work, `${file}.der`), '-out', path.join(work, `${file}.pem`)]);
  }
  return work;
}

function trustArgs() {
  return ['valuedoor-1', 'valuedoor-2', 'valuedoor-3', 'ro-mendal']
    .flatMap((ca) => ['--trust', path.join(fixtures, 'authorities', `${ca}.pem`)]);
}

// Starts the service on a free loopback port; resolves once it listens.
// env: extra environment (faketime for the expiry case).
function startService(binary, work, { env = {}, database = path.join(work, 'renewal.sqlite') } = {}) {
  const args = ['--listen', '127.0.0.1:0', '--tls-cert', path.join(work, 'tls.pem'),
                '--tls-key', path.join(work, 'tls.key'), '--db', database, ...trustArgs()];
  const child = spawn(binary, args, { env: { ...process.env, ...env }, stdio: ['ignore', 'pipe', 'pipe'] });
  const log = fs.createWriteStream(path.join(work, 'service.log'), { flags: 'a' });
  child.stderr.pipe(log);
  return new Promise((resolve, reject) => {
    let seen = '';
    const timer = setTimeout(() => reject(new Error(`the service did not start: ${seen}`)), 20000);
    child.stdout.on('data', (chunk) => {
      log.write(chunk);
      seen += chunk;
      const match = /listening on 127\.0\.0\.1:(\d+) .* origin (\S+),/.exec(seen);
      if (match && !child.port) {
        clearTimeout(timer);
        child.port = Number(match[1]);
        child.origin = match[2];
        resolve(child);
      }
    });
    child.on('exit', (code) => reject(new Error(`the service ended (${code}) before listening: ${seen}`)));
  });
}

function stopService(child) {
  return new Promise((resolve) => {
    if (child.exitCode !== null) return resolve(child.exitCode);
    child.once('exit', (code) => resolve(code));
    child.kill('SIGTERM');
  });
}

// One HTTPS request; resolves {status, headers, body (text), json}.
function request(service, work, method, urlPath, { body, headers = {} } = {}) {
  return new Promise((resolve, reject) => {
    const data = body === undefined ? undefined : Buffer.isBuffer(body) ? body : Buffer.from(body);
    const options = {
      host: '127.0.0.1', port: service.port, method, path: urlPath, ca: fs.readFileSync(path.join(work, 'tls.pem')),
      headers: { ...headers, ...(data ? { 'Content-Type': 'application/json', 'Content-Length': data.length } : {}) },
      agent: false,
    };
    if (method === 'POST' && !data) options.headers['Content-Length'] = 0;
    const req = https.request(options, (response) => {
      const chunks = [];
      response.on('data', (chunk) => chunks.push(chunk));
      response.on('end', () => {
        const text = Buffer.concat(chunks);
        let json = null;
        try { json = JSON.parse(text.toString('utf8')); } catch (notJson) { /* page files */ }
        resolve({ status: response.statusCode, headers: response.headers, body: text, json });
      });
    });
    req.on('error', reject);
    if (data) req.write(data);
    req.end();
  });
}

// POST /challenge: {data, serverDate, cookie ("korvel-session=..."), setCookie}.
async function challenge(service, work) {
  const answer = await request(service, work, 'POST', '/challenge', { body: '{}' });
  if (answer.status !== 200) throw new Error(`challenge: ${answer.status} ${answer.body}`);
  const setCookie = (answer.headers['set-cookie'] || [])[0] || '';
  return { ...answer.json, setCookie, cookie: setCookie.split(';')[0] };
}

// base64 with CR LF after every 64 characters, the last line too, as the
// control's outputs are.
function platformBase64(bytes) {
  return bytes.toString('base64').replace(/.{1,64}/g, (line) => `${line}\r\n`);
}

// The page's two outputs for a text, signed by OpenSSL with a certificate of
// the work folder (and the TEST-ONLY leaf key).
function sign(work, certName, text, { noattr = false } = {}) {
  const input = path.join(work, 'content.bin');
  fs.writeFileSync(input, Buffer.from(text, 'utf16le'));
  const args = ['cms', '-sign', '-nodetach', '-binary', '-md', 'sha256', '-in', input, '-signer',
                path.join(work, `${certName}.pem`), '-inkey', path.join(fixtures, 'leaf.key'), '-outform', 'DER'];
  if (noattr) args.push('-noattr');
  return {
    issuerDN: platformBase64(openssl(args)),
    certData: platformBase64(fs.readFileSync(path.join(work, `${certName}.der`))),
  };
}

function renew(service, work, cookie, outputs) {
  return request(service, work, 'POST', '/renew',
                 { body: JSON.stringify(outputs), headers: cookie ? { Cookie: cookie } : {} });
}

// The rows of the renewals table, read with the sqlite3 command.
function rows(database) {
  const run = spawnSync('sqlite3', ['-json', database,
    'SELECT serial, subject, issuer, not_after, approved_at, challenge_hash FROM renewals ORDER BY id']);
  if (run.status !== 0) throw new Error(`sqlite3: ${run.stderr}`);
  const text = run.stdout.toString().trim();
  return text ? JSON.parse(text) : [];
}

function certificateFacts(work, certName) {
  const pem = path.join(work, `${certName}.pem`);
  const serial = openssl(['x509', '-in', pem, '-noout', '-serial']).toString().trim().replace(/^serial=/, '');
  return { serial };
}

function sha256Hex(text) { return crypto.createHash('sha256').update(text, 'utf8').digest('hex'); }

module.exports = { root, fixtures, makeWork, startService, stopService, request, challenge, sign, renew, rows,
                   certificateFacts, sha256Hex, platformBase64, trustArgs };
