// VOKA4ClientCom.DLL's texts on a Windows of another display language: the
// DLL converts between the host's strings and code page 936, the servers'
// code page, whatever the system's ANSI code page. Run under the locale whose
// ANSI code page is ACP (wine-run's VOKA_WINE_LOCALE).
// Usage: cscript //nologo codepage_test.js ACP
// Endpoints come from VOKA_TEST_UDP and VOKA_TEST_HTTP (accounts.facade).
var failures = 0;
var kAuthenFail = -10332102;

// DESCMSG texts: the server's, then the engine's own.
var kDynamicKeyIssued = "\u52a8\u6001\u5bc6\u94a5\u5df2\u751f\u6210";
var kLoggedIn = "\u767b\u5f55\u6210\u529f";
var kNetworkError = "\u7f51\u7edc\u8fde\u63a5\u51fa\u9519";
var kNotInCodePage = "\u53c2\u6570\u4e2d\u542b\u6709\u4ee3\u7801\u9875\u65e0\u6cd5\u8868\u793a\u7684\u5b57\u7b26";

// The accounts' names and passwords as hosts of each language pass them: the
// login succeeds only when the server reads the characters the host meant.
// 'ä' is in code page 1252 but not in 936: refused, nothing sent (no
// RETVALUE). The endpoint 999.1.1.1 fails before anything is sent.
var kLogins = [
  {what: "Chinese", user: "\u5f20\u4e09", password: "\u5bc6\u7801 123", result: 0, message: kLoggedIn},
  {what: "German", user: "j\u00fcrgen", password: "gr\u00fcn-caf\u00e9", result: 0, message: kLoggedIn},
  {what: "Japanese", user: "\u5c71\u7530\u306f\u306a\u3053", password: "\u30d1\u30b9\u30ef\u30fc\u30c9", result: 0,
   message: kLoggedIn},
  {what: "outside 936", user: "j\u00e4ger", password: "gr\u00fcn-caf\u00e9", result: kAuthenFail,
   message: kNotInCodePage, retValue: ""},
  {what: "unreachable server", user: "j\u00fcrgen", password: "gr\u00fcn-caf\u00e9", result: kAuthenFail,
   message: kNetworkError, retValue: "", udp: "999.1.1.1:9", http: "http://999.1.1.1:9"}
];

function ascii(text) {
  return String(text).replace(/[^\x20-\x7e]/g, function (c) {
    return "\\u" + ("000" + c.charCodeAt(0).toString(16)).slice(-4);
  });
}

function expectEqual(actual, expected, what) {
  var same = actual === expected;
  WScript.Echo((same ? "ok: " : "FAIL: ") + ascii(what + " -> " + expected + (same ? "" : " (got " + actual + ")")));
  if (!same) failures++;
}

function run(acp, udp, http) {
  var registry = "HKLM\\System\\CurrentControlSet\\Control\\Nls\\CodePage\\ACP";
  expectEqual(new ActiveXObject("WScript.Shell").RegRead(registry), acp, "the system's ANSI code page");
  for (var i = 0; i < kLogins.length; i++) {
    var row = kLogins[i];
    var o = new ActiveXObject("VOKA4ClientCom.VOKAClientAuthen");
    expectEqual(o.Initialize(udp, http), 0, row.what + ": Initialize");
    expectEqual(o.GetDynamicKey(""), 0, row.what + ": GetDynamicKey");
    expectEqual(o.GetValue("DESCMSG"), kDynamicKeyIssued, row.what + ": the dynamic key's DESCMSG");
    if (row.udp) o.Initialize(row.udp, row.http);
    expectEqual(o.StaticAuthen(row.user, row.password, "1", "2", "", ""), row.result, row.what + ": StaticAuthen");
    expectEqual(o.GetValue("DESCMSG"), row.message, row.what + ": its DESCMSG");
    expectEqual(o.GetValue("RETVALUE"), row.retValue === undefined ? String(row.result) : row.retValue,
                row.what + ": RETVALUE");
  }
}

try {
  var shell = new ActiveXObject("WScript.Shell");
  if (WScript.Arguments.length != 1) throw new Error("usage: codepage_test.js ACP");
  run(WScript.Arguments(0), shell.ExpandEnvironmentStrings("%VOKA_TEST_UDP%"),
      shell.ExpandEnvironmentStrings("%VOKA_TEST_HTTP%"));
} catch (e) {
  WScript.Echo("FAIL: uncaught error " + (e.number >>> 0).toString(16) + " " + ascii(e.message));
  failures++;
}
WScript.Echo(failures == 0 ? "all passed" : failures + " failed");
WScript.Quit(failures == 0 ? 0 : 1);
