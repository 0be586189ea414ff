// A full login through VOKA4ClientCom.DLL, as a JScript front end runs it:
// dynamic key, account login, and the e-key login when the answer asks for
// the USB token (AUTHENSTATE 4; the e-key library leaves EKEYPWD).
// Usage: cscript //nologo login.js UDP_SERVER HTTP_BASE USER PASSWORD APP AREA [EKEY_TYPE]
// Prints "STEP: RESULT" and the answer fields as NAME=VALUE, in ASCII
// (other characters as \uXXXX); exits 0 when the login succeeded.
var kFields = ["RETVALUE", "DESCMSG", "GUID", "AUTHENSTATE", "CHALLENGE", "EKEYPWD", "POSITION"];

function ascii(text) {
  return text.replace(/[^\x20-\x7e]/g, function (c) {
    return "\\u" + ("000" + c.charCodeAt(0).toString(16)).slice(-4);
  });
}

function report(o, step, result) {
  WScript.Echo(step + ": " + result);
  for (var i = 0; i < kFields.length; i++) {
    var value = o.GetValue(kFields[i]);
    if (value !== "") WScript.Echo("  " + kFields[i] + "=" + ascii(value));
  }
  return result;
}

function login(args) {
  var o = new ActiveXObject("VOKA4ClientCom.VOKAClientAuthen");
  var user = args[2], ekeyType = args.length > 6 ? args[6] : "1";
  report(o, "Initialize", o.Initialize(args[0], args[1]));
  var result = report(o, "GetDynamicKey", o.GetDynamicKey(""));
  if (result != 0) return result;
  result = report(o, "StaticAuthen", o.StaticAuthen(user, args[3], args[4], args[5], "", ""));
  if (result != 0 || o.GetValue("AUTHENSTATE") != "4") return result;
  return report(o, "EKeyAuthen", o.EKeyAuthen(user, o.GetValue("EKEYPWD"), ekeyType, ""));
}

var status;
try {
  var args = [];
  for (var i = 0; i < WScript.Arguments.length; i++) args.push(WScript.Arguments(i));
  if (args.length < 6) throw new Error("usage: login.js UDP_SERVER HTTP_BASE USER PASSWORD APP AREA [EKEY_TYPE]");
  status = login(args) == 0 ? 0 : 1;
} catch (e) {
  WScript.Echo("error " + (e.number >>> 0).toString(16) + ": " + ascii(e.message));
  status = 2;
}
WScript.Quit(status);
