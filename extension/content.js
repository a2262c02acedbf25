// Runs beside the pages of the allowed origins (top frames only). Carries a
// page's request, posted to its own window, to the service worker and posts
// the answer back:
//   page -> here:  {korvel: "request", id, title, text, serverDate, data}
//   here -> page:  {korvel: "answer", id, resultCode, issuerDN, certData}
//                  {korvel: "answer", id, error}
//   here -> page:  {korvel: "ready"} once, and the attribute
//                  data-korvel-extension="ready" on the document element
(function () {
  "use strict";
  var pageOrigin = window.location.origin;
  if (pageOrigin === "null") return;  // an opaque origin: no page to answer

  var ANSWER_FIELDS = ["resultCode", "issuerDN", "certData", "error"];

  function postAnswer(id, reply) {
    var answer = { korvel: "answer", id: id };
    for (var i = 0; i < ANSWER_FIELDS.length; i++) {
      var name = ANSWER_FIELDS[i];
      if (reply && reply[name] !== undefined) answer[name] = reply[name];
    }
    if (answer.resultCode === undefined && answer.error === undefined) answer.error = "host-unavailable";
    window.postMessage(answer, pageOrigin);
  }

  window.addEventListener("message", function (event) {
    if (event.source !== window || event.origin !== pageOrigin) return;
    var message = event.data;
    if (!message || message.korvel !== "request" || typeof message.id !== "string") return;
    var request = {
      korvel: "request",
      title: message.title,
      text: message.text,
      serverDate: message.serverDate,
      data: message.data
    };
    chrome.runtime.sendMessage(request, function (reply) {
      // The worker is gone (the extension was updated or disabled).
      if (chrome.runtime.lastError) reply = { error: "host-unavailable" };
      postAnswer(message.id, reply);
    });
  });

  if (document.documentElement) document.documentElement.setAttribute("data-korvel-extension", "ready");
  window.postMessage({ korvel: "ready" }, pageOrigin);
}());
