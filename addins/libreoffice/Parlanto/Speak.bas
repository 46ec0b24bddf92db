REM Parlanto speaker for LibreOffice Writer.
REM Each macro starts the program "parlanto" with one of Parlanto's command strings; a running
REM Parlanto takes it over at once, otherwise Parlanto starts and acts on it:
REM   marker + "_1" + text   read this text
REM   marker + "_2"          speak / pause / resume
REM   marker + "_3"          stop
REM   a file path            read that file
REM Texts too long for one command-line argument (and texts holding a double quote, which the
REM argument cannot carry) are written to a file of the user's own and handed over by path.
Option Explicit

Const MARKER = "9E04B7C2A61D4F3385E0C7D29B1A6F48"
REM One argument may hold 128 KiB; 30000 characters stay below that in UTF-8.
Const MAX_ARGUMENT_CHARS = 30000
REM Handed-over files older than this many minutes have been read and are removed.
Const KEEP_MINUTES = 10

Sub SpeakByParlanto
    Dim sText As String
    sText = SelectedOrWholeText()
    If Len(Trim(sText)) = 0 Then Exit Sub
    If Len(sText) > MAX_ARGUMENT_CHARS Or InStr(sText, Chr(34)) > 0 Then
        Dim sPath As String
        sPath = WriteTextFile(sText)
        If sPath <> "" Then RunParlanto(sPath)
    Else
        RunParlanto(MARKER & "_1" & sText)
    End If
End Sub

Sub PauseOrResumeSpeaking
    RunParlanto(MARKER & "_2")
End Sub

Sub StopSpeaking
    RunParlanto(MARKER & "_3")
End Sub

REM The selected text (several selections joined by line ends), or the whole document's text
REM when nothing is selected.
Function SelectedOrWholeText() As String
    Dim oDoc As Object, oSelection As Object, sText As String, sPart As String, i As Long
    SelectedOrWholeText = ""
    oDoc = ThisComponent
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
    sProgram = FindParlanto()
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

REM The full path of the program "parlanto" on the PATH, or "".
Function FindParlanto() As String
    Dim aFolders() As String, i As Integer, sCandidate As String
    FindParlanto = ""
    aFolders = Split(Environ("PATH"), ":")
    For i = LBound(aFolders) To UBound(aFolders)
        If aFolders(i) <> "" Then
            sCandidate = aFolders(i) & "/parlanto"
            If FileExists(sCandidate) Then
                FindParlanto = sCandidate
                Exit Function
            End If
        End If
    Next i
End Function

REM Writes the text as UTF-8 into a new file in the user's own cache folder and returns its
REM path; files handed over earlier are removed once they are old enough to have been read.
Function WriteTextFile(sText As String) As String
    Dim oAccess As Object, oStream As Object, oOutput As Object
    Dim sHome As String, sFolder As String, sUrl As String, sName As String
    WriteTextFile = ""
    sHome = Environ("XDG_CACHE_HOME")
    If sHome = "" Then sHome = Environ("HOME") & "/.cache"
    sFolder = ConvertToURL(sHome & "/parlanto/writer")
    oAccess = CreateUnoService("com.sun.star.ucb.SimpleFileAccess")
    If Not oAccess.isFolder(sFolder) Then oAccess.createFolder(sFolder)
    RemoveOldFiles(oAccess, sFolder)
    Randomize
    sName = "speak-" & Format(Now, "yyyymmdd-hhmmss") & "-" & CStr(Int(Rnd() * 1000000)) & ".txt"
    sUrl = sFolder & "/" & sName
    oStream = oAccess.openFileWrite(sUrl)
    oOutput = CreateUnoService("com.sun.star.io.TextOutputStream")
    oOutput.setOutputStream(oStream)
    oOutput.setEncoding("UTF-8")
    oOutput.writeString(sText)
    oOutput.closeOutput()
    WriteTextFile = ConvertFromURL(sUrl)
End Function

Sub RemoveOldFiles(oAccess As Object, sFolder As String)
    Dim aFiles() As String, i As Long
    On Error Resume Next
    aFiles = oAccess.getFolderContents(sFolder, False)
    For i = LBound(aFiles) To UBound(aFiles)
        If DateDiff("n", FileDateTime(aFiles(i)), Now) > KEEP_MINUTES Then oAccess.kill(aFiles(i))
    Next i
End Sub
