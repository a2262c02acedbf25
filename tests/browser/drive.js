// Drives a headless browser (browsers.js) with the unpacked extension through
// the cases of browser-test; the same table of cases for every browser. Pages
// are served by this process on loopback addresses; the pages of each host
// build:
//   unlisted            not on the extension's list: no content script
//   wildcardOwnDomain   the browser's pattern of a "*." entry takes it, the
//                       background's rule does not
//   otherPort           a listed host on another port: Chrome's pattern names
//                       the port, Firefox's cannot (it matches every port),
//                       and the background's rule does not take it
//   hostRefuses         listed for the extension, not served by the host
//                       (unlocked: an http origin; locked: not on its list)
//   renewal             listed for both: a renewal through the host
// Each page loads korvel.js and calls KorvelTool.signRenewal. Findings go
// to stdout, one "CASE name: ..." line each, with the number of host
// processes the browser started meanwhile (WORK_DIR/host-starts gets a line
// with the host's arguments for each), followed by "ok: ..." or "FAIL: ...";
// the renewal's outputs are written to RESULT_FILE in the form
// demo/check-renewal reads.
//   node drive.js NODE_TOOLS chromium|firefox EXTENSION_DIR PROFILE_DIR TLS_DIR RESULT_FILE SERVER_MS \
//     unlocked|locked WORK_DIR EXTENSION_ID
'use strict';
const fs = require('fs');
const http = require('http');
const https = require('https');
const path = require('path');
const browsers = require('./browsers.js');

const [nodeTools, browserName, extensionDir, profileDir, tlsDir, resultFile, serverMs, hostBuild, workDir,
       expectedExtensionId] = process.argv.slice(2);
const root = path.resolve(__dirname, '../..');
const hostStartsFile = path.join(workDir, 'host-starts');
// While this file exists the host wrapper ends before starting the host.
const hostFailsFile = path.join(workDir, 'host-fails');
const PORT = 8765;
const OTHER_PORT = 8766;
const LOCKED_PORT = 8443;

const PAGES = {
  unlocked: {
    unlisted: `https://127.0.0.2:${PORT}/`,
    wildcardOwnDomain: `https://korvel.localhost:${PORT}/`,
    otherPort: `https://127.0.0.1:${OTHER_PORT}/`,
    hostRefuses: `http://127.0.0.3:${PORT}/`,
    renewal: `https://127.0.0.1:${PORT}/`,
  },
  locked: {
    unlisted: `https://127.0.0.2:${PORT}/`,
    wildcardOwnDomain: `https://sites.korvel.test:${LOCKED_PORT}/`,
    otherPort: `https://a.sites.korvel.test:${OTHER_PORT}/`,
    hostRefuses: `https://stale.korvel.test:${LOCKED_PORT}/`,
    renewal: `https://a.sites.korvel.test:${LOCKED_PORT}/`,
  },
}[hostBuild];
const DATA = '\u66f4\u65b0\u7533\u8acb: renewal request 2026';
const REQUEST = {
  title: '\u8a3c\u660e\u66f8\u306e\u66f4\u65b0',
  text: '\u66f4\u65b0\u3059\u308b\u8a3c\u660e\u66f8\u3092\u9078\u3093\u3067\u304f\u3060\u3055\u3044\u3002',
  serverDate: serverMs,
  data: DATA,
};

// The cases that answer without a dialog, in order (a dialog would hold
// their answers); each expects the fields given, per browser where they
// differ. The renewal and the call made while it runs come after them.
const REFUSED_CASES = [
  { name: 'unlisted-origin', page: 'unlisted', expect: { error: 'not-installed', marked: false, hosts: 0 } },
  { name: 'bad-request', page: 'unlisted', fields: { title: 'x', text: 'y', serverDate: serverMs },
    expect: { error: 'bad-request', hosts: 0 } },
  { name: 'wildcard-own-domain', page: 'wildcardOwnDomain',
    expect: { error: 'origin-not-allowed', marked: true, hosts: 0 } },
  { name: 'listed-host-other-port', page: 'otherPort',
    expect: { chromium: { error: 'not-installed', marked: false, hosts: 0 },
              firefox: { error: 'origin-not-allowed', marked: true, hosts: 0 } } },
  { name: 'host-refuses', page: 'hostRefuses', expect: { error: 'origin-not-allowed', marked: true, hosts: 1 } },
  { name: 'host-ends-without-answer', page: 'renewal', hostFails: true,
    expect: { error: 'host-unavailable', marked: true, hosts: 1 } },
];
const BUSY_CASE = { name: 'second-call-while-busy', expect: { error: 'busy', hosts: 0 } };
const RENEWAL_CASE = { name: 'renewal', expect: { error: null, resultCode: 0, hosts: 1 } };

let failures = 0;

const PAGE = '<!DOCTYPE html><html><head><meta charset="utf-8"><title>renewal</title>' +
             '<script src="/korvel.js"></script></head><body>renewal test page</body></html>';

function serve(request, response) {
  if (request.url === '/korvel.js') {
    response.writeHead(200, { 'Content-Type': 'text/javascript; charset=utf-8' });
    response.end(fs.readFileSync(path.join(root, 'pagelib/korvel.js')));
  } else {
    response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
    response.end(PAGE);
  }
}

function listen(server, address, port) {
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, address, resolve);
  });
}

async function startServers() {
  const tls = { key: fs.readFileSync(path.join(tlsDir, 'server.key')), cert: fs.readFileSync(path.join(tlsDir, 'server.pem')) };
  const servers = [];
  for (const [secure, address, port] of [[true, '127.0.0.1', PORT], [true, '127.0.0.2', PORT], [false, '127.0.0.3', PORT],
                                         [true, '127.0.0.1', OTHER_PORT], [true, '127.0.0.1', LOCKED_PORT]]) {
    const server = secure ? https.createServer(tls, serve) : http.createServer(serve);
    await listen(server, address, port);
    servers.push(server);
  }
  return servers;
}

function hostStartLines() {
  return fs.existsSync(hostStartsFile) ? fs.readFileSync(hostStartsFile, 'utf8').split('\n').slice(0, -1) : [];
}

// What the page's call gives: {error} with the error's code, or the result;
// and whether the content script marked the document.
async function callFromPage(page, fields) {
  const startsBefore = hostStartLines().length;
  const outcome = await page.evaluate((request) => new Promise((resolve) => {
    const started = Date.now();
    KorvelTool.signRenewal(request, (error, result) => resolve({
      error: error ? error.code : null, result: result || null, milliseconds: Date.now() - started,
      marked: document.documentElement.getAttribute('data-korvel-extension') === 'ready',
    }));
  }), fields);
  outcome.hosts = hostStartLines().length - startsBefore;
  outcome.resultCode = outcome.result ? outcome.result.resultCode : '-';
  return outcome;
}

function expectationOf(testCase) {
  return testCase.expect[browserName] || testCase.expect;
}

function report(testCase, outcome) {
  const line = `CASE ${testCase.name}: error=${outcome.error} marked=${outcome.marked} ` +
               `resultCode=${outcome.resultCode} hosts=${outcome.hosts} ms=${outcome.milliseconds}`;
  console.log(line);
  const expected = expectationOf(testCase);
  const wrong = Object.keys(expected).filter((field) => outcome[field] !== expected[field]);
  if (wrong.length === 0) {
    console.log(`ok: ${line}`);
  } else {
    failures += 1;
    console.log(`FAIL: ${line}: expected ${wrong.map((field) => `${field}=${expected[field]}`).join(' ')}`);
  }
}

function check(what, held) {
  if (!held) failures += 1;
  console.log(`${held ? 'ok' : 'FAIL'}: ${what}`);
}

function hex8(n) { return '0x' + (n >>> 0).toString(16).padStart(8, '0'); }
function codeUnits(text) {
  return Array.from({ length: text.length }, (_, i) => text.charCodeAt(i).toString(16).padStart(4, '0')).join(' ');
}

// The page script's output format (demo/renewal-page.js) for check-renewal.
function writeResult(result) {
  const lines = [`RESULT ${hex8(result.resultCode)}`, `DATA-UTF16 ${codeUnits(DATA)}`];
  for (const [name, text] of [['IssuerDN', result.issuerDN], ['CertData', result.certData]]) {
    lines.push(`BEGIN ${name}`, text === undefined ? '' : text, `END ${name}`);
  }
  lines.push('PAGE-END');
  fs.writeFileSync(resultFile, lines.join('\n') + '\n');
}

// browser-test makes this file once the host's dialog is on the screen; a
// renewal that answered without one need not be waited for.
async function dialogShown(call) {
  const mark = `${resultFile}.dialog`;
  let answered = false;
  call.then(() => { answered = true; });
  for (let i = 0; i < 600 && !answered && !fs.existsSync(mark); i++) {
    await new Promise((resolve) => setTimeout(resolve, 200));
  }
}

async function openPage(browser, url) {
  const page = await browser.newPage();
  await page.goto(url, { waitUntil: 'load' });
  return page;
}

// The arguments each browser starts its host with: Chrome and Edge the
// caller's origin, Firefox the manifest's path and the add-on's ID.
function isOurCaller(line) {
  if (browserName === 'chromium') return line === `chrome-extension://${expectedExtensionId}/`;
  const [manifest, id, more] = line.split(' ');
  return more === undefined && id === expectedExtensionId &&
         manifest === path.join(workDir, 'home/.mozilla/native-messaging-hosts/com.korvel.renewal.json');
}

async function runRefusedCase(browser, testCase) {
  const page = await openPage(browser, PAGES[testCase.page]);
  if (testCase.hostFails) fs.writeFileSync(hostFailsFile, '');
  try {
    report(testCase, await callFromPage(page, testCase.fields || REQUEST));
  } finally {
    fs.rmSync(hostFailsFile, { force: true });
    await page.close();
  }
}

// The renewal; a second call from the same tab while the dialog is open.
async function runRenewal(browser) {
  const page = await openPage(browser, PAGES.renewal);
  const first = callFromPage(page, REQUEST);
  console.log('SIGNING');
  await dialogShown(first);
  report(BUSY_CASE, await callFromPage(page, REQUEST));
  const signed = await first;
  report(RENEWAL_CASE, signed);
  console.log(`RENEWAL-MS ${signed.milliseconds}`);
  if (signed.result) writeResult(signed.result);
  await page.close();
}

async function main() {
  const servers = await startServers();
  const names = Object.values(PAGES).map((url) => new URL(url).hostname).filter((host) => !/^[0-9.]+$/.test(host));
  const browser = await browsers[browserName]({ nodeTools, extensionDir, profileDir, home: path.join(workDir, 'home'), names });
  try {
    check(`the extension's ID is ${expectedExtensionId} (${browser.extensionId})`,
          browser.extensionId === expectedExtensionId);
    for (const testCase of REFUSED_CASES) await runRefusedCase(browser, testCase);
    await runRenewal(browser);
    const starts = hostStartLines();
    check(`every host start names the extension (${starts.length}: ${starts[0]})`, starts.every(isOurCaller));
  } finally {
    await browser.close();
    for (const server of servers) server.close();
  }
  console.log(`DRIVE-END ${failures} failed`);
}

main().catch((error) => {
  console.log(`DRIVE-ERROR ${error.stack || error}`);
  process.exit(1);
});
