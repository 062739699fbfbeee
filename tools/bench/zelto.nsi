; The same product as Zelto2000Setup.exe, packaged the way most people would
; package a small Windows program: an NSIS installer with NSIS's own classic
; pages, built from the same payload files. The benchmark (run.sh) builds it
; with
;   makensis -V2 -DSAVER=... -DHELP=... -DLICENCE=... -DOUTFILE=... zelto.nsi
; and, for its scaling runs, -DEXTRA=file.nsh with more File lines.
; It keeps to what NSIS does without plug-ins, so that nothing is unpacked to a
; temporary folder before the first page: the leanest NSIS installer that does
; the job, as the one to measure against.
;
; Ours                                   here
;   Welcome page, licence dialog           licence page ("I Agree")
;   Apply Options: one check box           components page: one check box
;   Finish, then the success message       Install, then the same message
;   files into the system folder           the same
;   uninstall entry, two values            the same values
;   system.ini [boot] SCRNSAVE.EXE         the same, the saver's short path
;   C:\windows\vmbUninst.exe UNINSTALL     the same, no question, a closing box

!ifndef SAVER | HELP | LICENCE | OUTFILE
  !error "define SAVER, HELP, LICENCE and OUTFILE"
!endif

Unicode false          ; ANSI, like ours: the x86-ansi stub
SetCompressor zlib     ; NSIS's default method, not solid
RequestExecutionLevel admin
Name "Zelto 2000"
Caption "Zelto 2000 Setup"
OutFile "${OUTFILE}"
InstallDir "$SYSDIR"
ShowInstDetails nevershow
ShowUninstDetails nevershow
AutoCloseWindow true

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zelto2000"
!define PRODUCT_KEY "Software\Ostrell Zuvak\vimbaTressil"

LicenseText "Please read the following license agreement."
LicenseData "${LICENCE}"
ComponentText "Choose what Setup does besides copying the files."

!ifdef LICENCE_SHOW
Page license "" ${LICENCE_SHOW}  ; zelto-screens.nsi: a function when the page shows
!else
Page license
!endif
Page components
Page instfiles
UninstPage instfiles

Section "-Files"
  SetOutPath "$SYSDIR"
  File "/oname=Zelto 2000.Scr" "${SAVER}"
  File "/oname=Zeltohlp.Hlp" "${HELP}"
!ifdef EXTRA
  !include "${EXTRA}"  ; the benchmark's larger payloads: more File lines
!endif
  WriteUninstaller "$WINDIR\vmbUninst.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Zelto 2000 ScreenSaver"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$WINDIR\vmbUninst.exe UNINSTALL"
SectionEnd

Section "Activate Zelto 2000 as the current screen saver" SecActivate
  GetFullPathName /SHORT $0 "$SYSDIR\Zelto 2000.Scr"
  WriteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE" "$0"
SectionEnd

; The end of the installation, as ours shows it.
Section "-Done"
  MessageBox MB_OK|MB_ICONINFORMATION "Zelto 2000 has been installed successfully!"
SectionEnd

Section "Uninstall"
  Delete "$SYSDIR\Zelto 2000.Scr"
  Delete "$SYSDIR\Zeltohlp.Hlp"
  WriteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE" ""
  DeleteRegValue HKLM "${UNINSTALL_KEY}" "DisplayName"
  DeleteRegValue HKLM "${UNINSTALL_KEY}" "UninstallString"
  WriteRegDWORD HKLM "${PRODUCT_KEY}" "Uninstalled" 1
  Delete "$WINDIR\vmbUninst.exe"
  MessageBox MB_OK|MB_ICONINFORMATION "Zelto 2000 is now fully uninstalled."
SectionEnd
