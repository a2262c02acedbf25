// The origin rule of the site lock (control/text/site_lock.cpp), in plain
// JavaScript for the extension's service worker and its build script:
//   KorvelOrigins.parseOriginEntry(entry)   one list entry, or null
//   KorvelOrigins.firstBadOrigin(list)      the first bad entry, or null
//   KorvelOrigins.isUrlAllowed(url, list)   the URL's scheme, host and port are an entry's
//   KorvelOrigins.isOriginServed(url, list) what the native host serves: the
//       listed origins, or every https origin when the list is empty (unlocked)
//   KorvelOrigins.matchPattern(entry)       the content-script match pattern of an entry
// A list is entries separated by ';': "scheme://host[:port]" or
// "scheme://*.domain" (every host strictly below domain, not domain itself).
var KorvelOrigins = (function () {
  "use strict";

  var DEFAULT_PORTS = { http: 80, https: 443 };
  var LARGEST_PORT = 65535;

  function isDigit(c) { return c >= "0" && c <= "9"; }

  function isLabelCharacter(c, anyCase) {
    return (c >= "a" && c <= "z") || isDigit(c) || c === "-" || (anyCase && c >= "A" && c <= "Z");
  }

  // Only ASCII letters are folded: toLowerCase() would turn the Kelvin sign
  // into "k" and dotted capital I into "i".
  function lowerAscii(text) {
    return text.replace(/[A-Z]/g, function (c) { return String.fromCharCode(c.charCodeAt(0) + 32); });
  }

  // Dot-separated labels of letters, digits and hyphens, none empty.
  function isLabelSequence(host, anyCase) {
    var labelStart = true;
    for (var i = 0; i < host.length; i++) {
      var c = host.charAt(i);
      if (c === ".") {
        if (labelStart) return false;
        labelStart = true;
      } else if (isLabelCharacter(c, anyCase)) {
        labelStart = false;
      } else {
        return false;
      }
    }
    return !labelStart;
  }

  function lastLabel(host) { return host.slice(host.lastIndexOf(".") + 1); }

  // A URL parser reads a host whose last label is a number (decimal, or 0x
  // and hexadecimal digits) as an IPv4 address in one of several forms.
  function isNumberLabel(label) {
    return /^0x[0-9a-f]*$/i.test(label) || /^[0-9]+$/.test(label);
  }

  // The one IPv4 form accepted: four decimal parts 0-255, no leading zeros.
  function isDottedQuad(host) {
    var parts = host.split(".");
    if (parts.length !== 4) return false;
    for (var i = 0; i < parts.length; i++) {
      if (!/^(0|[1-9][0-9]{0,2})$/.test(parts[i]) || Number(parts[i]) > 255) return false;
    }
    return true;
  }

  function isHost(host, anyCase) {
    return isLabelSequence(host, anyCase) && (!isNumberLabel(lastLabel(host)) || isDottedQuad(host));
  }

  // An entry's port is written canonically: 1-65535, no leading zeros.
  function readEntryPort(text) {
    if (!/^[1-9][0-9]{0,4}$/.test(text)) return null;
    var value = Number(text);
    return value <= LARGEST_PORT ? value : null;
  }

  // A URL's port may have leading zeros (":0443" is 443); port 0 never matches.
  function readUrlPort(text) {
    if (!/^[0-9]+$/.test(text)) return null;
    var value = 0;
    for (var i = 0; i < text.length; i++) {
      value = value * 10 + (text.charCodeAt(i) - 48);
      if (value > LARGEST_PORT) return null;
    }
    return value === 0 ? null : value;
  }

  function parseOriginEntry(entry) {
    var schemeEnd = entry.indexOf("://");
    if (schemeEnd < 0) return null;
    var scheme = entry.slice(0, schemeEnd);
    if (!DEFAULT_PORTS.hasOwnProperty(scheme)) return null;
    var authority = entry.slice(schemeEnd + 3);
    var wildcard = authority.slice(0, 2) === "*.";
    if (wildcard) authority = authority.slice(2);
    var colon = authority.indexOf(":");
    var host = colon < 0 ? authority : authority.slice(0, colon);
    if (!isHost(host, false)) return null;
    // A wildcard stands for names below a domain, never for addresses.
    if (wildcard && isNumberLabel(lastLabel(host))) return null;
    var port = DEFAULT_PORTS[scheme];
    if (colon >= 0) {
      port = readEntryPort(authority.slice(colon + 1));
      if (port === null) return null;
    }
    return { scheme: scheme, host: host, wildcard: wildcard, port: port, explicitPort: colon >= 0 };
  }

  function entriesOf(list) { return list === "" ? [] : list.split(";"); }

  function firstBadOrigin(list) {
    var entries = entriesOf(list);
    for (var i = 0; i < entries.length; i++) {
      if (!parseOriginEntry(entries[i])) return entries[i];
    }
    return null;
  }

  // scheme ":" "//" host [":" port] and then '/', '?', '#' or the end; the
  // host rules refuse user information, backslashes, percent signs, IPv6
  // literals and non-ASCII text in the authority.
  function readUrlOrigin(url) {
    if (typeof url !== "string" || /[\u0000-\u0020\u007f]/.test(url)) return null;
    var colon = url.indexOf(":");
    if (colon < 0) return null;
    var scheme = lowerAscii(url.slice(0, colon));
    if (!DEFAULT_PORTS.hasOwnProperty(scheme)) return null;
    var rest = url.slice(colon + 1);
    if (rest.slice(0, 2) !== "//") return null;
    var authority = rest.slice(2).split(/[\/?#]/)[0];
    var portColon = authority.indexOf(":");
    var host = portColon < 0 ? authority : authority.slice(0, portColon);
    if (!isHost(host, true)) return null;
    var port = DEFAULT_PORTS[scheme];
    if (portColon >= 0) {
      port = readUrlPort(authority.slice(portColon + 1));
      if (port === null) return null;
    }
    return { scheme: scheme, host: lowerAscii(host), port: port };
  }

  // Labels a wildcard stands for must not be punycode: whether such a label
  // decodes to a valid name is not checked, so it is refused.
  function hasPunycodeLabel(labels) {
    var parts = labels.split(".");
    for (var i = 0; i < parts.length; i++) {
      if (parts[i].slice(0, 4) === "xn--") return true;
    }
    return false;
  }

  function hostMatches(entry, host) {
    if (!entry.wildcard) return host === entry.host;
    if (host.length < entry.host.length + 2) return false;
    var suffixStart = host.length - entry.host.length;
    return host.charAt(suffixStart - 1) === "." && host.slice(suffixStart) === entry.host &&
      !hasPunycodeLabel(host.slice(0, suffixStart - 1));
  }

  function isUrlAllowed(url, list) {
    var origin = readUrlOrigin(url);
    if (!origin) return false;
    var entries = entriesOf(list);
    for (var i = 0; i < entries.length; i++) {
      var entry = parseOriginEntry(entries[i]);
      if (entry && entry.scheme === origin.scheme && entry.port === origin.port && hostMatches(entry, origin.host)) {
        return true;
      }
    }
    return false;
  }

  function isOriginServed(url, list) {
    if (list === "") {
      var origin = readUrlOrigin(url);
      return origin !== null && origin.scheme === "https";
    }
    return isUrlAllowed(url, list);
  }

  // Chrome's pattern "*.domain" also matches domain itself and a pattern
  // without a port matches every port: the service worker decides exactly.
  function matchPattern(entryText) {
    var entry = parseOriginEntry(entryText);
    if (!entry) return null;
    return entry.scheme + "://" + (entry.wildcard ? "*." : "") + entry.host +
      (entry.explicitPort ? ":" + entry.port : "") + "/*";
  }

  return {
    parseOriginEntry: parseOriginEntry,
    firstBadOrigin: firstBadOrigin,
    isUrlAllowed: isUrlAllowed,
    isOriginServed: isOriginServed,
    matchPattern: matchPattern
  };
}());

if (typeof module !== "undefined") module.exports = KorvelOrigins;
