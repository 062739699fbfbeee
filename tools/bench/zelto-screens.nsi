; The same product as Zelto2000Setup.exe, and the same screens before the
; first page as ours shows: NSIS's own full-screen gradient background and a
; small "checking" window, shown and closed, then the licence page. Built by
; the benchmark (run.sh) beside the lean zelto.nsi, from the same payload
; files, with
;   makensis -V2 -DSAVER=... -DHELP=... -DLICENCE=... -DOUTFILE=... zelto-screens.nsi
;
; Ours, before the first page                here
;   maximised backdrop: gradient from          BGGradient from 00000A to B4B4FF: the
;   RGB(0,0,10) to RGB(180,180,255) with       same colours, top to bottom, with the
;   the title embossed, the logo and the       installer's caption "Zelto 2000 Setup"
;   edition line                               (ours' window title) as its text; no
;                                              logo, no edition line
;   the package check's progress window,       the Banner plug-in's window with the
;   "Looking for Updates..", shown and         same text, shown and closed before the
;   closed before the first page               first page (.onGUIInit)
;   Welcome page, then the licence dialog      licence page ("I Agree"), as zelto.nsi
;   everything after the first page            zelto.nsi's, included below
; The Banner plug-in is unpacked into a temporary folder at its first call, as
; every NSIS plug-in is: that is NSIS's way of showing such a window.

!ifndef SAVER | HELP | LICENCE | OUTFILE
  !error "define SAVER, HELP, LICENCE and OUTFILE"
!endif

!define LICENCE_SHOW licenceShown
!include "zelto.nsi"

BGGradient 00000A B4B4FF FFFFFF

Function .onGUIInit
  Banner::show /NOUNLOAD "Looking for Updates.."
  Banner::destroy
FunctionEnd

; Closing the banner leaves the background window active, over the installer's
; dialog (under Wine): the dialog comes to the front with its first page, as
; ours' wizard does.
Function licenceShown
  BringToFront
FunctionEnd
