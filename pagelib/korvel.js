// KorvelTool page library: one call for a renewal page, in Internet Explorer
// and Edge's IE mode (the ActiveX control) and in Chrome and Edge (the
// KorvelTool extension and its native host).
//   KorvelTool.signRenewal({title, text, serverDate, data}, callback)
// callback(error, result), and where Promise exists a Promise of the result.
// result: {resultCode}, and issuerDN and certData (base64) when resultCode is 0
// (1 nothing signed, 0x80001067 cancelled, 0x80001091 empty list).
// error: an Error whose code is one of
//   not-installed        neither the control nor the extension is there
//   origin-not-allowed   this page's origin is not one the build serves
//   bad-request          a field is missing or not text
//   busy                 this tab has a renewal running
//   host-unavailable     the extension found no working native host
//   control-unavailable, sign-failed   the host or the control failed
// Written for Internet Explorer 11's script engine as well: ES5 only.
(function (window) {
  "use strict";

  var CLSID = "E3644F0A-E99E-4C9E-A037-2B005B75902E";
  // Windows follows CurVer of the version-independent ProgID; Wine does not.
  var PROGIDS = ["KorveIE", "KorveIE.2018.8.13"];
  var E_ACCESSDENIED = 0x80070005 | 0;
  // The content script runs at document_start, before any page script: the
  // wait is a margin, short enough that not-installed comes within a second.
  var READY_WAIT_MS = 500;
  var document = window.document;

  var extensionReady = false;
  var readyWaiters = [];
  var pendingAnswers = {};
  var requestCount = 0;

  function korvelError(code) {
    var error = new Error("KorvelTool: " + code);
    error.code = code;
    return error;
  }

  // The four texts of a request, or null when one is not text (the server's
  // time may be given as a number).
  function requestOf(fields) {
    if (!fields || typeof fields !== "object") return null;
    var serverDate = typeof fields.serverDate === "number" ? String(fields.serverDate) : fields.serverDate;
    var request = { title: fields.title, text: fields.text, serverDate: serverDate, data: fields.data };
    for (var name in request) {
      if (request.hasOwnProperty(name) && typeof request[name] !== "string") return null;
    }
    return request;
  }

  // --- the ActiveX control ---------------------------------------------------

  function isActiveXBrowser() {
    return "ActiveXObject" in window;
  }

  // An <object> of the control that the page already has and that loaded.
  function controlOnPage() {
    var objects = document.getElementsByTagName("object");
    for (var i = 0; i < objects.length; i++) {
      var classId = String(objects[i].getAttribute("classid") || "").toUpperCase();
      if (classId === "CLSID:" + CLSID && typeof objects[i].SignRenewal !== "undefined") return objects[i];
    }
    return null;
  }

  function createControl() {
    var control = controlOnPage();
    if (control || !isActiveXBrowser()) return control;
    for (var i = 0; i < PROGIDS.length; i++) {
      try {
        return new window.ActiveXObject(PROGIDS[i]);
      } catch (notRegistered) {
        // the next ProgID
      }
    }
    return null;
  }

  function signWithControl(control, request, finish) {
    var result;
    try {
      control.SelID_Title = request.title;
      control.SelID_Text = request.text;
      control.Server_Date = request.serverDate;
      control.IssuerDN = request.data;
      result = { resultCode: Number(control.SignRenewal()) };
      if (result.resultCode === 0) {
        result.issuerDN = control.IssuerDN;
        result.certData = control.CertData;
      }
    } catch (e) {
      // A locked control refuses a page off its list with E_ACCESSDENIED.
      finish(korvelError((e.number | 0) === E_ACCESSDENIED ? "origin-not-allowed" : "sign-failed"));
      return;
    }
    finish(null, result);
  }

  // --- the extension -----------------------------------------------------------

  function pageOrigin() {
    return window.location.protocol + "//" + window.location.host;
  }

  function onMessage(event) {
    var message = event.data;
    if (event.source !== window || event.origin !== pageOrigin() || !message || typeof message !== "object") return;
    if (message.korvel === "ready") {
      extensionReady = true;
      var waiters = readyWaiters;
      readyWaiters = [];
      for (var i = 0; i < waiters.length; i++) waiters[i](true);
    } else if (message.korvel === "answer" && pendingAnswers.hasOwnProperty(message.id)) {
      var finish = pendingAnswers[message.id];
      delete pendingAnswers[message.id];
      if (typeof message.error === "string") {
        finish(korvelError(message.error));
      } else {
        var result = { resultCode: message.resultCode };
        if (message.resultCode === 0) {
          result.issuerDN = message.issuerDN;
          result.certData = message.certData;
        }
        finish(null, result);
      }
    }
  }

  // The content script marks the document before any page script runs, and
  // posts "ready" too in case this library was loaded first.
  function isExtensionReady() {
    var root = document.documentElement;
    return extensionReady || (root && root.getAttribute("data-korvel-extension") === "ready");
  }

  function whenExtensionReady(callback) {
    if (isExtensionReady()) {
      callback(true);
      return;
    }
    var called = false;
    function once(ready) {
      if (!called) {
        called = true;
        callback(ready);
      }
    }
    readyWaiters.push(once);
    window.setTimeout(function () { once(isExtensionReady()); }, READY_WAIT_MS);
  }

  function signWithExtension(request, finish) {
    whenExtensionReady(function (ready) {
      if (!ready) {
        finish(korvelError("not-installed"));
        return;
      }
      requestCount += 1;
      var id = "korvel-" + requestCount + "-" + new Date().getTime();
      pendingAnswers[id] = finish;
      window.postMessage({
        korvel: "request", id: id, title: request.title, text: request.text,
        serverDate: request.serverDate, data: request.data
      }, pageOrigin());
    });
  }

  // --- the call ------------------------------------------------------------------

  function start(fields, finish) {
    var request = requestOf(fields);
    if (request === null) {
      finish(korvelError("bad-request"));
      return;
    }
    var control = createControl();
    if (control) {
      signWithControl(control, request, finish);
    } else if (isActiveXBrowser() || !window.postMessage) {
      finish(korvelError("not-installed"));
    } else {
      signWithExtension(request, finish);
    }
  }

  function signRenewal(fields, callback) {
    var settle = null;
    var promise;
    if (typeof window.Promise === "function") {
      promise = new window.Promise(function (resolve, reject) {
        settle = function (error, result) {
          if (error) reject(error); else resolve(result);
        };
      });
      // A caller that takes the callback needs no rejection handler of its own.
      if (callback) promise["catch"](function () {});
    }
    start(fields, function (error, result) {
      if (callback) callback(error || null, result);
      if (settle) settle(error, result);
    });
    return promise;
  }

  if (window.addEventListener) window.addEventListener("message", onMessage, false);
  window.KorvelTool = { signRenewal: signRenewal };
}(window));
