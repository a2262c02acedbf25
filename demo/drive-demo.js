// The demo's browser: Debian's Chromium with the KorvelTool extension opens
// the renewal service's page and renews as a user does. The page's own
// script asks the service for a challenge, has korvel.js sign it (the
// extension, the native host and the control's dialog) and sends the
// signature back; this driver waits for the verdict the page shows and
// saves the page's picture.
//   node drive-demo.js NODE_TOOLS EXTENSION_DIR PROFILE_DIR PAGE_URL TLS_SPKI_SHA256 PICTURE simulated|interactive
// simulated:   headless; this driver presses the page's button (the dialog
//              is driven on Xvfb by scripts/demo)
// interactive: a visible window on DISPLAY; the user presses the button and
//              picks the certificate
// Prints "VERDICT approved|refused", the page's verdict text and "DRIVE-END".
'use strict';
const path = require('path');

const [nodeTools, extensionDir, profileDir, pageUrl, tlsSpki, picture, mode] = process.argv.slice(2);
const { chromium } = require(path.join(path.resolve(nodeTools), 'node_modules/playwright-core'));
const interactive = mode === 'interactive';
// A user takes their time; the simulated dialog is answered within seconds.
const VERDICT_WAIT_MS = interactive ? 15 * 60 * 1000 : 3 * 60 * 1000;

async function main() {
  const args = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                '--disable-background-networking', '--disable-component-update', '--disable-sync',
                // The service's TEST-ONLY certificate, and no other, is accepted.
                `--ignore-certificate-errors-spki-list=${tlsSpki}`,
                `--load-extension=${extensionDir}`, `--disable-extensions-except=${extensionDir}`];
  if (!interactive) args.unshift('--headless=new');
  const context = await chromium.launchPersistentContext(profileDir, {
    executablePath: '/usr/bin/chromium', headless: !interactive, args, viewport: { width: 900, height: 540 },
  });
  try {
    if (context.serviceWorkers().length === 0) await context.waitForEvent('serviceworker', { timeout: 30000 });
    console.log(`WORKER ${context.serviceWorkers()[0].url()}`);
    const page = context.pages()[0] || await context.newPage();
    await page.goto(pageUrl, { waitUntil: 'load' });
    await page.waitForSelector('#renew:not([disabled])');
    console.log(`PAGE ${pageUrl} "${await page.title()}"`);
    if (interactive) {
      console.log('PRESS the page\'s button 更新する, then choose a certificate in the dialog');
    } else {
      await page.click('#renew');
      console.log('SIGNING');
    }
    await page.waitForSelector('#verdict[data-verdict]', { timeout: VERDICT_WAIT_MS });
    const verdict = await page.$eval('#verdict', (box) => ({
      kind: box.getAttribute('data-verdict'),
      title: box.querySelector('#verdict-title').textContent,
      text: box.querySelector('#verdict-text').textContent,
      details: Array.from(box.querySelectorAll('dt')).map((term) => `${term.textContent}: ${term.nextElementSibling.textContent}`),
    }));
    await page.screenshot({ path: picture, fullPage: true });
    console.log(`VERDICT ${verdict.kind}`);
    console.log(`  ${verdict.title}: ${verdict.text}`);
    for (const line of verdict.details) console.log(`  ${line}`);
  } finally {
    await context.close();
  }
  console.log('DRIVE-END');
}

main().catch((error) => {
  console.log(`DRIVE-ERROR ${error.stack || error}`);
  process.exit(1);
});
