; The setup program of Fizzy Pimbo's Parade, made by tools/package.sh:
;
;   makensis -DVERSION=1.2.3 -DSTAGE=DIR -DSOURCE=REPO -DOUTFILE=FILE [-DAMD64] tools/setup.nsi
;
; STAGE is the unpacked release package (Pimbo95.scr, x86/Pimbo95.scr,
; toons/, README.txt). The shipped setup is a 32-bit ANSI program, so that
; it runs on every Windows from 98 on; AMD64 makes the same setup as a
; 64-bit program, which is what the tests can run.

!ifdef AMD64
  Unicode true
  Target amd64-unicode
  ; ${RunningX64} is known when this one is built: its other branch goes unused.
  !pragma warning disable 6012
!else
  Unicode false
  Target x86-ansi
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include WinVer.nsh
!include x64.nsh
!include FileFunc.nsh
!include Sections.nsh

!define PRODUCT "Fizzy Pimbo's Parade"
!define PUBLISHER "Fizzy Pimbo"
!define SAVER "Pimbo95.scr"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pimbo95"
!define DESKTOP_KEY "Control Panel\Desktop"
!define INI_SECTION "Fizzy Pimbo Screen Saver"
!define TOON_FOLDER "Pimbo Toons"
!define SHIPPED_FOLDER "Toons"
!define SAVER_PENDING "Pimbo95.new"
!define SAVER_RETIRED "Pimbo95.old"
!define PROFILE_LIST_KEY "SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList"
!define SYSTEM_ACCOUNT "S-1-5-18"
!define TOKEN_QUERY 8
!define TOKEN_USER_CLASS 1
!define PROCESS_QUERY_INFORMATION 0x400
!define ERROR_ELEVATION_REQUIRED 740
!define ERROR_SUCCESS_REBOOT_REQUIRED 3010
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_SENDCHANGE 2

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Fizzy Pimbo"
RequestExecutionLevel admin
ManifestSupportedOS all
ManifestDPIAware true
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"

; The program itself names no copyright holder either.
!pragma warning disable 9100
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "OriginalFilename" "Pimbo95-${VERSION}-setup.exe"

!define MUI_ICON "${SOURCE}/resources/pimbo.ico"
!define MUI_UNICON "${SOURCE}/resources/pimbo.ico"
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. It is listed in the Screen Saver Settings. Each user finds its toons in the folder $\"${TOON_FOLDER}$\" of his Documents once he has first used it."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open the Screen Saver Settings"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenScreenSaverSettings
!define MUI_PAGE_CUSTOMFUNCTION_SHOW OfferScreenSaverSettings
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} has been removed from this computer.$\r$\n$\r$\nYour toons in the folder $\"${TOON_FOLDER}$\" of your Documents and your settings (Pimbo95.ini) have been kept: delete them yourself if you no longer want them."
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; Both programs need administrator rights: the saver goes into the system
; directory and the uninstall entry into the machine's registry.
!macro RequireAdministrator
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} can only be installed or removed by an administrator." /SD IDOK
    SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
    Quit
  ${EndIf}
!macroend

; On 64-bit Windows the 64-bit saver, the registry's own view and the real
; system directory, not the folders a 32-bit program is redirected to.
!macro UseNativeView
  ${If} ${RunningX64}
    SetRegView 64
    ${DisableX64FSRedirection}
  ${EndIf}
!macroend

Function .onInit
  !insertmacro RequireAdministrator
  ; An upgrade goes where the installed one is; a folder given with /D=
  ; stays as given.
  ${If} $INSTDIR == "$PROGRAMFILES\Fizzy Pimbo"
    ${If} ${RunningX64}
      SetRegView 64
      StrCpy $INSTDIR "$PROGRAMFILES64\Fizzy Pimbo"
    ${EndIf}
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
      StrCpy $INSTDIR $0
    ${EndIf}
  ${EndIf}
  Call ChooseCurrentSaver
FunctionEnd

; The account a process runs as, a SID in text ("" when that cannot be told:
; Windows 9x, or a process not ours to look into). $0: the process; into $1.
Function ProcessUser
  StrCpy $1 ""
  System::Call "advapi32::OpenProcessToken(p r0, i ${TOKEN_QUERY}, *p .r2) i .r3"
  ${If} $3 = 0
    Return
  ${EndIf}
  System::Alloc 256
  Pop $4
  System::Call "advapi32::GetTokenInformation(p r2, i ${TOKEN_USER_CLASS}, p r4, i 256, *i .r5) i .r3"
  ${If} $3 <> 0
    System::Call "*$4(p .r5)"
    System::Call "advapi32::ConvertSidToStringSid(p r5, *p .r6) i .r3"
    ${If} $3 <> 0
      System::Call "*$6(&t128 .r1)"
      System::Call "kernel32::LocalFree(p r6)"
    ${EndIf}
  ${EndIf}
  System::Free $4
  System::Call "kernel32::CloseHandle(p r2)"
FunctionEnd

; ${result} is 1 when ${path} is the folder ${folder} or lies in it.
!macro IsInside path folder result
  StrCpy ${result} 0
  StrLen $R0 "${folder}"
  StrCpy $R1 "${path}" $R0
  StrCpy $R2 "${path}" 1 $R0
  ${If} $R0 > 0
  ${AndIf} $R1 == "${folder}"
  ${AndIf} $R2 == "\"
    StrCpy ${result} 1
  ${EndIf}
!macroend

; Whether $0, a folder, lies in any user's profile but the one all users
; share: $1 1 or 0. Older setups wrote the installing account's Documents
; into the file every user reads, and any account may run the upgrade.
Function InAnyProfile
  ${If} ${IsNT}
    ReadRegStr $2 HKLM "${PROFILE_LIST_KEY}" "ProfilesDirectory"
    ExpandEnvStrings $2 $2
  ${Else}
    StrCpy $2 "$WINDIR\Profiles"
  ${EndIf}
  !insertmacro IsInside $0 $2 $1
  ${If} $1 == 1
    SetShellVarContext all
    ${GetParent} "$DOCUMENTS" $2
    SetShellVarContext current
    !insertmacro IsInside $0 $2 $3
    ${If} $3 == 1
      StrCpy $1 0
    ${EndIf}
  ${EndIf}
  ; This account's Documents may be redirected out of the profiles.
  ${If} $0 == "$DOCUMENTS\${TOON_FOLDER}\"
    StrCpy $1 1
  ${EndIf}
FunctionEnd

; The saver or its preview running holds the old file. Interactively the
; user is told what to close; otherwise, or if he would rather not, the new
; file waits beside the old one and replaces it at the next restart.
Function SaverInUse
  retry:
  StrCpy $0 0
  ${IfNot} ${FileExists} "$SYSDIR\${SAVER}"
    Return
  ${EndIf}
  ClearErrors
  FileOpen $1 "$SYSDIR\${SAVER}" a
  ${IfNot} ${Errors}
    FileClose $1
    Return
  ${EndIf}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is running: end the screen saver, and close the Screen Saver Settings, whose preview shows it, then choose Retry.$\r$\n$\r$\nCancel replaces it when Windows next starts." /SD IDCANCEL IDRETRY retry
  StrCpy $0 1
FunctionEnd

Function .onInstSuccess
  ${If} ${RebootFlag}
    SetErrorLevel ${ERROR_SUCCESS_REBOOT_REQUIRED}
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro RequireAdministrator
FunctionEnd

Section "${PRODUCT} (required)" SectionSaver
  SectionIn RO
  !insertmacro UseNativeView
  SetOutPath "$SYSDIR"
  Delete "$SYSDIR\${SAVER_PENDING}"
  Call SaverInUse
  StrCpy $1 "${SAVER}"
  ${If} $0 == 1
    StrCpy $1 "${SAVER_PENDING}"
  ${EndIf}
  ClearErrors
  ${If} ${RunningX64}
    File "/oname=$1" "${STAGE}/Pimbo95.scr"
  ${Else}
    File "/oname=$1" "${STAGE}/x86/Pimbo95.scr"
  ${EndIf}
  ${If} $0 == 1
    Rename /REBOOTOK "$SYSDIR\${SAVER_PENDING}" "$SYSDIR\${SAVER}"
  ${EndIf}
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "The screen saver could not be written to $SYSDIR." /SD IDOK
    Abort
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${STAGE}/README.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ; Every user's first use copies these into his own Documents.
  SetOutPath "$INSTDIR\${SHIPPED_FOLDER}"
  File "${STAGE}/toons/*.ptf"
  File "${STAGE}/toons/*.wav"
  ReadINIStr $0 "$WINDIR\Pimbo95.ini" "${INI_SECTION}" "Directory"
  Call InAnyProfile
  ${If} $1 == 1
    DeleteINIStr "$WINDIR\Pimbo95.ini" "${INI_SECTION}" "Directory"
  ${EndIf}

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ${GetSize} "$SYSDIR" "/M=${SAVER} /S=0K /G=0" $3 $1 $2
  IntOp $0 $0 + $3
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$SYSDIR\${SAVER},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only the account that runs the setup: another user's choice is his.
Section "Make it the current screen saver" SectionCurrent
  ${If} ${IsNT}
    WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SYSDIR\${SAVER}"
  ${Else}
    ; Windows 9x keeps the current saver in system.ini, by its short name.
    GetFullPathName /SHORT $0 "$SYSDIR\${SAVER}"
    WriteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE" "$0"
  ${EndIf}
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  System::Call "user32::SystemParametersInfo(i ${SPI_SETSCREENSAVEACTIVE}, i 1, p 0, i ${SPIF_SENDCHANGE})"
SectionEnd

; /NOCURRENT leaves every account's current saver alone; so does an install
; by the system's own account, whose desktop settings are the logon screen's.
Function ChooseCurrentSaver
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOCURRENT" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SectionCurrent}
  ${EndIf}
  System::Call "kernel32::GetCurrentProcess() p .r0"
  Call ProcessUser
  ${If} $1 == "${SYSTEM_ACCOUNT}"
    !insertmacro UnselectSection ${SectionCurrent}
    !insertmacro SetSectionFlag ${SectionCurrent} ${SF_RO}
  ${EndIf}
FunctionEnd

; The settings are those of the account the setup runs as: offered only when
; that is the user at the desktop (not an administrator who elevated it for
; him), and only where that can be told.
Function OfferScreenSaverSettings
  StrCpy $8 1
  ${If} ${IsNT}
    System::Call "kernel32::GetCurrentProcess() p .r0"
    Call ProcessUser
    StrCpy $7 $1
    System::Call "user32::GetShellWindow() p .r0"
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r2)"
    System::Call "kernel32::OpenProcess(i ${PROCESS_QUERY_INFORMATION}, i 0, i r2) p .r0"
    StrCpy $1 ""
    ${If} $0 != 0
      Call ProcessUser
      System::Call "kernel32::CloseHandle(p r0)"
    ${EndIf}
    ${If} $1 == ""
    ${OrIf} $1 != $7
      StrCpy $8 0
    ${EndIf}
  ${EndIf}
  ${If} $8 == 0
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
  ${EndIf}
FunctionEnd

; The 64-bit Control Panel on 64-bit Windows: a 32-bit setup's $SYSDIR
; leads to the 32-bit one.
Function OpenScreenSaverSettings
  ${If} ${RunningX64}
    ${DisableX64FSRedirection}
  ${EndIf}
  ${If} ${AtLeastWinVista}
    Exec '"$SYSDIR\control.exe" desk.cpl,,@screensaver'
  ${Else}
    Exec '"$SYSDIR\control.exe" desk.cpl,,1'
  ${EndIf}
  ${If} ${RunningX64}
    ${EnableX64FSRedirection}
  ${EndIf}
FunctionEnd

; Whether $0, a saver's path as the system keeps it, names ours.
!macro IsOurSaver result
  StrCpy ${result} 0
  StrCpy $1 "$0" "" -11
  StrCpy $2 "$0" 1 -12
  ${If} $1 == "${SAVER}"
  ${AndIf} $2 == "\"
    StrCpy ${result} 1
  ${EndIf}
!macroend

; The saver and the entry belong to the install the entry names: one in
; another folder took them over, and only this folder goes. $9: 1 when
; they are this folder's, and removed.
Function un.RemoveSaver
  StrCpy $9 0
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    Return
  ${EndIf}
  StrCpy $9 1
  ; No longer the current saver: as if the user had chosen none.
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  !insertmacro IsOurSaver $3
  ${If} $3 == 1
    DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${EndIf}
  ${IfNot} ${IsNT}
    ReadINIStr $0 "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE"
    !insertmacro IsOurSaver $3
    ${If} $3 == 1
      DeleteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE"
    ${EndIf}
  ${EndIf}

  ; A saver that runs can only go at the next restart. Renamed first, it
  ; leaves its place to a setup run before then, which the deletion then
  ; spares.
  Delete "$SYSDIR\${SAVER_RETIRED}"
  ClearErrors
  Rename "$SYSDIR\${SAVER}" "$SYSDIR\${SAVER_RETIRED}"
  ${If} ${Errors}
    Delete /REBOOTOK "$SYSDIR\${SAVER}"
  ${Else}
    Delete /REBOOTOK "$SYSDIR\${SAVER_RETIRED}"
  ${EndIf}
  Delete "$SYSDIR\${SAVER_PENDING}"
FunctionEnd

Section "Uninstall"
  !insertmacro UseNativeView
  Call un.RemoveSaver
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\${SHIPPED_FOLDER}\*.ptf"
  Delete "$INSTDIR\${SHIPPED_FOLDER}\*.wav"
  RMDir "$INSTDIR\${SHIPPED_FOLDER}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  ${If} $9 == 1
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd
