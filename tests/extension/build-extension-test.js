// extension/build-extension: which packages and host manifests each set of
// identity settings gives, and what differs between the Chrome and Firefox
// packages made from the one template.
//   node --test build-extension-test.js
'use strict';
const assert = require('assert');
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawnSync } = require('child_process');
const test = require('node:test');

const root = path.resolve(__dirname, '../..');
const TEST_CHROME_ID = 'eflimgalpdonajhnpoenibjajjonioob';
const TEST_FIREFOX_ID = 'korvel-renewal-TEST-ONLY@korvel.test';
const STORE_ID = 'abcdefghijklmnopabcdefghijklmnop';
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'build-extension-test-'));
test.after(() => fs.rmSync(work, { recursive: true, force: true }));

const ownKey = path.join(work, 'own-key.pem');
fs.writeFileSync(ownKey, crypto.generateKeyPairSync('rsa', { modulusLength: 2048 })
  .privateKey.export({ type: 'pkcs8', format: 'pem' }));
const ownKeyId = (() => {
  const der = crypto.createPublicKey(fs.readFileSync(ownKey)).export({ type: 'spki', format: 'der' });
  const hex = crypto.createHash('sha256').update(der).digest('hex').slice(0, 32);
  return hex.replace(/[0-9a-f]/g, (digit) => String.fromCharCode(97 + parseInt(digit, 16)));
})();

const SETTINGS = ['KORVEL_ALLOWED_ORIGINS', 'KORVEL_EXTENSION_KEY', 'KORVEL_EXTENSION_IDS', 'KORVEL_FIREFOX_ID',
                  'KORVEL_FIREFOX_IDS', 'KORVEL_TEST_EXTENSION', 'KORVEL_HOST_PATH'];
let runs = 0;

function build(settings) {
  const out = path.join(work, `out-${++runs}`);
  const env = Object.assign({}, process.env);
  for (const name of SETTINGS) delete env[name];
  const result = spawnSync(process.execPath, [path.join(root, 'extension/build-extension'), out],
                           { env: Object.assign(env, settings), encoding: 'utf8' });
  const read = (file) => {
    const full = path.join(out, file);
    if (!fs.existsSync(full)) return null;
    return file.endsWith('.json') ? JSON.parse(fs.readFileSync(full, 'utf8')) : fs.readFileSync(full, 'utf8');
  };
  return { status: result.status, stderr: result.stderr, read };
}

function chromeHostIds(built) {
  return built.read('com.korvel.renewal.json').allowed_origins.map((origin) => origin.slice(19, -1));
}

// [case, settings, unpacked ID or null, Firefox ID or null, Chrome IDs served, Firefox IDs served]
const IDENTITIES = [
  ['test build', { KORVEL_TEST_EXTENSION: '1' }, TEST_CHROME_ID, TEST_FIREFOX_ID, [TEST_CHROME_ID], [TEST_FIREFOX_ID]],
  ['store IDs alone', { KORVEL_EXTENSION_IDS: STORE_ID, KORVEL_FIREFOX_IDS: 'x@corp.example' },
   null, null, [STORE_ID], ['x@corp.example']],
  ['own key and add-on ID', { KORVEL_EXTENSION_KEY: ownKey, KORVEL_FIREFOX_ID: '{12345678-90ab-cdef-1234-567890abcdef}' },
   ownKeyId, '{12345678-90ab-cdef-1234-567890abcdef}', [ownKeyId], ['{12345678-90ab-cdef-1234-567890abcdef}']],
  ['test build with own identities',
   { KORVEL_TEST_EXTENSION: 'ON', KORVEL_EXTENSION_KEY: ownKey, KORVEL_EXTENSION_IDS: STORE_ID, KORVEL_FIREFOX_ID: 'r@corp.example' },
   ownKeyId, 'r@corp.example', [ownKeyId, STORE_ID, TEST_CHROME_ID], ['r@corp.example', TEST_FIREFOX_ID]],
];

for (const [name, settings, unpackedId, firefoxId, chromeServed, firefoxServed] of IDENTITIES) {
  test(`identity: ${name}`, () => {
    const built = build(settings);
    assert.strictEqual(built.status, 0, built.stderr);
    assert.strictEqual(built.read('unpacked/manifest.json') !== null, unpackedId !== null);
    assert.strictEqual(built.read('extension-id.txt').trim(), unpackedId || STORE_ID);
    assert.strictEqual(built.read('store/manifest.json').key, undefined);
    const firefox = built.read('firefox/manifest.json');
    assert.strictEqual(firefox && firefox.browser_specific_settings.gecko.id, firefoxId);
    assert.strictEqual(built.read('firefox-id.txt').trim(), firefoxId || '');
    assert.deepStrictEqual(chromeHostIds(built), chromeServed);
    const firefoxHost = built.read('com.korvel.renewal.firefox.json');
    assert.deepStrictEqual(firefoxHost.allowed_extensions, firefoxServed);
    assert.strictEqual(firefoxHost.allowed_origins, undefined);
    assert.strictEqual(firefoxHost.name, 'com.korvel.renewal');
  });
}

const REFUSED = [
  ['no identity', {}, /KORVEL_EXTENSION_KEY.*KORVEL_EXTENSION_IDS/],
  ['a Firefox ID alone', { KORVEL_FIREFOX_ID: 'r@corp.example' }, /KORVEL_EXTENSION_KEY.*KORVEL_EXTENSION_IDS/],
  ['a bad Chrome ID', { KORVEL_EXTENSION_IDS: 'abc' }, /KORVEL_EXTENSION_IDS: "abc"/],
  ['a bad Firefox ID', { KORVEL_TEST_EXTENSION: '1', KORVEL_FIREFOX_ID: 'no at sign' }, /KORVEL_FIREFOX_ID/],
  ['a bad further Firefox ID', { KORVEL_TEST_EXTENSION: '1', KORVEL_FIREFOX_IDS: 'a@b;{not-a-guid}' }, /"\{not-a-guid\}"/],
  ['an unclear test flag', { KORVEL_TEST_EXTENSION: 'maybe' }, /KORVEL_TEST_EXTENSION/],
  ['a key that is no file', { KORVEL_EXTENSION_KEY: path.join(work, 'none.pem') }, /names no file/],
];

for (const [name, settings, message] of REFUSED) {
  test(`refused: ${name}`, () => {
    const built = build(settings);
    assert.strictEqual(built.status, 1);
    assert.match(built.stderr, message);
  });
}

test('one template, two packages', () => {
  const built = build({ KORVEL_TEST_EXTENSION: '1', KORVEL_HOST_PATH: '/opt/korvel/host',
                        KORVEL_ALLOWED_ORIGINS: 'https://a.example.jp:8443;https://a.example.jp;https://*.b.example.jp:9443' });
  assert.strictEqual(built.status, 0, built.stderr);
  const chrome = built.read('unpacked/manifest.json');
  const firefox = built.read('firefox/manifest.json');
  assert.deepStrictEqual(chrome.content_scripts[0].matches,
                         ['https://a.example.jp:8443/*', 'https://a.example.jp/*', 'https://*.b.example.jp:9443/*']);
  // Firefox never injects through a pattern with a port.
  assert.deepStrictEqual(firefox.content_scripts[0].matches, ['https://a.example.jp/*', 'https://*.b.example.jp/*']);
  assert.deepStrictEqual(chrome.background, { service_worker: 'background.js' });
  assert.deepStrictEqual(firefox.background, { scripts: ['origin-rule.js', 'settings.js', 'background.js'] });
  assert.strictEqual(chrome.browser_specific_settings, undefined);
  assert.strictEqual(firefox.minimum_chrome_version, undefined);
  assert.strictEqual(firefox.browser_specific_settings.gecko.strict_min_version, '128.0');
  for (const manifest of [chrome, firefox]) assert.deepStrictEqual(manifest.permissions, ['nativeMessaging']);
  assert.strictEqual(chrome.version, firefox.version);
  for (const file of ['com.korvel.renewal.json', 'com.korvel.renewal.firefox.json']) {
    assert.strictEqual(built.read(file).path, '/opt/korvel/host');
  }
  // The same scripts in every package, with the same settings.
  for (const file of ['background.js', 'content.js', 'origin-rule.js', 'settings.js']) {
    assert.strictEqual(built.read(`firefox/${file}`), built.read(`unpacked/${file}`));
    assert.strictEqual(built.read(`store/${file}`), built.read(`unpacked/${file}`));
  }
});
