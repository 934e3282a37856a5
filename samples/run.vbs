' The whole test flow through the registered HDD component, for the Windows
' Script Host:
'
'   cscript //nologo run.vbs [ITEM ...] [/tests:linear,funnel,random,surface]
'
' It asks for the disk report, plans the batch with StartHDDTest, runs each
' chosen test on each item (default: every partition of the report) and names
' every result code. The exit status is 0 when every test passed, 1 when one
' failed or was refused, 2 when the component could not be used.
Option Explicit

' The component calls the default member with (event kind, value, 2): kind 0
' is percent done, kind 1 the minutes the batch still needs.
Class Progress
    Public LastTenth

    Private Sub Class_Initialize()
        LastTenth = -1
    End Sub

    Public Default Function OnEvent(kind, value, tag)
        If kind = 1 Then
            WScript.Echo "  about " & value & " min left"
        ElseIf Int(value / 10) > LastTenth Then
            LastTenth = Int(value / 10)
            WScript.Echo "  " & value & "%"
        End If
    End Function
End Class

Function Hex8(n)
    Hex8 = Right("00000000" & Hex(n), 8)
End Function

Function CodeName(code)
    Select Case Hex8(code)
        Case "00000000": CodeName = "S_OK"
        Case "20010000": CodeName = "HDD_TEST_ABORTED"
        Case "20010001": CodeName = "HDD_TEST_READ_ERROR"
        Case "A0010001": CodeName = "HDD_DRIVE_NOT_TESTABLE"
        Case "A0010003": CodeName = "HDD_PARTITION_NOT_TESTABLE"
        Case "80070057": CodeName = "E_INVALIDARG"
        Case "8007000E": CodeName = "E_OUTOFMEMORY"
        Case "8000FFFF": CodeName = "E_UNEXPECTED"
        Case Else: CodeName = "0x" & Hex8(code)
    End Select
End Function

Function MethodOf(name)
    Select Case name
        Case "linear": MethodOf = "HDDLinearSeekTest"
        Case "funnel": MethodOf = "HDDFunnelSeekTest"
        Case "random": MethodOf = "HDDRandomSeekTest"
        Case "surface": MethodOf = "HDDSurfaceScanTest"
        Case Else: MethodOf = ""
    End Select
End Function

Function BitOf(name)
    Select Case name
        Case "linear": BitOf = 1
        Case "random": BitOf = 2
        Case "funnel": BitOf = 4
        Case Else: BitOf = 8
    End Select
End Function

Function RunTest(hdd, name, item)
    Select Case name
        Case "linear": RunTest = hdd.HDDLinearSeekTest(item)
        Case "funnel": RunTest = hdd.HDDFunnelSeekTest(item)
        Case "random": RunTest = hdd.HDDRandomSeekTest(item)
        Case Else: RunTest = hdd.HDDSurfaceScanTest(item)
    End Select
End Function

' The items joined by commas (the script host's Join is not everywhere).
Function JoinItems(list)
    Dim i
    JoinItems = ""
    For i = 0 To UBound(list)
        If i > 0 Then JoinItems = JoinItems & ","
        JoinItems = JoinItems & list(i)
    Next
End Function

' Appends the item unless the list already holds it.
Function AddItem(list, item)
    Dim i
    For i = 0 To UBound(list)
        If list(i) = item Then
            AddItem = list
            Exit Function
        End If
    Next
    ReDim Preserve list(UBound(list) + 1)
    list(UBound(list)) = item
    AddItem = list
End Function

' An error raised by the component, kept for the last lines of the script.
Dim errNumber, errText
errNumber = 0

Function Failed()
    Failed = (Err.Number <> 0)
    If Failed Then
        errNumber = Err.Number
        errText = Err.Description
    End If
End Function

' Returns the exit status.
Function Main()
    Dim items, tests, i, arg, parts, mask, hdd, callback, report, entries
    Dim t, n, code, exitCode, passed, total
    Main = 2
    items = Array()
    tests = Split("linear,funnel,random,surface", ",")
    For i = 0 To WScript.Arguments.Count - 1
        arg = WScript.Arguments(i)
        If LCase(Left(arg, 7)) = "/tests:" Then
            tests = Split(Mid(arg, 8), ",")
        Else
            parts = Split(arg, ",")
            For n = 0 To UBound(parts)
                If parts(n) <> "" Then items = AddItem(items, parts(n))
            Next
        End If
    Next
    mask = 0
    For t = 0 To UBound(tests)
        If MethodOf(tests(t)) = "" Then
            WScript.Echo "error: '" & tests(t) & "' is not a test (linear, funnel, random, surface)"
            Exit Function
        End If
        mask = mask Or BitOf(tests(t))
    Next

    On Error Resume Next
    Set hdd = CreateObject("HDD.CHDDObject")
    If Failed() Then Exit Function
    Set callback = New Progress
    hdd.SetCallback callback
    If Failed() Then Exit Function
    report = hdd.GetHardDiskInfo()
    If Failed() Then Exit Function
    WScript.Echo "report: " & report
    If UBound(items) < 0 And report <> "" Then
        entries = Split(report, ",")
        For i = 0 To UBound(entries)
            parts = Split(entries(i), "-")
            items = AddItem(items, parts(0) & "-" & parts(1))
        Next
    End If
    ' A script cannot see whether the plan was made: both of the method's
    ' statuses are successes, and it has no result value.
    hdd.StartHDDTest JoinItems(items), mask
    If Failed() Then Exit Function
    WScript.Echo "plan: " & JoinItems(items) & " mask 0x" & Hex8(mask)

    exitCode = 0
    passed = 0
    total = 0
    For t = 0 To UBound(tests)
        For n = 0 To UBound(items)
            WScript.Echo MethodOf(tests(t)) & " " & items(n)
            callback.LastTenth = -1
            code = RunTest(hdd, tests(t), items(n))
            If Failed() Then Exit Function
            WScript.Echo "  result 0x" & Hex8(code) & " " & CodeName(code)
            total = total + 1
            If code = 0 Then
                passed = passed + 1
            Else
                exitCode = 1
            End If
        Next
    Next
    hdd.ReleaseCallback
    If Failed() Then Exit Function
    WScript.Echo "summary: " & passed & " of " & total & " tests passed"
    Main = exitCode
End Function

Dim status
status = Main()
If errNumber <> 0 Then
    WScript.Echo "error: " & errText & " (0x" & Hex8(errNumber) & ")"
    status = 2
End If
WScript.Echo "done"
WScript.Quit status
