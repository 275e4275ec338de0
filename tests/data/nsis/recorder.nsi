; Writes the command line it was started with to C:\record.txt, exactly as it received it.
Unicode true
Target amd64-unicode
Name "Command line recorder"
OutFile "recorder.exe"
RequestExecutionLevel user
SilentInstall silent

Section
  FileOpen $0 "C:\record.tmp" w
  FileWrite $0 $CMDLINE
  FileClose $0
  Rename "C:\record.tmp" "C:\record.txt"
SectionEnd
