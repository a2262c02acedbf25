// Native messaging frames for the host test: a 32-bit little-endian length
// (the byte order of x86 Windows) and UTF-8 JSON.
//   node frame.js encode JSON_TEXT FILE   writes one frame
//   node frame.js decode FILE             prints the JSON of the one frame in
//                                          FILE; fails unless FILE is exactly it
//   node frame.js page FILE DATA          prints the answer in the form of the
//                                          sample page's output (demo/check-renewal)
'use strict';
const fs = require('fs');

function decode(file) {
  const bytes = fs.readFileSync(file);
  if (bytes.length < 4) throw new Error(`answer of ${bytes.length} bytes: no frame`);
  const length = bytes.readUInt32LE(0);
  if (bytes.length !== 4 + length) throw new Error(`frame announces ${length} bytes, ${bytes.length - 4} follow`);
  return JSON.parse(bytes.subarray(4).toString('utf8'));
}

function utf16Units(text) {
  return Array.from({ length: text.length }, (_, i) => text.charCodeAt(i).toString(16).padStart(4, '0')).join(' ');
}

function pageForm(answer, data) {
  const lines = [`RESULT 0x${(answer.resultCode >>> 0).toString(16).toUpperCase().padStart(8, '0')}`,
                 `DATA-UTF16 ${utf16Units(data)}`];
  for (const name of ['IssuerDN', 'CertData']) {
    const key = name[0].toLowerCase() + name.slice(1);
    lines.push(`BEGIN ${name}`, (answer[key] || '') + '\n' + `END ${name}`);
  }
  lines.push('PAGE-END');
  return lines.join('\n') + '\n';
}

const [command, ...args] = process.argv.slice(2);
if (command === 'encode') {
  const body = Buffer.from(args[0], 'utf8');
  const header = Buffer.alloc(4);
  header.writeUInt32LE(body.length, 0);
  fs.writeFileSync(args[1], Buffer.concat([header, body]));
} else if (command === 'decode') {
  process.stdout.write(JSON.stringify(decode(args[0])) + '\n');
} else if (command === 'page') {
  process.stdout.write(pageForm(decode(args[0]), args[1]));
} else {
  process.stderr.write('usage: frame.js encode JSON FILE | decode FILE | page FILE DATA\n');
  process.exit(2);
}
