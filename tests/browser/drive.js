// Drives headless Chromium with the unpacked extension through the cases of
// browser-test. Pages are served by this process on loopback addresses
// (every *.korvel.test name is 127.0.0.1); the pages of each host build:
//   unlisted            not on the extension's list: no content script
//   wildcard-own-domain the Chrome pattern of a "*." entry takes it, the
//                       worker's rule does not
//   host-refuses        listed for the extension, not served by the host
//                       (unlocked: an http origin; locked: not on its list)
//   renewal             listed for both: a renewal through the host
// Each page loads korvel.js and calls KorvelTool.signRenewal. Findings go
// to stdout, one "CASE name: ..." line each, with the number of host
// processes the browser started meanwhile (HOST_STARTS_FILE gets a line
// for each); the renewal's outputs are written to RESULT_FILE in the form
// demo/check-renewal reads.
//   node drive.js NODE_TOOLS EXTENSION_DIR PROFILE_DIR TLS_DIR RESULT_FILE SERVER_MS unlocked|locked HOST_STARTS_FILE
'use strict';
const fs = require('fs');
const http = require('http');
const https = require('https');
const path = require('path');

const [nodeTools, extensionDir, profileDir, tlsDir, resultFile, serverMs, hostBuild, hostStartsFile] =
  process.argv.slice(2);
const { chromium } = require(path.join(path.resolve(nodeTools), 'node_modules/playwright-core'));
const root = path.resolve(__dirname, '../..');
const PORT = 8765;
const LOCKED_PORT = 8443;

const PAGES = {
  unlocked: {
    unlisted: `https://127.0.0.2:${PORT}/`,
    wildcardOwnDomain: `https://korvel.localhost:${PORT}/`,
    hostRefuses: `http://127.0.0.3:${PORT}/`,
    renewal: `https://127.0.0.1:${PORT}/`,
  },
  locked: {
    unlisted: `https://127.0.0.2:${PORT}/`,
    wildcardOwnDomain: `https://sites.korvel.test:${LOCKED_PORT}/`,
    hostRefuses: `https://stale.korvel.test:${LOCKED_PORT}/`,
    renewal: `https://a.sites.korvel.test:${LOCKED_PORT}/`,
  },
}[hostBuild];
const DATA = '\u66f4\u65b0\u7533\u8acb: renewal request 2026';

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
                                         [true, '127.0.0.1', LOCKED_PORT]]) {
    const server = secure ? https.createServer(tls, serve) : http.createServer(serve);
    await listen(server, address, port);
    servers.push(server);
  }
  return servers;
}

function hostStarts() {
  return fs.existsSync(hostStartsFile) ? fs.readFileSync(hostStartsFile, 'utf8').split('\n').length - 1 : 0;
}

// What the page's call gives: {error} with the error's code, or the result;
// and whether the content script marked the document.
async function callFromPage(page, fields) {
  const startsBefore = hostStarts();
  const outcome = await page.evaluate((request) => new Promise((resolve) => {
    const started = Date.now();
    KorvelTool.signRenewal(request, (error, result) => resolve({
      error: error ? error.code : null, result, milliseconds: Date.now() - started,
      marked: document.documentElement.getAttribute('data-korvel-extension') === 'ready',
    }));
  }), fields);
  outcome.hosts = hostStarts() - startsBefore;
  return outcome;
}

const REQUEST = {
  title: '\u8a3c\u660e\u66f8\u306e\u66f4\u65b0',
  text: '\u66f4\u65b0\u3059\u308b\u8a3c\u660e\u66f8\u3092\u9078\u3093\u3067\u304f\u3060\u3055\u3044\u3002',
  serverDate: serverMs,
  data: DATA,
};

function report(name, outcome) {
  console.log(`CASE ${name}: error=${outcome.error} marked=${outcome.marked} ` +
              `resultCode=${outcome.result ? outcome.result.resultCode : '-'} hosts=${outcome.hosts} ` +
              `ms=${outcome.milliseconds}`);
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

// browser-test makes this file once the host's dialog is on the screen.
async function dialogShown() {
  const mark = `${resultFile}.dialog`;
  for (let i = 0; i < 600 && !fs.existsSync(mark); i++) await new Promise((resolve) => setTimeout(resolve, 200));
}

async function openPage(context, url) {
  const page = await context.newPage();
  await page.goto(url, { waitUntil: 'load' });
  return page;
}

async function main() {
  const servers = await startServers();
  const context = await chromium.launchPersistentContext(profileDir, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    ignoreHTTPSErrors: true,
    args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--ignore-certificate-errors', '--host-resolver-rules=MAP *.korvel.test 127.0.0.1',
           `--load-extension=${extensionDir}`, `--disable-extensions-except=${extensionDir}`],
  });
  try {
    // The extension's worker must be up before pages call it.
    if (context.serviceWorkers().length === 0) await context.waitForEvent('serviceworker', { timeout: 30000 });
    console.log(`WORKER ${context.serviceWorkers()[0].url()}`);

    let page = await openPage(context, PAGES.unlisted);
    report('unlisted-origin', await callFromPage(page, REQUEST));
    report('bad-request', await callFromPage(page, { title: 'x', text: 'y', serverDate: serverMs }));
    await page.close();

    page = await openPage(context, PAGES.wildcardOwnDomain);
    report('wildcard-own-domain', await callFromPage(page, REQUEST));
    await page.close();

    page = await openPage(context, PAGES.hostRefuses);
    report('host-refuses', await callFromPage(page, REQUEST));
    await page.close();

    // The renewal; a second call from the same tab while the dialog is open.
    page = await openPage(context, PAGES.renewal);
    const first = callFromPage(page, REQUEST);
    console.log('SIGNING');
    await dialogShown();
    report('second-call-while-busy', await callFromPage(page, REQUEST));
    const signed = await first;
    report('renewal', signed);
    if (signed.result) writeResult(signed.result);
    await page.close();
  } finally {
    await context.close();
    for (const server of servers) server.close();
  }
  console.log('DRIVE-END');
}

main().catch((error) => {
  console.log(`DRIVE-ERROR ${error.stack || error}`);
  process.exit(1);
});
