; Each installer carries the programs of one architecture. The one for 64-bit Windows is itself a
; 32-bit program, so that on a 32-bit Windows it starts and says why it installs nothing (status
; 4) instead of failing to start; it then looks at the 64-bit registry, and runs the 64-bit
; system's tools. The one for 32-bit x86 installs on both, the programs running on 64-bit
; Windows as 32-bit ones.
!include x64.nsh

!macro KnotInstallerInit
!ifdef KNOT_PROGRAMS_X64
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "This installer is for 64-bit Windows, and this Windows is 32-bit: nothing was installed. Install ${KNOT_OTHER_INSTALLER} instead." /SD IDOK
    SetErrorLevel 4
    Quit
  ${EndIf}
  SetRegView 64
!endif
!macroend

!macro KnotUninstallerInit
!ifdef KNOT_PROGRAMS_X64
  SetRegView 64
!endif
!macroend

; Around a system program run by the installer: the 64-bit one on 64-bit Windows.
!macro KnotSystemProgramsBegin
!ifdef KNOT_PROGRAMS_X64
  ${DisableX64FSRedirection}
!endif
!macroend
!macro KnotSystemProgramsEnd
!ifdef KNOT_PROGRAMS_X64
  ${EnableX64FSRedirection}
!endif
!macroend
