' A small VBScript front end of HDD.dll:
'
'   cscript //nologo client.vbs [SELECTOR]
'
' It creates the object by its ProgID, asks for the disk report, plans a
' batch of one surface scan and runs it on SELECTOR (default: the report's
' first partition), printing every progress event and the result code. Exit
' status: 0 when the test passed, 1 when it failed or was refused, 2 when
' the component could not be used.
Option Explicit

' The component calls the default member with (event kind, value, 2).
Class Progress
    Public Default Function OnEvent(kind, value, tag)
        If kind = 0 Then
            WScript.Echo "percent " & value
        Else
            WScript.Echo "minutes " & value
        End If
    End Function
End Class

Function Main()
    Dim hdd, callback, report, entries, parts, selector, code
    Main = 2
    Set hdd = CreateObject("HDD.CHDDObject")
    Set callback = New Progress
    hdd.SetCallback callback
    report = hdd.GetHardDiskInfo()
    WScript.Echo "report: " & report

    ' "disk-partition-MiB" items; the selector wants "disk-partition".
    If WScript.Arguments.Count > 0 Then
        selector = WScript.Arguments(0)
    Else
        selector = ""
        entries = Split(report, ",")
        If UBound(entries) >= 0 Then
            parts = Split(entries(0), "-")
            If UBound(parts) >= 1 Then selector = parts(0) & "-" & parts(1)
        End If
    End If
    hdd.StartHDDTest selector, 8  ' the surface scan; no result to see
    WScript.Echo "plan: " & selector & " mask 0x00000008"

    code = hdd.HDDSurfaceScanTest(selector)
    WScript.Echo "HDDSurfaceScanTest " & selector & ": 0x" & Right("00000000" & Hex(code), 8)
    hdd.ReleaseCallback
    If code = 0 Then Main = 0 Else Main = 1
End Function

Dim status
On Error Resume Next
status = Main()
If Err.Number <> 0 Then
    ' A failed creation, or a call the component answered with an error.
    WScript.Echo "error: " & Err.Description & " (0x" & Right("00000000" & Hex(Err.Number), 8) & ")"
    status = 2
End If
On Error GoTo 0
WScript.Echo "done"
WScript.Quit status
