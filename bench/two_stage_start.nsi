; The peer for the two-stage start: a silent installer that only writes an
; uninstaller, whose uninstall section is empty. Run with /S, the uninstaller
; copies itself to the temporary folder and starts that copy, like ours.
Name "Peer"
OutFile "peer_setup.exe"
InstallDir "$TEMP\peer"
RequestExecutionLevel user
SilentInstall silent
Section
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninst.exe"
SectionEnd
Section "Uninstall"
SectionEnd
