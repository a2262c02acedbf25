// Sample page script: what a renewal page does with the control.
//   cscript //nologo renewal-page.js [SERVER_TIME_MS]
//   pagehost [/object] /url "https://host/page?server_time=SERVER_TIME_MS" renewal-page.js
//   pagehost [/object] /url ... korvel.js SAMPLE_PAGE_BLOCK renewal-page.js
// The server's time defaults to the local clock. Under pagehost, which runs
// the script as a browser does, the page's address gives the server's time,
// and with /object the control is the page's <object> element `korvel`.
// After korvel.js and the sample page's own script block, which defines
// renew(), the renewal goes through them instead.
// Wine's script host reads this file in the ANSI code page and shows no
// script errors, so non-ASCII text is written as \u escapes, and every
// failure is caught and printed.
var underScriptHost = typeof WScript != "undefined";
var data = "\u66f4\u65b0\u7533\u8acb: renewal request 2026";  // what the service wants signed

function echo(text) {
  if (underScriptHost) WScript.Echo(text); else host.echo(text);
}
function serverTimeGiven() {
  if (underScriptHost) return WScript.Arguments.length > 0 ? WScript.Arguments(0) : null;
  var match = /[?&]server_time=(\d+)/.exec(document.URL);
  return match ? match[1] : null;
}
function renewalControl() {
  return typeof korvel != "undefined" ? korvel : new ActiveXObject("KorveIE.2018.8.13");
}

function hex4(n) { return ("000" + n.toString(16)).slice(-4); }
function codeUnits(s) {
  var out = [];
  for (var i = 0; i < s.length; i++) out.push(hex4(s.charCodeAt(i)));
  return out.join(" ");
}
// Wine's script host writes non-ASCII output in the ANSI code page and crashes on
// long such text, so it is shown as UTF-16 code units.
function show(name, text) {
  if (/^[\x00-\x7f]*$/.test(text)) {
    echo("BEGIN " + name);
    echo(text);
    echo("END " + name);
  } else {
    echo(name + "-UTF16 " + codeUnits(text));
  }
}
function hex8(n) { return "0x" + ("0000000" + n.toString(16)).slice(-8); }

// The page's own road: the control's properties and SignRenewal.
function renewWithControl(serverTime) {
  var control = renewalControl();
  control.SelID_Title = "\u8a3c\u660e\u66f8\u306e\u66f4\u65b0";                        // certificate renewal
  control.SelID_Text = "\u66f4\u65b0\u3059\u308b\u8a3c\u660e\u66f8\u3092\u9078\u3093\u3067\u304f\u3060\u3055\u3044\u3002";  // choose the certificate to renew
  control.Server_Date = serverTime;
  control.IssuerDN = data;
  var result = control.SignRenewal();
  echo("RESULT " + hex8(result));
  echo("DATA-UTF16 " + codeUnits(data));
  show("IssuerDN", control.IssuerDN);
  show("CertData", control.CertData);
}

// After korvel.js and the sample page's own script (pagehost runs them as the
// page's earlier blocks), the renewal goes through the page's renew().
function renewThroughPage(serverTime) {
  var sent = null;
  renew(serverTime, data, function (issuerDN, certData) {
    sent = { issuerDN: issuerDN, certData: certData };
  }, function (error, resultCode) {
    if (error) {
      echo("PAGE-ERROR " + error.code);
      return;
    }
    echo("RESULT " + hex8(resultCode));
    echo("DATA-UTF16 " + codeUnits(data));
    if (sent) {
      show("IssuerDN", sent.issuerDN);
      show("CertData", sent.certData);
    }
  });
}

try {
  var serverTime = serverTimeGiven() || String(new Date().getTime());
  if (typeof renew == "function") {
    renewThroughPage(serverTime);
  } else {
    renewWithControl(serverTime);
  }
} catch (e) {
  echo("SCRIPT-ERROR " + hex8(e.number < 0 ? e.number + 0x100000000 : e.number));
}
echo("PAGE-END");
