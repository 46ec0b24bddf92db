REM Parlanto speaker for LibreOffice Writer.
REM Each macro starts the program "parlanto" with one of Parlanto's command strings; a running
REM Parlanto takes it over at once, otherwise Parlanto starts and acts on it:
REM   a file path            read that file
REM   marker + "_2"          speak / pause / resume
REM   marker + "_3"          stop
REM The text to read never goes on the command line, where every user of the machine could
REM read it: it is written to a file of the user's own (mode 0600, in a folder only the user
REM may enter), which Parlanto removes once it has read it.
Option Explicit

Const MARKER = "9E04B7C2A61D4F3385E0C7D29B1A6F48"
REM Handed-over files still there after this many minutes were never read and are removed.
Const KEEP_MINUTES = 10

Sub SpeakByParlanto
    Dim sText As String, sPath As String
    sText = SelectedOrWholeText(ThisComponent)
    If Len(Trim(sText)) = 0 Then Exit Sub
    sPath = WriteTextFile(sText)
    If sPath <> "" Then RunParlanto(sPath)
End Sub

Sub PauseOrResumeSpeaking
    RunParlanto(MARKER & "_2")
End Sub

Sub StopSpeaking
    RunParlanto(MARKER & "_3")
End Sub

REM The selected text (several selections joined by line ends), or the whole document's text
REM when nothing is selected.
Function SelectedOrWholeText(oDoc As Object) As String
    Dim oSelection As Object, sText As String, sPart As String, i As Long
    SelectedOrWholeText = ""
    If IsNull(oDoc) Then Exit Function
    If Not oDoc.supportsService("com.sun.star.text.TextDocument") Then Exit Function
    oSelection = oDoc.getCurrentController().getSelection()
    sText = ""
    If Not IsNull(oSelection) Then
        If oSelection.supportsService("com.sun.star.text.TextRanges") Then
            For i = 0 To oSelection.getCount() - 1
                sPart = oSelection.getByIndex(i).getString()
                If sPart <> "" Then
                    If sText <> "" Then sText = sText & Chr(10)
                    sText = sText & sPart
                End If
            Next i
        End If
    End If
    If sText = "" Then sText = oDoc.getText().getString()
    SelectedOrWholeText = sText
End Function

REM Starts Parlanto with the argument, which Basic's Shell keeps whole inside double quotes.
Sub RunParlanto(sArgument As String)
    Dim sProgram As String
    sProgram = FindProgram("parlanto")
    If sProgram = "" Then
        MsgBox "Can not find Parlanto. Please install Parlanto, or put the folder of the program " & _
               "parlanto on your PATH.", 16, "Parlanto"
        Exit Sub
    End If
    On Error GoTo Failed
    Shell(sProgram, 6, Chr(34) & sArgument & Chr(34))
    Exit Sub
Failed:
    MsgBox "Can not start " & sProgram & ": " & Error(Err), 16, "Parlanto"
End Sub

REM The full path of a program on the PATH, or "".
Function FindProgram(sName As String) As String
    Dim aFolders() As String, i As Integer, sCandidate As String
    FindProgram = ""
    aFolders = Split(Environ("PATH"), ":")
    For i = LBound(aFolders) To UBound(aFolders)
        If aFolders(i) <> "" Then
            sCandidate = aFolders(i) & "/" & sName
            If FileExists(sCandidate) Then
                FindProgram = sCandidate
                Exit Function
            End If
        End If
    Next i
End Function

REM Gives a file or folder the mode (such as "600"), waiting until it is done; False when the
REM mode could not be set.
Function SetMode(sPath As String, sMode As String) As Boolean
    Dim sChmod As String
    SetMode = False
    sChmod = FindProgram("chmod")
    If sChmod = "" Then Exit Function
    On Error GoTo Failed
    Shell(sChmod, 0, sMode & " " & Chr(34) & sPath & Chr(34), True)
    SetMode = True
Failed:
End Function

REM Writes the text as UTF-8 into a new file in the user's own hand-over folder (the cache's
REM parlanto/writer, mode 0700) and returns its path, or "" when it cannot be kept private.
REM Files handed over earlier that were never read are removed once they are old enough.
Function WriteTextFile(sText As String) As String
    Dim oAccess As Object, oStream As Object, oOutput As Object
    Dim sCache As String, sFolder As String, sFolderUrl As String, sUrl As String, sPath As String
    WriteTextFile = ""
    sCache = Environ("XDG_CACHE_HOME")
    If sCache = "" Then sCache = Environ("HOME") & "/.cache"
    sFolder = sCache & "/parlanto/writer"
    sFolderUrl = ConvertToURL(sFolder)
    oAccess = CreateUnoService("com.sun.star.ucb.SimpleFileAccess")
    If Not oAccess.isFolder(sFolderUrl) Then oAccess.createFolder(sFolderUrl)
    If Not SetMode(sFolder, "700") Then
        MsgBox "Can not keep the text private in " & sFolder & ".", 16, "Parlanto"
        Exit Function
    End If
    RemoveOldFiles(oAccess, sFolderUrl)
    Randomize
    sUrl = sFolderUrl & "/speak-" & Format(Now, "yyyymmdd-hhmmss") & "-" & CStr(Int(Rnd() * 1000000)) & ".txt"
    sPath = ConvertFromURL(sUrl)
    oStream = oAccess.openFileWrite(sUrl)
    If Not SetMode(sPath, "600") Then
        oStream.closeOutput()
        oAccess.kill(sUrl)
        MsgBox "Can not keep the text private in " & sFolder & ".", 16, "Parlanto"
        Exit Function
    End If
    oOutput = CreateUnoService("com.sun.star.io.TextOutputStream")
    oOutput.setOutputStream(oStream)
    oOutput.setEncoding("UTF-8")
    oOutput.writeString(sText)
    oOutput.closeOutput()
    WriteTextFile = sPath
End Function

Sub RemoveOldFiles(oAccess As Object, sFolderUrl As String)
    Dim aFiles() As String, i As Long
    On Error Resume Next
    aFiles = oAccess.getFolderContents(sFolderUrl, False)
    For i = LBound(aFiles) To UBound(aFiles)
        If DateDiff("n", FileDateTime(aFiles(i)), Now) > KEEP_MINUTES Then oAccess.kill(aFiles(i))
    Next i
End Sub
