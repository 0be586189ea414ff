' VOKA4ClientCom.DLL driven from VBScript as a front end would: created by
' ProgID, all six methods against voka-server, answer fields read with
' GetValue(key, value), whose value VBScript passes as a by-reference VARIANT.
' Usage: cscript authen_test.vbs PROGID
' Endpoints come from VOKA_TEST_UDP and VOKA_TEST_HTTP; the stand-in e-key
' library needs VOKA_SOFT_TOKEN_SECRET=626f622d746f6b656e2d736563726574.
Option Explicit
Dim failures : failures = 0

Sub Check(condition, what)
  If condition Then
    WScript.Echo "ok: " & what
  Else
    WScript.Echo "FAIL: " & what
    failures = failures + 1
  End If
End Sub

Sub ExpectEqual(actual, expected, what)
  If actual = expected Then
    Check True, what & " -> " & expected
  Else
    Check False, what & " -> " & expected & " (got " & actual & ")"
  End If
End Sub

' The rows of carol's matrix card in accounts.facade.
Function CardCell(position)
  Dim card, cells
  card = Array("12,34,56,78,90", "21,43,65,87,09", "13,57,91,35,79", "24,68,02,46,80", "31,42,53,64,75")
  cells = Split(card(CInt(Mid(position, 2)) - 1), ",")
  CardCell = cells(Asc(Left(position, 1)) - Asc("A"))
End Function

Function Stopped(what)
  Stopped = (Err.Number <> 0)
  If Stopped Then
    Check False, what & " raised error " & Hex(Err.Number)
    Err.Clear
  End If
End Function

Sub Run(progId, udp, http)
  Dim o, second, value, result, position, ekeyPwd
  On Error Resume Next
  Set o = CreateObject(progId)
  If Stopped("CreateObject(" & progId & ")") Then Exit Sub

  ExpectEqual o.Initialize(udp, http), 0, "Initialize"
  value = "stale"
  result = o.GetValue("RETVALUE", value)
  If Stopped("GetValue(key, value)") Then Exit Sub
  ExpectEqual result, -1, "GetValue of a field no answer carried"
  ExpectEqual value, "", "its value"

  ExpectEqual o.GetDynamicKey(""), 0, "GetDynamicKey"
  result = o.GetValue("GUID", value)
  ExpectEqual result, 0, "GetValue GUID"
  ExpectEqual Len(value), 36, "length of the GUID " & value

  ExpectEqual o.StaticAuthen("alice", "wrong", "1", "2", "", ""), 1004, "StaticAuthen with a wrong password"
  result = o.GetValue("retvalue", value)
  ExpectEqual value, "1004", "RETVALUE read in lower case"

  ExpectEqual o.StaticAuthen("alice", "alice-pass", "1", "2", "", ""), 0, "StaticAuthen alice"
  ExpectEqual o.GetValue("AUTHENSTATE"), "1", "AUTHENSTATE by the one-argument form"

  ExpectEqual o.StaticAuthen("bob", "bob-pass", "1", "2", "", ""), 0, "StaticAuthen bob"
  result = o.GetValue("EKEYPWD", ekeyPwd)
  ExpectEqual result, 0, "the e-key library computed EKEYPWD"
  ExpectEqual o.EKeyAuthen("bob", ekeyPwd, "1", ""), 0, "EKeyAuthen with the computed password"
  result = o.GetValue("AUTHENSTATE", value)
  ExpectEqual value, "1", "bob logged in"

  ExpectEqual o.StaticAuthen("carol", "carol-pass", "1", "2", "", ""), 0, "StaticAuthen carol"
  result = o.GetValue("POSITION", position)
  ExpectEqual result, 0, "POSITION present (" & position & ")"
  ExpectEqual o.ECardAuthen("carol", CardCell(position), ""), 0, "ECardAuthen with the cell of " & position
  result = o.GetValue("AUTHENSTATE", value)
  ExpectEqual value, "1", "carol logged in"

  Set second = CreateObject(progId)
  result = second.GetValue("AUTHENSTATE", value)
  ExpectEqual result, -1, "a second object does not see the first one's answers"
  Stopped "the calls"
End Sub

Dim shell
Set shell = CreateObject("WScript.Shell")
If WScript.Arguments.Count <> 1 Then
  Check False, "usage: authen_test.vbs PROGID"
Else
  Run WScript.Arguments(0), shell.ExpandEnvironmentStrings("%VOKA_TEST_UDP%"), _
      shell.ExpandEnvironmentStrings("%VOKA_TEST_HTTP%")
End If
If failures = 0 Then
  WScript.Echo "all passed"
  WScript.Quit 0
End If
WScript.Echo failures & " failed"
WScript.Quit 1
