// VOKA4ClientCom.DLL driven from JScript as a front end would: created by
// ProgID, all six methods against voka-server, answer fields read with the
// one-argument GetValue. Usage: cscript authen_test.js PROGID
// Endpoints come from VOKA_TEST_UDP and VOKA_TEST_HTTP; the stand-in e-key
// library needs VOKA_SOFT_TOKEN_SECRET=626f622d746f6b656e2d736563726574.
var failures = 0;

function check(condition, what) {
  WScript.Echo((condition ? "ok: " : "FAIL: ") + what);
  if (!condition) failures++;
}

function expectEqual(actual, expected, what) {
  check(actual === expected, what + " -> " + expected + (actual === expected ? "" : " (got " + actual + ")"));
}

// The rows of carol's matrix card in accounts.facade; POSITION is column
// letter and row number, as "B3".
var carolCard = ["12,34,56,78,90", "21,43,65,87,09", "13,57,91,35,79", "24,68,02,46,80", "31,42,53,64,75"];
function cardCell(position) {
  var column = position.charCodeAt(0) - "A".charCodeAt(0);
  var row = parseInt(position.substring(1), 10) - 1;
  return carolCard[row].split(",")[column];
}

function run(progId, udp, http) {
  var o = new ActiveXObject(progId);
  expectEqual(o.Initialize(udp, http), 0, "Initialize");
  expectEqual(o.GetValue("RETVALUE"), "", "GetValue of a field no answer carried");
  expectEqual(typeof o.GetValue("NOSUCHFIELD"), "string", "type of an absent field");

  expectEqual(o.GetDynamicKey(""), 0, "GetDynamicKey");
  check(/^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$/.test(o.GetValue("GUID")),
        "GUID has the form of a GUID (" + o.GetValue("GUID") + ")");

  expectEqual(o.StaticAuthen("alice", "alice-pass", "1", "2", "", ""), 0, "StaticAuthen alice");
  expectEqual(o.GetValue("retvalue"), "0", "RETVALUE read in lower case");
  expectEqual(o.GetValue("AUTHENSTATE"), "1", "AUTHENSTATE after alice's login");

  expectEqual(o.StaticAuthen("alice", "wrong", "1", "2", "", ""), 1004, "StaticAuthen with a wrong password");
  expectEqual(o.GetValue("RETVALUE"), "1004", "RETVALUE of the refused login");

  expectEqual(o.StaticAuthen("\u5f20\u4e09", "\u5bc6\u7801 123", "1", "2", "", ""), 0,
              "StaticAuthen of a Chinese account name and password");

  expectEqual(o.StaticAuthen("bob", "bob-pass", "1", "2", "", ""), 0, "StaticAuthen bob");
  expectEqual(o.GetValue("AUTHENSTATE"), "4", "bob is asked for his e-key");
  check(/^[0-9]{8}$/.test(o.GetValue("CHALLENGE")), "CHALLENGE of eight digits");
  var ekeyPwd = o.GetValue("EKEYPWD");
  check(ekeyPwd.length > 0, "the e-key library computed EKEYPWD");
  expectEqual(o.EKeyAuthen("bob", ekeyPwd, "1", ""), 0, "EKeyAuthen with the computed password");
  expectEqual(o.GetValue("AUTHENSTATE"), "1", "bob logged in");
  expectEqual(o.EKeyAuthen("bob", ekeyPwd, "1", ""), 1006, "EKeyAuthen again without a pending challenge");

  expectEqual(o.StaticAuthen("carol", "carol-pass", "1", "2", "", ""), 0, "StaticAuthen carol");
  expectEqual(o.GetValue("AUTHENSTATE"), "2", "carol is asked for her matrix card");
  var position = o.GetValue("POSITION");
  check(/^[A-E][1-5]$/.test(position), "POSITION names a card cell (" + position + ")");
  expectEqual(o.ECardAuthen("carol", cardCell(position), ""), 0, "ECardAuthen with the cell of " + position);
  expectEqual(o.GetValue("AUTHENSTATE"), "1", "carol logged in");

  var second = new ActiveXObject(progId);
  expectEqual(second.GetValue("AUTHENSTATE"), "", "a second object does not see the first one's answers");

  var refused = false;
  try {
    o.NoSuchMethod();
  } catch (e) {
    refused = true;
  }
  check(refused, "an unknown method name is refused");
}

try {
  var shell = new ActiveXObject("WScript.Shell");
  var udp = shell.ExpandEnvironmentStrings("%VOKA_TEST_UDP%");
  var http = shell.ExpandEnvironmentStrings("%VOKA_TEST_HTTP%");
  if (WScript.Arguments.length != 1) throw new Error("usage: authen_test.js PROGID");
  run(WScript.Arguments(0), udp, http);
} catch (e) {
  // The system's message is localised; keep the output ASCII.
  WScript.Echo("FAIL: uncaught error " + (e.number >>> 0).toString(16) + " " + escape(e.message));
  failures++;
}
WScript.Echo(failures == 0 ? "all passed" : failures + " failed");
WScript.Quit(failures == 0 ? 0 : 1);
