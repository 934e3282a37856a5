; The setup program of HDD.dll. packaging/CMakeLists.txt builds it and passes
; the version and the files to pack:
;
;   makensis -DVERSION=1.0.0 -DFILE_VERSION=1.0.0.0 -DSTAGE=<staged folder>
;            -DOUTFILE=HDD-1.0.0-setup.exe HDD.nsi
;
; The staged folder holds the files to install: HDD.dll, hddiag.exe,
; README.txt, samples\run.js, samples\run.vbs, for front-end writers
; sdk\HDD.h, sdk\HDD_i.c and sdk\HDD.tlb, and x64\HDD.dll, the component for
; 64-bit clients, which is installed and registered (by the 64-bit regsvr32)
; on 64-bit Windows only.
;
; The setup program's own switches (besides NSIS's /S and /D=folder, which
; must come last):
;
;   /AllUsers              for every user: the files go to the 32-bit program
;                          files folder, regsvr32 registers machine-wide
;   /CurrentUser or /USER  for the current user only: the files go to the
;                          user's programs folder, regsvr32 /n /i:user
;                          registers under the user's classes; no
;                          administrator rights needed
;
; Without a switch a page asks; its default (and the silent default) is all
; users for an administrator, the current user otherwise.
;
; Exit codes besides NSIS's own (0 done, 1 cancelled, 2 aborted):
;   3  regsvr32 failed; the files were removed again and nothing stays registered
;   4  the installed version could not be removed for the upgrade
;   5  /AllUsers without administrator rights
;
; The uninstaller unregisters first, then deletes exactly the installed files
; and the installed-programs entry. It takes the same two switches, and
; without them finds the scope by the entry that names its own folder.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel highest
ManifestDPIAware true

!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include MUI2.nsh
!include x64.nsh

!define PRODUCT "HDD"
!define PUBLISHER "HDD project"
!define DISPLAY_NAME "HDD hard-disk diagnostics component"
!define FOLDER_NAME "HDD"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\HDD"
!define UNINSTALLER "uninstall.exe"

; The DLL must carry the version the setup program is named after.
!getdllversion "${STAGE}/HDD.dll" HDD_DLL_VERSION_
!if "${HDD_DLL_VERSION_1}.${HDD_DLL_VERSION_2}.${HDD_DLL_VERSION_3}.${HDD_DLL_VERSION_4}" != "${FILE_VERSION}"
  !error "HDD.dll has version ${HDD_DLL_VERSION_1}.${HDD_DLL_VERSION_2}.${HDD_DLL_VERSION_3}.${HDD_DLL_VERSION_4}, the project ${FILE_VERSION}"
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${FILE_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Var PerUser           ; 1: for the current user only
Var ModeFromSwitch    ; 1: a command-line switch chose the scope
Var FolderFromSwitch  ; 1: /D= chose the folder
Var ModePage.AllUsers
Var ModePage.CurrentUser

!define MUI_ABORTWARNING
Page custom ModePageShow ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; ---- shared by the installer and the uninstaller ----------------------------

; Reads the scope switches into $PerUser (and $ModeFromSwitch); an option
; must match exactly, so /USERS is no switch.
!macro ReadModeSwitches UN
  ${${UN}GetParameters} $R0
  ClearErrors
  ${${UN}GetOptions} $R0 "/AllUsers" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == ""
    StrCpy $PerUser 0
    StrCpy $ModeFromSwitch 1
  ${EndIf}
  ${ForEach} $R2 0 1 + 1
    ${If} $R2 == 0
      StrCpy $R3 "/CurrentUser"
    ${Else}
      StrCpy $R3 "/USER"
    ${EndIf}
    ClearErrors
    ${${UN}GetOptions} $R0 $R3 $R1
    ${IfNot} ${Errors}
    ${AndIf} $R1 == ""
      StrCpy $PerUser 1
      StrCpy $ModeFromSwitch 1
    ${EndIf}
  ${Next}
!macroend

; Runs regsvr32 on $INSTDIR\HDD.dll in the chosen scope; $0 gets its exit
; code ("error" when it could not be started). ARGS: "" or "/u".
!macro RunRegsvr32 ARGS
  StrCpy $0 "error"
  StrCpy $1 '"$SYSDIR\regsvr32.exe" /s'
  !if "${ARGS}" != ""
    StrCpy $1 '$1 ${ARGS}'
  !endif
  ${If} $PerUser == 1
    StrCpy $1 '$1 /n /i:user'
  ${EndIf}
  ClearErrors
  ExecWait '$1 "$INSTDIR\HDD.dll"' $0
!macroend

; The same for $INSTDIR\x64\HDD.dll with the 64-bit regsvr32 ($SYSDIR is the
; 32-bit system folder for this 32-bit program; Sysnative is the 64-bit one).
; $0 is 0 without running anything on 32-bit Windows.
!macro RunRegsvr32x64 ARGS
  StrCpy $0 0
  ${If} ${RunningX64}
    StrCpy $0 "error"
    StrCpy $1 '"$WINDIR\Sysnative\regsvr32.exe" /s'
    !if "${ARGS}" != ""
      StrCpy $1 '$1 ${ARGS}'
    !endif
    ${If} $PerUser == 1
      StrCpy $1 '$1 /n /i:user'
    ${EndIf}
    ClearErrors
    ExecWait '$1 "$INSTDIR\x64\HDD.dll"' $0
  ${EndIf}
!macroend

; Both components: the 32-bit one, then (on 64-bit Windows) the 64-bit one;
; $0 is the first failing exit code, or 0.
!macro RegisterBoth
  !insertmacro RunRegsvr32 ""
  ${If} $0 == 0
    !insertmacro RunRegsvr32x64 ""
  ${EndIf}
!macroend
!macro UnregisterBoth
  !insertmacro RunRegsvr32x64 "/u"
  StrCpy $5 $0
  !insertmacro RunRegsvr32 "/u"
  ${If} $0 == 0
    StrCpy $0 $5
  ${EndIf}
!macroend

; The front-end writers' files, removed by a failed install and the uninstaller.
!macro DeleteSdkFiles
  Delete "$INSTDIR\sdk\HDD.h"
  Delete "$INSTDIR\sdk\HDD_i.c"
  Delete "$INSTDIR\sdk\HDD.tlb"
  RMDir "$INSTDIR\sdk"
!macroend

; ---- installer -----------------------------------------------------------------

Function .onInit
  ; InstallDir is left unset, so a folder here came from /D=.
  ${If} $INSTDIR != ""
    StrCpy $FolderFromSwitch 1
  ${EndIf}
  UserInfo::GetAccountType
  Pop $R8
  ${If} $R8 == "Admin"
    StrCpy $PerUser 0
  ${Else}
    StrCpy $PerUser 1
  ${EndIf}
  !insertmacro ReadModeSwitches ""
  ${If} $PerUser == 0
  ${AndIf} $R8 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Installing for every user needs administrator rights; use /CurrentUser to install for yourself." /SD IDOK
    SetErrorLevel 5
    Quit
  ${EndIf}
  Call ApplyMode
FunctionEnd

; Sets the registry view and the default folder for $PerUser: an existing
; installation's folder, else the scope's programs folder.
Function ApplyMode
  ${If} $PerUser == 1
    SetShellVarContext current
  ${Else}
    SetShellVarContext all
  ${EndIf}
  ${If} $FolderFromSwitch == 1
    Return
  ${EndIf}
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${ElseIf} $PerUser == 1
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${FOLDER_NAME}"
  ${Else}
    StrCpy $INSTDIR "$PROGRAMFILES32\${FOLDER_NAME}"
  ${EndIf}
FunctionEnd

Function ModePageShow
  ${If} $ModeFromSwitch == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Choose the users" "Install ${PRODUCT} for every user of this computer or only for you."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "For every user, ${PRODUCT} goes to the program files folder and is registered machine-wide (administrator rights needed). For you only, it goes to your own programs folder and is registered under your user's classes."
  Pop $0
  ${NSD_CreateRadioButton} 10u 44u 100% 12u "For every user of this computer"
  Pop $ModePage.AllUsers
  ${NSD_CreateRadioButton} 10u 60u 100% 12u "Only for me"
  Pop $ModePage.CurrentUser
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    EnableWindow $ModePage.AllUsers 0
  ${EndIf}
  ${If} $PerUser == 1
    ${NSD_Check} $ModePage.CurrentUser
  ${Else}
    ${NSD_Check} $ModePage.AllUsers
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $ModePage.CurrentUser $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $PerUser 1
  ${Else}
    StrCpy $PerUser 0
  ${EndIf}
  Call ApplyMode
FunctionEnd

; An earlier installation in the same scope is removed by its own uninstaller
; (which unregisters it) before the new files are copied, so the machine
; keeps one entry.
Function RemoveEarlierVersion
  ReadRegStr $2 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $2 == ""
    Return
  ${EndIf}
  DetailPrint "Removing the installed version from $2"
  ${If} ${FileExists} "$2\${UNINSTALLER}"
    ${If} $PerUser == 1
      StrCpy $3 "/CurrentUser"
    ${Else}
      StrCpy $3 "/AllUsers"
    ${EndIf}
    StrCpy $0 "error"
    ClearErrors
    ; _?= makes it run in place and wait; it cannot delete itself then.
    ExecWait '"$2\${UNINSTALLER}" /S $3 _?=$2' $0
    ${If} $0 != 0
      MessageBox MB_OK|MB_ICONSTOP "The installed version in $2 could not be removed (exit code $0)." /SD IDOK
      SetErrorLevel 4
      Abort
    ${EndIf}
    Delete "$2\${UNINSTALLER}"
    RMDir "$2"
  ${Else}
    ; No uninstaller left: unregister what the entry points at, drop the entry.
    StrCpy $R9 $INSTDIR
    StrCpy $INSTDIR $2
    !insertmacro UnregisterBoth
    StrCpy $INSTDIR $R9
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${EndIf}
FunctionEnd

; Deletes what the install section copied (a failed registration).
Function RemoveCopiedFiles
  SetOutPath "$TEMP"  ; the folder in use cannot be removed
  Delete "$INSTDIR\HDD.dll"
  Delete "$INSTDIR\hddiag.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\samples\run.js"
  Delete "$INSTDIR\samples\run.vbs"
  RMDir "$INSTDIR\samples"
  Delete "$INSTDIR\x64\HDD.dll"
  RMDir "$INSTDIR\x64"
  !insertmacro DeleteSdkFiles
  RMDir "$INSTDIR"
FunctionEnd

Section "HDD" SecMain
  SectionIn RO
  Call RemoveEarlierVersion

  SetOutPath "$INSTDIR"
  File "${STAGE}/HDD.dll"
  File "${STAGE}/hddiag.exe"
  File "${STAGE}/README.txt"
  SetOutPath "$INSTDIR\samples"
  File "${STAGE}/samples/run.js"
  File "${STAGE}/samples/run.vbs"
  ${If} ${RunningX64}
    SetOutPath "$INSTDIR\x64"
    File "${STAGE}/x64/HDD.dll"
  ${EndIf}
  SetOutPath "$INSTDIR\sdk"
  File "${STAGE}/sdk/HDD.h"
  File "${STAGE}/sdk/HDD_i.c"
  File "${STAGE}/sdk/HDD.tlb"
  SetOutPath "$INSTDIR"

  !insertmacro RegisterBoth
  ${If} $0 != 0
    StrCpy $4 $0
    ; regsvr32 may have written part of the keys: take them out again.
    !insertmacro UnregisterBoth
    Call RemoveCopiedFiles
    MessageBox MB_OK|MB_ICONSTOP "HDD.dll could not be registered (regsvr32 exit code $4). Nothing was installed." /SD IDOK
    DetailPrint "Registration failed (regsvr32 exit code $4); the files were removed."
    SetErrorLevel 3
    Abort
  ${EndIf}

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ${If} $PerUser == 1
    StrCpy $3 "/CurrentUser"
  ${Else}
    StrCpy $3 "/AllUsers"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}" $3'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S $3'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${UNINSTALLER},0"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; ---- uninstaller ---------------------------------------------------------------

Function un.onInit
  ; The entry that names this folder tells the scope; a switch overrides it.
  StrCpy $PerUser 0
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $PerUser 1
  ${EndIf}
  !insertmacro ReadModeSwitches "un."
  ${If} $PerUser == 1
    SetShellVarContext current
  ${Else}
    SetShellVarContext all
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ${If} ${FileExists} "$INSTDIR\x64\HDD.dll"
    !insertmacro RunRegsvr32x64 "/u"
    ${If} $0 != 0
      DetailPrint "Unregistering x64\HDD.dll failed (regsvr32 exit code $0); removing the files anyway."
    ${EndIf}
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\HDD.dll"
    !insertmacro RunRegsvr32 "/u"
    ${If} $0 != 0
      DetailPrint "Unregistering failed (regsvr32 exit code $0); removing the files anyway."
    ${EndIf}
  ${EndIf}
  Delete "$INSTDIR\x64\HDD.dll"
  RMDir "$INSTDIR\x64"
  Delete "$INSTDIR\HDD.dll"
  Delete "$INSTDIR\hddiag.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\samples\run.js"
  Delete "$INSTDIR\samples\run.vbs"
  RMDir "$INSTDIR\samples"
  !insertmacro DeleteSdkFiles
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  ; The entry goes only when it is this installation's.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
  ${OrIf} $0 == ""
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd
