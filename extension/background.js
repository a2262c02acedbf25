// The extension's background: serves the content script's requests through
// the native host KorvelHost.exe, one at a time per tab. Chrome and Edge run
// it as a service worker (it loads its helpers with importScripts), Firefox
// as an event page (the manifest lists the helpers before it).
//   content script -> here:  {korvel: "request", title, text, serverDate, data}
//   here -> host:            {title, text, serverDate, data, origin}
//   answer:                  {resultCode, issuerDN, certData} or {error}
// The sender's origin is checked here again, exactly (a match pattern
// "*.domain" also takes domain itself, and one without a port every port);
// the host checks it a third time.
if (typeof importScripts === "function") importScripts("origin-rule.js", "settings.js");

var REQUEST_FIELDS = ["title", "text", "serverDate", "data"];
var busyTabs = {};

// The host's request, or null when a field is not a string.
function hostRequestOf(message, origin) {
  var request = { origin: origin };
  for (var i = 0; i < REQUEST_FIELDS.length; i++) {
    var name = REQUEST_FIELDS[i];
    if (typeof message[name] !== "string") return null;
    request[name] = message[name];
  }
  return request;
}

// Only the answer's own fields go back to the page.
function pageAnswerOf(response) {
  if (response && typeof response.error === "string") return { error: response.error };
  if (!response || typeof response.resultCode !== "number") return { error: "host-unavailable" };
  var answer = { resultCode: response.resultCode };
  if (typeof response.issuerDN === "string") answer.issuerDN = response.issuerDN;
  if (typeof response.certData === "string") answer.certData = response.certData;
  return answer;
}

// One port per renewal: the host answers once and ends. The open port is
// also what keeps Chrome's service worker alive however long the user takes
// (a single call may not run longer than 5 minutes without one).
// finish(response), with null when the port closed without an answer: no host
// registered, a host that would not start, or one that ended without answering.
function askHost(request, finish) {
  var answered = false;
  var port;
  try {
    port = chrome.runtime.connectNative(KORVEL_SETTINGS.hostName);
  } catch (refused) {
    finish(null);
    return;
  }
  port.onMessage.addListener(function (response) {
    if (answered) return;
    answered = true;
    port.disconnect();
    finish(response);
  });
  port.onDisconnect.addListener(function () {
    // Chrome gives the reason in runtime.lastError, Firefox in port.error;
    // reading it marks it as handled.
    var reason = chrome.runtime.lastError || port.error;
    if (answered) return;
    answered = true;
    if (reason) console.warn("KorvelTool: native host: " + reason.message);
    finish(null);
  });
  port.postMessage(request);
}

function serve(message, sender, reply) {
  var fromOurContentScript = sender.id === chrome.runtime.id && sender.tab !== undefined;
  if (!fromOurContentScript || !KorvelOrigins.isOriginServed(sender.origin, KORVEL_SETTINGS.allowedOrigins)) {
    reply({ error: "origin-not-allowed" });
    return;
  }
  var request = hostRequestOf(message, sender.origin);
  if (request === null) {
    reply({ error: "bad-request" });
    return;
  }
  var tab = sender.tab.id;
  if (busyTabs[tab]) {
    reply({ error: "busy" });
    return;
  }
  busyTabs[tab] = true;
  askHost(request, function (response) {
    delete busyTabs[tab];
    reply(pageAnswerOf(response));
  });
}

chrome.runtime.onMessage.addListener(function (message, sender, reply) {
  if (!message || message.korvel !== "request") return false;
  serve(message, sender, reply);
  return true;  // the reply comes later
});
