; The trace folder: made by the installer, since the programs never create it, and writable by
; the local Users group (S-1-5-32-545, by its SID so that it works on every language of Windows)
; so that a standard user's trace is written. Only this folder gets the right, inherited by the
; files made in it; its parents keep what Program Files gives them, and the uninstaller leaves
; the folder and its trace files.

!macro KnotMakeTraceFolder
  CreateDirectory "${KNOT_TRACE_FOLDER}"
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "${KNOT_TRACE_FOLDER}" /grant *S-1-5-32-545:(OI)(CI)M'
  Pop $0
  StrCmp $0 "0" knot_trace_folder_done
    DetailPrint "icacls could not let the Users group write ${KNOT_TRACE_FOLDER}: $0"
    MessageBox MB_OK|MB_ICONEXCLAMATION "Standard users cannot write the trace into ${KNOT_TRACE_FOLDER}: its access rights could not be set ($0)." /SD IDOK
    SetErrorLevel 2
  knot_trace_folder_done:
!macroend
