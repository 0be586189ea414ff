' A whole login through VOKA4ClientCom.DLL from VBScript: dynamic key,
' account login, and the e-key login when the answer asks for the USB token
' (AUTHENSTATE 4; the e-key library leaves EKEYPWD).
' Usage: cscript //nologo login.vbs UDP_SERVER HTTP_BASE USER PASSWORD APP AREA
' Prints each step's result and DESCMSG; exits 0 when the login succeeded.
Option Explicit

Function Report(o, stepName, result)
  Dim message
  If o.GetValue("DESCMSG", message) <> 0 Then message = ""
  WScript.Echo stepName & ": " & result & " " & message
  Report = result
End Function

Function Login(args)
  Dim o, result, state, ekeyPassword
  Set o = CreateObject("VOKA4ClientCom.VOKAClientAuthen")
  o.Initialize args(0), args(1)
  result = Report(o, "GetDynamicKey", o.GetDynamicKey(""))
  If result = 0 Then result = Report(o, "StaticAuthen", o.StaticAuthen(args(2), args(3), args(4), args(5), "", ""))
  If result = 0 Then
    If o.GetValue("AUTHENSTATE", state) <> 0 Then state = ""
    If state = "4" And o.GetValue("EKEYPWD", ekeyPassword) = 0 Then
      result = Report(o, "EKeyAuthen", o.EKeyAuthen(args(2), ekeyPassword, "1", ""))
      If o.GetValue("AUTHENSTATE", state) <> 0 Then state = ""
    End If
    If state <> "1" And result = 0 Then result = 1
  End If
  Login = result
End Function

If WScript.Arguments.Count < 6 Then
  WScript.Echo "usage: login.vbs UDP_SERVER HTTP_BASE USER PASSWORD APP AREA"
  WScript.Quit 2
End If
Dim args(5), i
For i = 0 To 5
  args(i) = WScript.Arguments(i)
Next
If Login(args) = 0 Then
  WScript.Echo "logged in"
  WScript.Quit 0
End If
WScript.Quit 1
