; A 32-bit program installed by a 32-bit installer, which Windows (and Wine) runs in the
; registry's 32-bit view: its COM classes, a shell extension, a help file, a shared library, its
; App Paths entry, its uninstall entry and a Run value, as such installers write them. One class
; is served from the system folder, which for this installer is syswow64.
Unicode true
Target x86-unicode
Name "Tidewell Views App"
OutFile "tidewell-views-setup.exe"
InstallDir "$PROGRAMFILES\Tidewell Views App"
RequestExecutionLevel admin
SilentInstall silent
SilentUnInstall silent
!define CV "Software\Microsoft\Windows\CurrentVersion"
!define DOCUMENT_CLASS "{5D1E2B7C-3A4F-4E8B-9C21-7F0A6B3D2E11}"
!define SHELL_CLASS "{8B4C1D2E-6F7A-4B3C-A1D9-2E5F8C7B6A02}"
!define PROXY_CLASS "{2A9F6E4D-1C3B-4D5E-8F7A-9B0C1D2E3F03}"

!macro EmptyFile PATH
  FileOpen $0 "${PATH}" w
  FileClose $0
!macroend

Section
  SetOutPath $INSTDIR
  WriteUninstaller "$INSTDIR\uninstall.exe"
  !insertmacro EmptyFile "$INSTDIR\viewsapp.exe"
  !insertmacro EmptyFile "$INSTDIR\viewsapp.dll"
  !insertmacro EmptyFile "$INSTDIR\viewsshext.dll"
  !insertmacro EmptyFile "$INSTDIR\viewscore.dll"
  !insertmacro EmptyFile "$INSTDIR\viewsapp.hlp"
  !insertmacro EmptyFile "$SYSDIR\viewsps.dll"

  WriteRegStr HKCR "CLSID\${DOCUMENT_CLASS}" "" "Tidewell Views Document"
  WriteRegStr HKCR "CLSID\${DOCUMENT_CLASS}\InprocServer32" "" "$INSTDIR\viewsapp.dll"
  WriteRegStr HKCR "CLSID\${DOCUMENT_CLASS}\InprocServer32" "ThreadingModel" "Apartment"
  WriteRegStr HKCR "CLSID\${DOCUMENT_CLASS}\DefaultIcon" "" "$INSTDIR\viewsapp.exe,0"
  WriteRegStr HKCR "CLSID\${PROXY_CLASS}" "" "Tidewell Views Proxy"
  WriteRegStr HKCR "CLSID\${PROXY_CLASS}\InprocServer32" "" "$SYSDIR\viewsps.dll"
  WriteRegStr HKCR "CLSID\${SHELL_CLASS}" "" "Tidewell Views Shell Extension"
  WriteRegStr HKCR "CLSID\${SHELL_CLASS}\InprocServer32" "" "$INSTDIR\viewsshext.dll"
  WriteRegStr HKCR "CLSID\${SHELL_CLASS}\InprocServer32" "ThreadingModel" "Apartment"
  WriteRegStr HKLM "${CV}\Shell Extensions\Approved" "${SHELL_CLASS}" "Tidewell Views Shell Extension"
  WriteRegStr HKLM "Software\Microsoft\Windows\Help" "viewsapp.hlp" "$INSTDIR"
  WriteRegDWORD HKLM "${CV}\SharedDlls" "$INSTDIR\viewscore.dll" 1
  WriteRegStr HKLM "${CV}\App Paths\viewsapp.exe" "" "$INSTDIR\viewsapp.exe"
  WriteRegStr HKLM "${CV}\App Paths\viewsapp.exe" "Path" "$INSTDIR"
  WriteRegStr HKLM "${CV}\Uninstall\TidewellViewsApp" "DisplayName" "Tidewell Views App 1.0"
  WriteRegStr HKLM "${CV}\Uninstall\TidewellViewsApp" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${CV}\Run" "TidewellViewsApp" '"$INSTDIR\viewsapp.exe" /tray'
SectionEnd

Section "Uninstall"
  DeleteRegKey HKLM "${CV}\Uninstall\TidewellViewsApp"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
