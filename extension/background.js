// The extension's service worker: serves the content script's requests
// through the native host KorvelHost.exe, one at a time per tab.
//   content script -> here:  {korvel: "request", title, text, serverDate, data}
//   here -> host:            {title, text, serverDate, data, origin}
//   answer:                  {resultCode, issuerDN, certData} or {error}
// The sender's origin is checked here again, exactly (a match pattern
// "*.domain" also takes domain itself, and one without a port every port);
// the host checks it a third time.
importScripts("origin-rule.js", "settings.js");

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
  chrome.runtime.sendNativeMessage(KORVEL_SETTINGS.hostName, request, function (response) {
    delete busyTabs[tab];
    // No host registered, a host that would not start, or one that ended
    // without answering.
    if (chrome.runtime.lastError) {
      reply({ error: "host-unavailable" });
      return;
    }
    reply(pageAnswerOf(response));
  });
}

chrome.runtime.onMessage.addListener(function (message, sender, reply) {
  if (!message || message.korvel !== "request") return false;
  serve(message, sender, reply);
  return true;  // the reply comes later
});
