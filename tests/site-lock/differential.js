// The site lock against Node.js's WHATWG URL parser. Generates a corpus of
// document URLs (a seeded mutation of allowed and look-alike URLs, plus
// seeds.txt), has site_lock_decide decide each one, and checks that:
//  1. every URL the site lock allows has, to the reference, the origin of one
//     of the list's entries;
//  2. every URL the reference reads, outside the forms the site lock refuses
//     by design (refusedForm below), gets the reference's decision.
//   node differential.js PATH-TO-site_lock_decide
'use strict';
const childProcess = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const url = require('url');

const LIST = [
  'https://renew.example.jp',
  'https://*.corp.example.jp',
  'http://intra.example.jp:8080',
  'https://xn--bcher-kva.example.jp',
  'http://192.0.2.10',
];
const CORPUS_SIZE = 12000;
const SEED = 0x5173;

const BASES = [
  'https://renew.example.jp/',
  'https://renew.example.jp/renew/start.html?id=1#top',
  'https://renew.example.jp',
  'https://a.corp.example.jp/',
  'https://a.b.corp.example.jp/x?y',
  'https://corp.example.jp/',
  'http://intra.example.jp:8080/',
  'https://xn--bcher-kva.example.jp/',
  'https://b\u00fccher.example.jp/',
  'http://192.0.2.10/',
  'https://renew.example.jp.evil.jp/',
  'https://evil-example.jp/',
  'https://example.jp.evil.jp/',
  'https://renew.example.jp@evil.jp/',
  'https://evil.jp/',
];

// mulberry32: a small seeded generator, so that every run tests the same URLs.
function randomGenerator(seed) {
  let state = seed >>> 0;
  return function next() {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}
const random = randomGenerator(SEED);
const below = (n) => Math.floor(random() * n);
const pick = (items) => items[below(items.length)];

// scheme, separator, authority and the rest, or null.
function splitUrl(text) {
  const match = /^([^:/]*)(:[/\\]*)([^/?#\\]*)([\s\S]*)$/.exec(text);
  return match && { scheme: match[1], separator: match[2], authority: match[3], rest: match[4] };
}
const joinUrl = (parts) => parts.scheme + parts.separator + parts.authority + parts.rest;

// Code points, so that no edit splits a surrogate pair.
function insertAt(text, insert) {
  const points = Array.from(text);
  points.splice(below(points.length + 1), 0, insert);
  return points.join('');
}
function replaceOne(text, replacement) {
  const points = Array.from(text);
  if (points.length === 0) return replacement;
  points[below(points.length)] = replacement;
  return points.join('');
}
function deleteOne(text) {
  const points = Array.from(text);
  points.splice(below(points.length), 1);
  return points.join('');
}
// Applies `edit` to the authority's host part (before any ':').
function editHost(text, edit) {
  const parts = splitUrl(text);
  if (!parts) return insertAt(text, '.');
  const colon = parts.authority.indexOf(':');
  const host = colon < 0 ? parts.authority : parts.authority.slice(0, colon);
  const port = colon < 0 ? '' : parts.authority.slice(colon);
  parts.authority = edit(host) + port;
  return joinUrl(parts);
}

const LOOK_ALIKES = ['\u00fc', '\u0131', '\u0130', '\u212a', '\u017f', '\uff52', '\u3002', '\uff0e', '\u00ad',
                     '\u200b', '\u00e9', '\u00df', '\u0441', '\ufeff', '\u{1d41a}', '\u65e5\u672c'];
const UNICODE_LABELS = ['b\u00fccher', '\u65e5\u672c', 'ma\u00f1ana', '\u0440\u0435\u043d\u044c\u044e', 'stra\u00dfe',
                        '\u{1f600}', 'xn--', 'xn--zz', 'XN--BCHER-KVA'];
const PORTS = [':443', ':0443', ':80', ':8080', ':08080', ':', ':0', ':65535', ':65536', ':65979', ':8443',
               ':99999999999999', ':443:443', ':+443', ':4 43', ':0000000000000000000080'];
const ADDRESSES = ['192.0.2.10', '192.0.2.010', '0xc0.0.2.10', '0XC0.0.2.10', '0xC000020A', '3221226010',
                   '192.0.522', '192.0.2.10.', '192.000.2.10', '0300.0.2.10', '1.192.0.2.10', '192.0.2.256',
                   '[::1]', '[::ffff:192.0.2.10]', '192.0.2.1O', '192.0.2.0x0a', '192.0.2.10..'];
const SCHEMES = ['HTTPS', 'Http', 'hTtP', 'ftp', 'ws', 'wss', 'file', 'javascript', 'htps', 'httpsx', '',
                 'blob:https', 'https\t'];
const SEPARATORS = ['://', ':/', ':', ':///', ':\\\\', ':/\\', ':\\/', '://\t', ':////'];
const TAILS = ['/', '/renew', '?q=1', '#f', '/?@evil.jp', '#@evil.jp', '/..', '/%2e%2e/', '/\u66f4\u65b0',
               '?a=\\', ' ', '', '\\', '/a b', '\r', ';x', '&'];
const CHARACTERS = Array.from('aZ09.-:@/\\?#%[]_~!$&\'()*+,;= \t\r\u0000\u0001\u001f\u007f\u00a0\ufeff\u00fc');

const MUTATIONS = [
  function flipCase(text) {
    const points = Array.from(text);
    const letters = points.map((c, i) => (/[a-z]/i.test(c) ? i : -1)).filter((i) => i >= 0);
    if (letters.length === 0) return text;
    const i = pick(letters);
    points[i] = points[i] === points[i].toLowerCase() ? points[i].toUpperCase() : points[i].toLowerCase();
    return points.join('');
  },
  function setPort(text) {
    const parts = splitUrl(text);
    if (!parts) return text + pick(PORTS);
    const colon = parts.authority.indexOf(':');
    parts.authority = (colon < 0 ? parts.authority : parts.authority.slice(0, colon)) + pick(PORTS);
    return joinUrl(parts);
  },
  (text) => editHost(text, (host) => pick([insertAt(host, '.'), host + '.', '.' + host, host + '..'])),
  (text) => editHost(text, (host) => pick(['user@' + host, '@' + host, host + '@evil.jp', 'u:p@' + host,
                                          'evil.jp@' + host, host + ':443@evil.jp'])),
  (text) => editHost(text, (host) => pick([
    replaceOne(host, '%' + below(256).toString(16).padStart(2, '0')), insertAt(host, '%2e'),
    replaceOne(host, '%2E'), host.replace(/e/, '%65')])),
  (text) => pick([text.replace('/', '\\'), text.replace(/\/\//, '\\\\'), insertAt(text, '\\')]),
  (text) => editHost(text, (host) => pick([replaceOne(host, pick(LOOK_ALIKES)), pick(UNICODE_LABELS) + '.' + host])),
  function punycodeLabel(text) {
    const label = url.domainToASCII(pick(UNICODE_LABELS)) || 'xn--' + below(1e6).toString(36);
    return editHost(text, (host) => label + '.' + host);
  },
  (text) => editHost(text, () => pick(ADDRESSES)),
  function setScheme(text) {
    const parts = splitUrl(text);
    if (!parts) return pick(SCHEMES) + text;
    if (random() < 0.5) parts.scheme = pick(SCHEMES);
    else parts.separator = pick(SEPARATORS);
    return joinUrl(parts);
  },
  function setTail(text) {
    const parts = splitUrl(text);
    if (!parts) return text + pick(TAILS);
    parts.rest = random() < 0.5 ? pick(TAILS) : parts.rest + pick(TAILS);
    return joinUrl(parts);
  },
  (text) => insertAt(text, pick(CHARACTERS)),
  deleteOne,
  (text) => editHost(text, (host) => pick(['a.' + host, 'www.' + host, host + '.evil.jp', 'evil-' + host,
                                          'x' + host, host.replace(/^[^.]*\./, ''), '-.' + host])),
  (text) => pick([' ' + text, text + ' ', '\t' + text, text + '\r', '\u0000' + text, text + '\u0000']),
];

function generateCorpus() {
  const urls = new Set(BASES);
  const seeds = fs.readFileSync(path.join(__dirname, 'seeds.txt'), 'utf8').split('\n');
  for (const seed of seeds) if (seed !== '') urls.add(seed);
  while (urls.size < CORPUS_SIZE) {
    let text = pick(BASES);
    for (let edits = 1 + below(3); edits > 0; --edits) text = pick(MUTATIONS)(text);
    if (!text.includes('\n')) urls.add(text);
  }
  return Array.from(urls);
}

// The list's entries as the reference reads them.
function referenceEntries() {
  return LIST.map((entry) => {
    const wildcard = entry.includes('://*.');
    const parsed = new URL(entry.replace('://*.', '://'));
    return { text: entry, wildcard, origin: parsed.origin, protocol: parsed.protocol,
             hostname: parsed.hostname, port: portOf(parsed) };
  });
}
function portOf(parsed) {
  if (parsed.port !== '') return Number(parsed.port);
  return parsed.protocol === 'https:' ? 443 : 80;
}
const ENTRIES = referenceEntries();

// Whether the reference reads `text` as a URL whose origin is one of the list's.
function referenceAllows(parsed) {
  if (parsed === null || parsed.origin === 'null') return false;
  return ENTRIES.some((entry) => (entry.wildcard
    ? parsed.protocol === entry.protocol && portOf(parsed) === entry.port &&
      parsed.hostname.endsWith('.' + entry.hostname)
    : parsed.origin === entry.origin));
}

function referenceParse(text) {
  try {
    return new URL(text);
  } catch (error) {
    return null;
  }
}

// A last label that the WHATWG host parser reads as an IPv4 number.
const isNumberLabel = (label) => /^[0-9]+$/.test(label) || /^0x[0-9a-f]*$/i.test(label);
const isDottedQuad = (host) => /^((0|[1-9][0-9]{0,2})\.){3}(0|[1-9][0-9]{0,2})$/.test(host) &&
  host.split('.').every((part) => Number(part) <= 255);

// The forms the site lock refuses although a WHATWG parser reads a host in
// them (it strips, converts or ignores the odd part), or null. Only on the
// other URLs must both decide alike.
function refusedForm(text) {
  if (/[\u0000-\u0020\u007f]/.test(text)) return 'space or control character';
  if (/^blob:/i.test(text)) return 'blob: URL (the reference takes the origin of the URL inside)';
  const colon = text.indexOf(':');
  if (colon < 0 || !/^https?$/i.test(text.slice(0, colon))) return null;
  const afterScheme = text.slice(colon + 1);
  if (!afterScheme.startsWith('//') || afterScheme[2] === '/' || afterScheme[2] === '\\') {
    return 'not exactly two slashes after the scheme';
  }
  const authority = afterScheme.slice(2).split(/[/?#]/)[0];
  if (/[^A-Za-z0-9.:-]/.test(authority)) {
    return 'authority character other than a letter, digit, ".", "-" or ":" (such as @ \\ % [ _ or non-ASCII)';
  }
  const portColon = authority.indexOf(':');
  const host = (portColon < 0 ? authority : authority.slice(0, portColon)).toLowerCase();
  if (portColon >= 0 && portColon === authority.length - 1) return 'empty port';
  const labels = host.split('.');
  if (labels.includes('')) return 'empty label or trailing dot';
  if (isNumberLabel(labels[labels.length - 1]) && !isDottedQuad(host)) return 'IPv4 form other than dotted decimal';
  for (const entry of ENTRIES) {
    if (entry.wildcard && host.endsWith('.' + entry.hostname) &&
        host.slice(0, -entry.hostname.length - 1).split('.').some((label) => label.startsWith('xn--'))) {
      return 'punycode label below a wildcard';
    }
  }
  return null;
}

function decide(decider, urls) {
  const directory = fs.mkdtempSync(path.join(os.tmpdir(), 'site-lock-'));
  const file = path.join(directory, 'urls.txt');
  try {
    fs.writeFileSync(file, urls.map((text) => text + '\n').join(''), 'utf8');
    const output = childProcess.execFileSync(decider, [LIST.join(';'), file],
                                             { encoding: 'utf8', maxBuffer: 64 * 1024 * 1024 });
    const decisions = output.split('\n').slice(0, -1);
    if (decisions.length !== urls.length) {
      throw new Error(`site_lock_decide gave ${decisions.length} decisions for ${urls.length} URLs`);
    }
    return decisions.map((decision) => {
      if (decision !== 'allow' && decision !== 'refuse') throw new Error(`unknown decision ${decision}`);
      return decision === 'allow';
    });
  } finally {
    fs.rmSync(directory, { recursive: true, force: true });
  }
}

function main() {
  if (process.argv.length !== 3) {
    console.error('usage: node differential.js PATH-TO-site_lock_decide');
    process.exit(2);
  }
  const urls = generateCorpus();
  for (const text of urls) {
    if (Buffer.from(text, 'utf8').toString('utf8') !== text) throw new Error(`not well-formed: ${JSON.stringify(text)}`);
  }
  const ours = decide(path.resolve(process.argv[2]), urls);
  const failures = [];
  const refusedForms = new Map();
  let allowed = 0;
  let compared = 0;
  let unread = 0;
  urls.forEach((text, i) => {
    const parsed = referenceParse(text);
    const reference = referenceAllows(parsed);
    if (ours[i]) ++allowed;
    if (ours[i] && !reference) {
      failures.push(`allowed, but the reference reads origin ${parsed ? parsed.origin : '(none)'}: ${JSON.stringify(text)}`);
      return;
    }
    if (parsed === null) {
      ++unread;
      return;
    }
    const form = refusedForm(text);
    if (form !== null) {
      refusedForms.set(form, (refusedForms.get(form) || 0) + 1);
      if (ours[i]) failures.push(`allowed a refused form (${form}): ${JSON.stringify(text)}`);
      return;
    }
    ++compared;
    if (ours[i] !== reference) {
      failures.push(`refused, but the reference reads listed origin ${parsed.origin}: ${JSON.stringify(text)}`);
    }
  });
  console.log(`site lock against Node.js ${process.version} URL: ${urls.length} URLs, ${allowed} allowed, ` +
              `${unread} not URLs to the reference, ${compared} decided exactly as the reference`);
  for (const [form, count] of refusedForms) console.log(`  refused by design, read by the reference: ${count} with ${form}`);
  if (failures.length > 0) {
    for (const failure of failures.slice(0, 50)) console.log(`DISAGREE ${failure}`);
    console.log(`${failures.length} disagreements`);
    process.exit(1);
  }
  console.log('no disagreements');
}

// The extension's origin rule is compared with site_lock_decide on the same corpus.
module.exports = { LIST, generateCorpus, decide };
if (require.main === module) main();
