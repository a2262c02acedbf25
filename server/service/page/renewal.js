// The renewal page: a challenge from the service, the signature through
// korvel.js (the control, or the extension and its native host), and the
// service's verdict.
(function () {
  "use strict";

  var TITLE = "証明書の更新";
  var PROMPT = "更新する証明書を選んでください。";

  // What the service's reason words mean to the user.
  var REASONS = {
    "too-large": "送ったデータが大きすぎます。",
    "malformed": "署名の形式が正しくありません。",
    "weak-digest": "署名のハッシュ方式が弱すぎます (SHA-1 など)。",
    "content-mismatch": "署名されたデータが、サーバーの渡したデータと一致しません。",
    "signer-mismatch": "送られた証明書が署名者の証明書ではありません。",
    "bad-signature": "署名を確かめられませんでした。",
    "untrusted": "証明書の発行元を信頼できません。",
    "revoked": "証明書は失効しています。",
    "not-eligible": "この証明書は更新の対象ではありません。",
    "outside-window": "証明書の有効期限が更新できる期間の外です。",
    "no-challenge": "署名用のデータがありません。もう一度「更新する」を押してください。",
    "challenge-expired": "署名用のデータの期限 (5 分) が切れました。もう一度「更新する」を押してください。",
    "challenge-used": "この署名用のデータはすでに使われました。もう一度「更新する」を押してください。",
    "origin-not-allowed": "このページからの要求は受け付けられません。"
  };
  // What korvel.js's error codes mean.
  var ERRORS = {
    "not-installed": "KorvelTool (拡張機能またはコントロール) がインストールされていません。",
    "origin-not-allowed": "KorvelTool はこのサイトで使えません。",
    "busy": "別の更新が進行中です。",
    "host-unavailable": "KorvelTool のネイティブホストが見つかりません。",
    "control-unavailable": "KorvelTool のコントロールを使えません。",
    "sign-failed": "署名できませんでした。",
    "bad-request": "要求が正しくありません。"
  };
  var RESULT_CODES = { 1: "署名されませんでした。", 2147487847: "キャンセルされました。",
                       2147487889: "更新できる証明書がありません。" };

  function element(id) { return document.getElementById(id); }

  function mark(step, state) { element(step).className = state; }

  function showVerdict(kind, title, text, details) {
    var box = element("verdict");
    box.className = kind;
    box.setAttribute("data-verdict", kind);
    element("verdict-title").textContent = title;
    element("verdict-text").textContent = text;
    var list = element("verdict-details");
    while (list.firstChild) list.removeChild(list.firstChild);
    for (var i = 0; i < details.length; i++) {
      var term = document.createElement("dt");
      term.textContent = details[i][0];
      var value = document.createElement("dd");
      value.textContent = details[i][1];
      list.appendChild(term);
      list.appendChild(value);
    }
    box.hidden = false;
    element("renew").disabled = false;
  }

  function failed(step, text, word) {
    mark(step, "failed");
    showVerdict("refused", "更新できませんでした", text, word ? [["理由", word]] : []);
  }

  function post(path, body) {
    return fetch(path, {
      method: "POST", credentials: "same-origin", headers: { "Content-Type": "application/json" },
      body: JSON.stringify(body)
    }).then(function (response) {
      return response.json().then(function (answer) { return { status: response.status, answer: answer }; });
    });
  }

  function renew() {
    element("renew").disabled = true;
    element("verdict").hidden = true;
    mark("step-challenge", "active");
    mark("step-sign", "");
    mark("step-renew", "");
    post("/challenge", {}).then(function (reply) {
      if (reply.status !== 200) return failed("step-challenge", "署名用のデータを受け取れませんでした。", reply.answer.reason);
      mark("step-challenge", "done");
      mark("step-sign", "active");
      var request = { title: TITLE, text: PROMPT, serverDate: reply.answer.serverDate, data: reply.answer.data };
      KorvelTool.signRenewal(request, function (error, result) {
        if (error) return failed("step-sign", ERRORS[error.code] || "署名できませんでした。", error.code);
        if (result.resultCode !== 0) {
          return failed("step-sign", RESULT_CODES[result.resultCode] || "署名されませんでした。",
                        "0x" + (result.resultCode >>> 0).toString(16));
        }
        mark("step-sign", "done");
        mark("step-renew", "active");
        sendRenewal(result);
      });
    }).catch(function () {
      failed("step-challenge", "サーバーに接続できませんでした。");
    });
  }

  function sendRenewal(result) {
    post("/renew", { issuerDN: result.issuerDN, certData: result.certData }).then(function (reply) {
      var answer = reply.answer;
      if (answer.approved === true) {
        mark("step-renew", "done");
        showVerdict("approved", "更新を承認しました", "サーバーが署名を確かめ、証明書の更新を承認しました。",
                    [["シリアル番号", answer.serial], ["サブジェクト", answer.subject]]);
      } else {
        failed("step-renew", REASONS[answer.reason] || "サーバーが更新を承認しませんでした。", answer.reason);
      }
    }).catch(function () {
      failed("step-renew", "サーバーに接続できませんでした。");
    });
  }

  element("renew").addEventListener("click", renew);
  element("renew").disabled = false;
}());
