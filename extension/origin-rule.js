// The origin rule of the site lock (control/text/site_lock.cpp), in plain
// JavaScript for the extension's service worker and its build script:
//   KorvelOrigins.parseOriginEntry(entry)   one list entry, or null
//   KorvelOrigins.firstBadOrigin(list, policy)  the first entry a build refuses,
//       or null; policy: { publicSuffixes: readPublicSuffixList(text),
//       allowHttp: KORVEL_ALLOW_HTTP_ORIGINS }
//   KorvelOrigins.readPublicSuffixList(text)    the rules of a Public Suffix List
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

  // --- Which entries a build accepts (build time only) ---------------------

  // Punycode (RFC 3492) with its parameters for IDNA; every step bounded by
  // 2^31 - 1, as in the C++ and CMake readings.
  var PUNYCODE_LARGEST = 0x7fffffff;

  function punycodeDigit(c) {
    if (c >= "0" && c <= "9") return c.charCodeAt(0) - 48 + 26;
    if (c >= "a" && c <= "z") return c.charCodeAt(0) - 97;
    if (c >= "A" && c <= "Z") return c.charCodeAt(0) - 65;
    return 36;
  }

  function adaptBias(delta, points, first) {
    delta = first ? Math.floor(delta / 700) : Math.floor(delta / 2);
    delta += Math.floor(delta / points);
    var k = 0;
    while (delta > 455) {
      delta = Math.floor(delta / 35);
      k += 36;
    }
    return k + Math.floor(36 * delta / (delta + 38));
  }

  // The code points of a punycode label (without "xn--"), or null.
  function decodePunycode(input) {
    var delimiter = input.lastIndexOf("-");
    var basicEnd = delimiter < 0 ? 0 : delimiter;
    var output = [];
    for (var b = 0; b < basicEnd; b++) {
      if (input.charCodeAt(b) >= 0x80) return null;
      output.push(input.charCodeAt(b));
    }
    var n = 0x80, i = 0, bias = 72;
    for (var at = basicEnd > 0 ? basicEnd + 1 : 0; at < input.length;) {
      var oldI = i, weight = 1;
      for (var k = 36; ; k += 36) {
        if (at >= input.length) return null;
        var digit = punycodeDigit(input.charAt(at++));
        if (digit >= 36 || digit > Math.floor((PUNYCODE_LARGEST - i) / weight)) return null;
        i += digit * weight;
        var threshold = k <= bias ? 1 : k >= bias + 26 ? 26 : k - bias;
        if (digit < threshold) break;
        if (weight > Math.floor(PUNYCODE_LARGEST / (36 - threshold))) return null;
        weight *= 36 - threshold;
      }
      var points = output.length + 1;
      bias = adaptBias(i - oldI, points, oldI === 0);
      if (Math.floor(i / points) > 0x10ffff - n) return null;
      n += Math.floor(i / points);
      i %= points;
      if (n >= 0xd800 && n <= 0xdfff) return null;
      output.splice(i, 0, n);
      i++;
    }
    return output.length === 0 ? null : output;
  }

  // The domain with its xn-- labels decoded, as the Public Suffix List writes
  // internationalized labels: { domain } or { badLabel }.
  function unicodeDomainOf(domain) {
    var labels = domain.split(".");
    for (var i = 0; i < labels.length; i++) {
      if (labels[i].slice(0, 4) !== "xn--") continue;
      var points = decodePunycode(labels[i].slice(4));
      if (points === null) return { badLabel: labels[i] };
      labels[i] = String.fromCodePoint.apply(String, points);
    }
    return { domain: labels.join(".") };
  }

  // The rules in the list's order: { kind: "plain" | "wildcard" | "exception",
  // domain }. A rule is read up to its line's first white space; lines
  // starting with "//" are comments.
  function readPublicSuffixList(text) {
    var rules = [];
    var lines = text.replace(/^\uFEFF/, "").split("\n");
    for (var i = 0; i < lines.length; i++) {
      var rule = lines[i].split(/[ \t\r]/)[0];
      if (rule === "" || rule.slice(0, 2) === "//") continue;
      var kind = "plain";
      if (rule.charAt(0) === "!") {
        kind = "exception";
        rule = rule.slice(1);
      } else if (rule.slice(0, 2) === "*.") {
        kind = "wildcard";
        rule = rule.slice(2);
      }
      if (rule !== "") rules.push({ kind: kind, domain: rule });
    }
    return rules;
  }

  function ruleText(rule) {
    return (rule.kind === "wildcard" ? "*." : rule.kind === "exception" ? "!" : "") + rule.domain;
  }

  function isAtOrBelow(domain, other) {
    return domain === other ||
      (domain.length > other.length && domain.slice(-other.length - 1) === "." + other);
  }

  // The rule that makes `domain` a public suffix, or null (none does, or an
  // exception takes it or a domain above it out; the implicit "*" is not one).
  function publicSuffixRuleOf(domain, rules) {
    var dot = domain.indexOf(".");
    var parent = dot < 0 ? "" : domain.slice(dot + 1);
    var plain = null, wildcard = null;
    for (var i = 0; i < rules.length; i++) {
      var rule = rules[i];
      if (rule.kind === "exception" && isAtOrBelow(domain, rule.domain)) return null;
      if (rule.kind === "plain" && plain === null && rule.domain === domain) plain = rule;
      if (rule.kind === "wildcard" && wildcard === null && parent !== "" && rule.domain === parent) wildcard = rule;
    }
    return plain || wildcard;
  }

  // The first rule of a public suffix strictly below `domain`, or null.
  function publicSuffixRuleBelow(domain, rules) {
    for (var i = 0; i < rules.length; i++) {
      var rule = rules[i];
      if (rule.kind === "plain" && rule.domain !== domain && isAtOrBelow(rule.domain, domain)) return rule;
      if (rule.kind === "wildcard" && isAtOrBelow(rule.domain, domain)) return rule;
    }
    return null;
  }

  function isLoopbackHost(host) {
    return host === "localhost" || (host.slice(0, 4) === "127." && isDottedQuad(host));
  }

  var FORM_PROBLEM = "not scheme://host[:port] or scheme://*.domain as the setting allows them (see README, Site lock)";

  // Why a build refuses an entry: { reason, problem } or null. An http entry
  // off loopback can be served by anyone on the network path; a wildcard over
  // a public suffix takes in sites of unrelated owners.
  function refusalOf(text, policy) {
    var entry = parseOriginEntry(text);
    if (!entry) return { reason: "form", problem: text === "" ? "an empty entry" : FORM_PROBLEM };
    if (entry.scheme === "http" && !policy.allowHttp && (entry.wildcard || !isLoopbackHost(entry.host))) {
      return {
        reason: "http",
        problem: "http only for a loopback host (127.0.0.0/8, localhost): anyone on the network path can serve " +
          "pages as this origin (set KORVEL_ALLOW_HTTP_ORIGINS to accept it anyway)"
      };
    }
    if (!entry.wildcard) return null;
    if (!policy.publicSuffixes) throw new Error("a wildcard entry needs the Public Suffix List");
    var unicode = unicodeDomainOf(entry.host);
    if (unicode.badLabel !== undefined) {
      return {
        reason: "idn",
        problem: "the label \"" + unicode.badLabel + "\" of the wildcard's domain is not punycode, " +
          "so the Public Suffix List cannot judge it"
      };
    }
    var rule = publicSuffixRuleOf(unicode.domain, policy.publicSuffixes);
    if (rule) {
      return {
        reason: "public-suffix",
        problem: "\"" + entry.host + "\" is a public suffix (rule \"" + ruleText(rule) +
          "\" of the Public Suffix List): the wildcard would take in every site registered under it"
      };
    }
    if (entry.host.indexOf(".") < 0) {
      return {
        reason: "single-label",
        problem: "a wildcard over the single label \"" + entry.host + "\" would take in every name under it"
      };
    }
    rule = publicSuffixRuleBelow(unicode.domain, policy.publicSuffixes);
    if (rule) {
      return {
        reason: "suffix-below",
        problem: "the Public Suffix List has public suffixes below \"" + entry.host + "\" (rule \"" +
          ruleText(rule) + "\"): the wildcard would take in the sites registered under them"
      };
    }
    return null;
  }

  // The first entry the build refuses: { position (1-based), entry, reason,
  // message } or null.
  function firstBadOrigin(list, policy) {
    var entries = entriesOf(list);
    for (var i = 0; i < entries.length; i++) {
      var refusal = refusalOf(entries[i], policy);
      if (refusal) {
        return {
          position: i + 1,
          entry: entries[i],
          reason: refusal.reason,
          message: "entry " + (i + 1) + " \"" + entries[i] + "\" is not an allowed origin: " + refusal.problem
        };
      }
    }
    return null;
  }

  // --- Which pages a built list serves --------------------------------------

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
    readPublicSuffixList: readPublicSuffixList,
    unicodeDomainOf: unicodeDomainOf,
    isUrlAllowed: isUrlAllowed,
    isOriginServed: isOriginServed,
    matchPattern: matchPattern
  };
}());

if (typeof module !== "undefined") module.exports = KorvelOrigins;
