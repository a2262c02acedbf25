// The two browsers drive.js runs its cases in, each started headless with
// the unpacked extension: Debian's Chromium through playwright-core, Debian's
// Firefox ESR through puppeteer-core over WebDriver BiDi. Both give
//   launch(options) -> {extensionId, newPage(), close()}
// options: nodeTools, extensionDir, profileDir, home (Firefox reads host
// manifests only from $HOME/.mozilla/native-messaging-hosts), names (the
// pages' host names, all to be 127.0.0.1).
'use strict';
const path = require('path');

function nodeModule(nodeTools, name) {
  return require(path.join(path.resolve(nodeTools), 'node_modules', name));
}

async function launchChromium(options) {
  const { chromium } = nodeModule(options.nodeTools, 'playwright-core');
  const context = await chromium.launchPersistentContext(options.profileDir, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    ignoreHTTPSErrors: true,
    args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--ignore-certificate-errors', '--host-resolver-rules=MAP *.korvel.test 127.0.0.1',
           `--load-extension=${options.extensionDir}`, `--disable-extensions-except=${options.extensionDir}`],
  });
  // The extension's worker must be up before pages call it.
  if (context.serviceWorkers().length === 0) await context.waitForEvent('serviceworker', { timeout: 30000 });
  const workerUrl = context.serviceWorkers()[0].url();
  return {
    extensionId: new URL(workerUrl).host,
    newPage: () => context.newPage(),
    close: () => context.close(),
  };
}

async function launchFirefox(options) {
  const puppeteer = nodeModule(options.nodeTools, 'puppeteer-core');
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: '/usr/bin/firefox-esr',
    headless: true,
    acceptInsecureCerts: true,
    userDataDir: options.profileDir,
    env: Object.assign({}, process.env, { HOME: options.home }),
    // A renewal waits for the user as long as the user takes.
    protocolTimeout: 20 * 60 * 1000,
    extraPrefsFirefox: {
      // Not network.dns.forceResolve: it sends IP addresses there too.
      'network.dns.localDomains': options.names.join(','),
      // The http page must stay http: it is the origin the host refuses.
      'dom.security.https_first': false,
    },
  });
  // A temporary add-on: no signature needed.
  const extensionId = await browser.installExtension(options.extensionDir);
  return {
    extensionId,
    newPage: () => browser.newPage(),
    close: () => browser.close(),
  };
}

module.exports = { chromium: launchChromium, firefox: launchFirefox };
