; A small program with an uninstaller, as the uninstall and startup managers meet it: it writes
; its uninstall entry (display name and command) and a Run value under the current user.
Unicode true
Target amd64-unicode
Name "Tidewell Test App"
OutFile "tidewell-test-app-setup.exe"
InstallDir "$PROGRAMFILES64\Tidewell Test App"
RequestExecutionLevel admin
SilentInstall silent
SilentUnInstall silent
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TidewellTestApp"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Section
  SetOutPath $INSTDIR
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tidewell Test App 1.0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKCU "${RUN_KEY}" "TidewellTestApp" '"$INSTDIR\uninstall.exe" /tray'
SectionEnd

Section "Uninstall"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegValue HKCU "${RUN_KEY}" "TidewellTestApp"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
