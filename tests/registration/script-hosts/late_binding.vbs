' Creates the control by both ProgIDs, puts and gets every property, runs
' SignRenewal (cancelled from outside) and prints what it saw. Wine's
' VBScript has no ChrW, AscW, Eval or TypeName, and cannot compare a VT_UI4
' with a literal: the texts here are ASCII (late_binding.js puts Japanese
' text) and results are printed, not compared.
Option Explicit

' Windows resolves a version-independent ProgID through its CurVer; Wine 8
' does not, so the script follows CurVer itself as that lookup would.
Function Create(progId)
  Dim current
  On Error Resume Next
  current = CreateObject("WScript.Shell").RegRead("HKCR\" & progId & "\CurVer\")
  If Err.Number <> 0 Then current = progId Else WScript.Echo progId & " CurVer " & current
  On Error GoTo 0
  Set Create = CreateObject(current)
End Function

Sub Exercise(progId, n)
  Dim control, result, value
  Set control = Create(progId)
  WScript.Echo "created " & progId
  WScript.Echo "IssuerDN at start [" & control.IssuerDN & "] length " & Len(control.IssuerDN)
  WScript.Echo "CertData at start [" & control.CertData & "] length " & Len(control.CertData)
  control.SelID_Title = "Title " & n
  control.SelID_Text = "Choose a certificate"
  control.Server_Date = "1600000000999"
  control.IssuerDN = "data " & n & " 'quoted' & more"
  WScript.Echo "IssuerDN after put [" & control.IssuerDN & "]"

  On Error Resume Next
  value = control.SelID_Title
  WScript.Echo "SelID_Title get error " & Err.Number
  Err.Clear
  value = control.SelID_Text
  WScript.Echo "SelID_Text get error " & Err.Number
  Err.Clear
  value = control.Server_Date
  WScript.Echo "Server_Date get error " & Err.Number
  Err.Clear
  control.CertData = "x"
  WScript.Echo "CertData put error " & Err.Number
  Err.Clear
  On Error GoTo 0

  result = control.SignRenewal()
  WScript.Echo "SignRenewal gave " & result & " (" & Hex(result) & ") vartype " & VarType(result)
  WScript.Echo "IssuerDN after cancel [" & control.IssuerDN & "]"
  WScript.Echo "CertData after cancel [" & control.CertData & "]"
  Set control = Nothing
End Sub

Exercise "KorveIE.2018.8.13", 1
Exercise "KorveIE", 2
WScript.Echo "VBSCRIPT DONE"
