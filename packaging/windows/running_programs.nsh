; The programs hold the mutex ${KNOT_RUNNING_MUTEX} from their start to their end (the
; system releases it with the process). While one runs, its files cannot be replaced or removed:
; the installer and the uninstaller look for the mutex before they change anything. Interactively
; they ask for the programs to be closed and look again; silently they change nothing and end
; with status 3. A mutex that exists but may not be opened (another user's program) counts too.

!macro KnotRefuseWhileProgramsRun
  knot_look_for_programs:
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${KNOT_RUNNING_MUTEX}") p.r0 ?e'
    Pop $1
    StrCmp $0 0 0 knot_programs_run
    StrCmp $1 5 knot_programs_run knot_no_program_runs ; 5: access denied
  knot_programs_run:
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "A program of the KNOT Flash Data Transfer Tool is running. Close it, then choose Retry." /SD IDCANCEL IDRETRY knot_look_for_programs
    DetailPrint "A program of the KNOT Flash Data Transfer Tool is running: nothing was changed."
    SetErrorLevel 3
    Abort
  knot_no_program_runs:
!macroend
