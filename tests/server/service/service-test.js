// The renewal service's cases, one group per CTest test:
//   node service-test.js RENEWAL_SERVICE_BINARY GROUP
// Groups: page, approval, challenge-errors, replay, bad-requests, options, restart.
// Prints "ok: ..." or "FAIL: ..." per check and "SERVICE-TEST: passed" at the end.
'use strict';
const assert = require('assert');
const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const lib = require('./service-lib.js');

const [binary, group] = process.argv.slice(2);
let failures = 0;
function check(what, condition, detail = '') {
  if (condition) {
    console.log(`ok: ${what}`);
  } else {
    console.log(`FAIL: ${what} ${detail}`);
    failures++;
  }
}
function checkReason(what, answer, status, reason) {
  check(`${what}: ${status} ${reason}`, answer.status === status && answer.json && answer.json.approved === false &&
        answer.json.reason === reason, `(got ${answer.status} ${answer.body.toString().slice(0, 200)})`);
}

// A service for one group, stopped afterwards whatever happens.
async function withService(name, body, options = {}) {
  const work = lib.makeWork(name);
  const service = await lib.startService(binary, work, options);
  try {
    await body(service, work);
  } finally {
    const code = await lib.stopService(service);
    check('the service stops on SIGTERM with exit status 0', code === 0, `(${code})`);
  }
  return work;
}

const groups = {
  async page() {
    await withService('page', async (service, work) => {
      const page = await lib.request(service, work, 'GET', '/');
      const html = page.body.toString('utf8');
      check('GET / is the Japanese renewal page', page.status === 200 && html.includes('lang="ja"') &&
            html.includes('証明書の更新'));
      check('the page is HTML in UTF-8', page.headers['content-type'] === 'text/html; charset=utf-8');
      check('the page loads /korvel.js and its own script', html.includes('<script src="/korvel.js">') &&
            html.includes('<script src="/renewal.js"'));
      const policy = page.headers['content-security-policy'] || '';
      check('the page allows scripts of its own origin only', /script-src 'self'(;|$)/.test(policy) &&
            /default-src 'none'/.test(policy) && !policy.includes('unsafe'));
      check('security headers', page.headers['x-content-type-options'] === 'nosniff' &&
            page.headers['x-frame-options'] === 'DENY' && page.headers['cache-control'] === 'no-store');
      const library = await lib.request(service, work, 'GET', '/korvel.js');
      check('GET /korvel.js is pagelib/korvel.js', library.status === 200 &&
            library.body.equals(fs.readFileSync(path.join(lib.root, 'pagelib/korvel.js'))));
      check('korvel.js is JavaScript', library.headers['content-type'] === 'text/javascript; charset=utf-8');
      for (const file of ['/renewal.js', '/renewal.css']) {
        check(`GET ${file}`, (await lib.request(service, work, 'GET', file)).status === 200);
      }
      const missing = await lib.request(service, work, 'GET', '/nothing');
      check('an unknown path is 404', missing.status === 404 && missing.json && missing.json.error === 'not-found');
      const wrongMethod = await lib.request(service, work, 'GET', '/renew');
      check('GET /renew is not served', wrongMethod.status === 404);
    });
  },

  async approval() {
    await withService('approval', async (service, work) => {
      const before = Date.now();
      const issued = await lib.challenge(service, work);
      check('the challenge holds the service origin', issued.data.includes(`origin=${service.origin};`), issued.data);
      check('the challenge holds 256 random bits', /nonce=[0-9a-f]{64}$/.test(issued.data), issued.data);
      const serverDate = Number(issued.serverDate);
      check('serverDate is the time in decimal milliseconds', /^\d+$/.test(issued.serverDate) &&
            serverDate >= before - 1000 && serverDate <= Date.now() + 1000, issued.serverDate);
      const attributes = issued.setCookie.split(';').map((part) => part.trim());
      check('the session cookie is HttpOnly, Secure and SameSite=Strict', /^korvel-session=[0-9a-f]{64}$/.test(attributes[0]) &&
            attributes.includes('HttpOnly') && attributes.includes('Secure') && attributes.includes('SameSite=Strict'),
            issued.setCookie);
      const second = await lib.challenge(service, work);
      check('every challenge is new, in a new session', second.data !== issued.data && second.cookie !== issued.cookie);

      const answer = await lib.renew(service, work, issued.cookie, lib.sign(work, 'eligible', issued.data));
      const facts = lib.certificateFacts(work, 'eligible');
      check('a signed challenge is approved with the serial and subject', answer.status === 200 && answer.json.approved === true &&
            answer.json.serial === facts.serial && answer.json.subject.includes('CN=Service Test Taro'),
            answer.body.toString());
      const noattr = await lib.renew(service, work, second.cookie, lib.sign(work, 'eligible', second.data, { noattr: true }));
      check('a message without signed attributes is approved too', noattr.json && noattr.json.approved === true,
            noattr.body.toString());
      const table = lib.rows(path.join(work, 'renewal.sqlite'));
      check('each approval is one row', table.length === 2, JSON.stringify(table));
      const row = table[0] || {};
      check('the row holds serial, subject and issuer', row.serial === facts.serial &&
            row.subject === answer.json.subject && /CN=Korvel Test ValueDoor CA 1/.test(row.issuer), JSON.stringify(row));
      check('the row holds notAfter and the time of approval', /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/.test(row.not_after) &&
            Math.abs(Date.parse(row.approved_at) - Date.now()) < 60000, JSON.stringify(row));
      check("the row holds the challenge's SHA-256", row.challenge_hash === lib.sha256Hex(issued.data));

      const other = await lib.challenge(service, work);
      const refused = await lib.renew(service, work, other.cookie, lib.sign(work, 'other', other.data));
      checkReason("the verifier's word reaches the page", refused, 200, 'not-eligible');
      check('a refusal writes no row', lib.rows(path.join(work, 'renewal.sqlite')).length === 2);
    });
  },

  async 'challenge-errors'() {
    const clock = path.join(require('os').tmpdir(), `renewal-clock-${process.pid}`);
    fs.writeFileSync(clock, '+0\n');
    const faketime = { LD_PRELOAD: '/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1',
                       FAKETIME_TIMESTAMP_FILE: clock, FAKETIME_NO_CACHE: '1' };
    try {
      await withService('challenge-errors', async (service, work) => {
        const issued = await lib.challenge(service, work);
        const outputs = lib.sign(work, 'eligible', issued.data);
        checkReason('no session cookie', await lib.renew(service, work, '', outputs), 200, 'no-challenge');
        checkReason('a session the service never gave', await lib.renew(service, work,
          `korvel-session=${'ab'.repeat(32)}`, outputs), 200, 'no-challenge');
        checkReason('a cookie that is no session token', await lib.renew(service, work,
          'korvel-session=../../x', outputs), 200, 'no-challenge');

        // 4 min 50 s later the challenge still holds; another 20 s and it has expired.
        const late = await lib.challenge(service, work);
        fs.writeFileSync(clock, '+290\n');
        const inTime = await lib.renew(service, work, issued.cookie, outputs);
        check('a challenge used 4:50 after it was issued is approved', inTime.json && inTime.json.approved === true,
              inTime.body.toString());
        fs.writeFileSync(clock, '+310\n');
        checkReason('a challenge used 5:10 after it was issued', await lib.renew(service, work, late.cookie,
          lib.sign(work, 'eligible', late.data)), 200, 'challenge-expired');
        checkReason('a used challenge', await lib.renew(service, work, issued.cookie, outputs), 200, 'challenge-used');
        fs.writeFileSync(clock, '+0\n');

        // Another session's signature: judged against this session's challenge.
        const mine = await lib.challenge(service, work);
        const theirs = await lib.challenge(service, work);
        checkReason("another session's signed challenge", await lib.renew(service, work, mine.cookie,
          lib.sign(work, 'eligible', theirs.data)), 200, 'content-mismatch');
        checkReason('the wrong-session attempt used this session up', await lib.renew(service, work, mine.cookie,
          lib.sign(work, 'eligible', mine.data)), 200, 'challenge-used');
        check('only the one in-time approval is a row', lib.rows(path.join(work, 'renewal.sqlite')).length === 1);
      }, { env: faketime });
    } finally {
      fs.rmSync(clock, { force: true });
    }
  },

  async replay() {
    await withService('replay', async (service, work) => {
      const issued = await lib.challenge(service, work);
      const outputs = lib.sign(work, 'eligible', issued.data);
      const first = await lib.renew(service, work, issued.cookie, outputs);
      check('the renewal is approved', first.json && first.json.approved === true, first.body.toString());
      // The same request again, at once and many times in parallel.
      const again = await Promise.all(Array.from({ length: 8 }, () => lib.renew(service, work, issued.cookie, outputs)));
      check('every replay in the same session is challenge-used', again.every((a) => a.json && a.json.reason === 'challenge-used'),
            again.map((a) => a.body.toString()).join(' '));
      const fresh = await lib.challenge(service, work);
      checkReason('a replay in a new session', await lib.renew(service, work, fresh.cookie, outputs), 200, 'content-mismatch');
      checkReason('a replay without a session', await lib.renew(service, work, '', outputs), 200, 'no-challenge');

      // Two requests with one fresh challenge at the same moment: one approval.
      const race = await lib.challenge(service, work);
      const raced = lib.sign(work, 'eligible', race.data);
      const both = await Promise.all([1, 2, 3, 4].map(() => lib.renew(service, work, race.cookie, raced)));
      const approved = both.filter((a) => a.json && a.json.approved === true).length;
      check('simultaneous uses of one challenge approve once', approved === 1 &&
            both.filter((a) => a.json && a.json.reason === 'challenge-used').length === 3,
            both.map((a) => a.body.toString()).join(' '));
      check('the rows are the two approvals', lib.rows(path.join(work, 'renewal.sqlite')).length === 2);
    });
  },

  async 'bad-requests'() {
    await withService('bad-requests', async (service, work) => {
      const issued = await lib.challenge(service, work);
      const outputs = lib.sign(work, 'eligible', issued.data);
      const cookie = { Cookie: issued.cookie };
      const renewBodies = [
        ['broken JSON', '{"issuerDN": "x", "certData": '],
        ['not JSON at all', 'issuerDN=x&certData=y'],
        ['an empty body', ''],
        ['a JSON array', JSON.stringify([outputs.issuerDN, outputs.certData])],
        ['certData missing', JSON.stringify({ issuerDN: outputs.issuerDN })],
        ['issuerDN not text', JSON.stringify({ issuerDN: 12, certData: outputs.certData })],
        ['trailing garbage', `${JSON.stringify(outputs)} x`],
      ];
      for (const [what, body] of renewBodies) {
        checkReason(`/renew with ${what}`, await lib.request(service, work, 'POST', '/renew', { body, headers: cookie }),
                    400, 'malformed');
      }
      const big = Buffer.alloc(1024 * 1024 + 1, 'A');
      checkReason('/renew with a body over 1 MiB', await lib.request(service, work, 'POST', '/renew',
        { body: big, headers: cookie }), 400, 'too-large');
      // Exactly 1 MiB is read and judged (here: no session).
      const padding = 1024 * 1024 - JSON.stringify({ issuerDN: '', certData: '' }).length;
      const exact = JSON.stringify({ issuerDN: 'A'.repeat(padding), certData: '' });
      checkReason('/renew with a body of exactly 1 MiB is read', await lib.request(service, work, 'POST', '/renew',
        { body: exact }), 200, 'no-challenge');
      for (const [what, body] of [['an object with fields', '{"data": "mine"}'], ['broken JSON', '{'], ['a list', '[]']]) {
        const answer = await lib.request(service, work, 'POST', '/challenge', { body });
        check(`/challenge with ${what} is 400 malformed`, answer.status === 400 && answer.json.reason === 'malformed' &&
              !answer.headers['set-cookie'], answer.body.toString());
      }
      const empty = await lib.request(service, work, 'POST', '/challenge');
      check('/challenge with an empty body is served', empty.status === 200 && empty.json.data);
      const crossChallenge = await lib.request(service, work, 'POST', '/challenge',
        { body: '{}', headers: { Origin: 'https://evil.example' } });
      check('/challenge from a page of another origin is 403', crossChallenge.status === 403);
      checkReason('/renew from a page of another origin', await lib.request(service, work, 'POST', '/renew',
        { body: JSON.stringify(outputs), headers: { ...cookie, Origin: 'https://evil.example' } }), 403, 'origin-not-allowed');
      const sameOrigin = await lib.request(service, work, 'POST', '/renew',
        { body: JSON.stringify(outputs), headers: { ...cookie, Origin: service.origin } });
      check('after every refused request the challenge is still unused and approved', sameOrigin.json &&
            sameOrigin.json.approved === true, sameOrigin.body.toString());
      const alive = await lib.request(service, work, 'GET', '/');
      check('the service still answers', alive.status === 200);
    });
  },

  async options() {
    const work = lib.makeWork('options');
    const trust = lib.trustArgs();
    const cases = [
      ['an unknown option', ['--frobnicate', ...trust], /unknown option --frobnicate/],
      ['no --trust', [], /--trust/],
      ['--listen without a port', ['--listen', '127.0.0.1', ...trust], /--listen/],
      ['--listen with port 65536', ['--listen', '127.0.0.1:65536', ...trust], /--listen/],
      ['--listen without a value', [...trust, '--listen'], /needs a value/],
      ['--tls-cert without --tls-key', ['--tls-cert', path.join(work, 'tls.pem'), ...trust], /go together/],
      ['a trust file that does not exist', ['--trust', path.join(work, 'missing.pem')], /missing\.pem/],
      ['a known key identifier of 39 digits', ['--known-key-id', 'A'.repeat(39), ...trust], /./],
      ['a TLS key that is no key', ['--tls-cert', path.join(work, 'tls.pem'), '--tls-key', path.join(work, 'tls.pem'),
                                    '--listen', '127.0.0.1:0', '--db', path.join(work, 'x.sqlite'), ...trust], /TLS/],
      ['a database in a missing folder', ['--db', path.join(work, 'no/such/folder.sqlite'), ...trust], /database/],
      ['--origin with a path', ['--origin', 'https://renew.example.jp/renew', ...trust], /--origin/],
    ];
    for (const [what, args, message] of cases) {
      const run = spawnSync(binary, args, { timeout: 10000 });
      const stderr = run.stderr.toString();
      check(`${what}: exit 2 with a message`, run.status === 2 && message.test(stderr), `(${run.status}: ${stderr})`);
    }
    fs.rmSync(work, { recursive: true, force: true });
  },

  async restart() {
    const work = lib.makeWork('restart');
    const database = path.join(work, 'renewal.sqlite');
    let service = await lib.startService(binary, work, { database });
    const issued = await lib.challenge(service, work);
    const used = await lib.challenge(service, work);
    const usedOutputs = lib.sign(work, 'eligible', used.data);
    check('approved before the restart', (await lib.renew(service, work, used.cookie, usedOutputs)).json.approved === true);
    await lib.stopService(service);
    service = await lib.startService(binary, work, { database });
    try {
      const outputs = lib.sign(work, 'eligible', issued.data);
      const after = await lib.renew(service, work, issued.cookie, outputs);
      check('a challenge issued before a restart is kept and approved after it', after.json && after.json.approved === true,
            after.body.toString());
      checkReason('a challenge used before the restart', await lib.renew(service, work, used.cookie, usedOutputs),
                  200, 'challenge-used');
      await lib.stopService(service);
      service = await lib.startService(binary, work, { database });
      checkReason('after a second restart, the kept challenge', await lib.renew(service, work, issued.cookie, outputs),
                  200, 'challenge-used');
      check('two approvals, two rows', lib.rows(database).length === 2);
    } finally {
      await lib.stopService(service);
    }
    fs.rmSync(work, { recursive: true, force: true });
  },
};

async function main() {
  if (!groups[group]) {
    console.log(`usage: service-test.js BINARY ${Object.keys(groups).join('|')}`);
    process.exit(2);
  }
  await groups[group]();
  console.log(failures === 0 ? 'SERVICE-TEST: passed' : `SERVICE-TEST: ${failures} failed`);
  process.exit(failures === 0 ? 0 : 1);
}

main().catch((error) => {
  console.log(`FAIL: ${error.stack || error}`);
  process.exit(1);
});
