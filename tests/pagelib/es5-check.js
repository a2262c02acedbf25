// The page library must run in Internet Explorer 11's script engine: it is
// parsed as strict ECMAScript 5 (acorn), so any ES2015 syntax fails here.
// Its CLSID is the product's (cmake/Guids.cmake).
//   node es5-check.js NODE_TOOLS_DIR
'use strict';
const fs = require('fs');
const path = require('path');
const acorn = require(path.join(path.resolve(process.argv[2]), 'node_modules/acorn'));

const root = path.resolve(__dirname, '../..');
const file = path.join(root, 'pagelib/korvel.js');
let failures = 0;
let passes = 0;
try {
  acorn.parse(fs.readFileSync(file, 'utf8'), { ecmaVersion: 5, sourceType: 'script', allowReserved: false });
  console.log('ok: pagelib/korvel.js parses as ECMAScript 5');
  passes++;
} catch (error) {
  console.log(`FAIL: pagelib/korvel.js is not ECMAScript 5: ${error.message}`);
  failures++;
}
// The check itself refuses what IE11 cannot parse.
for (const sample of ['let a = 1;', 'var f = () => 1;', 'var s = `x`;', 'class A {}', 'var {a} = b;']) {
  try {
    acorn.parse(sample, { ecmaVersion: 5 });
    console.log(`FAIL: the ES5 check accepted ${sample}`);
    failures++;
  } catch (expected) {
    // refused, as it must be
  }
}
const guids = fs.readFileSync(path.join(root, 'cmake/Guids.cmake'), 'utf8');
const clsid = /set\(KORVEL_CLSID *"([0-9A-F-]+)"/.exec(guids)[1];
if (fs.readFileSync(file, 'utf8').includes(`var CLSID = "${clsid}";`)) {
  console.log(`ok: pagelib/korvel.js looks for the control's CLSID ${clsid}`);
  passes++;
} else {
  console.log(`FAIL: pagelib/korvel.js does not name the CLSID ${clsid}`);
  failures++;
}
console.log(`${passes} passed, ${failures} failed`);
process.exit(failures === 0 ? 0 : 1);
