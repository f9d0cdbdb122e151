; The Windows setup of Tavorin, or of a customised copy: per user, no administrator rights.
; scripts/package_windows.sh runs makensis with:
;   BUILD_NSH  the build's values (build.nsh: VERSION, PUBLISHER, PROGRAM_ICON)
;   NAME       the program's name (Tavorin, or the copy's)
;   PROGRAM    the executable to install as NAME.exe
;   OUTFILE    the setup to write
;   ICON       optional: Info.ico to install (and the setup's own icon)
;   PARAM      optional: Param.ini to install
; Exit codes: 0 done, 1 cancelled, 2 aborted by NSIS itself, 3 the running program could not
; be ended, 4 a file could not be replaced or removed (nothing was changed).

!include "${BUILD_NSH}"
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma
Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
; An upgrade goes where the copy is (a first install may have been given /D=).
InstallDirRegKey HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}" "InstallLocation"
BrandingText "${PUBLISHER}"

!define EXE "${NAME}.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define EMULATION_KEY "Software\Microsoft\Internet Explorer\Main\FeatureControl\FEATURE_BROWSER_EMULATION"
!define EXIT_NOT_ENDED 3
!define EXIT_NOT_REPLACED 4

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${NAME}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${NAME} setup"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!else
  !define MUI_ICON "${PROGRAM_ICON}"
  !define MUI_UNICON "${PROGRAM_ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The system's language picks the pages' language.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "French"

LangString ProgramSection ${LANG_ENGLISH} "${NAME}"
LangString ProgramSection ${LANG_FRENCH} "${NAME}"
LangString LoginSection ${LANG_ENGLISH} "Start ${NAME} when I sign in"
LangString LoginSection ${LANG_FRENCH} "Démarrer ${NAME} à l'ouverture de session"
LangString NotEnded ${LANG_ENGLISH} "${NAME} is running and could not be closed. Close it, then try again."
LangString NotEnded ${LANG_FRENCH} "${NAME} est en cours d'exécution et n'a pas pu être fermé. Fermez-le, puis réessayez."
LangString NotReplaced ${LANG_ENGLISH} "$R9 could not be replaced: another program is using it. Nothing was changed; close that program, then run this setup again."
LangString NotReplaced ${LANG_FRENCH} "$R9 n'a pas pu être remplacé : un autre programme l'utilise. Rien n'a été modifié ; fermez ce programme, puis relancez l'installation."
LangString NotRemoved ${LANG_ENGLISH} "$R9 could not be removed: another program is using it. Nothing was removed; close that program, then try again."
LangString NotRemoved ${LANG_FRENCH} "$R9 n'a pas pu être supprimé : un autre programme l'utilise. Rien n'a été supprimé ; fermez ce programme, puis réessayez."

Var WasRunning
Var InstallParam
Var CleanerStarted

; Asks the copy running from $INSTDIR, if any, to end (no question, tray icon removed) and
; waits for its process. Sets the error flag when it does not end; $WasRunning 1 if it ran.
!macro EndRunning UN
Function ${UN}EndRunning
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $WasRunning 0
  System::Call 'user32::RegisterWindowMessageW(w "Tavorin.EndForSetup") i .r0'
  StrCpy $1 0
  ${Do}
    System::Call 'user32::FindWindowExW(p -3, p r1, w "TavorinInstance", p 0) p .r1'
    ${IfThen} $1 P= 0 ${|} ${ExitDo} ${|}
    ; Its title is its executable's path; compare long forms, ignoring case.
    System::Call 'user32::GetWindowTextW(p r1, w .r2, i ${NSIS_MAX_STRLEN})'
    System::Call 'kernel32::GetLongPathNameW(w r2, w .r3, i ${NSIS_MAX_STRLEN}) i .r4'
    ${IfThen} $4 = 0 ${|} StrCpy $3 $2 ${|}
    ${If} $3 == "$INSTDIR\${EXE}"
      System::Call 'user32::GetWindowThreadProcessId(p r1, *i .r2)'
      System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r2) p .r3'
      System::Call 'user32::PostMessageW(p r1, i r0, p 0, p 0)'
      StrCpy $4 1
      ${If} $3 P<> 0
        System::Call 'kernel32::WaitForSingleObject(p r3, i 15000) i .r4'
        System::Call 'kernel32::CloseHandle(p r3)'
      ${EndIf}
      ${If} $4 <> 0
        SetErrors
        ${ExitDo}
      ${EndIf}
      StrCpy $WasRunning 1
      StrCpy $1 0
    ${EndIf}
  ${Loop}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro EndRunning ""
!insertmacro EndRunning "un."

!macro Normalise UN
Function ${UN}.onInit
  ; The program's window gives its path in long form: so does the folder compared with it.
  System::Call 'kernel32::GetLongPathNameW(w "$INSTDIR", w .r0, i ${NSIS_MAX_STRLEN}) i .r1'
  ${IfThen} $1 <> 0 ${|} StrCpy $INSTDIR $0 ${|}
FunctionEnd
!macroend
!insertmacro Normalise ""
!insertmacro Normalise "un"

; The files this setup replaces, each written first as NAME.new beside its target.
!macro ForEachFile MACRO
  !insertmacro ${MACRO} "${EXE}"
  !ifdef ICON
    !insertmacro ${MACRO} "Info.ico"
  !endif
  !ifdef PARAM
    ${If} $InstallParam = 1
      !insertmacro ${MACRO} "Param.ini"
    ${EndIf}
  !endif
  !insertmacro ${MACRO} "unins000.exe"
!macroend

; Moves the old file aside and the new one in; $R9 names the first file that failed.
!macro SwapIn FILE
  ${If} $R9 == ""
    StrCpy $R8 1
    ${If} ${FileExists} "$INSTDIR\${FILE}"
      ; Whoever holds it open without sharing its deletion stops the rename.
      Delete "$INSTDIR\${FILE}.old"
      ClearErrors
      Rename "$INSTDIR\${FILE}" "$INSTDIR\${FILE}.old"
      ${IfThen} ${Errors} ${|} StrCpy $R8 0 ${|}
    ${EndIf}
    ${If} $R8 = 1
      ClearErrors
      Rename "$INSTDIR\${FILE}.new" "$INSTDIR\${FILE}"
      ${IfThen} ${Errors} ${|} StrCpy $R8 0 ${|}
    ${EndIf}
    ${IfThen} $R8 = 0 ${|} StrCpy $R9 "$INSTDIR\${FILE}" ${|}
  ${EndIf}
!macroend

; After a failure: every old file back in place, no new one left.
!macro RollBack FILE
  ${If} ${FileExists} "$INSTDIR\${FILE}.old"
    Delete "$INSTDIR\${FILE}"
    Rename "$INSTDIR\${FILE}.old" "$INSTDIR\${FILE}"
  ${EndIf}
  Delete "$INSTDIR\${FILE}.new"
!macroend

!macro DropOld FILE
  Delete "$INSTDIR\${FILE}.old"
!macroend

; A Param.ini the user or the publisher changed since a setup installed it stays as it is:
; its size and time are recorded at install and compared at the next one.
Function ParamStamp
  Exch $0
  Push $1
  Push $2
  Push $3
  ClearErrors
  GetFileTime $0 $1 $2
  FileOpen $3 $0 r
  FileSeek $3 0 END $0
  FileClose $3
  StrCpy $0 "$0:$1:$2"
  ${IfThen} ${Errors} ${|} StrCpy $0 "" ${|}
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Section "$(ProgramSection)" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  StrCpy $R9 ""
  Call EndRunning
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$(NotEnded)" /SD IDOK
    SetErrorLevel ${EXIT_NOT_ENDED}
    Abort
  ${EndIf}

  StrCpy $InstallParam 1
  ${If} ${FileExists} "$INSTDIR\Param.ini"
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "ParamIniStamp"
    Push "$INSTDIR\Param.ini"
    Call ParamStamp
    Pop $1
    ${If} $0 == ""
    ${OrIf} $0 != $1
      StrCpy $InstallParam 0
    ${EndIf}
  ${EndIf}

  ; Everything new is written beside the old files first; then each old file moves aside
  ; and the new one takes its place, all or nothing.
  SetOverwrite try
  ClearErrors
  File "/oname=${EXE}.new" "${PROGRAM}"
  !ifdef ICON
    File "/oname=Info.ico.new" "${ICON}"
  !endif
  !ifdef PARAM
    ${If} $InstallParam = 1
      File "/oname=Param.ini.new" "${PARAM}"
    ${EndIf}
  !endif
  WriteUninstaller "$INSTDIR\unins000.exe.new"
  ${If} ${Errors}
    StrCpy $R9 "$INSTDIR"
  ${Else}
    !insertmacro ForEachFile SwapIn
  ${EndIf}
  ${If} $R9 != ""
    !insertmacro ForEachFile RollBack
    ${If} $WasRunning = 1
      Exec '"$INSTDIR\${EXE}"'
    ${EndIf}
    MessageBox MB_OK|MB_ICONSTOP "$(NotReplaced)" /SD IDOK
    SetErrorLevel ${EXIT_NOT_REPLACED}
    Abort
  ${EndIf}
  !insertmacro ForEachFile DropOld

  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\${EXE}"
  !ifdef ICON
    CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\Info.ico"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Info.ico"
  !else
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  !endif
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\unins000.exe"'
  ; Run in place, the uninstaller's exit code is the result (the folder goes once it ends).
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\unins000.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  ${If} $InstallParam = 1
  ${AndIf} ${FileExists} "$INSTDIR\Param.ini"
    Push "$INSTDIR\Param.ini"
    Call ParamStamp
    Pop $0
    WriteRegStr HKCU "${UNINSTALL_KEY}" "ParamIniStamp" $0
  ${EndIf}
  ; An upgrade over a running copy starts it again.
  ${If} $WasRunning = 1
    Exec '"$INSTDIR\${EXE}"'
  ${EndIf}
SectionEnd

Section "$(LoginSection)" SecLogin
  WriteRegStr HKCU "${RUN_KEY}" "${NAME}" '"$INSTDIR\${EXE}"'
SectionEnd

Function FinishShow
  ; Started again already: another start would only pop its window up.
  ${If} $WasRunning = 1
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
  ${EndIf}
FunctionEnd

Function .onInstSuccess
  ; Unticked on the wizard's page: an earlier install's start at login goes too.
  ${IfNot} ${SectionIsSelected} ${SecLogin}
    DeleteRegValue HKCU "${RUN_KEY}" "${NAME}"
  ${EndIf}
FunctionEnd

; The uninstaller runs either in place (started with _?=) or, as NSIS makes it, as a copy of
; itself in a folder of its own under %TEMP%. Neither can delete its own file: a hidden
; command processor removes it, then its folder if empty, once this process has ended. The
; file is marked hidden first and only a hidden file goes: a setup run at once into the same
; folder keeps its new uninstaller (and the program never takes a hidden one for its own).
Function un.StartCleaner
  ${If} $CleanerStarted != 1
    StrCpy $CleanerStarted 1
    SetOutPath "$TEMP"
    SetFileAttributes "$EXEPATH" HIDDEN
    ExecShell "open" "$SYSDIR\cmd.exe" '/d /q /c "for /l %i in (1,1,120) do (ping -n 2 127.0.0.1 >nul & del /f /q /a:h "$EXEPATH" 2>nul & if not exist "$EXEPATH" (rd "$EXEDIR" 2>nul & exit))"' SW_HIDE
  ${EndIf}
FunctionEnd

Function un.StartCleanerUnlessInPlace
  ${If} $EXEDIR != $INSTDIR
    Call un.StartCleaner
  ${EndIf}
FunctionEnd

Function un.onUninstSuccess
  Call un.StartCleaner
FunctionEnd

Function un.onUninstFailed
  Call un.StartCleanerUnlessInPlace
FunctionEnd

Function un.onGUIEnd
  Call un.StartCleanerUnlessInPlace
FunctionEnd

Section "Uninstall"
  SetAutoClose true
  StrCpy $R9 ""
  Call un.EndRunning
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$(NotEnded)" /SD IDOK
    SetErrorLevel ${EXIT_NOT_ENDED}
    Abort
  ${EndIf}
  ; The program first: while it cannot go, nothing else does.
  ClearErrors
  Delete "$INSTDIR\${EXE}"
  ${If} ${Errors}
    StrCpy $R9 "$INSTDIR\${EXE}"
    MessageBox MB_OK|MB_ICONSTOP "$(NotRemoved)" /SD IDOK
    SetErrorLevel ${EXIT_NOT_REPLACED}
    Abort
  ${EndIf}
  Delete "$INSTDIR\Info.ico"
  Delete "$INSTDIR\Param.ini"
  Delete "$INSTDIR\*.old"
  Delete "$INSTDIR\*.new"
  ${If} $EXEDIR != $INSTDIR
    Delete "$INSTDIR\unins000.exe"
  ${EndIf}
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${NAME}"
  ; Written by the program itself at its first start.
  DeleteRegValue HKCU "${EMULATION_KEY}" "${EXE}"
  DeleteRegKey /ifempty HKCU "${EMULATION_KEY}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
