// Creates the control by both ProgIDs, puts and gets every property, runs
// SignRenewal (cancelled from outside) and prints what it saw. Non-ASCII
// text is written as \u escapes: cscript reads the file in the ANSI code page.
function out(text) { WScript.Echo(text); }
function hex(number) { return (number >>> 0).toString(16); }
function codes(text) {
  var list = [];
  for (var i = 0; i < text.length; i++) list.push(text.charCodeAt(i).toString(16));
  return list.join(" ");
}
function tryGet(control, name) {
  try {
    var value = control[name];
    out(name + " get gave [" + value + "]");
  } catch (e) {
    out(name + " get threw " + hex(e.number));
  }
}

// Windows resolves a version-independent ProgID through its CurVer; Wine 8
// does not, so the script follows CurVer itself as that lookup would.
function create(progId) {
  var current = progId;
  try {
    current = new ActiveXObject("WScript.Shell").RegRead("HKCR\\" + progId + "\\CurVer\\");
    out(progId + " CurVer " + current);
  } catch (e) {
  }
  return new ActiveXObject(current);
}

try {
  var progIds = ["KorveIE.2018.8.13", "KorveIE"];
  for (var i = 0; i < progIds.length; i++) {
    var control = create(progIds[i]);
    out("created " + progIds[i]);
    out("IssuerDN at start [" + control.IssuerDN + "] length " + control.IssuerDN.length);
    out("CertData at start [" + control.CertData + "] length " + control.CertData.length);
    control.SelID_Title = "Title " + (i + 1);
    control.SelID_Text = "\u8a3c\u660e\u66f8\u3092\u9078\u629e";
    control.Server_Date = "1600000000999";
    control.IssuerDN = "data " + (i + 1) + " \u7f72\u540d";
    out("IssuerDN after put: codes " + codes(control.IssuerDN));
    tryGet(control, "SelID_Title");
    tryGet(control, "SelID_Text");
    tryGet(control, "Server_Date");
    try {
      control.CertData = "x";
      out("CertData put accepted");
    } catch (e) {
      out("CertData put threw " + hex(e.number));
    }
    var result = control.SignRenewal();
    out("SignRenewal gave " + result + " (" + hex(result) + ") typeof " + typeof result);
    out("IssuerDN after cancel: codes " + codes(control.IssuerDN));
    out("CertData after cancel [" + control.CertData + "]");
    control = null;
  }
  out("JSCRIPT DONE");
} catch (e) {
  out("JSCRIPT ERROR " + hex(e.number) + " " + e.description);
}
